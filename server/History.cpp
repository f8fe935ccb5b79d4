#include "History.h"

#include "ParamStore.h"
#include "StoreSupport.h"

#include <QDate>
#include <QDateTime>
#include <QSqlQuery>

using rt::DataPacket;
using rt::FieldDef;

namespace store {

namespace {

QString kindCode(HistoryKind kind)
{
    switch (kind) {
    case HistoryKind::Insert: return QStringLiteral("I");
    case HistoryKind::Modify: return QStringLiteral("A");
    case HistoryKind::Delete: return QStringLiteral("E");
    }
    return QString();
}

QVariant textOrNull(const QString &s, int width)
{
    return s.isEmpty() ? QVariant(QMetaType(QMetaType::QString)) : QVariant(s.left(width));
}

// "dd/mm/yyyy" as the stored form of that day's start (times are kept as
// "yyyy-MM-dd HH:mm:ss.zzz" in UTC, which sort as text); empty: no bound.
QString dayBound(const QString &text, const QString &which, bool endOfDay)
{
    if (text.isEmpty())
        return endOfDay ? QStringLiteral("9999") : QStringLiteral("0000"); // before and after every time
    const QDate day = QDate::fromString(text, QStringLiteral("dd/MM/yyyy"));
    if (!day.isValid())
        refuse(QStringLiteral("Data %1 inválida: \"%2\". Informe a data como dd/mm/aaaa.").arg(which, text.left(20)));
    return (endOfDay ? day.addDays(1) : day).toString(QStringLiteral("yyyy-MM-dd"));
}

// "yyyy-MM-dd HH:mm:ss.zzz", as times are stored, written digit by digit
// (Qt's formatting by a pattern takes many times as long, on every change).
QString storedTime(const QDateTime &utc)
{
    const QDate d = utc.date();
    const QTime t = utc.time();
    char text[] = "0000-00-00 00:00:00.000";
    auto put = [&text](int at, int value, int digits) {
        for (int i = at + digits - 1; i >= at; --i, value /= 10)
            text[i] = char('0' + value % 10);
    };
    put(0, d.year(), 4);
    put(5, d.month(), 2);
    put(8, d.day(), 2);
    put(11, t.hour(), 2);
    put(14, t.minute(), 2);
    put(17, t.second(), 2);
    put(20, t.msec(), 3);
    return QString::fromLatin1(text, sizeof text - 1);
}

} // namespace

QVariant historyText(const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return QVariant();
    if (value.typeId() == QMetaType::Double)
        return QString::number(value.toDouble(), 'g', 15);
    const QString s = value.toString();
    return s.isEmpty() ? QVariant() : QVariant(s);
}

void appendHistory(const QSqlDatabase &db, const HistoryEntry &entry)
{
    if (entry.fields.isEmpty())
        return;
    const QString when = storedTime(QDateTime::currentDateTimeUtc());
    QSqlQuery &q = prepare(db, QStringLiteral(
        "INSERT INTO HISTPARAMGNRE (DTALTERACAO, NMUSUARIO, DSENDERECO, NMMETODO, IDOPERACAO, CDEMPRESA, IDTPGUIA,"
        " CDINSCESTA, NMCAMPO, DSVALORANTERIOR, DSVALORNOVO)"
        " VALUES (:quando, :usuario, :endereco, :metodo, :operacao, :emp, :tp, :insc, :campo, :antes, :depois)"));
    // Last field first: read newest first, a change's fields come in the record's order.
    for (auto it = entry.fields.crbegin(); it != entry.fields.crend(); ++it) {
        const HistoryEntry::Field &f = *it;
        q.bindValue(QStringLiteral(":quando"), when);
        q.bindValue(QStringLiteral(":usuario"), textOrNull(entry.origin.user, 64));
        q.bindValue(QStringLiteral(":endereco"), textOrNull(entry.origin.address, 64));
        q.bindValue(QStringLiteral(":metodo"), entry.method);
        q.bindValue(QStringLiteral(":operacao"), kindCode(entry.kind));
        q.bindValue(QStringLiteral(":emp"), entry.company);
        q.bindValue(QStringLiteral(":tp"), textOrNull(entry.guideType, 3));
        q.bindValue(QStringLiteral(":insc"), textOrNull(entry.registration, 16));
        q.bindValue(QStringLiteral(":campo"), f.name);
        q.bindValue(QStringLiteral(":antes"), textOrNull(f.before.toString(), 250));
        q.bindValue(QStringLiteral(":depois"), textOrNull(f.after.toString(), 250));
        exec(q, QStringLiteral("Erro ao gravar o histórico de alterações"));
    }
}

const QVector<FieldDef> &historyFields()
{
    static const QVector<FieldDef> f{
        str("DTALTERACAO", 23), str("NMUSUARIO", 64), str("DSENDERECO", 64), str("NMMETODO", 20), str("IDOPERACAO", 1),
        str("IDTPGUIA", 3), str("CDINSCESTA", 16), str("NMCAMPO", 31), str("DSVALORANTERIOR", 250), str("DSVALORNOVO", 250)};
    return f;
}

} // namespace store

QByteArray ParamStore::getHistorico(const QString &company, const QString &guideType, const QString &from, const QString &to)
{
    const QString lower = store::dayBound(from, QStringLiteral("inicial"), false);
    const QString upper = store::dayBound(to, QStringLiteral("final"), true);
    if (!from.isEmpty() && !to.isEmpty() && lower >= upper)
        store::refuse(QStringLiteral("A data inicial é posterior à data final."));
    if (!store::fits(company, 2) || !store::fits(guideType, 3))
        return DataPacket{store::historyFields(), {}}.toJsonText();
    return store::selectPacketJson(connection(), QStringLiteral(
        "SELECT DTALTERACAO, NMUSUARIO, DSENDERECO, NMMETODO, IDOPERACAO, IDTPGUIA, CDINSCESTA, NMCAMPO,"
        " DSVALORANTERIOR, DSVALORNOVO FROM HISTPARAMGNRE"
        " WHERE CDEMPRESA = :emp AND (:todos = 1 OR IDTPGUIA = :tp) AND DTALTERACAO >= :de AND DTALTERACAO < :ate"
        " ORDER BY NRSEQ DESC"),
        {{QStringLiteral(":emp"), company}, {QStringLiteral(":todos"), guideType.isEmpty() ? 1 : 0}, {QStringLiteral(":tp"), guideType},
         {QStringLiteral(":de"), lower}, {QStringLiteral(":ate"), upper}},
        store::historyFields(), QStringLiteral("Erro ao ler o histórico de alterações"), HistoryMaxRows);
}
