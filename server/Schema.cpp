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
#include <sys/stat.h>

using rt::Exception;
using store::sqlError;

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

// The statements of an SQL script in the resources, without comment lines.
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
        // (version 0 is the schema as it was before versions were recorded:
        // the same tables, so recording the version is the whole upgrade)
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
    // Firebird makes a new table usable only once its creation is committed.
    if (!hasTable) {
        db.transaction();
        if (!q.exec(QStringLiteral("CREATE TABLE SCHEMAINFO (VERSION INTEGER NOT NULL)")) || !db.commit()) {
            db.rollback();
            throw Exception(sqlError(QStringLiteral("Erro ao atualizar o esquema"), q.lastError()));
        }
    }
    db.transaction();
    q.prepare(QStringLiteral("INSERT INTO SCHEMAINFO (VERSION) VALUES (:v)"));
    q.bindValue(QStringLiteral(":v"), SchemaVersion);
    if (!q.exec() || !db.commit()) {
        db.rollback();
        throw Exception(sqlError(QStringLiteral("Erro ao atualizar o esquema"), q.lastError()));
    }
    return QStringLiteral("schema upgraded from version %1 to %2").arg(found).arg(SchemaVersion);
}
