// The visible screen: filter panel, the two pages, their controls, the lookup
// buttons, the registration grid and the menu entries.
#include "Cli_fis94100.h"

#include "CheckImages.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QScrollArea>
#include <QVBoxLayout>

using namespace rt;

namespace {

// Bold or not; a widget that already is, as its parent's font makes it, is left alone.
void setWeight(QWidget *w, bool bold)
{
    if (w->font().bold() == bold)
        return;
    QFont f = w->font();
    f.setBold(bold);
    w->setFont(f);
}

template <class T>
T *named(T *w, const char *name)
{
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

QLabel *label(QWidget *parent, const char *name, const QString &caption)
{
    auto *l = named(new QLabel(caption, parent), name);
    setWeight(l, true);
    return l;
}

TDBEdit *edit(QWidget *parent, const char *name, TDataSource *source, const char *field, int chars)
{
    auto *e = named(new TDBEdit(parent), name);
    setWeight(e, false);
    e->setDataSource(source, QString::fromLatin1(field));
    if (chars > 0)
        e->setFixedWidth(e->fontMetrics().horizontalAdvance(QString(chars, QLatin1Char('0'))) + 14);
    return e;
}

TDBEdit *nameEdit(QWidget *parent, const char *name, TDataSource *source, const char *field)
{
    TDBEdit *e = edit(parent, name, source, field, 0);
    e->setEnabled(false); // shows the name of the code beside it; never typed
    e->setFocusPolicy(Qt::NoFocus);
    e->setMinimumWidth(220);
    return e;
}

TBtnPesquisa *lookup(QWidget *parent, const char *name, QWidget *associate, const QString &title, TDataSource *source,
                     const QString &emptyError)
{
    auto *b = named(new TBtnPesquisa(parent), name);
    b->setAssociate(associate);
    b->Title = title;
    b->DataSource = source;
    b->EmptyError = emptyError;
    const int h = associate->sizeHint().height();
    b->setFixedSize(h, h);
    return b;
}

QScrollArea *pageFrame(QWidget *sheet, QFrame *&panel, const char *panelName, const char *scrollName)
{
    auto *outer = new QVBoxLayout(sheet);
    outer->setContentsMargins(2, 2, 2, 2);
    panel = named(new QFrame(sheet), panelName);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setLineWidth(2);
    outer->addWidget(panel);
    auto *inner = new QVBoxLayout(panel);
    inner->setContentsMargins(2, 2, 2, 2);
    auto *scroll = named(new QScrollArea(panel), scrollName);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setFocusPolicy(Qt::NoFocus); // a frame, never a stop of the focus
    scroll->setWidgetResizable(true);
    inner->addWidget(scroll);
    return scroll;
}

} // namespace

void TfrmParamGNRE::buildLayout()
{
    setObjectName(QStringLiteral("frmParamGNRE"));
    setWindowTitle(QStringLiteral("Parâmetros da GNRE"));
    resize(765, 611);
    lblCodTela->setText(QStringLiteral("FIS94100"));

    // Picture sources of the grid's ST-manual column, hidden in the button bar.
    imgCheck = named(new TImage(panMenu), "imgCheck");
    imgCheck->setPicture(checkBoxPicture(true));
    imgCheck->hide();
    imgUnCheck = named(new TImage(panMenu), "imgUnCheck");
    imgUnCheck->setPicture(checkBoxPicture(false));
    imgUnCheck->hide();

    // Menu entries showing the active page, at the start of the operations menu.
    QAction *first = mnuOperacao->actions().value(0);
    mnuParamGeral = new QAction(QStringLiteral("&Parâmetros Gerais"), this);
    mnuParamGeral->setObjectName(QStringLiteral("mnuParamGeral"));
    mnuParamGeral->setCheckable(true);
    mnuParamGeral->setChecked(true);
    mnuParamInscr = new QAction(QStringLiteral("P&arâmetros por Inscrição"), this);
    mnuParamInscr->setObjectName(QStringLiteral("mnuParamInscr"));
    mnuParamInscr->setCheckable(true);
    mnuLinha = new QAction(this);
    mnuLinha->setObjectName(QStringLiteral("mnuLinha"));
    mnuLinha->setSeparator(true);
    mnuOperacao->insertActions(first, {mnuParamGeral, mnuParamInscr, mnuLinha});

    // Filter panel: the company the screen was opened for.
    panFiltroGNRE = named(new QFrame(this), "panFiltroGNRE");
    panFiltroGNRE->setFixedHeight(30);
    auto *filter = new QHBoxLayout(panFiltroGNRE);
    filter->setContentsMargins(8, 2, 8, 2);
    lblEmpresa = label(panFiltroGNRE, "lblEmpresa", QStringLiteral("Empresa"));
    edtEmpresa = named(new QLineEdit(panFiltroGNRE), "edtEmpresa");
    edtEmpresa->setEnabled(false);
    edtEmpresa->setFixedWidth(380);
    QPalette p = edtEmpresa->palette();
    for (auto g : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        p.setColor(g, QPalette::Base, clBtnFace());
    edtEmpresa->setPalette(p);
    filter->addWidget(lblEmpresa);
    filter->addWidget(edtEmpresa);
    filter->addStretch(1);
    clientLayout()->addWidget(panFiltroGNRE);

    pgcPadrao = named(new TPageControl(this), "pgcPadrao");
    tshParamGeral = named(new QWidget, "tshParamGeral");
    tshParamInscr = named(new QWidget, "tshParamInscr");
    pgcPadrao->addTab(tshParamGeral, QStringLiteral("Parâmetros Gerais"));
    pgcPadrao->addTab(tshParamInscr, QStringLiteral("Parâmetros por Inscrição"));
    pgcPadrao->setActivePage(tshParamGeral);
    clientLayout()->addWidget(pgcPadrao, 1);

    buildGeneralPage();
    buildRegistrationPage();
}

void TfrmParamGNRE::buildGeneralPage()
{
    scbParamGeral = pageFrame(tshParamGeral, panParamGeral, "panParamGeral", "scbParamGeral");
    auto *content = new QWidget;
    content->setObjectName(QStringLiteral("scbParamGeralContent"));
    auto *col = new QVBoxLayout(content);
    col->setContentsMargins(6, 6, 6, 6);
    col->setSpacing(8);
    // Put in its scroll area before it is filled: its size is worked out when
    // shown, not here as well.
    scbParamGeral->setWidget(content);

    // Payment date: days, branch of the calendar and which calendar.
    grbDtPagamento = named(new QGroupBox(QStringLiteral("Parâmetros Para Calcular da Data de Pagamento"), content), "grbDtPagamento");
    setWeight(grbDtPagamento, true);
    grbDtPagamento->setMinimumHeight(114);
    auto *dt = new QGridLayout(grbDtPagamento);
    dt->setHorizontalSpacing(6);
    lblQtdeDias = label(grbDtPagamento, "lblQtdeDias", QStringLiteral("Número de Dias Úteis "));
    dbeQtdeDias = edit(grbDtPagamento, "dbeQtdeDias", &dtsParamGeral, "NRDIASCALCDTPAG", 3);
    dbeQtdeDias->setMaxLength(2);
    lblFilial = label(grbDtPagamento, "lblFilial", QStringLiteral("Filial para Calendário"));
    dbeCdFilial = edit(grbDtPagamento, "dbeCdFilial", &dtsParamGeral, "CDFILIAL", 5);
    dbeCdFilial->setProperty("Tag", 1);
    dbeNmFilial = nameEdit(grbDtPagamento, "dbeNmFilial", &dtsParamGeral, "NMFILIAL");
    btpFilial = lookup(grbDtPagamento, "btpFilial", dbeCdFilial, QStringLiteral("Filial"), &dtsFilial,
                       QStringLiteral("Não há filial cadastrada."));
    rdgCalendario = named(new TRadioGroup(grbDtPagamento), "rdgCalendario");
    rdgCalendario->setTitle(QStringLiteral("Calendário"));
    setWeight(rdgCalendario, true);
    rdgCalendario->setItems({QStringLiteral("Filial"), QStringLiteral("Compras"), QStringLiteral("Bancário")}, 3);
    dt->addWidget(lblQtdeDias, 0, 0);
    dt->addWidget(dbeQtdeDias, 0, 1, Qt::AlignLeft);
    dt->addWidget(lblFilial, 1, 0);
    auto *branch = new QHBoxLayout;
    branch->setSpacing(2);
    branch->addWidget(dbeCdFilial);
    branch->addWidget(btpFilial);
    branch->addSpacing(6);
    branch->addWidget(dbeNmFilial, 1);
    dt->addLayout(branch, 1, 1);
    dt->addWidget(rdgCalendario, 2, 0, 1, 2);
    dt->setColumnStretch(1, 1);

    // Log, account payable and the guide-type variants.
    grbParamGNRE = named(new QGroupBox(content), "grbParamGNRE");
    grbParamGNRE->setFixedHeight(170);
    auto *gn = new QVBoxLayout(grbParamGNRE);
    gn->setSpacing(4);
    dckGeraLog = named(new TDBCheckBox(grbParamGNRE), "dckGeraLog");
    dckGeraLog->setText(QStringLiteral("Gera Arquivos de Log - GNRE"));
    dckGeraContaPag = named(new TDBCheckBox(grbParamGNRE), "dckGeraContaPag");
    dckGeraContaPag->setText(QStringLiteral("Gera Conta a Pagar"));
    for (TDBCheckBox *c : {dckGeraLog, dckGeraContaPag}) {
        setWeight(c, true);
        c->ValueChecked = QStringLiteral("S");
        c->ValueUnchecked = QStringLiteral("N");
    }
    dckGeraLog->setDataSource(&dtsParamGeral, QStringLiteral("IDGERALOGGNRE"));
    dckGeraContaPag->setDataSource(&dtsParamGeral, QStringLiteral("IDGERACONTAPAG"));
    lblTpOperac = label(grbParamGNRE, "lblTpOperac", QStringLiteral("Tipo de Operação"));
    dbeCdTpOper = edit(grbParamGNRE, "dbeCdTpOper", &dtsParamGeral, "CDTPOPERPAG", 3);
    dbeCdTpOper->setProperty("Tag", 1);
    btpTpOperac = lookup(grbParamGNRE, "btpTpOperac", dbeCdTpOper, QStringLiteral("Tipo de Operação"), &dtsTipoOperE,
                         QStringLiteral("Não há tipo de operação cadastrado"));
    dbeNmTpOperac = nameEdit(grbParamGNRE, "dbeNmTpOperac", &dtsParamGeral, "NMTIPOOPER");
    gn->addWidget(dckGeraLog);
    auto *payable = new QHBoxLayout;
    payable->setSpacing(2);
    payable->addWidget(dckGeraContaPag);
    payable->addSpacing(16);
    payable->addWidget(lblTpOperac);
    payable->addSpacing(6);
    payable->addWidget(dbeCdTpOper);
    payable->addWidget(btpTpOperac);
    payable->addSpacing(6);
    payable->addWidget(dbeNmTpOperac, 1);
    gn->addLayout(payable);

    nbkParametros = named(new TNotebook(grbParamGNRE), "nbkParametros");
    nbkParametros->setFixedHeight(105);
    gn->addWidget(nbkParametros);

    QWidget *online = nbkParametros->addPage(QStringLiteral("ParamOnline"));
    auto *on = new QGridLayout(online);
    on->setContentsMargins(0, 2, 0, 0);
    on->setHorizontalSpacing(6);
    lblLivroMag = label(online, "lblLivroMag", QStringLiteral("Livro Magnético"));
    dbeLivroMag = edit(online, "dbeLivroMag", &dtsParamGeral, "CDLIVROMAG", 11);
    btpLivroMag = lookup(online, "btpLivroMag", dbeLivroMag, QStringLiteral("Livro Magnético"), &dtsLivroMag,
                         QStringLiteral("Não existe livro magnético cadastrado."));
    dbeNmLivroMag = nameEdit(online, "dbeNmLivroMag", &dtsParamGeral, "NMLIVROMAG");
    lblProdutoGON = label(online, "lblProdutoGON", QStringLiteral("Produto"));
    dbeProduto = edit(online, "dbeProduto", &dtsParamGeral, "CDPRODUTOGON", 4);
    dbeProduto->setMaxLength(3);
    btpProduto = lookup(online, "btpProduto", dbeProduto, QStringLiteral("Produto"), &dtsProdGnreOnline,
                        QStringLiteral("Não há produto cadastrado para a GNRE Online."));
    dbeDsProduto = nameEdit(online, "dbeDsProduto", &dtsParamGeral, "DSPRODUTO");
    int row = 0;
    for (auto [lbl, code, button, name] : {std::tuple{lblLivroMag, dbeLivroMag, btpLivroMag, dbeNmLivroMag},
                                           std::tuple{lblProdutoGON, dbeProduto, btpProduto, dbeDsProduto}}) {
        on->addWidget(lbl, row, 0);
        auto *line = new QHBoxLayout;
        line->setSpacing(2);
        line->addWidget(code);
        line->addWidget(button);
        line->addSpacing(6);
        line->addWidget(name, 1);
        on->addLayout(line, row++, 1);
    }
    on->setColumnStretch(1, 1);
    on->setRowStretch(row, 1);

    QWidget *rj = nbkParametros->addPage(QStringLiteral("ParamRJ"));
    auto *rjl = new QGridLayout(rj);
    rjl->setContentsMargins(0, 2, 0, 0);
    rjl->setHorizontalSpacing(6);
    rjl->setVerticalSpacing(2);
    lblEmail = label(rj, "lblEmail", QStringLiteral("E-mail Padrão"));
    dbeEmail = edit(rj, "dbeEmail", &dtsParamGeral, "DSEMAILRETORNO", 0);
    lblProduto = label(rj, "lblProduto", QStringLiteral("Produto do Débito"));
    dbcProdDebito = named(new TDBComboBox(rj), "dbcProdDebito");
    setWeight(dbcProdDebito, false);
    dbcProdDebito->setItems({QString(), QStringLiteral("01 - Bebidas"),
                             QStringLiteral("02 - Cigarros e Outros Produtos Derivados do Fumo"),
                             QStringLiteral("03 - Veículos e Pneumáticos"),
                             QStringLiteral("04 - Medicamentos e Produtos Farmacêuticos"),
                             QStringLiteral("05 - Peças, Partes e Acessórios para Veículos Automotores"),
                             QStringLiteral("06 - Material de Construção"), QStringLiteral("07 - Produtos Alimentícios"),
                             QStringLiteral("08 - Cimento"), QStringLiteral("09 - Tintas e Vernizes"),
                             QStringLiteral("10 - Venda Porta a Porta"),
                             QStringLiteral("11 - Material de Limpeza Doméstica"), QStringLiteral("12 - Outros")});
    lblQualifiqNat = label(rj, "lblQualifiqNat", QStringLiteral("Qualificação da Natureza"));
    dbcQualiNat = named(new TDBComboBox(rj), "dbcQualiNat");
    setWeight(dbcQualiNat, false);
    dbcQualiNat->setItems({QString(), QStringLiteral("1 - Normal"), QStringLiteral("2 - Petróleo"),
                           QStringLiteral("3 - Energia Elétrica"), QStringLiteral("4 - Comunicações"),
                           QStringLiteral("5 - Transporte")});
    lblAliqFECP = label(rj, "lblAliqFECP", QStringLiteral("Alíquota FECP"));
    dbeAliqFECP = edit(rj, "dbeAliqFECP", &dtsParamGeral, "VRALIQFECP", 4);
    dbeAliqFECP->setMaxLength(3);
    lblPercent = label(rj, "lblPercent", QStringLiteral("%"));
    rjl->addWidget(lblEmail, 0, 0);
    rjl->addWidget(dbeEmail, 0, 1);
    rjl->addWidget(lblProduto, 1, 0);
    rjl->addWidget(dbcProdDebito, 1, 1);
    rjl->addWidget(lblQualifiqNat, 2, 0);
    rjl->addWidget(dbcQualiNat, 2, 1);
    rjl->addWidget(lblAliqFECP, 3, 0);
    auto *rate = new QHBoxLayout;
    rate->setSpacing(4);
    rate->addWidget(dbeAliqFECP);
    rate->addWidget(lblPercent);
    rate->addStretch(1);
    rjl->addLayout(rate, 3, 1);
    rjl->setColumnStretch(1, 1);
    dbcProdDebito->setDataSource(&dtsParamGeral, QStringLiteral("CDPRODUTODEB"));
    dbcQualiNat->setDataSource(&dtsParamGeral, QStringLiteral("CDNATUQUALIF"));

    col->addWidget(grbDtPagamento);
    col->addWidget(grbParamGNRE);
    col->addStretch(1);

    // Tab order: the lower group box first, then the payment-date group.
    QWidget *chain[] = {dckGeraLog, dckGeraContaPag, dbeCdTpOper, dbeLivroMag, dbeProduto, dbeEmail, dbcProdDebito,
                        dbcQualiNat, dbeAliqFECP, dbeQtdeDias, rdgCalendario->button(0), rdgCalendario->button(1),
                        rdgCalendario->button(2), dbeCdFilial};
    for (size_t i = 1; i < std::size(chain); ++i)
        QWidget::setTabOrder(chain[i - 1], chain[i]);
}

void TfrmParamGNRE::buildRegistrationPage()
{
    scbParamInscr = pageFrame(tshParamInscr, panParamInscr, "panParamInscr", "scbParamInscr");
    dbgParamInscr = named(new TDBGrid, "dbgParamInscr");
    dbgParamInscr->setFrameShape(QFrame::NoFrame);
    QPalette p = dbgParamInscr->palette();
    p.setColor(QPalette::Base, clInfoBk());
    dbgParamInscr->setPalette(p);
    dbgParamInscr->setDataSource(&dtsPadrao);
    dbgParamInscr->BeginUpdate();
    dbgParamInscr->addColumn(QStringLiteral("CDINSCESTA"));
    dbgParamInscr->addColumn(QStringLiteral("SGESTADO"));
    dbgParamInscr->addColumn(QStringLiteral("IDCALCSTMANUAL"), QString(), 60);
    dbgParamInscr->addColumn(QStringLiteral("CDENCARGOST"));
    dbgParamInscr->addColumn(QStringLiteral("NRCERTIFICDIG"));
    dbgParamInscr->addColumn(QStringLiteral("IDTPAMBIENTE"), QString(), 94,
                             {QStringLiteral("Homologação"), QStringLiteral("Produção")});
    dbgParamInscr->addColumn(QStringLiteral("DSEMAILRETORNO"), QString(), 323);
    dbgParamInscr->addColumn(QStringLiteral("IDPERIODOREFAPU"), QString(), 110,
                             {QString(), QStringLiteral("Decendial"), QStringLiteral("Quinzenal"), QStringLiteral("Mensal")});
    dbgParamInscr->addColumn(QStringLiteral("CDFILIALPAG"));
    dbgParamInscr->addColumn(QStringLiteral("IDFCPSEPIMP"), QString(), -1, {QStringLiteral("Não"), QStringLiteral("Sim")});
    dbgParamInscr->EndUpdate();
    dbgParamInscr->setOptions(dgTitles | dgColumnResize | dgColLines | dgRowLines | dgTabs | dgAlwaysShowSelection
                              | dgConfirmDelete | dgCancelOnExit);
    scbParamInscr->setWidget(dbgParamInscr);
}
