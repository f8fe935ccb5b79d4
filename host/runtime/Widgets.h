#pragma once

#include <QImage>
#include <QLabel>
#include <QStackedWidget>
#include <QStringList>
#include <QTabWidget>
#include <functional>

// Page control: tab sheets; OnChange runs when the user changes page, not when code does.
class TPageControl : public QTabWidget
{
    Q_OBJECT
public:
    explicit TPageControl(QWidget *parent = nullptr);
    QWidget *ActivePage() const { return currentWidget(); }
    void setActivePage(QWidget *page);
    std::function<void(QObject *sender)> OnChange;

private:
    bool m_byCode = false;
};

// Notebook: pages by index, one shown at a time.
class TNotebook : public QStackedWidget
{
    Q_OBJECT
public:
    explicit TNotebook(QWidget *parent = nullptr) : QStackedWidget(parent) {}
    QWidget *addPage(const QString &name);
    int PageIndex() const { return currentIndex(); }
    void setPageIndex(int index) { setCurrentIndex(index); }
    QStringList Pages() const;
};

// A picture the screen keeps (hidden images are picture sources).
class TImage : public QLabel
{
    Q_OBJECT
public:
    explicit TImage(QWidget *parent = nullptr) : QLabel(parent) {}
    const QImage &Picture() const { return m_picture; }
    void setPicture(const QImage &picture);

private:
    QImage m_picture;
};
