#pragma once

#include <QString>

// Who sent a request, as the history of changes records it: the login the
// client declares it runs under (not an authentication) and the address the
// request came from.
struct RequestOrigin
{
    QString user;
    QString address;
};
