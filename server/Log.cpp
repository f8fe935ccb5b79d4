#include "Log.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cerrno>
#include <ctime>
#include <mutex>
#include <string>
#include <thread>

#include <unistd.h>

namespace svclog {

namespace {
std::atomic<int> g_level{int(Level::Info)};
const char *const kNames[] = {"error", "warning", "info", "debug"};

// "yyyy-MM-ddTHH:mm:ss." of the current second, made once a second per thread.
struct SecondText
{
    time_t second = -1;
    char text[24] = {};
    size_t size = 0;
};
thread_local SecondText t_second;

// Whole lines go out in one write: lines of several threads never mix.
void writeAll(const char *data, size_t size)
{
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

// Information and debug lines (one per request) wait up to FlushAfter in a
// buffer and go out together, from a thread of their own: a request does no
// write of its own, and a busy service one write every FlushAfter. Warnings
// and errors go out at once, after what waits before them. A process killed
// outright loses the lines of its last FlushAfter; its changes and their
// history are in the database.
class Buffered
{
public:
    static constexpr auto FlushAfter = std::chrono::milliseconds(100);
    static constexpr size_t SoonAt = 64 * 1024;    // the flusher is woken at once
    static constexpr size_t WriteAt = 1024 * 1024; // the writer writes itself: memory stays bounded

    ~Buffered()
    {
        {
            std::lock_guard lock(m_lock);
            m_stopping = true;
        }
        m_wake.notify_one();
        if (m_flusher.joinable())
            m_flusher.join();
        flush(std::string_view());
    }

    void add(std::string_view line)
    {
        size_t pending = 0;
        {
            std::lock_guard lock(m_lock);
            if (!m_flusher.joinable() && !m_stopping)
                m_flusher = std::thread([this] { run(); });
            m_pending.append(line);
            pending = m_pending.size();
        }
        if (pending >= WriteAt)
            flush(std::string_view());
        else if (pending == line.size() || pending >= SoonAt) // the first line waiting, or many
            m_wake.notify_one();
    }

    // What waits, then `line`, in one write.
    void flush(std::string_view line)
    {
        std::lock_guard order(m_writing);
        std::string out;
        {
            std::lock_guard lock(m_lock);
            out.swap(m_pending);
        }
        out.append(line);
        writeAll(out.data(), out.size());
    }

private:
    void run()
    {
        std::unique_lock lock(m_lock);
        while (!m_stopping) {
            m_wake.wait(lock, [this] { return m_stopping || !m_pending.empty(); });
            m_wake.wait_for(lock, FlushAfter, [this] { return m_stopping || m_pending.size() >= SoonAt; });
            lock.unlock();
            flush(std::string_view());
            lock.lock();
        }
    }

    std::mutex m_writing; // whole writes, in order
    std::mutex m_lock;    // m_pending, the flusher
    std::condition_variable m_wake;
    std::string m_pending;
    std::thread m_flusher;
    bool m_stopping = false;
};
Buffered g_buffered;
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
    if (level <= Level::Warning)
        g_buffered.flush(text);
    else
        g_buffered.add(text);
}

void write(Level level, const QString &line)
{
    if (!enabled(level))
        return;
    const QByteArray utf8 = line.toUtf8();
    write(level, std::string_view(utf8.constData(), size_t(utf8.size())));
}

} // namespace svclog
