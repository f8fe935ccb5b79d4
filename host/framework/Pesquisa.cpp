#include "Pesquisa.h"

#include "ClientDataSet.h"
#include "Dialogs.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>
#include <QVBoxLayout>

using namespace rt;

TPesquisaDialog::TPesquisaDialog(TDataSource *source, const QString &title, QWidget *parent, const TRowDecorator &decorate)
    : QDialog(parent ? parent->window() : QApplication::activeWindow()), m_source(source)
{
    setObjectName(QStringLiteral("frmPesquisa"));
    setWindowTitle(title);
    auto *lay = new QVBoxLayout(this);
    auto *label = new QLabel(QStringLiteral("Digite para filtrar; Enter escolhe, Esc fecha."), this);
    m_filter = new QLineEdit(this);
    m_filter->setObjectName(QStringLiteral("edtFiltro"));
    m_filter->setPlaceholderText(QStringLiteral("Filtrar..."));
    m_table = new QTableWidget(this);
    m_table->setObjectName(QStringLiteral("grdPesquisa"));
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);
    lay->addWidget(label);
    lay->addWidget(m_filter);
    lay->addWidget(m_table);

    TClientDataSet *ds = source->DataSet();
    QList<TField *> fields;
    for (int i = 0; i < ds->fieldCount(); ++i)
        if (ds->field(i)->Visible())
            fields << ds->field(i);
    const int rows = ds->RecordCount();
    m_table->setColumnCount(int(fields.size()));
    m_table->setRowCount(rows);
    const int zero = fontMetrics().horizontalAdvance(QLatin1Char('0'));
    int width = 0;
    for (int c = 0; c < fields.size(); ++c) {
        m_table->setHorizontalHeaderItem(c, new QTableWidgetItem(fields.at(c)->displayName()));
        const int w = std::max(std::min(60, fields.at(c)->displayWidth()) * zero,
                               m_table->horizontalHeader()->fontMetrics().horizontalAdvance(fields.at(c)->displayName()))
                      + 16;
        m_table->setColumnWidth(c, w);
        width += w;
    }
    // The list is not shown yet: its view reads the cells when it paints
    // them, and is not told of each one as it is filled.
    QSignalBlocker quiet(m_table->model());
    for (int r = 0; r < rows; ++r) {
        TCellDecoration d;
        if (decorate)
            ds->withRecord(r, [&] { decorate(d); });
        for (int c = 0; c < fields.size(); ++c) {
            auto *item = new QTableWidgetItem(ds->displayTextAt(r, fields.at(c)->index()));
            if (d.Color.isValid())
                item->setBackground(d.Color);
            if (d.FontColor.isValid())
                item->setForeground(d.FontColor);
            if (!d.Hint.isEmpty())
                item->setToolTip(d.Hint);
            m_table->setItem(r, c, item);
        }
    }
    quiet.unblock();
    if (rows > 0)
        m_table->selectRow(0);
    resize(std::clamp(width + 40, 360, 900), 420);

    connect(m_filter, &QLineEdit::textChanged, this, &TPesquisaDialog::applyFilter);
    connect(m_table, &QTableWidget::cellDoubleClicked, this, [this](int row) {
        m_table->selectRow(row);
        accept();
    });
    m_filter->installEventFilter(this);
    m_table->installEventFilter(this);
}

int TPesquisaDialog::visibleRowCount() const
{
    int n = 0;
    for (int r = 0; r < m_table->rowCount(); ++r)
        n += m_table->isRowHidden(r) ? 0 : 1;
    return n;
}

static int rowOfVisible(QTableWidget *t, int visibleRow)
{
    for (int r = 0, n = 0; r < t->rowCount(); ++r) {
        if (t->isRowHidden(r))
            continue;
        if (n++ == visibleRow)
            return r;
    }
    return -1;
}

QString TPesquisaDialog::cellText(int visibleRow, int column) const
{
    const int r = rowOfVisible(m_table, visibleRow);
    return r < 0 ? QString() : m_table->item(r, column)->text();
}

void TPesquisaDialog::setFilterText(const QString &text) { m_filter->setText(text); }

void TPesquisaDialog::applyFilter()
{
    const QString f = m_filter->text().trimmed();
    int first = -1;
    for (int r = 0; r < m_table->rowCount(); ++r) {
        bool match = f.isEmpty();
        for (int c = 0; c < m_table->columnCount() && !match; ++c)
            match = m_table->item(r, c)->text().contains(f, Qt::CaseInsensitive);
        m_table->setRowHidden(r, !match);
        if (match && first < 0)
            first = r;
    }
    if (first >= 0)
        m_table->selectRow(first);
    else
        m_table->clearSelection();
}

void TPesquisaDialog::chooseRow(int visibleRow)
{
    const int r = rowOfVisible(m_table, visibleRow);
    if (r < 0)
        return;
    m_table->selectRow(r);
    accept();
}

void TPesquisaDialog::accept()
{
    const auto rows = m_table->selectionModel()->selectedRows();
    if (rows.isEmpty() || m_table->isRowHidden(rows.first().row()))
        return;
    m_chosen = rows.first().row() + 1; // the rows are the records, in their order
    QDialog::accept();
}

bool TPesquisaDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        auto *k = static_cast<QKeyEvent *>(event);
        if (k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter) {
            accept();
            return true;
        }
        if (watched == m_filter && (k->key() == Qt::Key_Down || k->key() == Qt::Key_Up || k->key() == Qt::Key_PageDown || k->key() == Qt::Key_PageUp)) {
            QApplication::sendEvent(m_table, event);
            return true;
        }
        if (watched == m_table && !k->text().isEmpty() && k->text().at(0).isPrint()) {
            // Typing over the list goes to the filter.
            m_filter->setFocus();
            m_filter->insert(k->text());
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

namespace Pesquisa {

bool Pesquisar(TDataSource *source, const QString &titleAndEmptyText, bool multiSelect, bool showEmpty,
               const TRowDecorator &decorate)
{
    Q_UNUSED(multiSelect);
    const int bar = titleAndEmptyText.indexOf(QLatin1Char('|'));
    const QString title = bar < 0 ? titleAndEmptyText : titleAndEmptyText.left(bar);
    const QString emptyText = bar < 0 ? QString() : titleAndEmptyText.mid(bar + 1);
    TClientDataSet *ds = source ? source->DataSet() : nullptr;
    if (!ds || !ds->Active() || ds->IsEmpty()) {
        if (showEmpty)
            Dialogs::showInformation(emptyText.isEmpty() ? QStringLiteral("Não há registros.") : emptyText);
        return false;
    }
    TPesquisaDialog dialog(source, title, nullptr, decorate);
    if (Dialogs::execModal(&dialog, title) != QDialog::Accepted || dialog.chosenRecord() <= 0)
        return false;
    ds->setRecNo(dialog.chosenRecord());
    return true;
}

} // namespace Pesquisa
