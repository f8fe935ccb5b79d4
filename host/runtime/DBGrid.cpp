#include "DBGrid.h"

#include "DBControls.h"
#include "Dialogs.h"
#include "Exceptions.h"
#include "Keys.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QBrush>
#include <QComboBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>

#include "FilteredEdit.h"
#include <QPainter>
#include <QToolButton>

namespace rt {

// ---------------------------------------------------------------- TCanvas

void TCanvas::FillRect(const QRect &rect) { m_painter->fillRect(rect, BrushColor); }

void TCanvas::BrushCopy(const QRect &dest, const TBitmap &bitmap, const QRect &src, const QColor &replace)
{
    if (bitmap.image.isNull() || dest.isEmpty())
        return;
    // Only the part of the source inside the bitmap is copied, pixel for pixel.
    const QRect part = src.intersected(bitmap.image.rect());
    QImage img = bitmap.image.copy(part).convertToFormat(QImage::Format_ARGB32);
    const QRgb from = replace.rgb() | 0xff000000u;
    const QRgb to = BrushColor.rgb() | 0xff000000u;
    for (int y = 0; y < img.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x)
            if ((line[x] | 0xff000000u) == from)
                line[x] = to;
    }
    const QPoint at(dest.left() + (part.left() - src.left()), dest.top() + (part.top() - src.top()));
    m_painter->save();
    m_painter->setClipRect(dest);
    m_painter->drawImage(at, img);
    m_painter->restore();
}

// ---------------------------------------------------------------- TColumn

TField *TColumn::Field() const
{
    TClientDataSet *ds = m_grid->DataSet();
    return ds ? ds->FindField(FieldName) : nullptr;
}

bool TColumn::Visible() const
{
    TField *f = Field();
    return !f || f->Visible();
}

QString TColumn::title() const
{
    if (!Title.isEmpty())
        return Title;
    TField *f = Field();
    return f ? f->displayName() : FieldName;
}

void TColumn::setButtonStyle(TColumnButtonStyle style)
{
    ButtonStyle = style;
    m_grid->updateEditButton();
}

// ---------------------------------------------------------------- model

class TGridModel : public QAbstractTableModel
{
public:
    explicit TGridModel(TDBGrid *grid) : QAbstractTableModel(grid), m_grid(grid) {}

    int rowCount(const QModelIndex &parent = {}) const override
    {
        TClientDataSet *ds = m_grid->DataSet();
        return parent.isValid() || !ds || !ds->Active() ? 0 : ds->RecordCount();
    }
    int columnCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : m_grid->modelColumnCount();
    }
    QVariant data(const QModelIndex &index, int role) const override
    {
        if (role == Qt::BackgroundRole || role == Qt::ForegroundRole || role == Qt::ToolTipRole) {
            const TCellDecoration d = m_grid->cellDecoration(index.row(), index.column());
            if (role == Qt::ToolTipRole)
                return d.Hint.isEmpty() ? QVariant() : QVariant(d.Hint);
            const QColor c = role == Qt::BackgroundRole ? d.Color : d.FontColor;
            return c.isValid() ? QVariant(QBrush(c)) : QVariant();
        }
        if (role != Qt::DisplayRole && role != Qt::EditRole)
            return {};
        TField *f = m_grid->Columns(index.column())->Field();
        TClientDataSet *ds = m_grid->DataSet();
        if (!f || !ds || index.row() >= ds->RecordCount())
            return {};
        try {
            return ds->displayTextAt(index.row(), f->index());
        } catch (const std::exception &) {
            return QString();
        }
    }
    QVariant headerData(int section, Qt::Orientation o, int role) const override
    {
        if (o == Qt::Horizontal && role == Qt::DisplayRole && section < m_grid->modelColumnCount())
            return m_grid->Columns(section)->title();
        return QAbstractTableModel::headerData(section, o, role);
    }
    Qt::ItemFlags flags(const QModelIndex &index) const override
    {
        Qt::ItemFlags fl = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
        if (m_grid->Options() & dgEditing) {
            TField *f = m_grid->Columns(index.column())->Field();
            if (f && !f->ReadOnly)
                fl |= Qt::ItemIsEditable;
        }
        return fl;
    }
    void reset()
    {
        beginResetModel();
        endResetModel();
    }
    void refreshAll()
    {
        if (rowCount() > 0)
            emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
    }

