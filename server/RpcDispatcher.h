#pragma once

#include <QByteArray>
#include <QHash>
#include <QJsonArray>
#include <QJsonValue>
#include <QString>
#include "RequestOrigin.h"
#include "DataPacket.h"

#include <rapidjson/document.h>

#include <deque>
#include <functional>
#include <mutex>

// A request's positional parameters, of the kinds its method declared (the
// dispatcher has checked them).
class RpcParams
{
public:
    explicit RpcParams(const rapidjson::Value *array) : m_array(array) {}
    QString text(int i) const;
    rt::Delta delta(int i) const; // throws rt::Exception on a malformed delta

private:
    const rapidjson::Value *m_array; // null when the request has none
};

// JSON-RPC 2.0 dispatch, apart from transport and storage: a body in, a body out.
class RpcDispatcher
{
public:
    enum class Param { String, Object };
    // A handler answers its result already written as JSON text.
    using Handler = std::function<QByteArray(const RpcParams &params, const RequestOrigin &origin)>;

    // A method that changes data is `retriable`: a request whose id is a unique
    // text (16 characters or more) is applied at most once; the same id again,
    // within RememberSeconds, gets the first answer and changes nothing. So a
    // client whose answer was lost can ask again without applying twice.
    void add(const QString &method, QVector<Param> params, Handler handler, bool retriable = false);
    static constexpr int RememberSeconds = 15 * 60;
    static constexpr int RememberMax = 20000;
    // Never throws, but for waitrule::GiveWay (nothing done); an empty result
    // means a notification, which gets no reply.
    QByteArray handle(const QByteArray &body, const RequestOrigin &origin = {}) const;

private:
    struct Method
    {
        QVector<Param> params;
        Handler handler;
        bool retriable = false;
    };
    QHash<QString, Method> m_methods;

    struct Remembered
    {
        QByteArray reply;
        qint64 at = 0; // ms since the epoch
    };
    mutable std::mutex m_memoryLock;
    mutable QHash<QString, Remembered> m_remembered;
    mutable std::deque<QString> m_rememberedOrder;
};
