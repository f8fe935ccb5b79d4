#include "Widgets.h"

#include <QTabBar>

#include "Dialogs.h"

#include <QPixmap>

TPageControl::TPageControl(QWidget *parent) : QTabWidget(parent)
{
    // Pages change by a click on their tab or by the screen's menu; the tabs
    // are no stop of the focus, so a click on one leaves the focus where it is.
    setFocusPolicy(Qt::NoFocus);
    tabBar()->setFocusPolicy(Qt::NoFocus);
    connect(this, &QTabWidget::currentChanged, this, [this] {
        if (m_byCode || !OnChange)
            return;
        rt::guard([this] { OnChange(this); }, this);
    });
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
