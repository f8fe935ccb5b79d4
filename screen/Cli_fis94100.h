#pragma once

// The screen FIS94100 "Parâmetros da GNRE": general parameters of a company and
// parameters per state registration and guide type.

#include "framework/Framework.h"
#include "registration/CertificateValidity.h"

#include <QJsonArray>

class QFrame;
class QScrollArea;
class QStackedWidget;
class QTabWidget;

class TfrmParamGNRE : public TfrmPadraoSimples
{
    Q_OBJECT

public:
    TfrmParamGNRE();
    ~TfrmParamGNRE() override;

    // ---- layout
    QFrame *panFiltroGNRE;
    QLabel *lblEmpresa;
    QLineEdit *edtEmpresa;
    TPageControl *pgcPadrao;
    QWidget *tshParamGeral, *tshParamInscr;
    QFrame *panParamGeral, *panParamInscr;
    QScrollArea *scbParamGeral, *scbParamInscr;
    QGroupBox *grbDtPagamento, *grbParamGNRE;
    QLabel *lblQtdeDias, *lblFilial, *lblTpOperac, *lblLivroMag, *lblProdutoGON, *lblEmail, *lblProduto, *lblQualifiqNat,
        *lblAliqFECP, *lblPercent;
    rt::TDBEdit *dbeQtdeDias, *dbeCdFilial, *dbeNmFilial, *dbeCdTpOper, *dbeNmTpOperac, *dbeLivroMag, *dbeNmLivroMag,
        *dbeProduto, *dbeDsProduto, *dbeEmail, *dbeAliqFECP;
    rt::TRadioGroup *rdgCalendario;
    rt::TDBCheckBox *dckGeraLog, *dckGeraContaPag;
    TNotebook *nbkParametros;
    rt::TDBComboBox *dbcProdDebito, *dbcQualiNat;
    TBtnPesquisa *btpFilial, *btpTpOperac, *btpLivroMag, *btpProduto;
    rt::TDBGrid *dbgParamInscr;
    QAction *mnuParamGeral, *mnuParamInscr, *mnuLinha;
    TImage *imgCheck, *imgUnCheck;

    // ---- data
    rt::TClientDataSet cdsParamGeral{QStringLiteral("cdsParamGeral")};
    rt::TClientDataSet cdsParamInscr{QStringLiteral("cdsParamInscr")};
    rt::TClientDataSet cdsLivroMag{QStringLiteral("cdsLivroMag")};
    rt::TClientDataSet cdsCertificados{QStringLiteral("cdsCertificados")};
    rt::TClientDataSet cdsVdInscricao{QStringLiteral("cdsVdInscricao")};
    rt::TClientDataSet cdsProdGnreOnline{QStringLiteral("cdsProdGnreOnline")};
    rt::TField *cdsParamInscrCDINSCESTA = nullptr;
    TADOIBQuery qryInscricao{QStringLiteral("qryInscricao")};
    TADOIBQuery qryFilial{QStringLiteral("qryFilial")};
    TADOIBQuery qryEncargo{QStringLiteral("qryEncargo")};
    TADOIBQuery qryTipoOperE{QStringLiteral("qryTipoOperE")};
    rt::TDataSource dtsParamGeral{QStringLiteral("dtsParamGeral")};
    rt::TDataSource dtsLivroMag{QStringLiteral("dtsLivroMag")};
    rt::TDataSource dtsProdGnreOnline{QStringLiteral("dtsProdGnreOnline")};
    rt::TDataSource dtsCertificados{QStringLiteral("dtsCertificados")};
    rt::TDataSource dtsVdInscricao{QStringLiteral("dtsVdInscricao")};
    rt::TDataSource dtsInscricao{QStringLiteral("dtsInscricao")};
    rt::TDataSource dtsFilial{QStringLiteral("dtsFilial")};
    rt::TDataSource dtsEncargo{QStringLiteral("dtsEncargo")};
    rt::TDataSource dtsTipoOperE{QStringLiteral("dtsTipoOperE")};
    TNetConnection netParamGNRE{QStringLiteral("netParamGNRE")};

    // ---- lifecycle
    void FormCreate() override;
    void FormShow() override;
    void FormClose(TCloseAction &action) override;
    void netParamGNREBeforeConnect();

    // ---- edit workflow and saving
    void Controla_Botoes();
    void pgcPadraoChange();
    void CarregaPagina();
    void sbtAlterarClick() override;
    void sbtIncluirClick() override;
    void sbtVerificarClick() override;
    void sbtConfirmarClick() override;
    void sbtCancelarClick() override;
    void dtsParamGeralStateChange();
    void dtsPadraoStateChange() override;
    void cdsParamGeralAfterPost();
    void cdsParamInscrAfterPost();
    void cdsParamInscrAfterDelete();
    void cdsParamGeralAfterCancel();

    // ---- general page: coded fields
    void cdsParamGeralIDCALENDPAGGNREGetText(rt::TField &sender, QString &text, bool displayText);
    void cdsParamGeralIDCALENDPAGGNRESetText(rt::TField &sender, const QString &text);
    void cdsParamGeralCDPRODUTODEBGetText(rt::TField &sender, QString &text, bool displayText);
    void cdsParamGeralCDPRODUTODEBSetText(rt::TField &sender, const QString &text);
    void cdsParamGeralCDNATUQUALIFGetText(rt::TField &sender, QString &text, bool displayText);
    void cdsParamGeralCDNATUQUALIFSetText(rt::TField &sender, const QString &text);
    void rdgCalendarioClick();
    void cdsParamGeralAfterOpen();

