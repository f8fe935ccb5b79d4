// Opening the database: the connection of each thread and, for a new SQLite
// file, the schema (and the demo data when asked).
#include "ParamStore.h"

#include "Exceptions.h"
#include "StoreSupport.h"

#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QThread>
#include <QSqlDriver>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unordered_map>

using rt::Exception;
using store::sqlError;

static void initSchemaResources() { Q_INIT_RESOURCE(server); }

ParamStore::ParamStore(const Options &options)
    : m_options(options), m_connectionPrefix(QStringLiteral("paramstore-%1").arg(quintptr(this)))
{
    initSchemaResources(); // the schema is compiled into a static library
}

namespace {

// What a thread keeps of each of its connections: the file it opened (a file
// replaced since, put back from a copy, must not be written through the old
// one, whose changes would go nowhere) and, on SQLite, the statements
// prepared on it, each prepared once.
struct ThreadConnection
{
    QSqlDatabase db;
    quint64 file = 0;
    std::unordered_map<QString, QSqlQuery> statements; // node-based: a statement's place never moves
    std::unordered_map<QByteArray, QSqlQuery *> shapes; // into statements (see store::prepareShaped)
    // SQLite's own statements of the reads, prepared once (see store::selectPacketJson).
    std::unordered_map<QString, std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt *)>> reads;
};
thread_local std::unordered_map<QString, ThreadConnection> t_connections;

quint64 fileIdentity(const QString &path)
{
    // The path's encoding, kept for the next time (asked on every request).
    thread_local QString t_path;
    thread_local QByteArray t_encoded;
    if (t_path != path) {
        t_path = path;
        t_encoded = QFile::encodeName(path);
    }
    struct stat st {};
    if (::stat(t_encoded.constData(), &st) != 0)
        return 0;
    return (quint64(st.st_dev) << 32) ^ quint64(st.st_ino);
}

// The statements of an SQL script in the resources, without comment lines
// and COMMITs (the caller commits); "SET TERM" changes what ends a statement,
// as in isql, for the bodies of triggers.
QStringList statements(const QString &resource)
{
    QFile f(resource);
    if (!f.open(QIODevice::ReadOnly))
        throw Exception(QStringLiteral("Recurso %1 não encontrado.").arg(resource));
    QStringList out;
    QString current;
    QString terminator = QStringLiteral(";");
    for (const QString &line : QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'))) {
        const QString trimmed = line.trimmed();
        if (trimmed.startsWith(QLatin1String("--")))
            continue;
        if (current.isEmpty() && trimmed.startsWith(QLatin1String("SET TERM "), Qt::CaseInsensitive)) {
            terminator = trimmed.section(QLatin1Char(' '), 2, 2);
            continue;
        }
        current += line + QLatin1Char('\n');
        if (trimmed.endsWith(terminator)) {
            const QString statement = current.trimmed().chopped(terminator.size()).trimmed();
            if (statement.compare(QLatin1String("COMMIT"), Qt::CaseInsensitive) != 0)
                out.append(statement);
            current.clear();
        }
    }
    return out;
}

} // namespace

namespace {

// What this thread keeps of a connection it opened.
ThreadConnection &keptOf(const QSqlDatabase &db)
{
    const auto c = t_connections.find(db.connectionName());
    if (c == t_connections.end())
        throw Exception(QStringLiteral("Conexão %1 desconhecida.").arg(db.connectionName()));
    return c->second;
}

} // namespace

namespace store {

std::pair<QSqlQuery &, bool> keptStatement(const QSqlDatabase &db, const QString &sql)
{
    QSqlQuery &q = keptOf(db).statements[sql];
    const bool kept = db.driverName() == QLatin1String("QSQLITE") && !q.lastQuery().isEmpty();
    return {q, kept};
}

QSqlQuery &prepareShaped(const QSqlDatabase &db, const QByteArray &shape, const std::function<QString()> &text)
{
    auto &shapes = keptOf(db).shapes;
    if (const auto known = shapes.find(shape); known != shapes.end()) {
        known->second->finish(); // whatever its last use left unread
        return *known->second;
    }
    QSqlQuery &q = prepare(db, text());
    if (db.driverName() == QLatin1String("QSQLITE")) // kept there only
        shapes.emplace(shape, &q);
    return q;
}

sqlite3 *sqliteHandle(const QSqlDatabase &db)
{
    const QVariant handle = db.driver()->handle();
    return qstrcmp(handle.typeName(), "sqlite3*") == 0 ? *static_cast<sqlite3 *const *>(handle.constData()) : nullptr;
}

sqlite3_stmt *keptSqliteRead(const QSqlDatabase &db, const QString &sql)
{
    const auto c = t_connections.find(db.connectionName());
    if (c == t_connections.end() || db.driverName() != QLatin1String("QSQLITE"))
        return nullptr;
    auto &reads = c->second.reads;
    if (const auto kept = reads.find(sql); kept != reads.end())
        return kept->second.get();
    sqlite3 *engine = sqliteHandle(db);
    if (!engine)
        return nullptr;
    sqlite3_stmt *stmt = nullptr;
    const QByteArray text = sql.toUtf8();
    if (sqlite3_prepare_v3(engine, text.constData(), int(text.size()), SQLITE_PREPARE_PERSISTENT, &stmt, nullptr) != SQLITE_OK) {
        const QString why = QString::fromUtf8(sqlite3_errmsg(engine));
        sqlite3_finalize(stmt);
        throw Exception(QStringLiteral("Erro ao preparar consulta: %1").arg(why));
    }
    reads.emplace(sql, std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt *)>(stmt, sqlite3_finalize));
    return stmt;
}

} // namespace store

