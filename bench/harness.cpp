#include "harness.h"

#include "JsonRpc.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QUuid>

#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/write.hpp>

#include <sqlite3.h>
#include <sched.h>
#include <sys/prctl.h>

#include <algorithm>
#include <thread>
#include <csignal>
#include <cstdio>

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;

namespace bench {

void fail(const QString &what) { throw Failure(what.toStdString()); }

// ---------------------------------------------------------------- figures

double percentile(std::vector<double> samples, double p)
{
    if (samples.empty())
        return 0;
    const size_t at = std::min(samples.size() - 1, size_t(p * double(samples.size() - 1) + 0.5));
    std::nth_element(samples.begin(), samples.begin() + std::ptrdiff_t(at), samples.end());
    return samples[at];
}

double medianOf(int n, const std::function<double()> &timed)
{
    std::vector<double> us;
    us.reserve(size_t(n));
    for (int i = 0; i < n; ++i)
        us.push_back(timed());
    return median(std::move(us));
}

double blockMedian(int n, const std::function<void()> &call)
{
    return medianOf(n, [&] {
        const auto t0 = Clock::now();
        call();
        return microsSince(t0);
    });
}

std::vector<Paired> alternate(int blocks, const std::function<std::vector<double>()> &serviceBlock,
                              const std::function<std::vector<double>()> &floorBlock)
{
    std::vector<std::vector<double>> service, floor; // [figure][block]
    auto keep = [](std::vector<std::vector<double>> &into, const std::vector<double> &figures) {
        into.resize(std::max(into.size(), figures.size()));
        for (size_t i = 0; i < figures.size(); ++i)
            into[i].push_back(figures[i]);
    };
    for (int b = 0; b < blocks; ++b) {
        if (b % 2 == 0) {
            keep(floor, floorBlock());
            keep(service, serviceBlock());
        } else {
            keep(service, serviceBlock());
            keep(floor, floorBlock());
        }
    }
    std::vector<Paired> out(std::min(service.size(), floor.size()));
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = {median(service[i]), median(floor[i])};
    return out;
}

Paired alternate(int blocks, const std::function<double()> &serviceBlock, const std::function<double()> &floorBlock)
{
    return alternate(
        blocks, std::function<std::vector<double>()>([&] { return std::vector<double>{serviceBlock()}; }),
        std::function<std::vector<double>()>([&] { return std::vector<double>{floorBlock()}; }))[0];
}

Scale scaleFrom(const QStringList &args)
{
    Scale s;
    s.quick = args.contains(QStringLiteral("--quick"));
    if (const qsizetype at = args.indexOf(QStringLiteral("--only")); at > 0 && at + 1 < args.size())
        for (const QString &n : args.at(at + 1).split(QLatin1Char(',')))
            s.only << n.toInt();
    return s;
}

// ---------------------------------------------------------------- report

QString loadAverage()
{
    QFile f(QStringLiteral("/proc/loadavg"));
    if (!f.open(QIODevice::ReadOnly))
        return QStringLiteral("?");
    return QString::fromLatin1(f.readAll()).section(QLatin1Char(' '), 0, 2);
}

namespace report {

namespace {
void line(QStringList fields)
{
    static const QRegularExpression breaks(QStringLiteral("[\\t\\r\\n]+"));
    for (QString &f : fields)
        f.replace(breaks, QStringLiteral(" "));
    std::printf("%s\n", fields.join(QLatin1Char('\t')).toUtf8().constData());
    std::fflush(stdout);
}
} // namespace

void section(const QString &title) { line({QStringLiteral("section"), title, loadAverage()}); }

void row(const QString &what, const QString &service, const QString &floor, const QString &ratio, const QString &target,
         const QString &verdict)
{
    line({QStringLiteral("row"), what, service, floor, ratio, target, verdict});
}

void note(const QString &text) { line({QStringLiteral("note"), text}); }

QString micros(double us)
{
    if (us >= 10000)
        return QStringLiteral("%1 ms").arg(us / 1000, 0, 'f', 1);
    if (us >= 1000)
        return QStringLiteral("%1 ms").arg(us / 1000, 0, 'f', 2);
    return QStringLiteral("%1 us").arg(us, 0, 'f', 0);
}

QString ratioText(double r) { return QStringLiteral("%1x").arg(r, 0, 'f', 2); }
QString verdict(bool pass) { return pass ? QStringLiteral("PASS") : QStringLiteral("FAIL"); }

void latency(const QString &what, const Paired &us, double maxRatio)
{
    row(what, micros(us.service), micros(us.floor), ratioText(us.ratio()),
        maxRatio > 0 ? QStringLiteral("<= %1x").arg(maxRatio, 0, 'f', 1) : QStringLiteral("-"),
        maxRatio > 0 ? verdict(us.ratio() <= maxRatio) : QStringLiteral("info"));
}

} // namespace report

// ---------------------------------------------------------------- processes

QString serviceExecutable() { return QStringLiteral(FIS94100_SERVER_EXE); }
QString floorExecutable() { return QStringLiteral(BENCH_FLOOR_EXE); }
QString sourceDir() { return QStringLiteral(FIS94100_SOURCE_DIR); }

namespace {
bool g_latencyPins = false; // see pinForLatency()
} // namespace

ServerProgram::ServerProgram(const QString &program, const QStringList &args, const QString &logFile)
{
    std::signal(SIGPIPE, SIG_IGN);
    m_process.setStandardErrorFile(logFile);
    m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    m_process.start(program, args);
    if (!m_process.waitForStarted(5000))
        fail(QStringLiteral("%1 did not start: %2").arg(program, m_process.errorString()));
    static const QRegularExpression listening(QStringLiteral("listening on https?://[^ ]+:(\\d+)/"));
    QByteArray out;
    const auto t0 = Clock::now();
    while (microsSince(t0) < 15e6) {
        if (!m_process.waitForReadyRead(200) && m_process.state() != QProcess::Running)
            break;
        out += m_process.readAllStandardOutput();
        if (const auto m = listening.match(QString::fromUtf8(out)); m.hasMatch()) {
            m_port = m.captured(1).toInt();
            if (g_latencyPins)
                pin(1);
            return;
        }
    }
    QFile log(logFile);
    log.open(QIODevice::ReadOnly);
    fail(QStringLiteral("%1 did not start serving: %2 %3").arg(program, QString::fromUtf8(out), QString::fromUtf8(log.readAll())));
}

ServerProgram::~ServerProgram() { stop(); }

namespace {
void setAffinity(pid_t tid, int cpu)
{
    cpu_set_t set;
    CPU_ZERO(&set);
    const int cpus = int(std::thread::hardware_concurrency());
    for (int i = 0; i < cpus; ++i)
        if (cpu < 0 || i == cpu)
            CPU_SET(i, &set);
    ::sched_setaffinity(tid, sizeof set, &set);
}
} // namespace

void ServerProgram::pin(int cpu)
{
    const QString tasks = QStringLiteral("/proc/%1/task").arg(m_process.processId());
    for (const QString &tid : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        setAffinity(pid_t(tid.toInt()), cpu);
}

void pinForLatency(bool on)
{
    if (std::thread::hardware_concurrency() < 2)
        return;
    g_latencyPins = on;
    setAffinity(0, on ? 0 : -1);
}

void ServerProgram::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(10000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

std::unique_ptr<ServerProgram> startService(const QStringList &databaseArgs, const QString &logDir)
{
    static int started = 0;
    return std::make_unique<ServerProgram>(serviceExecutable(), QStringList{"--port", "0"} + databaseArgs,
                                           QDir(logDir).filePath(QStringLiteral("service-%1.log").arg(++started)));
}

std::unique_ptr<ServerProgram> startFloor(const QByteArray &reply, const QStringList &workArgs, const QString &dir,
                                          const QString &name)
{
    const QString replyFile = QDir(dir).filePath(name + QStringLiteral(".reply"));
    QFile f(replyFile);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(reply) != reply.size())
        fail(QStringLiteral("cannot write %1").arg(replyFile));
    f.close();
    return std::make_unique<ServerProgram>(floorExecutable(), QStringList{"--reply", replyFile} + workArgs,
                                           QDir(dir).filePath(name + QStringLiteral(".log")));
}

// ---------------------------------------------------------------- HTTP

HttpClient::HttpClient(int port) : m_port(port)
{
    m_request.method(http::verb::post);
    m_request.target("/FIS94100.rdmParamGNRE");
    m_request.version(11);
    m_request.set(http::field::host, "127.0.0.1");
    m_request.set(http::field::content_type, "application/json");
    m_request.keep_alive(true);
    connect();
}

HttpClient::~HttpClient()
{
    if (m_stream) {
        beast::error_code ignored;
        m_stream->socket().shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
    }
}

void HttpClient::connect()
{
    m_stream = std::make_unique<beast::tcp_stream>(m_ioc);
    m_buffer.clear();
    m_stream->connect(asio::ip::tcp::endpoint(asio::ip::make_address("127.0.0.1"), static_cast<unsigned short>(m_port)));
    m_stream->socket().set_option(asio::ip::tcp::no_delay(true));
}

int HttpClient::post(const std::string &body, std::string &reply)
{
    try {
        if (!m_stream)
            connect();
        m_request.body() = body;
        m_request.prepare_payload();
        http::write(*m_stream, m_request);
        http::response<http::string_body> res;
        http::read(*m_stream, m_buffer, res);
        reply = std::move(res.body());
        if (!res.keep_alive())
            m_stream.reset();
        return int(res.result_int());
    } catch (const std::exception &) {
        m_stream.reset();
        return -1;
    }
}

std::string HttpClient::postOk(const std::string &body)
{
    std::string reply;
    const int status = post(body, reply);
    if (status != 200)
        fail(QStringLiteral("HTTP %1 from port %2: %3").arg(status).arg(m_port).arg(QString::fromStdString(reply.substr(0, 300))));
    return reply;
}

std::string rpcRequest(const QString &method, const QJsonArray &params)
{
    return jsonrpc::request(method, params, 1).toStdString();
}

ChangeRequest::ChangeRequest(const QString &method, const QJsonArray &params)
{
    // The text once, with a marker where each call's id goes.
    const QString marker = QStringLiteral("@ID@");
    const std::string text = jsonrpc::request(method, params, QJsonValue(marker)).toStdString();
    const size_t at = text.find("\"@ID@\"");
    if (at == std::string::npos)
        fail(QStringLiteral("no id in the request text"));
    m_head = text.substr(0, at + 1);
    m_tail = text.substr(at + 5);
}

std::string ChangeRequest::next() const
{
    return m_head + QUuid::createUuid().toString(QUuid::WithoutBraces).toStdString() + m_tail;
}

QJsonValue resultOf(const std::string &reply, const QString &what)
{
    const jsonrpc::Reply r = jsonrpc::parseReply(QByteArray::fromStdString(reply));
    if (!r.ok)
        fail(QStringLiteral("%1 refused: %2").arg(what, r.message));
    return r.result;
}

// ---------------------------------------------------------------- data

namespace {

void exec(sqlite3 *db, const char *sql)
{
    char *error = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        const QString why = QString::fromUtf8(error ? error : "?");
        sqlite3_free(error);
        fail(QStringLiteral("seeding: %1: %2").arg(QString::fromLatin1(sql), why));
    }
}

// Inserts rows through one prepared statement; `bind` fills row i.
void insertRows(sqlite3 *db, const char *sql, int count, const std::function<QStringList(int)> &values)
{
    sqlite3_stmt *st = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) != SQLITE_OK)
        fail(QStringLiteral("seeding: %1").arg(QString::fromUtf8(sqlite3_errmsg(db))));
    for (int i = 0; i < count; ++i) {
        const QStringList row = values(i);
        if (row.isEmpty())
            continue;
        for (int c = 0; c < row.size(); ++c) {
            const QByteArray v = row.at(c).toUtf8();
            if (row.at(c).isNull())
                sqlite3_bind_null(st, c + 1);
            else
                sqlite3_bind_text(st, c + 1, v.constData(), int(v.size()), SQLITE_TRANSIENT);
        }
        if (sqlite3_step(st) != SQLITE_DONE)
            fail(QStringLiteral("seeding: %1").arg(QString::fromUtf8(sqlite3_errmsg(db))));
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
}

const QStringList kStates{"SP", "RJ", "MG", "RS", "PR", "SC", "BA", "PE", "GO", "ES", "CE", "PA", "AM", "MT", "MS", "DF"};
const QStringList kCities{"Campinas", "São Paulo", "Niterói", "Belo Horizonte", "Jundiaí", "Curitiba", "Porto Alegre",
                          "Salvador", "Recife", "Goiânia", "Vitória", "Fortaleza", "Belém", "Manaus", "Cuiabá",
                          "Campo Grande", "Brasília", "Santos", "Sorocaba", "Ribeirão Preto", "Londrina", "Joinville",
                          "Uberlândia", "Contagem", "Juiz de Fora", "Petrópolis", "Pelotas", "Maringá", "Feira de Santana",
                          "Caruaru", "Anápolis", "Vila Velha"};

} // namespace

