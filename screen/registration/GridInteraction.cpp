// The registration grid, column by column.
#include "Cli_fis94100.h"

#include "Pkg_fis94100.h"

using namespace rt;

namespace {

QString selectedName(TDBGrid *grid)
{
    TField *f = grid->SelectedField();
    return f ? f->FieldName : QString();
}

} // namespace

void TfrmParamGNRE::dbgParamInscrEnter()
{
    // A record being typed is not thrown away by coming back to the grid.
    if (cdsParamInscr.editing())
        return;
    CarregaParamInscr();
}

void TfrmParamGNRE::dbgParamInscrColEnter()
{
    static const QStringList editable{"CDINSCESTA", "CDENCARGOST", "NRCERTIFICDIG", "IDTPAMBIENTE", "DSEMAILRETORNO",
                                      "IDPERIODOREFAPU", "CDFILIALPAG", "IDFCPSEPIMP"};
    if (editable.contains(selectedName(dbgParamInscr)))
        dbgParamInscr->setOptions(dbgParamInscr->Options() | dgEditing);
    else
        dbgParamInscr->setOptions(dbgParamInscr->Options() & ~TGridOptions(dgEditing));
}

void TfrmParamGNRE::dbgParamInscrColExit()
{
    const QString name = selectedName(dbgParamInscr);
    if (name == QLatin1String("CDINSCESTA"))
        Vd_Inscricao(false);
    else if (name == QLatin1String("CDENCARGOST"))
        Vd_Encargo();
    else if (name == QLatin1String("CDFILIALPAG"))
        Vd_FilialPag(false);
}

void TfrmParamGNRE::IniciaEdicaoInscr()
{
    if (dtsPadrao.State() != DataSetState::dsEdit && dtsPadrao.State() != DataSetState::dsInsert)
        cdsParamInscr.Edit();
}

void TfrmParamGNRE::dbgParamInscrKeyPress(QObject *, QChar &key)
{
    const QString name = selectedName(dbgParamInscr);
    // Letter codes: the letter stores its code, and is never typed.
    auto letterCode = [&](const char *field, const QString &codes) {
        const QChar c = UpCase(key);
        if (codes.contains(c)) {
            IniciaEdicaoInscr();
            inscr(field)->setAsString(QString(c));
        }
        key = QChar();
    };
    if (name == QLatin1String("IDTPAMBIENTE"))
        letterCode("IDTPAMBIENTE", QStringLiteral("HP"));
    else if (name == QLatin1String("IDPERIODOREFAPU"))
        letterCode("IDPERIODOREFAPU", QStringLiteral("DIMQ"));
    else if (name == QLatin1String("IDFCPSEPIMP"))
        letterCode("IDFCPSEPIMP", QStringLiteral("NS"));
    else if (name == QLatin1String("NRCERTIFICDIG") || name == QLatin1String("SGESTADO"))
        key = QChar();
    else if (name == QLatin1String("CDINSCESTA") && dtsPadrao.State() != DataSetState::dsInsert)
        key = QChar();
    else if (name == QLatin1String("CDENCARGOST") || name == QLatin1String("CDFILIALPAG")) {
        if (!(key.unicode() == 8 || key.unicode() == 13 || (key >= QLatin1Char('0') && key <= QLatin1Char('9'))))
            key = QChar();
    }
}

void TfrmParamGNRE::dbgParamInscrKeyDown(QObject *, quint16 &key, Qt::KeyboardModifiers)
{
    if (dtsPadrao.State() == DataSetState::dsInsert || selectedName(dbgParamInscr) != QLatin1String("CDINSCESTA"))
        return;
    switch (key) {
    case VK_TAB: case VK_RETURN: case VK_LEFT: case VK_UP: case VK_RIGHT: case VK_DOWN: case VK_INSERT:
        return;
    default:
        Sysutils::Abort();
    }
}

void TfrmParamGNRE::dbgParamInscrDblClick()
{
    const QString name = selectedName(dbgParamInscr);
    if (name == QLatin1String("NRCERTIFICDIG") || name == QLatin1String("CDENCARGOST") || name == QLatin1String("CDFILIALPAG"))
        cdsParamInscr.Edit();
}

void TfrmParamGNRE::dbgParamInscrCellClick(TColumn &column)
{
    if (column.FieldName != QLatin1String("IDCALCSTMANUAL"))
        return;
    cdsParamInscr.Edit();
    TField *f = inscr("IDCALCSTMANUAL");
    if (f->AsString() == QLatin1String("S"))
        f->setAsString(QStringLiteral("N"));
    else if (f->AsString() == QLatin1String("N"))
        f->setAsString(QStringLiteral("S"));
}

