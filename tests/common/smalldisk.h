// A folder that runs out of room: the full-disk case for every test that writes files. Where we may
// mount (root), the folder is a tmpfs shrunk to leave a given free size; elsewhere writes fail beyond
// that size through a file-size limit (SIGXFSZ ignored, so they get EFBIG).
#ifndef SMALLDISK_H
#define SMALLDISK_H

#include <QDir>
#include <QTemporaryDir>

#include <csignal>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/statvfs.h>
#include <unistd.h>

class SmallDisk
{
public:
    SmallDisk() : m_mounted(m_dir.isValid() && ::geteuid() == 0 && mount(0, "size=64m")) {}
    ~SmallDisk()
    {
        empty();
        if (m_mounted)
            ::umount2(QFile::encodeName(path()).constData(), MNT_DETACH);
    }
    SmallDisk(const SmallDisk &) = delete;
    SmallDisk &operator=(const SmallDisk &) = delete;

    QString path() const { return m_dir.path(); }
    QString filePath(const QString &name) const { return m_dir.filePath(name); }
    // Every entry, hidden ones included.
    QStringList entries() const
    {
        return QDir(path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }
    // From now on only freeBytes more can be written (rounded to whole pages on a tmpfs).
    bool fill(qint64 freeBytes)
    {
        struct statvfs fs;
        if (m_mounted)
            return ::statvfs(QFile::encodeName(path()).constData(), &fs) == 0 &&
                   mount(MS_REMOUNT,
                         "size=" + QByteArray::number(qint64(fs.f_blocks - fs.f_bfree) * qint64(fs.f_frsize) +
                                                      freeBytes));
        if (!m_limited && ::getrlimit(RLIMIT_FSIZE, &m_saved) != 0)
            return false;
        std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit = m_saved;
        limit.rlim_cur = rlim_t(freeBytes);
        m_limited = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
        return m_limited;
    }
    // Ample room again.
    void empty()
    {
        if (m_mounted)
            mount(MS_REMOUNT, "size=64m");
        if (m_limited)
            ::setrlimit(RLIMIT_FSIZE, &m_saved);
        m_limited = false;
    }

private:
    bool mount(unsigned long flags, const QByteArray &options) const
    {
        return ::mount("tmpfs", QFile::encodeName(path()).constData(), "tmpfs", flags, options.constData()) ==
               0;
    }

    QTemporaryDir m_dir;
    bool m_mounted;
    bool m_limited = false;
    struct rlimit m_saved {
    };
};

#endif
