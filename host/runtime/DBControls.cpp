#include "DBControls.h"

#include "Dialogs.h"
#include "Exceptions.h"
#include "Keys.h"

#include <QAbstractButton>
#include <QGridLayout>
#include <QKeyEvent>
#include <QRadioButton>

namespace rt {

QColor clBtnFace() { return QColor(240, 240, 240); }
QColor clWindow() { return QColor(255, 255, 255); }
QColor clInfoBk() { return QColor(255, 255, 225); }

// ---------------------------------------------------------------- TFieldDataLink

TField *TFieldDataLink::Field() const
{
    TClientDataSet *ds = DataSet();
    return ds && !DataField.isEmpty() ? ds->FindField(DataField) : nullptr;
}

bool TFieldDataLink::Edit()
{
    TClientDataSet *ds = DataSet();
    TField *f = Field();
    if (!ds || !ds->Active() || !f || f->ReadOnly)
        return false;
    if (!ds->editing() && dataSource()->AutoEdit)
        ds->Edit();
    return ds->editing();
}

namespace {

// FocusControl: the control showing the field takes the focus, when it can.
bool focusIfShowing(QWidget *control, TField *asked, TField *shown)
{
    if (asked != shown || !control->isVisible() || !control->isEnabled())
        return false;
    control->setFocus(Qt::OtherFocusReason);
    return true;
}

} // namespace

// ---------------------------------------------------------------- TDBEdit

namespace {

// The field's mask notation has 0 for a required digit and 9 for an optional one; Qt the reverse.
QString qtInputMask(const QString &editMask)
{
    if (editMask.isEmpty())
        return QString();
    const QStringList parts = editMask.split(QLatin1Char(';'));
    QString mask;
    for (QChar c : parts.at(0)) {
        if (c == QLatin1Char('0'))
            mask += QLatin1Char('9');
        else if (c == QLatin1Char('9'))
            mask += QLatin1Char('0');
        else
            mask += c;
    }
    const QString blank = parts.size() > 2 && !parts.at(2).isEmpty() ? parts.at(2).left(1) : QStringLiteral("_");
    return mask + QLatin1Char(';') + blank;
}

} // namespace

TDBEdit::TDBEdit(QWidget *parent) : TFilteredLineEdit(parent), m_color(clWindow())
{
    // A paste passes the same filters as typing, and starts the edit first.
    CharFilter = [this](QChar c) {
        if (OnKeyPress)
            OnKeyPress(this, c);
        TField *f = Field();
        return c.isNull() || (f && !f->isValidChar(c)) ? QChar() : c;
    };
    BeforePaste = [this] { return Edit(); };
    connect(this, &QLineEdit::textChanged, this, [this] {
        if (m_refreshing)
            return;
        guard([this] {
            if (OnChange)
                OnChange(this);
        }, this);
    });
    connect(this, &QLineEdit::textEdited, this, [this] { m_modified = true; });
    applyColor();
}

void TDBEdit::setDataSource(TDataSource *source, const QString &field)
{
    DataField = field;
    TDataLink::setDataSource(source);
    applyMask();
    refresh();
}

void TDBEdit::setMaxLength(int length)
{
    m_maxLength = length;
    applyMask();
}

void TDBEdit::applyMask()
{
    TField *f = Field();
    const QString mask = f ? qtInputMask(f->EditMask) : QString();
    if (inputMask() != mask)
        setInputMask(mask);
    if (mask.isEmpty()) {
        int len = m_maxLength;
        if (len <= 0 && f && f->DataType == FieldType::String && f->Size > 0)
            len = f->Size;
        QLineEdit::setMaxLength(len > 0 ? len : 32767);
    }
    applyColor();
}

void TDBEdit::setColor(const QColor &color)
{
    m_color = color;
    applyColor();
}

void TDBEdit::applyColor()
{
    TField *f = Field();
    const bool face = !isEnabled() || isReadOnly() || (f && f->ReadOnly);
    const QColor c = face ? clBtnFace() : m_color;
    const QColor nameText(64, 64, 64); // a name shown, not a control switched off
    const auto groups = {QPalette::Active, QPalette::Inactive, QPalette::Disabled};
    // Every refresh asks: nothing to set when the colours are already these.
    const QPalette &now = palette();
    bool same = testAttribute(Qt::WA_SetPalette) && now.isBrushSet(QPalette::Disabled, QPalette::Text)
                && now.brush(QPalette::Disabled, QPalette::Text) == QBrush(nameText);
    for (auto group : groups)
        same = same && now.isBrushSet(group, QPalette::Base) && now.brush(group, QPalette::Base) == QBrush(c);
    if (same)
        return;
    QPalette p = now;
    for (auto group : groups)
        p.setColor(group, QPalette::Base, c);
    p.setColor(QPalette::Disabled, QPalette::Text, nameText);
    setPalette(p);
}

void TDBEdit::changeEvent(QEvent *event)
{
    QLineEdit::changeEvent(event);
    if (event->type() == QEvent::EnabledChange)
        applyColor();
}

void TDBEdit::refresh()
{
    TField *f = Field();
    TClientDataSet *ds = DataSet();
    QString t;
    if (f && ds && ds->Active())
        t = f->textFor(!(hasFocus() && ds->editing()));
    m_modified = false;
    applyColor();
    if (t == text())
        return;
    m_refreshing = true;
    QLineEdit::setText(t);
    m_refreshing = false;
    if (OnChange)
        OnChange(this);
}

void TDBEdit::Reset() { refresh(); }

void TDBEdit::setText(const QString &t)
{
    if (t == text())
        return;
    m_refreshing = true;
    QLineEdit::setText(t);
    m_refreshing = false;
    m_modified = Editing();
    if (OnChange)
        OnChange(this);
}

void TDBEdit::stateChanged() { refresh(); }

void TDBEdit::dataChanged(TField *field)
{
    if (!field || field == Field())
        refresh();
}

void TDBEdit::updateData()
{
    TField *f = Field();
    if (!m_modified || !f || !Editing())
        return;
    f->setText(text());
    m_modified = false;
}

bool TDBEdit::focusField(TField *field) { return focusIfShowing(this, field, Field()); }

void TDBEdit::focusInEvent(QFocusEvent *event)
{
    QLineEdit::focusInEvent(event);
    if (!m_modified)
        guard([this] { refresh(); }, this);
}

void TDBEdit::focusOutEvent(QFocusEvent *event) { QLineEdit::focusOutEvent(event); }

void TDBEdit::writePending()
{
    updateData();
    if (!m_modified && Editing())
        refresh(); // the edit text gives way to the display text
}

void TDBEdit::keyPressEvent(QKeyEvent *event)
{
    if (event->matches(QKeySequence::Paste)) {
        TFilteredLineEdit::keyPressEvent(event); // filtered, and starts the edit
        return;
    }
    const bool cut = event->matches(QKeySequence::Cut);
    const bool del = event->key() == Qt::Key_Delete;
    QChar key = keyChar(event);
    bool ok = true;
    if (!key.isNull() && isCommandChar(key)) {
        // Escape and Enter: the filters see them, the edit acts on them all the same.
        QChar seen = key;
        if (!guard([&] {
                if (OnKeyPress)
                    OnKeyPress(this, seen);
            }, this)) {
            event->accept();
            return;
        }
        if (key.unicode() == 27) {
            guard([this] { Reset(); }, this);
            selectAll();
            event->accept();
            return;
        }
        QLineEdit::keyPressEvent(event);
        return;
    }
    if (!key.isNull()) {
        const QChar typed = key;
        ok = guard([&] {
            if (OnKeyPress)
                OnKeyPress(this, key);
        }, this);
        if (!ok || key.isNull()) {
            event->accept();
            return;
        }
        TField *f = Field();
        if (key.unicode() >= 32 && f && !f->isValidChar(key)) {
            event->accept();
            return;
        }
        if (key != typed) {
            // The handler replaced the character: type the replacement instead.
            QKeyEvent other(QEvent::KeyPress, 0, event->modifiers(), QString(key));
            if (key.unicode() >= 32 || key.unicode() == 8) {
                bool editing = false;
                if (!guard([&] { editing = Edit(); }, this) || !editing)
                    return;
            }
            QLineEdit::keyPressEvent(&other);
            return;
        }
    }
    if ((!key.isNull() && (key.unicode() >= 32 || key.unicode() == 8)) || cut || del) {
        bool editing = false;
        if (!guard([&] { editing = Edit(); }, this) || !editing) {
            event->accept();
            return;
        }
    }
    QLineEdit::keyPressEvent(event);
}

// ---------------------------------------------------------------- TDBComboBox

TDBComboBox::TDBComboBox(QWidget *parent) : QComboBox(parent)
{
    setEditable(false);
    connect(this, &QComboBox::activated, this, [this](int index) { guard([&] { choose(index); }, this); });
}

void TDBComboBox::setDataSource(TDataSource *source, const QString &field)
{
    DataField = field;
    TDataLink::setDataSource(source);
    refresh();
}

void TDBComboBox::setItems(const QStringList &items)
{
    clear();
    addItems(items);
    refresh();
}

QStringList TDBComboBox::Items() const
{
    QStringList out;
    for (int i = 0; i < count(); ++i)
        out << itemText(i);
    return out;
}

void TDBComboBox::refresh()
{
    if (m_choosing)
        return;
    TField *f = Field();
    TClientDataSet *ds = DataSet();
    int index = -1;
    if (f && ds && ds->Active() && !ds->IsEmpty()) {
        // An empty text selects the empty item where there is one: it looks the same as
        // no selection, and the arrow keys go on from it instead of starting over.
        const QString t = f->Text();
        for (int i = 0; i < count(); ++i)
            if (itemText(i) == t) {
                index = i;
                break;
            }
    }
    setCurrentIndex(index);
}

void TDBComboBox::dataChanged(TField *field)
{
    if (!field || field == Field())
        refresh();
}

void TDBComboBox::choose(int index)
{
    struct Done { TDBComboBox *c; ~Done() { c->m_choosing = false; c->refresh(); } };
    {
        if (!Edit())
            return refresh();
        m_choosing = true;
        Done done{this};
        setCurrentIndex(index); // the set-text hook reads the current item
        Field()->setText(itemText(index));
    }
}

bool TDBComboBox::focusField(TField *field) { return focusIfShowing(this, field, Field()); }

// ---------------------------------------------------------------- TDBCheckBox

TDBCheckBox::TDBCheckBox(QWidget *parent) : QCheckBox(parent)
{
    connect(this, &QCheckBox::stateChanged, this, [this] {
        guard([this] {
            if (OnClick)
                OnClick(this);
        }, this);
    });
}

void TDBCheckBox::setDataSource(TDataSource *source, const QString &field)
{
    DataField = field;
    TDataLink::setDataSource(source);
    refresh();
}

void TDBCheckBox::refresh()
{
    TField *f = Field();
    TClientDataSet *ds = DataSet();
    if (!f || !ds || !ds->Active()) {
        setCheckState(Qt::Unchecked);
        return;
    }
    const QString v = f->AsString();
    if (v == ValueChecked)
        setCheckState(Qt::Checked);
    else if (v == ValueUnchecked)
        setCheckState(Qt::Unchecked);
    else
        setCheckState(Qt::PartiallyChecked);
}

void TDBCheckBox::dataChanged(TField *field)
{
    if (!field || field == Field())
        refresh();
}

void TDBCheckBox::nextCheckState()
{
    guard([this] {
        const bool check = checkState() != Qt::Checked;
        if (!Edit())
            return;
        Field()->setAsString(check ? ValueChecked : ValueUnchecked);
    }, this);
}

bool TDBCheckBox::focusField(TField *field) { return focusIfShowing(this, field, Field()); }

// ---------------------------------------------------------------- TRadioGroup

TRadioGroup::TRadioGroup(QWidget *parent) : QGroupBox(parent)
{
    m_group.setExclusive(true);
    connect(&m_group, &QButtonGroup::idClicked, this, [this] {
        guard([this] {
            if (OnClick)
                OnClick(this);
        }, this);
    });
    new QGridLayout(this);
}

void TRadioGroup::setItems(const QStringList &items, int columns)
{
    for (QAbstractButton *b : m_group.buttons()) {
        m_group.removeButton(b);
        delete b;
    }
    m_items = items;
    m_columns = std::max(1, columns);
    auto *grid = static_cast<QGridLayout *>(layout());
    const int rows = (int(items.size()) + m_columns - 1) / m_columns;
    for (int i = 0; i < items.size(); ++i) {
        auto *b = new QRadioButton(items.at(i), this);
        b->setObjectName(QStringLiteral("%1_item%2").arg(objectName()).arg(i));
        m_group.addButton(b, i);
        grid->addWidget(b, rows ? i % rows : 0, rows ? i / rows : 0);
    }
}

int TRadioGroup::ItemIndex() const { return m_group.checkedId(); }

QAbstractButton *TRadioGroup::button(int index) const { return m_group.button(index); }

void TRadioGroup::setItemIndex(int index)
{
    if (index >= 0 && index < m_items.size()) {
        m_group.button(index)->setChecked(true);
        return;
    }
    m_group.setExclusive(false);
    for (QAbstractButton *b : m_group.buttons())
        b->setChecked(false);
    m_group.setExclusive(true);
}

} // namespace rt
