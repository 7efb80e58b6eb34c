#include "filerace.h"

#include <QFile>

#include <cstdio>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

FileRace::FileRace(const QString &folder, const QString &name, std::uint32_t mask, int count,
                   const QString &replacement, const QString &target)
    : m_fd(inotify_init1(IN_CLOEXEC))
{
    if (m_fd < 0 || inotify_add_watch(m_fd, QFile::encodeName(folder).constData(), mask) < 0)
        return;
    const QByteArray wanted = QFile::encodeName(name);
    const QByteArray from = QFile::encodeName(replacement), to = QFile::encodeName(target);
    m_thread = std::thread([this, wanted, count, from, to] {
        alignas(inotify_event) char buffer[4096];
        int seen = 0;
        pollfd pfd{m_fd, POLLIN, 0};
        while (seen<count && ::poll(&pfd, 1, 60000)> 0) {
            const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
            for (ssize_t pos = 0; n > 0 && pos < n && seen < count;) {
                const auto *event = reinterpret_cast<const inotify_event *>(buffer + pos);
                if (wanted.isEmpty() || (event->len > 0 && wanted == event->name))
                    ++seen;
                pos += ssize_t(sizeof(inotify_event) + event->len);
            }
        }
        m_happened = seen == count && std::rename(from.constData(), to.constData()) == 0;
    });
}

FileRace::~FileRace()
{
    happened();
    if (m_fd >= 0)
        ::close(m_fd);
}

bool FileRace::happened()
{
    if (m_thread.joinable())
        m_thread.join();
    return m_happened;
}
