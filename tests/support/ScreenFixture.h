#pragma once

#include "Cli_fis94100.h"
#include "Pkg_fis94100.h"
#include "ServerProcess.h"

#include <QApplication>
#include <QtTest>
#include <memory>

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

// The screen against a real parameter service on a temporary database, with
// every dialog answered by the test.
struct ScreenFixture
{
    std::unique_ptr<ServerProcess> server;
    int confirmAnswer = QMessageBox::Yes;
    std::function<int(rt::DialogRequest &)> onModal; // search lists and other modal dialogs

    bool start(const QStringList &serverArgs = {})
    {
        server = std::make_unique<ServerProcess>(serverArgs);
        if (!server->started())
            return false;
        pointAt(server->port());
        const bool firebird = ServerProcess::engine() == QLatin1String("firebird");
        const QString db = firebird ? QStringLiteral("127.0.0.1/3050:") + server->databasePath() : server->databasePath();
        TDMGeral::instance().open(firebird ? QStringLiteral("firebird") : QStringLiteral("sqlite"), db);
        Showavi::setDelay(0);
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

    TfrmParamGNRE *open(const QString &guide, const QString &company)
    {
        IniProc(QVariantList{guide, company});
        if (frmParamGNRE) {
            frmParamGNRE->activateWindow();
            (void)QTest::qWaitForWindowActive(frmParamGNRE);
        }
        return frmParamGNRE;
    }

    void close()
    {
        if (frmParamGNRE) {
            TfrmParamGNRE *f = frmParamGNRE;
            f->close();
            delete f;
        }
    }

    ~ScreenFixture()
    {
        close();
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
