#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QVariant>
#include <QVector>
#include <memory>

// The data packet and delta exchanged between client datasets and the
// parameter service. The JSON layout is described in docs/data-packets.md.
namespace rt {

enum class FieldType { String, Float };

struct FieldDef
{
    QString name;
    FieldType type = FieldType::String;
    int size = 0; // characters, for strings

    bool operator==(const FieldDef &) const = default;
};

using Row = QVector<QVariant>; // null QVariant is a null value; QString or double otherwise

struct DataPacket
{
    QVector<FieldDef> fields;
    QVector<Row> rows;

    int indexOf(const QString &fieldName) const;
    QJsonObject toJson() const;
    // The same JSON as toJson(), written straight to text (the service's replies).
    QByteArray toJsonText() const;
    // Throws rt::Exception when the value is not a well-formed packet.
    static DataPacket fromJson(const QJsonValue &value);
};

// Writes a packet's JSON text value by value, as toJsonText() does, for
// rows that never become a DataPacket (read straight from a database).
class PacketTextWriter
{
public:
    explicit PacketTextWriter(const QVector<FieldDef> &fields);
    ~PacketTextWriter();
    void beginRow();
    void null();
    void number(double value);
    void text(const char *utf8, int size); // UTF-8; empty is written as null
    void value(const QVariant &value);      // a packet value
    void endRow();
    QByteArray finish();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

enum class ChangeKind { Insert, Modify, Delete };

struct Change
{
    ChangeKind kind = ChangeKind::Insert;
    Row oldValues; // modify, delete: the record as it was loaded
    Row newValues; // insert, modify: the record as posted
};

struct Delta
{
    QVector<FieldDef> fields;
    QVector<Change> changes;

    int indexOf(const QString &fieldName) const;
    QJsonObject toJson() const;
    static Delta fromJson(const QJsonValue &value);
};

QString fieldTypeName(FieldType type);
QJsonValue valueToJson(const QVariant &value);
// Converts a JSON value to the stored form of a field of the given type; throws on a mismatch.
QVariant valueFromJson(const QJsonValue &value, FieldType type, const QString &fieldName);
bool sameValue(const QVariant &a, const QVariant &b);
// The text a value holds, where it is (no converted copy); null for any other value.
inline const QString *textIn(const QVariant &v)
{
    return v.typeId() == QMetaType::QString ? static_cast<const QString *>(v.constData()) : nullptr;
}

} // namespace rt
