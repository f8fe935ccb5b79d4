#include "RpcDispatcher.h"

#include "Exceptions.h"
#include "JsonRpc.h"
#include "WaitRule.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>

void RpcDispatcher::add(const QString &method, QVector<Param> params, Handler handler, bool retriable)
{
    m_methods.insert(method, Method{std::move(params), std::move(handler), retriable});
}

QByteArray RpcDispatcher::handle(const QByteArray &body, const RequestOrigin &origin) const
{
    QJsonParseError err;
    const QJsonDocument doc = QJsonDocument::fromJson(body, &err);
    if (err.error != QJsonParseError::NoError)
        return jsonrpc::failure(QJsonValue::Null, jsonrpc::ParseError, QStringLiteral("JSON inválido: %1").arg(err.errorString()));
    if (!doc.isObject())
        return jsonrpc::failure(QJsonValue::Null, jsonrpc::InvalidRequest, QStringLiteral("Requisição inválida: esperado um objeto."));

    const QJsonObject req = doc.object();
    const bool notification = !req.contains("id");
    // A reply always carries an id: null when the request has none (an absent
    // value would drop the member from the reply).
    const QJsonValue id = notification ? QJsonValue(QJsonValue::Null) : req.value("id");
    if (!(id.isString() || id.isDouble() || id.isNull()))
        return jsonrpc::failure(QJsonValue::Null, jsonrpc::InvalidRequest, QStringLiteral("Requisição inválida: id."));
    if (req.value("jsonrpc").toString() != QLatin1String("2.0") || !req.value("method").isString())
        return jsonrpc::failure(id, jsonrpc::InvalidRequest, QStringLiteral("Requisição inválida: versão ou método."));
    // From here the request is well formed: a notification gets no reply, not even an error.
    auto refuse = [&](int code, const QString &message) {
        return notification ? QByteArray() : jsonrpc::failure(id, code, message);
    };
    const QJsonValue paramsValue = req.value("params");
    if (!(paramsValue.isArray() || paramsValue.isUndefined()))
        return refuse(jsonrpc::InvalidParams, QStringLiteral("Os parâmetros devem ser uma lista posicional."));

    const QString name = req.value("method").toString();
    const auto it = m_methods.constFind(name);
    if (it == m_methods.constEnd())
        return refuse(jsonrpc::MethodNotFound, QStringLiteral("Método desconhecido: %1").arg(name));

    const QJsonArray params = paramsValue.toArray();
    if (params.size() != it->params.size())
        return refuse(jsonrpc::InvalidParams,
                                QStringLiteral("%1 espera %2 parâmetro(s), recebeu %3.").arg(name).arg(it->params.size()).arg(params.size()));
    for (int i = 0; i < params.size(); ++i) {
        const bool fits = it->params.at(i) == Param::String ? params.at(i).isString() : params.at(i).isObject();
        if (!fits)
            return refuse(jsonrpc::InvalidParams,
                                    QStringLiteral("%1: o parâmetro %2 deve ser %3.")
                                        .arg(name).arg(i + 1)
                                        .arg(it->params.at(i) == Param::String ? QStringLiteral("um texto") : QStringLiteral("um objeto")));
    }

    // A retried change: the first answer, nothing applied again.
    const bool remember = it->retriable && id.isString() && id.toString().size() >= 16 && !notification;
    const QString memoryKey = remember ? name + QLatin1Char('\n') + id.toString() : QString();
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (remember) {
        std::lock_guard lock(m_memoryLock);
        while (!m_rememberedOrder.empty()
               && (m_rememberedOrder.size() > size_t(RememberMax)
                   || now - m_remembered.value(m_rememberedOrder.front()).at > RememberSeconds * 1000LL)) {
            m_remembered.remove(m_rememberedOrder.front());
            m_rememberedOrder.pop_front();
        }
        if (const auto seen = m_remembered.constFind(memoryKey); seen != m_remembered.constEnd())
            return seen->reply;
    }

    QByteArray reply;
    bool settled = true; // applied or refused: the answer stands for a retry
    try {
        reply = jsonrpc::successText(id, it->handler(params, origin));
    } catch (const waitrule::GiveWay &) {
        throw; // nothing done: the server runs it again where it may wait
    } catch (const rt::Refusal &e) {
        reply = jsonrpc::failure(id, jsonrpc::ServiceRefused, e.message());
    } catch (const rt::Exception &e) {
        reply = jsonrpc::failure(id, jsonrpc::ServiceRefused, e.message());
        settled = false; // the database failed: a retry may apply it
    } catch (const std::exception &e) {
        reply = jsonrpc::failure(id, jsonrpc::InternalError, QStringLiteral("Erro interno: %1").arg(QString::fromLocal8Bit(e.what())));
        settled = false;
    } catch (...) {
        reply = jsonrpc::failure(id, jsonrpc::InternalError, QStringLiteral("Erro interno."));
        settled = false;
    }
    if (remember && settled) {
        std::lock_guard lock(m_memoryLock);
        if (!m_remembered.contains(memoryKey)) {
            m_remembered.insert(memoryKey, Remembered{reply, now});
            m_rememberedOrder.push_back(memoryKey);
        }
    }
    return notification ? QByteArray() : reply;
}
