#pragma once

#include <QString>
#include <QToolButton>
#include <functional>

namespace rt { class TDataSource; }

// Button of the button bar: flat, never takes the focus.
class TButtonFlat : public QToolButton
{
    Q_OBJECT
public:
    TButtonFlat(const QString &caption, const QString &iconName, QWidget *parent = nullptr);
};

// Lookup button tied to a code entry: lists the rows of a data source and lets
// the screen copy the chosen one back. F4 in the associated entry presses it.
class TBtnPesquisa : public QToolButton
{
    Q_OBJECT
public:
    explicit TBtnPesquisa(QWidget *parent = nullptr);

    QString Title;
    QString EmptyError;
    rt::TDataSource *DataSource = nullptr;
    std::function<void(QObject *sender, bool &cancel)> OnBeforePesq;
    std::function<void(QObject *sender)> OnAfterPesq;

    QWidget *Associate() const { return m_associate; }
    void setAssociate(QWidget *edit);

    // The whole lookup, as a press of the button runs it (exceptions propagate).
    void Execute();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *m_associate = nullptr;
};
