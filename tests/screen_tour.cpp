// Pictures of the screen in the host window, in the states a user meets:
// both pages, a refused exit, an open search list, the certificate marks,
// the busy indicator and the history of changes.
// Run under Xvfb by scripts/screenshots.sh (not a test: it only takes pictures).
#include "ScreenFixture.h"
#include "TestCertificates.h"

#include <QHelpEvent>
#include <QScreen>
#include <QTableWidget>

namespace {

QString g_dir;
// Puts the next dialog in shape for its picture (position, selection, a hint shown).
std::function<void(QWidget *)> g_arrange;

// The whole screen, the host window with any dialog over it.
void shoot(const QString &name)
{
    QApplication::processEvents();
    QTest::qWait(150);
    const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0);
    shot.copy(0, 0, 1024, 740).save(g_dir + QStringLiteral("/screen-") + name + QStringLiteral(".png"));
}

// A dialog the seam would answer, shown for the picture and then answered.
int showAndShoot(QWidget *dialog, const QString &name, int answer)
{
    if (name.isEmpty())
        return answer;
    dialog->show();
    dialog->move(260, 260);
    dialog->raise();
    if (g_arrange)
        g_arrange(dialog);
    shoot(name);
    dialog->hide();
    return answer;
}

} // namespace

class ScreenTour : public QObject
{
    Q_OBJECT

private slots:
    void tour()
    {
        g_dir = qEnvironmentVariable("FIS94100_TOUR_DIR", QStringLiteral("."));
        ScreenFixture fx;
        QVERIFY2(fx.start(), qPrintable(fx.server->error()));
        fx.host->move(0, 0);
        fx.host->resize(1024, 740);
        Showavi::setDelay(100);
        QString pending; // the picture the next dialog goes into
        rt::Dialogs::setResponder([&](rt::DialogRequest &r) {
            if (r.kind == rt::DialogKind::Modal)
                return showAndShoot(r.dialog, pending, QDialog::Rejected);
            QMessageBox box(r.kind == rt::DialogKind::Error ? QMessageBox::Critical : QMessageBox::Question,
                            rt::Dialogs::applicationTitle(), r.text, r.buttons);
            return showAndShoot(&box, pending, r.kind == rt::DialogKind::Confirmation ? int(QMessageBox::Yes) : int(QMessageBox::Ok));
        });

        TfrmParamGNRE *f = fx.open("GON", "01 - Comércio de Alimentos Paulista Ltda.");
        QVERIFY(f);
        click(f->sbtAlterar);
        retype(f->dbeCdFilial, "77");
        pending = QStringLiteral("refused-exit");
        QTest::keyClick(f->dbeCdFilial, Qt::Key_Tab); // "Filial não cadastrada."

        retype(f->dbeCdFilial, "1");
        pending = QStringLiteral("search-list");
        QTest::keyClick(f->dbeLivroMag, Qt::Key_F4); // the magnetic books' search list

        pending.clear();
        click(f->sbtCancelar);
        // The busy indicator over a slow answer.
        SlowProxy slow(fx.server->port(), 900);
        f->netParamGNRE.setConnected(false);
        ScreenFixture::pointAt(slow.port());
        f->netParamGNRE.setConnected(true);
        QTimer shot;
        shot.setProperty(TNetConnection::RunsDuringCalls, true); // fires while the call waits, as the indicator does
        shot.setSingleShot(true);
        QObject::connect(&shot, &QTimer::timeout, [] { shoot(QStringLiteral("busy")); });
        shot.start(500);
        click(f->sbtVerificar);

        // Back to the service itself.
        f->netParamGNRE.setConnected(false);
        ScreenFixture::pointAt(fx.server->port());
        f->netParamGNRE.setConnected(true);

        // Certificates: one expired, one expiring, one valid, one not installed.
        const QDate today = QDate::currentDate();
        const QString certs = fx.server->certDir();
        QCOMPARE(installCertificate(certs + "/alimentos.pem", "COMERCIO DE ALIMENTOS PAULISTA LTDA:11222333000181", "4E2A91C3",
                                    today.addDays(21)), QString());
        QCOMPARE(installCertificate(certs + "/alimentos-2025.pem", "COMERCIO DE ALIMENTOS PAULISTA LTDA:11222333000181",
                                    "3B17C2A0", today.addDays(-12)), QString());
        QCOMPARE(installCertificate(certs + "/pecas.pem", "DISTRIBUIDORA MINEIRA DE PECAS LTDA:77888999000163", "2C44F019",
                                    today.addDays(180)), QString());
        QVERIFY(setRegistrationCertificates(*fx.server, "01", "GON",
                                            {{"77528063", "RJ", "3B17C2A0"}, {"0623079040081", "MG", "2C44F019"},
                                             {"0240134751", "RS", "5D90E1B7"}}));
        f->pgcPadrao->setCurrentIndex(1);
        rt::TDBGrid *grid = f->dbgParamInscr;
        const int certColumn = Consiste::IndiceCol(grid, "NRCERTIFICDIG");
        grid->scrollTo(grid->model()->index(0, certColumn));
        const QPoint at = grid->cellRect(0, certColumn).center();
        QHelpEvent help(QEvent::ToolTip, at, grid->viewport()->mapToGlobal(at));
        QApplication::sendEvent(grid->viewport(), &help);
        shoot(QStringLiteral("certificate-marks"));
        pending = QStringLiteral("certificate-search");
        g_arrange = [](QWidget *dialog) {
            dialog->move(40, 250);
            auto *table = dialog->findChild<QTableWidget *>(QStringLiteral("grdPesquisa"));
            table->selectRow(2); // the marks of the other rows in sight
            QApplication::processEvents();
            const QPoint at = table->visualItemRect(table->item(0, 1)).center();
            QHelpEvent help(QEvent::ToolTip, at, table->viewport()->mapToGlobal(at));
            QApplication::sendEvent(table->viewport(), &help);
        };
        click(f->sbtAlterar); // the certificate column
        click(grid->editButton());
        g_arrange = nullptr;
        pending.clear();
        click(f->sbtCancelar);

        // The history of changes, after a few saves made from the screen.
        f->pgcPadrao->setCurrentIndex(0);
        click(f->sbtAlterar);
        retype(f->dbeEmail, QStringLiteral("gnre.fiscal@alimentospaulista.com.br"));
        click(f->sbtConfirmar);
        f->pgcPadrao->setCurrentIndex(1);
        click(f->sbtAlterar);
        f->cdsParamInscr.Edit();
        f->cdsParamInscr.FieldByName(QStringLiteral("IDTPAMBIENTE"))->setAsString(QStringLiteral("P"));
        click(f->sbtConfirmar);
        fx.host->findChild<QAction *>(QStringLiteral("actHistoricoGNRE"))->trigger();
        if (auto *history = fx.host->findChild<QWidget *>(QStringLiteral("frmHistoricoGNRE")))
            qobject_cast<QMdiSubWindow *>(history->parentWidget())->setGeometry(10, 10, 990, 560);
        shoot(QStringLiteral("history"));
    }
};

FIS_HOST_TEST_MAIN(ScreenTour)
#include "screen_tour.moc"
