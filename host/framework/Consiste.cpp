#include "Consiste.h"

#include "DBGrid.h"
#include "Dialogs.h"
#include "Exceptions.h"

namespace Consiste {

QString Ajusta(const QString &text, int width)
{
    QString t = text.trimmed();
    if (t.isEmpty() || width <= 0)
        return t;
    for (QChar c : t)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return t;
    while (t.size() > width && t.startsWith(QLatin1Char('0')))
        t.remove(0, 1);
    if (t.size() > width)
        return t;
    return t.rightJustified(width, QLatin1Char('0'));
}

bool EmptyString(const QString &text) { return text.trimmed().isEmpty(); }

void MensErro(const QString &text, bool raise)
{
    Q_UNUSED(raise);
    rt::Dialogs::showError(text);
    Sysutils::Abort();
}

QJsonValue CheckResultServ(const ServerReply &reply, bool raise, int option)
{
    Q_UNUSED(raise);
    Q_UNUSED(option);
    if (!reply.ok)
        throw rt::Exception(reply.error.isEmpty() ? QStringLiteral("O servidor de aplicação recusou a operação.") : reply.error);
    return reply.payload;
}

int IndiceCol(rt::TDBGrid *grid, const QString &fieldName)
{
    for (int i = 0; i < grid->columnCount(); ++i)
        if (grid->Columns(i)->FieldName.compare(fieldName, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

QString GridText(rt::TDBGrid *grid, const QString &fieldName, bool displayText)
{
    const int col = IndiceCol(grid, fieldName);
    if (col < 0)
        return QString();
    if (grid->SelectedIndex() == col && grid->editorOpen())
        return grid->editorText();
    rt::TField *f = grid->Columns(col)->Field();
    if (!f)
        return QString();
    return displayText ? f->DisplayText() : f->AsString();
}

} // namespace Consiste
