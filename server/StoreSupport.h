#pragma once

#include "DataPacket.h"

#include <QByteArray>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QVariant>
#include <QVector>
#include <functional>
#include <utility>

struct sqlite3;
struct sqlite3_stmt;

// SQL helpers shared by the parameter store's reads, schema and writer.
namespace store {

// Ends the request with the service's own refusal (ParamStore::Refused).
[[noreturn]] void refuse(const QString &message);

QString sqlError(const QString &what, const QSqlError &e);

// Two writers on the same row at once: Firebird answers the later one with an
// update conflict (a deadlock, a lock conflict) instead of waiting. For the
// user that is the same as a row changed since it was loaded.
bool isWriteConflict(const QSqlError &e);

extern const QString kChangedMeanwhile;

// Runs a prepared statement; a write conflict is refused, any other failure throws.
void exec(QSqlQuery &q, const QString &what);

// A read argument longer than its column matches no row, on every engine
// (Firebird would refuse the statement instead).
bool fits(const QString &value, int width);

// A prepared statement of this thread's connection, valid until the
// connection is next asked for. On SQLite each is prepared once and kept.
QSqlQuery &prepare(const QSqlDatabase &db, const QString &sql);
// The place of a statement of this thread's connection, and whether it holds
// one prepared before (only on SQLite; elsewhere it is prepared anew).
std::pair<QSqlQuery &, bool> keptStatement(const QSqlDatabase &db, const QString &sql);
// prepare() of a statement whose text follows from a few facts (`shape`: a
// table and, per column, whether it is written, whether its loaded value is
// empty): on SQLite a shape seen before finds its statement without making
// and hashing its text again; `text` makes it the first time.
QSqlQuery &prepareShaped(const QSqlDatabase &db, const QByteArray &shape, const std::function<QString()> &text);

// Between column values and packet values: an empty text is a null.
QVariant fromSql(const QVariant &v, rt::FieldType type);
QVariant toSql(const QVariant &v, rt::FieldType type);

// The values of a read's named parameters (":name"): texts and whole numbers.
using Binds = QVector<std::pair<QString, QVariant>>;

// Runs a read and answers its rows, at most maxRows, as a packet's JSON text,
// with the packet's values (an empty text is a null). On SQLite the rows go
// from the engine's own statement, prepared once per connection, straight to
// the text; elsewhere through Qt SQL.
QByteArray selectPacketJson(const QSqlDatabase &db, const QString &sql, const Binds &binds,
                            const QVector<rt::FieldDef> &fields, const QString &what, int maxRows = -1);
// How long an SQLite connection waits for the write lock held by another.
constexpr int kSqliteBusyTimeoutMs = 10000;
// SQLite's own handle of a connection; null when the connection is not SQLite's.
sqlite3 *sqliteHandle(const QSqlDatabase &db);

// SQLite's statement of a read, kept for this thread's connection; null when
// the connection is not SQLite's.
sqlite3_stmt *keptSqliteRead(const QSqlDatabase &db, const QString &sql);

// The rows of an executed query, at most maxRows of them (the first ones).
rt::DataPacket readPacket(QSqlQuery &q, const QVector<rt::FieldDef> &fields, int maxRows = -1);

rt::FieldDef str(const char *name, int size);
rt::FieldDef flt(const char *name);

// Field order of the packets the screen loads.
const QVector<rt::FieldDef> &paramGeralFields();
const QVector<rt::FieldDef> &paramInscrFields();

} // namespace store
