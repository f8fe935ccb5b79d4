#include "ClientDataSet.h"

#include "Exceptions.h"

#include <QLocale>
#include <algorithm>
#include <cmath>

namespace rt {

QChar decimalSeparator()
{
    const QString s = QLocale().decimalPoint();
    return s.isEmpty() ? QChar('.') : s.at(0);
}

QString stateName(DataSetState state)
{
    switch (state) {
    case DataSetState::dsInactive: return QStringLiteral("dsInactive");
    case DataSetState::dsBrowse: return QStringLiteral("dsBrowse");
    case DataSetState::dsEdit: return QStringLiteral("dsEdit");
    case DataSetState::dsInsert: return QStringLiteral("dsInsert");
    }
    return QString();
}

namespace {

QString floatToText(double v)
{
    QString s = QString::number(v, 'g', 15);
    return s.replace(QChar('.'), decimalSeparator());
}

bool isNullValue(const QVariant &v)
{
    return !v.isValid() || v.isNull();
}

} // namespace

// ---------------------------------------------------------------- TField

TField::TField(TClientDataSet *dataSet, int index, const QString &name, FieldType type, int size)
    : FieldName(name), DataType(type), Size(size), m_dataSet(dataSet), m_index(index)
{
}

void TField::setVisible(bool visible)
{
    if (m_visible == visible)
        return;
    m_visible = visible;
    m_dataSet->notifyLayoutChanged();
}

int TField::displayWidth() const
{
    if (DisplayWidth > 0)
        return DisplayWidth;
    return DataType == FieldType::String ? Size : 10;
}

QVariant TField::Value() const { return m_dataSet->currentValue(m_index); }
void TField::setValue(const QVariant &value) { m_dataSet->writeField(m_index, value); }
bool TField::IsNull() const { return isNullValue(Value()); }

QString TField::AsString() const
{
    const QVariant v = Value();
    if (isNullValue(v))
        return QString();
    if (DataType == FieldType::Float)
        return floatToText(v.toDouble());
    return v.toString();
}

void TField::setAsString(const QString &value)
{
    if (DataType == FieldType::Float) {
        const QString t = value.trimmed();
        if (t.isEmpty()) {
            setValue(QVariant());
            return;
        }
        QString normal = t;
        normal.replace(decimalSeparator(), QChar('.'));
        bool ok = false;
        const double d = normal.toDouble(&ok);
        if (!ok || !std::isfinite(d))
            throw Exception(QStringLiteral("'%1' não é um valor numérico válido.").arg(value));
        setValue(d);
        return;
    }
    setValue(value);
}

double TField::AsFloat() const
{
    const QVariant v = Value();
    if (isNullValue(v))
        return 0.0;
    if (DataType == FieldType::Float)
        return v.toDouble();
    bool ok = false;
    QString t = v.toString().trimmed();
    t.replace(decimalSeparator(), QChar('.'));
    const double d = t.toDouble(&ok);
    if (!ok)
        throw Exception(QStringLiteral("'%1' não é um valor numérico válido.").arg(v.toString()));
    return d;
}

void TField::setAsFloat(double value)
{
    if (DataType == FieldType::Float)
        setValue(value);
    else
        setValue(floatToText(value));
}

int TField::AsInteger() const
{
    const QVariant v = Value();
    if (isNullValue(v))
        return 0;
    if (DataType == FieldType::Float)
        return int(std::lround(v.toDouble()));
    bool ok = false;
    const int n = v.toString().trimmed().toInt(&ok, 10);
    if (!ok)
        throw Exception(QStringLiteral("'%1' não é um valor inteiro válido.").arg(v.toString()));
    return n;
}

QString TField::defaultText(bool displayText) const
{
    const QVariant v = Value();
    if (isNullValue(v))
        return QString();
    if (DataType == FieldType::Float) {
        if (!displayText && EditFormat == QLatin1String("#0"))
            return QString::number(std::llround(v.toDouble()));
        return floatToText(v.toDouble());
    }
    return v.toString();
}

QString TField::textFor(bool displayText) const
{
    if (OnGetText) {
        QString text;
        OnGetText(const_cast<TField &>(*this), text, displayText);
        return text;
    }
    return defaultText(displayText);
}

void TField::setText(const QString &text)
{
    if (OnSetText)
        OnSetText(*this, text);
    else
        setAsString(text);
}

bool TField::isValidChar(QChar c) const
{
    if (c.unicode() < 32)
        return true; // control keys
    if (DataType == FieldType::Float)
        return c.isDigit() || c == QChar('+') || c == QChar('-') || c == decimalSeparator() || c == QChar('E')
               || c == QChar('e');
    return true;
}

void TField::FocusControl() { m_dataSet->focusField(this); }

// ---------------------------------------------------------------- TClientDataSet

TClientDataSet::TClientDataSet(const QString &name) : Name(name) {}

TClientDataSet::~TClientDataSet()
{
    const auto sources = m_sources;
    for (TDataSource *s : sources)
        s->forgetDataSet();
}

TField *TClientDataSet::addField(const QString &name, FieldType type, int size)
{
    if (Active())
        throw Exception(QStringLiteral("%1: campos só podem ser declarados com o conjunto fechado.").arg(Name));
    if (FindField(name))
        throw Exception(QStringLiteral("%1: campo '%2' declarado duas vezes.").arg(Name, name));
    m_fields.push_back(std::make_unique<TField>(this, int(m_fields.size()), name, type, size));
    return m_fields.back().get();
}

TField *TClientDataSet::FindField(const QString &name) const
{
    for (const auto &f : m_fields)
        if (f->FieldName.compare(name, Qt::CaseInsensitive) == 0)
            return f.get();
    return nullptr;
}

TField *TClientDataSet::FieldByName(const QString &name) const
{
    if (TField *f = FindField(name))
        return f;
    throw Exception(QStringLiteral("%1: campo '%2' não encontrado.").arg(Name, name));
}

QVector<FieldDef> TClientDataSet::fieldDefs() const
{
    QVector<FieldDef> defs;
    for (const auto &f : m_fields)
        defs.append(FieldDef{f->FieldName, f->DataType, f->DataType == FieldType::String ? f->Size : 0});
    return defs;
}

void TClientDataSet::requireActive() const
{
    if (!Active())
        throw Exception(QStringLiteral("%1: o conjunto de dados está fechado.").arg(Name));
}

Row TClientDataSet::emptyRow() const { return Row(int(m_fields.size())); }

void TClientDataSet::SetData(const DataPacket &packet)
{
    // Bind first, so that a packet that does not fit changes nothing.
    QVector<int> columns;
    for (const auto &f : m_fields) {
        const int c = packet.indexOf(f->FieldName);
        if (c < 0)
            throw Exception(QStringLiteral("%1: o pacote de dados não traz o campo '%2'.").arg(Name, f->FieldName));
        columns.append(c);
    }
    std::vector<Record> rows;
    rows.reserve(size_t(packet.rows.size()));
    for (const Row &in : packet.rows) {
        Record r;
        r.id = m_nextId++;
        r.values = emptyRow();
        for (int i = 0; i < columns.size(); ++i) {
            const QVariant &v = in.at(columns.at(i));
            if (isNullValue(v))
                continue;
            if (m_fields[size_t(i)]->DataType == FieldType::Float) {
                bool ok = false;
                const double d = v.toDouble(&ok);
                if (!ok)
                    throw Exception(QStringLiteral("%1: valor inválido no campo '%2'.").arg(Name, m_fields[size_t(i)]->FieldName));
                r.values[i] = d;
            } else {
                const QString s = v.toString();
                if (!s.isEmpty())
                    r.values[i] = s;
            }
        }
        rows.push_back(std::move(r));
    }

    m_buffer.clear();
    m_modified = false;
    m_rows = rows;
    m_base = std::move(rows);
    m_deleted.clear();
    m_current = m_rows.empty() ? -1 : 0;
    m_bof = true;
    m_eof = m_rows.empty();
    setState(DataSetState::dsBrowse);
    notifyData(nullptr);
    if (AfterOpen)
        AfterOpen(*this);
}

DataPacket TClientDataSet::Data() const
{
    DataPacket p;
    p.fields = fieldDefs();
    for (const Record &r : m_rows)
        p.rows.append(r.values);
    return p;
}

void TClientDataSet::Close()
{
    m_rows.clear();
    m_base.clear();
    m_deleted.clear();
    m_buffer.clear();
    m_current = -1;
    m_bof = m_eof = true;
    setState(DataSetState::dsInactive);
    notifyData(nullptr);
}

void TClientDataSet::setState(DataSetState state)
{
    if (m_state == state)
        return;
    m_state = state;
    const auto sources = m_sources;
    for (TDataSource *s : sources)
        s->notifyState();
}

void TClientDataSet::notifyData(TField *field)
{
    const auto sources = m_sources;
    for (TDataSource *s : sources)
        s->notifyData(field);
}

void TClientDataSet::updateControls()
{
    const auto sources = m_sources;
    for (TDataSource *s : sources)
        s->notifyUpdateData();
}

void TClientDataSet::notifyLayoutChanged()
{
    const auto sources = m_sources;
    for (TDataSource *s : sources)
        s->notifyLayout();
}

void TClientDataSet::focusField(TField *field)
{
    for (TDataSource *s : std::as_const(m_sources))
        if (s->notifyFocus(field))
            return;
}

void TClientDataSet::settle()
{
    if (!editing())
        return;
    updateControls();
    if (m_modified)
        Post();
    else
        Cancel();
}

void TClientDataSet::insertAt(int position)
{
    requireActive();
    settle();
    Record r;
    r.id = m_nextId++;
    r.values = emptyRow();
    r.status = Record::Inserted;
    position = std::clamp(position, 0, int(m_rows.size()));
    m_rows.insert(m_rows.begin() + position, r);
    m_current = position;
    m_bof = m_eof = false;
    m_buffer = emptyRow();
    m_modified = false;
    setState(DataSetState::dsInsert);
    m_inNewRecord = true;
    try {
        if (OnNewRecord)
            OnNewRecord(*this);
    } catch (...) {
        m_inNewRecord = false;
        Cancel();
        throw;
    }
    m_inNewRecord = false;
    m_modified = false;
    notifyData(nullptr);
    if (AfterInsert)
        AfterInsert(*this);
}

void TClientDataSet::Insert()
{
    requireActive();
    settle();
    insertAt(m_current < 0 ? 0 : m_current);
}

void TClientDataSet::Append()
{
    requireActive();
    settle();
    insertAt(int(m_rows.size()));
}

void TClientDataSet::Edit()
{
    requireActive();
    if (editing())
        return;
    if (m_rows.empty()) {
        Insert();
        return;
    }
    m_buffer = m_rows[size_t(m_current)].values;
    m_modified = false;
    setState(DataSetState::dsEdit);
}

const TClientDataSet::Record *TClientDataSet::baseRecord(quint64 id) const
{
    for (const Record &b : m_base)
        if (b.id == id)
            return &b;
    return nullptr;
}

TClientDataSet::Record::Status TClientDataSet::statusAgainstBase(const Record &r) const
{
    const Record *b = baseRecord(r.id);
    if (!b)
        return Record::Inserted;
    for (int i = 0; i < r.values.size(); ++i)
        if (!sameValue(r.values.at(i), b->values.at(i)))
            return Record::Modified;
    return Record::Unchanged;
}

void TClientDataSet::Post()
{
    requireActive();
    if (!editing())
        return;
    updateControls();
    if (BeforePost) {
        BeforePost(*this);
        updateControls(); // what the checks wrote through the controls is part of the record too
    }
    Record &r = m_rows[size_t(m_current)];
    r.values = m_buffer;
    r.status = statusAgainstBase(r);
    m_buffer.clear();
    m_modified = false;
    if (!m_logChanges)
        MergeChangeLog();
    setState(DataSetState::dsBrowse);
    notifyData(nullptr);
    if (AfterPost)
        AfterPost(*this);
}

void TClientDataSet::Cancel()
{
    if (!editing())
        return;
    if (m_state == DataSetState::dsInsert) {
        m_rows.erase(m_rows.begin() + m_current);
        if (m_current >= int(m_rows.size()))
            m_current = int(m_rows.size()) - 1;
        m_eof = m_rows.empty();
    }
    m_buffer.clear();
    m_modified = false;
    setState(DataSetState::dsBrowse);
    notifyData(nullptr);
    if (AfterCancel)
        AfterCancel(*this);
}

void TClientDataSet::Delete()
{
    requireActive();
    if (m_state == DataSetState::dsInsert) {
        Cancel();
        return;
    }
    if (m_rows.empty())
        throw Exception(QStringLiteral("%1: não há registro para excluir.").arg(Name));
    if (m_state == DataSetState::dsEdit) {
        m_buffer.clear();
        m_modified = false;
        setState(DataSetState::dsBrowse);
    }
    const Record removed = m_rows[size_t(m_current)];
    m_rows.erase(m_rows.begin() + m_current);
    if (const Record *b = baseRecord(removed.id)) {
        m_deleted.push_back(*b);
        if (!m_logChanges)
            MergeChangeLog();
    }
    if (m_current >= int(m_rows.size()))
        m_current = int(m_rows.size()) - 1;
    m_eof = m_rows.empty();
    notifyData(nullptr);
    if (AfterDelete)
        AfterDelete(*this);
}

void TClientDataSet::moveTo(int index)
{
    requireActive();
    settle();
    if (m_rows.empty()) {
        m_bof = m_eof = true;
        return;
    }
    m_bof = index < 0;
    m_eof = index >= int(m_rows.size());
    const int target = std::clamp(index, 0, int(m_rows.size()) - 1);
    const bool moved = target != m_current;
    m_current = target;
    if (moved) {
        notifyData(nullptr);
        if (AfterScroll)
            AfterScroll(*this);
    }
}

void TClientDataSet::First() { moveTo(0); }
void TClientDataSet::Last() { moveTo(int(m_rows.size()) - 1); }
void TClientDataSet::Next() { moveTo(m_current + 1); }
void TClientDataSet::Prior() { moveTo(m_current - 1); }
void TClientDataSet::setRecNo(int recNo) { moveTo(recNo - 1); }

int TClientDataSet::GetChangeCount() const
{
    int n = int(m_deleted.size());
    for (int i = 0; i < int(m_rows.size()); ++i) {
        if (m_state == DataSetState::dsInsert && i == m_current)
            continue; // not posted yet
        if (m_rows[size_t(i)].status != Record::Unchanged)
            ++n;
    }
    return n;
}

Delta TClientDataSet::GetDelta() const
{
    Delta d;
    d.fields = fieldDefs();
    // Deletions first, so that a key deleted and inserted again applies in order.
    for (const Record &b : m_deleted)
        d.changes.append(Change{ChangeKind::Delete, b.values, {}});
    for (int i = 0; i < int(m_rows.size()); ++i) {
        const Record &r = m_rows[size_t(i)];
        if (m_state == DataSetState::dsInsert && i == m_current)
            continue; // not posted yet
        if (r.status == Record::Modified)
            d.changes.append(Change{ChangeKind::Modify, baseRecord(r.id)->values, r.values});
    }
    for (int i = 0; i < int(m_rows.size()); ++i) {
        const Record &r = m_rows[size_t(i)];
        if (m_state == DataSetState::dsInsert && i == m_current)
            continue;
        if (r.status == Record::Inserted)
            d.changes.append(Change{ChangeKind::Insert, {}, r.values});
    }
    return d;
}

void TClientDataSet::MergeChangeLog()
{
    std::vector<Record> base;
    base.reserve(m_rows.size());
    for (int i = 0; i < int(m_rows.size()); ++i) {
        Record &r = m_rows[size_t(i)];
        if (m_state == DataSetState::dsInsert && i == m_current)
            continue; // the unposted insert stays pending
        r.status = Record::Unchanged;
        base.push_back(r);
    }
    m_base = std::move(base);
    m_deleted.clear();
}

void TClientDataSet::CancelUpdates()
{
    requireActive();
    const bool hadEdit = editing();
    m_buffer.clear();
    m_modified = false;
    m_rows = m_base;
    m_deleted.clear();
    if (m_rows.empty())
        m_current = -1;
    else
        m_current = std::clamp(m_current, 0, int(m_rows.size()) - 1);
    m_bof = m_current <= 0;
    m_eof = m_rows.empty();
    if (hadEdit)
        setState(DataSetState::dsBrowse);
    notifyData(nullptr);
}

QVariant TClientDataSet::currentValue(int fieldIndex) const
{
    if (m_peekRow >= 0 && !(editing() && m_peekRow == m_current))
        return m_rows[size_t(m_peekRow)].values.at(fieldIndex);
    if (editing())
        return m_buffer.at(fieldIndex);
    if (m_current < 0 || m_current >= int(m_rows.size()))
        return QVariant();
    return m_rows[size_t(m_current)].values.at(fieldIndex);
}

QVariant TClientDataSet::valueAt(int row, int fieldIndex) const
{
    if (editing() && row == m_current)
        return m_buffer.at(fieldIndex);
    return m_rows.at(size_t(row)).values.at(fieldIndex);
}

void TClientDataSet::withRecord(int row, const std::function<void()> &code) const
{
    auto *self = const_cast<TClientDataSet *>(this);
    const int saved = m_peekRow;
    self->m_peekRow = row;
    struct Restore { TClientDataSet *ds; int v; ~Restore() { ds->m_peekRow = v; } } restore{self, saved};
    code();
}

QString TClientDataSet::displayTextAt(int row, int fieldIndex) const
{
    // As withRecord does, without a function object per cell (lists read many).
    auto *self = const_cast<TClientDataSet *>(this);
    const int saved = m_peekRow;
    self->m_peekRow = row;
    struct Restore { TClientDataSet *ds; int v; ~Restore() { ds->m_peekRow = v; } } restore{self, saved};
    return m_fields[size_t(fieldIndex)]->DisplayText();
}

void TClientDataSet::writeField(int fieldIndex, const QVariant &value)
{
    TField *f = m_fields[size_t(fieldIndex)].get();
    if (!editing())
        throw Exception(QStringLiteral("%1: o conjunto de dados não está em modo de edição ou inclusão.").arg(Name));
    if (f->ReadOnly)
        throw Exception(QStringLiteral("O campo '%1' não pode ser modificado.").arg(f->displayName()));
    QVariant v;
    if (!isNullValue(value)) {
        if (f->DataType == FieldType::Float) {
            bool ok = false;
            const double d = value.toDouble(&ok);
            if (!ok || !std::isfinite(d))
                throw Exception(QStringLiteral("'%1' não é um valor numérico válido.").arg(value.toString()));
            v = d;
        } else {
            QString s = value.typeId() == QMetaType::Double ? QString::number(value.toDouble(), 'g', 15) : value.toString();
            if (f->Size > 0 && s.size() > f->Size)
                s.truncate(f->Size);
            if (!s.isEmpty())
                v = s;
        }
    }
    m_buffer[fieldIndex] = v;
    if (!m_inNewRecord)
        m_modified = true;
    notifyData(f);
}

void TClientDataSet::attach(TDataSource *source)
{
    if (!m_sources.contains(source))
        m_sources.append(source);
}

void TClientDataSet::detach(TDataSource *source) { m_sources.removeAll(source); }

// ---------------------------------------------------------------- TDataLink / TDataSource

TDataLink::~TDataLink()
{
    if (m_source)
        m_source->removeLink(this);
}

void TDataLink::setDataSource(TDataSource *source)
{
    if (m_source == source)
        return;
    if (m_source)
        m_source->removeLink(this);
    m_source = source;
    if (m_source)
        m_source->addLink(this);
}

TDataSource::TDataSource(const QString &name, TClientDataSet *dataSet) : Name(name) { setDataSet(dataSet); }

TDataSource::~TDataSource()
{
    if (m_dataSet)
        m_dataSet->detach(this);
    const auto links = m_links;
    for (TDataLink *l : links)
        l->setDataSource(nullptr);
}

void TDataSource::setDataSet(TClientDataSet *dataSet)
{
    if (m_dataSet == dataSet)
        return;
    if (m_dataSet)
        m_dataSet->detach(this);
    m_dataSet = dataSet;
    if (m_dataSet)
        m_dataSet->attach(this);
    notifyLayout();
    notifyState();
    notifyData(nullptr);
}

void TDataSource::forgetDataSet() { m_dataSet = nullptr; }

int TDataSource::addStateListener(std::function<void()> listener)
{
    m_stateListeners.append(std::move(listener));
    return int(m_stateListeners.size()) - 1;
}

void TDataSource::notifyState()
{
    const auto links = m_links;
    for (TDataLink *l : links)
        if (m_links.contains(l))
            l->stateChanged();
    for (const auto &listener : std::as_const(m_stateListeners))
        listener();
    if (OnStateChange)
        OnStateChange(*this);
}

void TDataSource::notifyData(TField *field)
{
    const auto links = m_links;
    for (TDataLink *l : links)
        if (m_links.contains(l))
            l->dataChanged(field);
    if (OnDataChange)
        OnDataChange(*this, field);
}

void TDataSource::notifyUpdateData()
{
    const auto links = m_links;
    for (TDataLink *l : links)
        if (m_links.contains(l))
            l->updateData();
}

bool TDataSource::notifyFocus(TField *field)
{
    const auto links = m_links;
    for (TDataLink *l : links)
        if (m_links.contains(l) && l->focusField(field))
            return true;
    return false;
}

void TDataSource::notifyLayout()
{
    const auto links = m_links;
    for (TDataLink *l : links)
        if (m_links.contains(l))
            l->layoutChanged();
}

void TDataSource::addLink(TDataLink *link)
{
    if (!m_links.contains(link))
        m_links.append(link);
}

void TDataSource::removeLink(TDataLink *link) { m_links.removeAll(link); }

} // namespace rt
