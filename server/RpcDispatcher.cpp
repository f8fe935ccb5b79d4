#include "RpcDispatcher.h"

#include "Exceptions.h"
#include "JsonRead.h"
#include "JsonRpc.h"
#include "WaitRule.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>

#include <charconv>

void RpcDispatcher::add(const QString &method, QVector<Param> params, Handler handler, bool retriable)
{
    m_methods.insert(method, Method{std::move(params), std::move(handler), retriable});
}

QString RpcParams::text(int i) const
{
    return rt::textOf((*m_array)[rapidjson::SizeType(i)]);
}

rt::Delta RpcParams::delta(int i) const { return rt::deltaFromJson((*m_array)[rapidjson::SizeType(i)]); }

namespace {

// A numeric id that is no 64-bit whole number, as Qt's reader gives it (a
// whole value as an integer, the rest as a double), so that the reply writes
// it as Qt would have: read again from its shortest text.
QJsonValue numericId(double value)
{
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    return QJsonDocument::fromJson(QByteArray("[") + QByteArray(text, end - text) + ']').array().at(0);
}

} // namespace

QByteArray RpcDispatcher::handle(const QByteArray &body, const RequestOrigin &origin) const
{
    rapidjson::Document doc;
    if (const QString why = rt::readJson(doc, body.constData(), size_t(body.size())); !why.isEmpty())
        return jsonrpc::failure(QJsonValue::Null, jsonrpc::ParseError, QStringLiteral("JSON inválido: %1").arg(why));
    if (!doc.IsObject())
        return jsonrpc::failure(QJsonValue::Null, jsonrpc::InvalidRequest, QStringLiteral("Requisição inválida: esperado um objeto."));

    auto member = [&doc](const char *name) { return rt::memberOf(doc, name); };
    const rapidjson::Value *idValue = member("id");
    const bool notification = !idValue;
    // A reply always carries an id: null when the request has none (an absent
    // value would drop the member from the reply).
    QJsonValue id = QJsonValue::Null;
    if (idValue && idValue->IsString())
        id = rt::textOf(*idValue);
    else if (idValue && idValue->IsInt64())
        id = qint64(idValue->GetInt64()); // a whole number goes back as sent, beyond a double's precision too
    else if (idValue && idValue->IsNumber())
        id = numericId(idValue->GetDouble());
    else if (idValue && !idValue->IsNull())
        return jsonrpc::failure(QJsonValue::Null, jsonrpc::InvalidRequest, QStringLiteral("Requisição inválida: id."));
    const rapidjson::Value *version = member("jsonrpc");
    const rapidjson::Value *methodValue = member("method");
    if (!version || !version->IsString() || rt::textOf(*version) != QLatin1String("2.0") || !methodValue || !methodValue->IsString())
        return jsonrpc::failure(id, jsonrpc::InvalidRequest, QStringLiteral("Requisição inválida: versão ou método."));
    // From here the request is well formed: a notification gets no reply, not even an error.
    auto refuse = [&](int code, const QString &message) {
        return notification ? QByteArray() : jsonrpc::failure(id, code, message);
    };
    const rapidjson::Value *paramsValue = member("params");
    if (paramsValue && !paramsValue->IsArray())
        return refuse(jsonrpc::InvalidParams, QStringLiteral("Os parâmetros devem ser uma lista posicional."));

    const QString name = rt::textOf(*methodValue);
    const auto it = m_methods.constFind(name);
    if (it == m_methods.constEnd())
        return refuse(jsonrpc::MethodNotFound, QStringLiteral("Método desconhecido: %1").arg(name));

    const qsizetype given = paramsValue ? qsizetype(paramsValue->Size()) : 0;
    if (given != it->params.size())
        return refuse(jsonrpc::InvalidParams,
                      QStringLiteral("%1 espera %2 parâmetro(s), recebeu %3.").arg(name).arg(it->params.size()).arg(given));
    for (qsizetype i = 0; i < given; ++i) {
        const rapidjson::Value &p = (*paramsValue)[rapidjson::SizeType(i)];
        const bool fits = it->params.at(i) == Param::String ? p.IsString() : p.IsObject();
        if (!fits)
            return refuse(jsonrpc::InvalidParams,
                          QStringLiteral("%1: o parâmetro %2 deve ser %3.")
                              .arg(name).arg(i + 1)
                              .arg(it->params.at(i) == Param::String ? QStringLiteral("um texto") : QStringLiteral("um objeto")));
    }
    const RpcParams params(paramsValue);

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
