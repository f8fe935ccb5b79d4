// The lookup queries, each dialect on each engine that can run it, against the demo data.
#include "Cli_fis94100.h"
#include "ServerProcess.h"

#include <QProcess>
#include <QSqlQuery>
#include <QtTest>

using namespace rt;
using Engine = TDMGeral::Engine;

namespace {

struct Case
{
    const char *query;
    QVector<QPair<QString, QVariant>> params;
    QStringList codes; // first column, in order
};

QVariant null() { return QVariant(); }

} // namespace

class TestLookupQueries : public QObject
{
    Q_OBJECT

    std::unique_ptr<ServerProcess> sqliteServer;
    QTemporaryDir fbDir;
    bool firebird = false;
    std::unique_ptr<TfrmParamGNRE> form;

    TADOIBQuery &query(const QString &name)
    {
        if (name == "qryInscricao") return form->qryInscricao;
        if (name == "qryFilial") return form->qryFilial;
        if (name == "qryEncargo") return form->qryEncargo;
        return form->qryTipoOperE;
    }

    QStringList run(const Case &c, const QSqlDatabase &db, Engine dialect)
    {
        TADOIBQuery &q = query(QString::fromLatin1(c.query));
        q.Close();
        for (const auto &[name, value] : c.params) {
            if (value.isNull())
                q.ParamByName(name).Clear();
            else
                q.ParamByName(name).setAsString(value.toString());
        }
        q.OpenOn(db, dialect);
        QStringList codes;
        TClientDataSet *rows = q.Query();
        for (int r = 0; r < rows->RecordCount(); ++r)
            codes << rows->valueAt(r, 0).toString();
        return codes;
    }

private slots:
    void initTestCase()
    {
        // SQLite: the demo database as the service creates it.
        sqliteServer = std::make_unique<ServerProcess>();
        QVERIFY2(sqliteServer->started(), qPrintable(sqliteServer->error()));
        sqliteServer->stop();
        QSqlDatabase lite = QSqlDatabase::addDatabase("QSQLITE", "lite");
        lite.setDatabaseName(sqliteServer->databasePath());
        QVERIFY(lite.open());
        QVERIFY(registerSqliteFunctions(lite));

        // Firebird: the project's script, with NVL and ISNULL so every dialect can run.
        if (ServerProcess::firebirdAvailable()) {
            const QString file = fbDir.filePath("lookup.fdb");
            QProcess make;
            make.setProcessChannelMode(QProcess::MergedChannels);
            make.start("bash", {FIS94100_SOURCE_DIR "/scripts/firebird-db.sh", file, "--demo", "--dialect-functions"});
            QVERIFY(make.waitForFinished(60000));
            QVERIFY2(make.exitCode() == 0, make.readAll().constData());
            TDMGeral::instance().open("firebird", ServerProcess::firebirdDatabase(file));
            firebird = true;
        } else if (qEnvironmentVariable("CI") == QLatin1String("true")) {
            QFAIL("Firebird does not answer on the loopback: the InterBase dialect would go untested");
        } else {
            qWarning("Firebird does not answer on the loopback: only the SQLite cases run");
        }
        form = std::make_unique<TfrmParamGNRE>();
    }

    void cleanupTestCase()
    {
        form.reset();
        TDMGeral::instance().close();
        QSqlDatabase::removeDatabase("lite");
    }

    void sameRowsInEveryDialect_data()
    {
        QTest::addColumn<int>("index");
        static const QVector<Case> cases{
            {"qryInscricao", {{"P_CDEMPRESA", "01"}, {"P_CDINSCESTA", null()}}, {"0240134751", "0623079040081", "110042490114", "77528063"}},
            {"qryInscricao", {{"P_CDEMPRESA", "01"}, {"P_CDINSCESTA", "77528063"}}, {"77528063"}},
            {"qryInscricao", {{"P_CDEMPRESA", "01"}, {"P_CDINSCESTA", "86103471"}}, {}}, // another company's
            {"qryFilial", {{"P_CDFILIAL", null()}}, {"0001", "0002", "0003", "0010", "0011"}},
            {"qryFilial", {{"P_CDFILIAL", "0002"}}, {"0002"}},
            {"qryFilial", {{"P_CDFILIAL", "1"}}, {}}, // found only once adjusted by the caller
            {"qryFilial", {{"P_CDFILIAL", Consiste::Ajusta("1", 4)}}, {"0001"}},
            {"qryFilial", {{"P_CDFILIAL", ""}}, {}}, // an empty text is not null
            {"qryEncargo", {{"P_CDENCARGO", null()}}, {"01", "02", "05", "10"}},
            {"qryEncargo", {{"P_CDENCARGO", "05"}}, {"05"}},
            {"qryTipoOperE", {{"CDTIPOOPER", null()}}, {"01", "02", "05"}}, // entry operations only
            {"qryTipoOperE", {{"CDTIPOOPER", "05"}}, {"05"}},
            {"qryTipoOperE", {{"CDTIPOOPER", "50"}}, {}}, // an exit operation
        };
        for (int i = 0; i < cases.size(); ++i)
            QTest::addRow("%d %s", i, cases[i].query) << i;
        m_cases = &cases;
    }

    void sameRowsInEveryDialect()
    {
        QFETCH(int, index);
        const Case &c = (*m_cases)[index];
        QCOMPARE(run(c, QSqlDatabase::database("lite"), Engine::Oracle), c.codes);
        if (!firebird)
            return;
        const QSqlDatabase fb = TDMGeral::instance().database();
        QCOMPARE(run(c, fb, Engine::InterBase), c.codes);
        QCOMPARE(run(c, fb, Engine::Oracle), c.codes);
        QCOMPARE(run(c, fb, Engine::MSSQL), c.codes);
    }

    void accentsSurviveAndTheEngineIsDetected()
    {
        TADOIBQuery &q = form->qryFilial;
        q.Close();
        q.ParamByName("P_CDFILIAL").setAsString("0002");
        q.OpenOn(QSqlDatabase::database("lite"), Engine::SQLite);
        QCOMPARE(q.FieldByName("NMFILIAL")->AsString(), QString("Filial São Paulo"));
        if (!firebird)
            QSKIP("Firebird is not running: the host connection on Firebird is not checked");
        QCOMPARE(TDMGeral::instance().engine(), Engine::InterBase);
        q.Close();
        q.Open(); // the host's connection, in its own dialect
        QCOMPARE(q.FieldByName("NMFILIAL")->AsString(), QString("Filial São Paulo"));
        QVERIFY(form->dtsFilial.DataSet() == q.Query());
    }

private:
    const QVector<Case> *m_cases = nullptr;
};

QTEST_MAIN(TestLookupQueries)
#include "tst_lookupqueries.moc"
