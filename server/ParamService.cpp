#include "ParamService.h"

#include "Certificates.h"
#include "Exceptions.h"

#include <QJsonArray>

using P = RpcDispatcher::Param;

void registerParamService(RpcDispatcher &d, ParamStore &store, const QString &certificateDir)
{
    // A failure of the database itself closes the worker's connection: the
    // next request opens it again (a refusal leaves it alone).
    ParamStore *s = &store;
    auto text = [](const QJsonArray &a, int i) { return a.at(i).toString(); };
    auto recovering = [s](auto body) {
        return [s, body](const QJsonArray &a) {
            try {
                return body(a);
            } catch (const ParamStore::Refused &) {
                throw;
            } catch (...) {
                s->dropConnection();
                throw;
            }
        };
    };

    d.add("GetParamGeral", {P::String}, recovering([s, text](const QJsonArray &a) {
        return QJsonValue(s->getParamGeral(text(a, 0)).toJson());
    }));
    d.add("GetParamInscr", {P::String, P::String}, recovering([s, text](const QJsonArray &a) {
        return QJsonValue(s->getParamInscr(text(a, 0), text(a, 1)).toJson());
    }));
    // Changes are retriable by their request id (see RpcDispatcher::add).
    d.add("SetParamGNRE", {P::Object}, recovering([s](const QJsonArray &a) {
        s->setParamGNRE(rt::Delta::fromJson(a.at(0)));
        return QJsonValue(QStringLiteral("OK"));
    }), true);
    d.add("SetParamInscr", {P::Object}, recovering([s](const QJsonArray &a) {
        s->setParamInscr(rt::Delta::fromJson(a.at(0)));
        return QJsonValue(QStringLiteral("OK"));
    }), true);
    d.add("GetLivroMag", {P::String}, recovering([s, text](const QJsonArray &a) {
        return QJsonValue(s->getLivroMag(text(a, 0)).toJson());
    }));
    d.add("GetProdGnreOnline", {P::String}, recovering([s, text](const QJsonArray &a) {
        return QJsonValue(s->getProdGnreOnline(text(a, 0)).toJson());
    }));
    d.add("GetVdInscricao", {P::String, P::String, P::String}, recovering([s, text](const QJsonArray &a) {
        return QJsonValue(s->getVdInscricao(text(a, 0), text(a, 1), text(a, 2)).toJson());
    }));
    // The certificate list answers with a status of its own: ["OK", packet] or ["ERRO", text].
    d.add("GetCertificado", {}, [certificateDir](const QJsonArray &) {
        try {
            return QJsonValue(QJsonArray{QStringLiteral("OK"), readCertificates(certificateDir).toJson()});
        } catch (const rt::Exception &e) {
            return QJsonValue(QJsonArray{QStringLiteral("ERRO"), e.message()});
        }
    });
}
