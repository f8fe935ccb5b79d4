// Datasets, fields, data sources, lookup queries and the message table of the screen.
#include "Cli_fis94100.h"

#include <QFile>

using namespace rt;

namespace {

TField *str(TClientDataSet &ds, const char *name, int size, const char *label = nullptr)
{
    TField *f = ds.addField(QString::fromLatin1(name), FieldType::String, size);
    if (label)
        f->DisplayLabel = QString::fromUtf8(label);
    return f;
}

TField *flt(TClientDataSet &ds, const char *name, const char *editFormat)
{
    TField *f = ds.addField(QString::fromLatin1(name), FieldType::Float);
    f->EditFormat = QString::fromLatin1(editFormat);
    return f;
}

} // namespace

// Data sources get their datasets once the controls that show them exist.
void TfrmParamGNRE::bindDataSources()
{
    dtsParamGeral.setDataSet(&cdsParamGeral);
    dtsPadrao.setDataSet(&cdsParamInscr);
    dtsLivroMag.setDataSet(&cdsLivroMag);
    dtsProdGnreOnline.setDataSet(&cdsProdGnreOnline);
    dtsCertificados.setDataSet(&cdsCertificados);
    dtsVdInscricao.setDataSet(&cdsVdInscricao);
    dtsInscricao.setDataSet(qryInscricao.Query());
    dtsFilial.setDataSet(qryFilial.Query());
    dtsEncargo.setDataSet(qryEncargo.Query());
    dtsTipoOperE.setDataSet(qryTipoOperE.Query());

}

static void initScreenResources() { Q_INIT_RESOURCE(screen); }

void TfrmParamGNRE::declareData()
{
    initScreenResources();

    // General parameters: one record per company.
    str(cdsParamGeral, "CDEMPRESA", 2);
    str(cdsParamGeral, "IDGERALOGGNRE", 1);
    str(cdsParamGeral, "CDLIVROMAG", 10);
    str(cdsParamGeral, "NMLIVROMAG", 50);
    flt(cdsParamGeral, "NRDIASCALCDTPAG", "#0");
    str(cdsParamGeral, "CDFILIAL", 4);
    str(cdsParamGeral, "NMFILIAL", 30);
    str(cdsParamGeral, "IDCALENDPAGGNRE", 1);
    str(cdsParamGeral, "DSEMAILRETORNO", 100);
    str(cdsParamGeral, "CDPRODUTODEB", 5);
    str(cdsParamGeral, "CDNATUQUALIF", 1);
    flt(cdsParamGeral, "VRALIQFECP", "#0");
    str(cdsParamGeral, "CDPRODUTOGON", 5)->EditMask = QStringLiteral("999;1; ");
    str(cdsParamGeral, "DSPRODUTO", 250);
    str(cdsParamGeral, "IDGERACONTAPAG", 1);
    str(cdsParamGeral, "IDENTRSAIDPAG", 1);
    str(cdsParamGeral, "CDTPOPERPAG", 2);
    str(cdsParamGeral, "NMTIPOOPER", 30);

    // Parameters per state registration and guide type.
    cdsParamInscr.Tag = 1;
    str(cdsParamInscr, "CDEMPRESA", 2)->setVisible(false);
    cdsParamInscrCDINSCESTA = str(cdsParamInscr, "CDINSCESTA", 16, "Inscrição Estadual");
    str(cdsParamInscr, "SGESTADO", 2, "Estado")->ReadOnly = true;
    str(cdsParamInscr, "NRCERTIFICDIG", 50, "Certificado Digital")->ReadOnly = true;
    str(cdsParamInscr, "IDTPAMBIENTE", 1, "Ambiente");
    str(cdsParamInscr, "DSEMAILRETORNO", 100, "E-mail");
    str(cdsParamInscr, "IDPERIODOREFAPU", 1, "Período de Apuração");
    str(cdsParamInscr, "IDTPGUIA", 3)->setVisible(false);
    str(cdsParamInscr, "IDCALCSTMANUAL", 1, "ST Manual");
    str(cdsParamInscr, "CDENCARGOST", 2, "Encargo ST");
    str(cdsParamInscr, "CDFILIALPAG", 4, "Filial para Pagamento");
    str(cdsParamInscr, "IDFCPSEPIMP", 1, "Guia FECP Separado do Imposto");

    // Result sets the service fills for lookups and checks.
    str(cdsLivroMag, "CDLIVROMAG", 10, "Código")->DisplayWidth = 13;
    str(cdsLivroMag, "NMLIVROMAG", 50, "Nome");
    str(cdsCertificados, "NMRAZAOSOCIAL", 100, "Nome")->DisplayWidth = 30;
    str(cdsCertificados, "NRSERIE", 50, "Certificado")->DisplayWidth = 38;
    str(cdsCertificados, "DTVALIDADE", 20, "Data de Validade");
    str(cdsVdInscricao, "CDINSCESTA", 16);
    str(cdsProdGnreOnline, "CDPRODUTO", 5, "Código");
    str(cdsProdGnreOnline, "DSPRODUTO", 250, "Descrição");

    declareQueries();

    QFile messages(QStringLiteral(":/fis94100/msgPadrao.txt"));
    if (messages.open(QIODevice::ReadOnly))
        msgPadrao.loadFromText(QString::fromUtf8(messages.readAll()));

    netParamGNRE.ServerName = QStringLiteral("FIS94100.rdmParamGNRE");
    netParamGNRE.RetriableMethods = {QStringLiteral("SetParamGNRE"), QStringLiteral("SetParamInscr")};
    netParamGNRE.ThrowException = false;
}
