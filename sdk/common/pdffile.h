// Writing a PDF built with qpdf to a file, with every write error reported.
#ifndef SDKCOMMON_PDFFILE_H
#define SDKCOMMON_PDFFILE_H

#include <functional>
#include <string>

class QPDF;
class QPDFWriter;

namespace sdkcommon
{

// Writes pdf to path (created or truncated), setup choosing the writer's options first. True only
// when every write, the final flush and the close succeeded; what qpdf throws (a failed write, a
// picture that cannot be delivered) reaches the caller. Either way the remains at path are the
// caller's. qpdf's own file output ignores a failed flush, so a full disk would go unnoticed.
bool writePdfFile(QPDF &pdf, const std::string &path, const std::function<void(QPDFWriter &)> &setup = {});

} // namespace sdkcommon

#endif
