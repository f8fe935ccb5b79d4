// The history of changes as the host shows it: opened from the Fiscal menu of
// the host window, against a real service, with the changes the host itself sent.
#include "ClientDataSet.h"
#include "HistoryWindow.h"
#include "ScreenFixture.h"

#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QTableView>

using namespace rt;

class TestHistory : public QObject
{
    Q_OBJECT

    std::unique_ptr<ScreenFixture> fx;
    QString savedTo; // what the save dialog answers

    // A change sent as the host sends it (its connection, its login).
    void save(const QString &method, const QString &read, const QJsonArray &args, const std::function<void(TClientDataSet &)> &edit)
    {
        TNetConnection net;
        net.ServerName = QStringLiteral("FIS94100.rdmParamGNRE");
        Molvard::configure(net);
        net.setConnected(true);
        const DataPacket p = DataPacket::fromJson(Consiste::CheckResultServ(net.call(read, args)));
        TClientDataSet ds("ds");
        for (const FieldDef &f : p.fields)
            ds.addField(f.name, f.type, f.size);
        ds.SetData(p);
        edit(ds);
        const ServerReply r = net.call(method, {ds.GetDelta().toJson()});
        QVERIFY2(r.ok, qPrintable(r.error));
    }

    THistoricoGNRE *openFromMenu()
    {
        QAction *action = fx->host->findChild<QAction *>("actHistoricoGNRE");
        if (!action)
            return nullptr;
        action->trigger();
        return fx->host->findChild<THistoricoGNRE *>("frmHistoricoGNRE");
    }

    static QStringList column(THistoricoGNRE *h, int c)
    {
        auto *view = h->findChild<QTableView *>("grdHistorico");
        QStringList out;
        for (int r = 0; r < view->model()->rowCount(); ++r)
            out << view->model()->index(r, c).data().toString();
        return out;
    }

private slots:
    void initTestCase() { FIS_REQUIRE_ENGINE(); }

    void init()
    {
        fx = std::make_unique<ScreenFixture>();
        QVERIFY(fx->start());
        Dialogs::setResponder([this](DialogRequest &r) {
            if (r.kind == DialogKind::SaveFile) {
                r.fileName = savedTo;
                return savedTo.isEmpty() ? int(QDialog::Rejected) : int(QDialog::Accepted);
            }
            return int(QMessageBox::Ok);
        });
    }
    void cleanup() { fx.reset(); }

    void opensFromTheFiscalMenuOnce()
    {
        THistoricoGNRE *h = openFromMenu();
        QVERIFY(h);
        QVERIFY(qobject_cast<QMdiSubWindow *>(h->parentWidget()));
        QCOMPARE(h->linhasVisiveis(), 0);
        QCOMPARE(h->findChild<QLabel *>("lblTotal")->text(), QString("0 alteração(ões)"));
        QCOMPARE(openFromMenu(), h); // asked again: the same window, in front
        QCOMPARE(fx->host->findChildren<THistoricoGNRE *>().size(), 1);
        QVERIFY(ScreenFixture::errors().isEmpty());
    }

