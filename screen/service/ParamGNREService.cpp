// Calls to the parameter service: every read and every save follows the same steps.
#include "Cli_fis94100.h"

#include "Pkg_fis94100.h"

using namespace rt;

void TfrmParamGNRE::CarregaPacote(const QString &method, const QJsonArray &args, TClientDataSet &target)
{
    Showavi::ActiveShowAvi(frmParamGNRE, 1);
    try {
        const ServerReply reply = netParamGNRE.call(method, args);
        target.SetData(DataPacket::fromJson(Consiste::CheckResultServ(reply, true, 0)));
    } catch (...) {
        Showavi::DeactiveShowAvi();
        throw;
    }
    Showavi::DeactiveShowAvi();
}

void TfrmParamGNRE::EnviaAlteracoes(TClientDataSet &dataSet, const QString &method, bool afterDelete)
{
    if (dataSet.GetChangeCount() <= 0)
        return;
    bool busy = false;
    auto indicatorOff = [&] {
        if (busy)
            Showavi::DeactiveShowAvi();
        busy = false;
    };
    try {
        Showavi::ActiveShowAvi(frmParamGNRE, 1);
        busy = true;
        const Delta delta = dataSet.GetDelta();
        Consiste::CheckResultServ(netParamGNRE.call(method, {delta.toJson()}), true, 0);
        if (!afterDelete)
            indicatorOff();
        if (dataSet.GetLogChanges())
            dataSet.MergeChangeLog();
        indicatorOff();
    } catch (const EOutcomeUnknown &) {
        // Whether the service applied the change is not known: the local change
        // is undone and the records are read again, to show what is stored.
        indicatorOff();
        dataSet.CancelUpdates();
        try {
            if (&dataSet == &cdsParamGeral)
                CarregaParamGeral();
            else
                CarregaParamInscr();
        } catch (...) {
            // still unreachable: the message below says what is known
        }
        throw;
    } catch (...) {
        // The change is undone locally: the records stay as the service has them.
        indicatorOff();
        dataSet.CancelUpdates();
        throw;
    }
}

void TfrmParamGNRE::CarregaParamGeral()
{
    CarregaPacote(QStringLiteral("GetParamGeral"), {stCdEmpresa}, cdsParamGeral);
    if (cdsParamGeral.IsEmpty()) {
        dckGeraLog->setChecked(false);
        dckGeraContaPag->setChecked(false);
    }
}

void TfrmParamGNRE::CarregaParamInscr()
{
    CarregaPacote(QStringLiteral("GetParamInscr"), {stCdEmpresa, stTpGuia}, cdsParamInscr);
}
