#include "Widgets.h"

#include <QTabBar>

#include "Dialogs.h"
#include "Form.h"

#include <QKeyEvent>
#include <QMouseEvent>

#include <QPixmap>

TPageControl::TPageControl(QWidget *parent) : QTabWidget(parent)
{
    // Pages change by a click on their tab or by the screen's menu; the tabs
    // are no stop of the focus, so a click on one leaves the focus where it is.
    setFocusPolicy(Qt::NoFocus);
    tabBar()->setFocusPolicy(Qt::NoFocus);
    tabBar()->installEventFilter(this);
    connect(this, &QTabWidget::currentChanged, this, [this] {
        if (m_byCode || !OnChange)
            return;
        rt::guard([this] { OnChange(this); }, this);
    });
}

bool TPageControl::changePage(int index)
{
    if (index < 0 || index >= count() || index == currentIndex())
        return true;
    for (QWidget *w = parentWidget(); w; w = w->parentWidget())
        if (auto *form = qobject_cast<rt::TForm *>(w)) {
            if (!form->exitActiveControl())
                return false;
            break;
        }
    setCurrentIndex(index);
    return true;
}

bool TPageControl::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == tabBar() && event->type() == QEvent::MouseButtonPress) {
        auto *me = static_cast<QMouseEvent *>(event);
        const int index = tabBar()->tabAt(me->position().toPoint());
        if (me->button() == Qt::LeftButton && index >= 0 && index != currentIndex()) {
            changePage(index);
            return true;
        }
    }
    return QTabWidget::eventFilter(watched, event);
}

void TPageControl::keyPressEvent(QKeyEvent *event)
{
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    int step = 0;
    if (ctrl && (event->key() == Qt::Key_Tab || event->key() == Qt::Key_PageDown))
        step = 1;
    else if (ctrl && (event->key() == Qt::Key_Backtab || event->key() == Qt::Key_PageUp))
        step = -1;
    if (step == 0 || count() < 2) {
        QTabWidget::keyPressEvent(event);
        return;
    }
    changePage((currentIndex() + step + count()) % count());
    event->accept();
}

void TPageControl::setActivePage(QWidget *page)
{
    m_byCode = true;
    setCurrentWidget(page);
    m_byCode = false;
}

QWidget *TNotebook::addPage(const QString &name)
{
    auto *page = new QWidget(this);
    page->setObjectName(name);
    addWidget(page);
    return page;
}

QStringList TNotebook::Pages() const
{
    QStringList out;
    for (int i = 0; i < count(); ++i)
        out << widget(i)->objectName();
    return out;
}

void TImage::setPicture(const QImage &picture)
{
    m_picture = picture;
    setPixmap(QPixmap::fromImage(picture));
}
