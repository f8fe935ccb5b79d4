#pragma once

#include "Application.h"
#include "Cli_fis94100.h"
#include "MainWindow.h"
#include "Pkg_fis94100.h"
#include "ServerProcess.h"

#include <QApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QtTest>
#include <memory>

// Screen suites run in the host's application object, which shows an exception
// that reaches the event loop instead of passing it to Qt.
#define FIS_HOST_TEST_MAIN(TestObject)                                        \
    int main(int argc, char **argv)                                           \
    {                                                                         \
        THostApplication app(argc, argv);                                     \
        app.setAttribute(Qt::AA_Use96Dpi, true);                              \
        TestObject tc;                                                        \
        QTEST_SET_MAIN_SOURCE_PATH                                            \
        return QTest::qExec(&tc, argc, argv);                                 \
    }

// What a user does with the mouse and the keyboard.
inline void click(QAbstractButton *b) { QTest::mouseClick(b, Qt::LeftButton); }

inline void retype(QWidget *w, const QString &text)
{
    w->setFocus();
    if (auto *e = qobject_cast<QLineEdit *>(w))
        e->selectAll();
    QTest::keyClick(w, Qt::Key_Backspace);
    QTest::keyClicks(w, text);
}

// The screen as users get it: inside the host's MDI main window, the module
// loaded by the host's module loader and opened through its IniProc, against a
// real parameter service on a temporary database, with every dialog answered
// by the test. (The suites also link the module, for typed access to the
// screen; the loader's dlopen then finds that same copy, so the globals seen by
// the tests are the module's own.)
struct ScreenFixture
{
    std::unique_ptr<ServerProcess> server;
    std::unique_ptr<MainWindow> host;
    int confirmAnswer = QMessageBox::Yes;
    std::function<int(rt::DialogRequest &)> onModal; // search lists and other modal dialogs

    bool start(const QStringList &serverArgs = {})
    {
        server = std::make_unique<ServerProcess>(serverArgs);
        if (!server->started())
            return false;
        pointAt(server->port());
        const bool firebird = ServerProcess::engine() == QLatin1String("firebird");
        const QString db = firebird ? ServerProcess::firebirdDatabase(server->databasePath()) : server->databasePath();
        TDMGeral::instance().open(firebird ? QStringLiteral("firebird") : QStringLiteral("sqlite"), db);
        Showavi::setDelay(0);
        qputenv("FIS94100_MODULE_DIR", FIS94100_MODULE_DIR);
        host = std::make_unique<MainWindow>();
        host->show();
        host->activateWindow();
        (void)QTest::qWaitForWindowActive(host.get());
        rt::Dialogs::setResponder([this](rt::DialogRequest &r) {
            if (r.kind == rt::DialogKind::Confirmation)
                return confirmAnswer;
            if (r.kind == rt::DialogKind::Modal)
                return onModal ? onModal(r) : int(QDialog::Rejected);
            return int(QMessageBox::Ok);
        });
        return true;
    }

    static void pointAt(int port)
    {
        qputenv("FIS94100_SERVER_HOST", "127.0.0.1");
        qputenv("FIS94100_SERVER_PORT", QByteArray::number(port));
    }

    // What the host's menu does once the user has chosen: the module's entry
    // called through the loader with these parameters.
    void iniProc(const QVariant &params)
    {
        rt::guard([&] { host->openModule(QStringLiteral("Pkg_fis94100"), params); });
        activate();
    }

    TfrmParamGNRE *open(const QString &guide, const QString &company)
    {
        iniProc(QVariantList{guide, company});
        return frmParamGNRE;
    }

    // The host window active, as after the user's click into it.
    void activate()
    {
        host->activateWindow();
        (void)QTest::qWaitForWindowActive(host.get());
    }

    QMdiSubWindow *subWindow() const
    {
        return frmParamGNRE ? qobject_cast<QMdiSubWindow *>(frmParamGNRE->parentWidget()) : nullptr;
    }

    // Closes the screen as the sub-window's close button does, and lets the
    // host free it.
    void close() { MainWindow::closeSubWindowOf(frmParamGNRE); }

    ~ScreenFixture()
    {
        close();
        host.reset(); // closes what is left, then finalizes and unloads the module
        rt::Dialogs::setResponder({});
        TDMGeral::instance().close();
    }

    static QStringList errors()
    {
        QStringList out;
        for (const auto &r : rt::Dialogs::history())
            if (r.kind == rt::DialogKind::Error)
                out << r.text;
        return out;
    }
};
