// Page changes, the button bar and its menu, and the page states.
#include "Cli_fis94100.h"

#include "Pkg_fis94100.h"

using namespace rt;

void TfrmParamGNRE::Controla_Botoes()
{
    const bool geral = pgcPadrao->ActivePage() == tshParamGeral;
    const DataSetState s = geral ? dtsParamGeral.State() : dtsPadrao.State();
    const bool browse = s == DataSetState::dsBrowse;
    const bool editing = s == DataSetState::dsEdit || s == DataSetState::dsInsert;
    const bool records = cdsParamInscr.RecordCount() > 0;

    sbtIncluir->setEnabled(!geral && browse);
    sbtAlterar->setEnabled(geral ? browse : browse && records);
    sbtExcluir->setEnabled(!geral && browse && records);
    sbtProcurar->setEnabled(!geral && browse && records);
    sbtVerificar->setEnabled(geral ? browse : browse && records);
    sbtConfirmar->setEnabled(editing);
    sbtCancelar->setEnabled(editing);
    for (TButtonFlat *b : {sbtIncluir, sbtAlterar, sbtExcluir, sbtProcurar, sbtVerificar, sbtConfirmar, sbtCancelar})
        menuEntryOf(b)->setEnabled(b->isEnabled());
}

void TfrmParamGNRE::CarregaPagina()
{
    if (pgcPadrao->ActivePage() == tshParamGeral)
        CarregaParamGeral();
    else
        CarregaParamInscr();
}

void TfrmParamGNRE::MarcaPagina()
{
    const bool geral = pgcPadrao->ActivePage() == tshParamGeral;
    mnuParamGeral->setChecked(geral);
    mnuParamInscr->setChecked(!geral);
}

void TfrmParamGNRE::mnuPaginaClick(QWidget *page)
{
    MarcaPagina(); // a click toggled the mark: it shows the active page again
    pgcPadrao->changePage(pgcPadrao->indexOf(page));
}

void TfrmParamGNRE::pgcPadraoChange()
{
    const bool geral = pgcPadrao->ActivePage() == tshParamGeral;
    MarcaPagina();
    Controla_Botoes();
    repaint();
    CarregaPagina();
    if (geral)
        dbeQtdeDias->setFocus();
    else
        dbgParamInscr->setFocus();
}

void TfrmParamGNRE::sbtAlterarClick()
{
    if (pgcPadrao->ActivePage() == tshParamGeral) {
        dbeQtdeDias->setFocus();
        if (!cdsParamGeral.editing()) {
            if (cdsParamGeral.IsEmpty())
                cdsParamGeral.Insert();
            else
                cdsParamGeral.Edit();
        }
        return;
    }
    TfrmPadraoSimples::sbtAlterarClick();
    // The e-mail column is shown only for guide types "?RJ"; for the others it is
    // hidden, and the grid selects the next visible column instead.
    const QString field = stTpGuia == QLatin1String("GON") ? QStringLiteral("NRCERTIFICDIG") : QStringLiteral("DSEMAILRETORNO");
    dbgParamInscr->setSelectedIndex(Consiste::IndiceCol(dbgParamInscr, field));
    // Selecting the column already selected enters none: in-cell editing follows it all the same.
    dbgParamInscrColEnter();
}

void TfrmParamGNRE::sbtIncluirClick()
{
    TfrmPadraoSimples::sbtIncluirClick();
    dbgParamInscr->setSelectedIndex(Consiste::IndiceCol(dbgParamInscr, QStringLiteral("CDINSCESTA")));
    dbgParamInscrColEnter();
}

void TfrmParamGNRE::sbtVerificarClick() { CarregaPagina(); }

void TfrmParamGNRE::sbtConfirmarClick()
{
    if (pgcPadrao->ActivePage() == tshParamGeral) {
        if (cdsParamGeral.editing())
            cdsParamGeral.Post();
        return;
    }
    TfrmPadraoSimples::sbtConfirmarClick();
}

void TfrmParamGNRE::sbtCancelarClick()
{
    if (pgcPadrao->ActivePage() == tshParamGeral) {
        if (msgMensagensPadroes.ShowMsg(QStringLiteral("Canc"), mtConfirmation, mbYes | mbNo, 0) == mrYes
            && cdsParamGeral.editing())
            cdsParamGeral.Cancel();
        return;
    }
    TfrmPadraoSimples::sbtCancelarClick();
}

void TfrmParamGNRE::dtsParamGeralStateChange() { Controla_Botoes(); }

void TfrmParamGNRE::dtsPadraoStateChange()
{
    TfrmPadraoSimples::dtsPadraoStateChange();
    Controla_Botoes();
    const DataSetState s = dtsPadrao.State();
    const bool editing = s == DataSetState::dsEdit || s == DataSetState::dsInsert;
    cdsParamInscrCDINSCESTA->ReadOnly = s != DataSetState::dsInsert;

    auto button = [this](const char *field, bool on, bool onlyVisible) {
        const int i = Consiste::IndiceCol(dbgParamInscr, QString::fromLatin1(field));
        if (i < 0)
            return;
        TColumn *c = dbgParamInscr->Columns(i);
        if (onlyVisible && !c->Visible())
            return;
        c->setButtonStyle(on ? TColumnButtonStyle::cbsEllipsis : TColumnButtonStyle::cbsAuto);
    };
    button("NRCERTIFICDIG", editing, true);
    button("CDENCARGOST", editing, true);
    button("CDINSCESTA", s == DataSetState::dsInsert, true);
    button("CDFILIALPAG", editing, false);
}
