#include "Messages.h"

#include "Dialogs.h"

void TMessages::loadFromText(const QString &text)
{
    m_rows.clear();
    for (const QString &line : text.split(QLatin1Char('\n'))) {
        QString l = line;
        if (l.endsWith(QLatin1Char('\r')))
            l.chop(1);
        const int bar = l.indexOf(QLatin1Char('|'));
        if (bar > 0)
            add(l.left(bar), l.mid(bar + 1));
    }
}

void TMessages::add(const QString &key, const QString &text) { m_rows.append({key, text}); }

QString TMessages::Msg(const QString &key) const
{
    for (const auto &row : m_rows)
        if (row.first == key)
            return row.second;
    return QString();
}

int TMessages::ShowMsg(const QString &key, TMsgDlgType type, int buttons, int helpContext) const
{
    Q_UNUSED(helpContext);
    const QString text = Msg(key);
    if (type == mtError) {
        rt::Dialogs::showError(text);
        return mrOk;
    }
    if (type == mtInformation || type == mtWarning) {
        rt::Dialogs::showInformation(text);
        return mrOk;
    }
    QMessageBox::StandardButtons qb;
    if (buttons & mbYes) qb |= QMessageBox::Yes;
    if (buttons & mbNo) qb |= QMessageBox::No;
    if (buttons & mbOK) qb |= QMessageBox::Ok;
    if (buttons & mbCancel) qb |= QMessageBox::Cancel;
    switch (rt::Dialogs::confirm(text, qb)) {
    case QMessageBox::Yes: return mrYes;
    case QMessageBox::No: return mrNo;
    case QMessageBox::Ok: return mrOk;
    case QMessageBox::Cancel: return mrCancel;
    default: return mrNone;
    }
}
