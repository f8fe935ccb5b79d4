#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>

namespace rt {

// A control that takes part in the form's focus moves.
class TWinControl
{
public:
    virtual ~TWinControl() = default;

    std::function<void(QObject *sender)> OnEnter;
    std::function<void(QObject *sender)> OnExit;

    virtual QWidget *widget() = 0;
    // Writes what the control holds into its field (edits, the grid's cell editor).
    virtual void writePending() {}
    // The focus has left the control for another control of the form.
    virtual void afterExit() {}
};

// Marks the time a server call waits, during which no handler of a form runs:
// a focus move that happens meanwhile (a window activated, a page shown) is
// settled by each form after the call, with its exit and enter handling.
class WaitScope
{
public:
    WaitScope();
    ~WaitScope();
    WaitScope(const WaitScope &) = delete;
    WaitScope &operator=(const WaitScope &) = delete;
    static bool active();
};

// A window whose controls get exit and enter events as the focus moves between
// them. Moves to a dialog or another window, and moves inside one control (a
// grid and its cell editor) are no moves between controls and fire nothing.
class TForm : public QWidget
{
    Q_OBJECT

public:
    explicit TForm(QWidget *parent = nullptr);
    ~TForm() override;

    TWinControl *ActiveControl() const { return m_active; }
    // Leaves the active control as a move elsewhere in the form would (a page
    // change): its exit runs now. False when the exit refused, the focus kept.
    bool exitActiveControl();
    // The control that owns a widget (itself or an ancestor), or null.
    static TWinControl *controlOf(QWidget *widget);

    // Whether a widget can be a stop of the form's Tab chain: a visible,
    // enabled part of one of its controls that takes the focus by Tab.
    bool isTabStop(QWidget *w) const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    // Tab and Shift+Tab go round the form's own controls, whatever window the
    // form sits in (a host's sub-window frame is no stop).
    bool focusNextPrevChild(bool next) override;

private:
    bool owns(QWidget *w) const;
    void focusOut(QWidget *from, Qt::FocusReason reason);
    // Returns true when the focus-in must not reach the widget (the exit of the
    // control left was refused and the focus went back to it).
    bool focusIn(QWidget *to, Qt::FocusReason reason);
    // Runs the exit of the active control for a move to `next`; false when refused.
    bool runExit(QWidget *next);
    void setActive(TWinControl *control);
    void forgetDestroyedActive();
    // The control is entered: active now, and its enter handling runs.
    void enter(TWinControl *control);
    // After a server call: runs the exit and enter of a focus move made while it waited.
    void settleFocus();
    friend class WaitScope;

    TWinControl *m_active = nullptr;
    QPointer<QWidget> m_activeWidget; // keeps m_active from dangling
    bool m_inExit = false;
    // The focus left the active control for a frame around the form (the host's
    // sub-window passes it on): the exit runs when it lands on another control.
    bool m_inTransit = false;
};

} // namespace rt
