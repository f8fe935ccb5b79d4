#include "NetConnection.h"

#include "Exceptions.h"
#include "Form.h"
#include "JsonRpc.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QPointer>
#include <QWidget>
#include <QDir>
#include <QEventLoop>
#include <QSettings>
#include <QStandardPaths>
#include <QThread>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QTimer>
#include <QUrl>
#include <QUuid>
#include <QKeyEvent>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace {

// While a call waits for the server, the window keeps painting and the busy
// indicator keeps turning, and nothing else of the program runs: a close is
// put off until the call is over, so is a deferred delete, and timers wait
// (a timer event not delivered comes again at its next interval). Item views'
// own timers are the exception: they lay out and repaint rows and run no code
// of the program (unless the view starts editing on a delayed click), and held
// back they would come again at once, over and over, for as long as the call
// waits. Of the user's input only what cancels the call acts now (the busy
// indicator's "Cancelar", Escape); keys typed meanwhile are kept and delivered
// after the call, clicks elsewhere are dropped, and no shortcut fires. So no
// handler, no second call and no deletion of the screen can happen inside the
// wait.
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
        for (auto &[to, key] : m_keys)
            if (to)
                QCoreApplication::postEvent(to, key.release());
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
            // (Not a view that a click may put into editing after a delay:
            // the editor's code would run inside the wait. The program's own
            // views keep Qt's timers: none of them has timers of its own.)
            if (auto *view = qobject_cast<QAbstractItemView *>(watched);
                view && !(view->editTriggers() & QAbstractItemView::SelectedClicked))
                return false;
            return !watched->property(TNetConnection::RunsDuringCalls).toBool();
        case QEvent::ShortcutOverride:
            event->accept(); // taken as the widget's own key: no shortcut fires
            return true;
        case QEvent::Shortcut:
        case QEvent::InputMethod:
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop:
            return true; // nothing typed or dropped acts inside the wait
        case QEvent::KeyPress:
        case QEvent::KeyRelease: {
            auto *key = static_cast<QKeyEvent *>(event);
            if (key->key() == Qt::Key_Escape && TNetConnection::canCancel()) {
                if (event->type() == QEvent::KeyPress)
                    TNetConnection::cancelCall();
                return true;
            }
            m_keys.emplace_back(QPointer<QObject>(watched), std::unique_ptr<QEvent>(key->clone()));
            return true;
        }
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::TabletPress:
        case QEvent::TabletRelease:
        case QEvent::TabletMove:
            return !isCancelButton(watched);
        default:
            return false;
        }
    }

    static bool isCancelButton(QObject *o)
    {
        for (; o; o = o->parent())
            if (o->objectName() == QLatin1String(TNetConnection::CancelButtonName))
                return true;
        return false;
    }

private:
    rt::WaitScope m_scope; // the forms' focus handling waits too
    std::vector<std::pair<QPointer<QObject>, std::unique_ptr<QEvent>>> m_keys;
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
        m_nam.reset();
        m_connected = false;
        return;
    }
    try {
        if (BeforeConnect)
            BeforeConnect(*this);
        if (Host.isEmpty() || Port <= 0)
            throw rt::Exception(QStringLiteral("Servidor de aplicação não configurado."));
        m_nam = std::make_unique<QNetworkAccessManager>();
        m_nam->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
        m_connected = true;
        ++m_connects;
    } catch (...) {
        m_nam.reset();
        if (ThrowException)
            throw;
    }
}

namespace {

QString describe(QNetworkReply *reply)
{
    switch (reply->error()) {
    case QNetworkReply::ConnectionRefusedError: return QStringLiteral("conexão recusada");
    case QNetworkReply::HostNotFoundError: return QStringLiteral("servidor não encontrado");
    case QNetworkReply::RemoteHostClosedError: return QStringLiteral("o servidor fechou a conexão");
    case QNetworkReply::SslHandshakeFailedError: return QStringLiteral("falha na conexão segura (TLS): ") + reply->errorString();
    case QNetworkReply::AuthenticationRequiredError: return QStringLiteral("acesso não autorizado (verifique o token)");
    default: return reply->errorString();
    }
}

} // namespace