private:
    TDBGrid *m_grid;
};

// ---------------------------------------------------------------- delegate

class TGridDelegate : public QStyledItemDelegate
{
public:
    explicit TGridDelegate(TDBGrid *grid) : QStyledItemDelegate(grid), m_grid(grid) {}

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &, const QModelIndex &index) const override
    {
        TColumn *c = m_grid->Columns(index.column());
        QWidget *editor;
        if (!c->PickList.isEmpty()) {
            auto *combo = new QComboBox(parent);
            combo->setEditable(false);
            combo->addItems(c->PickList);
            editor = combo;
        } else {
            auto *line = new TFilteredLineEdit(parent);
            line->setFrame(false);
            // A paste into the cell passes the column's filters as typing does.
            line->CharFilter = [grid = m_grid](QChar ch) { return grid->filterChar(ch); };
            TField *f = c->Field();
            if (f && f->DataType == FieldType::String && f->Size > 0)
                line->setMaxLength(f->Size);
            editor = line;
        }
        editor->setObjectName(m_grid->objectName() + QStringLiteral("_editor"));
        m_grid->m_editor = editor;
        return editor;
    }

    void setEditorData(QWidget *editor, const QModelIndex &index) const override
    {
        TField *f = m_grid->Columns(index.column())->Field();
        const QString t = f ? f->Text() : QString();
        if (auto *combo = qobject_cast<QComboBox *>(editor))
            combo->setCurrentIndex(combo->findText(t, Qt::MatchExactly | Qt::MatchCaseSensitive));
        else if (auto *line = qobject_cast<QLineEdit *>(editor))
            line->setText(t);
    }

    void setModelData(QWidget *editor, QAbstractItemModel *, const QModelIndex &index) const override
    {
        TField *f = m_grid->Columns(index.column())->Field();
        TClientDataSet *ds = m_grid->DataSet();
        if (!f || !ds || !ds->editing() || f->ReadOnly)
            return;
        QString t;
        if (auto *combo = qobject_cast<QComboBox *>(editor)) {
            if (combo->currentIndex() < 0)
                return;
            t = combo->currentText();
        } else if (auto *line = qobject_cast<QLineEdit *>(editor)) {
            if (!line->isModified())
                return; // nothing typed
            t = line->text();
            line->setModified(false);
        }
        guard([&] { f->setText(t); }, m_grid);
    }

    void updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::updateEditorGeometry(editor, option, index);
        if (m_grid->Columns(index.column())->ButtonStyle == TColumnButtonStyle::cbsEllipsis) {
            QRect r = editor->geometry();
            r.setRight(r.right() - option.rect.height());
            editor->setGeometry(r);
        }
    }

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::paint(painter, option, index);
        if (!m_grid->OnDrawColumnCell)
            return;
        const bool selected = option.state & QStyle::State_Selected;
        const bool focused = m_grid->hasFocus() || (m_grid->m_editor && m_grid->m_editor->hasFocus());
        TGridDrawState st;
        QColor brush = m_grid->palette().color(QPalette::Base);
        if (selected && (focused || (m_grid->Options() & dgAlwaysShowSelection))) {
            st |= gdSelected;
            brush = m_grid->palette().color(focused ? QPalette::Active : QPalette::Inactive, QPalette::Highlight);
        }
        if (focused && index == m_grid->currentIndex())
            st |= gdFocused;
        TCanvas canvas(painter, brush);
        m_grid->m_canvas = &canvas;
        // While a cell is drawn, the fields read the record of its row.
        auto draw = [&] { m_grid->OnDrawColumnCell(m_grid, option.rect, index.column(), *m_grid->Columns(index.column()), st); };
        if (TClientDataSet *ds = m_grid->DataSet(); ds && index.row() < ds->RecordCount())
            guard([&] { ds->withRecord(index.row(), draw); }, m_grid);
        else
            guard(draw, m_grid);
        m_grid->m_canvas = nullptr;
    }

    bool eventFilter(QObject *object, QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress) {
            auto *editor = qobject_cast<QWidget *>(object);
            if (editor && m_grid->editorKey(editor, static_cast<QKeyEvent *>(event)))
                return true;
        }
        return QStyledItemDelegate::eventFilter(object, event);
    }