BenchDatabase::BenchDatabase()
{
    if (!m_dir.isValid())
        fail(QStringLiteral("no temporary folder"));
    // The schema and the demo data as the service makes them.
    startService({"--demo", "--database", path()}, dir())->stop();

    sqlite3 *db = nullptr;
    if (sqlite3_open(QFile::encodeName(path()).constData(), &db) != SQLITE_OK)
        fail(QStringLiteral("cannot open %1").arg(path()));
    exec(db, "PRAGMA busy_timeout = 10000");
    exec(db, "BEGIN IMMEDIATE");
    insertRows(db,
               "INSERT INTO PARAMGNREINSCR (CDEMPRESA, CDINSCESTA, SGESTADO, NRCERTIFICDIG, IDTPAMBIENTE, DSEMAILRETORNO,"
               " IDPERIODOREFAPU, IDTPGUIA, IDCALCSTMANUAL, CDENCARGOST, CDFILIALPAG, IDFCPSEPIMP)"
               " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
               kRegistrations, [](int i) {
                   const QString state = kStates.at(i % kStates.size());
                   return QStringList{QString::fromLatin1(kCompany),
                                      QStringLiteral("%1").arg(110000000000LL + qint64(i) * 7919),
                                      state,
                                      i % 3 == 0 ? QString() : QStringLiteral("4E2A%1").arg(i % 4096, 4, 16, QLatin1Char('0')).toUpper(),
                                      i % 2 ? QStringLiteral("H") : QStringLiteral("P"),
                                      i % 4 == 0 ? QStringLiteral("gnre.%1@empresa.com.br").arg(state.toLower()) : QString(),
                                      QStringList{"I", "D", "Q", "M"}.at(i % 4),
                                      QString::fromLatin1(kGuide),
                                      i % 5 == 0 ? QStringLiteral("S") : QStringLiteral("N"),
                                      QStringList{"01", "02", "05", "10"}.at(i % 4),
                                      QStringLiteral("%1").arg(i % 9999 + 1, 4, 10, QLatin1Char('0')),
                                      i % 7 == 0 ? QStringLiteral("S") : QStringLiteral("N")};
               });
    // Branch codes 0000..9999, those of the demo data kept: kBranches in all.
    insertRows(db, "INSERT OR IGNORE INTO FILIAL (CDFILIAL, NMFILIAL) VALUES (?, ?)", kBranches, [](int i) {
        return QStringList{QStringLiteral("%1").arg(i, 4, 10, QLatin1Char('0')),
                           QStringLiteral("%1 %2").arg(kCities.at(i % kCities.size())).arg(i, 4, 10, QLatin1Char('0'))};
    });
    exec(db, "COMMIT");
    sqlite3_close(db);
}

} // namespace bench
