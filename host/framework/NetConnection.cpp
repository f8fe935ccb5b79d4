#include "NetConnection.h"

#include "Exceptions.h"
#include "Form.h"
#include "JsonRpc.h"

#include <QApplication>
#include <QPointer>
#include <QWidget>
#include <QDir>
#include <QEventLoop>
#include <QSettings>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>
#include <future>
#include <httplib.h>

namespace {

// While a call waits for the server, the window keeps painting and the busy
// indicator keeps turning, and nothing else of the program runs: a close is
// put off until the call is over, so is a deferred delete, and timers wait
// (a timer event not delivered comes again at its next interval). User input
// is not read at all. So no handler, no second call and no deletion of the
// screen can happen inside the wait.
class CallWaitGate : public QObject
{
public:
    CallWaitGate() { qApp->installEventFilter(this); }
    ~CallWaitGate() override
    {
        qApp->removeEventFilter(this);
        // What was put off happens once the code that made the call is done.
        for (const QPointer<QObject> &o : std::as_const(m_deletes))
            if (o)
                o->deleteLater();
        for (const QPointer<QWidget> &w : std::as_const(m_closes))
            if (w)
                QTimer::singleShot(0, w, [w] {
                    if (w)
                        w->close();
                });
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::Close:
            if (auto *w = qobject_cast<QWidget *>(watched); w && !m_closes.contains(w))
                m_closes.append(w);
            event->ignore();
            return true;
        case QEvent::DeferredDelete:
            m_deletes.append(watched);
            return true;
        case QEvent::Timer:
            return !watched->objectName().startsWith(QLatin1String("showAvi"));
        default:
            return false;
        }
    }

private:
    rt::WaitScope m_scope; // the forms' focus handling waits too
    QList<QPointer<QWidget>> m_closes;
    QList<QPointer<QObject>> m_deletes;
};

} // namespace

TNetConnection::TNetConnection(const QString &name) : Name(name) {}
TNetConnection::~TNetConnection() = default;

void TNetConnection::setConnected(bool connected)
{
    if (connected == m_connected)
        return;
    if (!connected) {
        m_client.reset();
        m_connected = false;
        return;
    }
    try {
        if (BeforeConnect)
            BeforeConnect(*this);
        if (Host.isEmpty() || Port <= 0)
            throw rt::Exception(QStringLiteral("Servidor de aplicação não configurado."));
        m_client = std::make_shared<httplib::Client>(Host.toStdString(), Port);
        m_client->set_tcp_nodelay(true);
        m_client->set_keep_alive(true);
        m_client->set_connection_timeout(5, 0);
        m_client->set_read_timeout(60, 0);
        m_connected = true;
        ++m_connects;
    } catch (...) {
        m_client.reset();
        if (ThrowException)
            throw;
    }
}

ServerReply TNetConnection::call(const QString &method, const QJsonArray &params)
{
    if (!m_connected || !m_client)
        throw rt::Exception(QStringLiteral("Sem conexão com o servidor de aplicação %1.").arg(ServerName));
    if (m_busy)
        throw rt::Exception(QStringLiteral("Já há uma chamada em andamento ao servidor de aplicação."));
    if (BeforeCall)
        BeforeCall(method);
    m_calls[method] += 1;
    m_lastParams[method] = params;

    const std::string body = jsonrpc::request(method, params, m_nextId++).toStdString();
    const std::string path = "/" + ServerName.toStdString();
    std::shared_ptr<httplib::Client> client = m_client;
    m_busy = true;
    struct Done { bool &b; ~Done() { b = false; } } done{m_busy};

    // The request runs on a worker thread; this thread keeps painting until it answers.
    auto future = std::async(std::launch::async, [client, path, body] {
        auto res = client->Post(path, body, "application/json");
        struct Out { int status = -1; std::string body; httplib::Error error = httplib::Error::Unknown; };
        Out out;
        if (res) {
            out.status = res->status;
            out.body = res->body;
        }
        out.error = res.error();
        return out;
    });
    if (qApp && QThread::currentThread() == qApp->thread()) {
        CallWaitGate gate;
        QEventLoop loop;
        while (future.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready) {
            loop.processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::WaitForMoreEvents, 20);
            future.wait_for(std::chrono::milliseconds(2));
        }
    }
    const auto out = future.get();
    if (out.status < 0)
        throw rt::Exception(QStringLiteral("Falha de comunicação com o servidor de aplicação %1 (%2:%3): %4.")
                                .arg(ServerName, Host).arg(Port)
                                .arg(QString::fromStdString(httplib::to_string(out.error))));
    jsonrpc::Reply r = jsonrpc::parseReply(QByteArray::fromStdString(out.body));
    ServerReply reply;
    reply.ok = r.ok;
    reply.payload = r.result;
    reply.error = r.message;
    return reply;
}

namespace Molvard {

QString settingsFile()
{
    const QByteArray env = qgetenv("FIS94100_CONFIG");
    if (!env.isEmpty())
        return QString::fromLocal8Bit(env);
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)).filePath(QStringLiteral("fis94100/host.ini"));
}

namespace {
QString setting(const char *env, const QString &key, const QString &fallback)
{
    const QByteArray e = qgetenv(env);
    if (!e.isEmpty())
        return QString::fromLocal8Bit(e);
    QSettings s(settingsFile(), QSettings::IniFormat);
    return s.value(key, fallback).toString();
}
} // namespace

QString WebURL() { return setting("FIS94100_SERVER_HOST", QStringLiteral("server/host"), QStringLiteral("127.0.0.1")); }
int WebPort() { return setting("FIS94100_SERVER_PORT", QStringLiteral("server/port"), QStringLiteral("8094")).toInt(); }

} // namespace Molvard
