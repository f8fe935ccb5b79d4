#include "Form.h"

#include "Dialogs.h"

#include <QApplication>
#include <QFocusEvent>

namespace rt {

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
        if (owns(w)) {
            const auto reason = static_cast<QFocusEvent *>(event)->reason();
            if (event->type() == QEvent::FocusOut)
                focusOut(w, reason);
            else
                focusIn(w, reason);
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TForm::focusOut(QWidget *from, Qt::FocusReason reason)
{
    if (m_inExit || reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason)
        return;
    if (!m_activeWidget)
        m_active = nullptr;
    if (!m_active || controlOf(from) != m_active)
        return;
    QWidget *next = QApplication::focusWidget();
    if (!owns(next) || controlOf(next) == m_active)
        return; // another window, or inside the same control

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
        if (now == next)
            old->widget()->setFocus(Qt::OtherFocusReason);
        now = QApplication::focusWidget();
        if (owns(now) && controlOf(now)) {
            m_active = controlOf(now);
            m_activeWidget = m_active->widget();
        }
        reportCurrentException(this);
        return;
    }
    m_inExit = false;
    QWidget *now = QApplication::focusWidget();
    if (now != next && owns(now)) {
        // The handler moved the focus itself: that control is active now, without an enter.
        m_active = controlOf(now);
        m_activeWidget = m_active ? m_active->widget() : nullptr;
        return;
    }
    m_active = nullptr;
    m_activeWidget = nullptr;
}

void TForm::focusIn(QWidget *to, Qt::FocusReason reason)
{
    Q_UNUSED(reason);
    if (m_inExit)
        return;
    if (!m_activeWidget)
        m_active = nullptr;
    TWinControl *c = controlOf(to);
    if (c == m_active)
        return;
    m_active = c;
    m_activeWidget = c ? c->widget() : nullptr;
    if (c && c->OnEnter)
        guard([&] { c->OnEnter(c->widget()); }, this);
}

} // namespace rt
