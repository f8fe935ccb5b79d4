#pragma once

#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <QVector>

// Modal results as the screens compare them.
enum TModalResult { mrNone = 0, mrOk = 1, mrCancel = 2, mrAbort = 3, mrRetry = 4, mrIgnore = 5, mrYes = 6, mrNo = 7 };
enum TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation };
enum TMsgDlgBtn { mbYes = 0x1, mbNo = 0x2, mbOK = 0x4, mbCancel = 0x8 };

// A message table: rows of key and text, stored one a line as "key|text".
class TMessages
{
public:
    explicit TMessages(const QString &name = QString()) : Name(name) {}

    QString Name;

    void loadFromText(const QString &text);
    void add(const QString &key, const QString &text);
    int count() const { return int(m_rows.size()); }
    QString key(int index) const { return m_rows.at(index).first; }

    // The text of the row with that key; empty for a key the table lacks.
    QString Msg(const QString &key) const;
    // Shows the key's text in a modal dialog; returns the button pressed as a modal result.
    int ShowMsg(const QString &key, TMsgDlgType type, int buttons, int helpContext) const;

private:
    QVector<QPair<QString, QString>> m_rows;
};
