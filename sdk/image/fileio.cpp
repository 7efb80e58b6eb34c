#include "fileio.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace imgsdk
{

bool readFile(const std::string &path, Bytes &out)
{
    // Without O_NONBLOCK opening a FIFO would wait for a writer, maybe forever; regular files ignore it.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat st;
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (ok) {
        out.resize(static_cast<std::size_t>(st.st_size));
        std::size_t done = 0;
        while (ok && done < out.size()) {
            const ssize_t n = ::read(fd, out.data() + done, out.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            ok = n > 0;
            if (ok)
                done += static_cast<std::size_t>(n);
        }
    }
    ::close(fd);
    return ok;
}

bool replaceFile(const std::string &path, const std::uint8_t *data, std::size_t size)
{
    // Hidden, so a folder listing taken meanwhile does not show a second picture; not derived from
    // the picture's name, which may itself be as long as a name can be.
    const std::size_t slash = path.rfind('/');
    const std::string stem = path.substr(0, slash + 1) + ".pagelux-" + std::to_string(::getpid()) + "-";
    static std::atomic<unsigned> serial{0};
    std::string tmp;
    int fd = -1;
    do { // the umask applies to new files as it would to any other the user creates
        tmp = stem + std::to_string(serial++) + ".tmp";
        fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EEXIST);
    if (fd < 0)
        return false;

    struct stat st;
    bool ok = ::stat(path.c_str(), &st) != 0 || ::fchmod(fd, st.st_mode & 07777) == 0;
    std::size_t done = 0;
    while (ok && done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        if (ok)
            done += static_cast<std::size_t>(n);
    }
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && ::rename(tmp.c_str(), path.c_str()) == 0;
    if (!ok)
        ::unlink(tmp.c_str());
    return ok;
}

std::string lowerExtension(const std::string &path)
{
    const std::size_t dot = path.rfind('.');
    const std::size_t slash = path.rfind('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return std::string();
    std::string ext = path.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext;
}

} // namespace imgsdk
