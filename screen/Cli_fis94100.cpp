// The screen's creation, first load and closing.
#include "Cli_fis94100.h"

#include "Pkg_fis94100.h"

#include <QScrollArea>

using namespace rt;

TfrmParamGNRE::TfrmParamGNRE()
{
    declareData();
    buildLayout();
    bindDataSources();
    bindHandlers();
}

TfrmParamGNRE::~TfrmParamGNRE()
{
    // Nothing reacts while the screen comes apart; the controls bound to the
    // datasets go first, while their data sources still exist.
    dtsPadrao.OnStateChange = nullptr;
    dtsPadrao.OnDataChange = nullptr;
    dtsParamGeral.OnStateChange = nullptr;
    delete pgcPadrao;
    pgcPadrao = nullptr;
}

void TfrmParamGNRE::FormCreate()
{
    TfrmPadraoSimples::FormCreate();
    netParamGNRE.setConnected(true);
    cdsParamInscrCDINSCESTA->Tag = 1;
    pgcPadrao->setActivePage(tshParamGeral);
}

void TfrmParamGNRE::netParamGNREBeforeConnect()
{
    netParamGNRE.Host = Molvard::WebURL();
    netParamGNRE.Port = Molvard::WebPort();
    netParamGNRE.Tls = Molvard::WebTls();
    netParamGNRE.CaFile = Molvard::WebCaFile();
    netParamGNRE.Token = Molvard::WebToken();
    netParamGNRE.ConnectTimeoutMs = Molvard::WebConnectTimeoutMs();
    netParamGNRE.CallTimeoutMs = Molvard::WebCallTimeoutMs();
}

void TfrmParamGNRE::FormShow()
{
    // Selecting the loaded calendar kind is a display change: the click reaction
    // is detached during the load and attached again whatever happens.
    rdgCalendario->OnClick = nullptr;
    try {
        CarregaParamGeral(); // an empty record shows both check boxes unchecked
    } catch (...) {
        rdgCalendario->OnClick = [this](QObject *) { rdgCalendarioClick(); };
        // The screen's shape depends on the guide type only: adapted whatever
        // the load did (the buttons keep the layout's disabled state).
        Controla_Campos();
        throw;
    }
    rdgCalendario->OnClick = [this](QObject *) { rdgCalendarioClick(); };
    pgcPadrao->setActivePage(tshParamGeral);
    Controla_Campos();
    Controla_Botoes();
}

void TfrmParamGNRE::FormClose(TCloseAction &action)
{
    TfrmPadraoSimples::FormClose(action);
    LimpaSituacaoCertificados();
    netParamGNRE.setConnected(false);
    boIdCriado = false;
    frmParamGNRE = nullptr;
}

