#pragma once

#include "ClientDataSet.h"
#include "Form.h"

#include <QColor>
#include <QImage>
#include <QPointer>
#include <QStyledItemDelegate>
#include <QTableView>
#include <memory>
#include <vector>

class QToolButton;

namespace rt {

enum TGridOption {
    dgEditing = 0x1, dgAlwaysShowEditor = 0x2, dgTitles = 0x4, dgIndicator = 0x8, dgColumnResize = 0x10,
    dgColLines = 0x20, dgRowLines = 0x40, dgTabs = 0x80, dgRowSelect = 0x100, dgAlwaysShowSelection = 0x200,
    dgConfirmDelete = 0x400, dgCancelOnExit = 0x800,
};
Q_DECLARE_FLAGS(TGridOptions, TGridOption)

enum TGridDrawStateFlag { gdSelected = 0x1, gdFocused = 0x2 };
Q_DECLARE_FLAGS(TGridDrawState, TGridDrawStateFlag)

enum class TColumnButtonStyle { cbsAuto, cbsEllipsis, cbsNone };

class TDBGrid;

// A picture held in memory (16-colour bitmaps of the screen's images).
class TBitmap
{
public:
    QImage image;
    void Assign(const QImage &picture) { image = picture; }
    int Width() const { return image.isNull() ? 0 : image.width(); }
    int Height() const { return image.isNull() ? 0 : image.height(); }
};

// Drawing surface handed to custom cell drawing: its brush is the colour the grid chose.
class TCanvas
{
public:
    TCanvas(QPainter *painter, const QColor &brush) : m_painter(painter), BrushColor(brush) {}
    void FillRect(const QRect &rect);
    // Copies src of the bitmap into dest, painting the pixels of colour `replace` with the brush.
    void BrushCopy(const QRect &dest, const TBitmap &bitmap, const QRect &src, const QColor &replace);
    QPainter *painter() const { return m_painter; }

private:
    QPainter *m_painter;

public:
    QColor BrushColor;
};

// What a cell shows besides its text: colours and a hint. An invalid colour or
// an empty hint leaves the grid's own.
struct TCellDecoration
{
    QColor Color;     // background
    QColor FontColor; // text
    QString Hint;     // tooltip
};

class TColumn
{
public:
    TColumn(TDBGrid *grid, int index) : m_grid(grid), m_index(index) {}

    QString FieldName;
    QString Title;       // empty: the field's display label
    int Width = -1;      // -1: from the field's display width and the title
    QStringList PickList;
    TColumnButtonStyle ButtonStyle = TColumnButtonStyle::cbsAuto;

    TField *Field() const;
    bool Visible() const;
    QString title() const;
    int Index() const { return m_index; }
    void setButtonStyle(TColumnButtonStyle style);

private:
    TDBGrid *m_grid;
    int m_index;
};

class TGridModel;
class TGridDelegate;

// Data grid: rows follow the dataset (the current row is its current record),
// columns show fields in the grid's own order.
class TDBGrid : public QTableView, public TWinControl, public TDataLink
{
    Q_OBJECT

public:
    explicit TDBGrid(QWidget *parent = nullptr);
    ~TDBGrid() override;

    void setDataSource(TDataSource *source);
    TClientDataSet *DataSet() const { return dataSource() ? dataSource()->DataSet() : nullptr; }

    TColumn *addColumn(const QString &fieldName, const QString &title = QString(), int width = -1,
                       const QStringList &pickList = {});
    // Columns added between these two are laid out once, at the end; the
    // grid's model shows them from then on.
    void BeginUpdate()
    {
        if (m_updating++ == 0)
            m_columnsShown = columnCount();
    }
    void EndUpdate();
    // The columns the grid's model has: all of them, but while columns are being added.
    int modelColumnCount() const { return m_updating > 0 ? m_columnsShown : columnCount(); }
    int columnCount() const { return int(m_columns.size()); }
    TColumn *Columns(int index) const { return m_columns.at(size_t(index)).get(); }

    TGridOptions Options() const { return m_options; }
    void setOptions(TGridOptions options);

    int SelectedIndex() const { return m_col; }
    void setSelectedIndex(int index);
    TField *SelectedField() const;

    // The text of the open cell editor, when one is open.
    bool editorOpen() const;
    QString editorText() const;

    std::function<void(QObject *sender)> OnColEnter, OnColExit, OnDblClick, OnEditButtonClick;
    std::function<void(QObject *sender, QChar &key)> OnKeyPress;
    std::function<void(QObject *sender, quint16 &key, Qt::KeyboardModifiers shift)> OnKeyDown;
    std::function<void(TColumn &column)> OnCellClick;
    // Asks whether Ctrl+Delete may delete the record (with dgConfirmDelete);
    // the form sets it so that every way of deleting asks the same question.
    std::function<bool()> OnConfirmDelete;
    std::function<void(QObject *sender, const QRect &rect, int dataCol, TColumn &column, TGridDrawState state)> OnDrawColumnCell;

    // Colours and hint of a cell, by column and record: while it runs the fields
    // read the record of the cell's row. Asked whenever the cell is drawn or
    // hovered, so it must only look (no calls, no dialogs).
    std::function<void(TColumn &column, TCellDecoration &decoration)> OnDecorateCell;
    // What OnDecorateCell gives the cell now (nothing for a cell out of range).
    TCellDecoration cellDecoration(int row, int column) const;
    // Draws the cells again, when what the decoration depends on has changed.
    void redecorate();

    // The canvas of the cell being drawn, valid inside OnDrawColumnCell.
    TCanvas *Canvas() const { return m_canvas; }
    QToolButton *editButton() const { return m_editButton; }
    void updateEditButton();
    QRect cellRect(int row, int column) const;

    // TWinControl
    QWidget *widget() override { return this; }
    void writePending() override;
    void afterExit() override;

    // TDataLink
    void stateChanged() override;
    void dataChanged(TField *field) override;
    void updateData() override { writePending(); }
    bool focusField(TField *field) override;
    void layoutChanged() override;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
    bool edit(const QModelIndex &index, EditTrigger trigger, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    friend class TGridDelegate;
    friend class TGridModel;

    // Runs the key handlers; false when the key was cancelled or discarded.
    bool preprocessKey(QKeyEvent *event, QObject *target, std::unique_ptr<QKeyEvent> &replacement);
    // What typing `ch` puts into the selected column's cell (null: discarded).
    QChar filterChar(QChar ch);
    bool editorKey(QWidget *editor, QKeyEvent *event);
    void syncCurrent();
    void refreshRows();
    void applyColumns();
    void deleteRecord();
    void pressEditButton();
    int visibleColumnNear(int index) const;

    std::vector<std::unique_ptr<TColumn>> m_columns;
    TGridModel *m_model;
    TGridDelegate *m_delegate;
    TGridOptions m_options;
    int m_col = 0;
    int m_updating = 0;
    int m_columnsShown = 0;
    bool m_syncing = false;
    int m_rowCount = 0;
    QToolButton *m_editButton;
    QPointer<QWidget> m_editor;
    TCanvas *m_canvas = nullptr;
};

} // namespace rt

Q_DECLARE_OPERATORS_FOR_FLAGS(rt::TGridOptions)
Q_DECLARE_OPERATORS_FOR_FLAGS(rt::TGridDrawState)
