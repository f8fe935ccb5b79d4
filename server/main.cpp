// fis94100-server: the parameter service "FIS94100.rdmParamGNRE".
#include "HttpServer.h"
#include "ParamService.h"
#include "ParamStore.h"

#include "Exceptions.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QTextStream>
#include <csignal>
#include <cstdio>

namespace {

HttpServer *g_server = nullptr;

void onSignal(int)
{
    if (g_server)
        g_server->stop();
}

QString setting(const QCommandLineParser &p, const QCommandLineOption &o, const char *env, const QString &fallback)
{
    if (p.isSet(o))
        return p.value(o);
    const QByteArray e = qgetenv(env);
    return e.isEmpty() ? fallback : QString::fromLocal8Bit(e);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("fis94100-server"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Parameter service FIS94100.rdmParamGNRE: JSON-RPC 2.0 over HTTP at POST /FIS94100.rdmParamGNRE.\n"
        "Every option can also be set by the environment variable named in brackets."));
    parser.addHelpOption();
    const QCommandLineOption host("host", "Address to listen on [FIS94100_HOST] (default 127.0.0.1).", "address");
    const QCommandLineOption port("port", "Port to listen on, 0 for any free port [FIS94100_PORT] (default 8094).", "port");
    const QCommandLineOption database("database", "Database file (SQLite) or host/port:path (Firebird) [FIS94100_DATABASE] (default fis94100.sqlite). A new SQLite file gets the schema.", "file");
    const QCommandLineOption driver("driver", "Database engine: sqlite or firebird [FIS94100_DRIVER] (default sqlite).", "engine");
    const QCommandLineOption user("user", "Database user, Firebird only [FIS94100_DB_USER] (default SYSDBA).", "name");
    const QCommandLineOption password("password", "Database password, Firebird only [FIS94100_DB_PASSWORD].", "secret");
    const QCommandLineOption demo("demo", "A new database also gets the demo data [FIS94100_DEMO=1].");
    const QCommandLineOption certDir("cert-dir", "Directory of the installed X.509 certificates [FIS94100_CERT_DIR].", "dir");
    const QCommandLineOption threads("threads", "Worker threads [FIS94100_THREADS] (default 8).", "n");
    parser.addOptions({host, port, database, driver, user, password, demo, certDir, threads});
    parser.process(app);

    ParamStore::Options options;
    const QString engine = setting(parser, driver, "FIS94100_DRIVER", "sqlite").toLower();
    if (engine == QLatin1String("sqlite")) {
        options.driver = QStringLiteral("QSQLITE");
    } else if (engine == QLatin1String("firebird")) {
        options.driver = QStringLiteral("QIBASE");
    } else {
        std::fprintf(stderr, "fis94100-server: unknown engine '%s' (sqlite or firebird)\n", qPrintable(engine));
        return 2;
    }
    options.database = setting(parser, database, "FIS94100_DATABASE", "fis94100.sqlite");
    options.user = setting(parser, user, "FIS94100_DB_USER", options.driver == QLatin1String("QIBASE") ? "SYSDBA" : "");
    options.password = setting(parser, password, "FIS94100_DB_PASSWORD", options.driver == QLatin1String("QIBASE") ? "masterkey" : "");
    options.demo = parser.isSet(demo) || qgetenv("FIS94100_DEMO") == "1";

    bool ok = false;
    const int portNumber = setting(parser, port, "FIS94100_PORT", "8094").toInt(&ok);
    if (!ok || portNumber < 0 || portNumber > 65535) {
        std::fprintf(stderr, "fis94100-server: invalid port\n");
        return 2;
    }
    const int threadCount = std::max(2, setting(parser, threads, "FIS94100_THREADS", "8").toInt());

    ParamStore store(options);
    try {
        store.open();
    } catch (const rt::Exception &e) {
        std::fprintf(stderr, "fis94100-server: %s\n", e.what());
        return 1;
    }

    RpcDispatcher dispatcher;
    const QString certificates = setting(parser, certDir, "FIS94100_CERT_DIR", QString());
    registerParamService(dispatcher, store, certificates.isEmpty() ? QString() : QFileInfo(certificates).absoluteFilePath());

    HttpServer server(dispatcher, threadCount);
    const QString address = setting(parser, host, "FIS94100_HOST", "127.0.0.1");
    const int bound = server.bind(address, portNumber);
    if (bound < 0) {
        std::fprintf(stderr, "fis94100-server: cannot listen on %s:%d\n", qPrintable(address), portNumber);
        return 1;
    }
    g_server = &server;
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    std::printf("fis94100-server listening on http://%s:%d%s\n", qPrintable(address), bound, HttpServer::Path);
    std::fflush(stdout);
    server.listen();
    g_server = nullptr;
    return 0;
}
