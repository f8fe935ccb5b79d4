#include "DeltaWriter.h"

#include "Exceptions.h"
#include "ParamStore.h"
#include "History.h"
#include "StoreSupport.h"
#include "WaitRule.h"

#include <QSqlError>

#include <numeric>
#include <sqlite3.h>

using rt::Delta;
using rt::Exception;
using rt::FieldDef;
using rt::FieldType;
using rt::Row;

void ParamStore::setParamGNRE(const Delta &delta, const RequestOrigin &origin)
{
    applyDelta(store::geralTable(), delta, store::ChangeAuthor{QStringLiteral("SetParamGNRE"), origin});
}

void ParamStore::setParamInscr(const Delta &delta, const RequestOrigin &origin)
{
    applyDelta(store::inscrTable(), delta, store::ChangeAuthor{QStringLiteral("SetParamInscr"), origin});
}

void ParamStore::applyDelta(const store::TableRules &table, const Delta &delta, const store::ChangeAuthor &author)
{
    store::DeltaWriter writer(table, delta, author);
    if (!writer.hasChanges())
        return;
    // Where waiting is not allowed: only SQLite can tell at once that its write
    // lock is taken; a Firebird change may wait for another's row, so it
    // always goes to the writer.
    std::unique_lock lock(m_writeLock, std::defer_lock);
    if (waitrule::mayWait())
        lock.lock();
    else if (!isSqlite() || !lock.try_lock())
        throw waitrule::GiveWay{};
    writer.apply(connection());
}

