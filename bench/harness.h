#pragma once

// What every benchmark shares: figures and their alternation, the report
// lines bench/run.sh turns into one table, the processes measured (the
// service and the floor server), a blocking HTTP client, and the seeded
// benchmark database.

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <boost/asio/io_context.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/http/message.hpp>

#include <chrono>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace bench {

// A failure of the benchmark itself (a wrong answer, a process that did not
// start): the program reports it and exits with status 1.
struct Failure : std::runtime_error
{
    using std::runtime_error::runtime_error;
};
[[noreturn]] void fail(const QString &what);

// ---------------------------------------------------------------- figures

using Clock = std::chrono::steady_clock;
inline double microsSince(Clock::time_point t0)
{
    return std::chrono::duration<double, std::micro>(Clock::now() - t0).count();
}

double percentile(std::vector<double> samples, double p); // p in [0, 1]
inline double median(std::vector<double> samples) { return percentile(std::move(samples), 0.5); }

// Calls `call` n times; the median of their durations, in microseconds.
double blockMedian(int n, const std::function<void()> &call);
// Runs `timed` n times; the median of the microseconds each run reports
// (for runs whose setting up or clearing away is not to be counted).
double medianOf(int n, const std::function<double()> &timed);

struct Paired
{
    double service = 0;
    double floor = 0;
    double ratio() const { return floor > 0 ? service / floor : 0; }
};

// Runs `blocks` blocks of each side, alternating which side goes first; each
// block returns its figure. Answers the medians over the blocks.
Paired alternate(int blocks, const std::function<double()> &serviceBlock, const std::function<double()> &floorBlock);
// The same with several figures per block (both sides give as many).
std::vector<Paired> alternate(int blocks, const std::function<std::vector<double>()> &serviceBlock,
                              const std::function<std::vector<double>()> &floorBlock);

// How much a run does: --quick cuts it down; --only 2,7 runs those sections.
struct Scale
{
    bool quick = false;
    QList<int> only;
    int pick(int full, int quickValue) const { return quick ? quickValue : full; }
    bool runs(int section) const { return only.isEmpty() || only.contains(section); }
};
Scale scaleFrom(const QStringList &args);

// ---------------------------------------------------------------- report

// Lines on standard output, tab-separated, that bench/run.sh lays out as
// one table: "section", "row" and "note" lines.
namespace report {
void section(const QString &title); // prints the load average beside it
void row(const QString &what, const QString &service, const QString &floor, const QString &ratio, const QString &target,
         const QString &verdict);
void note(const QString &text);

// A latency figure against the floor, verdict by ratio (`maxRatio` <= 0: no target).
void latency(const QString &what, const Paired &us, double maxRatio);
QString micros(double us);
QString ratioText(double r);
QString verdict(bool pass);
} // namespace report

QString loadAverage();

// ---------------------------------------------------------------- processes

// A server program started for a benchmark: it prints "listening on
// http://HOST:PORT/" when it serves; its standard error goes to a log file.
// It dies with the benchmark.
class ServerProgram
{
public:
    ServerProgram(const QString &program, const QStringList &args, const QString &logFile);
    ~ServerProgram();
    ServerProgram(const ServerProgram &) = delete;
    ServerProgram &operator=(const ServerProgram &) = delete;

    int port() const { return m_port; }
    void stop();
    // Every thread of the program on one CPU (-1: any).
    void pin(int cpu);

private:
    QProcess m_process;
    int m_port = 0;
};

// Latency rows put the bench on one CPU and the servers (both sides alike) on
// the other, so that wake-ups cost the same on both sides and from block to
// block; the throughput rows use every CPU. Servers started meanwhile follow.
void pinForLatency(bool on);

QString serviceExecutable();
QString floorExecutable();
QString sourceDir();

// The parameter service on a database (arguments as its command line takes
// them); its log goes beside `logDir`'s other files.
std::unique_ptr<ServerProgram> startService(const QStringList &databaseArgs, const QString &logDir);
// The floor server answering `reply` to every request, after the work
// `workArgs` ask for (see floor_server.cpp).
std::unique_ptr<ServerProgram> startFloor(const QByteArray &reply, const QStringList &workArgs, const QString &dir,
                                          const QString &name);

// ---------------------------------------------------------------- HTTP

// A blocking keep-alive HTTP/1.1 client (Boost.Beast) posting to the service's path.
class HttpClient
{
public:
    explicit HttpClient(int port);
    ~HttpClient();
    HttpClient(const HttpClient &) = delete;
    HttpClient &operator=(const HttpClient &) = delete;

    // The status, or -1 when the exchange failed (the connection is then
    // opened again for the next call). The answer's body goes to `reply`.
    int post(const std::string &body, std::string &reply);
    // Posts and requires HTTP 200; answers the body.
    std::string postOk(const std::string &body);

private:
    void connect();

    int m_port;
    boost::asio::io_context m_ioc;
    std::unique_ptr<boost::beast::tcp_stream> m_stream;
    boost::beast::flat_buffer m_buffer;
    boost::beast::http::request<boost::beast::http::string_body> m_request;
};

// A JSON-RPC request's text and, for changes, one whose id is a fresh unique
// text each time (as the client sends changes).
std::string rpcRequest(const QString &method, const QJsonArray &params);
class ChangeRequest
{
public:
    ChangeRequest(const QString &method, const QJsonArray &params);
    std::string next() const; // a new id each time

private:
    std::string m_head, m_tail;
};
// The result of a JSON-RPC reply; fails when it is an error.
QJsonValue resultOf(const std::string &reply, const QString &what);

// ---------------------------------------------------------------- data

// The benchmark's SQLite database in a temporary folder: the demo data
// (made by the service itself), plus kRegistrations registrations of one
// company and guide type and kBranches branches in all.
class BenchDatabase
{
public:
    static constexpr int kRegistrations = 5000;
    static constexpr const char *kCompany = "03";
    static constexpr const char *kGuide = "GON";
    static constexpr int kBranches = 10000;

    BenchDatabase();
    QString path() const { return m_dir.filePath(QStringLiteral("params.sqlite")); }
    QString dir() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
};

} // namespace bench
