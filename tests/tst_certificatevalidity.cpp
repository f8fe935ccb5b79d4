// Certificate validity on the registration page: marks in the grid's
// certificate cells and in the certificate search list, the count in the host's
// status bar, and when the service is asked for it.
#include "ScreenFixture.h"
#include "TestCertificates.h"

#include <QHelpEvent>
#include <QStatusBar>
#include <QTableWidget>
#include <QToolTip>

using namespace rt;

namespace {

// "Today" for every judgement of this suite.
const QDate kHoje(2026, 12, 8);

} // namespace

class TestCertificateValidity : public QObject
{
    Q_OBJECT

    std::unique_ptr<ScreenFixture> fx;
    TfrmParamGNRE *f = nullptr;

    bool install(const QString &file, const QString &name, const QString &serial, const QDate &lastDay)
    {
        const QString error = installCertificate(fx->server->certDir() + "/" + file, name, serial, lastDay);
        if (!error.isEmpty())
            qWarning("%s", qPrintable(error));
        return error.isEmpty();
    }

    bool setCertificates(const QString &company, const QString &guide, const QList<QStringList> &rows)
    {
        return setRegistrationCertificates(*fx->server, company, guide, rows);
    }

    TfrmParamGNRE *openRegistrations(const QString &guide, const QString &company)
    {
        f = fx->open(guide, company);
        if (f)
            f->pgcPadrao->setCurrentIndex(1); // as a click on the tab
        return f;
    }

    TDBGrid *grid() const { return f->dbgParamInscr; }
    int column(const char *field) const { return Consiste::IndiceCol(f->dbgParamInscr, field); }
    int rowOf(const QString &registration) const
    {
        for (int r = 0; r < f->cdsParamInscr.RecordCount(); ++r)
            if (f->cdsParamInscr.displayTextAt(r, f->cdsParamInscrCDINSCESTA->index()) == registration)
                return r;
        return -1;
    }
    QVariant cell(int row, const char *field, int role) const
    {
        return grid()->model()->data(grid()->model()->index(row, column(field)), role);
    }
    QString hint(const QString &registration, const char *field = "NRCERTIFICDIG") const
    {
        return cell(rowOf(registration), field, Qt::ToolTipRole).toString();
    }
    // The colour drawn at the right end of a cell (past its short text).
    QColor drawn(const QImage &shot, int row, const char *field) const
    {
        const QRect r = grid()->cellRect(row, column(field)).intersected(grid()->viewport()->rect());
        return QColor(shot.pixel(r.right() - 4, r.center().y()));
    }
    QString statusText() const { return fx->host->statusBar()->currentMessage(); }
    int certificateCalls() const { return f->netParamGNRE.callCount("GetCertificado"); }
    int certificateRequestsLogged() { return int(fx->server->standardError().count("request GetCertificado ")); }

    void searchCertificate(const std::function<int(TPesquisaDialog *)> &answer)
    {
        fx->onModal = [answer](DialogRequest &r) { return answer(qobject_cast<TPesquisaDialog *>(r.dialog)); };
        if (!f->cdsParamInscr.editing())
            click(f->sbtAlterar); // GON: selects the certificate column
        QCOMPARE(grid()->SelectedField()->FieldName, QString("NRCERTIFICDIG"));
        click(grid()->editButton());
        fx->onModal = nullptr;
    }

private slots:
    void initTestCase() { FIS_REQUIRE_ENGINE(); }

    void init()
    {
        TValidadeCertificados::setDataReferencia(kHoje);
        fx = std::make_unique<ScreenFixture>();
        QVERIFY2(fx->start(), qPrintable(fx->server->error()));
        Dialogs::clearHistory();
    }
    void cleanup()
    {
        f = nullptr;
        fx.reset();
        TValidadeCertificados::setDataReferencia(QDate());
    }

