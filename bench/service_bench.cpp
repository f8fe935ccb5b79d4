// bench_service: the parameter service over HTTP against its floors, each a
// bench_floor process answering the same bytes after the least database work
// the same answer needs.
//   bench_service [--quick]                 reads, saves, throughput, 5,000 registrations
//   bench_service --firebird ADDRESS [--quick]  reads and saves on a Firebird server there
#include "harness.h"

#include "DataPacket.h"
#include "JsonRpc.h"

#include <QCoreApplication>
#include <QDir>
#include <QJsonArray>
#include <QProcess>

#include <atomic>
#include <barrier>
#include <cstdio>
#include <thread>

using namespace bench;

namespace {

// How many blocks of how many calls.
struct Sizes
{
    int blocks;
    int calls;
};
Sizes readSizes(const Scale &s) { return {s.pick(20, 6), s.pick(200, 50)}; }
Sizes saveSizes(const Scale &s) { return {s.pick(20, 6), s.pick(20, 10)}; }
// Saves after which a WAL has wrapped at SQLite's default checkpoint of 1,000 pages.
constexpr int kWalWrap = 1100;

// The requests one side sends, one after the other.
using Requests = std::function<std::string()>;

// p50 of the requests on one keep-alive connection, service against floor
// (each side with its own sequence of requests, made alike).
Paired sequentialP50(HttpClient &service, const Requests &serviceRequest, HttpClient &floor, const Requests &floorRequest,
                     const std::function<void(const std::string &)> &check, Sizes sizes)
{
    std::string reply;
    auto block = [&](HttpClient &c, const Requests &request) {
        return [&] {
            return blockMedian(sizes.calls, [&] {
                if (c.post(request(), reply) != 200)
                    fail(QStringLiteral("a call failed"));
                check(reply);
            });
        };
    };
    for (int i = 0; i < std::min(sizes.calls, 50); ++i) { // warm-up
        check(service.postOk(serviceRequest()));
        check(floor.postOk(floorRequest()));
    }
    return alternate(sizes.blocks, block(service, serviceRequest), block(floor, floorRequest));
}

// A read whose answer never changes: its floor answers the same bytes.
void readRow(const QString &what, HttpClient &service, const std::string &request, double target, const QString &dir,
             const QString &name, const Scale &scale)
{
    const std::string expected = service.postOk(request);
    resultOf(expected, what);
    auto floorServer = startFloor(QByteArray::fromStdString(expected), {}, dir, name);
    HttpClient floor(floorServer->port());
    auto same = [&](const std::string &reply) {
        if (reply != expected)
            fail(QStringLiteral("%1: another answer than the first").arg(what));
    };
    const Requests repeat = [&] { return request; };
    report::latency(what, sequentialP50(service, repeat, floor, repeat, same, readSizes(scale)), target);
}

// A one-field change toggled back and forth, each delta carrying the values
// loaded: every call is a real change that the service accepts.
class Toggle
{
public:
    Toggle(const QString &method, const rt::DataPacket &loaded, int row, const QString &field, const QString &other)
    {
        const int f = loaded.indexOf(field);
        if (f < 0 || row >= loaded.rows.size())
            fail(QStringLiteral("%1: no %2 to change").arg(method, field));
        rt::Row a = loaded.rows.at(row);
        rt::Row b = a;
        b[f] = other;
        for (const auto &[from, to] : {std::pair{a, b}, std::pair{b, a}}) {
            rt::Delta d;
            d.fields = loaded.fields;
            d.changes.append(rt::Change{rt::ChangeKind::Modify, from, to});
            m_requests.emplace_back(method, QJsonArray{d.toJson()});
        }
    }
    std::string next() { return m_requests[m_next++ % 2].next(); }

private:
    std::vector<ChangeRequest> m_requests;
    size_t m_next = 0;
};

void requireOk(const std::string &reply)
{
    if (reply.find("\"result\":\"OK\"") == std::string::npos)
        fail(QStringLiteral("a save was refused: %1").arg(QString::fromStdString(reply.substr(0, 300))));
}

void saveRow(const QString &what, HttpClient &service, const Toggle &toggle, const QStringList &floorWork, double target,
             const QString &dir, const QString &name, const Scale &scale)
{
    Toggle serviceSide = toggle, floorSide = toggle;
    const std::string first = service.postOk(serviceSide.next());
    requireOk(first);
    auto floorServer = startFloor(QByteArray::fromStdString(first), floorWork, dir, name);
    HttpClient floor(floorServer->port());
    floorSide.next(); // in step with the service's side
    // A WAL file that still grows makes every commit also commit the file's
    // new size (on ext4 about 180 µs a commit instead of 90). A running
    // service writes over its WAL once it has wrapped, so both sides are
    // measured past their first wrap: 1,000 frames, at least one a save.
    for (int i = 0; i < kWalWrap; ++i) {
        requireOk(service.postOk(serviceSide.next()));
        requireOk(floor.postOk(floorSide.next()));
    }
    report::latency(what, sequentialP50(service, [&] { return serviceSide.next(); }, floor, [&] { return floorSide.next(); },
                                        requireOk, saveSizes(scale)),
                    target);
}

rt::DataPacket packetOf(HttpClient &c, const QString &method, const QJsonArray &params)
{
    return rt::DataPacket::fromJson(resultOf(c.postOk(rpcRequest(method, params)), method));
}

// ---------------------------------------------------------------- throughput

struct Load
{
    double perSecond = 0;
    std::vector<double> latencies; // µs
    long errors = 0;
};

// `clients` threads, each on its own keep-alive connection, for `seconds`.
Load drive(int port, int clients, double seconds, const std::string &request, const std::string &expected)
{
    std::vector<std::unique_ptr<HttpClient>> connections;
    for (int i = 0; i < clients; ++i)
        connections.push_back(std::make_unique<HttpClient>(port));
    std::vector<std::vector<double>> latencies(static_cast<size_t>(clients));
    std::atomic<long> done{0}, errors{0};
    std::atomic<bool> stop{false};
    std::barrier ready(clients + 1);
    std::vector<std::thread> threads;
    for (int i = 0; i < clients; ++i)
        threads.emplace_back([&, i] {
            HttpClient &c = *connections[size_t(i)];
            std::vector<double> &mine = latencies[size_t(i)];
            mine.reserve(16384);
            std::string reply;
            ready.arrive_and_wait();
            while (!stop.load(std::memory_order_relaxed)) {
                const auto t0 = Clock::now();
                const int status = c.post(request, reply);
                mine.push_back(microsSince(t0));
                if (status == 200 && reply == expected)
                    done.fetch_add(1, std::memory_order_relaxed);
                else
                    errors.fetch_add(1, std::memory_order_relaxed);
            }
        });
    ready.arrive_and_wait();
    const auto t0 = Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    stop = true;
    for (auto &t : threads)
        t.join();
    const double elapsed = microsSince(t0) / 1e6;
    Load out;
    out.perSecond = double(done) / elapsed;
    out.errors = errors;
    for (auto &l : latencies)
        out.latencies.insert(out.latencies.end(), l.begin(), l.end());
    return out;
}

void throughput(int servicePort, const QString &dir, const Scale &scale)
{
    const std::string request = rpcRequest(QStringLiteral("GetParamGeral"), {QStringLiteral("01")});
    HttpClient probe(servicePort);
    const std::string expected = probe.postOk(request);
    auto floorServer = startFloor(QByteArray::fromStdString(expected), {}, dir, QStringLiteral("floor-throughput"));
    const int rounds = scale.pick(3, 1);
    const double seconds = scale.pick(2000, 1000) / 1000.0;
    long serviceErrors = 0, floorErrors = 0;
    for (int clients : {4, 16, 64}) {
        std::vector<double> serviceRate, floorRate, serviceP99, floorP99;
        for (int r = 0; r < rounds; ++r) {
            auto run = [&](bool service) {
                const Load l = drive(service ? servicePort : floorServer->port(), clients, seconds, request, expected);
                (service ? serviceRate : floorRate).push_back(l.perSecond);
                (service ? serviceP99 : floorP99).push_back(percentile(l.latencies, 0.99));
                (service ? serviceErrors : floorErrors) += l.errors;
            };
            run(r % 2 != 0);
            run(r % 2 == 0);
        }
        const Paired rate{median(serviceRate), median(floorRate)};
        report::row(QStringLiteral("GetParamGeral req/s, %1 clients").arg(clients),
                    QStringLiteral("%1/s").arg(rate.service, 0, 'f', 0), QStringLiteral("%1/s").arg(rate.floor, 0, 'f', 0),
                    report::ratioText(rate.ratio()), QStringLiteral(">= 0.50x"), report::verdict(rate.ratio() >= 0.5));
        if (clients == 16) {
            const Paired p99{median(serviceP99), median(floorP99)};
            report::row(QStringLiteral("p99 latency, 16 clients"), report::micros(p99.service), report::micros(p99.floor),
                        report::ratioText(p99.ratio()), QStringLiteral("<= 10 ms"), report::verdict(p99.service <= 10000));
        }
    }
    report::row(QStringLiteral("errors, all rounds"), QString::number(serviceErrors), QString::number(floorErrors),
                QStringLiteral("-"), QStringLiteral("= 0"), report::verdict(serviceErrors == 0 && floorErrors == 0));
    report::note(QStringLiteral("%1 round(s) of %2 s per side and client count, alternated; the clients are threads of the "
                                "bench on their own keep-alive connections")
                     .arg(rounds).arg(seconds));
}

// ---------------------------------------------------------------- sections

void sqliteSections(const Scale &scale)
{
    BenchDatabase db;
    auto service = startService({"--database", db.path()}, db.dir());
    HttpClient c(service->port());
    pinForLatency(true);
    service->pin(1);

    if (scale.runs(1)) {
        report::section(QStringLiteral("1. Reads on one keep-alive connection (SQLite)"));
        readRow(QStringLiteral("GetParamGeral(\"01\") p50"), c, rpcRequest("GetParamGeral", {"01"}), 1.5, db.dir(),
                QStringLiteral("floor-geral"), scale);
        readRow(QStringLiteral("GetLivroMag(\"0000000001\") p50"), c, rpcRequest("GetLivroMag", {"0000000001"}), 1.3, db.dir(),
                QStringLiteral("floor-livromag"), scale);
        report::note(QStringLiteral("floor: bench_floor process, Boost.Beast, the same reply bytes; %1 blocks of %2 calls per side, alternated; "
                                    "latency rows: the bench on CPU 0, both servers on CPU 1")
                         .arg(readSizes(scale).blocks).arg(readSizes(scale).calls));
    }

    if (scale.runs(2)) {
        report::section(QStringLiteral("2. Durable saves, one field toggled (SQLite, WAL, synchronous=FULL)"));
        const QStringList floorUpdate{"--update", QDir(db.dir()).filePath(QStringLiteral("floor-update.sqlite"))};
        {
            Toggle t(QStringLiteral("SetParamGNRE"), packetOf(c, "GetParamGeral", {"01"}), 0, QStringLiteral("DSEMAILRETORNO"),
                     QStringLiteral("fiscal2@alimentospaulista.com.br"));
            saveRow(QStringLiteral("SetParamGNRE modify p50"), c, t, floorUpdate, 1.3, db.dir(), QStringLiteral("floor-save-geral"), scale);
        }
        {
            Toggle t(QStringLiteral("SetParamInscr"), packetOf(c, "GetParamInscr", {"01", "GON"}), 0, QStringLiteral("IDTPAMBIENTE"),
                     QStringLiteral("P"));
            saveRow(QStringLiteral("SetParamInscr modify p50"), c, t, floorUpdate, 1.3, db.dir(), QStringLiteral("floor-save-inscr"), scale);
        }
        report::note(QStringLiteral("floor: a prepared single-row UPDATE of its own file beside the service's database, "
                                    "then the same reply bytes; each call has a new request id, as the client sends; "
                                    "both WAL files past their first wrap; %1 blocks of %2 calls per side, alternated")
                         .arg(saveSizes(scale).blocks).arg(saveSizes(scale).calls));
    }

    if (scale.runs(3)) {
        report::section(QStringLiteral("3. Throughput, GetParamGeral(\"01\"), keep-alive clients"));
        pinForLatency(false);
        service->pin(-1);
        throughput(service->port(), db.dir(), scale);
        pinForLatency(true);
        service->pin(1);
    }

    if (scale.runs(4)) {
        report::section(QStringLiteral("4. %1 registrations (company %2, guide %3)")
                            .arg(BenchDatabase::kRegistrations).arg(BenchDatabase::kCompany, BenchDatabase::kGuide));
        {
            const std::string request = rpcRequest("GetParamInscr", {BenchDatabase::kCompany, BenchDatabase::kGuide});
            const std::string expected = c.postOk(request);
            const rt::DataPacket p = rt::DataPacket::fromJson(resultOf(expected, QStringLiteral("GetParamInscr")));
            if (p.rows.size() != BenchDatabase::kRegistrations)
                fail(QStringLiteral("GetParamInscr gave %1 rows").arg(p.rows.size()));
            auto floorServer = startFloor(QByteArray::fromStdString(expected),
                                          {"--select", db.path(), "--sql",
                                           "SELECT CDEMPRESA, CDINSCESTA, SGESTADO, NRCERTIFICDIG, IDTPAMBIENTE, DSEMAILRETORNO,"
                                           " IDPERIODOREFAPU, IDTPGUIA, IDCALCSTMANUAL, CDENCARGOST, CDFILIALPAG, IDFCPSEPIMP"
                                           " FROM PARAMGNREINSCR WHERE CDEMPRESA = ?1 AND IDTPGUIA = ?2 ORDER BY CDINSCESTA",
                                           "--bind", BenchDatabase::kCompany, "--bind", BenchDatabase::kGuide},
                                          db.dir(), QStringLiteral("floor-registrations"));
            HttpClient floor(floorServer->port());
            const Sizes large{scale.pick(10, 4), scale.pick(5, 3)};
            auto same = [&](const std::string &reply) {
                if (reply.size() != expected.size())
                    fail(QStringLiteral("GetParamInscr: another answer than the first"));
            };
            report::latency(QStringLiteral("GetParamInscr p50 (%1 KiB answer)").arg(expected.size() / 1024),
                            sequentialP50(c, [&] { return request; }, floor, [&] { return request; }, same, large),
                            2.0);
            report::note(QStringLiteral("floor: a prepared SELECT of the same rows, every column read, then the same reply "
                                        "bytes; %1 blocks of %2 calls per side, alternated")
                             .arg(large.blocks).arg(large.calls));
        }
    }
}

void firebirdSection(const QString &address, const Scale &scale)
{
    report::section(QStringLiteral("8. Firebird (%1:3050)").arg(address));
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("params.fdb"));
    QProcess make;
    make.setProcessChannelMode(QProcess::MergedChannels);
    make.start(QStringLiteral("bash"), {sourceDir() + QStringLiteral("/scripts/firebird-db.sh"), file, QStringLiteral("--demo")});
    if (!make.waitForFinished(120000) || make.exitCode() != 0)
        fail(QStringLiteral("Firebird database not created: %1").arg(QString::fromUtf8(make.readAll())));
    auto service = startService({"--driver", "firebird", "--database", address + QStringLiteral("/3050:") + file}, dir.path());
    pinForLatency(true);
    service->pin(1);
    HttpClient c(service->port());
    readRow(QStringLiteral("GetParamGeral(\"01\") p50"), c, rpcRequest("GetParamGeral", {"01"}), 0, dir.path(),
            QStringLiteral("floor-fb-geral"), scale);
    Toggle t(QStringLiteral("SetParamGNRE"), packetOf(c, "GetParamGeral", {"01"}), 0, QStringLiteral("DSEMAILRETORNO"),
             QStringLiteral("fiscal2@alimentospaulista.com.br"));
    saveRow(QStringLiteral("SetParamGNRE modify p50"), c, t, {}, 0, dir.path(), QStringLiteral("floor-fb-save"), scale);
    report::note(QStringLiteral("floor: bench_floor answering the same bytes without database work; no target"));
    service->stop();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const Scale scale = scaleFrom(args);
    try {
        if (const qsizetype at = args.indexOf(QStringLiteral("--firebird")); at > 0 && at + 1 < args.size())
            firebirdSection(args.at(at + 1), scale);
        else
            sqliteSections(scale);
    } catch (const std::exception &e) {
        report::note(QStringLiteral("error: %1").arg(QString::fromLocal8Bit(e.what())));
        std::fprintf(stderr, "bench_service: %s\n", e.what());
        return 1;
    }
    return 0;
}
