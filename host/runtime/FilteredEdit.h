#pragma once

#include <QLineEdit>
#include <functional>

class QClipboard;

namespace rt {

// A line edit whose pasted text goes through the same filter as typed
// characters, one character at a time, whatever the route of the paste
// (keyboard, context menu, middle click, drop): a paste inserts only what
// could have been typed.
class TFilteredLineEdit : public QLineEdit
{
    Q_OBJECT

public:
    using QLineEdit::QLineEdit;

    // The character that typing `c` puts in, or the null character when the
    // entry's filters discard it.
    std::function<QChar(QChar c)> CharFilter;
    // Runs before a paste inserts anything; false (or an exception) stops it.
    std::function<bool()> BeforePaste;

    // Inserts what passes of `text`, as a paste does.
    void pasteText(const QString &text);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
};

// Whether a character is one of the keys the controls act on themselves
// (Tab, Enter, Escape): the screen's character filters see it, but discarding
// it does not take the command away from the control.
inline bool isCommandChar(QChar c) { return c.unicode() == 9 || c.unicode() == 13 || c.unicode() == 27; }

} // namespace rt
