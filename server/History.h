#pragma once

#include "DataPacket.h"
#include "RequestOrigin.h"

#include <QSqlDatabase>
#include <QString>
#include <QVariant>
#include <QVector>

// The history of changes: every change the service applies, one row per
// field, appended in the transaction of the change itself. The table refuses
// updates and deletes.
namespace store {

enum class HistoryKind { Insert, Modify, Delete };

struct HistoryEntry
{
    struct Field
    {
        QString name;
        QVariant before; // null: no value
        QVariant after;
    };
    HistoryKind kind = HistoryKind::Modify;
    QString method;
    RequestOrigin origin;
    QString company;
    QString guideType;    // empty for the general record
    QString registration; // empty for the general record
    QVector<Field> fields;
};

// A field's value as the history keeps it: text, numbers without trailing zeros.
QVariant historyText(const QVariant &value);

// Appends the entry's rows (none when no field changed). Throws on failure.
void appendHistory(const QSqlDatabase &db, const HistoryEntry &entry);

// Fields of the history packet.
const QVector<rt::FieldDef> &historyFields();

} // namespace store
