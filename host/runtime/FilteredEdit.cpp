#include "FilteredEdit.h"

#include "Dialogs.h"
#include "Exceptions.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QMenu>
#include <QMimeData>
#include <QPointer>

namespace rt {

void TFilteredLineEdit::pasteText(const QString &text)
{
    if (isReadOnly())
        return;
    QString allowed;
    bool ok = guard([&] {
        for (QChar c : text) {
            if (c.unicode() < 32 || c.unicode() == 127)
                continue; // line breaks and other controls are never typed into an entry
            const QChar k = CharFilter ? CharFilter(c) : c;
            if (!k.isNull() && k.unicode() >= 32)
                allowed += k;
        }
    }, this);
    if (!ok || allowed.isEmpty())
        return;
    if (BeforePaste) {
        bool go = false;
        if (!guard([&] { go = BeforePaste(); }, this) || !go)
            return;
    }
    insert(allowed);
}

void TFilteredLineEdit::keyPressEvent(QKeyEvent *event)
{
    if (event->matches(QKeySequence::Paste)) {
        pasteText(QApplication::clipboard()->text(QClipboard::Clipboard));
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void TFilteredLineEdit::contextMenuEvent(QContextMenuEvent *event)
{
    // The entry's own menu: its paste is the filtered one, and what changes
    // the text asks first whether it may (a data-aware entry starts its edit).
    auto *menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const bool writable = !isReadOnly();
    auto add = [&](const char *name, const QString &text, QKeySequence::StandardKey key, bool enabled, auto slot) {
        QAction *a = menu->addAction(text);
        a->setObjectName(QString::fromLatin1(name));
        a->setShortcut(QKeySequence(key));
        a->setEnabled(enabled);
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    auto changing = [this](auto change) {
        return [this, change] {
            if (!BeforePaste || guard([&] { if (!BeforePaste()) throw EAbort(); }, this))
                change();
        };
    };
    const QString clip = QApplication::clipboard()->text(QClipboard::Clipboard);
    add("edit-undo", QStringLiteral("&Desfazer"), QKeySequence::Undo, writable && isUndoAvailable(), [this] { undo(); });
    add("edit-redo", QStringLiteral("&Refazer"), QKeySequence::Redo, writable && isRedoAvailable(), [this] { redo(); });
    menu->addSeparator();
    add("edit-cut", QStringLiteral("Recor&tar"), QKeySequence::Cut, writable && hasSelectedText() && echoMode() == Normal,
        changing([this] { cut(); }));
    add("edit-copy", QStringLiteral("&Copiar"), QKeySequence::Copy, hasSelectedText() && echoMode() == Normal, [this] { copy(); });
    add("edit-paste", QStringLiteral("Co&lar"), QKeySequence::Paste, writable && !clip.isEmpty(),
        [this] { pasteText(QApplication::clipboard()->text(QClipboard::Clipboard)); });
    add("edit-delete", QStringLiteral("E&xcluir"), QKeySequence::Delete, writable && hasSelectedText(), changing([this] { del(); }));
    menu->addSeparator();
    add("select-all", QStringLiteral("Selecionar &tudo"), QKeySequence::SelectAll, !text().isEmpty(), [this] { selectAll(); });
    menu->popup(event->globalPos());
    event->accept();
}

void TFilteredLineEdit::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::MiddleButton) {
        if (QApplication::clipboard()->supportsSelection())
            pasteText(QApplication::clipboard()->text(QClipboard::Selection));
        event->accept();
        return;
    }
    QLineEdit::mouseReleaseEvent(event);
}

void TFilteredLineEdit::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasText() && !isReadOnly())
        event->acceptProposedAction();
    else
        event->ignore();
}

void TFilteredLineEdit::dropEvent(QDropEvent *event)
{
    if (!event->mimeData()->hasText()) {
        event->ignore();
        return;
    }
    setCursorPosition(cursorPositionAt(event->position().toPoint()));
    pasteText(event->mimeData()->text());
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

} // namespace rt
