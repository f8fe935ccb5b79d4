// The visible screen: what the keyboard reaches, entry limits, pictures and messages.
#include "CheckImages.h"
#include "ScreenFixture.h"

#include <QFile>

using namespace rt;

namespace {

QString controlName(QWidget *w)
{
    TWinControl *c = TForm::controlOf(w);
    return c ? c->widget()->objectName() : (w ? w->objectName() : QString("<none>"));
}

} // namespace

class TestScreenLayout : public QObject
{
    Q_OBJECT

    std::unique_ptr<ScreenFixture> fx;

private slots:
    void init()
    {
        fx = std::make_unique<ScreenFixture>();
        QVERIFY2(fx->start(), qPrintable(fx->server->error()));
    }
    void cleanup() { fx.reset(); }

    void tabOrder_data()
    {
        QTest::addColumn<QString>("guide");
        QTest::addColumn<QStringList>("order");
        const QStringList head{"dckGeraLog", "dckGeraContaPag", "dbeCdTpOper"};
        const QStringList tail{"dbeQtdeDias", "rdgCalendario", "dbeCdFilial"};
        QTest::newRow("GON") << "GON" << head + QStringList{"dbeLivroMag", "dbeProduto"} + tail;
        QTest::newRow("DRJ") << "DRJ" << head + QStringList{"dbeEmail", "dbcProdDebito", "dbcQualiNat", "dbeAliqFECP"} + tail;
    }
    void tabOrder()
    {
        QFETCH(QString, guide);
        QFETCH(QStringList, order);
        TfrmParamGNRE *f = fx->open(guide, "03 - C"); // no record: nothing is checked on exit
        f->dckGeraLog->setFocus();
        // Round the ring and back to the start, inside the host's sub-window.
        QStringList seen{controlName(QApplication::focusWidget())};
        for (int i = 0; i < order.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            seen << controlName(QApplication::focusWidget());
        }
        QCOMPARE(seen, order + QStringList{order.first()});
        QStringList back{controlName(QApplication::focusWidget())};
        for (int i = 0; i < order.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
            back << controlName(QApplication::focusWidget());
        }
        QStringList reversed(order.rbegin(), order.rend());
        QCOMPARE(back, QStringList{order.first()} + reversed);
    }

    // A walk round the page with the keyboard, in the host window: every exit
    // on the way runs its check (codes adjusted and named), both ways.
    void keyboardWalkRunsEveryExit()
    {
        TfrmParamGNRE *f = fx->open("GON", "01 - A");
        click(f->sbtAlterar);
        for (int round = 0; round < 2; ++round) {
            const auto key = round == 0 ? Qt::Key_Tab : Qt::Key_Backtab;
            f->dbeLivroMag->setText("7");
            f->dbeCdFilial->setText("1");
            f->dckGeraLog->setFocus();
            for (int i = 0; i < 8; ++i)
                QTest::keyClick(QApplication::focusWidget(), key);
            QCOMPARE(controlName(QApplication::focusWidget()), QString("dckGeraLog"));
            QCOMPARE(f->dbeLivroMag->text(), QString("0000000007"));
            QCOMPARE(f->dbeNmLivroMag->text(), QString("Livro de Registro de Saídas"));
            QCOMPARE(f->dbeCdFilial->text(), QString("0001"));
            QCOMPARE(f->dbeNmFilial->text(), QString("Matriz Campinas"));
        }
        QCOMPARE(ScreenFixture::errors(), QStringList());
    }

    void nameEntriesNeverTakeTheFocus()
    {
        TfrmParamGNRE *f = fx->open("GON", "01 - A");
        for (TDBEdit *e : {f->dbeNmFilial, f->dbeNmTpOperac, f->dbeNmLivroMag, f->dbeDsProduto}) {
            f->dbeQtdeDias->setFocus();
            QTest::mouseClick(e, Qt::LeftButton);
            QVERIFY2(QApplication::focusWidget() == f->dbeQtdeDias, qPrintable(e->objectName() + " took it to "
                                                                              + controlName(QApplication::focusWidget())));
            QVERIFY(!e->isEnabled());
        }
    }

    void entriesKeepTheirLength_data()
    {
        QTest::addColumn<QString>("guide");
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("kept");
        QTest::newRow("days") << "GON" << "dbeQtdeDias" << "123" << "12";
        QTest::newRow("product") << "GON" << "dbeProduto" << "1234" << "123";
        QTest::newRow("rate") << "DRJ" << "dbeAliqFECP" << "1000" << "100";
        QTest::newRow("book") << "GON" << "dbeLivroMag" << "123456789012" << "1234567890";
    }
    void entriesKeepTheirLength()
    {
        QFETCH(QString, guide);
        QFETCH(QString, entry);
        QFETCH(QString, typed);
        QFETCH(QString, kept);
        TfrmParamGNRE *f = fx->open(guide, "01 - A");
        auto *e = f->findChild<TDBEdit *>(entry);
        QVERIFY(e);
        e->setFocus();
        e->selectAll();
        QTest::keyClick(e, Qt::Key_Backspace);
        QTest::keyClicks(e, typed);
        QCOMPARE(e->text(), kept);
    }

