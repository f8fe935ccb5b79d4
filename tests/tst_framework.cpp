// Framework services: code adjustment, result checks, messages, the search
// list, the busy indicator and the server connection.
#include "ADOIBQuery.h"
#include "Consiste.h"
#include "Dialogs.h"
#include "Exceptions.h"
#include "Messages.h"
#include "NetConnection.h"
#include "Pesquisa.h"
#include "Showavi.h"

#include "ServerProcess.h"

#include <QElapsedTimer>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QProcess>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>
#include <QTemporaryDir>
#include <QtTest>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>
#include <atomic>
#include <httplib.h>
#include <thread>

using namespace rt;

namespace {

// An HTTP endpoint of the test's own on loopback, served on a thread.
struct LocalServer
{
    httplib::Server server;
    std::thread thread;
    int port = 0;

    void start()
    {
        port = server.bind_to_any_port("127.0.0.1");
        thread = std::thread([this] { server.listen_after_bind(); });
        while (!server.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~LocalServer()
    {
        server.stop();
        if (thread.joinable())
            thread.join();
    }
};

} // namespace

class TestFramework : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { Dialogs::setResponder({}); }

    void ajusta_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("width");
        QTest::addColumn<QString>("expected");
        QTest::newRow("pads digits") << "7" << 10 << "0000000007";
        QTest::newRow("trims first") << "  12 " << 4 << "0012";
        QTest::newRow("exact width") << "0002" << 4 << "0002";
        QTest::newRow("extra zeros dropped") << "00005" << 3 << "005";
        QTest::newRow("too long keeps value") << "12345" << 3 << "12345";
        QTest::newRow("not digits unchanged") << " A1 " << 4 << "A1";
        QTest::newRow("empty stays empty") << "   " << 4 << "";
        QTest::newRow("sign is not a digit") << "-5" << 4 << "-5";
    }
    void ajusta()
    {
        QFETCH(QString, text);
        QFETCH(int, width);
        QFETCH(QString, expected);
        QCOMPARE(Consiste::Ajusta(text, width), expected);
    }

    void checkResultServRaisesOnFailure()
    {
        ServerReply ok{true, QJsonValue(QStringLiteral("OK")), {}};
        QCOMPARE(Consiste::CheckResultServ(ok, true, 0).toString(), QString("OK"));
        ServerReply refused{false, {}, QStringLiteral("Os parâmetros foram alterados por outro usuário.")};
        try {
            Consiste::CheckResultServ(refused, true, 0);
            QFAIL("a refused reply passed");
        } catch (const Exception &e) {
            QCOMPARE(e.message(), refused.error);
        }
    }

    void mensErroShowsOnceAndAbortsSilently()
    {
        Dialogs::setResponder([](DialogRequest &) { return int(QMessageBox::Ok); });
        QVERIFY_THROWS_EXCEPTION(EAbort, Consiste::MensErro("Filial não cadastrada.", true));
        QCOMPARE(Dialogs::history().size(), 1);
        QCOMPARE(Dialogs::history().first().text, QString("Filial não cadastrada."));
        // What the runtime does with the abort: nothing more is shown.
        QVERIFY(!guard([] { Consiste::MensErro("x", true); }));
        QCOMPARE(Dialogs::history().size(), 2);
    }

    void messageTable()
    {
        TMessages m;
        m.loadFromText("A|Primeira.\r\nB_Inv|Texto com acento: ção.\n\nlixo sem barra\n");
        QCOMPARE(m.count(), 2);
        QCOMPARE(m.Msg("B_Inv"), QString("Texto com acento: ção."));
        QCOMPARE(m.Msg("C"), QString());
        int answer = QMessageBox::No;
        Dialogs::setResponder([&](DialogRequest &r) {
            return r.kind == DialogKind::Confirmation ? answer : int(QMessageBox::Ok);
        });
        QCOMPARE(m.ShowMsg("A", mtConfirmation, mbYes | mbNo, 0), int(mrNo));
        answer = QMessageBox::Yes;
        QCOMPARE(m.ShowMsg("A", mtConfirmation, mbYes | mbNo, 0), int(mrYes));
    }

