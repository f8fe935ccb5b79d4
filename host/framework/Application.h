#pragma once

#include <QApplication>
#include <QPointer>

class QMdiArea;
class QWidget;

// The host application as screens see it: where their windows live, the form
// factory, and the global cursor.
namespace Application {

// The host's main window area for child windows; null when there is none (tests).
QMdiArea *mdiArea();
void setMdiArea(QMdiArea *area);

// Places a new form in the host (an MDI child window, or a top-level window).
void placeForm(QWidget *form);
// Brings a form's window to normal state and to the front.
void showForm(QWidget *form);

enum Cursor { crDefault = 0, crHourGlass = -11 };
void setCursor(int cursor);

// Creates a form the way the host's factory does: the reference is set before
// the form's own creation handling (FormCreate) runs.
template <class T>
T *CreateForm(T *&reference)
{
    reference = new T();
    placeForm(reference);
    reference->FormCreate();
    showForm(reference);
    return reference;
}

} // namespace Application

// The host's QApplication: an exception that reaches the event loop is shown,
// never passed to Qt.
class THostApplication : public QApplication
{
public:
    THostApplication(int &argc, char **argv);
    bool notify(QObject *receiver, QEvent *event) override;
};
