#pragma once

#include "DBGrid.h"

#include <QDialog>
#include <QString>
#include <functional>

class QLineEdit;
class QTableWidget;
class QLabel;

namespace rt { class TDataSource; }

// Colours and hint of a row of a search list: while it runs, the dataset's
// fields read the record the row shows. Rows it leaves alone look as always.
using TRowDecorator = std::function<void(rt::TCellDecoration &decoration)>;

// The modal search list over the rows of a data source.
class TPesquisaDialog : public QDialog
{
    Q_OBJECT

public:
    TPesquisaDialog(rt::TDataSource *source, const QString &title, QWidget *parent = nullptr,
                    const TRowDecorator &decorate = {});

    int visibleRowCount() const;
    QString cellText(int visibleRow, int column) const;
    void setFilterText(const QString &text);
    // Chooses a visible row as the user would (Enter or double click).
    void chooseRow(int visibleRow);
    int chosenRecord() const { return m_chosen; } // 1-based record number, 0 when none

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void applyFilter();
    void accept() override;

    rt::TDataSource *m_source;
    QLineEdit *m_filter;
    QTableWidget *m_table;
    int m_chosen = 0;
};

namespace Pesquisa {

// Shows the rows of the data source's dataset under the title ("title|empty-list
// text"); the empty-list text alone when there is no row. True when the user
// chose a row, which is then the dataset's current record. `decorate` marks rows
// (colours, hint) without changing them or their order.
bool Pesquisar(rt::TDataSource *source, const QString &titleAndEmptyText, bool multiSelect = false, bool showEmpty = true,
               const TRowDecorator &decorate = {});

} // namespace Pesquisa
