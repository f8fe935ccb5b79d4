#include "Log.h"

#include <QDateTime>
#include <atomic>
#include <cstdio>
#include <mutex>

namespace svclog {

namespace {
std::atomic<int> g_level{int(Level::Info)};
std::mutex g_lock;
const char *const kNames[] = {"error", "warning", "info", "debug"};
} // namespace

void setLevel(Level level) { g_level = int(level); }

bool setLevel(const QString &name)
{
    for (int i = 0; i < 4; ++i)
        if (name.compare(QLatin1String(kNames[i]), Qt::CaseInsensitive) == 0) {
            g_level = i;
            return true;
        }
    return false;
}

bool enabled(Level level) { return int(level) <= g_level; }

void write(Level level, const QString &line)
{
    if (!enabled(level))
        return;
    const QByteArray text = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs).toUtf8() + ' '
                            + kNames[int(level)] + ' ' + line.toUtf8() + '\n';
    std::lock_guard lock(g_lock);
    std::fwrite(text.constData(), 1, size_t(text.size()), stderr);
    std::fflush(stderr);
}

} // namespace svclog
