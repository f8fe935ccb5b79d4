// The parameter service over real HTTP on a temporary SQLite database.
#include "ClientDataSet.h"
#include "Exceptions.h"
#include "ServerProcess.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>
#include <atomic>
#include <functional>
#include <httplib.h>
#include <thread>

using namespace rt;

namespace {

DataPacket packetOf(const jsonrpc::Reply &r)
{
    if (!r.ok)
        throw Exception(r.message);
    return DataPacket::fromJson(r.result);
}

// A client dataset loaded with whatever the service answers, as the screen does.
void loadInto(TClientDataSet &ds, const jsonrpc::Reply &r)
{
    const DataPacket p = packetOf(r);
    if (ds.fieldCount() == 0)
        for (const FieldDef &f : p.fields)
            ds.addField(f.name, f.type, f.size);
    ds.SetData(p);
}

int openssl(const QStringList &args)
{
    QProcess p;
    p.setStandardOutputFile(QProcess::nullDevice());
    p.setStandardErrorFile(QProcess::nullDevice());
    p.start("openssl", args);
    return p.waitForFinished(30000) ? p.exitCode() : -1;
}

QString valueOf(const DataPacket &p, int row, const QString &field) { return p.rows.at(row).at(p.indexOf(field)).toString(); }

// A history row as "operation registration field: before -> after".
QStringList historyLines(const DataPacket &h)
{
    QStringList out;
    for (int i = 0; i < h.rows.size(); ++i)
        out << QStringLiteral("%1 %2 %3: %4 -> %5")
                   .arg(valueOf(h, i, "IDOPERACAO"), valueOf(h, i, "CDINSCESTA"), valueOf(h, i, "NMCAMPO"),
                        valueOf(h, i, "DSVALORANTERIOR"), valueOf(h, i, "DSVALORNOVO"));
    return out;
}

} // namespace

class TestParamService : public QObject
{
    Q_OBJECT

    std::unique_ptr<ServerProcess> server;

    jsonrpc::Reply call(const QString &m, const QJsonArray &a) { return server->call(m, a); }
    DataPacket geral(const QString &company) { return packetOf(call("GetParamGeral", {company})); }
    DataPacket inscr(const QString &company, const QString &type) { return packetOf(call("GetParamInscr", {company, type})); }

    // The general record's e-mail changed, as the screen sends it.
    static Delta emailChange(const DataPacket &loaded, const QVariant &email)
    {
        Delta d;
        d.fields = loaded.fields;
        Row row = loaded.rows.at(0);
        row[loaded.indexOf("DSEMAILRETORNO")] = email;
        d.changes.append(Change{ChangeKind::Modify, loaded.rows.at(0), row});
        return d;
    }

    // A save on a keep-alive connection: one thread of the service reads all its requests.
    static jsonrpc::Reply saveOn(httplib::Client &c, const QJsonObject &delta)
    {
        static int id = 0;
        const auto r = c.Post("/FIS94100.rdmParamGNRE", jsonrpc::request("SetParamGNRE", {delta}, ++id).toStdString(), "application/json");
        return r ? jsonrpc::parseReply(QByteArray::fromStdString(r->body)) : jsonrpc::Reply{};
    }

    // One change of the general record of company 01 (its branch: 0002 -> 0010).
    bool changeBranchOfCompany01()
    {
        TClientDataSet g("g");
        loadInto(g, call("GetParamGeral", {"01"}));
        g.Edit();
        g.FieldByName("CDFILIAL")->setAsString("0010");
        g.Post();
        return call("SetParamGNRE", {g.GetDelta().toJson()}).ok;
    }

private slots:
    void initTestCase()
    {
        FIS_REQUIRE_ENGINE();
    }

    void init()
    {
        server = std::make_unique<ServerProcess>();
        QVERIFY2(server->started(), qPrintable(server->error()));
    }
    void cleanup() { server.reset(); }

    void readsGeneralRecordWithNamesResolved()
    {
        const DataPacket p = geral("01");
        QCOMPARE(p.fields.size(), 18);
        QCOMPARE(p.rows.size(), 1);
        QCOMPARE(valueOf(p, 0, "NMFILIAL"), QString("Filial São Paulo"));
        QCOMPARE(valueOf(p, 0, "NMLIVROMAG"), QString("Livro de Apuração do ICMS"));
        QCOMPARE(valueOf(p, 0, "NMTIPOOPER"), QString("Pagamento de Tributos"));
        QCOMPARE(valueOf(p, 0, "DSPRODUTO"), QString("Bebidas alcoólicas e não alcoólicas"));
        QCOMPARE(p.rows.at(0).at(p.indexOf("NRDIASCALCDTPAG")).toDouble(), 5.0);
        QCOMPARE(geral("").rows.size(), 0);   // no company
        QCOMPARE(geral("03").rows.size(), 0); // company without a record yet
    }

    void readsTheOtherLists()
    {
        QCOMPARE(inscr("01", "GON").rows.size(), 2);
        QCOMPARE(inscr("01", "DRJ").rows.size(), 0);
        QCOMPARE(inscr("01", "GON").fields.size(), 12);

        const DataPacket books = packetOf(call("GetLivroMag", {""}));
        QCOMPARE(books.rows.size(), 3);
        QCOMPARE(packetOf(call("GetLivroMag", {"0000000007"})).rows.size(), 1);
        QCOMPARE(packetOf(call("GetLivroMag", {"7"})).rows.size(), 0); // codes are compared as stored

        QCOMPARE(packetOf(call("GetProdGnreOnline", {""})).rows.size(), 4);
        QCOMPARE(valueOf(packetOf(call("GetProdGnreOnline", {"005"})), 0, "DSPRODUTO"), QString("Peças e acessórios automotivos"));

        QCOMPARE(packetOf(call("GetVdInscricao", {"01", "110042490114", "GON"})).rows.size(), 1);
        QCOMPARE(packetOf(call("GetVdInscricao", {"01", "110042490114", "DRJ"})).rows.size(), 0);
    }

