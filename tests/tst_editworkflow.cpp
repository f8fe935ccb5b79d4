// Editing, confirming, cancelling and saving on both pages, as a user drives them.
#include "ScreenFixture.h"

#include <QTabBar>

using namespace rt;

namespace {

QStringList enabledButtons(TfrmParamGNRE *f)
{
    QStringList out;
    for (TButtonFlat *b : {f->sbtConfirmar, f->sbtCancelar, f->sbtIncluir, f->sbtAlterar, f->sbtExcluir,
                           f->sbtProcurar, f->sbtVerificar, f->sbtImprimir}) {
        if (b->isEnabled())
            out << b->objectName();
        if (QAction *a = f->menuEntryOf(b))
            if (a->isEnabled() != b->isEnabled())
                out << "menu differs: " + b->objectName();
    }
    return out;
}

} // namespace

class TestEditWorkflow : public QObject
{
    Q_OBJECT

    std::unique_ptr<ScreenFixture> fx;

    DataPacket stored(const QString &method, const QJsonArray &args)
    {
        return DataPacket::fromJson(fx->server->call(method, args).result);
    }
    void toRegistrationPage(TfrmParamGNRE *f) { f->pgcPadrao->setCurrentIndex(1); } // as the user's click does
    // Someone else changes the general record after the screen loaded it.
    bool otherUserSetsDays(const DataPacket &loaded, double days)
    {
        Delta other;
        other.fields = loaded.fields;
        Row changed = loaded.rows[0];
        changed[loaded.indexOf("NRDIASCALCDTPAG")] = days;
        other.changes.append(Change{ChangeKind::Modify, loaded.rows[0], changed});
        return fx->server->call("SetParamGNRE", {other.toJson()}).ok;
    }

private slots:
    void initTestCase()
    {
        FIS_REQUIRE_ENGINE();
    }

    void init()
    {
        fx = std::make_unique<ScreenFixture>();
        QVERIFY2(fx->start(), qPrintable(fx->server->error()));
    }
    void cleanup() { fx.reset(); }

    void buttonsFollowPageAndState()
    {
        TfrmParamGNRE *f = fx->open("GON", "01 - A");
        QCOMPARE(enabledButtons(f), QStringList({"sbtAlterar", "sbtVerificar"}));
        click(f->sbtAlterar);
        QCOMPARE(f->cdsParamGeral.State(), DataSetState::dsEdit);
        QCOMPARE(QApplication::focusWidget(), f->dbeQtdeDias);
        QCOMPARE(enabledButtons(f), QStringList({"sbtConfirmar", "sbtCancelar"}));

        // The general edit stays open on the page left; the other page has its own state.
        toRegistrationPage(f);
        QVERIFY(f->mnuParamInscr->isChecked() && !f->mnuParamGeral->isChecked());
        QCOMPARE(f->cdsParamInscr.RecordCount(), 2);
        QCOMPARE(enabledButtons(f), QStringList({"sbtIncluir", "sbtAlterar", "sbtExcluir", "sbtProcurar", "sbtVerificar"}));
        QCOMPARE(f->cdsParamGeral.State(), DataSetState::dsEdit);
        f->pgcPadrao->setCurrentIndex(0);
        QVERIFY(f->mnuParamGeral->isChecked() && !f->mnuParamInscr->isChecked());
        QCOMPARE(f->cdsParamGeral.State(), DataSetState::dsBrowse); // entering a page reloads it
    }

    void registrationPageWithoutRecords()
    {
        TfrmParamGNRE *f = fx->open("DRJ", "01 - A");
        toRegistrationPage(f);
        QCOMPARE(f->cdsParamInscr.RecordCount(), 0);
        QCOMPARE(enabledButtons(f), QStringList({"sbtIncluir"}));
    }

