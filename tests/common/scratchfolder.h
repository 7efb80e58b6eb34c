// Temporary folders for the suites that write files; each is removed with everything in it.
#ifndef SCRATCHFOLDER_H
#define SCRATCHFOLDER_H

#include <QDir>
#include <QTemporaryDir>

#include <csignal>
#include <memory>
#include <sys/resource.h>

class ScratchFolder
{
public:
    // A new empty folder in place of the old one (from init(), for each test function).
    bool renew()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        return m_dir->isValid();
    }
    QString path() const { return m_dir->path(); }
    QString filePath(const QString &name) const { return m_dir->filePath(name); }
    // Every file by name, hidden ones (a writer's temporary files) included.
    QStringList files() const { return QDir(path()).entryList(QDir::Files | QDir::Hidden, QDir::Name); }

private:
    std::unique_ptr<QTemporaryDir> m_dir = std::make_unique<QTemporaryDir>();
};

// A folder that runs out of room: writes fail beyond a given size through a file-size limit (SIGXFSZ
// ignored, so they get EFBIG). No privileges needed, and a writer sees a write fail as on a full disk.
class SmallDisk : public ScratchFolder
{
public:
    SmallDisk()
    {
        ::getrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, SIG_IGN);
    }
    ~SmallDisk() { empty(); }
    // From now on no file can grow beyond freeBytes.
    bool fill(qint64 freeBytes)
    {
        struct rlimit limit = m_saved;
        limit.rlim_cur = rlim_t(freeBytes);
        return ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    // Ample room again.
    void empty() { ::setrlimit(RLIMIT_FSIZE, &m_saved); }

private:
    struct rlimit m_saved {
    };
};

#endif
