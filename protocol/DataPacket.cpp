#include "DataPacket.h"
#include "JsonRead.h"

#include "Exceptions.h"
#include "JsonRpc.h"

#include <QSet>
#include <QUtf8StringView>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <vector>
#include <rapidjson/memorystream.h>
#include <rapidjson/error/en.h>
#include <rapidjson/reader.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

namespace rt {

namespace {

[[noreturn]] void malformed(const QString &what)
{
    throw Exception(QStringLiteral("Pacote de dados inválido: %1").arg(what));
}

// Hands a reader's events to the document, each number read from its text
// exactly (RapidJSON's own reading of a double may miss by a unit in the
// last place, and a value checked against the stored one must not), and no
// deeper than Qt's reader goes.
template <class Document>
class ExactNumbers
{
public:
    static constexpr int MaxDepth = 1024;
    explicit ExactNumbers(Document &doc) : m_doc(doc) {}
    bool outOfRange() const { return m_outOfRange; }
    bool tooDeep() const { return m_depth > MaxDepth; }

    bool Null() { return m_doc.Null(); }
    bool Bool(bool b) { return m_doc.Bool(b); }
    bool Int(int i) { return m_doc.Int(i); }
    bool Uint(unsigned u) { return m_doc.Uint(u); }
    bool Int64(int64_t i) { return m_doc.Int64(i); }
    bool Uint64(uint64_t u) { return m_doc.Uint64(u); }
    bool Double(double d) { return m_doc.Double(d); }
    bool RawNumber(const char *text, rapidjson::SizeType length, bool)
    {
        const char *end = text + length;
        if (std::none_of(text, end, [](char c) { return c == '.' || c == 'e' || c == 'E'; })) {
            int64_t i = 0;
            if (const auto r = std::from_chars(text, end, i); r.ec == std::errc() && r.ptr == end)
                return m_doc.Int64(i);
            uint64_t u = 0;
            if (const auto r = std::from_chars(text, end, u); r.ec == std::errc() && r.ptr == end)
                return m_doc.Uint64(u);
        }
        double d = 0;
        const auto r = std::from_chars(text, end, d);
        if (r.ec != std::errc() || r.ptr != end || !std::isfinite(d)) {
            m_outOfRange = true;
            return false;
        }
        return m_doc.Double(d);
    }
    bool String(const char *s, rapidjson::SizeType length, bool copy) { return m_doc.String(s, length, copy); }
    bool StartObject() { return ++m_depth <= MaxDepth && m_doc.StartObject(); }
    bool Key(const char *s, rapidjson::SizeType length, bool copy) { return m_doc.Key(s, length, copy); }
    bool EndObject(rapidjson::SizeType members) { --m_depth; return m_doc.EndObject(members); }
    bool StartArray() { return ++m_depth <= MaxDepth && m_doc.StartArray(); }
    bool EndArray(rapidjson::SizeType items) { --m_depth; return m_doc.EndArray(items); }

private:
    Document &m_doc;
    bool m_outOfRange = false;
    int m_depth = 0;
};

QJsonArray fieldsToJson(const QVector<FieldDef> &fields)
{
    QJsonArray out;
    for (const FieldDef &f : fields) {
        QJsonObject o{{"name", f.name}, {"type", fieldTypeName(f.type)}};
        if (f.type == FieldType::String)
            o.insert("size", f.size);
        out.append(o);
    }
    return out;
}

// A JSON value as the packet's readers see it, whichever parser made it: Qt's
// (the client) or RapidJSON's (the service's requests). A member or item that
// is not there reads as undefined.
class QtJson
{
public:
    explicit QtJson(const QJsonValue &v) : m_v(v) {}
    bool isArray() const { return m_v.isArray(); }
    bool isNull() const { return m_v.isNull() || m_v.isUndefined(); }
    bool isString() const { return m_v.isString(); }
    bool isNumber() const { return m_v.isDouble(); }
    QString string() const { return m_v.toString(); }
    bool is(QLatin1StringView text) const { return m_v.isString() && m_v.toString() == text; }
    double number() const { return m_v.toDouble(); }
    int intOr(int fallback) const { return m_v.toInt(fallback); }
    qsizetype size() const { return m_v.toArray().size(); }
    QtJson member(const char *name) const { return QtJson(m_v.toObject().value(QLatin1String(name))); }
    bool operator==(const QtJson &other) const { return m_v == other.m_v; }
    template <class F> void forEach(F &&f) const
    {
        for (const QJsonValue &item : m_v.toArray())
            f(QtJson(item));
    }

private:
    QJsonValue m_v;
};

class RapidJson
{
public:
    explicit RapidJson(const rapidjson::Value *v) : m_v(v) {}
    bool isArray() const { return m_v && m_v->IsArray(); }
    bool isNull() const { return !m_v || m_v->IsNull(); }
    bool isString() const { return m_v && m_v->IsString(); }
    bool isNumber() const { return m_v && m_v->IsNumber(); }
    QString string() const { return isString() ? textOf(*m_v) : QString(); }
    bool is(QLatin1StringView text) const
    {
        return isString() && m_v->GetStringLength() == rapidjson::SizeType(text.size())
               && std::memcmp(m_v->GetString(), text.data(), size_t(text.size())) == 0;
    }
    double number() const { return isNumber() ? m_v->GetDouble() : 0; }
    int intOr(int fallback) const
    {
        if (!isNumber())
            return fallback;
        const double d = m_v->GetDouble();
        return d == std::trunc(d) && d >= double(std::numeric_limits<int>::min()) && d <= double(std::numeric_limits<int>::max()) ? int(d)
                                                                                                                                    : fallback;
    }
    qsizetype size() const { return isArray() ? qsizetype(m_v->Size()) : 0; }
    RapidJson member(const char *name) const { return RapidJson(m_v && m_v->IsObject() ? memberOf(*m_v, name) : nullptr); }
    bool operator==(const RapidJson &other) const { return m_v && other.m_v && *m_v == *other.m_v; }
    template <class F> void forEach(F &&f) const
    {
        if (isArray())
            for (const rapidjson::Value &item : m_v->GetArray())
                f(RapidJson(&item));
    }
    const rapidjson::Value *value() const { return m_v; }

private:
    const rapidjson::Value *m_v;
};

template <class J>
QVector<FieldDef> fieldsFrom(const J &value)
{
    if (!value.isArray())
        malformed(QStringLiteral("'fields' deve ser uma lista"));
    QVector<FieldDef> fields;
    fields.reserve(value.size());
    QSet<QString> names;
    names.reserve(value.size());
    value.forEach([&](const J &o) {
        FieldDef f;
        f.name = o.member("name").string();
        if (f.name.isEmpty())
            malformed(QStringLiteral("campo sem nome"));
        const J type = o.member("type");
        if (type.is(QLatin1StringView("string"))) {
            f.type = FieldType::String;
            f.size = o.member("size").intOr(-1);
            if (f.size <= 0)
                malformed(QStringLiteral("campo '%1' sem tamanho").arg(f.name));
        } else if (type.is(QLatin1StringView("float"))) {
            f.type = FieldType::Float;
        } else {
            malformed(QStringLiteral("tipo '%1' do campo '%2'").arg(type.string(), f.name));
        }
        const qsizetype known = names.size();
        names.insert(f.name);
        if (names.size() == known)
            malformed(QStringLiteral("campo '%1' repetido").arg(f.name));
        fields.append(f);
    });
    return fields;
}

// The last field list read on this thread from RapidJSON's values, and its
// names as sent. A client sends the same list with every change, and making
// it anew (its names as Qt's strings, checked for repeats) was a third of the
// reading of a delta: a list equal to it, name by name, type by type and size
// by size, is answered with it.
struct LastFields
{
    QVector<FieldDef> fields;
    std::vector<std::string> names; // UTF-8, as sent
};
thread_local LastFields t_lastFields;

bool isLastFields(const rapidjson::Value &list)
{
    const LastFields &last = t_lastFields;
    if (!list.IsArray() || list.Size() != size_t(last.fields.size()) || last.fields.isEmpty())
        return false;
    for (rapidjson::SizeType i = 0; i < list.Size(); ++i) {
        if (!list[i].IsObject())
            return false;
        const FieldDef &f = last.fields.at(i);
        const RapidJson item(&list[i]);
        const RapidJson name = item.member("name");
        if (!name.isString() || std::string_view(name.value()->GetString(), name.value()->GetStringLength()) != last.names.at(i))
            return false;
        if (!item.member("type").is(f.type == FieldType::String ? QLatin1StringView("string") : QLatin1StringView("float")))
            return false;
        if (f.type == FieldType::String && item.member("size").intOr(-1) != f.size)
            return false;
    }
    return true;
}

QVector<FieldDef> fieldsFrom(const RapidJson &list)
{
    if (list.value() && isLastFields(*list.value()))
        return t_lastFields.fields;
    QVector<FieldDef> fields = fieldsFrom<RapidJson>(list);
    std::vector<std::string> names;
    names.reserve(size_t(fields.size()));
    list.forEach([&](const RapidJson &item) {
        const rapidjson::Value *name = item.member("name").value();
        names.emplace_back(name->GetString(), name->GetStringLength());
    });
    t_lastFields = LastFields{fields, std::move(names)};
    return fields;
}

template <class J>
QVariant valueFrom(const J &value, FieldType type, const QString &fieldName)
{
    if (value.isNull())
        return QVariant();
    if (type == FieldType::Float) {
        if (!value.isNumber() || !std::isfinite(value.number()))
            malformed(QStringLiteral("valor do campo '%1' não é um número").arg(fieldName));
        return value.number();
    }
    if (!value.isString())
        malformed(QStringLiteral("valor do campo '%1' não é um texto").arg(fieldName));
    return value.string();
}

// A row; `before` (its JSON and its values, read already) lends the values
// that the row repeats as they are, as a modification's new values do.
template <class J>
Row rowFrom(const J &value, const QVector<FieldDef> &fields, const J *beforeJson = nullptr, const Row *before = nullptr)
{
    if (!value.isArray())
        malformed(QStringLiteral("registro deve ser uma lista"));
    if (value.size() != fields.size())
        malformed(QStringLiteral("registro com %1 valores para %2 campos").arg(value.size()).arg(fields.size()));
    std::vector<J> earlier;
    if (beforeJson && before) {
        earlier.reserve(size_t(fields.size()));
        beforeJson->forEach([&](const J &item) { earlier.push_back(item); });
    }
    Row row;
    row.reserve(fields.size());
    value.forEach([&](const J &item) {
        const qsizetype at = row.size();
        const FieldDef &f = fields.at(at);
        if (size_t(at) < earlier.size() && item == earlier[size_t(at)])
            row.append(before->at(at));
        else
            row.append(valueFrom(item, f.type, f.name));
    });
    return row;
}

template <class J>
Delta deltaFrom(const J &o)
{
    Delta d;
    d.fields = fieldsFrom(o.member("fields"));
    const J changes = o.member("changes");
    if (!changes.isArray())
        malformed(QStringLiteral("'changes' deve ser uma lista"));
    changes.forEach([&](const J &co) {
        const QString kind = co.member("kind").string();
        Change c;
        if (kind == QLatin1String("insert")) {
            c.kind = ChangeKind::Insert;
            c.newValues = rowFrom(co.member("new"), d.fields);
        } else if (kind == QLatin1String("modify")) {
            c.kind = ChangeKind::Modify;
            const J old = co.member("old");
            c.oldValues = rowFrom(old, d.fields);
            c.newValues = rowFrom(co.member("new"), d.fields, &old, &c.oldValues);
        } else if (kind == QLatin1String("delete")) {
            c.kind = ChangeKind::Delete;
            c.oldValues = rowFrom(co.member("old"), d.fields);
        } else {
            malformed(QStringLiteral("tipo de alteração '%1'").arg(kind));
        }
        d.changes.append(c);
    });
    return d;
}

QJsonArray rowToJson(const Row &row)
{
    QJsonArray a;
    for (const QVariant &v : row)
        a.append(valueToJson(v));
    return a;
}

int indexIn(const QVector<FieldDef> &fields, const QString &name)
{
    for (int i = 0; i < fields.size(); ++i)
        if (fields.at(i).name == name)
            return i;
    return -1;
}

} // namespace

QString fieldTypeName(FieldType type)
{
    return type == FieldType::Float ? QStringLiteral("float") : QStringLiteral("string");
}

QJsonValue valueToJson(const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return QJsonValue::Null;
    if (value.typeId() == QMetaType::Double)
        return value.toDouble();
    return value.toString();
}

QVariant valueFromJson(const QJsonValue &value, FieldType type, const QString &fieldName)
{
    return valueFrom(QtJson(value), type, fieldName);
}

bool sameValue(const QVariant &a, const QVariant &b)
{
    const QString *as = textIn(a), *bs = textIn(b);
    const bool an = !a.isValid() || a.isNull() || (as && as->isEmpty());
    const bool bn = !b.isValid() || b.isNull() || (bs && bs->isEmpty());
    if (an || bn)
        return an == bn;
    if (a.typeId() == QMetaType::Double || b.typeId() == QMetaType::Double)
        return a.toDouble() == b.toDouble();
    if (as && bs)
        return *as == *bs;
    return a.toString() == b.toString();
}

int DataPacket::indexOf(const QString &fieldName) const { return indexIn(fields, fieldName); }
int Delta::indexOf(const QString &fieldName) const { return indexIn(fields, fieldName); }

QJsonObject DataPacket::toJson() const
{
    QJsonArray rowsJson;
    for (const Row &r : rows)
        rowsJson.append(rowToJson(r));
    return QJsonObject{{"fields", fieldsToJson(fields)}, {"rows", rowsJson}};
}

struct PacketTextWriter::Impl
{
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> w{buffer};

