#include "JsonRpc.h"

#include "Exceptions.h"

#include <QJsonDocument>
#include <QJsonObject>

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
