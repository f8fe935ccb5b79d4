#include "ADOIBQuery.h"

#include "Exceptions.h"

#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <sqlite3.h>

// ---------------------------------------------------------------- data module

TDMGeral &TDMGeral::instance()
{
    static TDMGeral dm;
    return dm;
}

namespace {

QString setting(const char *env, const QString &fallback)
{
    const QByteArray e = qgetenv(env);
    return e.isEmpty() ? fallback : QString::fromLocal8Bit(e);
}

void sqliteNvl(sqlite3_context *ctx, int argc, sqlite3_value **argv)
{
    Q_UNUSED(argc);
    sqlite3_result_value(ctx, sqlite3_value_type(argv[0]) != SQLITE_NULL ? argv[0] : argv[1]);
}

} // namespace

bool registerSqliteFunctions(QSqlDatabase &db)
{
    const QVariant handle = db.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return false;
    sqlite3 *h = *static_cast<sqlite3 *const *>(handle.data());
    return h && sqlite3_create_function_v2(h, "NVL", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, sqliteNvl, nullptr,
                                           nullptr, nullptr) == SQLITE_OK;
}

void TDMGeral::open(const QString &driver, const QString &database, const QString &user, const QString &password)
{
    close();
    const QString engine = (driver.isEmpty() ? setting("FIS94100_HOST_DRIVER", "sqlite") : driver).toLower();
    const QString qtDriver = engine == QLatin1String("firebird") || engine == QLatin1String("qibase") ? QStringLiteral("QIBASE")
                                                                                                      : QStringLiteral("QSQLITE");
    QSqlDatabase db = QSqlDatabase::addDatabase(qtDriver, m_connection);
    db.setDatabaseName(database.isEmpty() ? setting("FIS94100_HOST_DATABASE", QStringLiteral("fis94100.sqlite")) : database);
    if (qtDriver == QLatin1String("QIBASE")) {
        db.setUserName(user.isEmpty() ? setting("FIS94100_HOST_DB_USER", "SYSDBA") : user);
        db.setPassword(password.isEmpty() ? setting("FIS94100_HOST_DB_PASSWORD", "masterkey") : password);
    } else {
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=5000"));
    }
    if (!db.open())
        throw rt::Exception(QStringLiteral("Não foi possível abrir o banco de dados %1: %2").arg(db.databaseName(), db.lastError().text()));
    if (qtDriver == QLatin1String("QSQLITE") && !registerSqliteFunctions(db))
        throw rt::Exception(QStringLiteral("Não foi possível registrar NVL no banco de dados."));
}

void TDMGeral::close()
{
    if (QSqlDatabase::contains(m_connection)) {
        QSqlDatabase::database(m_connection, false).close();
        QSqlDatabase::removeDatabase(m_connection);
    }
}

bool TDMGeral::isOpen() const { return QSqlDatabase::contains(m_connection) && database().isOpen(); }
QSqlDatabase TDMGeral::database() const { return QSqlDatabase::database(m_connection, false); }

TDMGeral::Engine TDMGeral::engine() const
{
    const QString d = database().driverName();
    if (d == QLatin1String("QIBASE"))
        return Engine::InterBase;
    if (d == QLatin1String("QODBC"))
        return Engine::MSSQL;
    if (d == QLatin1String("QOCI"))
        return Engine::Oracle;
    return Engine::SQLite;
}

// ---------------------------------------------------------------- TADOIBQuery

TADOIBQuery::TADOIBQuery(const QString &name) : Name(name), m_query(name) {}

void TADOIBQuery::declareParam(const QString &name) { m_params.append(TParam{name, QVariant()}); }

TADOIBQuery::TParam &TADOIBQuery::ParamByName(const QString &name)
{
    for (TParam &p : m_params)
        if (p.Name.compare(name, Qt::CaseInsensitive) == 0)
            return p;
    throw rt::Exception(QStringLiteral("%1: parâmetro '%2' não encontrado.").arg(Name, name));
}

TADOIBStringField *TADOIBQuery::addField(const QString &name, int size, const QString &displayLabel)
{
    TADOIBStringField *f = m_query.addField(name, rt::FieldType::String, size);
    f->DisplayLabel = displayLabel;
    return f;
}

void TADOIBQuery::Close() { m_query.Close(); }

QString TADOIBQuery::statementFor(TDMGeral::Engine engine) const
{
    switch (engine) {
    case TDMGeral::Engine::InterBase: return SQL_IB.join(QLatin1Char('\n'));
    case TDMGeral::Engine::MSSQL: return SQL_MSSQL.join(QLatin1Char('\n'));
    case TDMGeral::Engine::Oracle:
    case TDMGeral::Engine::SQLite: return SQL_ORACLE.join(QLatin1Char('\n'));
    }
    return QString();
}

void TADOIBQuery::Open()
{
    TDMGeral &dm = TDMGeral::instance();
    if (!dm.isOpen())
        dm.open();
    OpenOn(dm.database(), dm.engine());
}

void TADOIBQuery::OpenOn(const QSqlDatabase &db, TDMGeral::Engine engine)
{
    QString sql = statementFor(engine);
    // Parameters are taken from the colon-prefixed names of the statement.
    static const QRegularExpression re(QStringLiteral(":([A-Za-z_][A-Za-z0-9_]*)"));
    QStringList names;
    for (auto it = re.globalMatch(sql); it.hasNext();) {
        const QString name = it.next().captured(1);
        if (!names.contains(name))
            names << name;
    }
    // Firebird's driver binds a null as an empty text where the engine describes
    // the parameter as not nullable (a function's argument): a null parameter is
    // written into the statement as NULL there.
    if (db.driverName() == QLatin1String("QIBASE")) {
        for (const QString &name : std::as_const(names))
            if (ParamByName(name).IsNull())
                sql.replace(QRegularExpression(QStringLiteral(":%1\\b").arg(name)), QStringLiteral("NULL"));
    }
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.prepare(sql))
        throw rt::Exception(QStringLiteral("%1: %2").arg(Name, q.lastError().text()));
    for (const QString &name : std::as_const(names)) {
        const TParam &p = ParamByName(name);
        if (sql.contains(QLatin1Char(':') + name))
            q.bindValue(QLatin1Char(':') + name, p.IsNull() ? QVariant(QMetaType(QMetaType::QString)) : p.Value);
    }
    if (!q.exec())
        throw rt::Exception(QStringLiteral("%1: %2").arg(Name, q.lastError().text()));
    rt::DataPacket packet;
    packet.fields = m_query.fieldDefs();
    while (q.next()) {
        rt::Row row;
        for (int i = 0; i < packet.fields.size(); ++i) {
            const QVariant v = q.value(i);
            row.append(v.isNull() ? QVariant() : QVariant(v.toString().trimmed()));
        }
        packet.rows.append(row);
    }
    if (q.lastError().isValid())
        throw rt::Exception(QStringLiteral("%1: %2").arg(Name, q.lastError().text()));
    m_query.SetData(packet);
}