    void listsInstalledCertificates()
    {
        // Empty directory: OK with no rows.
        jsonrpc::Reply r = call("GetCertificado", {});
        QVERIFY(r.ok);
        QCOMPARE(r.result.toArray().at(0).toString(), QString("OK"));
        QCOMPARE(DataPacket::fromJson(r.result.toArray().at(1)).rows.size(), 0);

        const QString pem = server->certDir() + "/empresa.pem";
        const int rc = openssl({"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout",
                                                     server->certDir() + "/../key.pem", "-out", pem, "-days", "30",
                                                     "-subj", "/CN=Comércio Teste Ltda:12345678000199", "-set_serial", "0x1A2B",
                                                     "-utf8"});
        if (rc != 0)
            QSKIP("openssl command not available");
        openssl({"x509", "-in", pem, "-outform", "DER", "-out", server->certDir() + "/empresa.cer"});
        r = call("GetCertificado", {});
        const DataPacket p = DataPacket::fromJson(r.result.toArray().at(1));
        QCOMPARE(p.rows.size(), 2); // the PEM and the DER copy
        QCOMPARE(valueOf(p, 0, "NMRAZAOSOCIAL"), QString("Comércio Teste Ltda:12345678000199"));
        QCOMPARE(valueOf(p, 0, "NRSERIE"), QString("1A2B"));
        QVERIFY(QDate::fromString(valueOf(p, 0, "DTVALIDADE"), "dd/MM/yyyy") > QDate::currentDate());

        // Serials in whole bytes, as OpenSSL prints them: zero is "00".
        QDir(server->certDir()).removeRecursively();
        QDir().mkpath(server->certDir());
        QCOMPARE(openssl({"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", server->certDir() + "/../key.pem", "-out",
                          pem, "-days", "30", "-subj", "/CN=Zero", "-set_serial", "0"}),
                 0);
        r = call("GetCertificado", {});
        QCOMPARE(valueOf(DataPacket::fromJson(r.result.toArray().at(1)), 0, "NRSERIE"), QString("00"));

        QDir(server->certDir()).removeRecursively();
        r = call("GetCertificado", {});
        QVERIFY(r.ok);
        QCOMPARE(r.result.toArray().at(0).toString(), QString("ERRO"));
        QVERIFY(r.result.toArray().at(1).toString().contains("não existe"));
    }