    void firstSaveInsertsTheCompanysRecord()
    {
        TfrmParamGNRE *f = fx->open("DRJ", "03 - C");
        click(f->sbtAlterar);
        QCOMPARE(f->cdsParamGeral.State(), DataSetState::dsInsert);
        retype(f->dbeQtdeDias, "4");
        click(f->sbtConfirmar);
        QCOMPARE(ScreenFixture::errors(), QStringList());
        QCOMPARE(f->netParamGNRE.callCount("SetParamGNRE"), 1);
        QCOMPARE(f->cdsParamGeral.GetChangeCount(), 0);
        QCOMPARE(enabledButtons(f), QStringList({"sbtAlterar", "sbtVerificar"}));
        const DataPacket p = stored("GetParamGeral", {"03"});
        QCOMPARE(p.rows.size(), 1);
        QCOMPARE(p.rows[0][p.indexOf("CDEMPRESA")].toString(), QString("03"));
        QCOMPARE(p.rows[0][p.indexOf("NRDIASCALCDTPAG")].toDouble(), 4.0);
        QCOMPARE(p.rows[0][p.indexOf("IDCALENDPAGGNRE")].toString(), QString("F"));
        QCOMPARE(p.rows[0][p.indexOf("IDGERALOGGNRE")].toString(), QString("N"));
    }

    void oneSavePerConfirmedEdit()
    {
        TfrmParamGNRE *f = fx->open("DRJ", "02 - B");
        click(f->sbtAlterar);
        retype(f->dbeEmail, "novo@bebidas.com.br");
        click(f->sbtConfirmar);
        QCOMPARE(f->netParamGNRE.callCount("SetParamGNRE"), 1);
        QCOMPARE(f->cdsParamGeral.GetChangeCount(), 0);
        const QJsonArray sent = f->netParamGNRE.lastParams("SetParamGNRE");
        QCOMPARE(Delta::fromJson(sent.at(0)).changes.size(), 1);
        QCOMPARE(Delta::fromJson(sent.at(0)).changes.at(0).kind, ChangeKind::Modify);
        const DataPacket p = stored("GetParamGeral", {"02"});
        QCOMPARE(p.rows[0][p.indexOf("DSEMAILRETORNO")].toString(), QString("novo@bebidas.com.br"));
        // Nothing is reloaded after a save.
        QCOMPARE(f->netParamGNRE.callCount("GetParamGeral"), 1);
    }

    void cancelAsksFirst()
    {
        TfrmParamGNRE *f = fx->open("GON", "01 - A");
        click(f->sbtAlterar);
        retype(f->dbeQtdeDias, "9");
        fx->confirmAnswer = QMessageBox::No;
        click(f->sbtCancelar);
        QCOMPARE(f->cdsParamGeral.State(), DataSetState::dsEdit);
        QCOMPARE(f->dbeQtdeDias->text(), QString("9"));
        fx->confirmAnswer = QMessageBox::Yes;
        click(f->sbtCancelar);
        QCOMPARE(f->cdsParamGeral.State(), DataSetState::dsBrowse);
        QCOMPARE(f->dbeQtdeDias->text(), QString("5"));
        QCOMPARE(f->netParamGNRE.callCount("SetParamGNRE"), 0);
    }

    void cancellingAnEditRestoresTheCalendar()
    {
        TfrmParamGNRE *f = fx->open("GON", "01 - A");
        QCOMPARE(f->rdgCalendario->ItemIndex(), 1);
        click(f->sbtAlterar);
        f->rdgCalendario->button(2)->click(); // "Bancário"
        QCOMPARE(f->cdsParamGeral.FieldByName("IDCALENDPAGGNRE")->AsString(), QString("B"));
        click(f->sbtCancelar);
        QCOMPARE(f->rdgCalendario->ItemIndex(), 1);
        QCOMPARE(f->cdsParamGeral.State(), DataSetState::dsBrowse);
        QCOMPARE(f->cdsParamGeral.GetChangeCount(), 0);
        QVERIFY(!f->sbtConfirmar->isEnabled() && !f->sbtCancelar->isEnabled());
        QCOMPARE(f->netParamGNRE.callCount("SetParamGNRE"), 0);
    }

    void calendarClickOnAnEmptyRecordInserts()
    {
        TfrmParamGNRE *f = fx->open("GON", "03 - C");
        f->rdgCalendario->button(2)->click();
        QCOMPARE(f->cdsParamGeral.State(), DataSetState::dsInsert);
        QCOMPARE(f->cdsParamGeral.FieldByName("IDCALENDPAGGNRE")->AsString(), QString("B"));
        f->rdgCalendario->button(0)->click(); // already editing: the code changes, the state does not
        QCOMPARE(f->cdsParamGeral.State(), DataSetState::dsInsert);
        QCOMPARE(f->cdsParamGeral.FieldByName("IDCALENDPAGGNRE")->AsString(), QString("F"));
        // Cancelling the first record: empty again, the selection stays the user's.
        click(f->sbtCancelar);
        QVERIFY(f->cdsParamGeral.IsEmpty());
        QCOMPARE(f->rdgCalendario->ItemIndex(), 0);
    }

