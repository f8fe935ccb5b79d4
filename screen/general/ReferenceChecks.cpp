// Magnetic book, product, branch and operation type: checked on leaving their
// entries and before posting, named from their source, chosen from search lists.
#include "Cli_fis94100.h"

#include "Pkg_fis94100.h"

#include <cmath>

using namespace rt;

namespace {
const QString kLivroMag = QStringLiteral("CDLIVROMAG");
} // namespace

TField *TfrmParamGNRE::geral(const char *field) const { return cdsParamGeral.FieldByName(QString::fromLatin1(field)); }

// ---- change reactions: a new code empties the name of the old one

void TfrmParamGNRE::dbeLivroMagChange()
{
    if (cdsParamGeral.editing())
        geral("NMLIVROMAG")->Clear();
}

void TfrmParamGNRE::dbeProdutoChange()
{
    if (cdsParamGeral.editing())
        geral("DSPRODUTO")->Clear();
}

void TfrmParamGNRE::dbeCdFilialChange()
{
    if (cdsParamGeral.editing())
        geral("NMFILIAL")->Clear();
}

void TfrmParamGNRE::dbeCdTpOperChange()
{
    if (cdsParamGeral.editing())
        geral("NMTIPOOPER")->Clear();
}

// ---- exit reactions

void TfrmParamGNRE::dbeLivroMagExit()
{
    if (cdsParamGeral.editing())
        Vd_LivroMag();
}

void TfrmParamGNRE::dbeProdutoExit()
{
    if (cdsParamGeral.editing())
        Vd_ProdGNREOnline();
}

void TfrmParamGNRE::dbeCdFilialExit() { Vd_Filial(); }
void TfrmParamGNRE::dbeCdTpOperExit() { Vd_TpOper(false); }
void TfrmParamGNRE::dbeAliqFECPExit() { Vd_Aliq(); }

// ---- checks

void TfrmParamGNRE::VdCodigoServico(TDBEdit *entry, int width, const char *codeField, const QString &method,
                                    TClientDataSet &rows, const char *nameField, const char *rowName, const char *messageKey)
{
    if (Consiste::EmptyString(entry->text()))
        return; // an empty code is accepted
    try {
        geral(codeField)->setAsString(Consiste::Ajusta(entry->text(), width));
        CarregaPacote(method, {entry->text()}, rows);
        if (rows.IsEmpty())
            Consiste::MensErro(msgPadrao.Msg(QString::fromLatin1(messageKey)), true);
        geral(nameField)->setAsString(rows.FieldByName(QString::fromLatin1(rowName))->AsString());
    } catch (...) {
        entry->setFocus();
        throw;
    }
}

void TfrmParamGNRE::Vd_LivroMag()
{
    VdCodigoServico(dbeLivroMag, 10, "CDLIVROMAG", QStringLiteral("GetLivroMag"), cdsLivroMag, "NMLIVROMAG", "NMLIVROMAG",
                    "Livro_Inv");
}

void TfrmParamGNRE::Vd_ProdGNREOnline()
{
    VdCodigoServico(dbeProduto, 3, "CDPRODUTOGON", QStringLiteral("GetProdGnreOnline"), cdsProdGnreOnline, "DSPRODUTO",
                    "DSPRODUTO", "Prod_Inv");
}

void TfrmParamGNRE::Vd_Filial()
{
    if (Consiste::EmptyString(dbeCdFilial->text()))
        return;
    dbeCdFilial->setText(Consiste::Ajusta(dbeCdFilial->text(), 4));
    qryFilial.Close();
    qryFilial.ParamByName(QStringLiteral("P_CDFILIAL")).setAsString(dbeCdFilial->text());
    qryFilial.Open();
    if (qryFilial.IsEmpty()) {
        dbeCdFilial->setFocus();
        Consiste::MensErro(msgPadrao.Msg(QStringLiteral("Fili_Inv")), true);
    }
    dbeNmFilial->setText(qryFilial.FieldByName(QStringLiteral("NMFILIAL"))->AsString());
}