namespace store {

DeltaWriter::DeltaWriter(const TableRules &table, const Delta &delta, const ChangeAuthor &author)
    : m_table(table), m_delta(delta), m_author(author)
{
    m_column.reserve(m_table.packetFields.size());
    m_stored.reserve(m_table.storedPacket.size());
    m_key.reserve(m_table.keyPacket.size());
    mapColumns();
    for (int at : m_table.storedPacket)
        m_stored.append(m_column.at(at));
    for (int at : m_table.keyPacket)
        m_key.append(m_column.at(at));
}

// Every field the table knows must be in the delta, with its type, and no other.
void DeltaWriter::mapColumns()
{
    const QVector<FieldDef> &given = m_delta.fields;
    for (const FieldDef &f : m_table.packetFields) {
        const qsizetype at = m_column.size(); // fields come in the table's order, as the screen sends them
        const int c = at < given.size() && given.at(at).name == f.name ? int(at) : m_delta.indexOf(f.name);
        if (c < 0)
            refuse(QStringLiteral("Alteração recusada: falta o campo %1.").arg(f.name));
        if (m_delta.fields.at(c).type != f.type)
            refuse(QStringLiteral("Alteração recusada: tipo incorreto no campo %1.").arg(f.name));
        m_column.append(c);
    }
    // As many fields as the table's, every one of them found: none is unknown.
    if (given.size() == m_table.packetFields.size())
        return;
    for (const FieldDef &f : given) {
        bool known = false;
        for (const FieldDef &t : m_table.packetFields)
            known = known || t.name == f.name;
        if (!known)
            refuse(QStringLiteral("Alteração recusada: campo desconhecido %1.").arg(f.name));
    }
}

QVariant DeltaWriter::valueOf(const Row &row, const QString &name) const
{
    for (int i = 0; i < m_table.packetFields.size(); ++i)
        if (m_table.packetFields.at(i).name == name)
            return row.at(m_column.at(i));
    return QVariant();
}

QString DeltaWriter::keyText(const Row &row) const
{
    QString label = m_table.label;
    for (const QString &k : m_table.labelKeys)
        label = label.arg(valueOf(row, k).toString());
    return label;
}

void DeltaWriter::refuseChanged(const Row &old) const
{
    refuse(QStringLiteral("Os %1 foram alterados por outro usuário desde que foram carregados. "
                          "Recarregue os dados e faça a alteração novamente.").arg(keyText(old)));
}

void DeltaWriter::validate(const Row &row) const
{
    for (int i = 0; i < m_table.packetFields.size(); ++i) {
        if (!m_table.packetStored.at(i))
            continue;
        const FieldDef &f = m_table.packetFields.at(i);
        const QVariant &v = row.at(m_column.at(i));
        if (f.type == FieldType::String) {
            const QString *held = rt::textIn(v);
            const QString text = held ? QString() : v.toString();
            const QString &t = held ? *held : text;
            // A half of a surrogate pair is no character: the database would store another text.
            if (!t.isValidUtf16())
                refuse(QStringLiteral("O campo %1 contém caracteres inválidos.").arg(f.name));
            if (t.size() > f.size)
                refuse(QStringLiteral("O campo %1 aceita no máximo %2 caracteres.").arg(f.name).arg(f.size));
        }
        if (const Check *check = m_table.packetCheck.at(i))
            (*check)(v, f.name);
    }
    validateKey(row);
}

void DeltaWriter::validateKey(const Row &row) const
{
    for (const QString &k : m_table.key) {
        // Blanks around a key would make two keys of one on one engine and
        // not on the other: refused on both.
        const QString kv = valueOf(row, k).toString();
        if (!kv.trimmed().isEmpty() && kv != kv.trimmed())
            refuse(QStringLiteral("O campo %1 não pode começar nem terminar com espaços.").arg(k));
    }
    for (const QString &k : m_table.key)
        if (valueOf(row, k).toString().trimmed().isEmpty())
            refuse(k == QLatin1String("CDEMPRESA") ? QStringLiteral("Empresa deve ser informada.")
                   : k == QLatin1String("CDINSCESTA") ? QStringLiteral("Inscrição estadual deve ser informada.")
                                                      : QStringLiteral("O campo %1 deve ser informado.").arg(k));
}

std::optional<Row> DeltaWriter::storedRow(const Row &keyRow) const
{
    QSqlQuery &q = prepare(m_db, QStringLiteral("SELECT %1 FROM %2%3").arg(m_table.stored.join(QStringLiteral(", ")), m_table.name, m_table.where));
    bindKey(q, keyRow);
    exec(q, QStringLiteral("Erro ao ler o registro"));
    if (!q.next())
        return std::nullopt;
    Row r;
    for (int i = 0; i < m_table.stored.size(); ++i)
        r.append(q.value(i));
    q.finish();
    return r;
}

void DeltaWriter::requireUnchanged(const Row &old) const
{
    const std::optional<Row> now = storedRow(old);
    if (!now)
        refuse(QStringLiteral("Os %1 foram excluídos por outro usuário. Recarregue os dados.").arg(keyText(old)));
    for (int i = 0; i < m_table.stored.size(); ++i)
        if (!rt::sameValue(fromSql(now->at(i), m_table.storedType.at(i)), storedValue(old, i)))
            refuseChanged(old);
}

// A conditional statement that changed no row: the record was deleted, or
// changed since it was loaded.
void DeltaWriter::refuseNotApplied(const Row &old) const
{
    if (!storedRow(old))
        refuse(QStringLiteral("Os %1 foram excluídos por outro usuário. Recarregue os dados.").arg(keyText(old)));
    refuseChanged(old);
}

void DeltaWriter::requireAbsent(const Row &row) const
{
    if (storedRow(row))
        refuse(QStringLiteral("Os %1 já estão cadastrados.").arg(keyText(row)));
}

// A value the statements take as no value: null, or an empty text.
bool DeltaWriter::isEmptyOld(const QVariant &v, FieldType type)
{
    if (!v.isValid() || v.isNull())
        return true;
    if (const QString *text = rt::textIn(v))
        return text->isEmpty();
    return type == FieldType::String && v.toString().isEmpty();
}

// The values loaded, as conditions of the statement itself (a null as IS NULL: no typed nulls).
void DeltaWriter::unchangedSince(QString &sql, const Row &old) const
{
    for (int i = 0; i < m_table.stored.size(); ++i)
        sql += isEmptyOld(storedValue(old, i), m_table.storedType.at(i)) ? m_table.emptyOld.at(i) : m_table.equalsOld.at(i);
}

// What the text of a conditional statement follows from: its kind, its table,
// and per stored column whether it is written and whether its loaded value is
// empty (a condition without a value).
QByteArray DeltaWriter::shape(char kind, const Row &old, const QVector<int> &changed) const
{
    QByteArray s;
    s.reserve(1 + qsizetype(sizeof(const TableRules *)) + m_table.stored.size());
    s.append(kind);
    const TableRules *table = &m_table; // one for the life of the service
    s.append(reinterpret_cast<const char *>(&table), sizeof table);
    for (int i = 0, next = 0; i < m_table.stored.size(); ++i) {
        const bool written = next < changed.size() && changed.at(next) == i;
        next += written ? 1 : 0;
        s.append(char('0' + (written ? 1 : 0) + (isEmptyOld(storedValue(old, i), m_table.storedType.at(i)) ? 2 : 0)));
    }
    return s;
}

void DeltaWriter::bindKey(QSqlQuery &q, const Row &row) const
{
    for (int j = 0; j < m_key.size(); ++j)
        q.bindValue(m_table.keyParam.at(j), row.at(m_key.at(j)).toString());
}

void DeltaWriter::bindOld(QSqlQuery &q, const Row &old) const
{
    for (int i = 0; i < m_table.stored.size(); ++i)
        if (const QVariant &v = storedValue(old, i); !isEmptyOld(v, m_table.storedType.at(i)))
            q.bindValue(m_table.oldParam.at(i), v);
}

void DeltaWriter::bindNew(QSqlQuery &q, const Row &values, const QVector<int> &columns) const
{
    for (int i : columns)
        q.bindValue(m_table.newParam.at(i), toSql(storedValue(values, i), m_table.storedType.at(i)));
}

void DeltaWriter::applyChange(const rt::Change &change)
{
    switch (change.kind) {
    case rt::ChangeKind::Insert:
        insert(change.newValues);
        break;
    case rt::ChangeKind::Modify:
        modify(change.oldValues, change.newValues);
        break;
    case rt::ChangeKind::Delete:
        remove(change.oldValues);
        break;
    }
}

void DeltaWriter::insert(const Row &row)
{
    validate(row);
    requireAbsent(row);
    QSqlQuery &q = prepare(m_db, QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                    .arg(m_table.name, m_table.stored.join(QStringLiteral(", ")), m_table.newParam.join(QStringLiteral(", "))));
    QVector<int> all(m_table.stored.size());
    std::iota(all.begin(), all.end(), 0);
    bindNew(q, row, all);
    exec(q, QStringLiteral("Erro ao gravar"));
    record(HistoryKind::Insert, row, Row(), row, differing(Row(), row));
}

// Only the columns that change are written; the values the client loaded are
// conditions of the same statement, so a row changed since is never overwritten
// (another server writing the same database between two statements loses too).
void DeltaWriter::modify(const Row &old, const Row &row)
{
    validate(row);
    bool keyChanged = false;
    for (int k : m_key)
        keyChanged = keyChanged || old.at(k).toString() != row.at(k).toString();
    if (keyChanged)
        requireAbsent(row);
    const QVector<int> changed = differing(old, row);
    if (changed.isEmpty()) { // nothing to write; still refused if the row changed meanwhile
        requireUnchanged(old);
        return;
    }
    QSqlQuery &q = prepareShaped(m_db, shape('U', old, changed), [&] {
        QString sql = QStringLiteral("UPDATE ") + m_table.name + QStringLiteral(" SET ");
        for (int i : changed)
            sql += (i == changed.front() ? QString() : QStringLiteral(", ")) + m_table.assignNew.at(i);
        sql += m_table.where;
        unchangedSince(sql, old);
        return sql;
    });
    bindNew(q, row, changed);
    bindKey(q, old);
    bindOld(q, old);
    exec(q, QStringLiteral("Erro ao gravar"));
    if (q.numRowsAffected() != 1)
        refuseNotApplied(old);
    record(HistoryKind::Modify, row, old, row, changed);
}

void DeltaWriter::remove(const Row &old)
{
    QSqlQuery &q = prepareShaped(m_db, shape('D', old, {}), [&] {
        QString sql = QStringLiteral("DELETE FROM ") + m_table.name + m_table.where;
        unchangedSince(sql, old);
        return sql;
    });
    bindKey(q, old);
    bindOld(q, old);
    exec(q, QStringLiteral("Erro ao excluir"));
    if (q.numRowsAffected() != 1)
        refuseNotApplied(old);
    record(HistoryKind::Delete, old, old, Row(), differing(old, Row()));
}

// The stored columns whose values differ between two rows (an empty row: no values).
QVector<int> DeltaWriter::differing(const Row &before, const Row &after) const
{
    QVector<int> columns;
    const QVariant none;
    for (int i = 0; i < m_table.stored.size(); ++i)
        if (!rt::sameValue(before.isEmpty() ? none : storedValue(before, i), after.isEmpty() ? none : storedValue(after, i)))
            columns.append(i);
    return columns;
}

// One history row per field whose value the change set, gave or took away
// (`columns`, as differing() found them).
void DeltaWriter::record(HistoryKind kind, const Row &keyRow, const Row &before, const Row &after, const QVector<int> &columns)
{
    HistoryEntry e;
    e.kind = kind;
    e.method = m_author.method;
    e.origin = m_author.origin;
    e.company = valueOf(keyRow, QStringLiteral("CDEMPRESA")).toString();
    e.guideType = valueOf(keyRow, QStringLiteral("IDTPGUIA")).toString();
    e.registration = valueOf(keyRow, QStringLiteral("CDINSCESTA")).toString();
    e.fields.reserve(columns.size());
    for (int i : columns)
        e.fields.append(HistoryEntry::Field{m_table.stored.at(i), historyText(before.isEmpty() ? QVariant() : storedValue(before, i)),
                                            historyText(after.isEmpty() ? QVariant() : storedValue(after, i))});
    appendHistory(m_db, e);
}

bool DeltaWriter::isSqlite() const { return m_db.driverName() == QLatin1String("QSQLITE"); }

// SQLite's transaction runs through statements, Firebird's through the connection.
bool DeltaWriter::transactionStep(const QString &sqliteStatement, QSqlError *error)
{
    bool done = false;
    if (isSqlite()) {
        QSqlQuery &q = prepare(m_db, sqliteStatement);
        done = q.exec();
        *error = q.lastError();
    } else {
        done = sqliteStatement == QLatin1String("COMMIT") ? m_db.commit()
               : sqliteStatement == QLatin1String("ROLLBACK") ? m_db.rollback()
                                                             : m_db.transaction();
        *error = m_db.lastError();
    }
    return done;
}

bool DeltaWriter::begin(QSqlError *error)
{
    sqlite3 *engine = waitrule::mayWait() ? nullptr : sqliteHandle(m_db);
    if (!engine)
        return transactionStep(QStringLiteral("BEGIN IMMEDIATE"), error);
    sqlite3_busy_timeout(engine, 0);
    const bool done = transactionStep(QStringLiteral("BEGIN IMMEDIATE"), error);
    sqlite3_busy_timeout(engine, kSqliteBusyTimeoutMs);
    if (!done && (error->nativeErrorCode().toInt() & 0xff) == SQLITE_BUSY)
        throw waitrule::GiveWay{};
    return done;
}

// On SQLite the write lock is taken at the start, so concurrent savers queue;
// where waiting is not allowed, a lock held elsewhere gives way at once.
void DeltaWriter::apply(const QSqlDatabase &db)
{
    m_db = db;
    QSqlError error;
    if (!begin(&error))
        throw Exception(sqlError(QStringLiteral("Erro ao iniciar a transação"), error));
    try {
        for (const rt::Change &c : m_delta.changes)
            applyChange(c);
        if (!transactionStep(QStringLiteral("COMMIT"), &error)) {
            if (isWriteConflict(error))
                refuse(kChangedMeanwhile);
            throw Exception(sqlError(QStringLiteral("Erro ao confirmar a transação"), error));
        }
    } catch (...) {
        transactionStep(QStringLiteral("ROLLBACK"), &error);
        throw;
    }
}

} // namespace store
