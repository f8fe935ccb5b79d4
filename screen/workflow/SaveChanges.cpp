// Every posted change, and every registration deleted, goes to the service at once.
#include "Cli_fis94100.h"

using namespace rt;

void TfrmParamGNRE::cdsParamGeralAfterPost()
{
    try {
        EnviaAlteracoes(cdsParamGeral, QStringLiteral("SetParamGNRE"), false);
    } catch (...) {
        // Undone: the radio group, which is not bound to the field, shows the
        // stored kind again (a display change), so the next save stores what is shown.
        MostraCalendario();
        throw;
    }
}

void TfrmParamGNRE::cdsParamInscrAfterPost() { EnviaAlteracoes(cdsParamInscr, QStringLiteral("SetParamInscr"), false); }

void TfrmParamGNRE::cdsParamInscrAfterDelete() { EnviaAlteracoes(cdsParamInscr, QStringLiteral("SetParamInscr"), true); }

void TfrmParamGNRE::cdsParamGeralAfterCancel()
{
    cdsParamGeral.CancelUpdates();
    cdsParamGeralAfterOpen();
    cdsParamGeral.CancelUpdates();
}
