#pragma once

#include "ClientDataSet.h"

#include <QSqlDatabase>
#include <QStringList>
#include <QVariant>
#include <memory>

// The host's database connection and the dialect its engine speaks.
class TDMGeral
{
public:
    enum class Engine { SQLite, InterBase, MSSQL, Oracle };

    static TDMGeral &instance();

    // Opens the connection from the host's settings (or the given ones).
    void open(const QString &driver = QString(), const QString &database = QString(),
              const QString &user = QString(), const QString &password = QString());
    void close();
    bool isOpen() const;
    QSqlDatabase database() const;
    Engine engine() const;

    // The ADO connection, the InterBase database and its transaction of the
    // original data module are all this one connection.
    QSqlDatabase adcGeral() const { return database(); }
    QSqlDatabase dtbGeral() const { return database(); }
    QSqlDatabase ibtGeral() const { return database(); }

private:
    QString m_connection = QStringLiteral("dtmDBGeral");
};

// The host's data module, as screens name it.
inline TDMGeral &dtmDBGeral() { return TDMGeral::instance(); }

// Registers NVL(a, b) on a SQLite connection (per connection, after every open).
bool registerSqliteFunctions(QSqlDatabase &db);

// A string result field of a lookup query.
using TADOIBStringField = rt::TField;

// A read-only query carried in three SQL dialects; it runs the one that matches
// the engine of the host database: Firebird/InterBase run SQL_IB, SQL Server
// SQL_MSSQL, Oracle and SQLite (with NVL registered) SQL_ORACLE.
class TADOIBQuery
{
public:
    explicit TADOIBQuery(const QString &name = QString());

    QString Name;
    QStringList SQL_ORACLE, SQL_MSSQL, SQL_IB;

    class TParam
    {
    public:
        QString Name;
        QVariant Value; // null: Clear()
        void setAsString(const QString &value) { Value = value; }
        void Clear() { Value = QVariant(); }
        bool IsNull() const { return Value.isNull(); }
    };

    TParam &ParamByName(const QString &name);
    void declareParam(const QString &name);
    TADOIBStringField *addField(const QString &name, int size, const QString &displayLabel = QString());

    void Close();
    void Open();
    bool Active() const { return m_query.Active(); }
    bool IsEmpty() const { return m_query.IsEmpty(); }
    // The rows, for data sources and search lists.
    rt::TClientDataSet *Query() { return &m_query; }
    TADOIBStringField *FieldByName(const QString &name) const { return m_query.FieldByName(name); }

    // The statement for an engine, lines joined.
    QString statementFor(TDMGeral::Engine engine) const;
    // Opens against an explicit connection and engine (used by tests of every dialect).
    void OpenOn(const QSqlDatabase &db, TDMGeral::Engine engine);

private:
    rt::TClientDataSet m_query;
    QVector<TParam> m_params;
};
