// Round trip of GetParamGeral on loopback, against the floor of the same
// transport: a bare HTTP endpoint that answers the same bytes without work.
#include "JsonRpc.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <httplib.h>
#include <thread>
#include <vector>

namespace {

struct Stats { double p50, p99; };

Stats measure(httplib::Client &c, const std::string &body, int n)
{
    std::vector<double> us;
    us.reserve(size_t(n));
    for (int i = 0; i < n + 100; ++i) {
        QElapsedTimer t;
        t.start();
        auto r = c.Post("/FIS94100.rdmParamGNRE", body, "application/json");
        const double e = double(t.nsecsElapsed()) / 1000.0;
        if (!r || r->status != 200) {
            std::fprintf(stderr, "request failed\n");
            std::exit(1);
        }
        if (i >= 100) // warm-up excluded
            us.push_back(e);
    }
    std::sort(us.begin(), us.end());
    return {us[us.size() / 2], us[us.size() * 99 / 100]};
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int n = argc > 1 ? std::max(100, atoi(argv[1])) : 2000;

    QTemporaryDir dir;
    QProcess server;
    server.setStandardErrorFile(QProcess::nullDevice()); // its log: one line per request, unread here
    server.start(QStringLiteral(FIS94100_SERVER_EXE), {"--port", "0", "--demo", "--database", dir.filePath("b.sqlite")});
    QByteArray out;
    int port = 0;
    while (server.waitForReadyRead(5000)) {
        out += server.readAllStandardOutput();
        const auto m = QRegularExpression(":(\\d+)/").match(QString::fromUtf8(out));
        if (m.hasMatch()) { port = m.captured(1).toInt(); break; }
    }
    if (!port) { std::fprintf(stderr, "server did not start\n"); return 1; }

    const std::string request = jsonrpc::request("GetParamGeral", {"01"}, 1).toStdString();
    httplib::Client c("127.0.0.1", port);
    c.set_tcp_nodelay(true);
    c.set_keep_alive(true);
    const std::string reply = c.Post("/FIS94100.rdmParamGNRE", request, "application/json")->body;

    httplib::Server floor;
    floor.set_tcp_nodelay(true);
    floor.set_keep_alive_max_count(100000);
    floor.Post("/FIS94100.rdmParamGNRE", [&](const httplib::Request &, httplib::Response &res) { res.set_content(reply, "application/json"); });
    const int floorPort = floor.bind_to_any_port("127.0.0.1");
    std::thread t([&] { floor.listen_after_bind(); });
    while (!floor.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    httplib::Client fc("127.0.0.1", floorPort);
    fc.set_tcp_nodelay(true);
    fc.set_keep_alive(true);

    const Stats base = measure(fc, request, n);
    const Stats real = measure(c, request, n);
    floor.stop();
    t.join();
    server.terminate();
    server.waitForFinished();

    std::printf("GetParamGeral round trip, %d calls on one keep-alive connection\n", n);
    std::printf("  floor (bare endpoint, same bytes): p50 %.0f us  p99 %.0f us\n", base.p50, base.p99);
    std::printf("  service:                           p50 %.0f us  p99 %.0f us\n", real.p50, real.p99);
    std::printf("  ratio service/floor:               p50 %.2f  p99 %.2f\n", real.p50 / base.p50, real.p99 / base.p99);
    return 0;
}
