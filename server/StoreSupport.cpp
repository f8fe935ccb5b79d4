#include "StoreSupport.h"

#include "Exceptions.h"
#include "ParamStore.h"

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
