#pragma once

#include "DataPacket.h"
#include "History.h"
#include "RequestOrigin.h"
#include "ValueRules.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QVector>
#include <optional>

namespace store {

// Who applies a delta, for the history: the method and the request's origin.
struct ChangeAuthor
{
    QString method;
    RequestOrigin origin;
};

// Applies a delta to one table in one transaction. Every update and delete
// carries the values the client loaded as conditions of the statement itself,
// so a row changed since it was loaded is refused, never overwritten.
class DeltaWriter
{
public:
    // Refuses a delta whose fields are not the table's: missing, of another
    // type or unknown. Needs no database.
    DeltaWriter(const TableRules &table, const rt::Delta &delta, const ChangeAuthor &author);

    bool hasChanges() const { return !m_delta.changes.isEmpty(); }

    // Applies every change or none, each recorded in the history in the same
    // transaction. The caller holds the store's write lock.
    void apply(const QSqlDatabase &db);

private:
    void mapColumns();
    bool begin(QSqlError *error);
    QVariant valueOf(const rt::Row &row, const QString &name) const;
    // The value of the i-th stored column.
    const QVariant &storedValue(const rt::Row &row, int i) const { return row.at(m_stored.at(i)); }
    static bool isEmptyOld(const QVariant &v, rt::FieldType type);
    QByteArray shape(char kind, const rt::Row &old, const QVector<int> &changed) const;
    QString keyText(const rt::Row &row) const;
    [[noreturn]] void refuseChanged(const rt::Row &old) const;

    void validate(const rt::Row &row) const;
    void validateKey(const rt::Row &row) const;

    std::optional<rt::Row> storedRow(const rt::Row &keyRow) const;
    void requireUnchanged(const rt::Row &old) const;
    void requireAbsent(const rt::Row &row) const;
    [[noreturn]] void refuseNotApplied(const rt::Row &old) const;
    void unchangedSince(QString &sql, const rt::Row &old) const;

    void bindKey(QSqlQuery &q, const rt::Row &row) const;
    void bindOld(QSqlQuery &q, const rt::Row &old) const;
    void bindNew(QSqlQuery &q, const rt::Row &values, const QVector<int> &columns) const;

    void applyChange(const rt::Change &change);
    void insert(const rt::Row &row);
    void modify(const rt::Row &old, const rt::Row &row);
    void remove(const rt::Row &old);
    QVector<int> differing(const rt::Row &before, const rt::Row &after) const;
    void record(HistoryKind kind, const rt::Row &keyRow, const rt::Row &before, const rt::Row &after, const QVector<int> &columns);

    bool isSqlite() const;
    bool transactionStep(const QString &sqliteStatement, QSqlError *error);

    const TableRules &m_table;
    const rt::Delta &m_delta;
    const ChangeAuthor &m_author;
    QVector<int> m_column; // packetFields index -> delta column
    QVector<int> m_stored; // stored column -> delta column
    QVector<int> m_key;    // key column -> delta column
    QSqlDatabase m_db;
};

} // namespace store