    void deltaRoundTrip_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("insert") << "insert";
        QTest::newRow("modify") << "modify";
        QTest::newRow("delete") << "delete";
    }

    void deltaRoundTrip()
    {
        QFETCH(QString, kind);
        TClientDataSet ds("cdsParamInscr");
        loadInto(ds, call("GetParamInscr", {"01", "GON"}));
        if (kind == "insert") {
            ds.Append();
            for (auto [f, v] : {std::pair{"CDEMPRESA", "01"}, {"CDINSCESTA", "0623079040081"}, {"SGESTADO", "MG"},
                                {"IDTPGUIA", "GON"}, {"IDTPAMBIENTE", "P"}, {"IDPERIODOREFAPU", "I"},
                                {"IDCALCSTMANUAL", "N"}, {"IDFCPSEPIMP", "S"}})
                ds.FieldByName(f)->setAsString(v);
            ds.Post();
        } else if (kind == "modify") {
            ds.Edit();
            ds.FieldByName("CDFILIALPAG")->setAsString("0010");
            ds.FieldByName("DSEMAILRETORNO")->setAsString("nfe@empresa.com.br");
            ds.Post();
        } else {
            ds.Delete();
        }
        const jsonrpc::Reply r = call("SetParamInscr", {ds.GetDelta().toJson()});
        QVERIFY2(r.ok, qPrintable(r.message));
        ds.MergeChangeLog();

        const DataPacket stored = inscr("01", "GON");
        QCOMPARE(stored.rows, ds.Data().rows.size() == stored.rows.size() ? stored.rows : QVector<Row>());
        if (kind == "insert")
            QCOMPARE(stored.rows.size(), 3);
        if (kind == "modify")
            QCOMPARE(valueOf(stored, 0, "CDFILIALPAG"), QString("0010"));
        if (kind == "delete")
            QCOMPARE(stored.rows.size(), 1);
    }

    void firstGeneralRecordOfACompany()
    {
        TClientDataSet ds("cdsParamGeral");
        loadInto(ds, call("GetParamGeral", {"03"}));
        ds.Insert();
        ds.FieldByName("CDEMPRESA")->setAsString("03");
        ds.FieldByName("IDCALENDPAGGNRE")->setAsString("F");
        ds.FieldByName("CDFILIAL")->setAsString("0010");
        ds.FieldByName("NMFILIAL")->setAsString("nome digitado"); // never stored
        ds.FieldByName("NRDIASCALCDTPAG")->setAsFloat(0);
        ds.Post();
        const jsonrpc::Reply r = call("SetParamGNRE", {ds.GetDelta().toJson()});
        QVERIFY2(r.ok, qPrintable(r.message));
        const DataPacket p = geral("03");
        QCOMPARE(valueOf(p, 0, "NMFILIAL"), QString("Filial Belo Horizonte"));
        QCOMPARE(p.rows.at(0).at(p.indexOf("NRDIASCALCDTPAG")).toDouble(), 0.0);
        QVERIFY(p.rows.at(0).at(p.indexOf("VRALIQFECP")).isNull());
    }

    void twoClientsSavingTheSameRecord()
    {
        TClientDataSet a("a"), b("b");
        loadInto(a, call("GetParamGeral", {"01"}));
        loadInto(b, call("GetParamGeral", {"01"}));
        a.Edit();
        a.FieldByName("DSEMAILRETORNO")->setAsString("a@empresa.com.br");
        a.Post();
        b.Edit();
        b.FieldByName("CDFILIAL")->setAsString("0001");
        b.Post();

        QVERIFY(call("SetParamGNRE", {a.GetDelta().toJson()}).ok);
        const jsonrpc::Reply lost = call("SetParamGNRE", {b.GetDelta().toJson()});
        QVERIFY(!lost.ok);
        QVERIFY2(lost.message.contains("alterados por outro usuário"), qPrintable(lost.message));

        const DataPacket p = geral("01");
        QCOMPARE(valueOf(p, 0, "DSEMAILRETORNO"), QString("a@empresa.com.br"));
        QCOMPARE(valueOf(p, 0, "CDFILIAL"), QString("0002"));

        // Deleting what someone else already deleted is refused too.
        TClientDataSet c("c"), d("d");
        loadInto(c, call("GetParamInscr", {"01", "GON"}));
        loadInto(d, call("GetParamInscr", {"01", "GON"}));
        c.Delete();
        d.Delete();
        QVERIFY(call("SetParamInscr", {c.GetDelta().toJson()}).ok);
        const jsonrpc::Reply gone = call("SetParamInscr", {d.GetDelta().toJson()});
        QVERIFY(!gone.ok);
        QVERIFY2(gone.message.contains("excluídos por outro usuário"), qPrintable(gone.message));
    }

    // Every kind of change is in the history once, with who made it, where
    // from, and each changed field's old and new values; a refused change
    // leaves nothing there.
    void historyOfEveryKindOfChange()
    {
        auto history = [&](const QString &type) { return packetOf(call("GetHistorico", {"01", type, "", ""})); };
        QCOMPARE(history("").rows.size(), 0);
        auto send = [&](const QString &method, const Delta &d) {
            httplib::Client c("127.0.0.1", server->port());
            const auto res = c.Post("/FIS94100.rdmParamGNRE", {{"X-FIS94100-User", "maria.souza"}},
                                    jsonrpc::request(method, {d.toJson()}, 1).toStdString(), "application/json");
            QVERIFY(res);
            const jsonrpc::Reply r = jsonrpc::parseReply(QByteArray::fromStdString(res->body));
            QVERIFY2(r.ok, qPrintable(r.message));
        };

        TClientDataSet g("g");
        loadInto(g, call("GetParamGeral", {"01"}));
        const QString email = g.FieldByName("DSEMAILRETORNO")->AsString();
        g.Edit();
        g.FieldByName("DSEMAILRETORNO")->setAsString("gnre@empresa.com.br");
        g.FieldByName("NRDIASCALCDTPAG")->setAsFloat(7.5);
        g.FieldByName("NMFILIAL")->setAsString("not stored");
        g.Post();
        send("SetParamGNRE", g.GetDelta());
        DataPacket h = history("");
        QCOMPARE(historyLines(h), QStringList({"A  NRDIASCALCDTPAG: 5 -> 7.5", "A  DSEMAILRETORNO: " + email + " -> gnre@empresa.com.br"}));
        QCOMPARE(valueOf(h, 0, "NMUSUARIO"), QString("maria.souza"));
        QCOMPARE(valueOf(h, 0, "DSENDERECO"), QString("127.0.0.1"));
        QCOMPARE(valueOf(h, 0, "NMMETODO"), QString("SetParamGNRE"));
        QCOMPARE(QDateTime::fromString(valueOf(h, 0, "DTALTERACAO"), "yyyy-MM-dd HH:mm:ss.zzz").date(), QDateTime::currentDateTimeUtc().date());

        TClientDataSet first("first");
        loadInto(first, call("GetParamGeral", {"03"}));
        first.Insert();
        first.FieldByName("CDEMPRESA")->setAsString("03");
        first.FieldByName("IDCALENDPAGGNRE")->setAsString("F");
        first.Post();
        send("SetParamGNRE", first.GetDelta());
        QCOMPARE(historyLines(packetOf(call("GetHistorico", {"03", "", "", ""}))),
                 QStringList({"I  CDEMPRESA:  -> 03", "I  IDCALENDPAGGNRE:  -> F"}));

        TClientDataSet r("r");
        loadInto(r, call("GetParamInscr", {"01", "GON"}));
        r.Append();
        for (auto [f, v] : {std::pair{"CDEMPRESA", "01"}, {"CDINSCESTA", "0623079040081"}, {"SGESTADO", "MG"}, {"IDTPGUIA", "GON"}})
            r.FieldByName(f)->setAsString(v);
        r.Post();
        send("SetParamInscr", r.GetDelta());
        r.MergeChangeLog();
        r.First();
        const QString edited = r.FieldByName("CDINSCESTA")->AsString();
        const QString was = r.FieldByName("IDTPAMBIENTE")->AsString();
        r.Edit();
        r.FieldByName("IDTPAMBIENTE")->setAsString(was == "P" ? "H" : "P");
        r.Post();
        send("SetParamInscr", r.GetDelta());
        r.MergeChangeLog();
        for (r.First(); r.FieldByName("CDINSCESTA")->AsString() != "0623079040081"; r.Next())
            QVERIFY(!r.Eof());
        r.Delete();
        send("SetParamInscr", r.GetDelta());

        // Refused: changed by someone else since it was loaded. Nothing recorded.
        TClientDataSet stale("stale");
        loadInto(stale, call("GetParamGeral", {"01"}));
        stale.Edit();
        stale.FieldByName("CDFILIAL")->setAsString("0001");
        stale.Post();
        g.MergeChangeLog();
        g.Edit();
        g.FieldByName("CDFILIAL")->setAsString("0010");
        g.Post();
        send("SetParamGNRE", g.GetDelta());
        const int before = history("").rows.size();
        QVERIFY(!call("SetParamGNRE", {stale.GetDelta().toJson()}).ok);
        QCOMPARE(history("").rows.size(), before);

        const QStringList gon = historyLines(history("GON"));
        QCOMPARE(gon, QStringList({"E 0623079040081 CDEMPRESA: 01 -> ", "E 0623079040081 CDINSCESTA: 0623079040081 -> ",
                                   "E 0623079040081 SGESTADO: MG -> ", "E 0623079040081 IDTPGUIA: GON -> ",
                                   QStringLiteral("A %1 IDTPAMBIENTE: %2 -> %3").arg(edited, was, was == "P" ? "H" : "P"),
                                   "I 0623079040081 CDEMPRESA:  -> 01", "I 0623079040081 CDINSCESTA:  -> 0623079040081",
                                   "I 0623079040081 SGESTADO:  -> MG", "I 0623079040081 IDTPGUIA:  -> GON"}));
        QCOMPARE(history("DRJ").rows.size(), 0);
        QCOMPARE(historyLines(history("")).size(), gon.size() + 3); // and the general record's
    }

    void historyPeriods()
    {
        QVERIFY(changeBranchOfCompany01());
        const QDate today = QDateTime::currentDateTimeUtc().date();
        auto rows = [&](const QString &from, const QString &to) {
            return packetOf(call("GetHistorico", {"01", "", from, to})).rows.size();
        };
        const QString d = today.toString("dd/MM/yyyy");
        QCOMPARE(rows(d, d), 1);
        QCOMPARE(rows(d, ""), 1);
        QCOMPARE(rows("", d), 1);
        QCOMPARE(rows(today.addDays(1).toString("dd/MM/yyyy"), ""), 0);
        QCOMPARE(rows("", today.addDays(-1).toString("dd/MM/yyyy")), 0);
        for (auto [from, to, message] : {std::tuple{"31/02/2026", "", "Data inicial inválida"},
                                         {"", "2026-12-01", "Data final inválida"},
                                         {"10/12/2026", "09/12/2026", "posterior à data final"}}) {
            const jsonrpc::Reply r = call("GetHistorico", {"01", "", from, to});
            QVERIFY(!r.ok);
            QVERIFY2(r.message.contains(message), qPrintable(r.message));
        }
    }

    // The history only grows: the database itself refuses to change or delete it.
    void historyIsAppendOnly()
    {
        QVERIFY(changeBranchOfCompany01());
        for (const char *statement : {"UPDATE HISTPARAMGNRE SET DSVALORNOVO = 'x';", "DELETE FROM HISTPARAMGNRE;"}) {
            QProcess p;
            p.setProcessChannelMode(QProcess::MergedChannels);
            if (ServerProcess::engine() == "firebird") {
                p.start("isql-fb", {"-q", "-user", "SYSDBA", "-password", "masterkey", ServerProcess::firebirdDatabase(server->databasePath())});
                p.waitForStarted();
                p.write(QByteArray(statement) + "\nCOMMIT;\n");
                p.closeWriteChannel();
            } else {
                p.start("sqlite3", {server->databasePath(), statement});
            }
            QVERIFY(p.waitForFinished(30000));
            QVERIFY2(QString::fromUtf8(p.readAll()).contains("não pode ser alterado"), statement);
        }
        const DataPacket h = packetOf(call("GetHistorico", {"01", "", "", ""}));
        QCOMPARE(historyLines(h), QStringList({"A  CDFILIAL: 0002 -> 0010"}));
    }

    void twoServersOnOneDatabase()
    {
        // Several services may share one database: the check is made by the database, not by a process.
        ServerProcess other(server->databaseArgs(), false);
        QVERIFY2(other.started(), qPrintable(other.error()));
        TClientDataSet a("a"), b("b");
        loadInto(a, call("GetParamGeral", {"02"}));
        loadInto(b, other.call("GetParamGeral", {"02"}));
        a.Edit();
        a.FieldByName("NRDIASCALCDTPAG")->setAsFloat(7);
        a.Post();
        b.Edit();
        b.FieldByName("NRDIASCALCDTPAG")->setAsFloat(9);
        b.Post();
        QVERIFY(call("SetParamGNRE", {a.GetDelta().toJson()}).ok);
        QVERIFY(!other.call("SetParamGNRE", {b.GetDelta().toJson()}).ok);
        QCOMPARE(geral("02").rows[0][geral("02").indexOf("NRDIASCALCDTPAG")].toDouble(), 7.0);
    }

    void invalidDeltasChangeNothing_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("expected");
        QTest::newRow("flag") << "IDCALCSTMANUAL" << QVariant("X") << "IDCALCSTMANUAL";
        QTest::newRow("environment") << "IDTPAMBIENTE" << QVariant("Z") << "IDTPAMBIENTE";
        QTest::newRow("period") << "IDPERIODOREFAPU" << QVariant("A") << "IDPERIODOREFAPU";
        QTest::newRow("width") << "DSEMAILRETORNO" << QVariant(QString(101, 'x')) << "DSEMAILRETORNO";
        QTest::newRow("registration") << "CDINSCESTA" << QVariant() << "Inscrição estadual deve ser informada.";
        QTest::newRow("company") << "CDEMPRESA" << QVariant("  ") << "Empresa deve ser informada.";
    }

    void invalidDeltasChangeNothing()
    {
        QFETCH(QString, field);
        QFETCH(QVariant, value);
        QFETCH(QString, expected);
        const DataPacket before = inscr("01", "GON");

        // A valid change first, then the invalid one: all or nothing.
        Delta d;
        d.fields = before.fields;
        Row good = before.rows.at(0);
        good[before.indexOf("CDENCARGOST")] = "02";
        d.changes.append(Change{ChangeKind::Modify, before.rows.at(0), good});
        Row bad = before.rows.at(1);
        bad[before.indexOf(field)] = value;
        d.changes.append(Change{ChangeKind::Modify, before.rows.at(1), bad});

        const jsonrpc::Reply r = call("SetParamInscr", {d.toJson()});
        QVERIFY(!r.ok);
        QCOMPARE(r.code, int(jsonrpc::ServiceRefused));
        QVERIFY2(r.message.contains(expected), qPrintable(r.message));
        QCOMPARE(inscr("01", "GON").rows, before.rows);
    }

    // A connection's requests are read on one thread, which keeps the field
    // list it read last: a list that differs from it in one name or one type,
    // and nothing else, is read as sent.
    void fieldListsAreReadAsSent()
    {
        const DataPacket before = geral("01");
        httplib::Client c("127.0.0.1", server->port());
        c.set_keep_alive(true);
        auto save = [&](const DataPacket &current, const QString &email, const std::function<void(QJsonObject &)> &alter) {
            QJsonObject delta = emailChange(current, email).toJson();
            QJsonArray fields = delta.value("fields").toArray();
            QJsonObject field = fields.at(current.indexOf("DSEMAILRETORNO")).toObject();
            alter(field);
            fields.replace(current.indexOf("DSEMAILRETORNO"), field);
            delta.insert("fields", fields);
            return saveOn(c, delta);
        };
        const auto asSent = [](QJsonObject &) {};
        QVERIFY(save(before, "um@empresa.com.br", asSent).ok);
        const DataPacket saved = geral("01");
        const jsonrpc::Reply typed = save(saved, "dois@empresa.com.br", [](QJsonObject &f) { f.insert("type", "float"); });
        QVERIFY(!typed.ok);
        QVERIFY2(typed.message.contains("DSEMAILRETORNO"), qPrintable(typed.message));
        const jsonrpc::Reply named = save(saved, "dois@empresa.com.br", [](QJsonObject &f) { f.insert("name", "DSEMAILRETORNX"); });
        QVERIFY(!named.ok);
        QVERIFY2(named.message.contains("DSEMAILRETORNO") || named.message.contains("DSEMAILRETORNX"), qPrintable(named.message));
        const jsonrpc::Reply sized = save(saved, "tres@empresa.com.br", [](QJsonObject &f) { f.insert("size", 0); });
        QVERIFY(!sized.ok);
        QVERIFY2(sized.message.contains("sem tamanho"), qPrintable(sized.message));
        QCOMPARE(geral("01").rows, saved.rows);
        QVERIFY(save(saved, "quatro@empresa.com.br", asSent).ok);
        QCOMPARE(geral("01").rows.at(0).at(saved.indexOf("DSEMAILRETORNO")).toString(), QString("quatro@empresa.com.br"));
    }

    // The statements of a connection are kept by what their text follows
    // from: a value loaded empty is its own condition (IS NULL), so a save
    // from empty, to empty and from empty again each checks what it loaded.
    void emptyAndFilledValuesAlternate()
    {
        httplib::Client c("127.0.0.1", server->port());
        c.set_keep_alive(true);
        auto save = [&](const DataPacket &loaded, const QVariant &email) { return saveOn(c, emailChange(loaded, email).toJson()); };
        auto stored = [&] { return geral("01").rows.at(0).at(geral("01").indexOf("DSEMAILRETORNO")); };
        for (const QVariant &email : {QVariant(), QVariant("a@empresa.com.br"), QVariant(), QVariant("b@empresa.com.br")}) {
            QVERIFY(save(geral("01"), email).ok);
            QCOMPARE(stored(), email);
        }
        const DataPacket filled = geral("01");
        QVERIFY(save(filled, QVariant()).ok);
        const DataPacket empty = geral("01");
        QVERIFY(save(empty, "c@empresa.com.br").ok);
        // Both loaded values are stale now: each is refused, nothing changes.
        QVERIFY(!save(empty, "d@empresa.com.br").ok);
        QVERIFY(!save(filled, "e@empresa.com.br").ok);
        QCOMPARE(stored(), QVariant("c@empresa.com.br"));
    }

    void generalCodeDomains_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("calendar B") << "IDCALENDPAGGNRE" << QVariant("B") << true;
        QTest::newRow("calendar c") << "IDCALENDPAGGNRE" << QVariant("c") << false;
        QTest::newRow("product 12") << "CDPRODUTODEB" << QVariant("00012") << true;
        QTest::newRow("product 13") << "CDPRODUTODEB" << QVariant("00013") << false;
        QTest::newRow("product text") << "CDPRODUTODEB" << QVariant("abc") << false;
        QTest::newRow("nature 5") << "CDNATUQUALIF" << QVariant("5") << true;
        QTest::newRow("nature 6") << "CDNATUQUALIF" << QVariant("6") << false;
        QTest::newRow("rate 100") << "VRALIQFECP" << QVariant(100.0) << true;
        QTest::newRow("rate 101") << "VRALIQFECP" << QVariant(101.0) << false;
        QTest::newRow("log flag") << "IDGERALOGGNRE" << QVariant("s") << false;
    }

    void generalCodeDomains()
    {
        QFETCH(QString, field);
        QFETCH(QVariant, value);
        QFETCH(bool, accepted);
        const DataPacket before = geral("01");
        Delta d;
        d.fields = before.fields;
        Row row = before.rows.at(0);
        row[before.indexOf(field)] = value;
        d.changes.append(Change{ChangeKind::Modify, before.rows.at(0), row});
        const jsonrpc::Reply r = call("SetParamGNRE", {d.toJson()});
        QCOMPARE(r.ok, accepted);
        if (!accepted) {
            QVERIFY2(r.message.contains(field), qPrintable(r.message));
            QCOMPARE(geral("01").rows, before.rows);
        }
    }

    // An argument longer than its column matches nothing, on both engines.
    void overLongArgumentsGiveNoRows_data()
    {
        QTest::addColumn<QString>("method");
        QTest::addColumn<QStringList>("args");
        QTest::newRow("company") << "GetParamGeral" << QStringList{"ABC"};
        QTest::newRow("guide type") << "GetParamInscr" << QStringList{"01", "GONX"};
        QTest::newRow("book") << "GetLivroMag" << QStringList{"00000000007"};
        QTest::newRow("product") << "GetProdGnreOnline" << QStringList{"000001"};
        QTest::newRow("registration") << "GetVdInscricao" << QStringList{"01", "11004249011412345", "GON"};
    }
    void overLongArgumentsGiveNoRows()
    {
        QFETCH(QString, method);
        QFETCH(QStringList, args);
        const jsonrpc::Reply r = call(method, QJsonArray::fromStringList(args));
        QVERIFY2(r.ok, qPrintable(r.message));
        QCOMPARE(DataPacket::fromJson(r.result).rows.size(), 0);
    }

    // Blanks around a key code are refused on both engines (one would take
    // "X " for "X", the other for a second key).
    void keysWithBlanksAreRefused()
    {
        const DataPacket before = inscr("01", "GON");
        Delta d;
        d.fields = before.fields;
        Row row = before.rows.at(0);
        row[before.indexOf("CDINSCESTA")] = row.at(before.indexOf("CDINSCESTA")).toString() + " ";
        d.changes.append(Change{ChangeKind::Insert, {}, row});
        const jsonrpc::Reply r = call("SetParamInscr", {d.toJson()});
        QVERIFY(!r.ok);
        QVERIFY2(r.message.contains("espaços"), qPrintable(r.message));
        QCOMPARE(inscr("01", "GON").rows, before.rows);
    }

    // Writers racing on one record through two services: every refusal is the
    // service's own message, never the engine's text, and no update is lost.
    void racingWritersGetTheServicesMessage()
    {
        ServerProcess other(server->databaseArgs(), false);
        QVERIFY2(other.started(), qPrintable(other.error()));
        std::atomic<int> saved{0};
        std::vector<QStringList> messages(4);
        std::vector<std::thread> threads;
        for (int i = 0; i < 4; ++i)
            threads.emplace_back([&, i] {
                httplib::Client c("127.0.0.1", i % 2 ? other.port() : server->port());
                c.set_keep_alive(true);
                auto post = [&](const QByteArray &body) {
                    auto res = c.Post("/FIS94100.rdmParamGNRE", body.toStdString(), "application/json");
                    return res ? jsonrpc::parseReply(QByteArray::fromStdString(res->body)) : jsonrpc::Reply{};
                };
                for (int n = 0; n < 25; ++n) {
                    const DataPacket p = DataPacket::fromJson(post(jsonrpc::request("GetParamGeral", {"02"}, 1)).result);
                    Delta d;
                    d.fields = p.fields;
                    Row changed = p.rows.at(0);
                    changed[p.indexOf("NRDIASCALCDTPAG")] = double((i * 25 + n) % 90);
                    d.changes.append(Change{ChangeKind::Modify, p.rows.at(0), changed});
                    const jsonrpc::Reply r = post(jsonrpc::request("SetParamGNRE", {d.toJson()}, 2));
                    if (r.ok)
                        ++saved;
                    else
                        messages[i] << r.message;
                }
            });
        for (auto &t : threads)
            t.join();
        QVERIFY(saved > 0);
        int refused = 0;
        for (const QStringList &list : messages)
            refused += int(list.size());
        qInfo("%d saved, %d refused", int(saved), refused);
        for (const QStringList &list : messages)
            for (const QString &m : list)
                QVERIFY2(m.contains("outro usuário"), qPrintable(m));
    }

    void insertOfAnExistingKeyIsRefused()
    {
        const DataPacket before = inscr("01", "GON");
        Delta d;
        d.fields = before.fields;
        d.changes.append(Change{ChangeKind::Insert, {}, before.rows.at(0)});
        const jsonrpc::Reply r = call("SetParamInscr", {d.toJson()});
        QVERIFY(!r.ok);
        QVERIFY2(r.message.contains("já estão cadastrados"), qPrintable(r.message));
    }

    // A number is stored as the client sent it, to the last bit: saved, read
    // back and saved again with what was read (its condition must match).
    void numbersKeepEveryBit()
    {
        for (const double value : {9.406831176283713, 92.65002046000001, 59.680024089999996, 12.722519613559891}) {
            const DataPacket before = geral("01");
            Delta d;
            d.fields = before.fields;
            Row changed = before.rows.at(0);
            changed[before.indexOf("VRALIQFECP")] = value;
            d.changes.append(Change{ChangeKind::Modify, before.rows.at(0), changed});
            const jsonrpc::Reply saved = call("SetParamGNRE", {d.toJson()});
            QVERIFY2(saved.ok, qPrintable(saved.message));
            const DataPacket after = geral("01");
            const double stored = after.rows.at(0).at(after.indexOf("VRALIQFECP")).toDouble();
            QVERIFY2(stored == value, qPrintable(QString::number(stored, 'g', 17))); // exact: QCOMPARE would be fuzzy
        }
        const DataPacket last = geral("01");
        Delta d;
        d.fields = last.fields;
        Row changed = last.rows.at(0);
        changed[last.indexOf("VRALIQFECP")] = 2.0;
        d.changes.append(Change{ChangeKind::Modify, last.rows.at(0), changed});
        const jsonrpc::Reply again = call("SetParamGNRE", {d.toJson()});
        QVERIFY2(again.ok, qPrintable(again.message));
    }

    // Half of a surrogate pair, escaped in the request, is refused as the text
    // it is not; nothing is stored in its place.
    void loneSurrogateIsRefused()
    {
        const DataPacket before = geral("01");
        Delta d;
        d.fields = before.fields;
        Row changed = before.rows.at(0);
        changed[before.indexOf("DSEMAILRETORNO")] = QStringLiteral("@MARK@");
        d.changes.append(Change{ChangeKind::Modify, before.rows.at(0), changed});
        for (const char *half : {"a\\udc00b@x.com", "a\\ud800b@x.com"}) {
            QByteArray body = jsonrpc::request("SetParamGNRE", {d.toJson()}, 1);
            body.replace("@MARK@", half);
            const jsonrpc::Reply r = jsonrpc::parseReply(server->post(body));
            QVERIFY2(!r.ok, half);
            QCOMPARE(r.code, int(jsonrpc::ServiceRefused)); // the field's check, not the JSON's
            QCOMPARE(geral("01").rows, before.rows);
        }
    }

    void badRequests_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("code");
        QTest::newRow("not json") << QByteArray("{\"jsonrpc\":") << int(jsonrpc::ParseError);
        QTest::newRow("array") << QByteArray("[1,2]") << int(jsonrpc::InvalidRequest);
        QTest::newRow("no version") << QByteArray(R"({"method":"GetParamGeral","params":["01"],"id":1})") << int(jsonrpc::InvalidRequest);
        QTest::newRow("unknown method") << QByteArray(R"({"jsonrpc":"2.0","method":"DropAll","params":[],"id":1})") << int(jsonrpc::MethodNotFound);
        QTest::newRow("too few") << QByteArray(R"({"jsonrpc":"2.0","method":"GetParamInscr","params":["01"],"id":1})") << int(jsonrpc::InvalidParams);
        QTest::newRow("wrong type") << QByteArray(R"({"jsonrpc":"2.0","method":"GetParamGeral","params":[1],"id":1})") << int(jsonrpc::InvalidParams);
        QTest::newRow("named params") << QByteArray(R"({"jsonrpc":"2.0","method":"GetParamGeral","params":{"a":"01"},"id":1})") << int(jsonrpc::InvalidParams);
        QTest::newRow("delta not a delta") << QByteArray(R"({"jsonrpc":"2.0","method":"SetParamGNRE","params":[{"x":1}],"id":1})") << int(jsonrpc::ServiceRefused);
        QTest::newRow("delta with unknown field") << QByteArray(R"({"jsonrpc":"2.0","method":"SetParamGNRE","params":[{"fields":[{"name":"X","type":"float"}],"changes":[]}],"id":1})") << int(jsonrpc::ServiceRefused);
        // Nesting to the body's limit reaches no stack and is refused beyond
        // 1,024 levels; text that is not UTF-8, a number beyond a double and a
        // control character not escaped are refused as the JSON they are not.
        QTest::newRow("nested deep") << (QByteArray(300000, '[') + QByteArray(300000, ']')) << int(jsonrpc::ParseError);
        QTest::newRow("nested 1024 deep") << (QByteArray(1024, '[') + QByteArray(1024, ']')) << int(jsonrpc::InvalidRequest);
        QTest::newRow("control character") << QByteArray("{\"jsonrpc\":\"2.0\",\"method\":\"GetParamGeral\",\"params\":[\"0\x01\"],\"id\":1}") << int(jsonrpc::ParseError);
        // 0x1A to 0x1F well inside a long string (where a vector scan would take over).
        QTest::newRow("control characters 1A to 1F") << (QByteArray("{\"jsonrpc\":\"2.0\",\"method\":\"GetParamGeral\",\"params\":[\"")
                                                          + QByteArray(40, 'a') + QByteArray("\x1a\x1b\x1c\x1d\x1e\x1f") + QByteArray(40, 'a')
                                                          + QByteArray("\"],\"id\":1}")) << int(jsonrpc::ParseError);
        QTest::newRow("nested deep in a delta") << (QByteArray(R"({"jsonrpc":"2.0","method":"SetParamGNRE","params":[{"fields":)") + QByteArray(300000, '[')
                                                    + QByteArray(300000, ']') + QByteArray(R"(,"changes":[]}],"id":1})")) << int(jsonrpc::ParseError);
        QTest::newRow("not utf-8") << QByteArray("{\"jsonrpc\":\"2.0\",\"method\":\"GetParamGeral\",\"params\":[\"0\xff\"],\"id\":1}") << int(jsonrpc::ParseError);
        QTest::newRow("number beyond a double") << QByteArray(R"({"jsonrpc":"2.0","method":"GetParamGeral","params":["01"],"id":1e999})") << int(jsonrpc::ParseError);
        QTest::newRow("oversized") << (QByteArray(R"({"jsonrpc":"2.0","method":"GetParamGeral","params":[")") + QByteArray(2 * 1024 * 1024, 'a') + QByteArray(R"("],"id":1})")) << int(jsonrpc::InvalidRequest);
    }

    void badRequests()
    {
        QFETCH(QByteArray, body);
        QFETCH(int, code);
        const DataPacket before = geral("01");
        const jsonrpc::Reply r = jsonrpc::parseReply(server->post(body));
        QVERIFY(!r.ok);
        QCOMPARE(r.code, code);
        QVERIFY(!r.message.isEmpty());
        QCOMPARE(geral("01").rows, before.rows); // still serving, nothing written
    }

    // Several clients save at once; the service is killed; every save it had
    // answered for is in the database afterwards, and the database is whole.
    void acknowledgedSavesSurviveAKill()
    {
        const DataPacket shape = inscr("01", "GON");
        const int port = server->port();
        constexpr int clients = 4;
        std::atomic<bool> stop{false};
        std::atomic<int> answered{0};
        std::vector<QStringList> acked(clients);
        std::vector<std::thread> threads;
        for (int i = 0; i < clients; ++i)
            threads.emplace_back([&, i] {
                httplib::Client c("127.0.0.1", port);
                c.set_keep_alive(true);
                c.set_tcp_nodelay(true);
                for (int n = 0; n < 500 && !stop; ++n) {
                    const QString code = QStringLiteral("K%1%2").arg(i).arg(n, 4, 10, QLatin1Char('0'));
                    Row row(shape.fields.size());
                    for (auto [f, v] : {std::pair{"CDEMPRESA", "01"}, {"SGESTADO", "MG"}, {"IDTPGUIA", "GON"},
                                        {"IDTPAMBIENTE", "P"}, {"IDPERIODOREFAPU", "I"}, {"IDCALCSTMANUAL", "N"},
                                        {"IDFCPSEPIMP", "S"}})
                        row[shape.indexOf(f)] = QString::fromLatin1(v);
                    row[shape.indexOf("CDINSCESTA")] = code;
                    Delta d;
                    d.fields = shape.fields;
                    d.changes.append(Change{ChangeKind::Insert, {}, row});
                    const QByteArray body = jsonrpc::request("SetParamInscr", {d.toJson()}, n + 1);
                    auto res = c.Post("/FIS94100.rdmParamGNRE", body.toStdString(), "application/json");
                    if (!res)
                        break; // the service is gone
                    if (jsonrpc::parseReply(QByteArray::fromStdString(res->body)).ok) {
                        acked[i] << code;
                        ++answered;
                    }
                }
            });
        QElapsedTimer t;
        t.start();
        while (answered < 60 && t.elapsed() < 20000)
            QThread::msleep(5);
        server->kill(); // mid-stream: some saves are under way
        stop = true;
        for (auto &th : threads)
            th.join();
        QVERIFY2(answered >= 10, qPrintable(QString::number(answered)));

        // Whole on disk, before anything else opens it.
        QProcess check;
        check.setProcessChannelMode(QProcess::MergedChannels);
        if (ServerProcess::engine() == "firebird")
            check.start("gfix", {"-v", "-full", "-user", "SYSDBA", "-password", "masterkey",
                                 ServerProcess::firebirdDatabase(server->databasePath())});
        else
            check.start("sqlite3", {server->databasePath(), "PRAGMA integrity_check;"});
        QVERIFY2(check.waitForFinished(60000), "integrity check did not finish");
        const QString said = QString::fromUtf8(check.readAll()).trimmed();
        QCOMPARE(check.exitCode(), 0);
        QVERIFY2(ServerProcess::engine() == "firebird" ? said.isEmpty() : said == "ok", qPrintable(said));

        ServerProcess again(server->databaseArgs(), false);
        QVERIFY2(again.started(), qPrintable(again.error()));
        const DataPacket stored = DataPacket::fromJson(again.call("GetParamInscr", {"01", "GON"}).result);
        QSet<QString> codes;
        for (const Row &r : stored.rows)
            codes.insert(r.at(stored.indexOf("CDINSCESTA")).toString());
        int total = 0;
        for (const QStringList &list : acked)
            for (const QString &code : list) {
                QVERIFY2(codes.contains(code), qPrintable(code + " was acknowledged and is lost"));
                ++total;
            }
        QCOMPARE(total, int(answered));
        // The history holds each stored insert, whole (its 7 fields), and no other.
        const DataPacket h = DataPacket::fromJson(again.call("GetHistorico", {"01", "GON", "", ""}).result);
        QHash<QString, int> fieldsOf;
        for (int i = 0; i < h.rows.size(); ++i)
            fieldsOf[valueOf(h, i, "CDINSCESTA")] += 1;
        for (const QString &code : std::as_const(codes))
            if (code.startsWith('K'))
                QVERIFY2(fieldsOf.take(code) == 8, qPrintable(code + " stored without its history"));
        QVERIFY2(fieldsOf.isEmpty(), qPrintable(QStringList(fieldsOf.keys()).join(' ') + " in the history, not stored"));
    }

    // A change asked again with the same id (its first answer was lost) is
    // applied once: the repeat gets the first answer.
    void retriedChangeIsAppliedOnce()
    {
        const DataPacket before = inscr("01", "GON");
        Delta d;
        d.fields = before.fields;
        Row row = before.rows.at(0);
        row[before.indexOf("CDINSCESTA")] = QStringLiteral("5550001");
        d.changes.append(Change{ChangeKind::Insert, {}, row});
        const QByteArray body = jsonrpc::request("SetParamInscr", {d.toJson()}, QJsonValue("0b6f1c2e-4a5d-4e8f-9a1b-2c3d4e5f6a7b"));
        const jsonrpc::Reply first = jsonrpc::parseReply(server->post(body));
        QVERIFY2(first.ok, qPrintable(first.message));
        const jsonrpc::Reply again = jsonrpc::parseReply(server->post(body));
        QVERIFY2(again.ok, qPrintable(again.message)); // not "already registered"
        QCOMPARE(inscr("01", "GON").rows.size(), before.rows.size() + 1);

        // Another id is another request: the same insert is refused now.
        const QByteArray other = jsonrpc::request("SetParamInscr", {d.toJson()}, QJsonValue("9f8e7d6c-5b4a-4392-8170-6f5e4d3c2b1a"));
        QVERIFY(!jsonrpc::parseReply(server->post(other)).ok);
        // Numeric ids are per connection, not remembered.
        QVERIFY(!jsonrpc::parseReply(server->post(jsonrpc::request("SetParamInscr", {d.toJson()}, 7))).ok);
    }

    // JSON-RPC 2.0: a notification (no id) is never answered, an error to a
    // request whose id could not be read carries a null id.
    void notificationsGetNoReply_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("known method") << QByteArray(R"({"jsonrpc":"2.0","method":"GetParamGeral","params":["01"]})");
        QTest::newRow("unknown method") << QByteArray(R"({"jsonrpc":"2.0","method":"DropAll","params":[]})");
        QTest::newRow("wrong params") << QByteArray(R"({"jsonrpc":"2.0","method":"GetParamGeral","params":[1]})");
    }
    void notificationsGetNoReply()
    {
        QFETCH(QByteArray, body);
        int status = 0;
        QCOMPARE(server->post(body, &status), QByteArray());
        QCOMPARE(status, 204);
        const QJsonObject invalid = QJsonDocument::fromJson(server->post(R"({"jsonrpc":"1.0","method":"X"})")).object();
        QVERIFY(invalid.contains("id"));
        QVERIFY(invalid.value("id").isNull());
        QVERIFY(invalid.contains("error"));
    }

    // Numbers JSON allows whose text goes beyond the parser's own limits,
    // though their values are a double's, are read as what they are.
    void numbersBeyondTheParsersLimits_data()
    {
        QTest::addColumn<QByteArray>("number");
        QTest::newRow("zero, large exponent") << QByteArray("0e400");
        QTest::newRow("negative zero, large exponent") << QByteArray("-0.0E999");
        QTest::newRow("320 digits, e-100") << QByteArray("1" + QByteArray(320, '0') + "e-100");
    }
    void numbersBeyondTheParsersLimits()
    {
        QFETCH(QByteArray, number);
        const QByteArray body = R"({"jsonrpc":"2.0","method":"GetLivroMag","params":["x"],"extra":)" + number + R"(,"id":7})";
        const jsonrpc::Reply r = jsonrpc::parseReply(server->post(body));
        QVERIFY2(r.ok, qPrintable(r.message));
    }

    // A reply carries the request's id exactly as sent: a whole number beyond
    // what a double holds exactly, a text with characters beyond 16 bits.
    void repliesCarryTheIdAsSent()
    {
        QVERIFY(server->post(R"({"jsonrpc":"2.0","method":"GetLivroMag","params":[""],"id":162222222222222222})")
                    .endsWith(R"("id":162222222222222222})"));
        // Whole numbers as clients number their reads, and numbers that are not.
        for (const char *id : {"7", "-12", "999999999999999", "1000000000000000", "1e16", "2.5", "1e300", "100.0", "-0"}) {
            const QByteArray expected = QJsonDocument(QJsonArray{QJsonDocument::fromJson(QByteArray("[") + id + "]").array().at(0)})
                                            .toJson(QJsonDocument::Compact);
            const QByteArray reply = server->post(QByteArray(R"({"jsonrpc":"2.0","method":"GetLivroMag","params":[""],"id":)") + id + "}");
            QVERIFY2(reply.endsWith(",\"id\":" + expected.mid(1, expected.size() - 2) + "}"), reply.constData());
        }
        QVERIFY(server->post(R"({"jsonrpc":"2.0","method":"GetLivroMag","params":[""],"id":"pedido \ud83d\ude9a 1"})")
                    .endsWith(QStringLiteral(R"("id":"pedido 🚚 1"})").toUtf8()));
    }

    // A database made before schema versions were recorded (no history of
    // changes either) is upgraded at start, once, and the log says so.
    void olderDatabaseIsUpgraded()
    {
        server->stop();
        QProcess downgrade;
        downgrade.setProcessChannelMode(QProcess::MergedChannels);
        if (ServerProcess::engine() == "firebird") {
            downgrade.start("isql-fb", {"-q", "-user", "SYSDBA", "-password", "masterkey",
                                        ServerProcess::firebirdDatabase(server->databasePath())});
            downgrade.waitForStarted();
            downgrade.write("DROP TABLE HISTPARAMGNRE;\nCOMMIT;\nDROP EXCEPTION HISTORICO_SOMENTE_INCLUSAO;\n"
                            "DROP TABLE SCHEMAINFO;\nCOMMIT;\n");
            downgrade.closeWriteChannel();
        } else {
            downgrade.start("sqlite3", {server->databasePath(), "DROP TABLE HISTPARAMGNRE; PRAGMA user_version = 0;"});
        }
        QVERIFY(downgrade.waitForFinished(30000));
        QCOMPARE(downgrade.exitCode(), 0);
        for (const char *expected : {"schema upgraded from version 0 to 3", "schema version 3"}) {
            ServerProcess again(server->databaseArgs(), false);
            QVERIFY(again.started());
            QVERIFY(again.call("GetParamGeral", {"01"}).ok);
            QVERIFY(again.call("GetHistorico", {"01", "", "", ""}).ok);
            again.stop();
            QVERIFY2(again.standardError().contains(expected), qPrintable(again.standardError()));
        }
    }

    void stopsCleanlyOnTerm()
    {
        server->stop();
        // The database is whole after the stop: a new server on it reads the same data.
        ServerProcess again(server->databaseArgs(), false);
        QVERIFY(again.started());
        QCOMPARE(DataPacket::fromJson(again.call("GetParamGeral", {"01"}).result).rows.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestParamService)
#include "tst_paramservice.moc"