    // The host's changes are there with its login, and the filters narrow them as typed.
    void showsAndFiltersTheHostsChanges()
    {
        save("SetParamGNRE", "GetParamGeral", {"01"}, [](TClientDataSet &ds) {
            ds.Edit();
            ds.FieldByName("DSEMAILRETORNO")->setAsString("fiscal;gnre@empresa.com.br");
            ds.Post();
        });
        save("SetParamInscr", "GetParamInscr", {"01", "GON"}, [](TClientDataSet &ds) {
            ds.First();
            ds.Edit();
            ds.FieldByName("IDTPAMBIENTE")->setAsString(ds.FieldByName("IDTPAMBIENTE")->AsString() == "P" ? "H" : "P");
            ds.Post();
        });
        THistoricoGNRE *h = openFromMenu();
        QVERIFY(h);
        QCOMPARE(h->linhasVisiveis(), 2);
        QCOMPARE(column(h, 1), QStringList({Molvard::loginName(), Molvard::loginName()}));
        QCOMPARE(column(h, 6), QStringList({"Ambiente", "E-mail Padrão"})); // newest first, as the screen calls them
        QCOMPARE(column(h, 5).at(1), QString("Parâmetros gerais"));
        QCOMPARE(column(h, 3), QStringList({"Alteração", "Alteração"}));

        auto *filter = h->findChild<QLineEdit *>("edtFiltro");
        QTest::keyClicks(filter, "gnre@");
        QCOMPARE(column(h, 6), QStringList({"E-mail Padrão"}));
        filter->clear();
        QCOMPARE(h->linhasVisiveis(), 2);

        auto *registration = h->findChild<QComboBox *>("cbxInscricao");
        registration->setCurrentIndex(registration->findText("Parâmetros gerais"));
        QCOMPARE(column(h, 6), QStringList({"E-mail Padrão"}));
        registration->setCurrentIndex(0);

        // A period in the future has none; back to today, both again.
        auto *from = h->findChild<QDateEdit *>("dteDe");
        auto *to = h->findChild<QDateEdit *>("dteAte");
        to->setDate(QDate::currentDate().addDays(10));
        from->setDate(QDate::currentDate().addDays(1));
        QCOMPARE(h->linhasVisiveis(), 0);
        from->setDate(QDate::currentDate());
        QCOMPARE(h->linhasVisiveis(), 2);

        auto *guide = h->findChild<QComboBox *>("cbxTipoGuia");
        guide->setCurrentIndex(guide->findText("DRJ"));
        QCOMPARE(h->linhasVisiveis(), 0);
        guide->setCurrentIndex(guide->findText("GON"));
        QCOMPARE(column(h, 6), QStringList({"Ambiente"}));
        QVERIFY(ScreenFixture::errors().isEmpty());
    }

    // CSV as spreadsheets read it: BOM, ";" between fields, CRLF, quoted where needed.
    void exportsWhatIsShown()
    {
        save("SetParamGNRE", "GetParamGeral", {"01"}, [](TClientDataSet &ds) {
            ds.Edit();
            ds.FieldByName("DSEMAILRETORNO")->setAsString("a;\"b\"@empresa.com.br");
            ds.Post();
        });
        THistoricoGNRE *h = openFromMenu();
        QVERIFY(h);
        QTemporaryDir dir;
        savedTo = dir.filePath("historico.csv");
        QTest::mouseClick(h->findChild<QPushButton *>("btnExportar"), Qt::LeftButton);
        QFile f(savedTo);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        QVERIFY(bytes.startsWith("\xEF\xBB\xBF" "Data/hora;Usuário;Endereço;Operação;Tipo de guia;Inscrição estadual;Campo;Valor anterior;Valor novo\r\n"));
        const QList<QByteArray> lines = bytes.mid(3).split('\n');
        QCOMPARE(lines.size(), 3); // header, one change, and the end
        QVERIFY2(lines.at(1).endsWith(";E-mail Padrão;" + QByteArray() + lines.at(1).split(';').at(7) + ";\"a;\"\"b\"\"@empresa.com.br\"\r"),
                 lines.at(1).constData());
        QVERIFY(lines.at(1).contains(";127.0.0.1;Alteração;;Parâmetros gerais;"));

        // Nothing chosen: nothing written, nothing said.
        QFile::remove(savedTo);
        savedTo.clear();
        Dialogs::clearHistory();
        QTest::mouseClick(h->findChild<QPushButton *>("btnExportar"), Qt::LeftButton);
        QCOMPARE(Dialogs::history().size(), 1);
        QVERIFY(!QFile::exists(dir.filePath("historico.csv")));
    }

    void aBadPeriodIsSaidAndChangesNothing()
    {
        THistoricoGNRE *h = openFromMenu();
        QVERIFY(h);
        Dialogs::clearHistory();
        h->findChild<QDateEdit *>("dteAte")->setDate(QDate::currentDate().addDays(-40)); // before "from": waits
        QVERIFY(ScreenFixture::errors().isEmpty());
        QTest::keyClick(h, Qt::Key_F5);
        QCOMPARE(ScreenFixture::errors(), QStringList({"A data inicial é posterior à data final."}));
        QVERIFY(h->isVisible());
    }
};

FIS_HOST_TEST_MAIN(TestHistory)
#include "tst_history.moc"