    void string(const QString &s)
    {
        if (s.isValidUtf16()) {
            const QByteArray utf8 = s.toUtf8();
            w.String(utf8.constData(), rapidjson::SizeType(utf8.size()));
            return;
        }
        // Half of a surrogate pair has no UTF-8: written as Qt writes it.
        const QByteArray qtText = jsonrpc::jsonText(s);
        w.RawValue(qtText.constData(), size_t(qtText.size()), rapidjson::kStringType);
    }
};

PacketTextWriter::PacketTextWriter(const QVector<FieldDef> &fields) : d(std::make_unique<Impl>())
{
    auto &w = d->w;
    w.StartObject();
    w.Key("fields");
    w.StartArray();
    for (const FieldDef &f : fields) {
        w.StartObject();
        w.Key("name");
        d->string(f.name);
        w.Key("type");
        w.String(f.type == FieldType::Float ? "float" : "string");
        if (f.type == FieldType::String) {
            w.Key("size");
            w.Int(f.size);
        }
        w.EndObject();
    }
    w.EndArray();
    w.Key("rows");
    w.StartArray();
}

PacketTextWriter::~PacketTextWriter() = default;
void PacketTextWriter::beginRow() { d->w.StartArray(); }
void PacketTextWriter::endRow() { d->w.EndArray(); }
void PacketTextWriter::null() { d->w.Null(); }
void PacketTextWriter::number(double value)
{
    if (std::isfinite(value))
        d->w.Double(value);
    else
        d->w.Null(); // JSON has no infinity (a database may hold one): as Qt writes it
}

void PacketTextWriter::text(const char *utf8, int size)
{
    if (size <= 0) {
        d->w.Null();
    } else if (QUtf8StringView(utf8, size).isValidUtf8()) {
        d->w.String(utf8, rapidjson::SizeType(size));
    } else { // bytes that are no UTF-8 read as Qt reads them (replacement characters)
        const QByteArray valid = QString::fromUtf8(utf8, size).toUtf8();
        d->w.String(valid.constData(), rapidjson::SizeType(valid.size()));
    }
}

void PacketTextWriter::value(const QVariant &v)
{
    if (!v.isValid() || v.isNull()) {
        null();
    } else if (v.typeId() == QMetaType::Double) {
        number(v.toDouble());
    } else {
        d->string(v.toString()); // an empty text is a value here (toJson() writes it as "")
    }
}

QByteArray PacketTextWriter::finish()
{
    d->w.EndArray();
    d->w.EndObject();
    return QByteArray(d->buffer.GetString(), qsizetype(d->buffer.GetSize()));
}

QByteArray DataPacket::toJsonText() const
{
    PacketTextWriter w(fields);
    for (const Row &r : rows) {
        w.beginRow();
        for (const QVariant &v : r)
            w.value(v);
        w.endRow();
    }
    return w.finish();
}

DataPacket DataPacket::fromJson(const QJsonValue &value)
{
    if (!value.isObject())
        malformed(QStringLiteral("esperado um objeto"));
    const QtJson o(value);
    DataPacket p;
    p.fields = fieldsFrom(o.member("fields"));
    const QtJson rows = o.member("rows");
    if (!rows.isArray())
        malformed(QStringLiteral("'rows' deve ser uma lista"));
    rows.forEach([&](const QtJson &r) { p.rows.append(rowFrom(r, p.fields)); });
    return p;
}

QJsonObject Delta::toJson() const
{
    QJsonArray changesJson;
    for (const Change &c : changes) {
        QJsonObject o;
        switch (c.kind) {
        case ChangeKind::Insert:
            o.insert("kind", "insert");
            o.insert("new", rowToJson(c.newValues));
            break;
        case ChangeKind::Modify:
            o.insert("kind", "modify");
            o.insert("old", rowToJson(c.oldValues));
            o.insert("new", rowToJson(c.newValues));
            break;
        case ChangeKind::Delete:
            o.insert("kind", "delete");
            o.insert("old", rowToJson(c.oldValues));
            break;
        }
        changesJson.append(o);
    }
    return QJsonObject{{"fields", fieldsToJson(fields)}, {"changes", changesJson}};
}

Delta Delta::fromJson(const QJsonValue &value)
{
    if (!value.isObject())
        malformed(QStringLiteral("delta deve ser um objeto"));
    return deltaFrom(QtJson(value));
}

namespace {

struct ParseOutcome
{
    rapidjson::ParseResult result;
    bool outOfRange = false;
    bool tooDeep = false;
};

template <unsigned Flags>
ParseOutcome parseExact(rapidjson::Document &doc, const char *data, std::size_t size)
{
    ParseOutcome outcome;
    auto generate = [&](rapidjson::Document &target) {
        ExactNumbers<rapidjson::Document> events(target);
        rapidjson::Reader reader;
        if constexpr ((Flags & rapidjson::kParseInsituFlag) != 0) {
            // Read in place from a copy in the document's own memory, where
            // its strings then stay, uncopied. (Not with RapidJSON 1.1's SSE2
            // scanning, which takes the control characters 0x1A to 0x1F for
            // text.)
            char *text = static_cast<char *>(target.GetAllocator().Malloc(size + 1));
            std::memcpy(text, data, size);
            text[size] = '\0';
            rapidjson::InsituStringStream input(text);
            outcome.result = reader.Parse<Flags>(input, events);
        } else {
            rapidjson::MemoryStream input(data, size); // bytes as they are (its UTF-8 stream drops any leading 0xEF)
            outcome.result = reader.Parse<Flags>(input, events);
        }
        outcome.outOfRange = events.outOfRange();
        outcome.tooDeep = events.tooDeep();
        return !outcome.result.IsError();
    };
    doc.Populate(generate);
    return outcome;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if ((c | 0x20) >= 'a' && (c | 0x20) <= 'f')
        return (c | 0x20) - 'a' + 10;
    return -1;
}

// Whether the text is a number as JSON writes one:
// -?(0|[1-9][0-9]*)(.[0-9]+)?([eE][+-]?[0-9]+)?
bool isJsonNumber(std::string_view t)
{
    std::size_t i = 0;
    auto digits = [&] {
        const std::size_t from = i;
        while (i < t.size() && t[i] >= '0' && t[i] <= '9')
            ++i;
        return i > from;
    };
    if (i < t.size() && t[i] == '-')
        ++i;
    if (i < t.size() && t[i] == '0')
        ++i;
    else if (!digits())
        return false;
    if (i < t.size() && t[i] == '.' && (++i, !digits()))
        return false;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-'))
            ++i;
        if (!digits())
            return false;
    }
    return i == t.size();
}

// The text as RapidJSON takes what Qt's reader takes. RapidJSON refuses an
// escaped high surrogate that no low one follows, which Qt keeps for the
// checks: it is written as its three bytes, as RapidJSON itself writes an
// escaped lone low one. And RapidJSON refuses a number whose text goes beyond
// its limits though its value is a double's (0e400, or 400 digits and e-100):
// a number with a point or an exponent, or beyond 64 bits, is written as the
// shortest text of the same double (only one JSON would take: "-.5" stays).
QByteArray forRapidJson(const char *data, std::size_t size)
{
    auto code = [&](std::size_t at, unsigned *value) {
        if (at + 4 > size)
            return false;
        unsigned v = 0;
        for (std::size_t i = at; i < at + 4; ++i) {
            const int d = hexDigit(data[i]);
            if (d < 0)
                return false;
            v = v * 16 + unsigned(d);
        }
        *value = v;
        return true;
    };
    auto inNumber = [](char c) { return (c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.' || c == 'e' || c == 'E'; };
    QByteArray out;
    out.reserve(qsizetype(size));
    bool inString = false;
    for (std::size_t i = 0; i < size; ++i) {
        const char c = data[i];
        if (!inString && (c == '-' || (c >= '0' && c <= '9'))) {
            std::size_t end = i;
            while (end < size && inNumber(data[end]))
                ++end;
            const std::string_view text(data + i, end - i);
            double d = 0;
            const auto r = std::from_chars(text.data(), text.data() + text.size(), d);
            const bool rewrite = isJsonNumber(text) && (text.find_first_of(".eE") != std::string_view::npos || text.size() > 19)
                                 && r.ec == std::errc() && r.ptr == text.data() + text.size() && std::isfinite(d);
            if (rewrite) {
                char shortest[32];
                const auto w = std::to_chars(shortest, shortest + sizeof shortest, d);
                out.append(shortest, w.ptr - shortest);
            } else {
                out.append(text.data(), qsizetype(text.size()));
            }
            i = end - 1;
            continue;
        }
        if (c == '"')
            inString = !inString;
        if (!inString || c != '\\' || i + 1 >= size) {
            out += c;
            continue;
        }
        unsigned high = 0, low = 0;
        const bool lowFollows = i + 7 < size && data[i + 6] == '\\' && data[i + 7] == 'u' && code(i + 8, &low) && low >= 0xDC00 && low <= 0xDFFF;
        if (data[i + 1] == 'u' && code(i + 2, &high) && high >= 0xD800 && high <= 0xDBFF && !lowFollows) {
            out += char(0xE0 | (high >> 12));
            out += char(0x80 | ((high >> 6) & 0x3F));
            out += char(0x80 | (high & 0x3F));
            i += 5;
            continue;
        }
        out += c; // an escape: its character is no quote that ends the string
        out += data[++i];
    }
    return out;
}

} // namespace

QString readJson(rapidjson::Document &doc, const char *data, std::size_t size)
{
    constexpr unsigned flags = rapidjson::kParseIterativeFlag | rapidjson::kParseNumbersAsStringsFlag;
    if (size >= 3 && std::memcmp(data, "\xEF\xBB\xBF", 3) == 0) { // a byte order mark, as Qt takes it
        data += 3;
        size -= 3;
    }
    // RapidJSON takes a zero byte for the end of the text; JSON has none.
    if (const void *zero = std::memchr(data, 0, size))
        return QStringLiteral("caractere nulo (posição %1)").arg(static_cast<const char *>(zero) - data);
    // UTF-8 is checked in one pass over the whole text, far faster than
    // RapidJSON's check of each string; only a text that fails it is read
    // with RapidJSON's check, for its error and the error's position.
    const bool utf8 = QByteArrayView(data, qsizetype(size)).isValidUtf8();
    ParseOutcome outcome = utf8 ? parseExact<flags | rapidjson::kParseInsituFlag>(doc, data, size)
                                : parseExact<flags | rapidjson::kParseValidateEncodingFlag>(doc, data, size);
    const auto code = outcome.result.Code();
    if ((code == rapidjson::kParseErrorStringUnicodeSurrogateInvalid || code == rapidjson::kParseErrorNumberTooBig) && utf8) {
        const QByteArray rewritten = forRapidJson(data, size); // UTF-8 checked above: the lone surrogates' bytes are not
        rapidjson::Document again;
        outcome = parseExact<flags | rapidjson::kParseInsituFlag>(again, rewritten.constData(), std::size_t(rewritten.size()));
        doc.Swap(again);
    }
    if (!outcome.result.IsError())
        return QString();
    const QString why = outcome.outOfRange || outcome.result.Code() == rapidjson::kParseErrorNumberTooBig ? QStringLiteral("número fora do alcance")
                        : outcome.tooDeep  ? QStringLiteral("mais de %1 níveis de listas e objetos").arg(ExactNumbers<rapidjson::Document>::MaxDepth)
                                           : QString::fromUtf8(rapidjson::GetParseError_En(outcome.result.Code()));
    return QStringLiteral("%1 (posição %2)").arg(why).arg(outcome.result.Offset());
}

const rapidjson::Value *memberOf(const rapidjson::Value &object, const char *name)
{
    const rapidjson::SizeType length = rapidjson::SizeType(std::strlen(name));
    const rapidjson::Value *found = nullptr;
    for (const auto &m : object.GetObject())
        if (m.name.GetStringLength() == length && std::memcmp(m.name.GetString(), name, length) == 0)
            found = &m.value;
    return found;
}

QString textOf(const rapidjson::Value &value)
{
    const char *s = value.GetString();
    const qsizetype n = qsizetype(value.GetStringLength());
    // The input was UTF-8 (checked): what is not comes from an escaped lone
    // surrogate, which RapidJSON writes as its three bytes (ED A0..BF 80..BF).
    // It becomes that surrogate again, for the checks of the text to refuse.
    if (!std::memchr(s, 0xED, size_t(n)) || QByteArrayView(s, n).isValidUtf8())
        return QString::fromUtf8(s, n);
    QString out;
    qsizetype from = 0;
    for (qsizetype i = 0; i + 2 < n;) {
        const auto a = uchar(s[i]), b = uchar(s[i + 1]), c = uchar(s[i + 2]);
        if (a == 0xED && b >= 0xA0 && b <= 0xBF && (c & 0xC0) == 0x80) {
            out += QString::fromUtf8(s + from, i - from);
            out += QChar(char16_t(0xD000 | ((b & 0x3F) << 6) | (c & 0x3F)));
            i += 3;
            from = i;
        } else {
            ++i;
        }
    }
    out += QString::fromUtf8(s + from, n - from);
    return out;
}

Delta deltaFromJson(const rapidjson::Value &value)
{
    if (!value.IsObject())
        malformed(QStringLiteral("delta deve ser um objeto"));
    return deltaFrom(RapidJson(&value));
}

} // namespace rt
