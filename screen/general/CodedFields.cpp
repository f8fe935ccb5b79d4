// Calendar kind, product of the debt and nature qualification: codes stored,
// texts shown.
#include "Cli_fis94100.h"

using namespace rt;

namespace {

const char *const calendarCodes[] = {"F", "C", "B"};

// The stored code read as a whole number; the empty code is item 0.
void codedText(TField &field, QString &text, const TDBComboBox *list, int highest)
{
    if (Consiste::EmptyString(field.AsString())) {
        text = list->itemText(0);
        return;
    }
    const int n = field.AsInteger();
    if (n >= 1 && n <= highest)
        text = list->itemText(n);
}

} // namespace

void TfrmParamGNRE::MostraCalendario()
{
    const QString code = cdsParamGeral.FieldByName(QStringLiteral("IDCALENDPAGGNRE"))->AsString();
    for (int i = 0; i < 3; ++i)
        if (code == QLatin1String(calendarCodes[i]))
            rdgCalendario->setItemIndex(i);
}

void TfrmParamGNRE::cdsParamGeralIDCALENDPAGGNREGetText(TField &, QString &, bool) { MostraCalendario(); }

void TfrmParamGNRE::cdsParamGeralIDCALENDPAGGNRESetText(TField &sender, const QString &)
{
    const int i = rdgCalendario->ItemIndex();
    if (i >= 0 && i < 3)
        sender.setAsString(QString::fromLatin1(calendarCodes[i]));
}

void TfrmParamGNRE::rdgCalendarioClick()
{
    EditaParamGeral();
    const int i = rdgCalendario->ItemIndex();
    if (i >= 0 && i < 3)
        cdsParamGeral.FieldByName(QStringLiteral("IDCALENDPAGGNRE"))->setAsString(QString::fromLatin1(calendarCodes[i]));
}

void TfrmParamGNRE::cdsParamGeralAfterOpen() { MostraCalendario(); }

void TfrmParamGNRE::cdsParamGeralCDPRODUTODEBGetText(TField &sender, QString &text, bool)
{
    codedText(sender, text, dbcProdDebito, 12);
}

void TfrmParamGNRE::cdsParamGeralCDPRODUTODEBSetText(TField &sender, const QString &)
{
    const int i = dbcProdDebito->currentIndex();
    if (i == 0)
        sender.setAsString(QString());
    else if (i >= 1 && i <= 12)
        sender.setAsString(Consiste::Ajusta(QString::number(i), 5));
}

void TfrmParamGNRE::cdsParamGeralCDNATUQUALIFGetText(TField &sender, QString &text, bool)
{
    codedText(sender, text, dbcQualiNat, 5);
}

void TfrmParamGNRE::cdsParamGeralCDNATUQUALIFSetText(TField &sender, const QString &)
{
    const int i = dbcQualiNat->currentIndex();
    if (i == 0)
        sender.setAsString(QString());
    else if (i >= 1 && i <= 5)
        sender.setAsString(QString::number(i));
}
