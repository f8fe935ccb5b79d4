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

    // The user's change of page (a tab clicked, Ctrl+Tab, a menu entry): the
    // control being left runs its exit first, and a refused exit refuses the
    // change, so the focus and the page stay where they are. False when refused.
    bool changePage(int index);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

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