private:
    TDBGrid *m_grid;
};

// ---------------------------------------------------------------- TDBGrid

TDBGrid::TDBGrid(QWidget *parent)
    : QTableView(parent), m_model(new TGridModel(this)), m_delegate(new TGridDelegate(this)),
      m_editButton(new QToolButton(viewport()))
{
    setModel(m_model);
    setItemDelegate(m_delegate);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTabKeyNavigation(true);
    verticalHeader()->hide();
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSectionsMovable(false);
    m_editButton->setText(QStringLiteral("…"));
    m_editButton->setFocusPolicy(Qt::NoFocus);
    m_editButton->setObjectName(QStringLiteral("editButton"));
    m_editButton->hide();
    connect(m_editButton, &QToolButton::clicked, this, [this] {
        guard([this] {
            if (OnEditButtonClick)
                OnEditButtonClick(this);
        }, this);
    });
    connect(this, &QAbstractItemView::clicked, this, [this](const QModelIndex &index) {
        if (!index.isValid() || !OnCellClick)
            return;
        guard([&] { OnCellClick(*Columns(index.column())); }, this);
    });
    setOptions(dgTitles | dgIndicator | dgColumnResize | dgColLines | dgRowLines | dgTabs | dgConfirmDelete | dgCancelOnExit);
}

TDBGrid::~TDBGrid() = default;

void TDBGrid::setDataSource(TDataSource *source)
{
    TDataLink::setDataSource(source);
    applyColumns();
    dataChanged(nullptr);
}

TColumn *TDBGrid::addColumn(const QString &fieldName, const QString &title, int width, const QStringList &pickList)
{
    auto c = std::make_unique<TColumn>(this, int(m_columns.size()));
    c->FieldName = fieldName;
    c->Title = title;
    c->Width = width;
    c->PickList = pickList;
    m_columns.push_back(std::move(c));
    if (m_updating == 0) {
        m_model->reset();
        applyColumns();
    }
    return m_columns.back().get();
}

void TDBGrid::EndUpdate()
{
    if (m_updating == 0 || --m_updating > 0)
        return;
    m_model->reset();
    applyColumns();
}

void TDBGrid::applyColumns()
{
    const QFontMetrics fm(font());
    const QFontMetrics tfm(horizontalHeader()->font());
    for (int i = 0; i < columnCount(); ++i) {
        TColumn *c = Columns(i);
        setColumnHidden(i, !c->Visible());
        int w = c->Width;
        if (w < 0) {
            TField *f = c->Field();
            w = (f ? f->displayWidth() : 10) * fm.horizontalAdvance(QLatin1Char('0')) + 4;
            if (m_options & dgTitles)
                w = std::max(w, tfm.horizontalAdvance(c->title()) + 12);
        }
        setColumnWidth(i, w);
    }
    if (m_col < columnCount() && isColumnHidden(m_col))
        m_col = visibleColumnNear(m_col);
    updateEditButton();
}

void TDBGrid::setOptions(TGridOptions options)
{
    m_options = options;
    horizontalHeader()->setVisible(options & dgTitles);
    horizontalHeader()->setSectionResizeMode((options & dgColumnResize) ? QHeaderView::Interactive : QHeaderView::Fixed);
    setShowGrid(options & (dgColLines | dgRowLines));
    setTabKeyNavigation(options & dgTabs);
    setEditTriggers((options & dgEditing) ? (QAbstractItemView::AnyKeyPressed | QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked)
                                          : QAbstractItemView::NoEditTriggers);
    if (!(options & dgEditing) && state() == QAbstractItemView::EditingState && m_editor)
        closeEditor(m_editor, QAbstractItemDelegate::NoHint);
    updateEditButton();
}

int TDBGrid::visibleColumnNear(int index) const
{
    for (int i = index; i < columnCount(); ++i)
        if (!isColumnHidden(i))
            return i;
    for (int i = std::min(index, columnCount() - 1); i >= 0; --i)
        if (!isColumnHidden(i))
            return i;
    return 0;
}