    void searchList()
    {
        TClientDataSet ds("cdsLista");
        ds.addField("CODIGO", FieldType::String, 4)->DisplayLabel = "Código";
        ds.addField("NOME", FieldType::String, 30)->DisplayLabel = "Nome";
        TDataSource src("dtsLista", &ds);
        DataPacket p;
        p.fields = ds.fieldDefs();
        ds.SetData(p);

        // No row: the empty-list text, no list.
        Dialogs::setResponder([](DialogRequest &) { return int(QMessageBox::Ok); });
        QVERIFY(!Pesquisa::Pesquisar(&src, "Filial|Não há filial cadastrada.", false, true));
        QCOMPARE(Dialogs::history().last().text, QString("Não há filial cadastrada."));

        p.rows = {{"0001", "Matriz Campinas"}, {"0002", "Filial São Paulo"}, {"0003", "Filial Niterói"}};
        ds.SetData(p);
        QString title;
        Dialogs::setResponder([&](DialogRequest &r) {
            auto *d = qobject_cast<TPesquisaDialog *>(r.dialog);
            title = r.title;
            d->setFilterText("niter");
            if (d->visibleRowCount() != 1)
                return int(QDialog::Rejected);
            d->chooseRow(0);
            return d->result();
        });
        QVERIFY(Pesquisa::Pesquisar(&src, "Filial|Não há filial cadastrada.", false, true));
        QCOMPARE(title, QString("Filial"));
        QCOMPARE(ds.FieldByName("CODIGO")->AsString(), QString("0003"));

        // Closed without a choice: nothing moves.
        Dialogs::setResponder([](DialogRequest &) { return int(QDialog::Rejected); });
        QVERIFY(!Pesquisa::Pesquisar(&src, "Filial|x", false, true));
        QCOMPARE(ds.RecNo(), 3);
    }

    void searchListKeys()
    {
        TClientDataSet ds("cdsLista");
        ds.addField("CODIGO", FieldType::String, 4);
        TDataSource src("dtsLista", &ds);
        DataPacket p;
        p.fields = ds.fieldDefs();
        p.rows = {{"01"}, {"02"}, {"15"}};
        ds.SetData(p);
        TPesquisaDialog d(&src, "Encargo");
        d.show();
        QVERIFY(QTest::qWaitForWindowActive(&d));
        QTest::keyClicks(QApplication::focusWidget(), "5"); // typing filters
        QCOMPARE(d.visibleRowCount(), 1);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(d.result(), int(QDialog::Accepted));
        QCOMPARE(d.chosenRecord(), 3);
    }

    void busyIndicatorDoesNotFlashButShowsOnASlowCall()
    {
        LocalServer slow_;
        httplib::Server &slow = slow_.server;
        slow.Post("/X", [](const httplib::Request &, httplib::Response &res) {
            std::this_thread::sleep_for(std::chrono::milliseconds(600));
            res.set_content(R"({"jsonrpc":"2.0","result":"OK","id":1})", "application/json");
        });
        slow.Post("/Y", [](const httplib::Request &, httplib::Response &res) {
            res.set_content(R"({"jsonrpc":"2.0","result":"OK","id":1})", "application/json");
        });
        slow_.start();
        const int port = slow_.port;

        QWidget form;
        form.resize(300, 200);
        form.show();
        TNetConnection net;
        net.Host = "127.0.0.1";
        net.Port = port;
        net.setConnected(true);
        Showavi::setDelay(150);

        // What is painted while the call waits: the veil, turning. Nothing else
        // of the program runs meanwhile (a timer of its own would not fire).
        bool seenDuringCall = false;
        int veilPaints = 0;
        int otherTimerTicks = 0;
        struct PaintProbe : QObject
        {
            std::function<void()> painted;
            bool eventFilter(QObject *o, QEvent *e) override
            {
                if (e->type() == QEvent::Paint && o->objectName() == QLatin1String("showAvi"))
                    painted();
                return false;
            }
        } paintProbe;
        paintProbe.painted = [&] {
            seenDuringCall = true;
            ++veilPaints;
        };
        qApp->installEventFilter(&paintProbe);
        QTimer probe;
        QObject::connect(&probe, &QTimer::timeout, [&] { ++otherTimerTicks; });
        probe.start(50);

        net.ServerName = "Y";
        Showavi::ActiveShowAvi(&form, 1);
        QVERIFY(net.call("Fast").ok);
        Showavi::DeactiveShowAvi();
        QVERIFY(!seenDuringCall); // a quick answer shows nothing

        net.ServerName = "X";
        Showavi::ActiveShowAvi(&form, 1);
        otherTimerTicks = 0;
        QVERIFY(net.call("Slow").ok);
        QVERIFY(seenDuringCall);
        QVERIFY2(veilPaints >= 3, qPrintable(QString::number(veilPaints))); // it kept turning while waiting
        QCOMPARE(otherTimerTicks, 0);
        qApp->removeEventFilter(&paintProbe);
        Showavi::DeactiveShowAvi();
        QVERIFY(!Showavi::isActive());
        QVERIFY(!Showavi::isVisible());
        Showavi::DeactiveShowAvi(); // an extra one does not go below zero
        QVERIFY(!Showavi::isActive());

        net.setConnected(false); // closes the kept-alive connection, so the server stops at once
    }