ParamStore::~ParamStore()
{
    // This thread's statements first: they belong to the connections.
    std::erase_if(t_connections, [this](const auto &c) { return c.first.startsWith(m_connectionPrefix); });
    for (const QString &name : QSqlDatabase::connectionNames())
        if (name.startsWith(m_connectionPrefix))
            QSqlDatabase::removeDatabase(name);
}

void ParamStore::dropConnection()
{
    const QString &name = connectionName();
    t_connections.erase(name); // its statements first: they belong to the connection
    if (!QSqlDatabase::contains(name))
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(name, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

// This thread's connection of this store: one name per store and thread.
const QString &ParamStore::connectionName() const
{
    thread_local const ParamStore *t_store = nullptr;
    thread_local QString t_name;
    if (t_store != this || t_name.isEmpty()) {
        t_store = this;
        t_name = QStringLiteral("%1-%2").arg(m_connectionPrefix).arg(quintptr(QThread::currentThreadId()));
    }
    return t_name;
}

QSqlDatabase ParamStore::connection()
{
    // Qt SQL connections belong to the thread that opened them: one per worker thread.
    const QString &name = connectionName();
    auto kept = t_connections.find(name);
    if (kept != t_connections.end()) {
        // Statements made from values (a set of null conditions, the columns
        // changed) are few, but a flood of them must not grow without bound;
        // none is in use when a request asks for its connection.
        if (kept->second.statements.size() > 256) {
            kept->second.shapes.clear();
            kept->second.statements.clear();
        }
        if (kept->second.reads.size() > 256)
            kept->second.reads.clear();
    }
    if (isSqlite()) {
        const quint64 identity = fileIdentity(m_options.database);
        if (identity == 0) {
            dropConnection();
            throw Exception(QStringLiteral("O banco de dados %1 não existe.").arg(m_options.database));
        }
        if (kept != t_connections.end() && kept->second.file == identity && kept->second.db.isOpen())
            return kept->second.db;
        if (kept != t_connections.end())
            dropConnection();
    } else if (kept != t_connections.end() && kept->second.db.isOpen()) {
        return kept->second.db;
    }
    if (QSqlDatabase::contains(name)) {
        QSqlDatabase db = QSqlDatabase::database(name, false);
        if (db.isOpen()) {
            t_connections[name] = ThreadConnection{db, fileIdentity(m_options.database), {}, {}, {}};
            return db;
        }
    }
    QSqlDatabase db = QSqlDatabase::contains(name) ? QSqlDatabase::database(name, false)
                                                   : QSqlDatabase::addDatabase(m_options.driver, name);
    db.setDatabaseName(m_options.database);
    if (!m_options.user.isEmpty())
        db.setUserName(m_options.user);
    if (!m_options.password.isEmpty())
        db.setPassword(m_options.password);
    if (isSqlite())
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(store::kSqliteBusyTimeoutMs));
    if (!db.open())
        throw Exception(sqlError(QStringLiteral("Não foi possível abrir o banco de dados %1").arg(m_options.database), db.lastError()));
    if (isSqlite()) {
        QSqlQuery q(db);
        // WAL with full synchronisation: a committed change survives a power
        // cut. A new database gets pages of 1 KiB (before WAL, which fixes the
        // size): a change then writes 2 KiB to the WAL, not 8, and each save
        // waits for less; an existing one keeps its own.
        for (const char *pragma : {"PRAGMA page_size=1024", "PRAGMA journal_mode=WAL", "PRAGMA synchronous=FULL", "PRAGMA foreign_keys=ON"})
            if (!q.exec(QString::fromLatin1(pragma)))
                throw Exception(sqlError(QStringLiteral("Erro ao configurar o banco"), q.lastError()));
    }
    t_connections[name] = ThreadConnection{db, isSqlite() ? fileIdentity(m_options.database) : 0, {}, {}, {}};
    return db;
}

QString ParamStore::open()
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
        return openFirebird(db);
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SELECT COUNT(*) FROM sqlite_master WHERE type = 'table' AND name = 'PARAMGNRE'")) || !q.next())
        throw Exception(sqlError(QStringLiteral("Erro ao ler o esquema"), q.lastError()));
    const bool fresh = q.value(0).toInt() == 0;
    q.finish();
    if (!q.exec(QStringLiteral("PRAGMA user_version")) || !q.next())
        throw Exception(sqlError(QStringLiteral("Erro ao ler a versão do esquema"), q.lastError()));
    const int found = fresh ? 0 : q.value(0).toInt();
    q.finish();
    if (found > SchemaVersion)
        throw Exception(QStringLiteral("the database %1 has schema version %2, newer than this service's %3: "
                                       "run a newer service on it").arg(m_options.database).arg(found).arg(SchemaVersion));
    if (!fresh && found == SchemaVersion)
        return QStringLiteral("schema version %1").arg(found);

    // A new database, or an older one brought up to date: one transaction.
    std::lock_guard lock(m_writeLock);
    if (!q.exec(QStringLiteral("BEGIN IMMEDIATE")))
        throw Exception(sqlError(QStringLiteral("Erro ao criar o esquema"), q.lastError()));
    try {
        QStringList all;
        if (fresh) {
            all = statements(QStringLiteral(":/db/tables.sql"));
            if (m_options.demo)
                all += statements(QStringLiteral(":/db/demo.sql"));
        }
        // Version 0 is the schema as it was before versions were recorded
        // (the tables of version 1); version 2 added the history of changes,
        // with an index by company that version 3 dropped (history.sqlite.sql).
        if (fresh || found < 2)
            all += statements(QStringLiteral(":/db/history.sqlite.sql"));
        else if (found < 3)
            all += QStringLiteral("DROP INDEX IF EXISTS IXHISTPARAMGNRE_EMPRESA");
        all += QStringLiteral("PRAGMA user_version = %1").arg(SchemaVersion);
        for (const QString &statement : std::as_const(all))
            if (!q.exec(statement))
                throw Exception(sqlError(QStringLiteral("Erro ao criar o esquema"), q.lastError()));
        if (!q.exec(QStringLiteral("COMMIT")))
            throw Exception(sqlError(QStringLiteral("Erro ao criar o esquema"), q.lastError()));
    } catch (...) {
        q.exec(QStringLiteral("ROLLBACK"));
        throw;
    }
    if (fresh)
        return QStringLiteral("created with schema version %1%2").arg(SchemaVersion).arg(m_options.demo ? QStringLiteral(" and the demo data") : QString());
    return QStringLiteral("schema upgraded from version %1 to %2").arg(found).arg(SchemaVersion);
}

