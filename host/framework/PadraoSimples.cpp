#include "PadraoSimples.h"

#include "DBGrid.h"
#include "Dialogs.h"
#include "NetConnection.h"
#include "Pesquisa.h"
#include "Showavi.h"

#include <QCloseEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QMdiSubWindow>
#include <QPointer>
#include <QTimer>
#include <QVBoxLayout>

using namespace rt;

namespace {

// Holds a form's painting while its first show handler runs (it usually reads
// the records from the service): the form is painted once, filled, instead of
// empty while the call waits and then again. In the host the hold covers the
// form's sub-window too, so that its frame is painted once, with the form. A
// handler that takes long lets it paint when the busy indicator is due; an
// error lets it paint before its message shows.
class FirstPaintHold
{
public:
    explicit FirstPaintHold(QWidget *form) : m_target(form)
    {
        if (auto *sub = qobject_cast<QMdiSubWindow *>(form->parentWidget()))
            m_target = sub;
        if (!m_target->updatesEnabled())
            return; // held by someone else: left as it is
        m_target->setUpdatesEnabled(false);
        m_release.setSingleShot(true);
        m_release.setProperty(TNetConnection::RunsDuringCalls, true);
        QObject::connect(&m_release, &QTimer::timeout, [this] { release(); });
        m_release.start(Showavi::delay());
        m_held = true;
    }
    ~FirstPaintHold() { release(); }
    FirstPaintHold(const FirstPaintHold &) = delete;
    FirstPaintHold &operator=(const FirstPaintHold &) = delete;

private:
    void release()
    {
        if (!m_held)
            return;
        m_held = false;
        m_release.stop();
        if (m_target)
            m_target->setUpdatesEnabled(true);
    }

    QPointer<QWidget> m_target;
    QTimer m_release;
    bool m_held = false;
};

} // namespace

TfrmPadraoSimples::TfrmPadraoSimples(QWidget *parent) : TForm(parent)
{
    setAttribute(Qt::WA_DeleteOnClose, false);
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    mnuMenu = new QMenuBar(this);
    mnuMenu->setObjectName(QStringLiteral("mnuMenu"));
    mnuMenu->setNativeMenuBar(false);
    mnuOperacao = mnuMenu->addMenu(QStringLiteral("&Operação"));
    mnuOperacao->setObjectName(QStringLiteral("mnuOperacao"));
    outer->setMenuBar(mnuMenu);

    panMenu = new QFrame(this);
    panMenu->setObjectName(QStringLiteral("panMenu"));
    panMenu->setFrameShape(QFrame::StyledPanel);
    panMenu->setAutoFillBackground(true);
    auto *bar = new QHBoxLayout(panMenu);
    bar->setContentsMargins(4, 2, 8, 2);
    bar->setSpacing(2);
    outer->addWidget(panMenu);

    sbtConfirmar = addButton("sbtConfirmar", "Confirmar", "confirm", "&Confirmar", mnuConfirmar, &TfrmPadraoSimples::sbtConfirmarClick);
    sbtCancelar = addButton("sbtCancelar", "Cancelar", "cancel", "Ca&ncelar", mnuCancelar, &TfrmPadraoSimples::sbtCancelarClick);
    mnuOperacao->addSeparator();
    sbtIncluir = addButton("sbtIncluir", "Incluir", "insert", "&Incluir", mnuIncluir, &TfrmPadraoSimples::sbtIncluirClick);
    sbtAlterar = addButton("sbtAlterar", "Alterar", "edit", "A&lterar", mnuAlterar, &TfrmPadraoSimples::sbtAlterarClick);
    sbtExcluir = addButton("sbtExcluir", "Excluir", "delete", "&Excluir", mnuExcluir, &TfrmPadraoSimples::sbtExcluirClick);
    sbtProcurar = addButton("sbtProcurar", "Procurar", "search", "Procu&rar", mnuProcurar, &TfrmPadraoSimples::sbtProcurarClick);
    sbtVerificar = addButton("sbtVerificar", "Verificar", "refresh", "&Verificar", mnuVerificar, &TfrmPadraoSimples::sbtVerificarClick);
    sbtImprimir = addButton("sbtImprimir", "Imprimir", "print", "Im&primir", mnuImprimir, &TfrmPadraoSimples::sbtImprimirClick);
    sbtConfirmar->setShortcut(QKeySequence(Qt::Key_F10));
    sbtCancelar->setShortcut(QKeySequence(Qt::Key_F11));
    bar->addStretch(1);
    lblCodTela = new QLabel(panMenu);
    lblCodTela->setObjectName(QStringLiteral("lblCodTela"));
    QFont f = lblCodTela->font();
    f.setBold(true);
    lblCodTela->setFont(f);
    bar->addWidget(lblCodTela);

    QMenu *listMenu = mnuMenu->addMenu(QStringLiteral("&Listagem"));
    mnuListagem = listMenu->menuAction();
    mnuListagem->setObjectName(QStringLiteral("mnuListagem"));
    mnuConfigImpressora = mnuMenu->addAction(QStringLiteral("Configurar &Impressora"));
    mnuConfigImpressora->setObjectName(QStringLiteral("mnuConfigImpressora"));

    m_client = new QVBoxLayout;
    m_client->setContentsMargins(0, 0, 0, 0);
    m_client->setSpacing(0);
    outer->addLayout(m_client, 1);

    msgMensagensPadroes.add(QStringLiteral("Canc"), QStringLiteral("Deseja cancelar as alterações?"));
    msgMensagensPadroes.add(QStringLiteral("Excl"), QStringLiteral("Confirma a exclusão do registro?"));
    dtsPadrao.OnStateChange = [this](TDataSource &) { dtsPadraoStateChange(); };
}