TNetConnection::Attempt TNetConnection::post(const QNetworkRequest &request, const QByteArray &body)
{
    // The call runs on Qt's network access; this thread keeps painting until
    // it answers, the deadline passes, it fails or the user cancels it.
    Attempt out;
    QNetworkReply *reply = m_nam->post(request, body);
    std::unique_ptr<QNetworkReply, void (*)(QNetworkReply *)> owned(reply, [](QNetworkReply *r) {
        r->disconnect();
        r->abort();
        delete r;
    });
    QString timedOut;
    QTimer connectDeadline, callDeadline;
    for (QTimer *t : {&connectDeadline, &callDeadline}) {
        t->setSingleShot(true);
        t->setProperty(RunsDuringCalls, true);
    }
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QObject::connect(reply, &QNetworkReply::requestSent, &connectDeadline, [&] {
        out.sent = true;
        connectDeadline.stop();
    });
    QObject::connect(reply, &QNetworkReply::uploadProgress, &loop, [&](qint64 sent, qint64) {
        if (sent > 0)
            out.sent = true;
    });
    QObject::connect(&connectDeadline, &QTimer::timeout, &loop, [&] {
        timedOut = QStringLiteral("sem conexão em %1 s").arg(ConnectTimeoutMs / 1000.0, 0, 'g', 3);
        reply->abort();
    });
    QObject::connect(&callDeadline, &QTimer::timeout, &loop, [&] {
        timedOut = QStringLiteral("sem resposta em %1 s").arg(CallTimeoutMs / 1000.0, 0, 'g', 3);
        reply->abort();
    });
    connectDeadline.start(ConnectTimeoutMs);
    callDeadline.start(CallTimeoutMs);
    if (!reply->isFinished()) {
        CallWaitGate gate;
        s_cancel = [&] {
            out.cancelled = true;
            reply->abort();
        };
        loop.exec(QEventLoop::AllEvents); // input is sorted by the gate
        s_cancel = nullptr;
    }
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QByteArray answer = reply->isOpen() ? reply->readAll() : QByteArray();
    if (out.cancelled)
        out.failure = QStringLiteral("cancelada pelo usuário");
    else if (!timedOut.isEmpty())
        out.failure = timedOut;
    else if (reply->error() != QNetworkReply::NoError && !(status >= 400 && answer.startsWith('{')))
        out.failure = describe(reply);
    if (!out.failure.isEmpty())
        return out;
    // An answer cut off on the way (the connection closed in its middle) is
    // no answer: for a change, the same as a lost one.
    try {
        out.reply = jsonrpc::parseReply(answer);
    } catch (const rt::Exception &) {
        out.failure = QStringLiteral("resposta incompleta ou inválida");
    }
    return out;
}

std::function<void()> TNetConnection::s_cancel;

bool TNetConnection::canCancel() { return bool(s_cancel); }

void TNetConnection::cancelCall()
{
    if (s_cancel)
        s_cancel();
}