    // Each certificate cell says what is wrong with its certificate, in a colour
    // of its own; the status bar counts the registrations concerned.
    void gridMarksEachSituation()
    {
        QVERIFY(install("vencido.pem", "EMPRESA VENCIDA", "0A01", QDate(2026, 12, 1)));
        QVERIFY(install("vencendo.pem", "EMPRESA VENCENDO", "0A02", QDate(2027, 1, 5)));
        QVERIFY(install("valido.pem", "EMPRESA EM DIA", "0A03", QDate(2028, 12, 31)));
        QVERIFY(setCertificates("01", "GON", {{"110042490114", "SP", "0A01"}, {"77528063", "RJ", "0a02"},
                                              {"0623079040081", "MG", "0A03"}, {"0240134751", "RS", "4E2A91C3"}}));
        QVERIFY(openRegistrations("GON", "01 - A"));
        QCOMPARE(f->cdsParamInscr.RecordCount(), 4);

        QCOMPARE(hint("110042490114"), QString("Validade: 01/12/2026 — vencido"));
        QCOMPARE(hint("77528063"), QString("Validade: 05/01/2027 — vence em 28 dias")); // serial in another case
        QCOMPARE(hint("0623079040081"), QString());
        QCOMPARE(hint("0240134751"), QString("Certificado não instalado no servidor"));
        QCOMPARE(hint("110042490114", "CDINSCESTA"), QString()); // the certificate cell only
        QCOMPARE(hint("110042490114", "SGESTADO"), QString());
        QCOMPARE(cell(rowOf("110042490114"), "NRCERTIFICDIG", Qt::DisplayRole).toString(), QString("0A01")); // text unchanged

        QCOMPARE(statusText(), QString("Certificados: 1 vencido, 1 vence em até 30 dias, 1 não instalado"));

        // The colours as drawn: the three marks differ from each other and from an
        // unmarked cell; a valid certificate looks like any other cell.
        grid()->scrollTo(grid()->model()->index(0, column("NRCERTIFICDIG")));
        QApplication::processEvents();
        const QImage shot = grid()->viewport()->grab().toImage();
        const QColor expired = drawn(shot, rowOf("110042490114"), "NRCERTIFICDIG");
        const QColor expiring = drawn(shot, rowOf("77528063"), "NRCERTIFICDIG");
        const QColor missing = drawn(shot, rowOf("0240134751"), "NRCERTIFICDIG");
        const QColor valid = drawn(shot, rowOf("0623079040081"), "NRCERTIFICDIG");
        const QColor plain = drawn(shot, rowOf("110042490114"), "SGESTADO");
        QCOMPARE(valid, plain);
        for (const QColor &c : {expired, expiring, missing})
            QVERIFY2(c != plain, qPrintable(c.name()));
        QVERIFY(expired != expiring && expired != missing && expiring != missing);
        QVERIFY(cell(rowOf("110042490114"), "NRCERTIFICDIG", Qt::ForegroundRole).value<QBrush>().color()
                != cell(rowOf("0623079040081"), "NRCERTIFICDIG", Qt::ForegroundRole).value<QBrush>().color());

        // What a user resting the pointer on the cell reads.
        const QPoint at = grid()->cellRect(rowOf("77528063"), column("NRCERTIFICDIG")).center();
        QHelpEvent help(QEvent::ToolTip, at, grid()->viewport()->mapToGlobal(at));
        QApplication::sendEvent(grid()->viewport(), &help);
        QTRY_COMPARE(QToolTip::text(), QString("Validade: 05/01/2027 — vence em 28 dias"));
        QToolTip::hideText();
        QVERIFY(Dialogs::history().isEmpty());
    }

    // The judgement's edges: the last day still counts as valid, 30 days ahead
    // is a warning, 31 is not.
    void expiryEdges_data()
    {
        QTest::addColumn<QDate>("today");
        QTest::addColumn<QString>("hint");
        QTest::newRow("31 days ahead") << QDate(2026, 12, 5) << QString();
        QTest::newRow("30 days ahead") << QDate(2026, 12, 6) << QString("Validade: 05/01/2027 — vence em 30 dias");
        QTest::newRow("tomorrow") << QDate(2027, 1, 4) << QString("Validade: 05/01/2027 — vence em 1 dia");
        QTest::newRow("last day") << QDate(2027, 1, 5) << QString("Validade: 05/01/2027 — vence hoje");
        QTest::newRow("day after") << QDate(2027, 1, 6) << QString("Validade: 05/01/2027 — vencido");
    }
    void expiryEdges()
    {
        QFETCH(QDate, today);
        QFETCH(QString, hint);
        TValidadeCertificados::setDataReferencia(today);
        QVERIFY(install("c.pem", "EMPRESA", "4E2A91C3", QDate(2027, 1, 5)));
        QVERIFY(openRegistrations("GON", "01 - A")); // both registrations hold 4E2A91C3
        QCOMPARE(this->hint("110042490114"), hint);
        QCOMPARE(this->hint("77528063"), hint);
        const QString count = hint.isEmpty()         ? QString()
                              : hint.endsWith("vencido") ? QString("Certificados: 2 vencidos")
                                                         : QString("Certificados: 2 vencem em até 30 dias");
        QCOMPARE(statusText(), count);
    }

