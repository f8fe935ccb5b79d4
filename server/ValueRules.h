#pragma once

#include "DataPacket.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>
#include <functional>

// What the service accepts in the tables it writes.
namespace store {

// Refuses a value the field cannot hold; an empty value passes.
using Check = std::function<void(const QVariant &value, const QString &field)>;

Check oneOf(const QStringList &codes);
Check flag(); // S or N
Check wholeIn(int low, int high);
Check numberIn(double low, double high);

// A table the service writes: its stored columns, key and value rules.
struct TableRules
{
    QString name;
    QString label;                      // for messages: %1, %2... are the values of labelKeys
    QStringList labelKeys;
    QVector<rt::FieldDef> packetFields; // fields the client sends
    QStringList stored;                 // columns written (names resolved on read are not)
    QStringList key;
    QHash<QString, Check> checks;

    // Made once from the above (finish()): per stored column its type and the
    // pieces of the statements that write it; per packet field whether it is stored.
    QVector<rt::FieldType> storedType;
    QVector<int> storedPacket;  // per stored column, its packet field
    QVector<int> keyPacket;     // per key column, its packet field
    QVector<bool> packetStored;
    QVector<const Check *> packetCheck; // per packet field, its check or null
    QStringList newParam;    // ":v_C"
    QStringList oldParam;    // ":o_C"
    QStringList assignNew;   // "C = :v_C"
    QStringList equalsOld;   // " AND C = :o_C"
    QStringList emptyOld;    // " AND C IS NULL", and for a text " AND (C IS NULL OR C = '')"
    QStringList keyParam;    // per key column, ":k_C"
    QString where;           // " WHERE K1 = :k_K1 AND ..."
    void finish();
};

const TableRules &geralTable(); // PARAMGNRE
const TableRules &inscrTable(); // PARAMGNREINSCR

} // namespace store
