#pragma once

#include <QString>

// A consistent copy of a live SQLite database, taken with SQLite's online
// backup while services go on using it. Returns the number of pages copied;
// throws rt::Exception on failure (the copy is then removed).
int backupSqlite(const QString &database, const QString &copy);
