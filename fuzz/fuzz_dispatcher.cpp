// The parameter service's request handling: any bytes as a request body to the
// dispatcher, with the eight methods registered as fis94100-server registers
// them, on a temporary SQLite database with the demo data and a certificate
// directory holding the seed certificates.
//
// Every reply must be a JSON-RPC 2.0 response to the request (its id, one of
// result or error); a read's packet must load in a client; a refusal must
// leave the database as it was. A request that changed the parameter records
// is undone after its check (they are put back as the demo data has them), so
// every input starts from the same database and the database does not grow.
// What a Set answered "OK" for must then be served as posted.
#include "PacketChecks.h"

#include "JsonRpc.h"
#include "ParamService.h"
#include "ParamStore.h"
#include "RpcDispatcher.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <string_view>
#include <optional>

namespace {

struct Fixture
{
    QTemporaryDir dir{QDir::tempPath() + QStringLiteral("/fuzz_dispatcher-XXXXXX")};
    std::unique_ptr<ParamStore> store;
    RpcDispatcher dispatcher;
    QSqlDatabase db; // a connection of our own, beside the service's
    qint64 version = 0;
};

Fixture *g = nullptr;
const char *const ParamTables[] = {"PARAMGNRE", "PARAMGNREINSCR"};

QSqlQuery run(const QString &sql)
{
    QSqlQuery q(g->db);
    if (!q.exec(sql))
        fuzzcheck::fail("fixture statement failed", (sql + QStringLiteral(": ") + q.lastError().text()).toUtf8());
    return q;
}

// Changes committed by the service since the last look (SQLite's data_version
// counts other connections' commits).
qint64 dataVersion()
{
    QSqlQuery q = run(QStringLiteral("PRAGMA data_version"));
    q.next();
    return q.value(0).toLongLong();
}

void restoreDemoRecords()
{
    run(QStringLiteral("BEGIN IMMEDIATE"));
    for (const char *t : ParamTables) {
        run(QStringLiteral("DELETE FROM main.%1").arg(QLatin1String(t)));
        run(QStringLiteral("INSERT INTO main.%1 SELECT * FROM temp.seed_%1").arg(QLatin1String(t)));
    }
    run(QStringLiteral("COMMIT"));
}

// The columns a Set method stores (the others are names read through joins) and the key.
struct Stored
{
    QString read; // the method that reads the records back
    QStringList key;
    QStringList columns;
};

const Stored &storedBy(const QString &setMethod)
{
    static const Stored geral{QStringLiteral("GetParamGeral"), {"CDEMPRESA"},
                              {"CDEMPRESA", "IDGERALOGGNRE", "CDLIVROMAG", "NRDIASCALCDTPAG", "CDFILIAL", "IDCALENDPAGGNRE",
                               "DSEMAILRETORNO", "CDPRODUTODEB", "CDNATUQUALIF", "VRALIQFECP", "CDPRODUTOGON",
                               "IDGERACONTAPAG", "IDENTRSAIDPAG", "CDTPOPERPAG"}};
    static const Stored inscr{QStringLiteral("GetParamInscr"), {"CDEMPRESA", "IDTPGUIA", "CDINSCESTA"},
                              {"CDEMPRESA", "CDINSCESTA", "SGESTADO", "NRCERTIFICDIG", "IDTPAMBIENTE", "DSEMAILRETORNO",
                               "IDPERIODOREFAPU", "IDTPGUIA", "IDCALCSTMANUAL", "CDENCARGOST", "CDFILIALPAG", "IDFCPSEPIMP"}};
    return setMethod == QLatin1String("SetParamGNRE") ? geral : inscr;
}

// As stored: an empty text is a null.
QVariant asStored(const QVariant &v)
{
    if (!v.isValid() || v.isNull() || (v.typeId() == QMetaType::QString && v.toString().isEmpty()))
        return QVariant();
    return v;
}

// What the service answered "OK" for is what it serves afterwards: every record
// the delta leaves behind is read back with the values posted, every record it
// removes is gone.
void checkSaved(const QString &method, const QJsonValue &deltaJson, const QByteArray &body)
{
    const Stored &t = storedBy(method);
    const rt::Delta d = rt::Delta::fromJson(deltaJson);
    auto value = [&](const rt::Row &r, const QString &f) { return r.at(d.indexOf(f)); };
    auto keyOf = [&](const rt::Row &r) {
        QStringList k;
        for (const QString &f : t.key)
            k.append(value(r, f).toString());
        return k;
    };
    QList<QPair<QStringList, std::optional<rt::Row>>> expected; // in the order the changes apply
    auto expect = [&](const QStringList &key, std::optional<rt::Row> row) {
        for (auto &e : expected)
            if (e.first == key) {
                e.second = std::move(row);
                return;
            }
        expected.append({key, std::move(row)});
    };
    for (const rt::Change &c : d.changes) {
        if (c.kind != rt::ChangeKind::Insert)
            expect(keyOf(c.oldValues), std::nullopt);
        if (c.kind != rt::ChangeKind::Delete)
            expect(keyOf(c.newValues), c.newValues);
    }

    for (const auto &[key, row] : std::as_const(expected)) {
        const QJsonArray params = t.key.size() == 1 ? QJsonArray{key.at(0)} : QJsonArray{key.at(0), key.at(1)};
        const QByteArray reply = g->dispatcher.handle(jsonrpc::request(t.read, params, 1));
        rt::DataPacket served;
        try {
            const jsonrpc::Reply r = jsonrpc::parseReply(reply);
            if (!r.ok)
                fuzzcheck::fail("a saved record cannot be read back", body + "\n" + reply);
            served = rt::DataPacket::fromJson(r.result);
        } catch (const rt::Exception &e) {
            fuzzcheck::fail("a saved record cannot be read back", body + "\n" + e.what());
        }
        QList<rt::Row> found;
        for (const rt::Row &r : std::as_const(served.rows)) {
            bool same = true;
            for (int i = 0; i < t.key.size(); ++i)
                same = same && r.at(served.indexOf(t.key.at(i))).toString() == key.at(i);
            if (same)
                found.append(r);
        }
        if (!row) {
            if (!found.isEmpty())
                fuzzcheck::fail("a record deleted or moved to another key is still served",
                                key.join(QLatin1Char('|')).toUtf8() + "\n" + body);
            continue;
        }
        if (found.size() != 1)
            fuzzcheck::fail("a saved record is not served exactly once", key.join(QLatin1Char('|')).toUtf8() + "\n" + body + "\n" + reply);
        for (const QString &c : t.columns)
            if (!fuzzcheck::sameStored(asStored(found.at(0).at(served.indexOf(c))), asStored(value(*row, c))))
                fuzzcheck::fail("a saved record is served with another value",
                                c.toUtf8() + " of " + key.join(QLatin1Char('|')).toUtf8() + "\n" + body + "\n" + reply);
    }
}

bool isRead(const QString &method)
{
    return method.startsWith(QLatin1String("Get")) && method != QLatin1String("GetCertificado");
}

void checkResult(const QString &method, const QJsonValue &result, const QByteArray &reply)
{
    if (method == QLatin1String("SetParamGNRE") || method == QLatin1String("SetParamInscr")) {
        if (result != QJsonValue(QStringLiteral("OK")))
            fuzzcheck::fail("a saved delta is not answered \"OK\"", reply);
        return;
    }
    QJsonValue packet = result;
    if (method == QLatin1String("GetCertificado")) {
        const QJsonArray a = result.toArray();
        const QString status = a.at(0).toString();
        if (!result.isArray() || a.size() != 2 || (status != QLatin1String("OK") && status != QLatin1String("ERRO")))
            fuzzcheck::fail("the certificate list is neither [\"OK\", packet] nor [\"ERRO\", text]", reply);
        if (status == QLatin1String("ERRO")) {
            if (a.at(1).toString().isEmpty())
                fuzzcheck::fail("a certificate error without its text", reply);
            return;
        }
        packet = a.at(1);
    }
    rt::DataPacket p;
    try {
        p = rt::DataPacket::fromJson(packet);
    } catch (const rt::Exception &e) {
        fuzzcheck::fail("a client cannot load the packet the service answered", e.what() + QByteArray("\n") + reply);
    }
    fuzzcheck::wellFormedAnswer(p);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // Qt SQL loads its drivers as plugins, which wants an application object.
    static int argc = 1;
    static char name[] = "fuzz_dispatcher";
    static char *argv[] = {name, nullptr};
    new QCoreApplication(argc, argv);

    g = new Fixture;
    if (!g->dir.isValid())
        fuzzcheck::fail("no temporary directory", g->dir.errorString().toUtf8());
    std::atexit([] { g->dir.remove(); });

    // The seed certificates (PEM and DER) are the installed ones.
    const QString certs = g->dir.filePath(QStringLiteral("certs"));
    QDir().mkpath(certs);
    const QDir seeds(QStringLiteral(FIS_FUZZ_CERT_SEEDS));
    for (const QString &file : seeds.entryList(QDir::Files))
        QFile::copy(seeds.filePath(file), certs + QLatin1Char('/') + file);

    ParamStore::Options options;
    options.database = g->dir.filePath(QStringLiteral("demo.sqlite"));
    options.demo = true;
    g->store = std::make_unique<ParamStore>(options);
    try {
        g->store->open();
    } catch (const rt::Exception &e) {
        fuzzcheck::fail("the demo database could not be created", e.what());
    }
    registerParamService(g->dispatcher, *g->store, certs);

    g->db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("fuzz-fixture"));
    g->db.setDatabaseName(options.database);
    g->db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000"));
    if (!g->db.open())
        fuzzcheck::fail("cannot open the demo database", g->db.lastError().text().toUtf8());
    run(QStringLiteral("PRAGMA synchronous=OFF")); // this connection's own writes need no sync
    for (const char *t : ParamTables)
        run(QStringLiteral("CREATE TEMP TABLE seed_%1 AS SELECT * FROM main.%1").arg(QLatin1String(t)));
    g->version = dataVersion();
    return 0;
}