void TDBGrid::setSelectedIndex(int index)
{
    if (index < 0 || index >= columnCount())
        return;
    index = visibleColumnNear(index);
    const QModelIndex cur = currentIndex();
    if (cur.isValid()) {
        setCurrentIndex(m_model->index(cur.row(), index));
    } else {
        if (index != m_col && OnColExit && !guard([this] { OnColExit(this); }, this))
            return;
        const bool changed = index != m_col;
        m_col = index;
        if (changed && OnColEnter)
            guard([this] { OnColEnter(this); }, this);
        updateEditButton();
    }
}

TField *TDBGrid::SelectedField() const
{
    return m_col >= 0 && m_col < columnCount() ? Columns(m_col)->Field() : nullptr;
}

bool TDBGrid::editorOpen() const { return m_editor && state() == QAbstractItemView::EditingState; }

QString TDBGrid::editorText() const
{
    if (!editorOpen())
        return QString();
    if (auto *combo = qobject_cast<QComboBox *>(m_editor.data()))
        return combo->currentText();
    if (auto *line = qobject_cast<QLineEdit *>(m_editor.data()))
        return line->text();
    return QString();
}

TCellDecoration TDBGrid::cellDecoration(int row, int column) const
{
    TCellDecoration d;
    TClientDataSet *ds = DataSet();
    if (!OnDecorateCell || !ds || !ds->Active() || row < 0 || row >= ds->RecordCount() || column < 0 || column >= columnCount())
        return d;
    try {
        ds->withRecord(row, [&] { OnDecorateCell(*Columns(column), d); });
    } catch (const std::exception &) {
        return TCellDecoration(); // drawn as the grid's own
    }
    return d;
}

void TDBGrid::redecorate() { viewport()->update(); }

QRect TDBGrid::cellRect(int row, int column) const { return visualRect(m_model->index(row, column)); }

void TDBGrid::syncCurrent()
{
    TClientDataSet *ds = DataSet();
    m_syncing = true;
    if (ds && ds->Active() && !ds->IsEmpty() && m_col < columnCount()) {
        const QModelIndex want = m_model->index(ds->RecNo() - 1, m_col);
        if (currentIndex() != want) {
            setCurrentIndex(want);
            scrollTo(want);
        }
    }
    m_syncing = false;
    updateEditButton();
}

void TDBGrid::refreshRows()
{
    const int rows = m_model->rowCount();
    if (rows != m_rowCount) {
        m_rowCount = rows;
        m_model->reset();
    } else {
        m_model->refreshAll();
    }
    syncCurrent();
}

void TDBGrid::stateChanged() { refreshRows(); }

void TDBGrid::dataChanged(TField *field)
{
    const int rows = m_model->rowCount();
    if (rows != m_rowCount || !field)
        return refreshRows();
    // Only the cells of that field: an open cell editor of another column keeps its typing.
    TClientDataSet *ds = DataSet();
    const int row = ds ? ds->RecNo() - 1 : -1;
    if (row < 0 || row >= rows)
        return;
    for (int c = 0; c < columnCount(); ++c)
        if (Columns(c)->Field() == field)
            emit m_model->dataChanged(m_model->index(row, c), m_model->index(row, c));
}

void TDBGrid::layoutChanged() { applyColumns(); }

bool TDBGrid::focusField(TField *field)
{
    for (int i = 0; i < columnCount(); ++i) {
        if (Columns(i)->Field() == field && Columns(i)->Visible()) {
            setSelectedIndex(i);
            setFocus(Qt::OtherFocusReason);
            return true;
        }
    }
    return false;
}

