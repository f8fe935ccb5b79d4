// fis94100-server: the parameter service "FIS94100.rdmParamGNRE".
#include "Backup.h"
#include "HttpServer.h"
#include "ParamService.h"
#include "ParamStore.h"

#include "Exceptions.h"
#include "Log.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QTextStream>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <csignal>
#include <cstdlib>
#include <pthread.h>
#include <sqlite3.h>
#include <cstdio>
#ifdef FIS94100_MIMALLOC
#include <mimalloc.h>
#endif

namespace {

// The configuration file: "name = value" lines named like the long options
// ("host = 0.0.0.0", "token-file = /etc/fis94100/token"); '#' starts a comment.
QHash<QString, QString> g_file;

bool readConfig(const QString &path, bool required)
{
    QFile f(path);
    if (!f.exists() && !required)
        return true;
    if (!f.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "fis94100-server: cannot read the configuration %s: %s\n", qPrintable(path), qPrintable(f.errorString()));
        return false;
    }
    int number = 0;
    for (const QByteArray &raw : f.readAll().split('\n')) {
        ++number;
        const QString line = QString::fromUtf8(raw).section(QLatin1Char('#'), 0, 0).trimmed();
        if (line.isEmpty())
            continue;
        const int eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0) {
            std::fprintf(stderr, "fis94100-server: %s:%d: expected 'name = value'\n", qPrintable(path), number);
            return false;
        }
        g_file.insert(line.left(eq).trimmed(), line.mid(eq + 1).trimmed());
    }
    return true;
}

// The command line, then the environment, then the configuration file, then the default.
QString setting(const QCommandLineParser &p, const QCommandLineOption &o, const char *env, const QString &fallback)
{
    if (p.isSet(o))
        return p.value(o);
    const QByteArray e = qgetenv(env);
    if (!e.isEmpty())
        return QString::fromLocal8Bit(e);
    return g_file.value(o.names().constFirst(), fallback);
}

bool flag(const QCommandLineParser &p, const QCommandLineOption &o, const char *env)
{
    if (p.isSet(o))
        return true;
    const QString v = setting(p, o, env, QStringLiteral("0")).toLower();
    return v == QLatin1String("1") || v == QLatin1String("true") || v == QLatin1String("yes");
}

// fis94100-server backup --database FILE --to FILE
int backupCommand(QCoreApplication &app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Copies a live SQLite database consistently (SQLite's online backup), while services use it."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("backup"), QStringLiteral("The command."));
    const QCommandLineOption database("database", "The database to copy [FIS94100_DATABASE].", "file");
    const QCommandLineOption to("to", "The copy to make (must not exist).", "file");
    parser.addOptions({database, to});
    parser.process(app);
    const QString from = setting(parser, database, "FIS94100_DATABASE", QString());
    if (from.isEmpty() || !parser.isSet(to)) {
        std::fprintf(stderr, "fis94100-server backup: --database FILE and --to FILE are needed\n");
        return 2;
    }
    try {
        QElapsedTimer t;
        t.start();
        const int pages = backupSqlite(from, parser.value(to));
        svclog::info(QStringLiteral("backup of %1 to %2: %3 pages in %4 ms").arg(from, parser.value(to)).arg(pages).arg(t.elapsed()));
        return 0;
    } catch (const rt::Exception &e) {
        std::fprintf(stderr, "fis94100-server backup: %s\n", e.what());
        return 1;
    }
}

} // namespace