    // While a call waits, a list's own layout timer runs (held back, it would
    // come again at once and keep the processor busy for the whole wait), but
    // not the timers of a list that a click may put into editing: those wait
    // for the end of the call, as every other timer does.
    void listsLayOutWhileACallWaits_data()
    {
        QTest::addColumn<bool>("editable");
        QTest::newRow("list") << false;
        QTest::newRow("list edited on a click") << true;
    }
    void listsLayOutWhileACallWaits()
    {
        QFETCH(bool, editable);
        LocalServer slow_;
        slow_.server.Post("/X", [](const httplib::Request &, httplib::Response &res) {
            std::this_thread::sleep_for(std::chrono::milliseconds(400));
            res.set_content(R"({"jsonrpc":"2.0","result":"OK","id":1})", "application/json");
        });
        slow_.start();
        QStandardItemModel model(3, 3);
        QTableView view;
        view.setEditTriggers(editable ? QAbstractItemView::SelectedClicked : QAbstractItemView::NoEditTriggers);
        view.setModel(&model);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        struct Timers : QObject
        {
            int seen = 0;
            bool eventFilter(QObject *, QEvent *e) override
            {
                seen += e->type() == QEvent::Timer;
                return false;
            }
        } timers;
        view.installEventFilter(&timers);

        TNetConnection net;
        net.Host = "127.0.0.1";
        net.Port = slow_.port;
        net.ServerName = "X";
        net.setConnected(true);
        model.insertRow(0); // the list lays out again on its next turn
        rusage before{}, after{};
        getrusage(RUSAGE_THREAD, &before);
        QElapsedTimer wall;
        wall.start();
        QVERIFY(net.call("Slow").ok);
        const double waited = double(wall.nsecsElapsed()) / 1e3;
        getrusage(RUSAGE_THREAD, &after);
        const auto micros = [](const timeval &t) { return double(t.tv_sec) * 1e6 + double(t.tv_usec); };
        const double busy = micros(after.ru_utime) - micros(before.ru_utime) + micros(after.ru_stime) - micros(before.ru_stime);
        if (editable) {
            QCOMPARE(timers.seen, 0);
            QTRY_VERIFY(timers.seen > 0); // after the call
        } else {
            QVERIFY(timers.seen > 0);
            QVERIFY2(busy < waited / 2, qPrintable(QStringLiteral("busy %1 µs of %2 µs").arg(busy).arg(waited)));
        }
        net.setConnected(false);
    }

    void transportFailureRaises()
    {
        TNetConnection net;
        net.ServerName = "FIS94100.rdmParamGNRE";
        net.ThrowException = false;
        net.BeforeConnect = [](TNetConnection &n) {
            n.Host = "127.0.0.1";
            n.Port = 1; // nothing listens there
        };
        net.setConnected(true);
        QVERIFY(net.Connected());
        try {
            net.call("GetParamGeral", {"01"});
            QFAIL("a call without a server passed");
        } catch (const Exception &e) {
            QVERIFY2(e.message().contains("Falha de comunicação"), qPrintable(e.message()));
        }
    }