void TDBGrid::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    QTableView::currentChanged(current, previous);
    if (m_syncing || !current.isValid()) {
        if (current.isValid())
            m_col = current.column();
        updateEditButton();
        return;
    }
    const bool colChanged = current.column() != m_col;
    auto revert = [&] {
        m_syncing = true;
        const QModelIndex back = previous.isValid() ? previous : m_model->index(current.row(), m_col);
        setCurrentIndex(back);
        m_syncing = false;
        updateEditButton();
    };
    if (colChanged && OnColExit && !guard([this] { OnColExit(this); }, this))
        return revert();
    // The column is the new one before the record moves: the move's own
    // refresh then keeps the cell the user chose highlighted.
    const int oldCol = m_col;
    m_col = current.column();
    TClientDataSet *ds = DataSet();
    if (ds && ds->Active() && current.row() != ds->RecNo() - 1) {
        if (!guard([&] { ds->setRecNo(current.row() + 1); }, this)) {
            m_col = oldCol;
            return revert();
        }
    }
    if (currentIndex() != current && current.row() == (ds ? ds->RecNo() - 1 : current.row())) {
        m_syncing = true;
        setCurrentIndex(current);
        m_syncing = false;
    }
    if (colChanged && OnColEnter)
        guard([this] { OnColEnter(this); }, this);
    updateEditButton();
}

bool TDBGrid::edit(const QModelIndex &index, EditTrigger trigger, QEvent *event)
{
    if (trigger == QAbstractItemView::AllEditTriggers || !(m_options & dgEditing) || !index.isValid())
        return QTableView::edit(index, trigger, event);
    TField *f = Columns(index.column())->Field();
    TClientDataSet *ds = DataSet();
    if (!f || f->ReadOnly || !ds || !ds->Active())
        return false;
    if (!ds->editing()) {
        // A browsed record is put into edit by typing (or F2), never by a click
        // or a move into the cell.
        if (trigger != QAbstractItemView::AnyKeyPressed && trigger != QAbstractItemView::EditKeyPressed)
            return false;
        bool ok = false;
        if (dataSource()->AutoEdit)
            ok = guard([&] { ds->Edit(); }, this);
        if (!ok || !ds->editing())
            return false;
    }
    return QTableView::edit(index, trigger, event);
}

void TDBGrid::writePending()
{
    if (editorOpen())
        commitData(m_editor);
}

void TDBGrid::afterExit()
{
    if (editorOpen())
        closeEditor(m_editor, QAbstractItemDelegate::NoHint);
    TClientDataSet *ds = DataSet();
    if ((m_options & dgCancelOnExit) && ds && ds->State() == DataSetState::dsInsert && !ds->Modified())
        ds->Cancel();
}

bool TDBGrid::preprocessKey(QKeyEvent *event, QObject *target, std::unique_ptr<QKeyEvent> &replacement)
{
    quint16 vk = virtualKey(event);
    if (OnKeyDown) {
        try {
            OnKeyDown(target, vk, event->modifiers());
        } catch (const EAbort &) {
            return false;
        } catch (...) {
            reportCurrentException(this);
            return false;
        }
        if (vk == 0)
            return false;
    }
    QChar ch = keyChar(event);
    if (ch.isNull())
        return true;
    if (isCommandChar(ch)) {
        // Escape, Enter: the grid's own commands, whatever the filter says of the character.
        return !OnKeyPress || guard([&] { OnKeyPress(target, ch); }, this);
    }
    const QChar typed = ch;
    if (OnKeyPress && !guard([&] { OnKeyPress(target, ch); }, this))
        return false;
    if (ch.isNull())
        return false;
    TField *f = SelectedField();
    if (ch.unicode() >= 32 && f && !f->isValidChar(ch))
        return false;
    if (ch != typed)
        replacement = std::make_unique<QKeyEvent>(QEvent::KeyPress, 0, event->modifiers(), QString(ch));
    return true;
}

QChar TDBGrid::filterChar(QChar ch)
{
    if (OnKeyPress)
        OnKeyPress(this, ch);
    TField *f = SelectedField();
    return ch.isNull() || (f && !f->isValidChar(ch)) ? QChar() : ch;
}

bool TDBGrid::editorKey(QWidget *editor, QKeyEvent *event)
{
    std::unique_ptr<QKeyEvent> replacement;
    if (!preprocessKey(event, this, replacement))
        return true; // cancelled
    if (event->key() == Qt::Key_Escape) {
        closeEditor(editor, QAbstractItemDelegate::RevertModelCache);
        guard([this] {
            if (TClientDataSet *ds = DataSet())
                ds->Cancel();
        }, this);
        return true;
    }
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && (event->modifiers() & Qt::ControlModifier)) {
        pressEditButton();
        return true;
    }
    if (replacement) {
        QApplication::sendEvent(editor, replacement.get());
        return true;
    }
    return false;
}

