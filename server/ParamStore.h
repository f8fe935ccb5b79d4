#pragma once

#include "DataPacket.h"
#include "Exceptions.h"

#include <QSqlDatabase>
#include <QString>
#include <mutex>

#include "RequestOrigin.h"

namespace store {
struct TableRules;
struct ChangeAuthor;
struct CodeList;
}

// Where the parameter records live: one database reached through Qt SQL
// (SQLite by default, Firebird when configured). Every change is applied in
// one transaction, checked against the values the client loaded.
class ParamStore
{
public:
    struct Options
    {
        QString driver = QStringLiteral("QSQLITE"); // or QIBASE
        QString database;                            // file, or host/port:path for Firebird
        QString user;
        QString password;
        bool demo = false;
        bool create = false; // a missing SQLite file is made anew (implied by demo); else it is an error
    };

    // The service's own refusal of what it was sent (invalid value, a record
    // changed by someone else...): the database itself is fine.
    class Refused : public rt::Refusal
    {
    public:
        using rt::Refusal::Refusal;
    };

    explicit ParamStore(const Options &options);
    ~ParamStore();

    // The schema version this service writes and reads.
    static constexpr int SchemaVersion = 3;

    // The reads answer packets as JSON text (DataPacket::toJsonText()).

    // Creates the schema of a new database (and the demo data when asked),
    // upgrades an older one in one transaction, refuses a newer one. Returns
    // what it did, for the log.
    QString open();

    QByteArray getParamGeral(const QString &company);
    QByteArray getParamInscr(const QString &company, const QString &guideType);
    QByteArray getLivroMag(const QString &code);
    QByteArray getProdGnreOnline(const QString &code);
    QByteArray getVdInscricao(const QString &company, const QString &registration, const QString &guideType);

    // Changes; each applied one is recorded in the history with its origin.
    void setParamGNRE(const rt::Delta &delta, const RequestOrigin &origin = {});
    void setParamInscr(const rt::Delta &delta, const RequestOrigin &origin = {});

    // The history of a company's changes, newest first, one row per field:
    // of every record when guideType is empty, else of that guide type's
    // registrations; dates "dd/mm/yyyy" (days in UTC), empty for no bound.
    QByteArray getHistorico(const QString &company, const QString &guideType, const QString &from, const QString &to);
    static constexpr int HistoryMaxRows = 20000;

    bool isSqlite() const { return m_options.driver == QLatin1String("QSQLITE"); }

    // After a failure of the database itself: this thread's connection is
    // closed, and the next request opens a new one (a file made writable
    // again, or put back, is then used as it is).
    void dropConnection();

private:
    QSqlDatabase connection();
    QString openFirebird(QSqlDatabase &db);
    QByteArray codeList(const store::CodeList &list, const QString &value);
    void applyDelta(const store::TableRules &table, const rt::Delta &delta, const store::ChangeAuthor &author);

    Options m_options;
    QString m_connectionPrefix;
    const QString &connectionName() const;
    std::mutex m_writeLock;
};
