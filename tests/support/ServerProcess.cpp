#include "ServerProcess.h"

#include <QDir>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <httplib.h>

QString serverExecutable() { return QStringLiteral(FIS94100_SERVER_EXE); }

ServerProcess::ServerProcess(const QStringList &extraArgs, bool demo)
{
    QDir().mkpath(certDir());
    QStringList args{"--port", "0", "--database", databasePath(), "--cert-dir", certDir()};
    if (demo)
        args << "--demo";
    args << extraArgs;
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    m_process.start(serverExecutable(), args);
    if (!m_process.waitForStarted(5000)) {
        m_error = m_process.errorString();
        return;
    }
    QElapsedTimer t;
    t.start();
    QByteArray out;
    static const QRegularExpression re(QStringLiteral("listening on http://[^:]+:(\\d+)/"));
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
        m_error = QString::fromUtf8(out + m_process.readAllStandardError());
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
