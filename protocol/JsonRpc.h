#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonValue>
#include <QString>

// JSON-RPC 2.0 messages, shared by the service's dispatcher and the client connection.
namespace jsonrpc {

enum ErrorCode {
    ParseError = -32700,
    InvalidRequest = -32600,
    MethodNotFound = -32601,
    InvalidParams = -32602,
    InternalError = -32603,
    ServiceRefused = -32000, // the service refused the request (validation, conflict)
};

struct Reply
{
    bool ok = false;
    QJsonValue result;
    int code = 0;
    QString message;
};

QByteArray request(const QString &method, const QJsonArray &params, qint64 id);
// With an id of the caller's making (a unique text makes a change retriable:
// the service answers a repeated id with the first answer, applying nothing).
QByteArray request(const QString &method, const QJsonArray &params, const QJsonValue &id);
QByteArray success(const QJsonValue &id, const QJsonValue &result);
// With a result already written as JSON text (a packet's toJsonText()).
QByteArray successText(const QJsonValue &id, const QByteArray &resultJson);
// A JSON value as compact text.
QByteArray jsonText(const QJsonValue &value);
QByteArray failure(const QJsonValue &id, int code, const QString &message);
// Throws rt::Exception when the text is no JSON-RPC reply.
Reply parseReply(const QByteArray &body);

} // namespace jsonrpc