// Where the service's reader is stricter than Qt's, as JSON is, in a text Qt
// takes: a control character not escaped in a string, an escape that is not
// JSON's, a number's point without a digit on each side.
bool strictlyNoJson(const QByteArray &body)
{
    auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    bool inString = false;
    for (qsizetype i = 0; i < body.size(); ++i) {
        const char c = body.at(i);
        if (!inString) {
            if (c == '"')
                inString = true;
            else if (c == '.' && (i == 0 || !isDigit(body.at(i - 1)) || i + 1 == body.size() || !isDigit(body.at(i + 1))))
                return true;
        } else if (c == '"') {
            inString = false;
        } else if (uchar(c) < 0x20) {
            return true;
        } else if (c == '\\') {
            const char e = i + 1 < body.size() ? body.at(i + 1) : '\0';
            if (std::string_view("\"\\/bfnrt").find(e) == std::string_view::npos && e != 'u')
                return true;
            if (e == 'u')
                for (qsizetype k = i + 2; k < i + 6; ++k)
                    if (k >= body.size() || !std::isxdigit(uchar(body.at(k))))
                        return true;
            ++i;
        }
    }
    return false;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray body = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const QByteArray reply = g->dispatcher.handle(body);

    // The request as the dispatcher should have seen it.
    QJsonParseError perr;
    const QJsonDocument request = QJsonDocument::fromJson(body, &perr);
    const bool isObject = perr.error == QJsonParseError::NoError && request.isObject() && !strictlyNoJson(body);
    const QJsonObject req = isObject ? request.object() : QJsonObject();
    const QJsonValue reqId = req.value("id");
    const bool idUsable = reqId.isString() || reqId.isDouble() || reqId.isNull();
    const QString method = req.value("method").toString();

    bool refused = false;
    if (reply.isEmpty()) {
        if (!isObject || req.contains("id"))
            fuzzcheck::fail("no reply to a request that is no notification", body);
    } else {
        QJsonParseError rerr;
        const QJsonDocument answer = QJsonDocument::fromJson(reply, &rerr);
        if (rerr.error != QJsonParseError::NoError || !answer.isObject())
            fuzzcheck::fail("the reply is no JSON object", reply);
        const QJsonObject o = answer.object();
        if (o.value("jsonrpc").toString() != QLatin1String("2.0"))
            fuzzcheck::fail("the reply is no JSON-RPC 2.0 response", reply);
        if (o.contains("result") == o.contains("error"))
            fuzzcheck::fail("the reply holds not exactly one of result and error", reply);
        if (!o.contains("id"))
            fuzzcheck::fail("the reply has no id", body + "\n" + reply);
        const QJsonValue expectedId = isObject && idUsable && req.contains("id") ? reqId : QJsonValue(QJsonValue::Null);
        if (o.value("id") != expectedId)
            fuzzcheck::fail("the reply's id is not the request's", body + "\n" + reply);

        try {
            const jsonrpc::Reply r = jsonrpc::parseReply(reply);
            if (!r.ok) {
                refused = true;
                static const int codes[] = {jsonrpc::ParseError, jsonrpc::InvalidRequest, jsonrpc::MethodNotFound,
                                            jsonrpc::InvalidParams, jsonrpc::InternalError, jsonrpc::ServiceRefused};
                if (std::find(std::begin(codes), std::end(codes), r.code) == std::end(codes))
                    fuzzcheck::fail("an error code outside JSON-RPC's and the service's", reply);
                if (r.message.isEmpty())
                    fuzzcheck::fail("an error without a message", reply);
                if (r.code == jsonrpc::InternalError)
                    fuzzcheck::fail("an internal error", body + "\n" + reply);
            } else {
                checkResult(method, r.result, reply);
                if (method.startsWith(QLatin1String("SetParam")))
                    checkSaved(method, req.value("params").toArray().at(0), body);
            }
        } catch (const rt::Exception &e) {
            fuzzcheck::fail("the client cannot read the reply", e.what() + QByteArray("\n") + reply);
        }
    }

    const qint64 version = dataVersion();
    if (version != g->version) {
        if (refused || isRead(method) || method == QLatin1String("GetCertificado"))
            fuzzcheck::fail("a refused request or a read changed the database", body + "\n" + reply);
        restoreDemoRecords();
        g->version = dataVersion();
    }
    return 0;
}
