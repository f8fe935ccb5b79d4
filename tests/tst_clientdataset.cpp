// Client dataset: states, event order, hooks and the change log.
#include "ClientDataSet.h"
#include "Exceptions.h"

#include <QJsonDocument>
#include <QtTest>

using namespace rt;

namespace {

// A small dataset shaped like the screen's: a key, a flag, a float.
struct Fixture
{
    TClientDataSet ds{QStringLiteral("cdsTeste")};
    TDataSource src{QStringLiteral("dtsTeste"), &ds};
    QStringList log;

    Fixture()
    {
        ds.addField("CODIGO", FieldType::String, 4);
        ds.addField("FLAG", FieldType::String, 1);
        TField *v = ds.addField("VALOR", FieldType::Float);
        v->EditFormat = "#0";
        ds.OnNewRecord = [this](TClientDataSet &d) { log << "OnNewRecord"; d.FieldByName("FLAG")->setAsString("N"); };
        ds.AfterInsert = [this](TClientDataSet &) { log << "AfterInsert"; };
        ds.BeforePost = [this](TClientDataSet &) { log << "BeforePost"; };
        ds.AfterPost = [this](TClientDataSet &) { log << "AfterPost"; };
        ds.AfterCancel = [this](TClientDataSet &) { log << "AfterCancel"; };
        ds.AfterOpen = [this](TClientDataSet &) { log << "AfterOpen"; };
        ds.AfterDelete = [this](TClientDataSet &) { log << "AfterDelete"; };
        src.OnStateChange = [this](TDataSource &s) { log << "state:" + stateName(s.State()); };
    }

    void load(const QVector<Row> &rows)
    {
        DataPacket p;
        p.fields = {{"CODIGO", FieldType::String, 4}, {"FLAG", FieldType::String, 1}, {"VALOR", FieldType::Float, 0}};
        p.rows = rows;
        ds.SetData(p);
        log.clear();
    }
    QString code() const { return ds.FieldByName("CODIGO")->AsString(); }
    QStringList codes()
    {
        QStringList out;
        for (int r = 0; r < ds.RecordCount(); ++r)
            out << ds.valueAt(r, 0).toString();
        return out;
    }
};

} // namespace

class TestClientDataSet : public QObject
{
    Q_OBJECT

private slots:
    void eventOrder()
    {
        Fixture f;
        DataPacket p;
        p.fields = {{"CODIGO", FieldType::String, 4}, {"FLAG", FieldType::String, 1}, {"VALOR", FieldType::Float, 0}};
        f.ds.SetData(p);
        QCOMPARE(f.log, QStringList({"state:dsBrowse", "AfterOpen"}));

        f.log.clear();
        f.ds.Insert();
        QCOMPARE(f.log, QStringList({"state:dsInsert", "OnNewRecord", "AfterInsert"}));
        QVERIFY(!f.ds.Modified()); // defaults of a new record are no modification
        f.ds.FieldByName("CODIGO")->setAsString("A1");

        f.log.clear();
        f.ds.Post();
        QCOMPARE(f.log, QStringList({"BeforePost", "state:dsBrowse", "AfterPost"}));

        f.log.clear();
        f.ds.Edit();
        f.ds.Cancel();
        QCOMPARE(f.log, QStringList({"state:dsEdit", "state:dsBrowse", "AfterCancel"}));

        f.log.clear();
        f.ds.Delete();
        QCOMPARE(f.log, QStringList({"AfterDelete"}));
        QVERIFY(f.ds.IsEmpty());
    }

    void editOnEmptyDataSetInserts()
    {
        Fixture f;
        f.load({});
        f.ds.Edit();
        QCOMPARE(f.ds.State(), DataSetState::dsInsert);
        QCOMPARE(f.ds.FieldByName("FLAG")->AsString(), QString("N"));
    }

    void movingSettlesThePendingEdit()
    {
        Fixture f;
        f.load({{"A", "S", 1.0}, {"B", "S", 2.0}});
        // An untouched insert is cancelled, a touched edit is posted.
        f.ds.Insert();
        f.ds.Next();
        QCOMPARE(f.ds.RecordCount(), 2);
        f.ds.First();
        f.ds.Edit();
        f.ds.FieldByName("VALOR")->setAsFloat(10);
        f.ds.Next();
        QCOMPARE(f.ds.State(), DataSetState::dsBrowse);
        QCOMPARE(f.ds.GetChangeCount(), 1);
        QCOMPARE(f.ds.valueAt(0, 2).toDouble(), 10.0);
    }

