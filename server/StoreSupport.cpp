#include "StoreSupport.h"
#include "WaitRule.h"

#include "Exceptions.h"
#include "ParamStore.h"

#include <sqlite3.h>

using rt::DataPacket;
using rt::Exception;
using rt::FieldDef;
using rt::FieldType;
using rt::Row;

namespace store {

void refuse(const QString &message) { throw ParamStore::Refused(message); }

QString sqlError(const QString &what, const QSqlError &e)
{
    return QStringLiteral("%1: %2").arg(what, e.text());
}

bool isWriteConflict(const QSqlError &e)
{
    const QString t = e.text();
    return t.contains(QLatin1String("update conflicts with concurrent update"))
           || t.contains(QLatin1String("deadlock")) || t.contains(QLatin1String("lock conflict on no wait transaction"))
           || t.contains(QLatin1String("concurrent transaction number"));
}

const QString kChangedMeanwhile = QStringLiteral(
    "Os dados foram alterados por outro usuário ao mesmo tempo. Recarregue os dados e faça a alteração novamente.");

void exec(QSqlQuery &q, const QString &what)
{
    if (!q.exec()) {
        if (isWriteConflict(q.lastError()))
            refuse(kChangedMeanwhile);
        throw Exception(sqlError(what, q.lastError()));
    }
}

bool fits(const QString &value, int width) { return value.size() <= width; }

QSqlQuery &prepare(const QSqlDatabase &db, const QString &sql)
{
    auto [q, prepared] = keptStatement(db, sql);
    if (prepared) {
        q.finish(); // whatever its last use left unread
        return q;
    }
    q = QSqlQuery(db);
    q.setForwardOnly(true);
    if (!q.prepare(sql))
        throw Exception(sqlError(QStringLiteral("Erro ao preparar consulta"), q.lastError()));
    return q;
}

QVariant fromSql(const QVariant &v, FieldType type)
{
    if (v.isNull())
        return QVariant();
    if (type == FieldType::Float)
        return v.toDouble();
    const QString s = v.toString();
    return s.isEmpty() ? QVariant() : QVariant(s);
}

QVariant toSql(const QVariant &v, FieldType type)
{
    if (!v.isValid() || v.isNull())
        return QVariant(type == FieldType::Float ? QMetaType(QMetaType::Double) : QMetaType(QMetaType::QString));
    if (type == FieldType::Float)
        return v.toDouble();
    const QString s = v.toString();
    return s.isEmpty() ? QVariant(QMetaType(QMetaType::QString)) : QVariant(s);
}

DataPacket readPacket(QSqlQuery &q, const QVector<FieldDef> &fields, int maxRows)
{
    DataPacket p;
    p.fields = fields;
    while ((maxRows < 0 || p.rows.size() < maxRows) && q.next()) {
        Row r;
        r.reserve(fields.size());
        for (int i = 0; i < fields.size(); ++i)
            r.append(fromSql(q.value(i), fields.at(i).type));
        p.rows.append(r);
    }
    if (q.lastError().isValid())
        throw Exception(sqlError(QStringLiteral("Erro ao ler dados"), q.lastError()));
    q.finish(); // a statement kept for later holds no read transaction meanwhile
    return p;
}

namespace {

// Reads one SQLite statement's rows into the writer; the statement is reset
// and its parameters cleared whatever happens.
QByteArray sqliteRows(sqlite3_stmt *stmt, const Binds &binds, const QVector<FieldDef> &fields, const QString &what, int maxRows)
{
    struct Reset
    {
        sqlite3_stmt *s;
        ~Reset()
        {
            sqlite3_reset(s);
            sqlite3_clear_bindings(s);
        }
    } reset{stmt};
    for (const auto &[name, value] : binds) {
        const int at = sqlite3_bind_parameter_index(stmt, name.toUtf8().constData());
        if (at == 0)
            continue;
        if (value.typeId() == QMetaType::Int) {
            sqlite3_bind_int(stmt, at, value.toInt());
        } else {
            const QByteArray text = value.toString().toUtf8();
            sqlite3_bind_text(stmt, at, text.constData(), int(text.size()), SQLITE_TRANSIENT);
        }
    }
    rt::PacketTextWriter out(fields);
    int rows = 0;
    int step = SQLITE_ROW;
    while ((maxRows < 0 || rows < maxRows) && (step = sqlite3_step(stmt)) == SQLITE_ROW) {
        out.beginRow();
        for (int i = 0; i < fields.size(); ++i) {
            if (sqlite3_column_type(stmt, i) == SQLITE_NULL)
                out.null();
            else if (fields.at(i).type == FieldType::Float)
                out.number(sqlite3_column_double(stmt, i));
            else
                out.text(reinterpret_cast<const char *>(sqlite3_column_text(stmt, i)), sqlite3_column_bytes(stmt, i));
        }
        out.endRow();
        ++rows;
    }
    if (step != SQLITE_ROW && step != SQLITE_DONE)
        throw Exception(QStringLiteral("%1: %2").arg(what, QString::fromUtf8(sqlite3_errmsg(sqlite3_db_handle(stmt)))));
    return out.finish();
}

} // namespace

QByteArray selectPacketJson(const QSqlDatabase &db, const QString &sql, const Binds &binds, const QVector<FieldDef> &fields,
                            const QString &what, int maxRows)
{
    if (sqlite3_stmt *stmt = keptSqliteRead(db, sql))
        return sqliteRows(stmt, binds, fields, what, maxRows);
    QSqlQuery &q = prepare(db, sql);
    for (const auto &[name, value] : binds)
        q.bindValue(name, value);
    exec(q, what);
    return readPacket(q, fields, maxRows).toJsonText();
}

FieldDef str(const char *name, int size) { return FieldDef{QString::fromLatin1(name), FieldType::String, size}; }
FieldDef flt(const char *name) { return FieldDef{QString::fromLatin1(name), FieldType::Float, 0}; }

const QVector<FieldDef> &paramGeralFields()
{
    static const QVector<FieldDef> f{
        str("CDEMPRESA", 2), str("IDGERALOGGNRE", 1), str("CDLIVROMAG", 10), str("NMLIVROMAG", 50),
        flt("NRDIASCALCDTPAG"), str("CDFILIAL", 4), str("NMFILIAL", 30), str("IDCALENDPAGGNRE", 1),
        str("DSEMAILRETORNO", 100), str("CDPRODUTODEB", 5), str("CDNATUQUALIF", 1), flt("VRALIQFECP"),
        str("CDPRODUTOGON", 5), str("DSPRODUTO", 250), str("IDGERACONTAPAG", 1), str("IDENTRSAIDPAG", 1),
        str("CDTPOPERPAG", 2), str("NMTIPOOPER", 30)};
    return f;
}

const QVector<FieldDef> &paramInscrFields()
{
    static const QVector<FieldDef> f{
        str("CDEMPRESA", 2), str("CDINSCESTA", 16), str("SGESTADO", 2), str("NRCERTIFICDIG", 50),
        str("IDTPAMBIENTE", 1), str("DSEMAILRETORNO", 100), str("IDPERIODOREFAPU", 1), str("IDTPGUIA", 3),
        str("IDCALCSTMANUAL", 1), str("CDENCARGOST", 2), str("CDFILIALPAG", 4), str("IDFCPSEPIMP", 1)};
    return f;
}

} // namespace store

namespace waitrule {

namespace {
thread_local bool t_noWaiting = false;
}

bool mayWait() { return !t_noWaiting; }

NoWaiting::NoWaiting() : m_before(t_noWaiting) { t_noWaiting = true; }

NoWaiting::~NoWaiting() { t_noWaiting = m_before; }

} // namespace waitrule
