#pragma once

#include "Buttons.h"
#include "ClientDataSet.h"
#include "Form.h"
#include "Messages.h"

#include <QLabel>
#include <QMenu>
#include <QMenuBar>

class QFrame;
class QVBoxLayout;

enum TCloseAction { caNone, caHide, caFree, caMinimize };

// The base form of maintenance screens: the button bar and its menu, the
// message tables and the data source the standard operations act on. A screen
// replaces a handler by overriding it and calls the base's version where it wants.
class TfrmPadraoSimples : public rt::TForm
{
    Q_OBJECT

public:
    explicit TfrmPadraoSimples(QWidget *parent = nullptr);
    ~TfrmPadraoSimples() override;

    // Button bar
    QFrame *panMenu;
    TButtonFlat *sbtConfirmar, *sbtCancelar, *sbtIncluir, *sbtAlterar, *sbtExcluir, *sbtProcurar, *sbtVerificar, *sbtImprimir;
    QLabel *lblCodTela;
    // Menu
    QMenuBar *mnuMenu;
    QMenu *mnuOperacao;
    QAction *mnuConfirmar, *mnuCancelar, *mnuIncluir, *mnuAlterar, *mnuExcluir, *mnuProcurar, *mnuVerificar, *mnuImprimir;
    QAction *mnuListagem, *mnuConfigImpressora;
    // Data and messages
    rt::TDataSource dtsPadrao{QStringLiteral("dtsPadrao")};
    TMessages msgPadrao{QStringLiteral("msgPadrao")};
    TMessages msgMensagensPadroes{QStringLiteral("msgMensagensPadroes")};

    // Handlers
    virtual void FormCreate();
    virtual void FormShow();
    virtual void FormClose(TCloseAction &action);
    virtual void dtsPadraoStateChange();
    virtual void sbtConfirmarClick();
    virtual void sbtCancelarClick();
    virtual void sbtIncluirClick();
    virtual void sbtAlterarClick();
    virtual void sbtExcluirClick();
    // The question every delete asks ("Excl" of the standard messages).
    bool ConfirmaExclusao();
    virtual void sbtProcurarClick();
    virtual void sbtVerificarClick();
    virtual void sbtImprimirClick();

    // Where a screen puts its own controls, under the button bar.
    QVBoxLayout *clientLayout() const { return m_client; }
    // The menu entry paired with a button.
    QAction *menuEntryOf(TButtonFlat *button) const;

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    TButtonFlat *addButton(const QString &name, const QString &caption, const QString &icon, const QString &menuText,
                           QAction *&entry, void (TfrmPadraoSimples::*handler)());
    QVBoxLayout *m_client;
    bool m_shown = false;
    QList<QPair<TButtonFlat *, QAction *>> m_pairs;
};
