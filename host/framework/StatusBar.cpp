#include "StatusBar.h"

#include <QMainWindow>
#include <QStatusBar>

namespace BarraStatus {

QStatusBar *DaJanela(const QWidget *widget)
{
    for (const QWidget *w = widget; w; w = w->parentWidget())
        if (auto *main = qobject_cast<const QMainWindow *>(w))
            // Its own bar only: statusBar() would make one for a window without.
            return main->findChild<QStatusBar *>(QString(), Qt::FindDirectChildrenOnly);
    return nullptr;
}

void Mostra(const QWidget *widget, const QString &text)
{
    QStatusBar *bar = DaJanela(widget);
    if (!bar)
        return;
    if (text.isEmpty())
        bar->clearMessage();
    else
        bar->showMessage(text);
}

QString Mensagem(const QWidget *widget)
{
    const QStatusBar *bar = DaJanela(widget);
    return bar ? bar->currentMessage() : QString();
}

} // namespace BarraStatus
