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
