// Rules of the general record as a whole: key filters, new-record defaults,
// adaptation to the guide type and the payable's operation-type marking.
#include "Cli_fis94100.h"

#include "Pkg_fis94100.h"

using namespace rt;

void TfrmParamGNRE::dbeQtdeDiasKeyPress(QObject *, QChar &key)
{
    if (key == QLatin1Char('+') || key == QLatin1Char(',') || key == QLatin1Char('-') || key == QLatin1Char('.')
        || key == QLatin1Char('e'))
        key = QChar();
}

void TfrmParamGNRE::dbeLivroMagKeyPress(QObject *, QChar &key)
{
    if (!(key.unicode() == 8 || key.unicode() == 13 || (key >= QLatin1Char('0') && key <= QLatin1Char('9'))))
        key = QChar();
}

void TfrmParamGNRE::cdsParamGeralNewRecord()
{
    cdsParamGeral.FieldByName(QStringLiteral("CDEMPRESA"))->setAsString(stCdEmpresa);
    cdsParamGeral.FieldByName(QStringLiteral("IDGERALOGGNRE"))->setAsString(QStringLiteral("N"));
    cdsParamGeral.FieldByName(QStringLiteral("IDCALENDPAGGNRE"))->setAsString(QStringLiteral("F"));
    cdsParamGeral.FieldByName(QStringLiteral("IDGERACONTAPAG"))->setAsString(QStringLiteral("N"));
}

void TfrmParamGNRE::Controla_Campos()
{
    const bool online = stTpGuia == QLatin1String("GON");
    if (online) {
        grbParamGNRE->setFixedHeight(122);
        nbkParametros->setFixedHeight(60);
        nbkParametros->setPageIndex(0);
    } else {
        grbParamGNRE->setFixedHeight(170);
        nbkParametros->setFixedHeight(104);
        nbkParametros->setPageIndex(1);
    }
    cdsParamInscr.FieldByName(QStringLiteral("NRCERTIFICDIG"))->setVisible(online);
    cdsParamInscr.FieldByName(QStringLiteral("IDTPAMBIENTE"))->setVisible(online);
    cdsParamInscr.FieldByName(QStringLiteral("IDFCPSEPIMP"))->setVisible(online);
    cdsParamInscr.FieldByName(QStringLiteral("DSEMAILRETORNO"))->setVisible(stTpGuia.mid(1, 2) == QLatin1String("RJ"));
    cdsParamInscr.FieldByName(QStringLiteral("IDPERIODOREFAPU"))->setVisible(stTpGuia == QLatin1String("DRJ"));
    for (const char *name : {"NRCERTIFICDIG", "IDTPAMBIENTE", "IDFCPSEPIMP", "DSEMAILRETORNO", "IDPERIODOREFAPU"}) {
        const int i = Consiste::IndiceCol(dbgParamInscr, QString::fromLatin1(name));
        if (i >= 0)
            dbgParamInscr->setColumnHidden(i, !cdsParamInscr.FieldByName(QString::fromLatin1(name))->Visible());
    }
}

void TfrmParamGNRE::dckGeraContaPagClick() { dbeCdTpOper->setColor(dckGeraContaPag->Checked() ? clInfoBk() : clWindow()); }

void TfrmParamGNRE::cdsParamGeralBeforePost()
{
    Vd_Filial();
    Vd_TpOper(dckGeraContaPag->Checked());
    Vd_LivroMag();
    Vd_ProdGNREOnline();
    geral("IDGERALOGGNRE")->setAsString(dckGeraLog->Checked() ? QStringLiteral("S") : QStringLiteral("N"));
    geral("IDGERACONTAPAG")->setAsString(dckGeraContaPag->Checked() ? QStringLiteral("S") : QStringLiteral("N"));
    if (Consiste::EmptyString(dbeQtdeDias->text()))
        geral("NRDIASCALCDTPAG")->setAsFloat(0);
    if (Consiste::EmptyString(dbeAliqFECP->text()))
        geral("VRALIQFECP")->setAsFloat(0);
    // A rate typed and confirmed without leaving its entry has had no range
    // check yet; the service would refuse it and the whole edit be undone.
    Vd_Aliq();
}
