#include "Application.h"

#include "Dialogs.h"

#include <QLibraryInfo>
#include <csignal>
#include <QLocale>
#include <QMdiArea>
#include <QTranslator>
#include <QMdiSubWindow>
#include <QStyle>
#include <QStyleOptionTitleBar>

namespace Application {

namespace {
QPointer<QMdiArea> g_area;
int g_cursorDepth = 0;
} // namespace

QMdiArea *mdiArea() { return g_area; }
void setMdiArea(QMdiArea *area) { g_area = area; }

void placeForm(QWidget *form)
{
    if (!g_area)
        return;
    const QSize design = form->size();
    QMdiSubWindow *sub = g_area->addSubWindow(form);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    // The window opens at the form's design size, frame and title bar around it.
    QStyleOptionTitleBar opt;
    opt.initFrom(sub);
    const int title = sub->style()->pixelMetric(QStyle::PM_TitleBarHeight, &opt, sub);
    const int border = sub->style()->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth, nullptr, sub);
    sub->setProperty("openSize", design + QSize(2 * border, title + border));
}

void showForm(QWidget *form)
{
    QWidget *w = form;
    if (auto *sub = qobject_cast<QMdiSubWindow *>(form->parentWidget()))
        w = sub;
    w->setWindowState((w->windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized)) | Qt::WindowActive);
    w->show();
    if (const QVariant open = w->property("openSize"); open.isValid()) {
        w->resize(open.toSize());
        w->setProperty("openSize", QVariant());
    }
    w->raise();
    if (auto *sub = qobject_cast<QMdiSubWindow *>(w); sub && g_area)
        g_area->setActiveSubWindow(sub);
    else
        w->activateWindow();
}

void setCursor(int cursor)
{
    if (cursor == crHourGlass) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        ++g_cursorDepth;
        return;
    }
    while (g_cursorDepth > 0) {
        QApplication::restoreOverrideCursor();
        --g_cursorDepth;
    }
}

} // namespace Application

THostApplication::THostApplication(int &argc, char **argv) : QApplication(argc, argv)
{
    // A service that closes the connection while a request is being sent gives
    // an error of the call, not the end of the program.
    std::signal(SIGPIPE, SIG_IGN);
    // Qt's own texts (the dialogs' standard buttons: "Sim", "Não", "Cancelar") in Portuguese.
    auto *qt = new QTranslator(this);
    if (qt->load(QLocale(QLocale::Portuguese, QLocale::Brazil), QStringLiteral("qtbase"), QStringLiteral("_"),
                 QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        installTranslator(qt);
    else
        qWarning("fis94100: Qt's Portuguese translations (qtbase_pt_BR.qm) were not found; standard buttons stay in English");
}

bool THostApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        rt::reportCurrentException();
        return false;
    }
}