void TDBGrid::pressEditButton()
{
    // Ctrl+Enter: the keyboard's way to the column's edit button.
    if (OnEditButtonClick && m_col < columnCount() && Columns(m_col)->ButtonStyle == TColumnButtonStyle::cbsEllipsis)
        guard([this] { OnEditButtonClick(this); }, this);
}

void TDBGrid::deleteRecord()
{
    TClientDataSet *ds = DataSet();
    if (!ds || !ds->Active() || ds->IsEmpty())
        return;
    if (m_options & dgConfirmDelete) {
        const bool yes = OnConfirmDelete
                             ? OnConfirmDelete()
                             : Dialogs::confirm(QStringLiteral("Excluir o registro?"), QMessageBox::Yes | QMessageBox::No, this)
                                   == QMessageBox::Yes;
        if (!yes)
            return;
    }
    ds->Delete();
}

void TDBGrid::keyPressEvent(QKeyEvent *event)
{
    std::unique_ptr<QKeyEvent> replacement;
    if (!preprocessKey(event, this, replacement)) {
        event->accept();
        return;
    }
    QKeyEvent *e = replacement ? replacement.get() : event;
    TClientDataSet *ds = DataSet();
    const bool ctrl = e->modifiers() & Qt::ControlModifier;
    const bool canModify = ds && ds->Active() && (m_options & dgEditing);
    switch (e->key()) {
    case Qt::Key_Insert:
        if (canModify)
            guard([ds] { ds->Insert(); }, this);
        event->accept();
        return;
    case Qt::Key_Delete:
        if (ctrl) {
            guard([this] { deleteRecord(); }, this);
            event->accept();
            return;
        }
        break;
    case Qt::Key_Escape:
        if (ds && ds->editing())
            guard([ds] { ds->Cancel(); }, this);
        event->accept();
        return;
    case Qt::Key_Down:
        if (canModify && !ds->IsEmpty() && ds->RecNo() == ds->RecordCount() && !(ds->State() == DataSetState::dsInsert && !ds->Modified())) {
            guard([ds] { ds->Append(); }, this);
            event->accept();
            return;
        }
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (ctrl) {
            pressEditButton();
            event->accept();
            return;
        }
        if (canModify && currentIndex().isValid())
            edit(currentIndex(), QAbstractItemView::EditKeyPressed, e);
        event->accept();
        return;
    default:
        break;
    }
    QTableView::keyPressEvent(e);
}

void TDBGrid::mouseDoubleClickEvent(QMouseEvent *event)
{
    Q_UNUSED(event);
    if (OnDblClick)
        guard([this] { OnDblClick(this); }, this);
}

void TDBGrid::updateEditButton()
{
    const QModelIndex cur = currentIndex();
    const bool show = cur.isValid() && (m_options & dgEditing) && m_col < columnCount()
                      && Columns(m_col)->ButtonStyle == TColumnButtonStyle::cbsEllipsis && !isColumnHidden(m_col);
    if (!show) {
        m_editButton->hide();
        return;
    }
    const QRect r = visualRect(m_model->index(cur.row(), m_col));
    m_editButton->setGeometry(r.right() - r.height() + 1, r.top(), r.height(), r.height());
    m_editButton->show();
    m_editButton->raise();
}

void TDBGrid::resizeEvent(QResizeEvent *event)
{
    QTableView::resizeEvent(event);
    updateEditButton();
}

void TDBGrid::scrollContentsBy(int dx, int dy)
{
    QTableView::scrollContentsBy(dx, dy);
    updateEditButton();
}

void TDBGrid::focusInEvent(QFocusEvent *event)
{
    QTableView::focusInEvent(event);
    viewport()->update();
}

void TDBGrid::focusOutEvent(QFocusEvent *event)
{
    QTableView::focusOutEvent(event);
    viewport()->update();
}

} // namespace rt
