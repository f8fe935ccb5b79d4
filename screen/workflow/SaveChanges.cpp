// Every posted change, and every registration deleted, goes to the service at once.
#include "Cli_fis94100.h"

using namespace rt;

void TfrmParamGNRE::cdsParamGeralAfterPost() { EnviaAlteracoes(cdsParamGeral, QStringLiteral("SetParamGNRE"), false); }

void TfrmParamGNRE::cdsParamInscrAfterPost() { EnviaAlteracoes(cdsParamInscr, QStringLiteral("SetParamInscr"), false); }

void TfrmParamGNRE::cdsParamInscrAfterDelete() { EnviaAlteracoes(cdsParamInscr, QStringLiteral("SetParamInscr"), true); }

void TfrmParamGNRE::cdsParamGeralAfterCancel()
{
    cdsParamGeral.CancelUpdates();
    cdsParamGeralAfterOpen();
    cdsParamGeral.CancelUpdates();
}
