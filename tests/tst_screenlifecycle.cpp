// Opening, reopening and closing the screen through the module's entry.
#include "ScreenFixture.h"

using namespace rt;

class TestScreenLifecycle : public QObject
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

    void nullParamsOnTheFirstCall()
    {
        stCdEmpresa.clear();
        stTpGuia.clear();
        fx->iniProc(QVariant());
        QVERIFY(frmParamGNRE);
        QVERIFY(boIdCriado);
        QCOMPARE(stCdEmpresa, QString());
        QCOMPARE(frmParamGNRE->netParamGNRE.lastParams("GetParamGeral"), QJsonArray{""});
        QVERIFY(frmParamGNRE->cdsParamGeral.IsEmpty());
    }

    void companyTextAndNullAfterACall()
    {
        fx->open("GON", "01 - Comércio de Alimentos Paulista Ltda.");
        QCOMPARE(stCdEmpresa, QString("01"));
        QCOMPARE(stTpGuia, QString("GON"));
        QCOMPARE(frmParamGNRE->edtEmpresa->text(), QString("01 - Comércio de Alimentos Paulista Ltda."));
        QVERIFY(!frmParamGNRE->edtEmpresa->isEnabled());
        fx->iniProc(QVariant());
        QCOMPARE(stCdEmpresa, QString("01"));
        QCOMPARE(stTpGuia, QString("GON"));
        fx->iniProc(QVariantList{"", "7"}); // one character; an empty guide type keeps the last
        QCOMPARE(stCdEmpresa, QString("7"));
        QCOMPARE(stTpGuia, QString("GON"));
        QCOMPARE(frmParamGNRE->edtEmpresa->text(), QString("7"));
    }

    void secondCallOnlyBringsTheScreenForward()
    {
        TfrmParamGNRE *first = fx->open("GON", "01 - A");
        TfrmParamGNRE *second = fx->open("DRJ", "02 - B");
        QCOMPARE(second, first);
        QCOMPARE(first->netParamGNRE.connectCount(), 1);
        QCOMPARE(first->netParamGNRE.callCount("GetParamGeral"), 1);
        QCOMPARE(first->cdsParamGeral.FieldByName("CDEMPRESA")->AsString(), QString("01")); // not reloaded
        QCOMPARE(stCdEmpresa, QString("02"));
        QCOMPARE(first->edtEmpresa->text(), QString("02 - B"));
    }

    void openCloseOpen()
    {
        fx->open("GON", "01 - A");
        QPointer<QMdiSubWindow> sub = fx->subWindow();
        QVERIFY(sub);
        QCOMPARE(fx->host->findChild<QMdiArea *>("mdiArea")->subWindowList(), QList<QMdiSubWindow *>{sub});
        sub->close(); // the sub-window's close button
        QVERIFY(!boIdCriado);
        QVERIFY(!frmParamGNRE);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!sub); // the host freed the window and the screen
        fx->iniProc(QVariant());
        QVERIFY(frmParamGNRE);
        QCOMPARE(frmParamGNRE->netParamGNRE.callCount("GetParamGeral"), 1);
        QCOMPARE(stCdEmpresa, QString("01"));
        QCOMPARE(stTpGuia, QString("GON"));
        QVERIFY(frmParamGNRE->netParamGNRE.Connected());
    }

    void storedRecordShownWithoutEditing()
    {
        TfrmParamGNRE *f = fx->open("GON", "01 - A");
        QCOMPARE(f->rdgCalendario->ItemIndex(), 1); // "C": Compras
        QCOMPARE(f->cdsParamGeral.State(), DataSetState::dsBrowse);
        QVERIFY(f->dckGeraLog->Checked());
        QCOMPARE(f->dbeNmFilial->text(), QString("Filial São Paulo"));
        QVERIFY(f->sbtAlterar->isEnabled());
        QVERIFY(!f->sbtConfirmar->isEnabled());
        QCOMPARE(f->pgcPadrao->ActivePage(), f->tshParamGeral);
    }

    void emptyGeneralRecord()
    {
        TfrmParamGNRE *f = fx->open("GON", "03 - C");
        QVERIFY(f->cdsParamGeral.IsEmpty());
        QCOMPARE(f->dckGeraLog->checkState(), Qt::Unchecked);
        QCOMPARE(f->dckGeraContaPag->checkState(), Qt::Unchecked);
        QVERIFY(f->sbtAlterar->isEnabled());
        QVERIFY(f->sbtVerificar->isEnabled());
        QVERIFY(!f->sbtIncluir->isEnabled());
        QCOMPARE(f->rdgCalendario->ItemIndex(), -1);
    }

    void failingFirstLoadLeavesTheScreenOpen()
    {
        fx->server->stop();
        TfrmParamGNRE *f = fx->open("GON", "01 - A");
        QVERIFY(f);
        QVERIFY(boIdCriado);
        QVERIFY(f->isVisible());
        QCOMPARE(ScreenFixture::errors().size(), 1);
        QVERIFY2(ScreenFixture::errors().first().contains("Falha de comunicação"), qPrintable(ScreenFixture::errors().first()));
        QVERIFY(!Showavi::isActive());
        for (TButtonFlat *b : {f->sbtIncluir, f->sbtAlterar, f->sbtExcluir, f->sbtProcurar, f->sbtVerificar,
                               f->sbtConfirmar, f->sbtCancelar, f->sbtImprimir})
            QVERIFY2(!b->isEnabled(), qPrintable(b->objectName()));
        QVERIFY(f->rdgCalendario->OnClick); // attached again
        QVERIFY(QApplication::overrideCursor() == nullptr);
    }

    void failingFirstLoadStillAdaptsToTheGuideType()
    {
        fx->server->stop();
        TfrmParamGNRE *f = fx->open("DRJ", "02 - B");
        QVERIFY(f);
        QCOMPARE(ScreenFixture::errors().size(), 1);
        QCOMPARE(f->nbkParametros->PageIndex(), 1);
        auto hidden = [f](const char *field) {
            return f->dbgParamInscr->isColumnHidden(Consiste::IndiceCol(f->dbgParamInscr, field));
        };
        QVERIFY(hidden("NRCERTIFICDIG"));
        QVERIFY(hidden("IDTPAMBIENTE"));
        QVERIFY(!hidden("DSEMAILRETORNO"));
        QVERIFY(!hidden("IDPERIODOREFAPU"));
    }

    // A close that arrives while a server call waits (the window manager's, or
    // a deferred delete already queued) is put off until the call is over: the
    // code that made the call finishes on a live screen, then the screen closes.
    void closingWhileACallWaits_data()
    {
        QTest::addColumn<bool>("topLevel");
        QTest::newRow("host sub-window") << false;
        // The same screen as a top-level window: the host can also show screens
        // outside its window area, and the close then goes to the form itself.
        QTest::newRow("top-level window") << true;
    }
    void closingWhileACallWaits()
    {
        QFETCH(bool, topLevel);
        SlowProxy proxy(fx->server->port(), 300);
        ScreenFixture::pointAt(proxy.port());
        if (topLevel)
            Application::setMdiArea(nullptr);
        TfrmParamGNRE *f = fx->open("GON", "01 - A");
        QVERIFY(f);
        QPointer<QWidget> window = topLevel ? static_cast<QWidget *>(f) : fx->subWindow();
        QVERIFY(window);
        QPointer<TfrmParamGNRE> screen = f;
        bool closedInsideTheCall = false;
        f->netParamGNRE.BeforeCall = [&](const QString &) {
            QCoreApplication::postEvent(window, new QCloseEvent);
            QTimer::singleShot(0, [&] { closedInsideTheCall = !screen || !boIdCriado; });
        };
        f->pgcPadrao->setCurrentIndex(1); // reloads the registrations: one call
        QVERIFY(screen);
        QVERIFY(boIdCriado);
        QCOMPARE(f->cdsParamInscr.RecordCount(), 2); // the call's answer was used on the live screen
        QTRY_VERIFY(!screen);
        QVERIFY(!closedInsideTheCall);
        QVERIFY(!boIdCriado);
        QVERIFY(!frmParamGNRE);
        QCOMPARE(ScreenFixture::errors().join("; "), QString());
    }

    // The screen's window is first painted with its record: neither the form
    // nor its sub-window is painted empty while the first load waits, unless
    // the load outlasts the busy indicator's delay.
    void firstPaintShowsTheRecord_data()
    {
        QTest::addColumn<int>("answerMs");
        QTest::addColumn<int>("delayMs");
        QTest::addColumn<bool>("paintedEmpty");
        QTest::newRow("answer before the busy indicator's delay") << 100 << 2000 << false;
        QTest::newRow("answer after the busy indicator's delay") << 1200 << 250 << true;
    }
    void firstPaintShowsTheRecord()
    {
        QFETCH(int, answerMs);
        QFETCH(int, delayMs);
        QFETCH(bool, paintedEmpty);
        Showavi::setDelay(delayMs);
        SlowProxy proxy(fx->server->port(), answerMs);
        ScreenFixture::pointAt(proxy.port());
        struct Paints : QObject
        {
            int withRecord = 0, empty = 0;
            bool eventFilter(QObject *o, QEvent *e) override
            {
                auto *w = qobject_cast<QWidget *>(o);
                QWidget *form = frmParamGNRE;
                if (e->type() == QEvent::Paint && w && form
                    && (w == form || w == form->parentWidget() || form->isAncestorOf(w)))
                    ++(frmParamGNRE->cdsParamGeral.RecordCount() == 1 ? withRecord : empty);
                return false;
            }
        } paints;
        qApp->installEventFilter(&paints);
        TfrmParamGNRE *f = fx->open("GON", "01 - A");
        QVERIFY(f);
        QTRY_VERIFY(paints.withRecord > 0);
        qApp->removeEventFilter(&paints);
        Showavi::setDelay(0);
        QCOMPARE(paints.empty > 0, paintedEmpty);
        QCOMPARE(f->dbeQtdeDias->text().trimmed(), QString("5"));
    }

    void moduleFinalizationReleasesTheStrings()
    {
        fx->open("GON", "01 - A");
        fx->close();
        QCOMPARE(stCdEmpresa, QString("01"));
        fx->host.reset(); // the host ends: the module is finalized and unloaded
        QCOMPARE(stCdEmpresa, QString());
        QCOMPARE(stTpGuia, QString());

        Initialize();
        Initialize(); // loaded twice: the unit starts and ends once
        stCdEmpresa = QStringLiteral("02");
        Finalize();
        QCOMPARE(stCdEmpresa, QString("02"));
        Finalize();
        QCOMPARE(stCdEmpresa, QString());
    }
};

FIS_HOST_TEST_MAIN(TestScreenLifecycle)
#include "tst_screenlifecycle.moc"
