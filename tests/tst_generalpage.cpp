// The general page: codes checked on leaving their entries and before posting,
// key filters, new-record defaults, lookups and the guide-type variants.
#include "ScreenFixture.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QMenu>

using namespace rt;

class TestGeneralPage : public QObject
{
    Q_OBJECT

    std::unique_ptr<ScreenFixture> fx;
    QString field(TfrmParamGNRE *f, const char *name) { return f->cdsParamGeral.FieldByName(name)->AsString(); }

private slots:
    void init()
    {
        fx = std::make_unique<ScreenFixture>();
        QVERIFY2(fx->start(), qPrintable(fx->server->error()));
    }
    void cleanup() { fx.reset(); }

    // Escape restores the entry whatever its character filter discards.
    void escapeRestoresFilteredEntries()
    {
        TfrmParamGNRE *f = fx->open("GON", "01 - A");
        click(f->sbtAlterar);
        for (TDBEdit *e : {f->dbeLivroMag, f->dbeQtdeDias}) {
            const QString stored = e->text();
            retype(e, "12");
            QTest::keyClick(e, Qt::Key_Escape);
            QCOMPARE(e->text(), stored);
        }
    }

    // Pasting (keyboard, context menu, drop) puts in only what typing would.
    void pastePassesTheKeyFilters()
    {
        TfrmParamGNRE *f = fx->open("GON", "01 - A");
        QApplication::clipboard()->setText("A1B2-3");
        f->dbeLivroMag->setFocus();
        f->dbeLivroMag->selectAll();
        QTest::keyClick(f->dbeLivroMag, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(f->dbeLivroMag->text(), QString("123"));
        QCOMPARE(f->cdsParamGeral.State(), DataSetState::dsEdit); // the paste started the edit

        QApplication::clipboard()->setText("1e3,5");
        f->dbeQtdeDias->setFocus();
        f->dbeQtdeDias->selectAll();
        QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(5, 5), f->dbeQtdeDias->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(f->dbeQtdeDias, &menuKey);
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        QVERIFY(menu);
        QAction *paste = menu->findChild<QAction *>("edit-paste");
        QVERIFY(paste);
        QVERIFY(paste->isEnabled());
        paste->trigger();
        menu->close();
        QCOMPARE(f->dbeQtdeDias->text(), QString("13"));
    }

    void bookIsAdjustedAskedForAndNamed()
    {
        TfrmParamGNRE *f = fx->open("GON", "01 - A");
        click(f->sbtAlterar);
        retype(f->dbeLivroMag, "7");
        QTest::keyClick(f->dbeLivroMag, Qt::Key_Tab);
        QCOMPARE(f->netParamGNRE.lastParams("GetLivroMag"), QJsonArray{"0000000007"});
        QCOMPARE(field(f, "CDLIVROMAG"), QString("0000000007"));
        QCOMPARE(f->dbeNmLivroMag->text(), QString("Livro de Registro de Saídas"));
        QCOMPARE(QApplication::focusWidget(), f->dbeProduto);

        retype(f->dbeLivroMag, "9");
        QTest::keyClick(f->dbeLivroMag, Qt::Key_Tab);
        QCOMPARE(ScreenFixture::errors(), QStringList{"Livro magnético não cadastrado."});
        QCOMPARE(QApplication::focusWidget(), f->dbeLivroMag);
        QCOMPARE(field(f, "CDLIVROMAG"), QString("0000000009"));
        QCOMPARE(field(f, "NMLIVROMAG"), QString());
        QVERIFY(!Showavi::isActive());

        const int calls = f->netParamGNRE.callCount("GetLivroMag");
        retype(f->dbeLivroMag, "");
        QTest::keyClick(f->dbeLivroMag, Qt::Key_Tab);
        QCOMPARE(f->netParamGNRE.callCount("GetLivroMag"), calls); // an empty code is accepted without asking
        QCOMPARE(field(f, "CDLIVROMAG"), QString());
    }

    void checksOnLeavingWhileBrowsing()
    {
        TfrmParamGNRE *f = fx->open("GON", "01 - A");
        f->dbeLivroMag->setFocus();
        QTest::keyClick(f->dbeLivroMag, Qt::Key_Tab);
        QCOMPARE(f->netParamGNRE.callCount("GetLivroMag"), 0); // only while editing
        // The branch is checked in any state: its adjusted code and name are shown, nothing is stored.
        f->dbeCdFilial->setFocus();
        f->dbeCdFilial->setText("3");
        QTest::keyClick(f->dbeCdFilial, Qt::Key_Tab);
        QCOMPARE(f->dbeCdFilial->text(), QString("0003"));
        QCOMPARE(f->dbeNmFilial->text(), QString("Filial Niterói"));
        QCOMPARE(f->cdsParamGeral.State(), DataSetState::dsBrowse);
        QCOMPARE(field(f, "CDFILIAL"), QString("0002"));
    }

    void branchIsAdjustedOrRefused()
    {
        TfrmParamGNRE *f = fx->open("GON", "01 - A");
        click(f->sbtAlterar);
        retype(f->dbeCdFilial, "1");
        QTest::keyClick(f->dbeCdFilial, Qt::Key_Tab);
        QCOMPARE(f->dbeCdFilial->text(), QString("0001"));
        QCOMPARE(f->dbeNmFilial->text(), QString("Matriz Campinas"));
        retype(f->dbeCdFilial, "9");
        QTest::keyClick(f->dbeCdFilial, Qt::Key_Tab);
        QCOMPARE(ScreenFixture::errors(), QStringList{"Filial não cadastrada."});
        QCOMPARE(QApplication::focusWidget(), f->dbeCdFilial);
        QCOMPARE(f->dbeNmFilial->text(), QString());
        retype(f->dbeCdFilial, "10");
        click(f->sbtConfirmar); // the adjusted code and its name are part of what is posted
        QCOMPARE(ScreenFixture::errors().size(), 1);
        const DataPacket p = DataPacket::fromJson(fx->server->call("GetParamGeral", {"01"}).result);
        QCOMPARE(p.rows[0][p.indexOf("CDFILIAL")].toString(), QString("0010"));
        QCOMPARE(p.rows[0][p.indexOf("NMFILIAL")].toString(), QString("Filial Belo Horizonte"));
    }

    void rateRange_data()
    {
        QTest::addColumn<QString>("rate");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("0") << "0" << true;
        QTest::newRow("100") << "100" << true;
        QTest::newRow("101") << "101" << false;
        QTest::newRow("exponent 1E3 holds 1000") << "1E3" << false;
        QTest::newRow("exponent 1E2 holds 100") << "1E2" << true;
    }
    void rateRange()
    {
        QFETCH(QString, rate);
        QFETCH(bool, accepted);
        TfrmParamGNRE *f = fx->open("DRJ", "02 - B");
        click(f->sbtAlterar);
        retype(f->dbeAliqFECP, rate);
        QTest::keyClick(f->dbeAliqFECP, Qt::Key_Tab);
        QCOMPARE(ScreenFixture::errors().isEmpty(), accepted);
        if (!accepted) {
            QCOMPARE(ScreenFixture::errors().first(), QString("Alíquota deve ser um número entre 0 e 100."));
            QCOMPARE(QApplication::focusWidget(), f->dbeAliqFECP);
        }
    }

    // Confirmed straight from the entry (the button takes no focus): the rate
    // is judged before anything is sent, and the other changes stay.
    void rateConfirmedWithoutLeavingTheEntry()
    {
        TfrmParamGNRE *f = fx->open("DRJ", "02 - B");
        click(f->sbtAlterar);
        retype(f->dbeEmail, "outro@bebidas.com.br");
        retype(f->dbeAliqFECP, "1E3");
        click(f->sbtConfirmar);
        QCOMPARE(ScreenFixture::errors(), QStringList{"Alíquota deve ser um número entre 0 e 100."});
        QCOMPARE(f->netParamGNRE.callCount("SetParamGNRE"), 0);
        QCOMPARE(f->cdsParamGeral.State(), DataSetState::dsEdit);
        QCOMPARE(field(f, "DSEMAILRETORNO"), QString("outro@bebidas.com.br"));
        QCOMPARE(QApplication::focusWidget(), f->dbeAliqFECP);
    }

    void postChecksRunInOrder()
    {
        TfrmParamGNRE *f = fx->open("DRJ", "02 - B");
        click(f->sbtAlterar);
        f->dckGeraContaPag->setFocus();
        QTest::keyClick(f->dckGeraContaPag, Qt::Key_Space); // ticked, no operation type
        QCOMPARE(f->dbeCdTpOper->palette().color(QPalette::Base), clInfoBk());
        f->dbeCdFilial->setText("9");
        click(f->sbtConfirmar);
        QCOMPARE(ScreenFixture::errors(), QStringList{"Filial não cadastrada."}); // the branch first, alone
        QCOMPARE(f->cdsParamGeral.State(), DataSetState::dsEdit);
        f->dbeCdFilial->setText("3");
        click(f->sbtConfirmar);
        QCOMPARE(ScreenFixture::errors().last(), QString("Tipo de operação deve ser informado."));
        QCOMPARE(QApplication::focusWidget(), f->dbeCdTpOper);
        QCOMPARE(f->cdsParamGeral.State(), DataSetState::dsEdit);
        QTest::keyClick(f->dckGeraContaPag, Qt::Key_Space);
        QCOMPARE(f->dbeCdTpOper->palette().color(QPalette::Base), clWindow());
        click(f->sbtConfirmar);
        QCOMPARE(ScreenFixture::errors().size(), 2);
        QCOMPARE(f->cdsParamGeral.State(), DataSetState::dsBrowse);
    }

    void operationTypeIsCheckedAndMarked()
    {
        TfrmParamGNRE *f = fx->open("DRJ", "02 - B");
        click(f->sbtAlterar);
        retype(f->dbeCdTpOper, "50"); // an exit operation
        QTest::keyClick(f->dbeCdTpOper, Qt::Key_Tab);
        QCOMPARE(ScreenFixture::errors(), QStringList{"Tipo de operação não cadastrado."});
        QCOMPARE(QApplication::focusWidget(), f->dbeCdTpOper);
        retype(f->dbeCdTpOper, "5");
        QTest::keyClick(f->dbeCdTpOper, Qt::Key_Tab);
        QCOMPARE(f->dbeCdTpOper->text(), QString("05"));
        QCOMPARE(f->dbeNmTpOperac->text(), QString("Pagamento de Tributos"));
        QCOMPARE(field(f, "IDENTRSAIDPAG"), QString("E"));
    }

    void newRecordPostedUntouched()
    {
        TfrmParamGNRE *f = fx->open("DRJ", "03 - C");
        click(f->sbtAlterar);
        click(f->sbtConfirmar);
        QCOMPARE(ScreenFixture::errors(), QStringList());
        const DataPacket p = DataPacket::fromJson(fx->server->call("GetParamGeral", {"03"}).result);
        const Row &r = p.rows.at(0);
        QCOMPARE(r[p.indexOf("CDEMPRESA")].toString(), QString("03"));
        QCOMPARE(r[p.indexOf("IDGERALOGGNRE")].toString(), QString("N"));
        QCOMPARE(r[p.indexOf("IDCALENDPAGGNRE")].toString(), QString("F"));
        QCOMPARE(r[p.indexOf("IDGERACONTAPAG")].toString(), QString("N"));
        QVERIFY(!r[p.indexOf("NRDIASCALCDTPAG")].isNull() && r[p.indexOf("NRDIASCALCDTPAG")].toDouble() == 0.0);
        QVERIFY(!r[p.indexOf("VRALIQFECP")].isNull() && r[p.indexOf("VRALIQFECP")].toDouble() == 0.0);
    }

    void keyFilters()
    {
        TfrmParamGNRE *f = fx->open("GON", "01 - A");
        click(f->sbtAlterar);
        retype(f->dbeQtdeDias, "-,.e1");
        QCOMPARE(f->dbeQtdeDias->text(), QString("1"));
        QTest::keyClicks(f->dbeQtdeDias, "E");
        QCOMPARE(f->dbeQtdeDias->text(), QString("1E"));
        retype(f->dbeLivroMag, "a 1");
        QCOMPARE(f->dbeLivroMag->text(), QString("1"));
    }

    void guideTypeVariants_data()
    {
        QTest::addColumn<QString>("guide");
        QTest::addColumn<int>("page");
        QTest::addColumn<QStringList>("visible");
        QTest::newRow("GON") << "GON" << 0 << QStringList{"NRCERTIFICDIG", "IDTPAMBIENTE", "IDFCPSEPIMP"};
        QTest::newRow("DRJ") << "DRJ" << 1 << QStringList{"DSEMAILRETORNO", "IDPERIODOREFAPU"};
        QTest::newRow("GRJ") << "GRJ" << 1 << QStringList{"DSEMAILRETORNO"};
        QTest::newRow("gon") << "gon" << 1 << QStringList{};
        QTest::newRow("empty") << "" << 1 << QStringList{};
    }
    void guideTypeVariants()
    {
        QFETCH(QString, guide);
        QFETCH(int, page);
        QFETCH(QStringList, visible);
        stTpGuia.clear();
        TfrmParamGNRE *f = fx->open(guide, "01 - A");
        QCOMPARE(f->nbkParametros->PageIndex(), page);
        QCOMPARE(f->grbParamGNRE->height(), page == 0 ? 122 : 170);
        for (const char *name : {"NRCERTIFICDIG", "IDTPAMBIENTE", "IDFCPSEPIMP", "DSEMAILRETORNO", "IDPERIODOREFAPU"}) {
            const bool shown = visible.contains(name);
            QCOMPARE(f->cdsParamInscr.FieldByName(name)->Visible(), shown);
            QCOMPARE(f->dbgParamInscr->isColumnHidden(Consiste::IndiceCol(f->dbgParamInscr, name)), !shown);
        }
    }

    void choosingFromTheListsStartsTheEdit()
    {
        TfrmParamGNRE *f = fx->open("GON", "03 - C");
        fx->onModal = [](DialogRequest &r) {
            auto *d = qobject_cast<TPesquisaDialog *>(r.dialog);
            d->chooseRow(d->visibleRowCount() - 1);
            return d->result();
        };
        click(f->btpLivroMag);
        QCOMPARE(f->cdsParamGeral.State(), DataSetState::dsInsert); // the company's first record, with its defaults
        QCOMPARE(field(f, "IDCALENDPAGGNRE"), QString("F"));
        QCOMPARE(field(f, "CDLIVROMAG"), QString("0000000007"));
        QCOMPARE(field(f, "NMLIVROMAG"), QString("Livro de Registro de Saídas"));
        click(f->btpTpOperac);
        QCOMPARE(f->dbeCdTpOper->text(), QString("05"));
        QCOMPARE(f->dbeNmTpOperac->text(), QString("Pagamento de Tributos"));
        QCOMPARE(field(f, "IDENTRSAIDPAG"), QString()); // set by the check, not by the choice
        f->dckGeraContaPag->setChecked(true);
        click(f->sbtConfirmar);
        QCOMPARE(ScreenFixture::errors(), QStringList());
        const DataPacket p = DataPacket::fromJson(fx->server->call("GetParamGeral", {"03"}).result);
        QCOMPARE(p.rows[0][p.indexOf("CDTPOPERPAG")].toString(), QString("05"));
        QCOMPARE(p.rows[0][p.indexOf("IDENTRSAIDPAG")].toString(), QString("E"));
        QCOMPARE(p.rows[0][p.indexOf("IDGERACONTAPAG")].toString(), QString("S"));
    }
};

FIS_HOST_TEST_MAIN(TestGeneralPage)
#include "tst_generalpage.moc"
