#pragma once

#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <functional>

class QDialog;
class QWidget;

namespace rt {

enum class DialogKind { Error, Information, Confirmation, Modal, SaveFile };

// What a dialog asks; a responder answers it instead of a person.
struct DialogRequest
{
    DialogKind kind = DialogKind::Error;
    QString title;
    QString text;
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    QDialog *dialog = nullptr; // for DialogKind::Modal: the real dialog, ready to be driven
    QString fileName;          // for DialogKind::SaveFile: suggested; the responder sets the one chosen
};

// The one seam every dialog of the runtime and the framework passes through.
// Without a responder the dialog is shown to the user; with one (tests, scripted
// runs) the responder answers with the button or dialog result the user would give.
class Dialogs
{
public:
    using Responder = std::function<int(DialogRequest &)>;

    static void setResponder(Responder responder);
    static bool hasResponder();
    // Every request answered so far, newest last (kept while a responder is set).
    static const QList<DialogRequest> &history();
    static void clearHistory();

    static void showError(const QString &text, QWidget *parent = nullptr);
    static void showInformation(const QString &text, QWidget *parent = nullptr);
    // Returns the button pressed (QMessageBox::Yes, QMessageBox::No, ...).
    static int confirm(const QString &text, QMessageBox::StandardButtons buttons, QWidget *parent = nullptr);
    // Runs a modal dialog and returns its result (QDialog::Accepted or Rejected).
    static int execModal(QDialog *dialog, const QString &title);
    // Asks where to save a file; empty when the user gives up.
    static QString saveFileName(const QString &title, const QString &suggested, const QString &filter, QWidget *parent = nullptr);

    // The caption dialogs carry.
    static QString applicationTitle();
    static void setApplicationTitle(const QString &title);
};

// Runs code started by a Qt event: an exception ends it there and goes to the
// error display (a silent abort shows nothing). Returns false when it raised.
bool guard(const std::function<void()> &code, QWidget *parent = nullptr);
// Reports an exception caught by a runtime catch block (call inside catch).
void reportCurrentException(QWidget *parent = nullptr);

} // namespace rt