    // ---- general page: reference checks and lookups
    void dbeLivroMagChange();
    void dbeProdutoChange();
    void dbeCdFilialChange();
    void dbeCdTpOperChange();
    void dbeLivroMagExit();
    void dbeProdutoExit();
    void dbeCdFilialExit();
    void dbeCdTpOperExit();
    void dbeAliqFECPExit();
    void Vd_LivroMag();
    void Vd_ProdGNREOnline();
    void Vd_Filial();
    void Vd_TpOper(bool required);
    void Vd_Aliq();
    void btpLivroMagBeforePesq(QObject *sender, bool &cancel);
    void btpProdutoBeforePesq(QObject *sender, bool &cancel);
    void btpFilialBeforePesq(QObject *sender, bool &cancel);
    void btpTpOperacBeforePesq(QObject *sender, bool &cancel);
    void btpLivroMagAfterPesq(QObject *sender);
    void btpProdutoAfterPesq(QObject *sender);
    void btpFilialAfterPesq(QObject *sender);
    void btpTpOperacAfterPesq(QObject *sender);

    // ---- general page: record rules and field control
    void cdsParamGeralBeforePost();
    void Controla_Campos();
    void cdsParamGeralNewRecord();
    void dckGeraContaPagClick();
    void dbeQtdeDiasKeyPress(QObject *sender, QChar &key);
    void dbeLivroMagKeyPress(QObject *sender, QChar &key);

    // ---- registration grid
    void dbgParamInscrEnter();
    void dbgParamInscrColEnter();
    void dbgParamInscrColExit();
    void dbgParamInscrKeyPress(QObject *sender, QChar &key);
    void dbgParamInscrKeyDown(QObject *sender, quint16 &key, Qt::KeyboardModifiers shift);
    void dbgParamInscrDblClick();
    void dbgParamInscrCellClick(rt::TColumn &column);
    void dbgParamInscrDrawColumnCell(QObject *sender, const QRect &rect, int dataCol, rt::TColumn &column,
                                     rt::TGridDrawState state);
    void dbgParamInscrEditButtonClick();
    void dbgParamInscrDecorateCell(rt::TColumn &column, rt::TCellDecoration &decoration);

    // ---- certificate validity (registration page)
    TValidadeCertificados validadeCertificados;
    bool boValidadeLida = false; // read once per opening, again by each certificate search
    QString stMsgCertificados;   // what the screen put in the host's status bar
    void tshParamInscrShow();
    void CarregaValidadeCertificados();
    void AtualizaValidadeCertificados(const rt::DataPacket &certificados);
    void MostraSituacaoCertificados();
    void LimpaSituacaoCertificados();
    void MarcaCertificadoPesquisa(rt::TCellDecoration &decoration);

    // ---- registration records
    void Vd_Inscricao(bool required);
    void Vd_Encargo();
    void Vd_FilialPag(bool required);
    void cdsParamInscrBeforePost();
    void cdsParamInscrNewRecord();
    void cdsParamInscrAfterInsert();
    void cdsParamInscrIDTPAMBIENTEGetText(rt::TField &sender, QString &text, bool displayText);
    void cdsParamInscrIDTPAMBIENTESetText(rt::TField &sender, const QString &text);
    void cdsParamInscrIDPERIODOREFAPUGetText(rt::TField &sender, QString &text, bool displayText);
    void cdsParamInscrIDPERIODOREFAPUSetText(rt::TField &sender, const QString &text);
    void cdsParamInscrIDFCPSEPIMPGetText(rt::TField &sender, QString &text, bool displayText);
    void cdsParamInscrIDFCPSEPIMPSetText(rt::TField &sender, const QString &text);

private:
    // Builders, one per subsystem folder.
    void declareData();
    void declareQueries();
    void buildLayout();
    void buildGeneralPage();
    void buildRegistrationPage();
    void bindDataSources();
    void bindHandlers();

    // The steps of every read: busy indicator, call, check, load, indicator off.
    void CarregaPacote(const QString &method, const QJsonArray &args, rt::TClientDataSet &target);
    // The steps of every save of a change log; afterDelete merges before the indicator closes.
    void EnviaAlteracoes(rt::TClientDataSet &dataSet, const QString &method, bool afterDelete);
    void CarregaParamGeral();
    void CarregaParamInscr();
    // Shows the stored calendar kind in the radio group, as a display change.
    void MostraCalendario();
    // The check marks of the page entries: the active page's only.
    void MarcaPagina();
    void mnuPaginaClick(QWidget *page);
    rt::TField *geral(const char *field) const;
    rt::TField *inscr(const char *field) const;
    // Writes a read-only field, lifting the flag only for the write.
    void EscreveSomenteLeitura(rt::TField *field, const QString &value);
    // A code of the grid checked against a lookup query: nothing written to the record.
    void VdReferencia(const char *field, TADOIBQuery &query, const char *param, bool required,
                      const char *requiredKey, const char *unknownKey);
    // Puts the registration being shown into edit state unless it is being edited.
    void IniciaEdicaoInscr();
    // Starts editing the general record, inserting the company's first one when there is none.
    void EditaParamGeral();
    // The check of a code the service knows: adjust, ask, refuse or name it.
    void VdCodigoServico(rt::TDBEdit *entry, int width, const char *codeField, const QString &method,
                         rt::TClientDataSet &rows, const char *nameField, const char *rowName, const char *messageKey);
    // The pick list of the grid column showing a field.
    QStringList PickList(const QString &fieldName) const;
};
