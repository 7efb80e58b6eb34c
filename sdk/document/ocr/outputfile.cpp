#include "outputfile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace docsdk
{
namespace ocr
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

OutputFile::OutputFile(const std::string &picture, const std::string &extension) : m_extension(extension)
{
    const QFileInfo info(QString::fromStdString(picture));
    m_folder = info.path().toStdString();
    m_stem = info.completeBaseName().toStdString();
}

OutputFile::~OutputFile()
{
    if (!m_temp.empty())
        unlink(m_temp.c_str());
}

bool OutputFile::open()
{
    std::string pattern = m_folder + "/." + m_stem + ".XXXXXX";
    const int fd = mkstemp(pattern.data());
    if (fd < 0)
        return false;
    fchmod(fd, documentMode());
    close(fd);
    m_temp = pattern;
    return true;
}

bool OutputFile::publish()
{
    // The content must be on disk before the name says the file is complete.
    const int fd = ::open(m_temp.c_str(), O_RDONLY);
    if (fd < 0 || fsync(fd) != 0) {
        if (fd >= 0)
            close(fd);
        return false;
    }
    close(fd);
    for (int n = 0; n <= kMaxNumber; ++n) {
        const std::string name = m_stem + (n ? "(" + std::to_string(n) + ")" : "") + "." + m_extension;
        bool exists = false;
        if (moveNoReplace(m_temp, m_folder + "/" + name, &exists)) {
            m_temp.clear();
            m_name = name;
            return true;
        }
        if (!exists)
            return false;
    }
    return false;
}

void OutputFile::withdraw()
{
    if (!m_name.empty())
        unlink((m_folder + "/" + m_name).c_str());
    m_name.clear();
}

} // namespace ocr
} // namespace docsdk