void TfrmParamGNRE::bindHandlers()
{
    netParamGNRE.BeforeConnect = [this](TNetConnection &) { netParamGNREBeforeConnect(); };
    pgcPadrao->OnChange = [this](QObject *) {
        pgcPadraoChange();
        if (pgcPadrao->ActivePage() == tshParamInscr)
            tshParamInscrShow();
    };
    // The page entries of the menu go to their page; their marks show the active page only.
    QObject::connect(mnuParamGeral, &QAction::triggered, this, [this] { guard([this] { mnuPaginaClick(tshParamGeral); }, this); });
    QObject::connect(mnuParamInscr, &QAction::triggered, this, [this] { guard([this] { mnuPaginaClick(tshParamInscr); }, this); });
    dtsParamGeral.OnStateChange = [this](TDataSource &) { dtsParamGeralStateChange(); };
    // The button table depends on whether there are registrations: it is set
    // again whenever their content changes (a load, a delete, an undone insert),
    // not only when the state does.
    dtsPadrao.OnDataChange = [this](TDataSource &, TField *field) {
        if (!field)
            Controla_Botoes();
    };

    cdsParamGeral.AfterOpen = [this](TClientDataSet &) { cdsParamGeralAfterOpen(); };
    cdsParamGeral.AfterPost = [this](TClientDataSet &) { cdsParamGeralAfterPost(); };
    cdsParamGeral.AfterCancel = [this](TClientDataSet &) { cdsParamGeralAfterCancel(); };
    cdsParamGeral.OnNewRecord = [this](TClientDataSet &) { cdsParamGeralNewRecord(); };
    cdsParamInscr.AfterPost = [this](TClientDataSet &) { cdsParamInscrAfterPost(); };
    cdsParamInscr.AfterDelete = [this](TClientDataSet &) { cdsParamInscrAfterDelete(); };
    cdsParamInscr.OnNewRecord = [this](TClientDataSet &) { cdsParamInscrNewRecord(); };
    cdsParamInscr.AfterInsert = [this](TClientDataSet &) { cdsParamInscrAfterInsert(); };

    using namespace std::placeholders;
    auto hooks = [this](TClientDataSet &ds, const char *field, auto getText, auto setText) {
        TField *f = ds.FieldByName(QString::fromLatin1(field));
        f->OnGetText = [this, getText](TField &s, QString &t, bool d) { (this->*getText)(s, t, d); };
        f->OnSetText = [this, setText](TField &s, const QString &t) { (this->*setText)(s, t); };
    };
    hooks(cdsParamGeral, "IDCALENDPAGGNRE", &TfrmParamGNRE::cdsParamGeralIDCALENDPAGGNREGetText,
          &TfrmParamGNRE::cdsParamGeralIDCALENDPAGGNRESetText);
    hooks(cdsParamGeral, "CDPRODUTODEB", &TfrmParamGNRE::cdsParamGeralCDPRODUTODEBGetText,
          &TfrmParamGNRE::cdsParamGeralCDPRODUTODEBSetText);
    hooks(cdsParamGeral, "CDNATUQUALIF", &TfrmParamGNRE::cdsParamGeralCDNATUQUALIFGetText,
          &TfrmParamGNRE::cdsParamGeralCDNATUQUALIFSetText);
    hooks(cdsParamInscr, "IDTPAMBIENTE", &TfrmParamGNRE::cdsParamInscrIDTPAMBIENTEGetText,
          &TfrmParamGNRE::cdsParamInscrIDTPAMBIENTESetText);
    hooks(cdsParamInscr, "IDPERIODOREFAPU", &TfrmParamGNRE::cdsParamInscrIDPERIODOREFAPUGetText,
          &TfrmParamGNRE::cdsParamInscrIDPERIODOREFAPUSetText);
    hooks(cdsParamInscr, "IDFCPSEPIMP", &TfrmParamGNRE::cdsParamInscrIDFCPSEPIMPGetText,
          &TfrmParamGNRE::cdsParamInscrIDFCPSEPIMPSetText);

    dbgParamInscr->OnEnter = [this](QObject *) { dbgParamInscrEnter(); };
    dbgParamInscr->OnColEnter = [this](QObject *) { dbgParamInscrColEnter(); };
    dbgParamInscr->OnColExit = [this](QObject *) { dbgParamInscrColExit(); };
    dbgParamInscr->OnKeyPress = [this](QObject *s, QChar &k) { dbgParamInscrKeyPress(s, k); };
    dbgParamInscr->OnKeyDown = [this](QObject *s, quint16 &k, Qt::KeyboardModifiers m) { dbgParamInscrKeyDown(s, k, m); };
    dbgParamInscr->OnDblClick = [this](QObject *) { dbgParamInscrDblClick(); };
    dbgParamInscr->OnCellClick = [this](TColumn &c) { dbgParamInscrCellClick(c); };
    dbgParamInscr->OnDrawColumnCell = [this](QObject *s, const QRect &r, int d, TColumn &c, TGridDrawState st) {
        dbgParamInscrDrawColumnCell(s, r, d, c, st);
    };
    dbgParamInscr->OnEditButtonClick = [this](QObject *) { dbgParamInscrEditButtonClick(); };
    dbgParamInscr->OnDecorateCell = [this](TColumn &c, TCellDecoration &d) { dbgParamInscrDecorateCell(c, d); };
    cdsParamInscr.BeforePost = [this](TClientDataSet &) { cdsParamInscrBeforePost(); };

    rdgCalendario->OnClick = [this](QObject *) { rdgCalendarioClick(); };
    dckGeraContaPag->OnClick = [this](QObject *) { dckGeraContaPagClick(); };
    dbeQtdeDias->OnKeyPress = [this](QObject *s, QChar &k) { dbeQtdeDiasKeyPress(s, k); };
    dbeAliqFECP->OnKeyPress = [this](QObject *s, QChar &k) { dbeQtdeDiasKeyPress(s, k); };
    dbeLivroMag->OnKeyPress = [this](QObject *s, QChar &k) { dbeLivroMagKeyPress(s, k); };
    cdsParamGeral.BeforePost = [this](TClientDataSet &) { cdsParamGeralBeforePost(); };

    dbeLivroMag->OnChange = [this](QObject *) { dbeLivroMagChange(); };
    dbeProduto->OnChange = [this](QObject *) { dbeProdutoChange(); };
    dbeCdFilial->OnChange = [this](QObject *) { dbeCdFilialChange(); };
    dbeCdTpOper->OnChange = [this](QObject *) { dbeCdTpOperChange(); };
    dbeLivroMag->OnExit = [this](QObject *) { dbeLivroMagExit(); };
    dbeProduto->OnExit = [this](QObject *) { dbeProdutoExit(); };
    dbeCdFilial->OnExit = [this](QObject *) { dbeCdFilialExit(); };
    dbeCdTpOper->OnExit = [this](QObject *) { dbeCdTpOperExit(); };
    dbeAliqFECP->OnExit = [this](QObject *) { dbeAliqFECPExit(); };
    btpLivroMag->OnBeforePesq = [this](QObject *s, bool &c) { btpLivroMagBeforePesq(s, c); };
    btpProduto->OnBeforePesq = [this](QObject *s, bool &c) { btpProdutoBeforePesq(s, c); };
    btpFilial->OnBeforePesq = [this](QObject *s, bool &c) { btpFilialBeforePesq(s, c); };
    btpTpOperac->OnBeforePesq = [this](QObject *s, bool &c) { btpTpOperacBeforePesq(s, c); };
    btpLivroMag->OnAfterPesq = [this](QObject *s) { btpLivroMagAfterPesq(s); };
    btpProduto->OnAfterPesq = [this](QObject *s) { btpProdutoAfterPesq(s); };
    btpFilial->OnAfterPesq = [this](QObject *s) { btpFilialAfterPesq(s); };
    btpTpOperac->OnAfterPesq = [this](QObject *s) { btpTpOperacAfterPesq(s); };
}
