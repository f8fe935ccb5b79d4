#pragma once

#include <QJsonValue>
#include <QString>

namespace rt { class TDBGrid; }

// A reply of the application server: the payload, or the failure it reports.
struct ServerReply
{
    bool ok = false;
    QJsonValue payload;
    QString error;
};

// Checks and adjustments shared by the screens.
namespace Consiste {

// Brings a code to a width: trimmed, and a code of digits padded on the left with
// zeros ("7" at width 10 is "0000000007"). A code of digits longer than the width
// loses leading zeros down to the width, keeping its value; a code that is not all
// digits, or that cannot fit without changing its value, is returned trimmed and
// otherwise unchanged, so a lookup finds nothing for it.
QString Ajusta(const QString &text, int width);
// True for an empty or all-blank text.
bool EmptyString(const QString &text);
// Shows the text as an error, then ends the operation in progress silently.
[[noreturn]] void MensErro(const QString &text, bool raise = true);
// The payload of a successful reply; raises with the server's message otherwise.
QJsonValue CheckResultServ(const ServerReply &reply, bool raise = true, int option = 0);
// The text of the column showing a field in the grid's current row, typing not yet written included.
QString GridText(rt::TDBGrid *grid, const QString &fieldName, bool displayText = false);
// Index of the grid column showing a field, or -1.
int IndiceCol(rt::TDBGrid *grid, const QString &fieldName);

} // namespace Consiste