TfrmPadraoSimples::~TfrmPadraoSimples() = default;

TButtonFlat *TfrmPadraoSimples::addButton(const QString &name, const QString &caption, const QString &icon,
                                          const QString &menuText, QAction *&entry, void (TfrmPadraoSimples::*handler)())
{
    auto *b = new TButtonFlat(caption, icon, panMenu);
    b->setObjectName(name);
    static_cast<QHBoxLayout *>(panMenu->layout())->addWidget(b);
    entry = mnuOperacao->addAction(b->icon(), menuText);
    entry->setObjectName(QStringLiteral("mnu") + name.mid(3));
    auto run = [this, handler] { guard([&] { (this->*handler)(); }, this); };
    connect(b, &QToolButton::clicked, this, run);
    connect(entry, &QAction::triggered, this, run);
    m_pairs.append({b, entry});
    return b;
}

QAction *TfrmPadraoSimples::menuEntryOf(TButtonFlat *button) const
{
    for (const auto &p : m_pairs)
        if (p.first == button)
            return p.second;
    return nullptr;
}

void TfrmPadraoSimples::FormCreate()
{
    for (const auto &p : m_pairs) {
        p.first->setEnabled(false);
        p.second->setEnabled(false);
    }
    mnuListagem->setEnabled(false);
    mnuConfigImpressora->setEnabled(false);
    // Deleting asks one question, whether by the button, the menu or the grid's Ctrl+Delete.
    for (TDBGrid *grid : findChildren<TDBGrid *>())
        grid->OnConfirmDelete = [this] { return ConfirmaExclusao(); };
}

bool TfrmPadraoSimples::ConfirmaExclusao()
{
    return msgMensagensPadroes.ShowMsg(QStringLiteral("Excl"), mtConfirmation, mbYes | mbNo, 0) == mrYes;
}

void TfrmPadraoSimples::FormShow() {}

void TfrmPadraoSimples::FormClose(TCloseAction &action) { action = caFree; }

void TfrmPadraoSimples::dtsPadraoStateChange() {}

void TfrmPadraoSimples::sbtConfirmarClick()
{
    if (TClientDataSet *ds = dtsPadrao.DataSet(); ds && ds->editing())
        ds->Post();
}

void TfrmPadraoSimples::sbtCancelarClick()
{
    if (TClientDataSet *ds = dtsPadrao.DataSet(); ds && ds->editing())
        ds->Cancel();
}

void TfrmPadraoSimples::sbtIncluirClick()
{
    if (TClientDataSet *ds = dtsPadrao.DataSet())
        ds->Insert();
}

void TfrmPadraoSimples::sbtAlterarClick()
{
    if (TClientDataSet *ds = dtsPadrao.DataSet())
        ds->Edit();
}

void TfrmPadraoSimples::sbtExcluirClick()
{
    TClientDataSet *ds = dtsPadrao.DataSet();
    if (!ds || ds->IsEmpty())
        return;
    if (ConfirmaExclusao())
        ds->Delete();
}

void TfrmPadraoSimples::sbtProcurarClick()
{
    Pesquisa::Pesquisar(&dtsPadrao, windowTitle() + QStringLiteral("|Não há registros."), false, true);
}

void TfrmPadraoSimples::sbtVerificarClick() {}
void TfrmPadraoSimples::sbtImprimirClick() {}

void TfrmPadraoSimples::showEvent(QShowEvent *event)
{
    TForm::showEvent(event);
    if (m_shown)
        return;
    m_shown = true;
    guard([this] {
        FirstPaintHold hold(this);
        FormShow();
    }, this);
}

void TfrmPadraoSimples::closeEvent(QCloseEvent *event)
{
    TCloseAction action = caHide;
    if (!guard([&] { FormClose(action); }, this) || action == caNone) {
        event->ignore();
        return;
    }
    event->accept();
    if (action == caFree) {
        if (auto *sub = qobject_cast<QMdiSubWindow *>(parentWidget()))
            sub->setAttribute(Qt::WA_DeleteOnClose);
        else
            deleteLater();
    }
}