void TfrmParamGNRE::Vd_TpOper(bool required)
{
    try {
        const QString t = dbeCdTpOper->text();
        if (Consiste::EmptyString(t)) {
            if (required)
                Consiste::MensErro(msgPadrao.Msg(QStringLiteral("TpOp_Inf")), true);
            return;
        }
        if (!cdsParamGeral.editing())
            return;
        dbeCdTpOper->setText(Consiste::Ajusta(t, 2));
        qryTipoOperE.Close();
        qryTipoOperE.ParamByName(QStringLiteral("CDTIPOOPER")).setAsString(dbeCdTpOper->text());
        qryTipoOperE.Open();
        if (qryTipoOperE.IsEmpty())
            Consiste::MensErro(msgPadrao.Msg(QStringLiteral("TpOp_Inv")), true);
        dbeNmTpOperac->setText(qryTipoOperE.FieldByName(QStringLiteral("NMTIPOOPER"))->AsString());
        geral("IDENTRSAIDPAG")->setAsString(QStringLiteral("E"));
    } catch (...) {
        dbeCdTpOper->setFocus();
        throw;
    }
}

void TfrmParamGNRE::Vd_Aliq()
{
    const QString t = dbeAliqFECP->text();
    if (Consiste::EmptyString(t))
        return;
    try {
        // The value judged is the one the field holds: what was typed has been
        // written into it by now, in whatever notation ("1E3" holds 1000, and
        // the entry, three characters wide, would show only "100").
        TField *rate = geral("VRALIQFECP");
        bool ok = false;
        double n = 0;
        if (!rate->IsNull()) {
            n = rate->AsFloat();
            ok = n == std::floor(n);
        } else {
            n = t.trimmed().toInt(&ok);
        }
        if (!ok)
            throw Exception(QStringLiteral("'%1' não é um valor inteiro válido.").arg(t));
        if (n >= 0 && n <= 100)
            return;
        Consiste::MensErro(msgPadrao.Msg(QStringLiteral("Aliq_Inv")), true);
    } catch (...) {
        dbeAliqFECP->setFocus();
        throw;
    }
}

// ---- lookup buttons

void TfrmParamGNRE::btpLivroMagBeforePesq(QObject *, bool &)
{
    CarregaPacote(QStringLiteral("GetLivroMag"), {QString()}, cdsLivroMag);
}

void TfrmParamGNRE::btpProdutoBeforePesq(QObject *, bool &)
{
    CarregaPacote(QStringLiteral("GetProdGnreOnline"), {QString()}, cdsProdGnreOnline);
}

void TfrmParamGNRE::btpFilialBeforePesq(QObject *, bool &)
{
    qryFilial.Close();
    qryFilial.ParamByName(QStringLiteral("P_CDFILIAL")).Clear();
    qryFilial.Open();
}

void TfrmParamGNRE::btpTpOperacBeforePesq(QObject *, bool &)
{
    qryTipoOperE.Close();
    qryTipoOperE.ParamByName(QStringLiteral("CDTIPOOPER")).Clear();
    qryTipoOperE.Open();
}

void TfrmParamGNRE::EditaParamGeral()
{
    if (cdsParamGeral.editing())
        return;
    if (cdsParamGeral.IsEmpty())
        cdsParamGeral.Insert();
    else
        cdsParamGeral.Edit();
}

void TfrmParamGNRE::btpLivroMagAfterPesq(QObject *)
{
    EditaParamGeral();
    geral("CDLIVROMAG")->setAsString(cdsLivroMag.FieldByName(kLivroMag)->AsString());
    geral("NMLIVROMAG")->setAsString(cdsLivroMag.FieldByName(QStringLiteral("NMLIVROMAG"))->AsString());
}

void TfrmParamGNRE::btpProdutoAfterPesq(QObject *)
{
    EditaParamGeral();
    geral("CDPRODUTOGON")->setAsString(cdsProdGnreOnline.FieldByName(QStringLiteral("CDPRODUTO"))->AsString());
    geral("DSPRODUTO")->setAsString(cdsProdGnreOnline.FieldByName(QStringLiteral("DSPRODUTO"))->AsString());
}

void TfrmParamGNRE::btpFilialAfterPesq(QObject *)
{
    EditaParamGeral();
    dbeCdFilial->setText(qryFilial.FieldByName(QStringLiteral("CDFILIAL"))->AsString());
    dbeNmFilial->setText(qryFilial.FieldByName(QStringLiteral("NMFILIAL"))->AsString());
}

void TfrmParamGNRE::btpTpOperacAfterPesq(QObject *)
{
    EditaParamGeral();
    dbeCdTpOper->setText(qryTipoOperE.FieldByName(QStringLiteral("CDTIPOOPER"))->AsString());
    dbeNmTpOperac->setText(qryTipoOperE.FieldByName(QStringLiteral("NMTIPOOPER"))->AsString());
}
