#include "MainWindow.h"

#include "ADOIBQuery.h"
#include "Application.h"
#include "Dialogs.h"
#include "Exceptions.h"
#include "HistoryWindow.h"
#include "NetConnection.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFormLayout>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QMenuBar>
#include <QSqlQuery>
#include <QStatusBar>

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent), m_area(new QMdiArea(this))
{
    setObjectName(QStringLiteral("frmPrincipal"));
    setWindowTitle(QStringLiteral("Sistema Fiscal"));
    m_area->setObjectName(QStringLiteral("mdiArea"));
    m_area->setBackground(QColor(96, 112, 136));
    setCentralWidget(m_area);
    Application::setMdiArea(m_area);

    QMenu *fiscal = menuBar()->addMenu(QStringLiteral("&Fiscal"));
    QAction *gnre = fiscal->addAction(QStringLiteral("&Parâmetros da GNRE (FIS94100)..."));
    gnre->setObjectName(QStringLiteral("actFIS94100"));
    gnre->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_G));
    connect(gnre, &QAction::triggered, this, [this] { rt::guard([this] { openParamGNRE(); }, this); });
    QAction *history = fiscal->addAction(QStringLiteral("&Histórico de alterações da GNRE..."));
    history->setObjectName(QStringLiteral("actHistoricoGNRE"));
    connect(history, &QAction::triggered, this, [this] { rt::guard([this] { openHistory(); }, this); });
    fiscal->addSeparator();
    fiscal->addAction(QStringLiteral("Sai&r"), QKeySequence(Qt::ALT | Qt::Key_F4), this, &QWidget::close);
    QMenu *windows = menuBar()->addMenu(QStringLiteral("&Janelas"));
    windows->addAction(QStringLiteral("&Cascata"), m_area, &QMdiArea::cascadeSubWindows);
    windows->addAction(QStringLiteral("&Lado a lado"), m_area, &QMdiArea::tileSubWindows);
    // Where the service is, always in sight; the screens' messages go beside it.
    auto *server = new QLabel(QStringLiteral("Servidor de aplicação: %1:%2").arg(Molvard::WebURL()).arg(Molvard::WebPort()), this);
    server->setObjectName(QStringLiteral("lblServidor"));
    statusBar()->addPermanentWidget(server);
    resize(1024, 740);
}

MainWindow::~MainWindow()
{
    // Screens first, then the modules that made them.
    m_area->closeAllSubWindows();
    delete m_area;
    for (QLibrary *lib : std::as_const(m_modules)) {
        using Fn = void (*)();
        if (auto fin = reinterpret_cast<Fn>(lib->resolve("Finalize")))
            fin();
        lib->unload();
        delete lib;
    }
}

static QString modulePath(const QString &module)
{
    const QByteArray dir = qgetenv("FIS94100_MODULE_DIR");
    const QStringList candidates{dir.isEmpty() ? QString() : QString::fromLocal8Bit(dir),
                                 QCoreApplication::applicationDirPath() + QStringLiteral("/../lib"),
                                 QCoreApplication::applicationDirPath() + QStringLiteral("/../lib/fis94100"), // installed
                                 QCoreApplication::applicationDirPath()};
    for (const QString &d : candidates) {
        if (d.isEmpty())
            continue;
        const QString p = QDir(d).filePath(QStringLiteral("lib%1.so").arg(module));
        if (QFile::exists(p))
            return p;
    }
    return module;
}

void MainWindow::openModule(const QString &module, const QVariant &params)
{
    QLibrary *lib = nullptr;
    for (QLibrary *l : std::as_const(m_modules))
        if (l->objectName() == module)
            lib = l;
    if (!lib) {
        lib = new QLibrary(modulePath(module));
        lib->setObjectName(module);
        if (!lib->load()) {
            const QString err = lib->errorString();
            delete lib;
            throw rt::Exception(QStringLiteral("Não foi possível carregar o módulo %1: %2").arg(module, err));
        }
        m_modules.append(lib);
        using Fn = void (*)();
        if (auto init = reinterpret_cast<Fn>(lib->resolve("Initialize")))
            init();
    }
    using Entry = void (*)(const QVariant &);
    auto entry = reinterpret_cast<Entry>(lib->resolve("IniProc"));
    if (!entry)
        throw rt::Exception(QStringLiteral("O módulo %1 não exporta IniProc.").arg(module));
    entry(params);
}

void MainWindow::openParamGNRE()
{
    QDialog dialog(this);
    dialog.setObjectName(QStringLiteral("dlgAbrirFIS94100"));
    dialog.setWindowTitle(QStringLiteral("Parâmetros da GNRE"));
    auto *form = new QFormLayout(&dialog);
    auto *guide = new QComboBox(&dialog);
    guide->setObjectName(QStringLiteral("cbxTipoGuia"));
    guide->setEditable(true);
    guide->addItems(HostLists::tiposGuia());
    auto *company = new QComboBox(&dialog);
    company->setObjectName(QStringLiteral("cbxEmpresa"));
    company->addItems(HostLists::empresas());
    form->addRow(QStringLiteral("Tipo de guia"), guide);
    form->addRow(QStringLiteral("Empresa"), company);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    form->addRow(buttons);
    if (rt::Dialogs::execModal(&dialog, dialog.windowTitle()) != QDialog::Accepted)
        return;
    openModule(QStringLiteral("Pkg_fis94100"), QVariantList{guide->currentText().trimmed(), company->currentText()});
}

THistoricoGNRE *MainWindow::openHistory()
{
    // One history window: asked again, the one open comes to the front.
    for (QMdiSubWindow *w : m_area->subWindowList())
        if (auto *h = qobject_cast<THistoricoGNRE *>(w->widget())) {
            m_area->setActiveSubWindow(w);
            return h;
        }
    auto *history = new THistoricoGNRE;
    QMdiSubWindow *sub = m_area->addSubWindow(history);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    sub->show();
    history->Carrega(); // a failure shows and leaves the window open, empty
    return history;
}

void MainWindow::closeSubWindowOf(QWidget *screen)
{
    auto *sub = screen ? qobject_cast<QMdiSubWindow *>(screen->parentWidget()) : nullptr;
    if (!sub)
        return;
    QPointer<QMdiSubWindow> guard(sub);
    sub->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    delete guard.data();
}
