// The registration grid: letter codes, key filters, the drawn ST-manual box,
// search lists behind the edit buttons, column checks and the posting checks.
#include "ScreenFixture.h"

#include <QClipboard>
#include <QDropEvent>
#include <QMimeData>
#include <QProcess>
#include <QToolButton>

using namespace rt;

class TestRegistrationGrid : public QObject
{
    Q_OBJECT

    std::unique_ptr<ScreenFixture> fx;
    TfrmParamGNRE *f = nullptr;

    TfrmParamGNRE *openGrid(const QString &guide, const QString &company)
    {
        f = fx->open(guide, company);
        f->pgcPadrao->setCurrentIndex(1);
        return f;
    }
    void selectColumn(const char *field)
    {
        f->dbgParamInscr->setFocus();
        f->dbgParamInscr->setSelectedIndex(Consiste::IndiceCol(f->dbgParamInscr, field));
    }
    QString value(const char *field) { return f->cdsParamInscr.FieldByName(field)->AsString(); }
    void key(QChar c) { QTest::keyClick(QApplication::focusWidget(), c.toLatin1()); }

private slots:
    void init()
    {
        fx = std::make_unique<ScreenFixture>();
        QVERIFY2(fx->start(), qPrintable(fx->server->error()));
    }
    void cleanup()
    {
        f = nullptr;
        fx.reset();
    }

    void lettersStoreCodes()
    {
        openGrid("GON", "01 - A"); // first row: environment H
        selectColumn("IDTPAMBIENTE");
        key('x');
        QCOMPARE(f->cdsParamInscr.State(), DataSetState::dsBrowse); // no code, no edit
        key('p');
        QCOMPARE(f->cdsParamInscr.State(), DataSetState::dsEdit);
        QCOMPARE(value("IDTPAMBIENTE"), QString("P"));
        QCOMPARE(f->cdsParamInscr.FieldByName("IDTPAMBIENTE")->DisplayText(), QString("Produção"));
        QVERIFY(!f->dbgParamInscr->editorOpen()); // no character is typed
        selectColumn("IDFCPSEPIMP");
        key('s');
        QCOMPARE(f->cdsParamInscr.FieldByName("IDFCPSEPIMP")->DisplayText(), QString("Sim"));
    }

    void periodLetters()
    {
        openGrid("DRJ", "02 - B"); // period M
        selectColumn("IDPERIODOREFAPU");
        key('i');
        QCOMPARE(value("IDPERIODOREFAPU"), QString("I"));
        QCOMPARE(f->cdsParamInscr.FieldByName("IDPERIODOREFAPU")->DisplayText(), QString());
        key('Q');
        QCOMPARE(f->cdsParamInscr.FieldByName("IDPERIODOREFAPU")->DisplayText(), QString("Quinzenal"));
    }

    void digitColumnsTakeDigitsOnly()
    {
        openGrid("GON", "01 - A");
        selectColumn("CDENCARGOST");
        key('a');
        QVERIFY(!f->dbgParamInscr->editorOpen());
        key('0');
        QVERIFY(f->dbgParamInscr->editorOpen());
        key('-');
        key('2');
        QCOMPARE(f->dbgParamInscr->editorText(), QString("02"));
    }