int main(int argc, char **argv)
{
    // A stop asked for before the service listens waits for it (every thread
    // started from here on inherits the mask; the transport unblocks it).
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stops, nullptr);

    // SQLite's memory statistics take a global lock on every allocation, which
    // serialises the workers; nothing here reads them. Before the first connection.
    sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("fis94100-server"));
    if (argc > 1 && qstrcmp(argv[1], "backup") == 0)
        return backupCommand(app);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Parameter service FIS94100.rdmParamGNRE: JSON-RPC 2.0 over HTTP at POST /FIS94100.rdmParamGNRE.\n"
        "Every option can also be set by the environment variable named in brackets."));
    parser.addHelpOption();
    const QCommandLineOption version("version", "Prints the version, the engines and the schema version, and exits.");
    const QCommandLineOption config("config", "Configuration file of 'name = value' lines, names as the long options [FIS94100_CONFIG_FILE] (default /etc/fis94100/server.conf when it exists).", "file");
    const QCommandLineOption logLevel("log-level", "error, warning, info or debug [FIS94100_LOG_LEVEL] (default info).", "level");
    const QCommandLineOption host("host", "Address to listen on [FIS94100_HOST] (default 127.0.0.1).", "address");
    const QCommandLineOption port("port", "Port to listen on, 0 for any free port [FIS94100_PORT] (default 8094).", "port");
    const QCommandLineOption database("database", "Database file (SQLite) or host/port:path (Firebird) [FIS94100_DATABASE] (default fis94100.sqlite). A new SQLite file gets the schema.", "file");
    const QCommandLineOption driver("driver", "Database engine: sqlite or firebird [FIS94100_DRIVER] (default sqlite).", "engine");
    const QCommandLineOption user("user", "Database user, Firebird only [FIS94100_DB_USER] (default SYSDBA).", "name");
    const QCommandLineOption password("password", "Database password, Firebird only [FIS94100_DB_PASSWORD].", "secret");
    const QCommandLineOption demo("demo", "A new database also gets the demo data; implies --create [FIS94100_DEMO=1].");
    const QCommandLineOption create("create", "Makes a new SQLite database when the file does not exist; without it a missing file is an error [FIS94100_CREATE=1].");
    const QCommandLineOption certDir("cert-dir", "Directory of the installed X.509 certificates [FIS94100_CERT_DIR].", "dir");
    const QCommandLineOption threads("threads", "Threads for connections, reads and the changes that find no other under way, at least 2; changes that would wait run on one more [FIS94100_THREADS] (default 8).", "n");
    const QCommandLineOption requestTimeout("request-timeout", "Seconds a request's headers and body may take to arrive [FIS94100_REQUEST_TIMEOUT] (default 10).", "seconds");
    const QCommandLineOption maxConnections("max-connections", "Connections open at once [FIS94100_MAX_CONNECTIONS] (default 512).", "n");
    const QCommandLineOption tokenFile("token-file", "File holding the token every request must carry as 'Authorization: Bearer <token>' [FIS94100_TOKEN_FILE]. Required to listen beyond loopback.", "file");
    const QCommandLineOption tlsCert("tls-cert", "PEM certificate (chain) to serve HTTPS with [FIS94100_TLS_CERT].", "file");
    const QCommandLineOption tlsKey("tls-key", "PEM private key of --tls-cert [FIS94100_TLS_KEY].", "file");
    parser.addOptions({version, config, logLevel, host, port, database, driver, user, password, demo, create, certDir, threads, requestTimeout, maxConnections,
                       tokenFile, tlsCert, tlsKey});
    parser.process(app);
    if (parser.isSet(version)) {
        std::printf("fis94100-server %s\nengines: SQLite %s (Qt QSQLITE), Firebird (Qt QIBASE)\nschema version: %d\n",
                    FIS94100_VERSION, sqlite3_libversion(), ParamStore::SchemaVersion);
#ifdef FIS94100_MIMALLOC
        std::printf("allocator: mimalloc %d.%d.%d\n", mi_version() / 100, mi_version() / 10 % 10, mi_version() % 10);
#endif
        return 0;
    }
    {
        const QByteArray envConfig = qgetenv("FIS94100_CONFIG_FILE");
        const bool given = parser.isSet(config) || !envConfig.isEmpty();
        const QString path = parser.isSet(config) ? parser.value(config)
                             : !envConfig.isEmpty() ? QString::fromLocal8Bit(envConfig)
                                                    : QStringLiteral("/etc/fis94100/server.conf");
        if (!readConfig(path, given))
            return 2;
    }
    if (!svclog::setLevel(setting(parser, logLevel, "FIS94100_LOG_LEVEL", "info"))) {
        std::fprintf(stderr, "fis94100-server: invalid log level '%s' (error, warning, info or debug)\n",
                     qPrintable(setting(parser, logLevel, "FIS94100_LOG_LEVEL", "info")));
        return 2;
    }

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
    options.demo = flag(parser, demo, "FIS94100_DEMO");
    options.create = options.demo || flag(parser, create, "FIS94100_CREATE");

    HttpServer::Options http;
    auto number = [&](const QCommandLineOption &o, const char *env, const char *fallback, int min, int max, const char *what) {
        bool valid = false;
        const QString text = setting(parser, o, env, QString::fromLatin1(fallback));
        const int n = text.toInt(&valid);
        if (!valid || n < min || n > max) {
            std::fprintf(stderr, "fis94100-server: invalid %s '%s' (%d to %d)\n", what, qPrintable(text), min, max);
            std::exit(2);
        }
        return n;
    };
    const int portNumber = number(port, "FIS94100_PORT", "8094", 0, 65535, "port");
    http.workers = number(threads, "FIS94100_THREADS", "8", 1, 256, "thread count");
    http.requestTimeout = number(requestTimeout, "FIS94100_REQUEST_TIMEOUT", "10", 1, 3600, "request timeout");
    http.maxConnections = number(maxConnections, "FIS94100_MAX_CONNECTIONS", "512", 1, 100000, "connection limit");
    const QString tokenPath = setting(parser, tokenFile, "FIS94100_TOKEN_FILE", QString());
    if (!tokenPath.isEmpty()) {
        QFile f(tokenPath);
        if (!f.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "fis94100-server: cannot read the token file %s: %s\n", qPrintable(tokenPath), qPrintable(f.errorString()));
            return 2;
        }
        http.token = f.read(4096).trimmed();
        if (http.token.size() < 16) {
            std::fprintf(stderr, "fis94100-server: the token in %s is too short (at least 16 characters)\n", qPrintable(tokenPath));
            return 2;
        }
    }
    http.tlsCertificate = setting(parser, tlsCert, "FIS94100_TLS_CERT", QString());
    http.tlsKey = setting(parser, tlsKey, "FIS94100_TLS_KEY", QString());
    if (http.tlsCertificate.isEmpty() != http.tlsKey.isEmpty()) {
        std::fprintf(stderr, "fis94100-server: --tls-cert and --tls-key go together\n");
        return 2;
    }
    const QString address = setting(parser, host, "FIS94100_HOST", "127.0.0.1");
    if (!HttpServer::isLoopback(address) && http.token.isEmpty()) {
        std::fprintf(stderr, "fis94100-server: refusing to listen on %s without authentication: "
                             "give a token file (--token-file) to serve beyond this machine\n", qPrintable(address));
        return 2;
    }

    ParamStore store(options);
    try {
        const QString done = store.open();
        svclog::info(QStringLiteral("database %1 (%2): %3").arg(options.database, engine, done));
    } catch (const rt::Exception &e) {
        svclog::error(QStringLiteral("database %1 (%2): %3").arg(options.database, engine, e.message()));
        std::fprintf(stderr, "fis94100-server: %s\n", e.what());
        return 1;
    }

    RpcDispatcher dispatcher;
    const QString certificates = setting(parser, certDir, "FIS94100_CERT_DIR", QString());
    registerParamService(dispatcher, store, certificates.isEmpty() ? QString() : QFileInfo(certificates).absoluteFilePath());

    const bool tls = !http.tlsCertificate.isEmpty();
    const bool authenticated = !http.token.isEmpty();
    http.health = QStringLiteral(R"({"status":"ok","service":"FIS94100.rdmParamGNRE","version":"%1","engine":"%2","schema":%3})")
                      .arg(QStringLiteral(FIS94100_VERSION), engine)
                      .arg(ParamStore::SchemaVersion)
                      .toStdString();
    const int threadsUsed = http.workers;
    HttpServer server(dispatcher, std::move(http));
    QString why;
    const int bound = server.bind(address, portNumber, &why);
    if (bound < 0) {
        std::fprintf(stderr, "fis94100-server: %s\n", qPrintable(why));
        return 1;
    }
    std::printf("fis94100-server listening on %s://%s:%d%s%s\n", tls ? "https" : "http", qPrintable(address), bound,
                HttpServer::Path, authenticated ? " (token required)" : "");
    std::fflush(stdout);
    svclog::info(QStringLiteral("started: %1://%2:%3%4, %5, %6 workers")
                     .arg(tls ? "https" : "http", address).arg(bound).arg(QString::fromLatin1(HttpServer::Path))
                     .arg(authenticated ? "token required" : "no token").arg(threadsUsed));
    server.run();
    svclog::info(QStringLiteral("stopped"));
    return 0;
}