    // Registrations without a certificate are neither marked nor counted; with
    // nothing to say the status bar is cleared, and closing the screen takes
    // its message away.
    void statusBarCount()
    {
        QVERIFY(install("vencido.pem", "EMPRESA VENCIDA", "0A01", QDate(2026, 12, 1)));
        QVERIFY(setCertificates("02", "DRJ", {{"114814878119", "SP", "0A01"}})); // 86103471 has none
        QVERIFY(openRegistrations("DRJ", "02 - B"));
        QCOMPARE(f->cdsParamInscr.RecordCount(), 2);
        QCOMPARE(hint("86103471"), QString());
        QCOMPARE(statusText(), QString("Certificados: 1 vencido"));
        // The general page and back: the count is shown again, from what was read.
        f->pgcPadrao->setCurrentIndex(0);
        fx->host->statusBar()->showMessage("outra mensagem");
        f->pgcPadrao->setCurrentIndex(1);
        QCOMPARE(statusText(), QString("Certificados: 1 vencido"));
        fx->close();
        QCOMPARE(statusText(), QString());

        // Company 01: both registrations hold the same certificate, not installed.
        QVERIFY(openRegistrations("GON", "01 - A"));
        QCOMPARE(statusText(), QString("Certificados: 2 não instalados"));
        fx->close();

        QVERIFY(install("em-dia.pem", "EMPRESA", "4E2A91C3", QDate(2028, 1, 1)));
        fx->host->statusBar()->showMessage("Servidor de aplicação: 127.0.0.1");
        QVERIFY(openRegistrations("GON", "01 - A"));
        QCOMPARE(hint("110042490114"), QString());
        QCOMPARE(statusText(), QString()); // nothing to say: cleared
        QVERIFY(Dialogs::history().isEmpty());
    }

    // The search list marks its rows; rows, their order and the value chosen
    // stay as the service lists them.
    void searchListMarksRows()
    {
        QVERIFY(install("a.pem", "EMPRESA EM DIA", "0A03", QDate(2028, 12, 31)));
        QVERIFY(install("b.pem", "EMPRESA VENCIDA", "0A01", QDate(2026, 12, 1)));
        QVERIFY(install("c.pem", "EMPRESA VENCENDO", "0A02", QDate(2027, 1, 5)));
        const jsonrpc::Reply listed = fx->server->call("GetCertificado", {});
        const DataPacket service = DataPacket::fromJson(listed.result.toArray().at(1));
        QCOMPARE(service.rows.size(), 3);

        QVERIFY(openRegistrations("GON", "01 - A"));
        QStringList serials, hints, chosenRow;
        QList<QColor> backgrounds, foregrounds;
        bool sameAcrossRow = true;
        searchCertificate([&](TPesquisaDialog *d) {
            auto *table = d->findChild<QTableWidget *>("grdPesquisa");
            for (int r = 0; r < d->visibleRowCount(); ++r) {
                serials << d->cellText(r, 1);
                hints << table->item(r, 0)->toolTip();
                backgrounds << table->item(r, 0)->background().color();
                foregrounds << table->item(r, 0)->foreground().color();
                for (int c = 1; c < table->columnCount(); ++c)
                    sameAcrossRow = sameAcrossRow && table->item(r, c)->toolTip() == table->item(r, 0)->toolTip()
                                    && table->item(r, c)->background() == table->item(r, 0)->background();
            }
            chosenRow = {d->cellText(2, 0), d->cellText(2, 2)};
            d->chooseRow(2);
            return d->result();
        });
        QCOMPARE(chosenRow, (QStringList{"EMPRESA VENCENDO", "05/01/2027"}));
        QStringList order;
        for (const Row &row : service.rows)
            order << row.at(service.indexOf("NRSERIE")).toString();
        QCOMPARE(serials, order);
        QCOMPARE(serials, (QStringList{"0A03", "0A01", "0A02"}));
        QCOMPARE(hints, (QStringList{QString(), "Validade: 01/12/2026 — vencido", "Validade: 05/01/2027 — vence em 28 dias"}));
        QVERIFY(sameAcrossRow);
        QVERIFY(backgrounds.at(1) != backgrounds.at(2));
        QVERIFY(foregrounds.at(1) != foregrounds.at(0) && foregrounds.at(2) != foregrounds.at(0));

        // The row chosen gives its serial, and the cell is marked at once.
        QCOMPARE(f->cdsParamInscr.FieldByName("NRCERTIFICDIG")->AsString(), QString("0A02"));
        QCOMPARE(f->cdsParamInscr.State(), DataSetState::dsEdit);
        QCOMPARE(hint(f->cdsParamInscr.FieldByName("CDINSCESTA")->AsString()), QString("Validade: 05/01/2027 — vence em 28 dias"));
        QCOMPARE(Dialogs::history().size(), 1); // the list itself
        QCOMPARE(Dialogs::history().at(0).kind, DialogKind::Modal);
    }

