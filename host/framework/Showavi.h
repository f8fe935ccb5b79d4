#pragma once

class QWidget;

// The busy indicator over a form. Every ActiveShowAvi is paired with a
// DeactiveShowAvi; calls nest. It appears only when the work takes long enough
// to be noticed, and animates while the caller waits for the server.
namespace Showavi {

void ActiveShowAvi(QWidget *form, int kind);
void DeactiveShowAvi();
bool isActive();
// Whether the indicator is on screen now (after the delay).
bool isVisible();
// Delay before it shows, in milliseconds.
void setDelay(int ms);
int delay();

} // namespace Showavi
