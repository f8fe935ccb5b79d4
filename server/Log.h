#pragma once

#include <QString>

#include <string_view>

// The service's log: one line per event on standard error (the journal under
// systemd), with the time in UTC. Never a token or a request's body.
namespace svclog {

enum class Level { Error = 0, Warning = 1, Info = 2, Debug = 3 };

void setLevel(Level level);
// "error", "warning", "info" or "debug"; false for anything else.
bool setLevel(const QString &name);
bool enabled(Level level);
void write(Level level, const QString &line);
// The same for a line already in UTF-8.
void write(Level level, std::string_view line);

inline void error(const QString &line) { write(Level::Error, line); }
inline void warning(const QString &line) { write(Level::Warning, line); }
inline void info(const QString &line) { write(Level::Info, line); }

} // namespace svclog
