// Registration records: defaults of a new record and the coded columns.
#include "Cli_fis94100.h"

#include "Pkg_fis94100.h"

using namespace rt;

namespace {

// Stored codes of the coded columns, by the position of their pick-list item.
const QStringList ambiente{"H", "P"};
const QStringList periodo{"I", "D", "Q", "M"};
const QStringList fecp{"N", "S"};

// The item at the stored code's position; the empty text for any other value.
QString shownText(const TField &field, const QStringList &codes, const QStringList &pickList)
{
    const int at = codes.indexOf(field.AsString());
    return field.IsNull() || at < 0 ? QString() : pickList.value(at);
}

// The code of the first item equal to the text; a text equal to none changes nothing.
void storeCode(TField &field, const QString &text, const QStringList &codes, const QStringList &pickList)
{
    for (int i = 0; i < codes.size(); ++i)
        if (pickList.value(i) == text && i < pickList.size()) {
            field.setAsString(codes.at(i));
            return;
        }
}

} // namespace

QStringList TfrmParamGNRE::PickList(const QString &fieldName) const
{
    const int col = Consiste::IndiceCol(dbgParamInscr, fieldName);
    return col < 0 ? QStringList() : dbgParamInscr->Columns(col)->PickList;
}

void TfrmParamGNRE::cdsParamInscrNewRecord()
{
    cdsParamInscr.FieldByName(QStringLiteral("CDEMPRESA"))->setAsString(stCdEmpresa);
    cdsParamInscr.FieldByName(QStringLiteral("IDTPGUIA"))->setAsString(stTpGuia);
    cdsParamInscr.FieldByName(QStringLiteral("IDPERIODOREFAPU"))->setAsString(QStringLiteral("I"));
    cdsParamInscr.FieldByName(QStringLiteral("IDCALCSTMANUAL"))->setAsString(QStringLiteral("N"));
    cdsParamInscr.FieldByName(QStringLiteral("IDFCPSEPIMP"))->setAsString(QStringLiteral("N"));
}

void TfrmParamGNRE::cdsParamInscrAfterInsert() { cdsParamInscrCDINSCESTA->FocusControl(); }

void TfrmParamGNRE::cdsParamInscrIDTPAMBIENTEGetText(TField &sender, QString &text, bool)
{
    text = shownText(sender, ambiente, PickList(sender.FieldName));
}

void TfrmParamGNRE::cdsParamInscrIDTPAMBIENTESetText(TField &sender, const QString &text)
{
    storeCode(sender, text, ambiente, PickList(sender.FieldName));
}

void TfrmParamGNRE::cdsParamInscrIDPERIODOREFAPUGetText(TField &sender, QString &text, bool)
{
    text = shownText(sender, periodo, PickList(sender.FieldName));
}

void TfrmParamGNRE::cdsParamInscrIDPERIODOREFAPUSetText(TField &sender, const QString &text)
{
    storeCode(sender, text, periodo, PickList(sender.FieldName));
}

void TfrmParamGNRE::cdsParamInscrIDFCPSEPIMPGetText(TField &sender, QString &text, bool)
{
    text = shownText(sender, fecp, PickList(sender.FieldName));
}

void TfrmParamGNRE::cdsParamInscrIDFCPSEPIMPSetText(TField &sender, const QString &text)
{
    storeCode(sender, text, fecp, PickList(sender.FieldName));
}
