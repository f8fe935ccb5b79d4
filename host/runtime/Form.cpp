#include "Form.h"

#include "Dialogs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFocusEvent>
#include <QTimer>
#include <utility>

namespace rt {

namespace {
int g_waitDepth = 0;
QList<QPointer<TForm>> g_unsettled; // forms whose focus moved while a call waited
} // namespace

WaitScope::WaitScope() { ++g_waitDepth; }

WaitScope::~WaitScope()
{
    if (--g_waitDepth > 0)
        return;
    const auto forms = std::exchange(g_unsettled, {});
    for (const QPointer<TForm> &f : forms)
        if (f)
            QTimer::singleShot(0, f, [f] {
                if (f)
                    f->settleFocus();
            });
}

bool WaitScope::active() { return g_waitDepth > 0; }

void TForm::setActive(TWinControl *control)
{
    m_active = control;
    m_activeWidget = control ? control->widget() : nullptr;
}

void TForm::forgetDestroyedActive()
{
    if (!m_activeWidget) // the active control's widget is gone
        m_active = nullptr;
}

void TForm::enter(TWinControl *control)
{
    setActive(control);
    if (control && control->OnEnter)
        guard([&] { control->OnEnter(control->widget()); }, this);
}

void TForm::settleFocus()
{
    forgetDestroyedActive();
    QWidget *now = QApplication::focusWidget();
    if (!owns(now) || !isActiveWindow())
        return;
    TWinControl *c = controlOf(now);
    if (c == m_active)
        return;
    if (m_active && !runExit(now))
        return;
    now = QApplication::focusWidget();
    c = controlOf(now);
    if (!owns(now) || c == m_active)
        return;
    enter(c);
}

TForm::TForm(QWidget *parent) : QWidget(parent) { qApp->installEventFilter(this); }

TForm::~TForm() { qApp->removeEventFilter(this); }

TWinControl *TForm::controlOf(QWidget *widget)
{
    for (QWidget *w = widget; w; w = w->parentWidget()) {
        if (auto *c = dynamic_cast<TWinControl *>(w))
            return c;
        if (qobject_cast<TForm *>(w))
            return nullptr;
    }
    return nullptr;
}

bool TForm::owns(QWidget *w) const { return w && (w == this || isAncestorOf(w)); }

bool TForm::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::FocusOut || event->type() == QEvent::FocusIn) {
        auto *w = qobject_cast<QWidget *>(watched);
        if (owns(w) && WaitScope::active()) {
            if (!g_unsettled.contains(this))
                g_unsettled.append(this);
        } else if (owns(w)) {
            const auto reason = static_cast<QFocusEvent *>(event)->reason();
            if (event->type() == QEvent::FocusOut)
                focusOut(w, reason);
            else if (focusIn(w, reason))
                return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

bool TForm::isTabStop(QWidget *w) const
{
    if (!owns(w) || w == this || !controlOf(w) || w->focusProxy())
        return false;
    if (!(w->focusPolicy() & Qt::TabFocus) || !w->isEnabled() || !w->isVisible())
        return false;
    // An exclusive radio button is a stop only when it is the checked one of
    // its group, or when none is checked.
    if (auto *b = qobject_cast<QAbstractButton *>(w); b && b->autoExclusive() && !b->isChecked() && b->parentWidget()) {
        const auto siblings = b->parentWidget()->findChildren<QAbstractButton *>(QString(), Qt::FindDirectChildrenOnly);
        for (QAbstractButton *o : siblings)
            if (o != b && o->autoExclusive() && o->isChecked())
                return false;
    }
    return true;
}

bool TForm::focusNextPrevChild(bool next)
{
    QWidget *from = QApplication::focusWidget();
    if (!owns(from))
        return QWidget::focusNextPrevChild(next);
    TWinControl *fromControl = controlOf(from);
    QWidget *w = from;
    // The window's focus chain is a ring; the form's widgets are a run of it.
    for (;;) {
        w = next ? w->nextInFocusChain() : w->previousInFocusChain();
        if (!w || w == from)
            return false;
        if (!isTabStop(w))
            continue;
        if (fromControl && controlOf(w) == fromControl)
            continue; // still inside the control left (a radio group's other buttons)
        w->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
        return true;
    }
}

bool TForm::exitActiveControl()
{
    forgetDestroyedActive();
    if (!m_active || m_inExit || controlOf(QApplication::focusWidget()) != m_active)
        return true;
    if (!runExit(nullptr))
        return false;
    setActive(nullptr);
    return true;
}

bool TForm::runExit(QWidget *next)
{
    TWinControl *old = m_active;
    m_inExit = true;
    try {
        old->writePending();
        if (old->OnExit)
            old->OnExit(old->widget());
        old->afterExit();
    } catch (...) {
        m_inExit = false;
        // The focus stays where the handler put it, or goes back to the control left.
        QWidget *now = QApplication::focusWidget();
        if (now == next || !owns(now))
            old->widget()->setFocus(Qt::OtherFocusReason);
        now = QApplication::focusWidget();
        if (owns(now) && controlOf(now))
            setActive(controlOf(now));
        reportCurrentException(this);
        return false;
    }
    m_inExit = false;
    return true;
}

void TForm::focusOut(QWidget *from, Qt::FocusReason reason)
{
    if (m_inExit || reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason)
        return;
    forgetDestroyedActive();
    if (!m_active || controlOf(from) != m_active)
        return;
    QWidget *next = QApplication::focusWidget();
    if (next && !owns(next) && next->isAncestorOf(this)) {
        m_inTransit = true; // through the frame around the form: decided where it lands
        return;
    }
    if (!owns(next) || controlOf(next) == m_active)
        return; // another window, or inside the same control

    if (!runExit(next))
        return;
    QWidget *now = QApplication::focusWidget();
    if (now != next && owns(now)) {
        // The handler moved the focus itself: that control is active now, without an enter.
        setActive(controlOf(now));
        return;
    }
    setActive(nullptr);
}

bool TForm::focusIn(QWidget *to, Qt::FocusReason reason)
{
    if (m_inExit)
        return false;
    forgetDestroyedActive();
    TWinControl *c = controlOf(to);
    if (m_inTransit) {
        m_inTransit = false;
        // The focus left the active control through the frame and lands here now.
        if (m_active && c != m_active && reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
            if (!runExit(to))
                return QApplication::focusWidget() != to;
            QWidget *now = QApplication::focusWidget();
            if (now != to && owns(now)) {
                setActive(controlOf(now));
                return true;
            }
        }
    }
    if (c == m_active)
        return false;
    enter(c);
    return false;
}

} // namespace rt