    void checkPictures()
    {
        const QImage on = checkBoxPicture(true), off = checkBoxPicture(false);
        QCOMPARE(on.size(), QSize(16, 16));
        QCOMPARE(on.colorCount(), 16);
        const QColor olive(128, 128, 0), black(0, 0, 0), white(255, 255, 255), silver(192, 192, 192);
        QCOMPARE(QColor(on.pixel(0, 0)), olive);
        QCOMPARE(QColor(on.pixel(15, 15)), olive);
        QCOMPARE(QColor(on.pixel(2, 2)), black);   // box corner: top row and left column
        QCOMPARE(QColor(on.pixel(11, 2)), black);
        QCOMPARE(QColor(on.pixel(2, 11)), black);
        QCOMPARE(QColor(on.pixel(11, 11)), white);
        QCOMPARE(QColor(on.pixel(13, 1)), silver);
        QCOMPARE(QColor(on.pixel(1, 13)), silver);
        QCOMPARE(QColor(on.pixel(6, 8)), black);   // the check mark
        QCOMPARE(QColor(off.pixel(6, 8)), white);  // the same place without it
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x)
                if (QColor(on.pixel(x, y)) != QColor(off.pixel(x, y)))
                    QVERIFY2(x >= 3 && x <= 10 && y >= 3 && y <= 10, "the pictures differ outside the box");
        TfrmParamGNRE *f = fx->open("GON", "01 - A");
        QCOMPARE(f->imgCheck->Picture(), on);
        QVERIFY(f->imgCheck->isHidden());
    }

    void everyMessageKeyAnswers()
    {
        TfrmParamGNRE *f = fx->open("GON", "01 - A");
        QFile file(QStringLiteral(":/fis94100/msgPadrao.txt"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 28);
        QCOMPARE(f->msgPadrao.count(), 28);
        for (const QString &line : lines) {
            const QString key = line.section('|', 0, 0), text = line.section('|', 1);
            QCOMPARE(f->msgPadrao.Msg(key), text);
            QVERIFY(!text.isEmpty());
        }
        QCOMPARE(f->msgPadrao.Msg("Fili_Inv"), QString("Filial não cadastrada."));
        QCOMPARE(f->msgPadrao.Msg("InscricaoST") + "|" + f->msgPadrao.Msg("InscST_Empty"),
                 QString("Inscrição Estadual do Substituto Tributário|Não há inscrição estadual do substituto tributário cadastrada."));
        QVERIFY(!f->msgMensagensPadroes.Msg("Canc").isEmpty());
    }

    void initialStateAndNames()
    {
        TfrmParamGNRE *f = fx->open("GON", "01 - A");
        QCOMPARE(f->windowTitle(), QString("Parâmetros da GNRE"));
        QCOMPARE(f->lblCodTela->text(), QString("FIS94100"));
        QCOMPARE(f->mnuOperacao->actions().mid(0, 3), (QList<QAction *>{f->mnuParamGeral, f->mnuParamInscr, f->mnuLinha}));
        QVERIFY(f->mnuParamGeral->isChecked() && !f->mnuParamInscr->isChecked());
        QVERIFY(!f->mnuListagem->isEnabled() && !f->mnuConfigImpressora->isEnabled() && !f->sbtImprimir->isEnabled());
        QCOMPARE(f->btpFilial->toolTip(), QString("Pesquisar"));
        QCOMPARE(f->btpTpOperac->EmptyError, QString("Não há tipo de operação cadastrado"));
        QVERIFY(f->lblQtdeDias->font().bold() && !f->dbeQtdeDias->font().bold() && f->rdgCalendario->font().bold());
        QStringList titles;
        for (int i = 0; i < f->dbgParamInscr->columnCount(); ++i)
            titles << f->dbgParamInscr->Columns(i)->title();
        QCOMPARE(titles, QStringList({"Inscrição Estadual", "Estado", "ST Manual", "Encargo ST", "Certificado Digital",
                                      "Ambiente", "E-mail", "Período de Apuração", "Filial para Pagamento",
                                      "Guia FECP Separado do Imposto"}));
        // The columns are laid out once they are all there: the model has them all, with their widths.
        QCOMPARE(f->dbgParamInscr->model()->columnCount(), 10);
        QCOMPARE(f->dbgParamInscr->columnWidth(2), 60);
        QCOMPARE(f->dbgParamInscr->columnWidth(5), 94);
        for (const char *name : {"panFiltroGNRE", "pgcPadrao", "tshParamGeral", "tshParamInscr", "scbParamGeral",
                                 "scbParamInscr", "grbDtPagamento", "grbParamGNRE", "nbkParametros", "lblPercent",
                                 "dbcProdDebito", "dbcQualiNat", "btpLivroMag", "btpProduto", "dbgParamInscr"})
            QVERIFY2(f->findChild<QWidget *>(name), name);
    }
};

FIS_HOST_TEST_MAIN(TestScreenLayout)
#include "tst_screenlayout.moc"
