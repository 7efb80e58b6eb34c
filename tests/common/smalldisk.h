// A folder that runs out of room: the full-disk case for every test that writes files. Writes fail
// beyond a given size through a file-size limit (SIGXFSZ ignored, so they get EFBIG): no privileges
// needed, and the writer sees a write fail as on a full disk.
#ifndef SMALLDISK_H
#define SMALLDISK_H

#include <QDir>
#include <QTemporaryDir>

#include <csignal>
#include <sys/resource.h>

class SmallDisk
{
public:
    SmallDisk()
    {
        ::getrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, SIG_IGN);
    }
    ~SmallDisk() { empty(); }
    SmallDisk(const SmallDisk &) = delete;
    SmallDisk &operator=(const SmallDisk &) = delete;

    QString path() const { return m_dir.path(); }
    QString filePath(const QString &name) const { return m_dir.filePath(name); }
    // Every entry, hidden ones included.
    QStringList entries() const
    {
        return QDir(path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }
    // From now on no file can grow beyond freeBytes.
    bool fill(qint64 freeBytes)
    {
        struct rlimit limit = m_saved;
        limit.rlim_cur = rlim_t(freeBytes);
        return m_dir.isValid() && ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    // Ample room again.
    void empty() { ::setrlimit(RLIMIT_FSIZE, &m_saved); }

private:
    QTemporaryDir m_dir;
    struct rlimit m_saved {
    };
};

#endif