ServerReply TNetConnection::call(const QString &method, const QJsonArray &params)
{
    if (!m_connected || !m_nam)
        throw rt::Exception(QStringLiteral("Sem conexão com o servidor de aplicação %1.").arg(ServerName));
    if (m_busy)
        throw rt::Exception(QStringLiteral("Já há uma chamada em andamento ao servidor de aplicação."));
    if (BeforeCall)
        BeforeCall(method);
    m_calls[method] += 1;
    m_lastParams[method] = params;

    QUrl url;
    url.setScheme(Tls ? QStringLiteral("https") : QStringLiteral("http"));
    url.setHost(Host);
    url.setPort(Port);
    url.setPath(QLatin1Char('/') + ServerName);
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    if (!Token.isEmpty())
        request.setRawHeader("Authorization", "Bearer " + Token);
    if (!UserName.isEmpty())
        request.setRawHeader("X-FIS94100-User", UserName.toUtf8());
    if (Tls) {
        QSslConfiguration ssl = QSslConfiguration::defaultConfiguration();
        if (!CaFile.isEmpty()) {
            const QList<QSslCertificate> cas = QSslCertificate::fromPath(CaFile);
            if (cas.isEmpty())
                throw rt::Exception(QStringLiteral("Certificado da autoridade (CA) não encontrado em %1.").arg(CaFile));
            ssl.setCaCertificates(cas);
        }
        ssl.setPeerVerifyMode(QSslSocket::VerifyPeer);
        // Every connection verifies the server anew: no session resumed from
        // an earlier connection made with other trust settings.
        ssl.setSslOption(QSsl::SslOptionDisableSessionTickets, true);
        ssl.setSslOption(QSsl::SslOptionDisableSessionSharing, true);
        ssl.setSslOption(QSsl::SslOptionDisableSessionPersistence, true);
        request.setSslConfiguration(ssl);
    }

    m_busy = true;
    struct Done { bool &b; ~Done() { b = false; } } done{m_busy};
    // A change goes with an id of its own: if its answer is lost on the way,
    // it is asked once more with the same id, which the service applies at
    // most once, answering the repeat with the first answer.
    const bool retriable = RetriableMethods.contains(method);
    const QJsonValue id = retriable ? QJsonValue(QUuid::createUuid().toString(QUuid::WithoutBraces)) : QJsonValue(m_nextId++);
    const QByteArray body = jsonrpc::request(method, params, id);

    Attempt attempt = post(request, body);
    if (!attempt.failure.isEmpty() && retriable && attempt.sent && attempt.cancelled)
        throw EOutcomeUnknown(QStringLiteral("A chamada ao servidor de aplicação %1 foi cancelada depois de enviada. "
                                             "Não foi possível confirmar se a alteração foi gravada.").arg(ServerName));
    if (!attempt.failure.isEmpty() && retriable && attempt.sent) {
        const Attempt again = post(request, body);
        if (again.failure.isEmpty())
            attempt = again;
        else
            throw EOutcomeUnknown(QStringLiteral("Falha de comunicação com o servidor de aplicação %1 (%2:%3): %4. "
                                                 "Não foi possível confirmar se a alteração foi gravada.")
                                      .arg(ServerName, Host).arg(Port).arg(again.failure));
    }
    if (!attempt.failure.isEmpty())
        throw rt::Exception(QStringLiteral("Falha de comunicação com o servidor de aplicação %1 (%2:%3): %4.")
                                .arg(ServerName, Host).arg(Port).arg(attempt.failure));
    const jsonrpc::Reply &r = attempt.reply;
    ServerReply out;
    out.ok = r.ok;
    out.payload = r.result;
    out.error = r.message;
    return out;
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

bool WebTls()
{
    const QString v = setting("FIS94100_SERVER_TLS", QStringLiteral("server/tls"), QStringLiteral("false")).toLower();
    return v == QLatin1String("1") || v == QLatin1String("true") || v == QLatin1String("yes");
}

QString WebCaFile() { return setting("FIS94100_SERVER_CA_FILE", QStringLiteral("server/ca-file"), QString()); }

QByteArray WebToken()
{
    const QString path = setting("FIS94100_SERVER_TOKEN_FILE", QStringLiteral("server/token-file"), QString());
    if (path.isEmpty())
        return {};
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw rt::Exception(QStringLiteral("Não foi possível ler o token do servidor de aplicação (%1): %2.").arg(path, f.errorString()));
    return f.read(4096).trimmed();
}

namespace {
int seconds(const char *env, const QString &key, int fallback)
{
    bool ok = false;
    const double v = setting(env, key, QString::number(fallback)).toDouble(&ok);
    return ok && v > 0 ? int(v * 1000) : fallback * 1000;
}
} // namespace

int WebConnectTimeoutMs() { return seconds("FIS94100_SERVER_CONNECT_TIMEOUT", QStringLiteral("server/connect-timeout"), 5); }
int WebCallTimeoutMs() { return seconds("FIS94100_SERVER_CALL_TIMEOUT", QStringLiteral("server/call-timeout"), 30); }

void configure(TNetConnection &connection)
{
    connection.Host = WebURL();
    connection.Port = WebPort();
    connection.Tls = WebTls();
    connection.CaFile = WebCaFile();
    connection.Token = WebToken();
    connection.ConnectTimeoutMs = WebConnectTimeoutMs();
    connection.CallTimeoutMs = WebCallTimeoutMs();
}

QString loginName()
{
    // The program's user does not change while it runs: looked up once.
    static const QString name = [] {
        if (const passwd *pw = ::getpwuid(::geteuid()); pw && pw->pw_name)
            return QString::fromLocal8Bit(pw->pw_name);
        for (const char *variable : {"USER", "LOGNAME", "USERNAME"})
            if (const QString v = qEnvironmentVariable(variable); !v.isEmpty())
                return v;
        return QString();
    }();
    return name;
}

} // namespace Molvard
