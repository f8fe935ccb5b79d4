#include "DataPacket.h"

#include "Exceptions.h"
#include "JsonRpc.h"

#include <QUtf8StringView>
#include <cmath>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

namespace rt {

namespace {

[[noreturn]] void malformed(const QString &what)
{
    throw Exception(QStringLiteral("Pacote de dados inválido: %1").arg(what));
}

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

QVector<FieldDef> fieldsFromJson(const QJsonValue &value)
{
    if (!value.isArray())
        malformed(QStringLiteral("'fields' deve ser uma lista"));
    QVector<FieldDef> fields;
    for (const QJsonValue &v : value.toArray()) {
        const QJsonObject o = v.toObject();
        FieldDef f;
        f.name = o.value("name").toString();
        if (f.name.isEmpty())
            malformed(QStringLiteral("campo sem nome"));
        const QString type = o.value("type").toString();
        if (type == QLatin1String("string")) {
            f.type = FieldType::String;
            f.size = o.value("size").toInt(-1);
            if (f.size <= 0)
                malformed(QStringLiteral("campo '%1' sem tamanho").arg(f.name));
        } else if (type == QLatin1String("float")) {
            f.type = FieldType::Float;
        } else {
            malformed(QStringLiteral("tipo '%1' do campo '%2'").arg(type, f.name));
        }
        for (const FieldDef &other : fields)
            if (other.name == f.name)
                malformed(QStringLiteral("campo '%1' repetido").arg(f.name));
        fields.append(f);
    }
    return fields;
}

Row rowToValues(const QJsonValue &value, const QVector<FieldDef> &fields)
{
    if (!value.isArray())
        malformed(QStringLiteral("registro deve ser uma lista"));
    const QJsonArray a = value.toArray();
    if (a.size() != fields.size())
        malformed(QStringLiteral("registro com %1 valores para %2 campos").arg(a.size()).arg(fields.size()));
    Row row;
    row.reserve(a.size());
    for (int i = 0; i < a.size(); ++i)
        row.append(valueFromJson(a.at(i), fields.at(i).type, fields.at(i).name));
    return row;
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
    if (value.isNull() || value.isUndefined())
        return QVariant();
    if (type == FieldType::Float) {
        if (!value.isDouble() || !std::isfinite(value.toDouble()))
            malformed(QStringLiteral("valor do campo '%1' não é um número").arg(fieldName));
        return value.toDouble();
    }
    if (!value.isString())
        malformed(QStringLiteral("valor do campo '%1' não é um texto").arg(fieldName));
    return value.toString();
}

bool sameValue(const QVariant &a, const QVariant &b)
{
    const bool an = !a.isValid() || a.isNull() || (a.typeId() == QMetaType::QString && a.toString().isEmpty());
    const bool bn = !b.isValid() || b.isNull() || (b.typeId() == QMetaType::QString && b.toString().isEmpty());
    if (an || bn)
        return an == bn;
    if (a.typeId() == QMetaType::Double || b.typeId() == QMetaType::Double)
        return a.toDouble() == b.toDouble();
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
    const QJsonObject o = value.toObject();
    DataPacket p;
    p.fields = fieldsFromJson(o.value("fields"));
    if (!o.value("rows").isArray())
        malformed(QStringLiteral("'rows' deve ser uma lista"));
    for (const QJsonValue &r : o.value("rows").toArray())
        p.rows.append(rowToValues(r, p.fields));
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
    const QJsonObject o = value.toObject();
    Delta d;
    d.fields = fieldsFromJson(o.value("fields"));
    if (!o.value("changes").isArray())
        malformed(QStringLiteral("'changes' deve ser uma lista"));
    for (const QJsonValue &cv : o.value("changes").toArray()) {
        const QJsonObject co = cv.toObject();
        const QString kind = co.value("kind").toString();
        Change c;
        if (kind == QLatin1String("insert")) {
            c.kind = ChangeKind::Insert;
            c.newValues = rowToValues(co.value("new"), d.fields);
        } else if (kind == QLatin1String("modify")) {
            c.kind = ChangeKind::Modify;
            c.oldValues = rowToValues(co.value("old"), d.fields);
            c.newValues = rowToValues(co.value("new"), d.fields);
        } else if (kind == QLatin1String("delete")) {
            c.kind = ChangeKind::Delete;
            c.oldValues = rowToValues(co.value("old"), d.fields);
        } else {
            malformed(QStringLiteral("tipo de alteração '%1'").arg(kind));
        }
        d.changes.append(c);
    }
    return d;
}

} // namespace rt
