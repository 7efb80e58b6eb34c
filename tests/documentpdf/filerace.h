// A picture changed by someone else at a chosen moment of a running call.
#ifndef FILERACE_H
#define FILERACE_H

#include <QFile>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <poll.h>
#include <sys/inotify.h>
#include <thread>
#include <unistd.h>

// Watches folder; at the count-th inotify event of the kinds in mask (on the entry called name, or
// on any entry when name is empty) renames replacement over target. Watches until happened() is
// called: the watched call's events are queued by the time it returns, however long it took.
class FileRace
{
public:
    FileRace(const QString &folder, const QString &name, std::uint32_t mask, int count,
             const QString &replacement, const QString &target)
        : m_fd(inotify_init1(IN_CLOEXEC))
    {
        if (m_fd < 0 || inotify_add_watch(m_fd, QFile::encodeName(folder).constData(), mask) < 0)
            return;
        m_thread = std::thread([this, wanted = QFile::encodeName(name), count,
                                from = QFile::encodeName(replacement), to = QFile::encodeName(target)] {
            alignas(inotify_event) char buffer[4096];
            int seen = 0;
            pollfd pfd{m_fd, POLLIN, 0};
            while (seen < count) {
                const bool over = m_over;
                if (::poll(&pfd, 1, 100) <= 0) {
                    if (over)
                        break;
                    continue;
                }
                const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
                for (ssize_t pos = 0; pos < n && seen < count;) {
                    const auto *event = reinterpret_cast<const inotify_event *>(buffer + pos);
                    seen += wanted.isEmpty() || (event->len > 0 && wanted == event->name);
                    pos += ssize_t(sizeof(inotify_event) + event->len);
                }
            }
            m_happened = seen == count && std::rename(from.constData(), to.constData()) == 0;
        });
    }
    ~FileRace()
    {
        happened();
        if (m_fd >= 0)
            ::close(m_fd);
    }
    // Whether the rename happened; waits for the watch to end.
    bool happened()
    {
        m_over = true;
        if (m_thread.joinable())
            m_thread.join();
        return m_happened;
    }

private:
    int m_fd = -1;
    std::atomic<bool> m_over{false};
    bool m_happened = false;
    std::thread m_thread;
};

#endif
