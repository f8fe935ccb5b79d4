#include "Log.h"

#include <atomic>
#include <cerrno>
#include <ctime>
#include <mutex>

#include <unistd.h>

namespace svclog {

namespace {
std::atomic<int> g_level{int(Level::Info)};
std::mutex g_lock;
const char *const kNames[] = {"error", "warning", "info", "debug"};

// "yyyy-MM-ddTHH:mm:ss." of the current second, made once a second per thread.
struct SecondText
{
    time_t second = -1;
    char text[24] = {};
    size_t size = 0;
};
thread_local SecondText t_second;

// The whole line goes out in one write: lines of several threads never mix.
void writeAll(const char *data, size_t size)
{
    std::lock_guard lock(g_lock);
    bool started = false;
    while (size > 0) {
        const ssize_t n = ::write(STDERR_FILENO, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            // A log that cannot be written stops no request; a line cut short
            // is at least ended, so that the next one starts a line of its own.
            if (started)
                (void)!::write(STDERR_FILENO, "\n", 1);
            return;
        }
        started = true;
        data += n;
        size -= size_t(n);
    }
}
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

void write(Level level, std::string_view line)
{
    if (!enabled(level))
        return;
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    SecondText &s = t_second;
    if (s.second != now.tv_sec) {
        tm utc{};
        gmtime_r(&now.tv_sec, &utc);
        s.size = strftime(s.text, sizeof s.text, "%Y-%m-%dT%H:%M:%S.", &utc);
        s.second = now.tv_sec;
    }
    const int ms = int(now.tv_nsec / 1000000);
    const char msText[5] = {char('0' + ms / 100), char('0' + ms / 10 % 10), char('0' + ms % 10), 'Z', ' '};
    const std::string_view name = kNames[int(level)];
    std::string text;
    text.reserve(s.size + sizeof msText + name.size() + 2 + line.size());
    text.append(s.text, s.size).append(msText, sizeof msText).append(name).append(1, ' ').append(line).append(1, '\n');
    writeAll(text.data(), text.size());
}

void write(Level level, const QString &line)
{
    if (!enabled(level))
        return;
    const QByteArray utf8 = line.toUtf8();
    write(level, std::string_view(utf8.constData(), size_t(utf8.size())));
}

} // namespace svclog
