#pragma once

#include "Consiste.h"
#include "Exceptions.h"
#include "JsonRpc.h"

#include <QHash>
#include <QJsonArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class QNetworkAccessManager;
class TNetConnection;

namespace Molvard {
QString loginName();
}
class QNetworkRequest;

// A change was sent and its answer lost (and asked again in vain), or the
// user cancelled it once sent: the service may or may not have applied it.
class EOutcomeUnknown : public rt::Exception
{
public:
    using rt::Exception::Exception;
};

// Connection to an application-server object, called late-bound by method name
// with positional arguments, over HTTP or HTTPS (Qt's network access: kept-alive
// connections, no thread of its own per call). Calls are synchronous for the
// caller; while one is under way the window keeps repainting (user input waits).
// Every call has a deadline for the connection and one for the whole call.
class TNetConnection
{
public:
    // Objects whose timers keep running while a call waits carry this property
    // set to true (the busy indicator, the call's own deadlines).
    static constexpr const char *RunsDuringCalls = "runsDuringCalls";
    // The busy indicator's button that cancels the call waiting.
    static constexpr const char *CancelButtonName = "btnCancelarChamada";

    explicit TNetConnection(const QString &name = QString());
    ~TNetConnection();

    QString Name;
    QString ServerName;        // the server object, e.g. "FIS94100.rdmParamGNRE"
    bool ThrowException = true; // whether a failed connect raises
    QString Host;
    int Port = 0;
    bool Tls = false;           // HTTPS; the server is verified against CaFile, or the system's CAs
    QString CaFile;
    QByteArray Token;           // sent as "Authorization: Bearer <token>" when set
    // Sent in the header "X-FIS94100-User" (the service records it with each change).
    QString UserName = Molvard::loginName();
    int ConnectTimeoutMs = 5000;
    int CallTimeoutMs = 30000;
    // Methods that change data: sent with a unique id and asked once more with
    // it when the answer is lost (the service applies an id at most once).
    QStringList RetriableMethods;
    std::function<void(TNetConnection &)> BeforeConnect;
    // Runs before every call, with the method's name (diagnostics, tests).
    std::function<void(const QString &method)> BeforeCall;

    bool Connected() const { return m_connected; }
    void setConnected(bool connected);

    // Calls a method; a transport failure raises, the server's own refusal comes back in the reply.
    ServerReply call(const QString &method, const QJsonArray &params = {});
    // Calls made so far, by method (for diagnostics and tests).
    int callCount(const QString &method) const { return m_calls.value(method); }
    QJsonArray lastParams(const QString &method) const { return m_lastParams.value(method); }
    // Total connections opened (set connected) over the object's life.
    int connectCount() const { return m_connects; }

    // Whether a call is waiting now and can be cancelled (the busy indicator's
    // button); cancelling a read leaves the data as it was, and reports it.
    static bool canCancel();
    static void cancelCall();

private:
    struct Attempt
    {
        jsonrpc::Reply reply;
        QString failure; // empty: a whole answer came
        bool sent = false;
        bool cancelled = false;
    };
    Attempt post(const QNetworkRequest &request, const QByteArray &body);
    static std::function<void()> s_cancel;

    bool m_connected = false;
    std::unique_ptr<QNetworkAccessManager> m_nam;
    qint64 m_nextId = 1;
    bool m_busy = false;
    int m_connects = 0;
    QHash<QString, int> m_calls;
    QHash<QString, QJsonArray> m_lastParams;
};

// Where the host's settings say the application server is.
namespace Molvard {
QString WebURL();
int WebPort();
QString settingsFile();
// How the host reaches the service: TLS, the CA file, the token, the deadlines
// (environment first, then the settings file, then the defaults).
bool WebTls();
QString WebCaFile();
QByteArray WebToken(); // read from the token file; empty when none is set
int WebConnectTimeoutMs();
int WebCallTimeoutMs();
// Points a connection at the service with all of the above.
void configure(TNetConnection &connection);
// The operating-system login the host runs under, as it declares it to the
// service with every call (for the history of changes).
QString loginName();
} // namespace Molvard
