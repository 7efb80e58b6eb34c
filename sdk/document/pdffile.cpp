#include "pdffile.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFWriter.hh>

#include <cstdio>
#include <exception>
#include <fcntl.h>
#include <unistd.h>

namespace docsdk
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
    bool ok = true;
    try {
        QPDFWriter writer(pdf, path.c_str(), file, false);
        if (setup)
            setup(writer);
        writer.write();
    } catch (const std::exception &) {
        ok = false;
    }
    ok = std::fflush(file) == 0 && !std::ferror(file) && ok;
    return std::fclose(file) == 0 && ok;
}

} // namespace docsdk
