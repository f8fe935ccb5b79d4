// Pictures of the screen in the host window, in the states a user meets:
// both pages, a refused exit, an open search list and the busy indicator.
// Run under Xvfb by scripts/screenshots.sh (not a test: it only takes pictures).
#include "ScreenFixture.h"

#include <QScreen>

namespace {

QString g_dir;

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
    }
};

FIS_HOST_TEST_MAIN(ScreenTour)
#include "screen_tour.moc"