QString ParamStore::openFirebird(QSqlDatabase &db)
{
    // Firebird databases are made by db/firebird's scripts, which record the
    // version in SCHEMAINFO; one made before that has no such table (version 0).
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SELECT COUNT(*) FROM RDB$RELATIONS WHERE RDB$RELATION_NAME = 'SCHEMAINFO'")) || !q.next())
        throw Exception(sqlError(QStringLiteral("Erro ao ler o esquema"), q.lastError()));
    const bool hasTable = q.value(0).toInt() > 0;
    q.finish();
    int found = 0;
    if (hasTable) {
        if (!q.exec(QStringLiteral("SELECT MAX(VERSION) FROM SCHEMAINFO")) || !q.next())
            throw Exception(sqlError(QStringLiteral("Erro ao ler a versão do esquema"), q.lastError()));
        found = q.value(0).toInt();
        q.finish();
    }
    if (found > SchemaVersion)
        throw Exception(QStringLiteral("the database %1 has schema version %2, newer than this service's %3: "
                                       "run a newer service on it").arg(m_options.database).arg(found).arg(SchemaVersion));
    if (found == SchemaVersion)
        return QStringLiteral("schema version %1").arg(found);
    std::lock_guard lock(m_writeLock);
    // Firebird makes a new table usable only once its creation is committed:
    // each step is committed, and a step already done is not done again.
    auto ddl = [&](const QStringList &steps) {
        db.transaction();
        for (const QString &step : steps)
            if (!q.exec(step)) {
                const QSqlError e = q.lastError();
                db.rollback();
                throw Exception(sqlError(QStringLiteral("Erro ao atualizar o esquema"), e));
            }
        if (!db.commit())
            throw Exception(sqlError(QStringLiteral("Erro ao atualizar o esquema"), db.lastError()));
    };
    if (!hasTable)
        ddl({QStringLiteral("CREATE TABLE SCHEMAINFO (VERSION INTEGER NOT NULL)")});
    if (!q.exec(QStringLiteral("SELECT COUNT(*) FROM RDB$RELATIONS WHERE RDB$RELATION_NAME = 'HISTPARAMGNRE'")) || !q.next())
        throw Exception(sqlError(QStringLiteral("Erro ao ler o esquema"), q.lastError()));
    const bool hasHistory = q.value(0).toInt() > 0;
    q.finish();
    // Version 2 added the history; version 3 dropped SQLite's index of it alone.
    if (!hasHistory)
        ddl(statements(QStringLiteral(":/db/firebird/history.sql")));
    db.transaction();
    q.prepare(QStringLiteral("INSERT INTO SCHEMAINFO (VERSION) VALUES (:v)"));
    q.bindValue(QStringLiteral(":v"), SchemaVersion);
    if (!q.exec() || !db.commit()) {
        db.rollback();
        throw Exception(sqlError(QStringLiteral("Erro ao atualizar o esquema"), q.lastError()));
    }
    return QStringLiteral("schema upgraded from version %1 to %2").arg(found).arg(SchemaVersion);
}