    void storedCalendarCodes()
    {
        TfrmParamGNRE *f = fx->open("GON", "01 - A");
        DataPacket p = stored("GetParamGeral", {"01"});
        for (const auto &[code, index] : {std::pair{"B", 2}, {"c", 2}, {"", 2}, {"F", 0}}) {
            p.rows[0][p.indexOf("IDCALENDPAGGNRE")] = code;
            f->cdsParamGeral.SetData(p);
            QCOMPARE(f->rdgCalendario->ItemIndex(), index);
            QCOMPARE(f->cdsParamGeral.State(), DataSetState::dsBrowse);
        }
    }

    void codedLists_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("shown");
        QTest::newRow("product 12") << "CDPRODUTODEB" << "00012" << "12 - Outros";
        QTest::newRow("product without zeros") << "CDPRODUTODEB" << "7" << "07 - Produtos Alimentícios";
        QTest::newRow("product 13") << "CDPRODUTODEB" << "00013" << "";
        QTest::newRow("product 0") << "CDPRODUTODEB" << "00000" << "";
        QTest::newRow("product empty") << "CDPRODUTODEB" << "" << "";
        QTest::newRow("nature 3") << "CDNATUQUALIF" << "3" << "3 - Energia Elétrica";
        QTest::newRow("nature 7") << "CDNATUQUALIF" << "7" << "";
    }
    void codedLists()
    {
        QFETCH(QString, field);
        QFETCH(QString, stored);
        QFETCH(QString, shown);
        TfrmParamGNRE *f = fx->open("DRJ", "02 - B");
        DataPacket p = this->stored("GetParamGeral", {"02"});
        p.rows[0][p.indexOf(field)] = stored;
        f->cdsParamGeral.SetData(p);
        TDBComboBox *list = field == "CDPRODUTODEB" ? f->dbcProdDebito : f->dbcQualiNat;
        QCOMPARE(list->currentText(), shown);
    }

    void choosingAProductStoresItsAdjustedNumber()
    {
        TfrmParamGNRE *f = fx->open("DRJ", "02 - B"); // stored "00012"
        f->dbcProdDebito->setFocus();
        for (int i = 0; i < 7; ++i)
            QTest::keyClick(f->dbcProdDebito, Qt::Key_Up);
        QCOMPARE(f->dbcProdDebito->currentText(), QString("05 - Peças, Partes e Acessórios para Veículos Automotores"));
        QCOMPARE(f->cdsParamGeral.State(), DataSetState::dsEdit);
        QCOMPARE(f->cdsParamGeral.FieldByName("CDPRODUTODEB")->AsString(), Consiste::Ajusta("5", 5));
        QTest::keyClick(f->dbcProdDebito, Qt::Key_Home); // the empty item: no code
        QVERIFY(f->cdsParamGeral.FieldByName("CDPRODUTODEB")->IsNull());
        f->dbcQualiNat->setFocus();
        QTest::keyClick(f->dbcQualiNat, Qt::Key_End);
        QCOMPARE(f->cdsParamGeral.FieldByName("CDNATUQUALIF")->AsString(), QString("5"));
    }

    void refusedSaveIsUndoneAndReported()
    {
        TfrmParamGNRE *f = fx->open("GON", "01 - A");
        const DataPacket p = stored("GetParamGeral", {"01"});
        QVERIFY(otherUserSetsDays(p, 8.0));

        click(f->sbtAlterar);
        retype(f->dbeQtdeDias, "2");
        click(f->sbtConfirmar);
        QCOMPARE(ScreenFixture::errors().size(), 1);
        QVERIFY2(ScreenFixture::errors().first().contains("alterados por outro usuário"), qPrintable(ScreenFixture::errors().first()));
        QCOMPARE(f->cdsParamGeral.State(), DataSetState::dsBrowse);
        QCOMPARE(f->cdsParamGeral.GetChangeCount(), 0);
        QCOMPARE(f->dbeQtdeDias->text(), QString("5")); // as loaded: the local change is undone
        QVERIFY(!Showavi::isActive());
        QCOMPARE(stored("GetParamGeral", {"01"}).rows[0][p.indexOf("NRDIASCALCDTPAG")].toDouble(), 8.0);

        // Reloading shows the other user's change; editing again then saves.
        click(f->sbtVerificar);
        QCOMPARE(f->dbeQtdeDias->text(), QString("8"));
        click(f->sbtAlterar);
        retype(f->dbeQtdeDias, "2");
        click(f->sbtConfirmar);
        QCOMPARE(ScreenFixture::errors().size(), 1);
        QCOMPARE(stored("GetParamGeral", {"01"}).rows[0][p.indexOf("NRDIASCALCDTPAG")].toDouble(), 2.0);
    }

    void calendarShownAfterAFailedSave()
    {
        TfrmParamGNRE *f = fx->open("GON", "01 - A"); // stored "C", item 1
        const DataPacket p = stored("GetParamGeral", {"01"});
        QVERIFY(otherUserSetsDays(p, 8.0));

        click(f->sbtAlterar);
        f->rdgCalendario->button(2)->click(); // "Bancário"
        click(f->sbtConfirmar); // refused: changed by someone else
        QCOMPARE(ScreenFixture::errors().size(), 1);
        QCOMPARE(f->cdsParamGeral.FieldByName("IDCALENDPAGGNRE")->AsString(), QString("C"));
        QCOMPARE(f->rdgCalendario->ItemIndex(), 1);

        click(f->sbtVerificar);
        click(f->sbtAlterar);
        retype(f->dbeQtdeDias, "3");
        click(f->sbtConfirmar);
        QCOMPARE(ScreenFixture::errors().size(), 1);
        const DataPacket now = stored("GetParamGeral", {"01"});
        QCOMPARE(now.rows[0][now.indexOf("IDCALENDPAGGNRE")].toString(), QString("C"));
        QCOMPARE(f->rdgCalendario->ItemIndex(), 1);
    }

    // A page change asks the entry being left first: refused, the page and the
    // focus stay, and the message is shown once.
    void pageChangeWaitsForTheEntrysCheck()
    {
        TfrmParamGNRE *f = fx->open("GON", "01 - A");
        QTabBar *tabs = f->pgcPadrao->findChild<QTabBar *>();
        click(f->sbtAlterar);
        retype(f->dbeCdFilial, "9999");
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
        QCOMPARE(ScreenFixture::errors(), QStringList{"Filial não cadastrada."});
        QCOMPARE(f->pgcPadrao->ActivePage(), f->tshParamGeral);
        QCOMPARE(QApplication::focusWidget(), f->dbeCdFilial);
        QCOMPARE(f->netParamGNRE.callCount("GetParamInscr"), 0);
        QVERIFY(f->mnuParamGeral->isChecked() && !f->mnuParamInscr->isChecked());

        retype(f->dbeCdFilial, "1");
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
        QCOMPARE(ScreenFixture::errors().size(), 1);
        QCOMPARE(f->pgcPadrao->ActivePage(), f->tshParamInscr);
        QCOMPARE(QApplication::focusWidget(), f->dbgParamInscr);
        QCOMPARE(f->dbeCdFilial->text(), QString("0001")); // its exit ran
        QCOMPARE(f->dbeNmFilial->text(), QString("Matriz Campinas"));
        QCOMPARE(f->netParamGNRE.callCount("GetParamInscr"), 2); // the page's load and the grid's entry
    }

    // The page entries of the menu go to their page and mark the active one only.
    void pageMenuEntriesShowTheActivePage()
    {
        TfrmParamGNRE *f = fx->open("GON", "01 - A");
        f->mnuParamGeral->trigger(); // the active page: the mark stays
        QVERIFY(f->mnuParamGeral->isChecked() && !f->mnuParamInscr->isChecked());
        f->mnuParamInscr->trigger();
        QCOMPARE(f->pgcPadrao->ActivePage(), f->tshParamInscr);
        QVERIFY(!f->mnuParamGeral->isChecked() && f->mnuParamInscr->isChecked());
        f->mnuParamInscr->trigger();
        QVERIFY(!f->mnuParamGeral->isChecked() && f->mnuParamInscr->isChecked());
        f->mnuParamGeral->trigger();
        QCOMPARE(f->pgcPadrao->ActivePage(), f->tshParamGeral);
        QVERIFY(f->mnuParamGeral->isChecked() && !f->mnuParamInscr->isChecked());
    }

    // Every way of deleting asks the same question, in the host's language.
    void oneDeleteQuestion()
    {
        TfrmParamGNRE *f = fx->open("GON", "01 - A");
        toRegistrationPage(f);
        fx->confirmAnswer = QMessageBox::No;
        click(f->sbtExcluir);
        f->dbgParamInscr->setFocus();
        f->dbgParamInscr->setSelectedIndex(Consiste::IndiceCol(f->dbgParamInscr, "CDENCARGOST"));
        QTest::keyClick(f->dbgParamInscr, Qt::Key_Delete, Qt::ControlModifier);
        QStringList asked;
        for (const DialogRequest &r : Dialogs::history())
            if (r.kind == DialogKind::Confirmation) {
                asked << r.text;
                QCOMPARE(r.buttons, QMessageBox::Yes | QMessageBox::No);
            }
        QCOMPARE(asked, QStringList({"Confirma a exclusão do registro?", "Confirma a exclusão do registro?"}));
        QCOMPARE(f->cdsParamInscr.RecordCount(), 2);

        QMessageBox box;
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        QCOMPARE(box.button(QMessageBox::Yes)->text().remove('&'), QString("Sim"));
        QCOMPARE(box.button(QMessageBox::No)->text().remove('&'), QString("Não"));
        QCOMPARE(box.button(QMessageBox::Cancel)->text().remove('&'), QString("Cancelar"));
    }

    // The answer to a save is lost on its way back: the screen asks again with
    // the same request id and the service, which had applied it, says so
    // without applying it twice. When even the repeat gets no answer, the
    // screen says the outcome is unknown and shows what is stored.
    void saveWhoseAnswerIsLost()
    {
        SlowProxy lossy(fx->server->port(), 0, 1);
        ScreenFixture::pointAt(lossy.port());
        TfrmParamGNRE *f = fx->open("GON", "01 - A");
        toRegistrationPage(f);
        click(f->sbtExcluir); // the answer of this delete is lost once
        QCOMPARE(ScreenFixture::errors().join("; "), QString());
        QCOMPARE(f->cdsParamInscr.RecordCount(), 1);
        QCOMPARE(stored("GetParamInscr", {"01", "GON"}).rows.size(), 1);

        SlowProxy silent(fx->server->port(), 0, 2); // the repeat is lost too
        f->netParamGNRE.setConnected(false);
        ScreenFixture::pointAt(silent.port());
        f->netParamGNRE.setConnected(true);
        click(f->sbtExcluir);
        QCOMPARE(ScreenFixture::errors().size(), 1);
        QVERIFY2(ScreenFixture::errors().first().contains("Não foi possível confirmar"), qPrintable(ScreenFixture::errors().first()));
        QCOMPARE(f->cdsParamInscr.RecordCount(), 0); // what is stored: the delete was applied
        QCOMPARE(stored("GetParamInscr", {"01", "GON"}).rows.size(), 0);
    }

    void deleteWhoseSaveFailsComesBack()
    {
        TfrmParamGNRE *f = fx->open("GON", "01 - A");
        toRegistrationPage(f);
        QCOMPARE(f->cdsParamInscr.RecordCount(), 2);
        fx->server->stop();
        click(f->sbtExcluir);
        QCOMPARE(ScreenFixture::errors().size(), 1);
        QVERIFY(ScreenFixture::errors().first().contains("Falha de comunicação"));
        QCOMPARE(f->cdsParamInscr.RecordCount(), 2);
        QCOMPARE(f->cdsParamInscr.GetChangeCount(), 0);
        QCOMPARE(f->cdsParamInscr.State(), DataSetState::dsBrowse);
        QVERIFY(f->isVisible());
        QVERIFY(!Showavi::isActive());
    }

    void deleteIsSavedAtOnce()
    {
        TfrmParamGNRE *f = fx->open("GON", "01 - A");
        toRegistrationPage(f);
        fx->confirmAnswer = QMessageBox::No;
        click(f->sbtExcluir);
        QCOMPARE(f->cdsParamInscr.RecordCount(), 2);
        fx->confirmAnswer = QMessageBox::Yes;
        click(f->sbtExcluir);
        QCOMPARE(f->netParamGNRE.callCount("SetParamInscr"), 1);
        QCOMPARE(Delta::fromJson(f->netParamGNRE.lastParams("SetParamInscr").at(0)).changes.at(0).kind, ChangeKind::Delete);
        QCOMPARE(stored("GetParamInscr", {"01", "GON"}).rows.size(), 1);
    }

    // The table follows R: whatever empties the registrations leaves only Incluir.
    void buttonsFollowTheRegistrationsThere()
    {
        const QStringList onlyInsert{"sbtIncluir"};
        TfrmParamGNRE *f = fx->open("GON", "01 - A");
        toRegistrationPage(f);
        QCOMPARE(f->cdsParamInscr.RecordCount(), 2);
        click(f->sbtExcluir);
        click(f->sbtExcluir); // the last one
        QCOMPARE(f->cdsParamInscr.RecordCount(), 0);
        QCOMPARE(enabledButtons(f), onlyInsert);

        // Another user adds one; coming back reloads and the table follows.
        const DataPacket none = stored("GetParamInscr", {"01", "GON"});
        f->pgcPadrao->setCurrentIndex(0);
        Delta add;
        add.fields = none.fields;
        Row row(none.fields.size());
        for (auto [k, v] : {std::pair{"CDEMPRESA", "01"}, {"CDINSCESTA", "77528063"}, {"SGESTADO", "SP"}, {"IDTPGUIA", "GON"},
                            {"IDTPAMBIENTE", "P"}, {"IDPERIODOREFAPU", "I"}, {"IDCALCSTMANUAL", "N"}, {"IDFCPSEPIMP", "N"}})
            row[none.indexOf(k)] = QString::fromLatin1(v);
        add.changes.append(Change{ChangeKind::Insert, {}, row});
        QVERIFY(fx->server->call("SetParamInscr", {add.toJson()}).ok);
        toRegistrationPage(f);
        QCOMPARE(f->cdsParamInscr.RecordCount(), 1);
        QCOMPARE(enabledButtons(f), QStringList({"sbtIncluir", "sbtAlterar", "sbtExcluir", "sbtProcurar", "sbtVerificar"}));

        // ... and removes it again: the reload that empties the grid.
        Delta remove;
        remove.fields = none.fields;
        remove.changes.append(Change{ChangeKind::Delete, row, {}});
        QVERIFY(fx->server->call("SetParamInscr", {remove.toJson()}).ok);
        click(f->sbtVerificar);
        QCOMPARE(f->cdsParamInscr.RecordCount(), 0);
        QCOMPARE(enabledButtons(f), onlyInsert);
        click(f->sbtAlterar); // disabled: starts nothing
        QCOMPARE(f->cdsParamInscr.State(), DataSetState::dsBrowse);

        // A first registration whose save fails: undone, and the table with it.
        click(f->sbtIncluir);
        for (QChar c : QString("77528063"))
            QTest::keyClick(QApplication::focusWidget(), c.toLatin1());
        f->netParamGNRE.BeforeCall = [this](const QString &method) {
            if (method == "SetParamInscr")
                fx->server->stop();
        };
        f->cdsParamInscr.FieldByName("NRCERTIFICDIG")->ReadOnly = false;
        f->cdsParamInscr.FieldByName("NRCERTIFICDIG")->setAsString("4E2A91C3");
        f->cdsParamInscr.FieldByName("IDTPAMBIENTE")->setText("Produção");
        f->cdsParamInscr.FieldByName("CDFILIALPAG")->setAsString("0001");
        click(f->sbtConfirmar);
        f->netParamGNRE.BeforeCall = nullptr;
        QCOMPARE(ScreenFixture::errors().size(), 1);
        QCOMPARE(f->cdsParamInscr.RecordCount(), 0);
        QCOMPARE(enabledButtons(f), onlyInsert);
    }

    void insertedRegistration()
    {
        TfrmParamGNRE *f = fx->open("GON", "01 - A");
        toRegistrationPage(f);
        click(f->sbtIncluir);
        QCOMPARE(f->cdsParamInscr.State(), DataSetState::dsInsert);
        QCOMPARE(f->dbgParamInscr->SelectedField()->FieldName, QString("CDINSCESTA"));
        QVERIFY(!f->cdsParamInscrCDINSCESTA->ReadOnly);
        const int col = Consiste::IndiceCol(f->dbgParamInscr, "CDINSCESTA");
        QCOMPARE(f->dbgParamInscr->Columns(col)->ButtonStyle, TColumnButtonStyle::cbsEllipsis);
        QCOMPARE(f->cdsParamInscr.FieldByName("IDPERIODOREFAPU")->AsString(), QString("I"));
        QCOMPARE(f->cdsParamInscr.FieldByName("IDFCPSEPIMP")->DisplayText(), QString("Não"));

        // Typed in the grid's cell; what the checks need besides is filled in directly.
        auto fill = [&](const QString &registration) {
            for (QChar c : registration) // keys go where the focus is: the cell editor after the first
                QTest::keyClick(QApplication::focusWidget(), c.toLatin1());
            QCOMPARE(f->dbgParamInscr->editorText(), registration);
            TField *cert = f->cdsParamInscr.FieldByName("NRCERTIFICDIG");
            cert->ReadOnly = false;
            cert->setAsString("4E2A91C3");
            cert->ReadOnly = true;
            f->cdsParamInscr.FieldByName("IDTPAMBIENTE")->setText("Homologação");
            f->cdsParamInscr.FieldByName("CDFILIALPAG")->setAsString("0001"); // the company generates payables
        };
        fill("0623079040081");
        click(f->sbtConfirmar);
        QCOMPARE(ScreenFixture::errors().join("; "), QString());
        QCOMPARE(f->cdsParamInscr.RecordCount(), 3);
        const DataPacket p = stored("GetParamInscr", {"01", "GON"});
        QCOMPARE(p.rows.size(), 3);
        QCOMPARE(p.rows[0][p.indexOf("CDINSCESTA")].toString(), QString("0623079040081"));
        QCOMPARE(p.rows[0][p.indexOf("SGESTADO")].toString(), QString("MG")); // from the registration's own record
        QCOMPARE(p.rows[0][p.indexOf("IDTPAMBIENTE")].toString(), QString("H"));
        QCOMPARE(p.rows[0][p.indexOf("IDTPGUIA")].toString(), QString("GON"));

        // An insert whose save fails disappears, and the grid shows what it showed before.
        click(f->sbtIncluir);
        fill("0240134751");
        f->netParamGNRE.BeforeCall = [this](const QString &method) {
            if (method == "SetParamInscr")
                fx->server->stop();
        };
        click(f->sbtConfirmar);
        QCOMPARE(ScreenFixture::errors().size(), 1);
        QVERIFY(ScreenFixture::errors().first().contains("Falha de comunicação"));
        QCOMPARE(f->cdsParamInscr.RecordCount(), 3);
        QCOMPARE(f->cdsParamInscr.State(), DataSetState::dsBrowse);
        QCOMPARE(f->cdsParamInscr.GetChangeCount(), 0);
        f->netParamGNRE.BeforeCall = nullptr;
    }

    void editingARegistration_data()
    {
        QTest::addColumn<QString>("guide");
        QTest::addColumn<QString>("company");
        QTest::addColumn<QString>("selected");
        QTest::newRow("GON") << "GON" << "01 - A" << "NRCERTIFICDIG";
        QTest::newRow("DRJ") << "DRJ" << "02 - B" << "DSEMAILRETORNO";
        // "gon" is not "GON": the e-mail column is hidden and the next visible one is selected.
        QTest::newRow("gon") << "gon" << "01 - A" << "CDFILIALPAG";
    }
    void editingARegistration()
    {
        QFETCH(QString, guide);
        QFETCH(QString, company);
        QFETCH(QString, selected);
        if (guide == "gon") {
            const DataPacket p = stored("GetParamInscr", {"01", "GON"});
            Delta d;
            d.fields = p.fields;
            Row r = p.rows[0];
            r[p.indexOf("IDTPGUIA")] = "gon";
            d.changes.append(Change{ChangeKind::Insert, {}, r});
            QVERIFY(fx->server->call("SetParamInscr", {d.toJson()}).ok);
        }
        TfrmParamGNRE *f = fx->open(guide, company);
        toRegistrationPage(f);
        click(f->sbtAlterar);
        QCOMPARE(f->cdsParamInscr.State(), DataSetState::dsEdit);
        QCOMPARE(f->dbgParamInscr->SelectedField()->FieldName, selected);
        QVERIFY(f->cdsParamInscrCDINSCESTA->ReadOnly);
        const int col = Consiste::IndiceCol(f->dbgParamInscr, "CDINSCESTA");
        QVERIFY(f->dbgParamInscr->Columns(col)->ButtonStyle != TColumnButtonStyle::cbsEllipsis);
        QCOMPARE(enabledButtons(f), QStringList({"sbtConfirmar", "sbtCancelar"}));
        click(f->sbtCancelar);
        QCOMPARE(f->cdsParamInscr.State(), DataSetState::dsBrowse);
    }
};

FIS_HOST_TEST_MAIN(TestEditWorkflow)
#include "tst_editworkflow.moc"