    void refusedPostKeepsTheInput()
    {
        Fixture f;
        f.load({{"A", "S", 1.0}});
        f.ds.BeforePost = [](TClientDataSet &) { throw Exception("recusado"); };
        f.ds.Edit();
        f.ds.FieldByName("CODIGO")->setAsString("Z");
        QVERIFY_THROWS_EXCEPTION(Exception, f.ds.Post());
        QCOMPARE(f.ds.State(), DataSetState::dsEdit);
        QCOMPARE(f.code(), QString("Z"));
        QCOMPARE(f.ds.GetChangeCount(), 0);
    }

    void afterPostFailurePropagatesOnceStored()
    {
        Fixture f;
        f.load({{"A", "S", 1.0}});
        f.ds.AfterPost = [](TClientDataSet &) { throw Exception("envio falhou"); };
        f.ds.Edit();
        f.ds.FieldByName("CODIGO")->setAsString("Z");
        QVERIFY_THROWS_EXCEPTION(Exception, f.ds.Post());
        QCOMPARE(f.ds.State(), DataSetState::dsBrowse);
        QCOMPARE(f.ds.GetChangeCount(), 1);

        f.ds.AfterDelete = [](TClientDataSet &) { throw Exception("envio falhou"); };
        QVERIFY_THROWS_EXCEPTION(Exception, f.ds.Delete());
        QVERIFY(f.ds.IsEmpty());
    }

    void writesThatAreRefused()
    {
        Fixture f;
        f.load({{"A", "S", 1.0}});
        QVERIFY_THROWS_EXCEPTION(Exception, f.ds.FieldByName("CODIGO")->setAsString("X")); // browsing
        f.ds.FieldByName("CODIGO")->ReadOnly = true;
        f.ds.Edit();
        QVERIFY_THROWS_EXCEPTION(Exception, f.ds.FieldByName("CODIGO")->setAsString("X"));
        QVERIFY_THROWS_EXCEPTION(Exception, f.ds.FieldByName("VALOR")->setText("1,2,3x"));
        QCOMPARE(f.code(), QString("A"));
        // A string longer than its field keeps the field's width.
        f.ds.FieldByName("CODIGO")->ReadOnly = false;
        f.ds.FieldByName("CODIGO")->setAsString("ABCDEFG");
        QCOMPARE(f.code(), QString("ABCD"));
    }

    void floatTextFollowsTheEditFormat()
    {
        Fixture f;
        f.load({{"A", "S", 2.5}, {"B", "S", QVariant()}});
        TField *v = f.ds.FieldByName("VALOR");
        QCOMPARE(v->DisplayText(), QString("2") + decimalSeparator() + "5");
        QCOMPARE(v->Text(), QString("3")); // "#0" while edited
        f.ds.Next();
        QVERIFY(v->IsNull());
        QCOMPARE(v->Text(), QString());
        f.ds.Edit();
        v->setText("");
        QVERIFY(v->IsNull());
        v->setText("12");
        QCOMPARE(v->AsFloat(), 12.0);
        QVERIFY(v->isValidChar('E') && v->isValidChar('-') && !v->isValidChar('x'));
    }

    void textHooks()
    {
        Fixture f;
        f.load({{"A", "S", 1.0}});
        TField *flag = f.ds.FieldByName("FLAG");
        bool sawDisplay = false;
        flag->OnGetText = [&](TField &s, QString &text, bool display) {
            sawDisplay = display;
            text = s.AsString() == "S" ? "Sim" : "Não";
        };
        flag->OnSetText = [](TField &s, const QString &text) { s.setAsString(text == "Sim" ? "S" : "N"); };
        QCOMPARE(flag->DisplayText(), QString("Sim"));
        QVERIFY(sawDisplay);
        QCOMPARE(flag->Text(), QString("Sim"));
        QVERIFY(!sawDisplay);
        f.ds.Edit();
        flag->setText("Não");
        QCOMPARE(flag->AsString(), QString("N"));
    }

