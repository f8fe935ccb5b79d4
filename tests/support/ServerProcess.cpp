#include "ServerProcess.h"

#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTcpSocket>
#include <csignal>
#include <sys/prctl.h>
#include <httplib.h>
#include <atomic>
#include <thread>

QString serverExecutable() { return QStringLiteral(FIS94100_SERVER_EXE); }

ProgramRun runProgram(const QString &program, const QStringList &args, const QStringList &env)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    for (const QString &kv : env)
        e.insert(kv.section('=', 0, 0), kv.section('=', 1));
    p.setProcessEnvironment(e);
    p.start(program, args);
    if (!p.waitForFinished(20000)) {
        p.kill();
        p.waitForFinished();
        return {-1, QStringLiteral("did not finish")};
    }
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAll())};
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(content) == content.size();
}

WriteLockHolder::WriteLockHolder(const QString &database)
{
    m_process.start(QStringLiteral("sqlite3"), {database});
    if (!m_process.waitForStarted())
        return;
    m_process.write("BEGIN IMMEDIATE;\nSELECT 'locked';\n");
    m_holding = m_process.waitForReadyRead(5000);
}

void WriteLockHolder::release()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.write("ROLLBACK;\n.quit\n");
    if (!m_process.waitForFinished(5000))
        m_process.kill();
    m_holding = false;
}

QString ServerProcess::engine()
{
    return qgetenv("FIS94100_TEST_ENGINE") == "firebird" ? QStringLiteral("firebird") : QStringLiteral("sqlite");
}

QString ServerProcess::firebirdAddress()
{
    // Firebird listens where its configuration binds it: IPv4 loopback as
    // scripts/firebird.sh configures it, IPv6 loopback on a stock Debian.
    static const QString found = [] {
        for (const char *address : {"127.0.0.1", "::1"}) {
            QTcpSocket s;
            s.connectToHost(QString::fromLatin1(address), 3050);
            if (s.waitForConnected(1000))
                return QString::fromLatin1(address).contains(QLatin1Char(':')) ? QStringLiteral("[::1]") : QString::fromLatin1(address);
        }
        return QString();
    }();
    return found;
}

QString ServerProcess::engineUnavailable()
{
    if (engine() == QLatin1String("firebird") && !firebirdAvailable())
        return QStringLiteral("Firebird does not answer on 127.0.0.1:3050 or [::1]:3050 (scripts/firebird.sh start)");
    return {};
}

QStringList ServerProcess::databaseArgs() const
{
    if (engine() == QLatin1String("firebird"))
        return {"--driver", "firebird", "--database", firebirdDatabase(databasePath())};
    return {"--database", databasePath()};
}

ServerProcess::ServerProcess(const QStringList &extraArgs, bool demo)
{
    // A peer that closes while we still send (a refused oversized body) must
    // not end the test process.
    std::signal(SIGPIPE, SIG_IGN);
    QDir().mkpath(certDir());
    const bool firebird = engine() == QLatin1String("firebird");
    if (firebird && !extraArgs.contains(QStringLiteral("--database"))) {
        // A new Firebird database, made by the project's own script.
        QProcess make;
        make.setProcessChannelMode(QProcess::MergedChannels);
        QStringList args{QStringLiteral(FIS94100_SOURCE_DIR "/scripts/firebird-db.sh"), databasePath()};
        if (demo)
            args << "--demo";
        make.start(QStringLiteral("bash"), args);
        if (!make.waitForFinished(60000) || make.exitCode() != 0) {
            m_error = QStringLiteral("Firebird database not created: ") + QString::fromUtf8(make.readAll());
            return;
        }
    }
    QStringList args{"--port", "0", "--cert-dir", certDir()};
    if (!extraArgs.contains(QStringLiteral("--database")))
        args << databaseArgs();
    if (demo && !firebird)
        args << "--demo";
    args << extraArgs;
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    // The service's log goes to a file: a pipe nobody reads would fill up and
    // stop the service at its next log line.
    m_process.setStandardErrorFile(m_dir.filePath(QStringLiteral("server.log")));
    // A test that dies (a crash, a signal) takes its servers with it.
    m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    m_process.start(serverExecutable(), args);
    if (!m_process.waitForStarted(5000)) {
        m_error = m_process.errorString();
        return;
    }
    QElapsedTimer t;
    t.start();
    QByteArray out;
    static const QRegularExpression re(QStringLiteral("listening on https?://[^:]+:(\\d+)/"));
    while (t.elapsed() < 10000) {
        if (!m_process.waitForReadyRead(200) && m_process.state() != QProcess::Running)
            break;
        out += m_process.readAllStandardOutput();
        const auto m = re.match(QString::fromUtf8(out));
        if (m.hasMatch()) {
            m_port = m.captured(1).toInt();
            break;
        }
    }
    if (m_port <= 0) {
        m_error = QString::fromUtf8(out) + standardError();
        return;
    }
    m_client = std::make_unique<httplib::Client>("127.0.0.1", m_port);
    m_client->set_tcp_nodelay(true);
    m_client->set_keep_alive(true);
}

ServerProcess::~ServerProcess() { stop(); }

void ServerProcess::stop()
{
    m_client.reset();
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(2000);
        }
    }
}

QString ServerProcess::standardError()
{
    QFile log(m_dir.filePath(QStringLiteral("server.log")));
    return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
}

void ServerProcess::kill()
{
    m_client.reset();
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

QByteArray ServerProcess::post(const QByteArray &body, int *status)
{
    if (!m_client)
        return {};
    auto res = m_client->Post("/FIS94100.rdmParamGNRE", body.toStdString(), "application/json");
    if (status)
        *status = res ? res->status : -1;
    return res ? QByteArray::fromStdString(res->body) : QByteArray();
}

jsonrpc::Reply ServerProcess::call(const QString &method, const QJsonArray &params)
{
    return jsonrpc::parseReply(post(jsonrpc::request(method, params, m_nextId++)));
}

struct SlowProxy::Impl
{
    httplib::Server server;
    std::thread thread;
};

SlowProxy::SlowProxy(int targetPort, int delayMs, int loseAnswers) : d(std::make_unique<Impl>())
{
    auto lost = std::make_shared<std::atomic<int>>(loseAnswers);
    d->server.Post(R"(/.*)", [targetPort, delayMs, lost](const httplib::Request &req, httplib::Response &res) {
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        httplib::Client c("127.0.0.1", targetPort);
        httplib::Headers headers;
        if (req.has_header("Authorization"))
            headers.emplace("Authorization", req.get_header_value("Authorization"));
        auto r = c.Post(req.path, headers, req.body, "application/json");
        if (!r) {
            res.status = 502;
            return;
        }
        res.status = r->status;
        if (req.body.find("\"method\":\"Set") != std::string::npos && lost->fetch_sub(1) > 0) {
            // Applied by the server; the answer breaks off on its way back.
            res.set_chunked_content_provider("application/json", [](size_t, httplib::DataSink &) { return false; });
            return;
        }
        res.set_content(r->body, "application/json");
    });
    m_port = d->server.bind_to_any_port("127.0.0.1");
    d->thread = std::thread([this] { d->server.listen_after_bind(); });
    while (!d->server.is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

SlowProxy::~SlowProxy()
{
    d->server.stop();
    d->thread.join();
}
