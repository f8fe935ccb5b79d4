#pragma once

#include <QChar>
#include <QKeyEvent>

// Key codes and characters as the screen's handlers see them.
namespace rt {

enum VirtualKey : quint16 {
    VK_BACK = 8, VK_TAB = 9, VK_RETURN = 13, VK_ESCAPE = 27, VK_SPACE = 32,
    VK_PRIOR = 33, VK_NEXT = 34, VK_END = 35, VK_HOME = 36,
    VK_LEFT = 37, VK_UP = 38, VK_RIGHT = 39, VK_DOWN = 40,
    VK_INSERT = 45, VK_DELETE = 46, VK_F2 = 113,
};

// The virtual-key code of a key event (letters and digits are their upper-case code).
quint16 virtualKey(const QKeyEvent *event);
// The character a key event types, or the null character when it types none
// (Backspace is 8, Enter 13, Escape 27).
QChar keyChar(const QKeyEvent *event);
// UpCase of a single character.
inline QChar UpCase(QChar c) { return c.toUpper(); }

} // namespace rt
