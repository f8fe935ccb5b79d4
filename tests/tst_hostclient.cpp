// The host client: the screen module loaded on demand and opened through its entry.
#include "MainWindow.h"
#include "ServerProcess.h"

#include "ADOIBQuery.h"
#include "Dialogs.h"
#include "Exceptions.h"

#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QtTest>

using namespace rt;

class TestHostClient : public QObject
{
    Q_OBJECT

    std::unique_ptr<ServerProcess> server;

private slots:
    void initTestCase()
    {
        server = std::make_unique<ServerProcess>();
        QVERIFY2(server->started(), qPrintable(server->error()));
        qputenv("FIS94100_SERVER_HOST", "127.0.0.1");
        qputenv("FIS94100_SERVER_PORT", QByteArray::number(server->port()));
        qputenv("FIS94100_HOST_DATABASE", server->databasePath().toLocal8Bit());
        qputenv("FIS94100_MODULE_DIR", FIS94100_MODULE_DIR);
    }

    void menuEntryAsksAndOpensTheScreen()
    {
        MainWindow window;
        window.show();
        QStringList companies;
        Dialogs::setResponder([&](DialogRequest &r) {
            if (r.kind != DialogKind::Modal)
                return int(QMessageBox::Ok);
            auto *company = r.dialog->findChild<QComboBox *>("cbxEmpresa");
            auto *guide = r.dialog->findChild<QComboBox *>("cbxTipoGuia");
            for (int i = 0; i < company->count(); ++i)
                companies << company->itemText(i);
            guide->setCurrentText("DRJ");
            company->setCurrentIndex(1);
            return int(QDialog::Accepted);
        });
        window.openParamGNRE();
        QCOMPARE(companies.size(), 3);
        QCOMPARE(companies.at(1), QString("02 - Indústria Fluminense de Bebidas S.A."));

        auto *area = window.findChild<QMdiArea *>("mdiArea");
        QCOMPARE(area->subWindowList().size(), 1);
        QWidget *screen = area->subWindowList().first()->widget();
        QCOMPARE(screen->objectName(), QString("frmParamGNRE"));
        QCOMPARE(screen->findChild<QLineEdit *>("edtEmpresa")->text(), companies.at(1));
        QCOMPARE(screen->findChild<QLineEdit *>("dbeEmail")->text(), QString("gnre@bebidasfluminense.com.br"));

        // A second opening brings the same screen forward.
        window.openModule("Pkg_fis94100", QVariantList{"DRJ", "02 - B"});
        QCOMPARE(area->subWindowList().size(), 1);
        QVERIFY(Dialogs::history().size() >= 1);
        for (const auto &r : Dialogs::history())
            QVERIFY2(r.kind != DialogKind::Error, qPrintable(r.text));
        Dialogs::setResponder({});
    }

    void missingModuleIsReported()
    {
        MainWindow window;
        QVERIFY_THROWS_EXCEPTION(Exception, window.openModule("Pkg_naoexiste", QVariant()));
    }
};

QTEST_MAIN(TestHostClient)
#include "tst_hostclient.moc"
