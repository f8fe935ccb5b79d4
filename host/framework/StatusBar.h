#pragma once

#include <QString>

class QStatusBar;
class QWidget;

// The status bar of the host's main window a form lives in (an MDI child
// reaches it through the area's ancestors).
namespace BarraStatus {

// The main window's status bar; null outside a main window, or when it has none.
QStatusBar *DaJanela(const QWidget *widget);
// Shows the text there until another replaces it (empty: clears the message);
// outside a main window nothing happens.
void Mostra(const QWidget *widget, const QString &text);
// The message shown now; empty outside a main window.
QString Mensagem(const QWidget *widget);

} // namespace BarraStatus
