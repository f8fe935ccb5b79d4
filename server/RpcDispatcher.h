#pragma once

#include <QByteArray>
#include <QHash>
#include <QJsonArray>
#include <QJsonValue>
#include <QString>
#include <functional>

// JSON-RPC 2.0 dispatch, apart from transport and storage: a body in, a body out.
class RpcDispatcher
{
public:
    enum class Param { String, Object };
    using Handler = std::function<QJsonValue(const QJsonArray &params)>;

    void add(const QString &method, QVector<Param> params, Handler handler);
    // Never throws; an empty result means a notification, which gets no reply.
    QByteArray handle(const QByteArray &body) const;

private:
    struct Method
    {
        QVector<Param> params;
        Handler handler;
    };
    QHash<QString, Method> m_methods;
};
