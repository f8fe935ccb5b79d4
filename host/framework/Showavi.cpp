#include "Showavi.h"

#include "NetConnection.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <cmath>

namespace {

// Translucent veil with a turning wheel, over the whole form.
class BusyOverlay : public QWidget
{
public:
    explicit BusyOverlay(QWidget *form) : QWidget(form)
    {
        setObjectName(QStringLiteral("showAvi"));
        setAttribute(Qt::WA_TransparentForMouseEvents, false);
        setGeometry(form->rect());
        m_timer.setProperty(TNetConnection::RunsDuringCalls, true); // turns while a server call waits
        m_timer.setInterval(80);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] {
            m_step = (m_step + 1) % 12;
            // A call that takes a while can be given up.
            // (the veil shows after its delay; the button some 750 ms later)
            if (!m_cancel->isVisible() && m_since.elapsed() >= 750 && TNetConnection::canCancel()) {
                m_cancel->move((width() - m_cancel->width()) / 2, height() / 2 + 52);
                m_cancel->show();
            }
            update();
        });
        m_cancel = new QPushButton(QStringLiteral("Cancelar"), this);
        m_cancel->setObjectName(QString::fromLatin1(TNetConnection::CancelButtonName));
        m_cancel->setFocusPolicy(Qt::NoFocus);
        m_cancel->adjustSize();
        m_cancel->hide();
        QObject::connect(m_cancel, &QPushButton::clicked, this, [] { TNetConnection::cancelCall(); });
    }
    void start()
    {
        setGeometry(parentWidget()->rect());
        m_since.start();
        raise();
        show();
        m_timer.start();
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.fillRect(rect(), QColor(255, 255, 255, 110));
        const QPointF c = rect().center();
        for (int i = 0; i < 12; ++i) {
            const double a = (i * 30.0) * M_PI / 180.0;
            const int alpha = 40 + ((i + 12 - m_step) % 12) * 18;
            p.setPen(QPen(QColor(40, 70, 130, std::min(alpha, 255)), 4, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(c + QPointF(std::cos(a) * 10, std::sin(a) * 10), c + QPointF(std::cos(a) * 20, std::sin(a) * 20));
        }
        p.setPen(QColor(40, 40, 40));
        p.drawText(QRectF(c.x() - 100, c.y() + 26, 200, 20), Qt::AlignCenter, QStringLiteral("Aguarde..."));
    }

private:
    QTimer m_timer;
    int m_step = 0;
    QPushButton *m_cancel = nullptr;
    QElapsedTimer m_since;
};

struct State
{
    int depth = 0;
    int delay = 250;
    QPointer<QWidget> form;
    QPointer<BusyOverlay> overlay;
    QTimer *showTimer = nullptr;
};

State &state()
{
    static State s;
    return s;
}

} // namespace

namespace Showavi {

void setDelay(int ms) { state().delay = ms; }
int delay() { return state().delay; }
bool isActive() { return state().depth > 0; }
bool isVisible() { return state().overlay && state().overlay->isVisible(); }

void ActiveShowAvi(QWidget *form, int kind)
{
    Q_UNUSED(kind);
    State &s = state();
    if (s.depth++ > 0)
        return;
    s.form = form;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    if (!s.showTimer) {
        s.showTimer = new QTimer(qApp);
        s.showTimer->setProperty(TNetConnection::RunsDuringCalls, true);
        s.showTimer->setSingleShot(true);
        QObject::connect(s.showTimer, &QTimer::timeout, [] {
            State &st = state();
            if (st.depth == 0 || !st.form)
                return;
            if (!st.overlay)
                st.overlay = new BusyOverlay(st.form);
            st.overlay->start();
        });
    }
    s.showTimer->start(s.delay);
}

void DeactiveShowAvi()
{
    State &s = state();
    if (s.depth == 0)
        return; // unpaired: never below zero
    if (--s.depth > 0)
        return;
    if (s.showTimer)
        s.showTimer->stop();
    if (s.overlay)
        delete s.overlay.data();
    QApplication::restoreOverrideCursor();
}

} // namespace Showavi
