#include "atomicfile.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sdkcommon
{
namespace
{

// Beyond this a folder is too full of one name to go on looking.
constexpr int kMaxNumber = 99999;

// Renames without ever replacing; hard links cover file systems without RENAME_NOREPLACE. Sets errno
// to EEXIST when the name is taken.
bool moveNoReplace(const std::string &from, const std::string &to)
{
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    if (::link(from.c_str(), to.c_str()) != 0)
        return false;
    ::unlink(from.c_str());
    return true;
}

bool syncPath(const std::string &path, int flags)
{
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    return ::close(fd) == 0 && synced;
}

// stem(k).ext beside target; a leading dot starts a hidden name, not an extension.
std::string numberedName(const std::string &target, int k)
{
    const std::size_t slash = target.rfind('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    std::size_t dot = target.rfind('.');
    if (dot == std::string::npos || dot <= nameStart)
        dot = target.size();
    return target.substr(0, dot) + "(" + std::to_string(k) + ")" + target.substr(dot);
}

} // namespace

AtomicFile::AtomicFile(const std::string &target) : m_target(target)
{
    const std::size_t slash = target.rfind('/');
    m_folder = slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
}

AtomicFile::~AtomicFile()
{
    if (!m_temp.empty())
        ::unlink(m_temp.c_str());
}

bool AtomicFile::open()
{
    if (!m_temp.empty() || m_target.empty() || m_target.back() == '/')
        return false;
    // Hidden, so that a listing taken meanwhile shows no extra file; not derived from the target's
    // name, which may itself be as long as a name can be.
    static std::atomic<unsigned> serial{0};
    const std::string stem = m_folder + "/.pagelux-" + std::to_string(::getpid()) + "-";
    int fd = -1;
    std::string temp;
    do { // 0666: the umask applies as to any file the user creates
        temp = stem + std::to_string(serial++) + ".tmp";
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EEXIST);
    if (fd < 0)
        return false;
    ::close(fd);
    m_temp = temp;
    return true;
}

bool AtomicFile::write(const void *data, std::size_t size)
{
    const int fd = m_temp.empty() ? -1 : ::open(m_temp.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0)
        return false;
    const auto *bytes = static_cast<const unsigned char *>(data);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, bytes + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += std::size_t(n);
    }
    return ::close(fd) == 0 && done == size;
}

bool AtomicFile::commit(WritePolicy policy)
{
    // The content must be on disk before the name says the file is complete.
    if (m_temp.empty() || !syncPath(m_temp, O_RDONLY))
        return false;
    std::string name = m_target;
    if (policy == WritePolicy::Replace) {
        struct stat st;
        if (::stat(m_target.c_str(), &st) == 0)
            ::chmod(m_temp.c_str(), st.st_mode & 07777);
        if (std::rename(m_temp.c_str(), m_target.c_str()) != 0)
            return false;
    } else {
        for (int k = 1; !moveNoReplace(m_temp, name); ++k) {
            if (errno != EEXIST || policy == WritePolicy::NeverReplace || k > kMaxNumber)
                return false;
            name = numberedName(m_target, k);
        }
    }
    m_temp.clear();
    m_path = name;
    m_tookFreeName = policy != WritePolicy::Replace;
    // Until the folder is on disk a crash can still lose the new name.
    if (syncFolder())
        return true;
    withdraw();
    return false;
}

bool AtomicFile::syncFolder() const
{
    return syncPath(m_folder, O_RDONLY | O_DIRECTORY);
}

void AtomicFile::withdraw()
{
    if (m_tookFreeName && !m_path.empty())
        ::unlink(m_path.c_str());
    m_tookFreeName = false;
}

bool writeFileAtomically(const std::string &path, const void *data, std::size_t size, WritePolicy policy,
                         std::string *written)
{
    AtomicFile file(path);
    if (!file.open() || !file.write(data, size) || !file.commit(policy))
        return false;
    if (written)
        *written = file.path();
    return true;
}

} // namespace sdkcommon
