#include "pdffile.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFWriter.hh>

#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace sdkcommon
{

bool writePdfFile(QPDF &pdf, const std::string &path, const std::function<void(QPDFWriter &)> &setup)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    FILE *file = fdopen(fd, "wb");
    if (!file) {
        ::close(fd);
        return false;
    }
    std::unique_ptr<FILE, int (*)(FILE *)> closer(file, std::fclose);
    {
        QPDFWriter writer(pdf, path.c_str(), file, false);
        if (setup)
            setup(writer);
        writer.write();
    }
    const bool flushed = std::fflush(file) == 0 && !std::ferror(file);
    return std::fclose(closer.release()) == 0 && flushed;
}

} // namespace sdkcommon
