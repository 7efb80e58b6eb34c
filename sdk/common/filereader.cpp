#include "filereader.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sdkcommon
{

bool readFile(const std::string &path, std::vector<std::uint8_t> &out, std::size_t limit)
{
    // Without O_NONBLOCK opening a FIFO would wait for a writer, maybe forever; regular files ignore it.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat st;
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (ok) {
        out.resize(std::min(static_cast<std::size_t>(st.st_size), limit));
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

} // namespace sdkcommon