    // An answer cut off in its middle is no answer: a change is asked again
    // with its id (and the whole second answer counts), a read fails saying
    // so. (Answers without a length, ended by closing the connection: cut
    // off, they look whole to HTTP.)
    void answerCutOffInItsMiddle()
    {
        const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        QVERIFY(::bind(listener, reinterpret_cast<sockaddr *>(&addr), len) == 0 && ::listen(listener, 8) == 0);
        ::getsockname(listener, reinterpret_cast<sockaddr *>(&addr), &len);
        std::atomic<int> calls{0};
        // A thread per connection: Qt may open one more than it uses.
        auto serve = [&](int c) {
            timeval wait{2, 0};
            ::setsockopt(c, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
            std::string request;
            char buf[4096];
            // The whole request: its headers, then as many bytes as they announce.
            auto whole = [&] {
                const size_t end = request.find("\r\n\r\n");
                const qsizetype length = QByteArray::fromStdString(request).toLower().indexOf("content-length:");
                return end != std::string::npos && length >= 0 && request.size() >= end + 4 + std::stoul(request.substr(size_t(length) + 15));
            };
            for (ssize_t got; !whole();) {
                if ((got = ::recv(c, buf, sizeof buf, 0)) <= 0)
                    break;
                request.append(buf, size_t(got));
            }
            const size_t at = request.find("\"id\":");
            if (whole() && at != std::string::npos) {
                const std::string id = request.substr(at + 5, request.find_first_of(",}", at) - at - 5);
                const std::string reply = R"({"jsonrpc":"2.0","result":"OK","id":)" + id + "}";
                const std::string body = calls++ % 2 == 0 ? reply.substr(0, reply.size() / 2) : reply;
                const std::string answer = "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nConnection: close\r\n\r\n" + body;
                (void)::send(c, answer.data(), answer.size(), MSG_NOSIGNAL);
            }
            ::close(c);
        };
        std::thread server([&] {
            std::vector<std::thread> connections;
            for (int c; (c = ::accept(listener, nullptr, nullptr)) >= 0;)
                connections.emplace_back(serve, c);
            for (std::thread &t : connections)
                t.join();
        });
        TNetConnection net;
        net.ServerName = "X";
        net.Host = "127.0.0.1";
        net.Port = ntohs(addr.sin_port);
        net.RetriableMethods = {"SetParamGNRE"};
        net.setConnected(true);
        ServerReply saved;
        QString saveFailure, readFailure;
        try {
            saved = net.call("SetParamGNRE", {QJsonObject{}});
        } catch (const Exception &e) {
            saveFailure = e.message();
        }
        try {
            net.call("GetParamGeral", {"01"});
        } catch (const Exception &e) {
            readFailure = e.message();
        }
        ::shutdown(listener, SHUT_RDWR);
        ::close(listener);
        server.join();
        QVERIFY2(saved.ok, qPrintable(saveFailure));
        QCOMPARE(calls.load(), 3);
        QVERIFY2(readFailure.contains("Falha de comunicação") && readFailure.contains("resposta incompleta"), qPrintable(readFailure));
    }

    // A service that takes the connection and never answers, or answers a byte
    // now and then: the call ends at its deadline, and says so.
    void callDeadline_data()
    {
        QTest::addColumn<bool>("trickle");
        QTest::newRow("silent") << false;
        QTest::newRow("a byte now and then") << true;
    }
    void callDeadline()
    {
        QFETCH(bool, trickle);
        std::atomic<bool> over{false}; // outlives the server's handlers
        LocalServer stuck_;
        httplib::Server &stuck = stuck_.server;
        stuck.Post(R"(/.*)", [&](const httplib::Request &, httplib::Response &res) {
            if (!trickle) {
                while (!over)
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                return;
            }
            res.set_chunked_content_provider("application/json", [&](size_t, httplib::DataSink &sink) {
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
                return !over && sink.write(" ", 1);
            });
        });
        stuck_.start();
        const int port = stuck_.port;

        TNetConnection net;
        net.ServerName = "X";
        net.Host = "127.0.0.1";
        net.Port = port;
        net.CallTimeoutMs = 800;
        net.setConnected(true);
        QElapsedTimer timer;
        timer.start();
        QString message;
        try {
            net.call("GetParamGeral", {"01"});
        } catch (const Exception &e) {
            message = e.message();
        }
        const qint64 ms = timer.elapsed();
        over = true;
        net.setConnected(false);
        QVERIFY2(message.contains("sem resposta em 0.8 s"), qPrintable(message));
        QVERIFY2(ms >= 700 && ms < 3000, qPrintable(QString::number(ms)));
    }

    // After a second or so the busy indicator offers "Cancelar"; it, or Escape,
    // ends the call, which reports it. Keys typed meanwhile arrive afterwards.
    void cancellingACall_data()
    {
        QTest::addColumn<bool>("byEscape");
        QTest::newRow("button") << false;
        QTest::newRow("Escape") << true;
    }
    void cancellingACall()
    {
        QFETCH(bool, byEscape);
        std::atomic<bool> over{false}; // outlives the server's handlers
        LocalServer slow_;
        httplib::Server &slow = slow_.server;
        slow.Post("/X", [&](const httplib::Request &, httplib::Response &res) {
            for (int i = 0; i < 500 && !over; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            res.set_content(R"({"jsonrpc":"2.0","result":"OK","id":1})", "application/json");
        });
        slow_.start();
        const int port = slow_.port;

        QWidget form;
        form.resize(400, 300);
        auto *typed = new QLineEdit(&form);
        form.show();
        form.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        typed->setFocus();
        TNetConnection net;
        net.ServerName = "X";
        net.Host = "127.0.0.1";
        net.Port = port;
        net.setConnected(true);
        Showavi::setDelay(100);

        QTimer user; // what the user does while the call waits
        user.setProperty(TNetConnection::RunsDuringCalls, true);
        user.setInterval(50);
        int ticks = 0;
        QObject::connect(&user, &QTimer::timeout, [&] {
            ++ticks;
            if (ticks == 3) {
                QTest::keyClicks(typed, "ab"); // typed ahead
                QMimeData dropped;
                dropped.setText("dropped");
                QDropEvent drop(QPointF(2, 2), Qt::CopyAction, &dropped, Qt::LeftButton, {});
                QApplication::sendEvent(typed, &drop); // a drop does nothing while the call waits
            }
            auto *cancel = form.findChild<QPushButton *>(TNetConnection::CancelButtonName);
            if (!cancel || !cancel->isVisible())
                return;
            if (byEscape)
                QTest::keyClick(typed, Qt::Key_Escape);
            else
                QTest::mouseClick(cancel, Qt::LeftButton);
            user.stop();
        });
        user.start();
        QElapsedTimer timer;
        timer.start();
        Showavi::ActiveShowAvi(&form, 1);
        QString message;
        try {
            net.call("Slow");
        } catch (const Exception &e) {
            message = e.message();
        }
        Showavi::DeactiveShowAvi();
        const qint64 ms = timer.elapsed();
        over = true;
        net.setConnected(false);
        QVERIFY2(message.contains("cancelada pelo usuário"), qPrintable(message));
        QVERIFY2(ms < 3000, qPrintable(QString::number(ms)));
        QCOMPARE(typed->text(), QString()); // not yet: the keys wait for the call's end
        QCoreApplication::processEvents();
        QCOMPARE(typed->text(), QString("ab"));
        Showavi::setDelay(0);
    }

    // The host's side of an office network: HTTPS verified against the
    // office's CA, and the token; a wrong token is the service's refusal.
    void tlsAndToken()
    {
        QTemporaryDir dir;
        const QString cert = dir.filePath("server.pem"), key = dir.filePath("server.key"), token = dir.filePath("token");
        QProcess openssl;
        openssl.start("openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=127.0.0.1",
                                  "-addext", "subjectAltName=IP:127.0.0.1", "-keyout", key, "-out", cert});
        QVERIFY(openssl.waitForFinished(30000) && openssl.exitCode() == 0);
        QVERIFY(writeFile(token, "token-of-the-office-0123456789\n"));
        ServerProcess server({"--tls-cert", cert, "--tls-key", key, "--token-file", token});
        QVERIFY2(server.started(), qPrintable(server.error()));

        TNetConnection net;
        net.ServerName = "FIS94100.rdmParamGNRE";
        // An unknown CA: the connection is refused before anything is sent.
        net.BeforeConnect = [&](TNetConnection &n) {
            n.Host = "127.0.0.1";
            n.Port = server.port();
            n.Tls = true;
        };
        net.setConnected(true);
        try {
            const ServerReply r = net.call("GetParamGeral", {"01"});
            QFAIL(qPrintable("an unknown CA was accepted: " + r.error));
        } catch (const Exception &e) {
            QVERIFY2(e.message().contains("TLS"), qPrintable(e.message()));
        }
        net.setConnected(false);

        qputenv("FIS94100_SERVER_TLS", "true");
        qputenv("FIS94100_SERVER_CA_FILE", cert.toLocal8Bit());
        qputenv("FIS94100_SERVER_TOKEN_FILE", token.toLocal8Bit());
        net.BeforeConnect = [&](TNetConnection &n) {
            n.Host = "127.0.0.1";
            n.Port = server.port();
            n.Tls = Molvard::WebTls();
            n.CaFile = Molvard::WebCaFile();
            n.Token = Molvard::WebToken();
        };
        net.setConnected(true);
        const ServerReply ok = net.call("GetParamGeral", {"01"});
        QVERIFY2(ok.ok, qPrintable(ok.error));
        net.setConnected(false);
        for (const char *v : {"FIS94100_SERVER_TLS", "FIS94100_SERVER_CA_FILE", "FIS94100_SERVER_TOKEN_FILE"})
            qunsetenv(v);

        net.BeforeConnect = [&](TNetConnection &n) {
            n.Host = "127.0.0.1";
            n.Port = server.port();
            n.Tls = true;
            n.CaFile = cert;
            n.Token = "token-of-the-office-0123456780";
        };
        net.setConnected(true);
        const ServerReply refused = net.call("GetParamGeral", {"01"});
        QVERIFY(!refused.ok);
        QVERIFY2(refused.error.contains("Não autorizado"), qPrintable(refused.error));
        net.setConnected(false);


    }
};

QTEST_MAIN(TestFramework)
#include "tst_framework.moc"
