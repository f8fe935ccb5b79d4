#include "Backup.h"

#include "Exceptions.h"

#include <QFile>
#include <sqlite3.h>

namespace {

struct Db
{
    sqlite3 *handle = nullptr;
    ~Db() { sqlite3_close_v2(handle); }
};

[[noreturn]] void fail(const QString &what, sqlite3 *db)
{
    throw rt::Exception(QStringLiteral("%1: %2").arg(what, QString::fromUtf8(db ? sqlite3_errmsg(db) : "out of memory")));
}

} // namespace

int backupSqlite(const QString &database, const QString &copy)
{
    if (!QFile::exists(database))
        throw rt::Exception(QStringLiteral("the database %1 does not exist").arg(database));
    if (QFile::exists(copy))
        throw rt::Exception(QStringLiteral("%1 exists already: the backup does not overwrite a file").arg(copy));
    Db from, to;
    if (sqlite3_open_v2(QFile::encodeName(database).constData(), &from.handle, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
        fail(QStringLiteral("cannot open %1").arg(database), from.handle);
    sqlite3_busy_timeout(from.handle, 10000);
    if (sqlite3_open_v2(QFile::encodeName(copy).constData(), &to.handle, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK)
        fail(QStringLiteral("cannot create %1").arg(copy), to.handle);
    sqlite3_backup *b = sqlite3_backup_init(to.handle, "main", from.handle, "main");
    if (!b) {
        QFile::remove(copy);
        fail(QStringLiteral("cannot start the backup"), to.handle);
    }
    // All pages in one step: one read transaction, so the copy is one moment
    // of the database (in WAL mode the services' writes go on meanwhile).
    int rc = sqlite3_backup_step(b, -1);
    while (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) {
        sqlite3_sleep(50);
        rc = sqlite3_backup_step(b, -1);
    }
    const int pages = sqlite3_backup_pagecount(b);
    sqlite3_backup_finish(b);
    if (rc != SQLITE_DONE) {
        const QString why = QString::fromUtf8(sqlite3_errstr(rc));
        QFile::remove(copy);
        throw rt::Exception(QStringLiteral("the backup failed: %1").arg(why));
    }
    // The copy keeps no write-ahead log of its own: it is one self-contained file.
    sqlite3_exec(to.handle, "PRAGMA journal_mode=DELETE", nullptr, nullptr, nullptr);
    return pages;
}
