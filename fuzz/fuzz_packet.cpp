// The data-packet and delta parser and the client's reading of a reply.
// Any bytes: as JSON, the document (and the packet or delta a reply or a
// request carries) read as a packet and as a delta; whatever is accepted must
// come back the same through toJson and its JSON text.
#include "PacketChecks.h"

#include "JsonRpc.h"

#include <QJsonArray>
#include <QJsonObject>
#include <cstddef>
#include <cstdint>

namespace {

void tryValue(const QJsonValue &v)
{
    try {
        fuzzcheck::roundTrips(rt::DataPacket::fromJson(v));
    } catch (const rt::Exception &) {
    }
    try {
        fuzzcheck::roundTrips(rt::Delta::fromJson(v));
    } catch (const rt::Exception &) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));

    try {
        const jsonrpc::Reply r = jsonrpc::parseReply(bytes);
        if (r.ok && r.result.isUndefined())
            fuzzcheck::fail("a reply accepted without a result", bytes);
    } catch (const rt::Exception &) {
    }

    QJsonParseError err;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &err);
    if (err.error != QJsonParseError::NoError)
        return 0;
    const QJsonValue root = doc.isObject() ? QJsonValue(doc.object()) : QJsonValue(doc.array());
    tryValue(root);
    if (doc.isObject()) {
        // A reply's result (GetCertificado's is ["OK", packet]) and a Set request's delta.
        const QJsonValue result = doc.object().value("result");
        tryValue(result);
        if (result.isArray())
            tryValue(result.toArray().at(1));
        tryValue(doc.object().value("params").toArray().at(0));
    }
    return 0;
}
