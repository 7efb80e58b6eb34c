// A folder that runs out of room: the full-disk case for every test that writes files.
#ifndef SMALLDISK_H
#define SMALLDISK_H

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <sys/resource.h>

// Where we may mount (root), the folder is a tmpfs shrunk to leave a given free size; elsewhere
// writes fail beyond that size through a file-size limit (SIGXFSZ ignored, so they get EFBIG).
class SmallDisk
{
public:
    SmallDisk();
    ~SmallDisk();
    SmallDisk(const SmallDisk &) = delete;
    SmallDisk &operator=(const SmallDisk &) = delete;

    QString path() const { return m_dir.path(); }
    QString filePath(const QString &name) const { return m_dir.filePath(name); }
    // Every entry, hidden ones included.
    QStringList entries() const;
    // From now on only freeBytes more can be written (rounded to whole pages on a tmpfs).
    bool fill(qint64 freeBytes);
    // Ample room again.
    void empty();

private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
    bool m_limited = false;
    struct rlimit m_savedLimit {
    };
};

#endif