    void changeLog_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<bool>("merge");
        QTest::addColumn<QStringList>("codesAfterCancel");
        for (bool merge : {true, false}) {
            const char *how = merge ? "merged" : "cancelled";
            QTest::addRow("edit %s", how) << "edit" << merge << (merge ? QStringList{"A", "X"} : QStringList{"A", "B"});
            QTest::addRow("insert %s", how) << "insert" << merge << (merge ? QStringList{"A", "N", "B"} : QStringList{"A", "B"});
            QTest::addRow("delete %s", how) << "delete" << merge << (merge ? QStringList{"A"} : QStringList{"A", "B"});
        }
    }

    void changeLog()
    {
        QFETCH(QString, operation);
        QFETCH(bool, merge);
        QFETCH(QStringList, codesAfterCancel);

        Fixture f;
        f.load({{"A", "S", 1.0}, {"B", "N", 2.0}});
        f.ds.Next();
        ChangeKind kind;
        if (operation == "edit") {
            f.ds.Edit();
            f.ds.FieldByName("CODIGO")->setAsString("X");
            f.ds.Post();
            kind = ChangeKind::Modify;
        } else if (operation == "insert") {
            f.ds.Insert();
            f.ds.FieldByName("CODIGO")->setAsString("N");
            f.ds.Post();
            kind = ChangeKind::Insert;
        } else {
            f.ds.Delete();
            kind = ChangeKind::Delete;
        }
        QCOMPARE(f.ds.GetChangeCount(), 1);
        const Delta d = f.ds.GetDelta();
        QCOMPARE(d.changes.size(), 1);
        QCOMPARE(d.changes.at(0).kind, kind);
        if (kind != ChangeKind::Insert)
            QCOMPARE(d.changes.at(0).oldValues.at(0).toString(), QString("B")); // as loaded
        if (kind == ChangeKind::Insert)
            QCOMPARE(d.changes.at(0).newValues.at(1).toString(), QString("N")); // default from OnNewRecord

        // The delta survives its own JSON form.
        const Delta back = Delta::fromJson(QJsonDocument::fromJson(QJsonDocument(d.toJson()).toJson()).object());
        QCOMPARE(back.changes.size(), 1);
        QCOMPARE(back.changes.at(0).kind, kind);

        if (merge)
            f.ds.MergeChangeLog();
        f.ds.CancelUpdates();
        QCOMPARE(f.ds.GetChangeCount(), 0);
        QCOMPARE(f.codes(), codesAfterCancel);
    }

    void editBackToTheLoadedValuesIsNoChange()
    {
        Fixture f;
        f.load({{"A", "S", 1.0}});
        f.ds.Edit();
        f.ds.FieldByName("FLAG")->setAsString("N");
        f.ds.FieldByName("FLAG")->setAsString("S");
        f.ds.Post();
        QCOMPARE(f.ds.GetChangeCount(), 0);
    }

    void cancelUpdatesEndsAnEditInProgress()
    {
        Fixture f;
        f.load({{"A", "S", 1.0}});
        f.ds.Edit();
        f.ds.FieldByName("CODIGO")->setAsString("Q");
        f.ds.CancelUpdates();
        QCOMPARE(f.ds.State(), DataSetState::dsBrowse);
        QCOMPARE(f.code(), QString("A"));
    }

    void setDataNeedsEveryDeclaredField()
    {
        Fixture f;
        f.load({{"A", "S", 1.0}});
        DataPacket p;
        p.fields = {{"CODIGO", FieldType::String, 4}, {"VALOR", FieldType::Float, 0}};
        p.rows = {{"Z", 3.0}};
        try {
            f.ds.SetData(p);
            QFAIL("a packet without FLAG was accepted");
        } catch (const Exception &e) {
            QVERIFY2(e.message().contains("FLAG"), qPrintable(e.message()));
        }
        QCOMPARE(f.code(), QString("A")); // previous content kept
        QVERIFY(f.log.isEmpty());
    }

    void packetJson_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("valid");
        QTest::newRow("accents and nulls") << QByteArray(R"({"fields":[{"name":"NM","type":"string","size":30},{"name":"V","type":"float"}],"rows":[["Filial São Paulo",null],[null,2.5]]})") << true;
        QTest::newRow("row too short") << QByteArray(R"({"fields":[{"name":"NM","type":"string","size":30}],"rows":[[]]})") << false;
        QTest::newRow("number in a string field") << QByteArray(R"({"fields":[{"name":"NM","type":"string","size":30}],"rows":[[1]]})") << false;
        QTest::newRow("text in a float field") << QByteArray(R"({"fields":[{"name":"V","type":"float"}],"rows":[["1"]]})") << false;
        QTest::newRow("unknown type") << QByteArray(R"({"fields":[{"name":"V","type":"blob"}],"rows":[]})") << false;
        QTest::newRow("string without size") << QByteArray(R"({"fields":[{"name":"V","type":"string"}],"rows":[]})") << false;
        QTest::newRow("repeated field") << QByteArray(R"({"fields":[{"name":"V","type":"float"},{"name":"V","type":"float"}],"rows":[]})") << false;
    }

    void packetJson()
    {
        QFETCH(QByteArray, json);
        QFETCH(bool, valid);
        const QJsonValue v = QJsonDocument::fromJson(json).object();
        if (!valid) {
            QVERIFY_THROWS_EXCEPTION(Exception, DataPacket::fromJson(v));
            return;
        }
        const DataPacket p = DataPacket::fromJson(v);
        QCOMPARE(DataPacket::fromJson(p.toJson()).rows, p.rows);
        QCOMPARE(p.rows.at(0).at(0).toString(), QString("Filial São Paulo"));
        QVERIFY(p.rows.at(0).at(1).isNull());
    }
};

QTEST_GUILESS_MAIN(TestClientDataSet)
#include "tst_clientdataset.moc"
