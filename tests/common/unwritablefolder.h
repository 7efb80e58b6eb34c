// Makes a folder unwritable for the test's own user, root included: permissions do
// not bind root, an immutable folder does (ext4, xfs, btrfs, tmpfs).
#ifndef UNWRITABLEFOLDER_H
#define UNWRITABLEFOLDER_H

#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace unwritablefolder {

inline void setImmutable(const QString &folder, bool on)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return;
    int flags = 0;
    if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        ::ioctl(fd, FS_IOC_SETFLAGS, &flags);
    }
    ::close(fd);
}

// True when the folder could be made unwritable; restore() undoes it.
inline bool lock(const QString &folder)
{
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
    if (QFileInfo(folder).isWritable())
        setImmutable(folder, true);
    return !QFileInfo(folder).isWritable();
}

inline void restore(const QString &folder)
{
    setImmutable(folder, false);
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

} // namespace unwritablefolder

#endif