    // One GetCertificado per opening, when the registration page is first shown;
    // the certificate search's own answer brings the marks up to date.
    void validityReadOncePerOpeningAndAfterTheSearch()
    {
        f = fx->open("GON", "01 - A");
        QCOMPARE(certificateCalls(), 0); // the general page needs none
        f->pgcPadrao->setCurrentIndex(1);
        QCOMPARE(certificateCalls(), 1);
        QCOMPARE(hint("110042490114"), QString("Certificado não instalado no servidor"));
        f->pgcPadrao->setCurrentIndex(0);
        f->pgcPadrao->setCurrentIndex(1);
        f->pgcPadrao->tabBar()->setFocus();
        grid()->setFocus(); // reloads the registrations
        click(f->sbtVerificar);
        QCOMPARE(certificateCalls(), 1);

        // Installed during the session: not seen until the user searches.
        QVERIFY(install("novo.pem", "EMPRESA", "4E2A91C3", QDate(2027, 1, 5)));
        grid()->setFocus();
        QCOMPARE(hint("110042490114"), QString("Certificado não instalado no servidor"));
        searchCertificate([](TPesquisaDialog *d) {
            d->reject(); // looked, chose nothing
            return d->result();
        });
        QCOMPARE(certificateCalls(), 2);
        QCOMPARE(f->cdsParamInscr.FieldByName("NRCERTIFICDIG")->AsString(), QString("4E2A91C3"));
        QCOMPARE(hint("110042490114"), QString("Validade: 05/01/2027 — vence em 28 dias"));
        QCOMPARE(hint("77528063"), QString("Validade: 05/01/2027 — vence em 28 dias"));
        QCOMPARE(statusText(), QString("Certificados: 2 vencem em até 30 dias"));
        click(f->sbtCancelar);
        QCOMPARE(certificateCalls(), 2);
        QTRY_COMPARE(certificateRequestsLogged(), 2); // what the service itself answered

        // A new opening reads once again.
        fx->close();
        QVERIFY(openRegistrations("GON", "01 - A"));
        QCOMPARE(certificateCalls(), 1);
        QTRY_COMPARE(certificateRequestsLogged(), 3);
        QCOMPARE(ScreenFixture::errors(), QStringList());
    }

    // When the service cannot list its certificates, the page shows no marks
    // and no message, and works as before.
    void failureShowsNothing()
    {
        QVERIFY(QDir(fx->server->certDir()).removeRecursively()); // the service answers "não existe"
        fx->host->statusBar()->showMessage("Servidor de aplicação: 127.0.0.1");
        QVERIFY(openRegistrations("GON", "01 - A"));
        QCOMPARE(f->netParamGNRE.callCount("GetCertificado"), 1);
        QCOMPARE(f->cdsParamInscr.RecordCount(), 2);
        QCOMPARE(hint("110042490114"), QString());
        QVERIFY(!cell(rowOf("110042490114"), "NRCERTIFICDIG", Qt::BackgroundRole).isValid());
        QCOMPARE(statusText(), QString());
        QVERIFY(Dialogs::history().isEmpty());
        QVERIFY(!Showavi::isActive());
        QVERIFY(f->sbtAlterar->isEnabled());
    }
};

FIS_HOST_TEST_MAIN(TestCertificateValidity)
#include "tst_certificatevalidity.moc"
