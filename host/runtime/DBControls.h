#pragma once

#include "ClientDataSet.h"
#include "FilteredEdit.h"
#include "Form.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QStringList>

namespace rt {

// Colours of the runtime's palette.
QColor clBtnFace();
QColor clWindow();
QColor clInfoBk();

// Field binding shared by the data-aware controls.
class TFieldDataLink : public TDataLink
{
public:
    QString DataField;
    TField *Field() const;
    TClientDataSet *DataSet() const { return dataSource() ? dataSource()->DataSet() : nullptr; }
    bool Editing() const { return DataSet() && DataSet()->editing(); }
    // Auto-edit: puts a browsed dataset into edit state; false when the field cannot be written.
    bool Edit();
};

// Edit bound to a field.
class TDBEdit : public TFilteredLineEdit, public TWinControl, public TFieldDataLink
{
    Q_OBJECT

public:
    explicit TDBEdit(QWidget *parent = nullptr);

    std::function<void(QObject *sender)> OnChange;
    std::function<void(QObject *sender, QChar &key)> OnKeyPress;

    void setDataSource(TDataSource *source, const QString &field);
    void setMaxLength(int length); // 0: the field's size
    void setColor(const QColor &color);
    QColor Color() const { return m_color; }
    bool isModified() const { return m_modified; }

    // Displays the field's value again, dropping unwritten text.
    void Reset();
    // A text set by code: written to the field at the next exit or post while
    // the dataset is being edited, display only otherwise. Runs OnChange.
    void setText(const QString &text);

    QWidget *widget() override { return this; }
    // Leaving the control: its text goes into the field, and the display text is
    // shown, before the exit handler runs (which may show a text of its own).
    void writePending() override;

    // TDataLink
    void stateChanged() override;
    void dataChanged(TField *field) override;
    void updateData() override;
    bool focusField(TField *field) override;
    void layoutChanged() override { applyMask(); }

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void refresh();
    void applyMask();
    void applyColor();

    bool m_modified = false;
    bool m_refreshing = false;
    int m_maxLength = 0;
    QColor m_color;
};

// Drop-down list bound to a field: choice only among its items.
class TDBComboBox : public QComboBox, public TWinControl, public TFieldDataLink
{
    Q_OBJECT

public:
    explicit TDBComboBox(QWidget *parent = nullptr);
    void setDataSource(TDataSource *source, const QString &field);
    void setItems(const QStringList &items);
    QStringList Items() const;

    QWidget *widget() override { return this; }
    void stateChanged() override { refresh(); }
    void dataChanged(TField *field) override;
    bool focusField(TField *field) override;

private:
    void refresh();
    void choose(int index);
    bool m_choosing = false;
};

// Check box bound to a field with a checked and an unchecked value.
class TDBCheckBox : public QCheckBox, public TWinControl, public TFieldDataLink
{
    Q_OBJECT

public:
    explicit TDBCheckBox(QWidget *parent = nullptr);
    void setDataSource(TDataSource *source, const QString &field);

    QString ValueChecked = QStringLiteral("True");
    QString ValueUnchecked = QStringLiteral("False");
    // Fires on every change of state: the user's, the code's or the record's.
    std::function<void(QObject *sender)> OnClick;

    bool Checked() const { return checkState() == Qt::Checked; }
    void setChecked(bool checked) { setCheckState(checked ? Qt::Checked : Qt::Unchecked); }

    QWidget *widget() override { return this; }
    void stateChanged() override { refresh(); }
    void dataChanged(TField *field) override;
    bool focusField(TField *field) override;

protected:
    void nextCheckState() override;

private:
    void refresh();
};

// Radio group, not data-aware: items in columns; OnClick fires on the user's choice only.
class TRadioGroup : public QGroupBox, public TWinControl
{
    Q_OBJECT

public:
    explicit TRadioGroup(QWidget *parent = nullptr);
    void setItems(const QStringList &items, int columns);
    QStringList Items() const { return m_items; }
    int Columns() const { return m_columns; }
    int ItemIndex() const;
    void setItemIndex(int index); // fires nothing
    QAbstractButton *button(int index) const;

    std::function<void(QObject *sender)> OnClick; // may be detached (empty) and attached again

    QWidget *widget() override { return this; }

private:
    QButtonGroup m_group;
    QStringList m_items;
    int m_columns = 1;
};

} // namespace rt
