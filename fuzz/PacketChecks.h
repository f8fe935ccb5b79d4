#pragma once

// What every fuzz target holds a packet or a delta to: the same value after
// toJson and fromJson, after the JSON text that goes over the wire, and (a
// packet) after the text the service writes straight.
// A mismatch aborts with both sides printed.

#include "DataPacket.h"
#include "Exceptions.h"

#include <QJsonDocument>
#include <QMetaType>
#include <cstdio>
#include <cstdlib>
#include <type_traits>

namespace fuzzcheck {

[[noreturn]] inline void fail(const char *what, const QByteArray &detail = QByteArray())
{
    std::fprintf(stderr, "\n*** %s\n%s\n", what, detail.left(4000).constData());
    std::abort();
}

// Strict: null only equals null, a text only a text, a number only the same number.
inline bool sameStored(const QVariant &a, const QVariant &b)
{
    const bool an = !a.isValid() || a.isNull();
    const bool bn = !b.isValid() || b.isNull();
    if (an || bn)
        return an == bn;
    if (a.typeId() != b.typeId())
        return false;
    if (a.typeId() == QMetaType::Double)
        return a.toDouble() == b.toDouble();
    return a.toString() == b.toString();
}

inline bool sameRow(const rt::Row &a, const rt::Row &b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i)
        if (!sameStored(a.at(i), b.at(i)))
            return false;
    return true;
}

inline bool same(const rt::DataPacket &a, const rt::DataPacket &b)
{
    if (a.fields != b.fields || a.rows.size() != b.rows.size())
        return false;
    for (qsizetype i = 0; i < a.rows.size(); ++i)
        if (!sameRow(a.rows.at(i), b.rows.at(i)))
            return false;
    return true;
}

inline bool same(const rt::Delta &a, const rt::Delta &b)
{
    if (a.fields != b.fields || a.changes.size() != b.changes.size())
        return false;
    for (qsizetype i = 0; i < a.changes.size(); ++i) {
        const rt::Change &x = a.changes.at(i), &y = b.changes.at(i);
        if (x.kind != y.kind || !sameRow(x.oldValues, y.oldValues) || !sameRow(x.newValues, y.newValues))
            return false;
    }
    return true;
}

inline QByteArray text(const QJsonObject &o) { return QJsonDocument(o).toJson(QJsonDocument::Compact); }

// The value read again from a JSON text of it is the same value.
template <typename T>
void readsBack(const T &value, const QByteArray &wire, const char *what)
{
    QJsonParseError err;
    const QJsonDocument doc = QJsonDocument::fromJson(wire, &err);
    if (err.error != QJsonParseError::NoError || !doc.isObject())
        fail((QByteArray(what) + " is no JSON object").constData(), wire);
    T again;
    try {
        again = T::fromJson(doc.object());
    } catch (const rt::Exception &e) {
        fail((QByteArray(what) + " does not parse back").constData(), e.what() + QByteArray("\n") + wire);
    }
    if (!same(value, again))
        fail((QByteArray("the value changed over ") + what).constData(), wire + "\n" + text(again.toJson()));
}

// T is rt::DataPacket or rt::Delta, parsed from the input.
template <typename T>
void roundTrips(const T &value)
{
    const QJsonObject json = value.toJson();
    T again;
    try {
        again = T::fromJson(json);
    } catch (const rt::Exception &e) {
        fail("its own JSON does not parse back", e.what() + QByteArray("\n") + text(json));
    }
    if (!same(value, again))
        fail("toJson/fromJson changed the value", text(json) + "\n" + text(again.toJson()));

    readsBack(value, text(json), "its JSON text");
    // The text the service writes straight (RapidJSON) reads back the same.
    if constexpr (std::is_same_v<T, rt::DataPacket>)
        readsBack(value, value.toJsonText(), "its written text");
}

// A packet the service answers: every value is of its field's type and fits its size.
inline void wellFormedAnswer(const rt::DataPacket &p)
{
    for (const rt::Row &r : p.rows) {
        if (r.size() != p.fields.size())
            fail("row and fields differ in length", text(p.toJson()));
        for (qsizetype i = 0; i < r.size(); ++i) {
            const QVariant &v = r.at(i);
            const rt::FieldDef &f = p.fields.at(i);
            if (!v.isValid() || v.isNull())
                continue;
            if (f.type == rt::FieldType::Float && v.typeId() != QMetaType::Double)
                fail("a float field holds no number", text(p.toJson()));
            if (f.type == rt::FieldType::String && v.toString().size() > f.size)
                fail("a value is longer than its field", f.name.toUtf8() + "\n" + text(p.toJson()));
        }
    }
    roundTrips(p);
}

} // namespace fuzzcheck