void TfrmParamGNRE::dbgParamInscrDrawColumnCell(QObject *, const QRect &rect, int, TColumn &column, TGridDrawState)
{
    if (column.FieldName != QLatin1String("IDCALCSTMANUAL"))
        return;
    TBitmap bitmap;
    const QString v = column.Field() ? column.Field()->AsString() : QString();
    if (v == QLatin1String("S"))
        bitmap.Assign(imgCheck->Picture());
    else if (v == QLatin1String("N"))
        bitmap.Assign(imgUnCheck->Picture());
    TCanvas *canvas = dbgParamInscr->Canvas();
    canvas->FillRect(rect);
    const int h = rect.height();
    const int w = bitmap.Width();
    canvas->BrushCopy(QRect(rect.left() + (dbgParamInscr->columnWidth(column.Index()) - 14) / 2, rect.top(), w, h), bitmap,
                      QRect(0, 0, w, h), QColor(0x80, 0x80, 0x00));
}

void TfrmParamGNRE::dbgParamInscrEditButtonClick()
{
    const QString name = selectedName(dbgParamInscr);
    auto search = [this](TDataSource *source, const char *titleKey, const char *emptyKey, const TRowDecorator &decorate = {}) {
        return Pesquisa::Pesquisar(source, msgPadrao.Msg(QString::fromLatin1(titleKey)) + QLatin1Char('|')
                                               + msgPadrao.Msg(QString::fromLatin1(emptyKey)), false, true, decorate);
    };
    if (name == QLatin1String("CDINSCESTA")) {
        qryInscricao.Close();
        qryInscricao.ParamByName(QStringLiteral("P_CDEMPRESA")).setAsString(stCdEmpresa);
        qryInscricao.ParamByName(QStringLiteral("P_CDINSCESTA")).Clear();
        qryInscricao.Open();
        if (search(&dtsInscricao, "InscricaoST", "InscST_Empty")) {
            cdsParamInscrCDINSCESTA->setAsString(qryInscricao.FieldByName(QStringLiteral("CDINSCESTA"))->AsString());
            EscreveSomenteLeitura(inscr("SGESTADO"), qryInscricao.FieldByName(QStringLiteral("SGESTADO"))->AsString());
        }
    } else if (name == QLatin1String("NRCERTIFICDIG")) {
        Showavi::ActiveShowAvi(frmParamGNRE, 1);
        try {
            const QJsonArray answer = Consiste::CheckResultServ(netParamGNRE.call(QStringLiteral("GetCertificado")), true, 0).toArray();
            if (answer.at(0).toString() != QLatin1String("OK"))
                Consiste::MensErro(answer.at(1).toString(), true);
            const DataPacket certificados = DataPacket::fromJson(answer.at(1));
            cdsCertificados.SetData(certificados);
            AtualizaValidadeCertificados(certificados); // the grid's marks follow the list just read
        } catch (...) {
            Showavi::DeactiveShowAvi();
            throw;
        }
        Showavi::DeactiveShowAvi();
        if (search(&dtsCertificados, "Certificado", "Cert_Empty", [this](TCellDecoration &d) { MarcaCertificadoPesquisa(d); }))
            EscreveSomenteLeitura(inscr("NRCERTIFICDIG"), cdsCertificados.FieldByName(QStringLiteral("NRSERIE"))->AsString());
    } else if (name == QLatin1String("CDENCARGOST")) {
        qryEncargo.Close();
        qryEncargo.ParamByName(QStringLiteral("P_CDENCARGO")).Clear();
        qryEncargo.Open();
        if (search(&dtsEncargo, "Encargo", "Enc_Empty"))
            inscr("CDENCARGOST")->setAsString(qryEncargo.FieldByName(QStringLiteral("CDENCARGO"))->AsString());
    } else if (name == QLatin1String("CDFILIALPAG")) {
        qryFilial.Close();
        qryFilial.ParamByName(QStringLiteral("P_CDFILIAL")).Clear();
        qryFilial.Open();
        if (search(&dtsFilial, "Filial", "Fili_Empty"))
            inscr("CDFILIALPAG")->setAsString(qryFilial.FieldByName(QStringLiteral("CDFILIAL"))->AsString());
    }
}
