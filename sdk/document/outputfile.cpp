#include "outputfile.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace docsdk
{
namespace
{

// Atomic rename that refuses to replace; hard links cover file systems without RENAME_NOREPLACE.
bool moveNoReplace(const std::string &from, const std::string &to, bool *exists)
{
    *exists = false;
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS) {
        *exists = errno == EEXIST;
        return false;
    }
    if (link(from.c_str(), to.c_str()) != 0) {
        *exists = errno == EEXIST;
        return false;
    }
    unlink(from.c_str());
    return true;
}

const int kMaxNumber = 9999;

// mkstemp creates 0600; documents get the mode any new file of the user gets. The umask is read
// from /proc because umask() can only be queried by changing it, which races with other threads.
mode_t documentMode()
{
    mode_t mask = 022;
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("Umask:"))
                mask = mode_t(line.mid(6).trimmed().toUInt(nullptr, 8));
        }
    }
    return 0666 & ~mask;
}

} // namespace

OutputFile::OutputFile(const std::string &folder) : m_folder(folder.empty() ? "." : folder) {}

OutputFile::~OutputFile()
{
    if (!m_temp.empty())
        unlink(m_temp.c_str());
}

bool OutputFile::open()
{
    // Not derived from the document's name, which may itself be as long as a name can be.
    std::string pattern = m_folder + "/.pagelux-XXXXXX";
    const int fd = mkstemp(pattern.data());
    if (fd < 0)
        return false;
    fchmod(fd, documentMode());
    close(fd);
    m_temp = pattern;
    return true;
}

// The content must be on disk before the name says the file is complete.
bool OutputFile::syncData() const
{
    const int fd = ::open(m_temp.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = fsync(fd) == 0;
    return close(fd) == 0 && synced;
}

// Until the folder is on disk a crash can still lose the new name; a failure takes it away again.
bool OutputFile::syncFolder()
{
    const int fd = ::open(m_folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const bool synced = fd >= 0 && fsync(fd) == 0;
    if (fd >= 0)
        close(fd);
    if (!synced)
        withdraw();
    return synced;
}

bool OutputFile::publish(const std::string &stem, const std::string &extension)
{
    if (m_temp.empty() || !syncData())
        return false;
    for (int n = 0; n <= kMaxNumber; ++n) {
        const std::string name = stem + (n ? "(" + std::to_string(n) + ")" : "") + "." + extension;
        bool exists = false;
        if (moveNoReplace(m_temp, m_folder + "/" + name, &exists)) {
            m_temp.clear();
            m_name = name;
            return syncFolder();
        }
        if (!exists)
            return false;
    }
    return false;
}

bool OutputFile::publishOver(const std::string &name)
{
    if (m_temp.empty() || !syncData() || std::rename(m_temp.c_str(), (m_folder + "/" + name).c_str()) != 0)
        return false;
    m_temp.clear();
    m_name = name;
    return syncFolder();
}

void OutputFile::withdraw()
{
    if (!m_name.empty())
        unlink((m_folder + "/" + m_name).c_str());
    m_name.clear();
}

} // namespace docsdk
