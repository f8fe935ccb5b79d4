#include "JsonRpc.h"

#include "Exceptions.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <charconv>
#include <cmath>

namespace jsonrpc {

QByteArray request(const QString &method, const QJsonArray &params, qint64 id)
{
    return request(method, params, QJsonValue(id));
}

QByteArray request(const QString &method, const QJsonArray &params, const QJsonValue &id)
{
    const QJsonObject o{{"jsonrpc", "2.0"}, {"method", method}, {"params", params}, {"id", id}};
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

QByteArray success(const QJsonValue &id, const QJsonValue &result)
{
    const QJsonObject o{{"jsonrpc", "2.0"}, {"result", result}, {"id", id}};
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

QByteArray jsonText(const QJsonValue &value)
{
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> w(buffer);
    if (value.isDouble()) {
        // A whole number below 10^15, as clients number their reads: the
        // digits Qt writes too, without building a document for them.
        const double d = value.toDouble();
        if (d == std::trunc(d) && std::abs(d) < 1e15) {
            char text[24];
            const auto end = std::to_chars(text, text + sizeof text, qint64(d)).ptr;
            return QByteArray(text, end - text);
        }
    }
    if (value.isNull() || value.isUndefined()) {
        w.Null();
    } else if (value.isString() && value.toString().isValidUtf16()) {
        const QByteArray utf8 = value.toString().toUtf8();
        w.String(utf8.constData(), rapidjson::SizeType(utf8.size()));
    } else {
        // Numbers (an id is answered exactly as Qt read it, beyond 2^53 too),
        // texts with half a surrogate pair, the rest: written by Qt inside an array.
        const QByteArray wrapped = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
        return wrapped.mid(1, wrapped.size() - 2);
    }
    return QByteArray(buffer.GetString(), qsizetype(buffer.GetSize()));
}

QByteArray successText(const QJsonValue &id, const QByteArray &resultJson)
{
    QByteArray out;
    out.reserve(resultJson.size() + 64);
    out += R"({"jsonrpc":"2.0","result":)";
    out += resultJson;
    out += R"(,"id":)";
    out += jsonText(id);
    out += '}';
    return out;
}

QByteArray failure(const QJsonValue &id, int code, const QString &message)
{
    const QJsonObject o{{"jsonrpc", "2.0"},
                        {"error", QJsonObject{{"code", code}, {"message", message}}},
                        {"id", id}};
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

Reply parseReply(const QByteArray &body)
{
    QJsonParseError err;
    const QJsonDocument doc = QJsonDocument::fromJson(body, &err);
    if (err.error != QJsonParseError::NoError || !doc.isObject())
        throw rt::Exception(QStringLiteral("Resposta inválida do servidor de aplicação."));
    const QJsonObject o = doc.object();
    Reply r;
    if (o.contains("error")) {
        const QJsonObject e = o.value("error").toObject();
        r.code = e.value("code").toInt();
        r.message = e.value("message").toString();
        return r;
    }
    if (!o.contains("result"))
        throw rt::Exception(QStringLiteral("Resposta inválida do servidor de aplicação."));
    r.ok = true;
    r.result = o.value("result");
    return r;
}

} // namespace jsonrpc
