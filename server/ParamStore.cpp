#include "ParamStore.h"

#include "Exceptions.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <sys/stat.h>
#include <QThread>
#include <cmath>
#include <functional>

using rt::DataPacket;
using rt::Delta;
using rt::Exception;
using rt::FieldDef;
using rt::FieldType;
using rt::Row;

namespace {

[[noreturn]] void refuse(const QString &message) { throw ParamStore::Refused(message); }

QString sqlError(const QString &what, const QSqlError &e)
{
    return QStringLiteral("%1: %2").arg(what, e.text());
}

// Two writers on the same row at once: Firebird answers the later one with an
// update conflict (a deadlock, a lock conflict) instead of waiting. For the
// user that is the same as a row changed since it was loaded.
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

// A read argument longer than its column matches no row, on every engine
// (Firebird would refuse the statement instead).
bool fits(const QString &value, int width) { return value.size() <= width; }

QSqlQuery prepare(const QSqlDatabase &db, const QString &sql)
{
    QSqlQuery q(db);
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

DataPacket readPacket(QSqlQuery &q, const QVector<FieldDef> &fields)
{
    DataPacket p;
    p.fields = fields;
    while (q.next()) {
        Row r;
        r.reserve(fields.size());
        for (int i = 0; i < fields.size(); ++i)
            r.append(fromSql(q.value(i), fields.at(i).type));
        p.rows.append(r);
    }
    if (q.lastError().isValid())
        throw Exception(sqlError(QStringLiteral("Erro ao ler dados"), q.lastError()));
    return p;
}

FieldDef str(const char *name, int size) { return FieldDef{QString::fromLatin1(name), FieldType::String, size}; }
FieldDef flt(const char *name) { return FieldDef{QString::fromLatin1(name), FieldType::Float, 0}; }

// Field order of the packets the screen loads.
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

using Check = std::function<void(const QVariant &value, const QString &field)>;

Check oneOf(const QStringList &codes)
{
    return [codes](const QVariant &v, const QString &field) {
        const QString s = v.toString();
        if (!s.isEmpty() && !codes.contains(s))
            refuse(QStringLiteral("Valor '%1' inválido no campo %2: esperado %3.").arg(s, field, codes.join(QStringLiteral(", "))));
    };
}

Check flag() { return oneOf({QStringLiteral("S"), QStringLiteral("N")}); }

Check wholeIn(int low, int high)
{
    return [low, high](const QVariant &v, const QString &field) {
        const QString s = v.toString();
        if (s.isEmpty())
            return;
        bool ok = false;
        const int n = s.trimmed().toInt(&ok);
        if (!ok || n < low || n > high)
            refuse(QStringLiteral("Valor '%1' inválido no campo %2: esperado um número de %3 a %4.").arg(s, field).arg(low).arg(high));
    };
}

Check numberIn(double low, double high)
{
    return [low, high](const QVariant &v, const QString &field) {
        if (v.isNull() || !v.isValid())
            return;
        const double d = v.toDouble();
        if (!std::isfinite(d) || d < low || d > high)
            refuse(QStringLiteral("Valor %1 inválido no campo %2: esperado de %3 a %4.").arg(d).arg(field).arg(low).arg(high));
    };
}

} // namespace

// A table the service writes: its stored columns, key and value rules.
struct ParamStore::Table
{
    QString name;
    QString label;                 // for messages: %1, %2... are the values of labelKeys
    QStringList labelKeys;
    QVector<FieldDef> packetFields; // fields the client sends
    QStringList stored;             // columns written (names resolved on read are not)
    QStringList key;
    QHash<QString, Check> checks;
};

namespace {

const QStringList geralStored{"CDEMPRESA", "IDGERALOGGNRE", "CDLIVROMAG", "NRDIASCALCDTPAG", "CDFILIAL",
                              "IDCALENDPAGGNRE", "DSEMAILRETORNO", "CDPRODUTODEB", "CDNATUQUALIF", "VRALIQFECP",
                              "CDPRODUTOGON", "IDGERACONTAPAG", "IDENTRSAIDPAG", "CDTPOPERPAG"};

} // namespace

static void initSchemaResources() { Q_INIT_RESOURCE(server); }

ParamStore::ParamStore(const Options &options)
    : m_options(options), m_connectionPrefix(QStringLiteral("paramstore-%1").arg(quintptr(this)))
{
    initSchemaResources(); // the schema is compiled into a static library
}

ParamStore::~ParamStore()
{
    for (const QString &name : QSqlDatabase::connectionNames())
        if (name.startsWith(m_connectionPrefix))
            QSqlDatabase::removeDatabase(name);
}

namespace {

// The file a connection opened: a file replaced since (put back from a copy)
// must not be written through the old one, whose changes would go nowhere.
thread_local QHash<QString, quint64> t_openedFile;

quint64 fileIdentity(const QString &path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return 0;
    return (quint64(st.st_dev) << 32) ^ quint64(st.st_ino);
}

} // namespace

void ParamStore::dropConnection()
{
    const QString name = QStringLiteral("%1-%2").arg(m_connectionPrefix).arg(quintptr(QThread::currentThreadId()));
    t_openedFile.remove(name);
    if (!QSqlDatabase::contains(name))
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(name, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

QSqlDatabase ParamStore::connection()
{
    // Qt SQL connections belong to the thread that opened them: one per worker thread.
    const QString name = QStringLiteral("%1-%2").arg(m_connectionPrefix).arg(quintptr(QThread::currentThreadId()));
    if (isSqlite()) {
        const quint64 identity = fileIdentity(m_options.database);
        if (identity == 0) {
            dropConnection();
            throw Exception(QStringLiteral("O banco de dados %1 não existe.").arg(m_options.database));
        }
        if (t_openedFile.contains(name) && t_openedFile.value(name) != identity)
            dropConnection();
    }
    if (QSqlDatabase::contains(name)) {
        QSqlDatabase db = QSqlDatabase::database(name, false);
        if (db.isOpen())
            return db;
    }
    QSqlDatabase db = QSqlDatabase::contains(name) ? QSqlDatabase::database(name, false)
                                                   : QSqlDatabase::addDatabase(m_options.driver, name);
    db.setDatabaseName(m_options.database);
    if (!m_options.user.isEmpty())
        db.setUserName(m_options.user);
    if (!m_options.password.isEmpty())
        db.setPassword(m_options.password);
    if (isSqlite())
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000"));
    if (!db.open())
        throw Exception(sqlError(QStringLiteral("Não foi possível abrir o banco de dados %1").arg(m_options.database), db.lastError()));
    if (isSqlite()) {
        QSqlQuery q(db);
        // WAL with full synchronisation: a committed change survives a power cut.
        for (const char *pragma : {"PRAGMA journal_mode=WAL", "PRAGMA synchronous=FULL", "PRAGMA foreign_keys=ON"})
            if (!q.exec(QString::fromLatin1(pragma)))
                throw Exception(sqlError(QStringLiteral("Erro ao configurar o banco"), q.lastError()));
        t_openedFile.insert(name, fileIdentity(m_options.database));
    }
    return db;
}

namespace {

QStringList statements(const QString &resource)
{
    QFile f(resource);
    if (!f.open(QIODevice::ReadOnly))
        throw Exception(QStringLiteral("Recurso %1 não encontrado.").arg(resource));
    QStringList out;
    QString current;
    for (const QString &line : QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'))) {
        if (line.trimmed().startsWith(QLatin1String("--")))
            continue;
        current += line + QLatin1Char('\n');
        if (line.trimmed().endsWith(QLatin1Char(';'))) {
            out.append(current.trimmed().chopped(1));
            current.clear();
        }
    }
    return out;
}

} // namespace

void ParamStore::open()
{
    // A database that is not there is an error, unless a new one is asked for:
    // a production database deleted by mistake must not come back empty.
    if (isSqlite() && !QFile::exists(m_options.database)) {
        if (!m_options.create && !m_options.demo)
            throw Exception(QStringLiteral("the database %1 does not exist (--create makes a new one)").arg(m_options.database));
        QFile f(m_options.database);
        if (!f.open(QIODevice::WriteOnly))
            throw Exception(QStringLiteral("cannot create the database %1: %2").arg(m_options.database, f.errorString()));
    }
    QSqlDatabase db = connection();
    if (!isSqlite())
        return; // Firebird databases are created by db/firebird's scripts
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SELECT COUNT(*) FROM sqlite_master WHERE type = 'table' AND name = 'PARAMGNRE'")) || !q.next())
        throw Exception(sqlError(QStringLiteral("Erro ao ler o esquema"), q.lastError()));
    const bool fresh = q.value(0).toInt() == 0;
    q.finish();
    if (!fresh)
        return;
    std::lock_guard lock(m_writeLock);
    if (!q.exec(QStringLiteral("BEGIN IMMEDIATE")))
        throw Exception(sqlError(QStringLiteral("Erro ao criar o esquema"), q.lastError()));
    try {
        QStringList all = statements(QStringLiteral(":/db/tables.sql"));
        if (m_options.demo)
            all += statements(QStringLiteral(":/db/demo.sql"));
        for (const QString &s : std::as_const(all))
            if (!q.exec(s))
                throw Exception(sqlError(QStringLiteral("Erro ao criar o esquema"), q.lastError()));
        if (!q.exec(QStringLiteral("COMMIT")))
            throw Exception(sqlError(QStringLiteral("Erro ao criar o esquema"), q.lastError()));
    } catch (...) {
        q.exec(QStringLiteral("ROLLBACK"));
        throw;
    }
}

DataPacket ParamStore::getParamGeral(const QString &company)
{
    QSqlQuery q = prepare(connection(), QStringLiteral(
        "SELECT P.CDEMPRESA, P.IDGERALOGGNRE, P.CDLIVROMAG, L.NMLIVROMAG, P.NRDIASCALCDTPAG, P.CDFILIAL,"
        " F.NMFILIAL, P.IDCALENDPAGGNRE, P.DSEMAILRETORNO, P.CDPRODUTODEB, P.CDNATUQUALIF, P.VRALIQFECP,"
        " P.CDPRODUTOGON, PR.DSPRODUTO, P.IDGERACONTAPAG, P.IDENTRSAIDPAG, P.CDTPOPERPAG, T.NMTIPOOPER"
        " FROM PARAMGNRE P"
        " LEFT JOIN LIVROMAG L ON L.CDLIVROMAG = P.CDLIVROMAG"
        " LEFT JOIN FILIAL F ON F.CDFILIAL = P.CDFILIAL"
        " LEFT JOIN PRODGNREONLINE PR ON PR.CDPRODUTO = P.CDPRODUTOGON"
        " LEFT JOIN TIPOOPERAC T ON T.CDTIPOOPER = P.CDTPOPERPAG AND T.IDENTRSAIDOP = COALESCE(P.IDENTRSAIDPAG, 'E')"
        " WHERE P.CDEMPRESA = :emp"));
    if (!fits(company, 2))
        return DataPacket{paramGeralFields(), {}};
    q.bindValue(QStringLiteral(":emp"), company);
    exec(q, QStringLiteral("Erro ao ler os parâmetros gerais"));
    return readPacket(q, paramGeralFields());
}

DataPacket ParamStore::getParamInscr(const QString &company, const QString &guideType)
{
    QSqlQuery q = prepare(connection(), QStringLiteral(
        "SELECT CDEMPRESA, CDINSCESTA, SGESTADO, NRCERTIFICDIG, IDTPAMBIENTE, DSEMAILRETORNO, IDPERIODOREFAPU,"
        " IDTPGUIA, IDCALCSTMANUAL, CDENCARGOST, CDFILIALPAG, IDFCPSEPIMP"
        " FROM PARAMGNREINSCR WHERE CDEMPRESA = :emp AND IDTPGUIA = :tp ORDER BY CDINSCESTA"));
    if (!fits(company, 2) || !fits(guideType, 3))
        return DataPacket{paramInscrFields(), {}};
    q.bindValue(QStringLiteral(":emp"), company);
    q.bindValue(QStringLiteral(":tp"), guideType);
    exec(q, QStringLiteral("Erro ao ler os parâmetros por inscrição"));
    return readPacket(q, paramInscrFields());
}

DataPacket ParamStore::codeList(const QString &table, const FieldDef &code, const FieldDef &name, const QString &value)
{
    // An empty code asks for every row.
    QSqlQuery q = prepare(connection(), QStringLiteral("SELECT %2, %3 FROM %1 WHERE (:all1 = 1 OR %2 = :code) ORDER BY %2")
                                            .arg(table, code.name, name.name));
    if (!fits(value, code.size))
        return DataPacket{{code, name}, {}};
    q.bindValue(QStringLiteral(":all1"), value.isEmpty() ? 1 : 0);
    q.bindValue(QStringLiteral(":code"), value);
    exec(q, QStringLiteral("Erro ao ler %1").arg(table));
    return readPacket(q, {code, name});
}

DataPacket ParamStore::getLivroMag(const QString &code)
{
    return codeList(QStringLiteral("LIVROMAG"), str("CDLIVROMAG", 10), str("NMLIVROMAG", 50), code);
}

DataPacket ParamStore::getProdGnreOnline(const QString &code)
{
    return codeList(QStringLiteral("PRODGNREONLINE"), str("CDPRODUTO", 5), str("DSPRODUTO", 250), code);
}

DataPacket ParamStore::getVdInscricao(const QString &company, const QString &registration, const QString &guideType)
{
    QSqlQuery q = prepare(connection(), QStringLiteral(
        "SELECT CDINSCESTA FROM PARAMGNREINSCR WHERE CDEMPRESA = :emp AND CDINSCESTA = :insc AND IDTPGUIA = :tp"));
    if (!fits(company, 2) || !fits(registration, 16) || !fits(guideType, 3))
        return DataPacket{{str("CDINSCESTA", 16)}, {}};
    q.bindValue(QStringLiteral(":emp"), company);
    q.bindValue(QStringLiteral(":insc"), registration);
    q.bindValue(QStringLiteral(":tp"), guideType);
    exec(q, QStringLiteral("Erro ao verificar a inscrição estadual"));
    return readPacket(q, {str("CDINSCESTA", 16)});
}

void ParamStore::setParamGNRE(const Delta &delta)
{
    static const Table table = [] {
        Table t;
        t.name = QStringLiteral("PARAMGNRE");
        t.label = QStringLiteral("parâmetros gerais da empresa %1");
        t.labelKeys = {QStringLiteral("CDEMPRESA")};
        t.packetFields = paramGeralFields();
        t.stored = geralStored;
        t.key = {QStringLiteral("CDEMPRESA")};
        t.checks.insert("IDGERALOGGNRE", flag());
        t.checks.insert("IDGERACONTAPAG", flag());
        t.checks.insert("IDCALENDPAGGNRE", oneOf({"F", "C", "B"}));
        t.checks.insert("CDPRODUTODEB", wholeIn(1, 12));
        t.checks.insert("CDNATUQUALIF", wholeIn(1, 5));
        t.checks.insert("IDENTRSAIDPAG", oneOf({"E"}));
        t.checks.insert("NRDIASCALCDTPAG", numberIn(0, 99));
        t.checks.insert("VRALIQFECP", numberIn(0, 100));
        return t;
    }();
    applyDelta(table, delta);
}

void ParamStore::setParamInscr(const Delta &delta)
{
    static const Table table = [] {
        Table t;
        t.name = QStringLiteral("PARAMGNREINSCR");
        t.label = QStringLiteral("parâmetros da inscrição %1 da empresa %2");
        t.labelKeys = {QStringLiteral("CDINSCESTA"), QStringLiteral("CDEMPRESA")};
        t.packetFields = paramInscrFields();
        for (const FieldDef &f : t.packetFields)
            t.stored.append(f.name);
        t.key = {QStringLiteral("CDEMPRESA"), QStringLiteral("IDTPGUIA"), QStringLiteral("CDINSCESTA")};
        t.checks.insert("IDTPAMBIENTE", oneOf({"H", "P"}));
        t.checks.insert("IDPERIODOREFAPU", oneOf({"I", "D", "Q", "M"}));
        t.checks.insert("IDCALCSTMANUAL", flag());
        t.checks.insert("IDFCPSEPIMP", flag());
        return t;
    }();
    applyDelta(table, delta);
}

void ParamStore::applyDelta(const Table &table, const Delta &delta)
{
    // Map the delta's columns to the table's; every field the table knows must be there.
    QVector<int> column; // packetFields index -> delta column
    for (const FieldDef &f : table.packetFields) {
        const int c = delta.indexOf(f.name);
        if (c < 0)
            refuse(QStringLiteral("Alteração recusada: falta o campo %1.").arg(f.name));
        if (delta.fields.at(c).type != f.type)
            refuse(QStringLiteral("Alteração recusada: tipo incorreto no campo %1.").arg(f.name));
        column.append(c);
    }
    for (const FieldDef &f : delta.fields) {
        bool known = false;
        for (const FieldDef &t : table.packetFields)
            known = known || t.name == f.name;
        if (!known)
            refuse(QStringLiteral("Alteração recusada: campo desconhecido %1.").arg(f.name));
    }
    if (delta.changes.isEmpty())
        return;

    auto valueOf = [&](const Row &row, const QString &name) -> QVariant {
        for (int i = 0; i < table.packetFields.size(); ++i)
            if (table.packetFields.at(i).name == name)
                return row.at(column.at(i));
        return QVariant();
    };
    auto keyText = [&](const Row &row) {
        QString label = table.label;
        for (const QString &k : table.labelKeys)
            label = label.arg(valueOf(row, k).toString());
        return label;
    };
    auto validate = [&](const Row &row) {
        for (const FieldDef &f : table.packetFields) {
            if (!table.stored.contains(f.name))
                continue;
            const QVariant v = valueOf(row, f.name);
            // A half of a surrogate pair is no character: the database would store another text.
            if (f.type == FieldType::String && !v.toString().isValidUtf16())
                refuse(QStringLiteral("O campo %1 contém caracteres inválidos.").arg(f.name));
            if (f.type == FieldType::String && v.toString().size() > f.size)
                refuse(QStringLiteral("O campo %1 aceita no máximo %2 caracteres.").arg(f.name).arg(f.size));
            if (const auto it = table.checks.constFind(f.name); it != table.checks.constEnd())
                (*it)(v, f.name);
        }
        for (const QString &k : table.key) {
            // Blanks around a key would make two keys of one on one engine and
            // not on the other: refused on both.
            const QString kv = valueOf(row, k).toString();
            if (!kv.trimmed().isEmpty() && kv != kv.trimmed())
                refuse(QStringLiteral("O campo %1 não pode começar nem terminar com espaços.").arg(k));
        }
        for (const QString &k : table.key)
            if (valueOf(row, k).toString().trimmed().isEmpty())
                refuse(k == QLatin1String("CDEMPRESA") ? QStringLiteral("Empresa deve ser informada.")
                       : k == QLatin1String("CDINSCESTA") ? QStringLiteral("Inscrição estadual deve ser informada.")
                                                          : QStringLiteral("O campo %1 deve ser informado.").arg(k));
    };

    QString where;
    for (const QString &k : table.key)
        where += (where.isEmpty() ? QStringLiteral(" WHERE ") : QStringLiteral(" AND ")) + k + QStringLiteral(" = :k_") + k;
    auto bindKey = [&](QSqlQuery &q, const Row &row) {
        for (const QString &k : table.key)
            q.bindValue(QStringLiteral(":k_") + k, valueOf(row, k).toString());
    };

    std::lock_guard lock(m_writeLock);
    QSqlDatabase db = connection();
    QSqlQuery tx(db);
    const bool begun = isSqlite() ? tx.exec(QStringLiteral("BEGIN IMMEDIATE")) : db.transaction();
    if (!begun)
        throw Exception(sqlError(QStringLiteral("Erro ao iniciar a transação"), isSqlite() ? tx.lastError() : db.lastError()));
    try {
        auto storedRow = [&](const Row &keyRow, bool &found) {
            QSqlQuery q = prepare(db, QStringLiteral("SELECT %1 FROM %2%3").arg(table.stored.join(QStringLiteral(", ")), table.name, where));
            bindKey(q, keyRow);
            exec(q, QStringLiteral("Erro ao ler o registro"));
            Row r;
            found = q.next();
            if (found)
                for (int i = 0; i < table.stored.size(); ++i)
                    r.append(q.value(i));
            return r;
        };
        auto requireUnchanged = [&](const Row &old) {
            bool found = false;
            const Row now = storedRow(old, found);
            if (!found)
                refuse(QStringLiteral("Os %1 foram excluídos por outro usuário. Recarregue os dados.").arg(keyText(old)));
            for (int i = 0; i < table.stored.size(); ++i) {
                const FieldDef *f = nullptr;
                for (const FieldDef &pf : table.packetFields)
                    if (pf.name == table.stored.at(i))
                        f = &pf;
                if (!rt::sameValue(fromSql(now.at(i), f->type), valueOf(old, f->name)))
                    refuse(QStringLiteral("Os %1 foram alterados por outro usuário desde que foram carregados. "
                                          "Recarregue os dados e faça a alteração novamente.").arg(keyText(old)));
            }
        };
        auto requireAbsent = [&](const Row &row) {
            bool found = false;
            storedRow(row, found);
            if (found)
                refuse(QStringLiteral("Os %1 já estão cadastrados.").arg(keyText(row)));
        };
        // The values loaded, as conditions of the statement itself (a null as IS NULL: no typed nulls).
        auto unchangedSince = [&](const Row &old) {
            QString cond;
            for (const QString &c : table.stored) {
                FieldType type = FieldType::String;
                for (const FieldDef &pf : table.packetFields)
                    if (pf.name == c)
                        type = pf.type;
                const QVariant v = valueOf(old, c);
                const bool null = !v.isValid() || v.isNull() || (type == FieldType::String && v.toString().isEmpty());
                if (null)
                    cond += type == FieldType::String ? QStringLiteral(" AND (%1 IS NULL OR %1 = '')").arg(c)
                                                      : QStringLiteral(" AND %1 IS NULL").arg(c);
                else
                    cond += QStringLiteral(" AND %1 = :o_%1").arg(c);
            }
            return cond;
        };
        auto bindOld = [&](QSqlQuery &q, const Row &old) {
            for (const QString &c : table.stored) {
                const QVariant v = valueOf(old, c);
                if (v.isValid() && !v.isNull() && !(v.typeId() == QMetaType::QString && v.toString().isEmpty()))
                    q.bindValue(QStringLiteral(":o_") + c, v);
            }
        };
        auto write = [&](const QString &sql, const Row &values, const Row *keyRow) {
            QSqlQuery q = prepare(db, sql);
            for (const QString &c : table.stored) {
                FieldType type = FieldType::String;
                for (const FieldDef &pf : table.packetFields)
                    if (pf.name == c)
                        type = pf.type;
                q.bindValue(QStringLiteral(":v_") + c, toSql(valueOf(values, c), type));
            }
            if (keyRow) {
                bindKey(q, *keyRow);
                bindOld(q, *keyRow);
            }
            exec(q, QStringLiteral("Erro ao gravar"));
            // The row must still hold what the client loaded, checked in the same statement:
            // another server writing the same database between the check and the write loses.
            if (keyRow && q.numRowsAffected() != 1)
                refuse(QStringLiteral("Os %1 foram alterados por outro usuário desde que foram carregados. "
                                      "Recarregue os dados e faça a alteração novamente.").arg(keyText(*keyRow)));
        };

        QStringList assignments, placeholders;
        for (const QString &c : table.stored) {
            assignments.append(c + QStringLiteral(" = :v_") + c);
            placeholders.append(QStringLiteral(":v_") + c);
        }
        const QString insertSql = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                      .arg(table.name, table.stored.join(QStringLiteral(", ")), placeholders.join(QStringLiteral(", ")));
        const QString updateSql = QStringLiteral("UPDATE %1 SET %2%3").arg(table.name, assignments.join(QStringLiteral(", ")), where);

        for (const rt::Change &c : delta.changes) {
            switch (c.kind) {
            case rt::ChangeKind::Insert:
                validate(c.newValues);
                requireAbsent(c.newValues);
                write(insertSql, c.newValues, nullptr);
                break;
            case rt::ChangeKind::Modify: {
                validate(c.newValues);
                requireUnchanged(c.oldValues);
                bool keyChanged = false;
                for (const QString &k : table.key)
                    keyChanged = keyChanged || valueOf(c.oldValues, k).toString() != valueOf(c.newValues, k).toString();
                if (keyChanged)
                    requireAbsent(c.newValues);
                write(updateSql + unchangedSince(c.oldValues), c.newValues, &c.oldValues);
                break;
            }
            case rt::ChangeKind::Delete: {
                requireUnchanged(c.oldValues);
                QSqlQuery q = prepare(db, QStringLiteral("DELETE FROM %1%2").arg(table.name, where) + unchangedSince(c.oldValues));
                bindKey(q, c.oldValues);
                bindOld(q, c.oldValues);
                exec(q, QStringLiteral("Erro ao excluir"));
                if (q.numRowsAffected() != 1)
                    refuse(QStringLiteral("Os %1 foram alterados por outro usuário desde que foram carregados. "
                                          "Recarregue os dados e faça a alteração novamente.").arg(keyText(c.oldValues)));
                break;
            }
            }
        }
        const bool committed = isSqlite() ? tx.exec(QStringLiteral("COMMIT")) : db.commit();
        if (!committed && isWriteConflict(isSqlite() ? tx.lastError() : db.lastError()))
            refuse(kChangedMeanwhile);
        if (!committed)
            throw Exception(sqlError(QStringLiteral("Erro ao confirmar a transação"), isSqlite() ? tx.lastError() : db.lastError()));
    } catch (...) {
        if (isSqlite())
            tx.exec(QStringLiteral("ROLLBACK"));
        else
            db.rollback();
        throw;
    }
}
