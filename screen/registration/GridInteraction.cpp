// The registration grid, column by column.
#include "Cli_fis94100.h"

using namespace rt;

void TfrmParamGNRE::dbgParamInscrColEnter()
{
    static const QStringList editable{"CDINSCESTA", "CDENCARGOST", "NRCERTIFICDIG", "IDTPAMBIENTE", "DSEMAILRETORNO",
                                      "IDPERIODOREFAPU", "CDFILIALPAG", "IDFCPSEPIMP"};
    TField *f = dbgParamInscr->SelectedField();
    if (f && editable.contains(f->FieldName))
        dbgParamInscr->setOptions(dbgParamInscr->Options() | dgEditing);
    else
        dbgParamInscr->setOptions(dbgParamInscr->Options() & ~TGridOptions(dgEditing));
}
