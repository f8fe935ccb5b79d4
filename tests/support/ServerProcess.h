#pragma once

#include <QJsonArray>
#include <QJsonValue>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

#include "JsonRpc.h"

namespace httplib { class Client; }

// A real fis94100-server on a temporary database, on a free loopback port.
class ServerProcess
{
public:
    explicit ServerProcess(const QStringList &extraArgs = {}, bool demo = true);
    ~ServerProcess();

    bool started() const { return m_port > 0; }
    // The engine under test: "firebird" when FIS94100_TEST_ENGINE says so, else "sqlite".
    static QString engine();
    // Whether a Firebird server answers on port 3050 of the loopback (IPv4 or IPv6).
    static bool firebirdAvailable() { return !firebirdAddress().isEmpty(); }
    // Where Firebird answers: "127.0.0.1" or "[::1]", empty when it does not.
    static QString firebirdAddress();
    // The connection string of a database file on that server.
    static QString firebirdDatabase(const QString &file) { return firebirdAddress() + QStringLiteral("/3050:") + file; }
    // Why the engine under test cannot be reached; empty when it can.
    static QString engineUnavailable();
    // The options that point a server at this database.
    QStringList databaseArgs() const;
    int port() const { return m_port; }
    qint64 pid() const { return m_process.processId(); }
    QProcess &process() { return m_process; }
    // What the service has written to standard error so far (its log).
    QString standardError();
    QString databasePath() const
    {
        return m_dir.filePath(engine() == QLatin1String("firebird") ? QStringLiteral("params.fdb") : QStringLiteral("params.sqlite"));
    }
    QString certDir() const { return m_dir.filePath(QStringLiteral("certs")); }
    QString error() const { return m_error; }
    void stop();
    // Ends the server at once (SIGKILL), as a crash or a power cut would.
    void kill();

    // One JSON-RPC call on a keep-alive connection of this helper.
    jsonrpc::Reply call(const QString &method, const QJsonArray &params);
    // The raw HTTP exchange, for malformed requests.
    QByteArray post(const QByteArray &body, int *status = nullptr);

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    int m_port = 0;
    QString m_error;
    std::unique_ptr<httplib::Client> m_client;
    qint64 m_nextId = 1;
};

QString serverExecutable();

// A program run to its end: its exit status (-1 when it crashed or hung) and
// what it wrote on both channels.
struct ProgramRun
{
    int code = -1;
    QString out;
};
ProgramRun runProgram(const QString &program, const QStringList &args, const QStringList &env = {});
// Writes a small file (a token, a configuration); false when it cannot.
bool writeFile(const QString &path, const QByteArray &content);

// Another program holding a SQLite database's write lock until release().
class WriteLockHolder
{
public:
    explicit WriteLockHolder(const QString &database);
    ~WriteLockHolder() { release(); }
    bool holding() const { return m_holding; }
    void release();

private:
    QProcess m_process;
    bool m_holding = false;
};

// A loopback HTTP endpoint in front of a server that answers each request only
// after a delay: a slow network, for what happens while a call waits.
class SlowProxy
{
public:
    // With `loseAnswers`, the first that many changes (Set methods) reach the server, but
    // their answers are lost on the way back (the connection breaks).
    SlowProxy(int targetPort, int delayMs, int loseAnswers = 0);
    ~SlowProxy();
    int port() const { return m_port; }

private:
    struct Impl;
    std::unique_ptr<Impl> d;
    int m_port = 0;
};

// A suite whose engine cannot be reached is skipped (CTest reports it as
// skipped), and fails where CI=true: a run that tested nothing is no pass.
#define FIS_REQUIRE_ENGINE()                                                  \
    do {                                                                      \
        const QString why_ = ServerProcess::engineUnavailable();              \
        if (!why_.isEmpty()) {                                                \
            if (qEnvironmentVariable("CI") == QLatin1String("true"))          \
                QFAIL(qPrintable(why_));                                      \
            QSKIP(qPrintable(why_));                                          \
        }                                                                     \
    } while (false)
