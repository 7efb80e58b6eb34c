#include "smalldisk.h"

#include <QDir>

#include <csignal>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {
const char *const kRoomy = "size=64m";
}

SmallDisk::SmallDisk()
{
    if (m_dir.isValid() && ::geteuid() == 0)
        m_mounted = ::mount("tmpfs", QFile::encodeName(m_dir.path()).constData(), "tmpfs", 0, kRoomy) == 0;
}

SmallDisk::~SmallDisk()
{
    empty();
    if (m_mounted)
        ::umount2(QFile::encodeName(m_dir.path()).constData(), MNT_DETACH);
}

QStringList SmallDisk::entries() const
{
    return QDir(m_dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

bool SmallDisk::fill(qint64 freeBytes)
{
    const QByteArray dir = QFile::encodeName(m_dir.path());
    if (m_mounted) {
        struct statvfs fs;
        if (::statvfs(dir.constData(), &fs) != 0)
            return false;
        const qint64 used = qint64(fs.f_blocks - fs.f_bfree) * qint64(fs.f_frsize);
        const QByteArray size = "size=" + QByteArray::number(used + freeBytes);
        return ::mount("tmpfs", dir.constData(), "tmpfs", MS_REMOUNT, size.constData()) == 0;
    }
    if (!m_limited && ::getrlimit(RLIMIT_FSIZE, &m_savedLimit) != 0)
        return false;
    std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit = m_savedLimit;
    limit.rlim_cur = rlim_t(freeBytes);
    m_limited = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
    return m_limited;
}

void SmallDisk::empty()
{
    if (m_mounted)
        ::mount("tmpfs", QFile::encodeName(m_dir.path()).constData(), "tmpfs", MS_REMOUNT, kRoomy);
    if (m_limited)
        ::setrlimit(RLIMIT_FSIZE, &m_savedLimit);
    m_limited = false;
}
