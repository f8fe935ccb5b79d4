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
    // The control that owns a widget (itself or an ancestor), or null.
    static TWinControl *controlOf(QWidget *widget);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool owns(QWidget *w) const;
    void focusOut(QWidget *from, Qt::FocusReason reason);
    void focusIn(QWidget *to, Qt::FocusReason reason);

    TWinControl *m_active = nullptr;
    QPointer<QWidget> m_activeWidget; // keeps m_active from dangling
    bool m_inExit = false;
};

} // namespace rt
