#include "ParamService.h"

#include "Certificates.h"
#include "Exceptions.h"
#include "JsonRpc.h"
#include "WaitRule.h"

#include <QJsonArray>

using P = RpcDispatcher::Param;

void registerParamService(RpcDispatcher &d, ParamStore &store, const QString &certificateDir)
{
    // A failure of the database itself closes the worker's connection: the
    // next request opens it again (a refusal leaves it alone).
    ParamStore *s = &store;
    auto recovering = [s](auto body) {
        return [s, body](const RpcParams &a, const RequestOrigin &origin) -> QByteArray {
            try {
                return body(a, origin);
            } catch (const ParamStore::Refused &) {
                throw;
            } catch (const waitrule::GiveWay &) {
                throw;
            } catch (...) {
                s->dropConnection();
                throw;
            }
        };
    };

    d.add("GetParamGeral", {P::String}, recovering([s](const RpcParams &a, const RequestOrigin &) {
        return s->getParamGeral(a.text(0));
    }));
    d.add("GetParamInscr", {P::String, P::String}, recovering([s](const RpcParams &a, const RequestOrigin &) {
        return s->getParamInscr(a.text(0), a.text(1));
    }));
    // Changes are retriable by their request id (see RpcDispatcher::add).
    static const QByteArray ok = QByteArrayLiteral("\"OK\"");
    d.add("SetParamGNRE", {P::Object}, recovering([s](const RpcParams &a, const RequestOrigin &origin) {
        s->setParamGNRE(a.delta(0), origin);
        return ok;
    }), true);
    d.add("SetParamInscr", {P::Object}, recovering([s](const RpcParams &a, const RequestOrigin &origin) {
        s->setParamInscr(a.delta(0), origin);
        return ok;
    }), true);
    d.add("GetLivroMag", {P::String}, recovering([s](const RpcParams &a, const RequestOrigin &) {
        return s->getLivroMag(a.text(0));
    }));
    d.add("GetProdGnreOnline", {P::String}, recovering([s](const RpcParams &a, const RequestOrigin &) {
        return s->getProdGnreOnline(a.text(0));
    }));
    d.add("GetVdInscricao", {P::String, P::String, P::String}, recovering([s](const RpcParams &a, const RequestOrigin &) {
        return s->getVdInscricao(a.text(0), a.text(1), a.text(2));
    }));
    // The certificate list answers with a status of its own: ["OK", packet] or ["ERRO", text].
    d.add("GetCertificado", {}, [certificateDir](const RpcParams &, const RequestOrigin &) {
        try {
            return "[\"OK\"," + readCertificates(certificateDir).toJsonText() + ']';
        } catch (const rt::Exception &e) {
            return jsonrpc::jsonText(QJsonArray{QStringLiteral("ERRO"), e.message()});
        }
    });
    // The history of changes: (company, guide type, from, to), dates as dd/mm/yyyy or empty.
    d.add("GetHistorico", {P::String, P::String, P::String, P::String}, recovering([s](const RpcParams &a, const RequestOrigin &) {
        return s->getHistorico(a.text(0), a.text(1), a.text(2), a.text(3));
    }));
}
