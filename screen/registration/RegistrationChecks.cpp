// Checks of a registration record: on leaving a column and, in order, before posting.
#include "Cli_fis94100.h"

#include "Pkg_fis94100.h"

using namespace rt;

TField *TfrmParamGNRE::inscr(const char *field) const { return cdsParamInscr.FieldByName(QString::fromLatin1(field)); }

void TfrmParamGNRE::EscreveSomenteLeitura(TField *field, const QString &value)
{
    field->ReadOnly = false;
    try {
        field->setAsString(value);
    } catch (...) {
        field->ReadOnly = true;
        throw;
    }
    field->ReadOnly = true;
}

void TfrmParamGNRE::Vd_Inscricao(bool required)
{
    bool busy = false;
    try {
        const QString t = Consiste::GridText(dbgParamInscr, QStringLiteral("CDINSCESTA"), false);
        if (Consiste::EmptyString(t)) {
            if (required)
                Consiste::MensErro(msgPadrao.Msg(QStringLiteral("Insc_Inf")), true);
            return;
        }
        if (dtsPadrao.State() != DataSetState::dsInsert)
            return; // a stored record's registration is not checked again
        qryInscricao.Close();
        qryInscricao.ParamByName(QStringLiteral("P_CDEMPRESA")).setAsString(stCdEmpresa);
        qryInscricao.ParamByName(QStringLiteral("P_CDINSCESTA")).setAsString(t);
        qryInscricao.Open();
        if (qryInscricao.IsEmpty())
            Consiste::MensErro(msgPadrao.Msg(QStringLiteral("Insc_Inv")), true);
        Showavi::ActiveShowAvi(frmParamGNRE, 1);
        busy = true;
        const ServerReply reply = netParamGNRE.call(QStringLiteral("GetVdInscricao"), {stCdEmpresa, t, stTpGuia});
        cdsVdInscricao.SetData(DataPacket::fromJson(Consiste::CheckResultServ(reply, true, 0)));
        Showavi::DeactiveShowAvi();
        busy = false;
        if (!cdsVdInscricao.IsEmpty()) {
            EscreveSomenteLeitura(inscr("SGESTADO"), QString());
            Consiste::MensErro(msgPadrao.Msg(QStringLiteral("Insc_Cad")), true);
        }
        EscreveSomenteLeitura(inscr("SGESTADO"), qryInscricao.FieldByName(QStringLiteral("SGESTADO"))->AsString());
    } catch (...) {
        if (busy)
            Showavi::DeactiveShowAvi();
        cdsParamInscrCDINSCESTA->FocusControl();
        throw;
    }
}

void TfrmParamGNRE::VdReferencia(const char *field, TADOIBQuery &query, const char *param, bool required,
                                 const char *requiredKey, const char *unknownKey)
{
    try {
        const QString t = Consiste::GridText(dbgParamInscr, QString::fromLatin1(field), false);
        if (Consiste::EmptyString(t)) {
            if (required)
                Consiste::MensErro(msgPadrao.Msg(QString::fromLatin1(requiredKey)), true);
            return;
        }
        query.Close();
        query.ParamByName(QString::fromLatin1(param)).setAsString(t);
        query.Open();
        if (query.IsEmpty())
            Consiste::MensErro(msgPadrao.Msg(QString::fromLatin1(unknownKey)), true);
    } catch (...) {
        inscr(field)->FocusControl();
        throw;
    }
}

void TfrmParamGNRE::Vd_Encargo() { VdReferencia("CDENCARGOST", qryEncargo, "P_CDENCARGO", false, nullptr, "Enc_Inv"); }

void TfrmParamGNRE::Vd_FilialPag(bool required)
{
    VdReferencia("CDFILIALPAG", qryFilial, "P_CDFILIAL", required, "Fili_Inf", "Fili_Inv");
}

void TfrmParamGNRE::cdsParamInscrBeforePost()
{
    Vd_Inscricao(true);
    Vd_Encargo();
    TField *certificado = inscr("NRCERTIFICDIG");
    if (certificado->Visible() && Consiste::EmptyString(certificado->AsString())) {
        certificado->FocusControl();
        Consiste::MensErro(msgPadrao.Msg(QStringLiteral("Cert_Inf")), true);
    }
    TField *ambiente = inscr("IDTPAMBIENTE");
    if (ambiente->Visible() && Consiste::EmptyString(ambiente->AsString())) {
        ambiente->FocusControl();
        Consiste::MensErro(msgPadrao.Msg(QStringLiteral("Amb_Inf")), true);
    }
    Vd_FilialPag(cdsParamGeral.FieldByName(QStringLiteral("IDGERACONTAPAG"))->AsString() == QLatin1String("S"));
}