    // The columns' character filters leave the grid's own keys alone: Escape
    // cancels and Ctrl+Enter opens the search in every column.
    void gridCommandsWorkInEveryColumn_data()
    {
        QTest::addColumn<QString>("column");
        QTest::addColumn<QString>("typed");
        QTest::newRow("charge") << "CDENCARGOST" << "01";
        QTest::newRow("paying branch") << "CDFILIALPAG" << "02";
        QTest::newRow("e-mail") << "DSEMAILRETORNO" << "x@y";
        QTest::newRow("environment") << "IDTPAMBIENTE" << "p";
        QTest::newRow("period") << "IDPERIODOREFAPU" << "m";
    }
    void gridCommandsWorkInEveryColumn()
    {
        QFETCH(QString, column);
        QFETCH(QString, typed);
        openGrid("DRJ", "02 - B");
        const QString before = value(column.toLatin1().constData());
        selectColumn(column.toLatin1().constData());
        for (QChar c : typed)
            key(c);
        QCOMPARE(f->cdsParamInscr.State(), DataSetState::dsEdit);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        QVERIFY(!f->dbgParamInscr->editorOpen());
        QCOMPARE(f->cdsParamInscr.State(), DataSetState::dsBrowse);
        QCOMPARE(value(column.toLatin1().constData()), before);

        // Ctrl+Enter opens the search where the column has one (the button shows while editing).
        if (column == "CDENCARGOST" || column == "CDFILIALPAG") {
            int searches = 0;
            fx->onModal = [&](DialogRequest &) { ++searches; return int(QDialog::Rejected); };
            key(typed.at(0));
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return, Qt::ControlModifier);
            QCOMPARE(searches, 1);
        }
    }

    // A paste puts in only what typing would: digits in the charge and paying-branch cells.
    void pasteIntoACellPassesTheFilters()
    {
        openGrid("GON", "01 - A");
        selectColumn("CDENCARGOST");
        key('0');
        QVERIFY(f->dbgParamInscr->editorOpen());
        auto *editor = qobject_cast<QLineEdit *>(QApplication::focusWidget());
        QVERIFY(editor);
        editor->clear();
        QApplication::clipboard()->setText("0A1-");
        QTest::keyClick(editor, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(f->dbgParamInscr->editorText(), QString("01"));
        // Dropped text goes through the same filter.
        QMimeData *dropped = new QMimeData;
        dropped->setText("9x9");
        editor->clear();
        QDragEnterEvent enter(QPoint(2, 2), Qt::CopyAction, dropped, Qt::LeftButton, {});
        QApplication::sendEvent(editor, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(2, 2), Qt::CopyAction, dropped, Qt::LeftButton, {});
        QApplication::sendEvent(editor, &drop);
        delete dropped;
        QCOMPARE(f->dbgParamInscr->editorText(), QString("99"));
    }

    // Moving into a cell or clicking one starts no edit; only typing does.
    void movingAndClickingStartNoEdit()
    {
        openGrid("GON", "01 - A");
        TDBGrid *g = f->dbgParamInscr;
        selectColumn("CDENCARGOST");
        const int charge = Consiste::IndiceCol(g, "CDENCARGOST");
        const int branch = Consiste::IndiceCol(g, "CDFILIALPAG");
        QTest::keyClick(g, Qt::Key_Down);
        QTest::keyClick(g, Qt::Key_Up);
        QTest::mouseClick(g->viewport(), Qt::LeftButton, {}, g->cellRect(1, charge).center());
        QTest::mouseClick(g->viewport(), Qt::LeftButton, {}, g->cellRect(1, charge).center()); // the selected cell again
        QCOMPARE(f->cdsParamInscr.State(), DataSetState::dsBrowse);
        QVERIFY(!g->editorOpen());
        QVERIFY(f->sbtIncluir->isEnabled() && !f->sbtConfirmar->isEnabled());

        // A click that changes row and column at once: the highlighted cell is
        // the one the handlers act on.
        g->scrollTo(g->model()->index(0, branch));
        QTest::mouseClick(g->viewport(), Qt::LeftButton, {}, g->cellRect(0, branch).center());
        QCOMPARE(g->currentIndex().column(), branch);
        QCOMPARE(g->currentIndex().row(), 0);
        QCOMPARE(g->SelectedField()->FieldName, QString("CDFILIALPAG"));
        QCOMPARE(f->cdsParamInscr.RecNo(), 1);
        QCOMPARE(f->cdsParamInscr.State(), DataSetState::dsBrowse);

        key('7'); // typing starts the edit
        QCOMPARE(f->cdsParamInscr.State(), DataSetState::dsEdit);
        QVERIFY(g->editorOpen());
    }

    void registrationColumnIsLockedOutsideInsert()
    {
        openGrid("GON", "01 - A");
        selectColumn("CDINSCESTA");
        key('9');
        QCOMPARE(f->cdsParamInscr.State(), DataSetState::dsBrowse);
        QTest::keyClick(f->dbgParamInscr, Qt::Key_F2);
        QVERIFY(!f->dbgParamInscr->editorOpen());
        QTest::keyClick(f->dbgParamInscr, Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(f->cdsParamInscr.RecordCount(), 2); // cancelled silently: nothing asked, nothing deleted
        QVERIFY(Dialogs::history().isEmpty());
        QTest::keyClick(f->dbgParamInscr, Qt::Key_Down); // arrows pass
        QCOMPARE(f->cdsParamInscr.RecNo(), 2);
    }

    void stManualToggledAndDrawn()
    {
        openGrid("GON", "01 - A"); // rows: N, S
        const int col = Consiste::IndiceCol(f->dbgParamInscr, "IDCALCSTMANUAL");
        const QRect cell = f->dbgParamInscr->cellRect(0, col);
        QTest::mouseClick(f->dbgParamInscr->viewport(), Qt::LeftButton, {}, cell.center());
        QCOMPARE(f->cdsParamInscr.State(), DataSetState::dsEdit);
        QCOMPARE(value("IDCALCSTMANUAL"), QString("S"));
        QTest::mouseClick(f->dbgParamInscr->viewport(), Qt::LeftButton, {}, cell.center());
        QCOMPARE(value("IDCALCSTMANUAL"), QString("N"));

        // Row 1 holds "S": the check picture, its olive turned into the cell's colour.
        f->cdsParamInscr.Cancel();
        const QRect other = f->dbgParamInscr->cellRect(1, col);
        const QImage shot = f->dbgParamInscr->viewport()->grab().toImage();
        const int left = other.left() + (f->dbgParamInscr->columnWidth(col) - 14) / 2;
        QCOMPARE(QColor(shot.pixel(left + 6, other.top() + 8)), QColor(0, 0, 0));   // the tick
        QCOMPARE(QColor(shot.pixel(left + 0, other.top() + 0)), clInfoBk());        // olive replaced
        QCOMPARE(QColor(shot.pixel(left + 3, other.top() + 10)), QColor(255, 255, 255)); // inside the box
    }

    void doubleClickStartsEditingAndShowsTheButton()
    {
        openGrid("GON", "01 - A");
        selectColumn("CDENCARGOST");
        const QRect cell = f->dbgParamInscr->cellRect(0, Consiste::IndiceCol(f->dbgParamInscr, "CDENCARGOST"));
        QTest::mouseDClick(f->dbgParamInscr->viewport(), Qt::LeftButton, {}, cell.center());
        QCOMPARE(f->cdsParamInscr.State(), DataSetState::dsEdit);
        QVERIFY(f->dbgParamInscr->editButton()->isVisible());
    }

    void searchListsBehindTheButtons()
    {
        openGrid("GON", "01 - A");
        QString title;
        int rows = 0;
        fx->onModal = [&](DialogRequest &r) {
            auto *d = qobject_cast<TPesquisaDialog *>(r.dialog);
            title = r.title;
            rows = d->visibleRowCount();
            d->chooseRow(0);
            return d->result();
        };
        click(f->sbtIncluir);
        click(f->dbgParamInscr->editButton());
        QCOMPARE(title, QString("Inscrição Estadual do Substituto Tributário"));
        QCOMPARE(rows, 4); // every registration of the company
        QCOMPARE(value("CDINSCESTA"), QString("0240134751"));
        QCOMPARE(value("SGESTADO"), QString("RS")); // filled at once

        selectColumn("CDENCARGOST");
        click(f->dbgParamInscr->editButton());
        QCOMPARE(title, QString("Encargo"));
        QCOMPARE(value("CDENCARGOST"), QString("01"));

        selectColumn("CDFILIALPAG");
        click(f->dbgParamInscr->editButton());
        QCOMPARE(title, QString("Filial"));
        QCOMPARE(value("CDFILIALPAG"), QString("0001"));
    }

    void certificateSearch()
    {
        openGrid("GON", "01 - A");
        click(f->sbtAlterar);
        selectColumn("NRCERTIFICDIG");
        click(f->dbgParamInscr->editButton());
        QCOMPARE(Dialogs::history().last().text, QString("Não há certificado instalado."));

        QProcess::execute("openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", fx->server->certDir() + "/../k.pem",
                                      "-out", fx->server->certDir() + "/c.pem", "-days", "10", "-subj", "/CN=EMPRESA TESTE", "-set_serial", "0xABC"});
        fx->onModal = [](DialogRequest &r) {
            qobject_cast<TPesquisaDialog *>(r.dialog)->chooseRow(0);
            return r.dialog->result();
        };
        click(f->dbgParamInscr->editButton());
        QCOMPARE(value("NRCERTIFICDIG"), QString("0ABC"));
        QVERIFY(f->cdsParamInscr.FieldByName("NRCERTIFICDIG")->ReadOnly);

        QDir(fx->server->certDir()).removeRecursively(); // the service's own failure text is shown
        click(f->dbgParamInscr->editButton());
        QVERIFY2(Dialogs::history().last().text.contains("não existe"), qPrintable(Dialogs::history().last().text));
        QVERIFY(!Showavi::isActive());
    }

    void leavingColumnsChecksThem()
    {
        openGrid("GON", "01 - A");
        selectColumn("CDENCARGOST");
        key('9');
        key('9');
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(ScreenFixture::errors(), QStringList{"Encargo não cadastrado."});
        QCOMPARE(f->dbgParamInscr->SelectedField()->FieldName, QString("CDENCARGOST"));
        QCOMPARE(value("CDENCARGOST"), QString("99"));
    }

    void registrationChecks()
    {
        openGrid("GON", "01 - A");
        click(f->sbtIncluir);
        click(f->sbtConfirmar);
        QCOMPARE(ScreenFixture::errors().last(), QString("Inscrição estadual deve ser informada."));
        key('1'); // not one of the company's
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(ScreenFixture::errors().last(), QString("Inscrição estadual não cadastrada."));
        QCOMPARE(f->dbgParamInscr->SelectedField()->FieldName, QString("CDINSCESTA"));
        f->cdsParamInscrCDINSCESTA->setAsString("110042490114"); // already parameterised for GON
        click(f->sbtConfirmar);
        QCOMPARE(ScreenFixture::errors().last(), QString("Inscrição estadual já cadastrada."));
        QCOMPARE(value("SGESTADO"), QString());
        QCOMPARE(f->netParamGNRE.lastParams("GetVdInscricao"), (QJsonArray{"01", "110042490114", "GON"}));
        f->cdsParamInscrCDINSCESTA->setAsString("0623079040081");
        click(f->sbtConfirmar);
        QCOMPARE(ScreenFixture::errors().last(), QString("Certificado digital deve ser informado."));
        TField *cert = f->cdsParamInscr.FieldByName("NRCERTIFICDIG");
        cert->ReadOnly = false;
        cert->setAsString("4E2A91C3");
        cert->ReadOnly = true;
        click(f->sbtConfirmar);
        QCOMPARE(ScreenFixture::errors().last(), QString("Ambiente deve ser informado."));
        QCOMPARE(value("SGESTADO"), QString("MG"));
        f->cdsParamInscr.FieldByName("IDTPAMBIENTE")->setAsString("P");
        click(f->sbtConfirmar);
        QCOMPARE(ScreenFixture::errors().last(), QString("Filial para pagamento deve ser informada.")); // 01 generates payables
        QCOMPARE(f->cdsParamInscr.State(), DataSetState::dsInsert);
    }

    void payingBranchOptionalWithoutPayables()
    {
        openGrid("DRJ", "02 - B"); // company 02 generates no payables; DRJ asks no certificate or environment
        click(f->sbtIncluir);
        f->cdsParamInscrCDINSCESTA->setAsString("114814878119");
        click(f->sbtConfirmar);
        QCOMPARE(ScreenFixture::errors(), QStringList());
        QCOMPARE(f->cdsParamInscr.RecordCount(), 2);
    }

    void focusingTheGridReloads()
    {
        openGrid("GON", "01 - A");
        const int loads = f->netParamGNRE.callCount("GetParamInscr");
        QCOMPARE(loads, 2); // the page change loads, and so does the grid's focus
        f->pgcPadrao->tabBar()->setFocus();
        f->dbgParamInscr->setFocus();
        QCOMPARE(f->netParamGNRE.callCount("GetParamInscr"), loads + 1);
    }
};

FIS_HOST_TEST_MAIN(TestRegistrationGrid)
#include "tst_registrationgrid.moc"
