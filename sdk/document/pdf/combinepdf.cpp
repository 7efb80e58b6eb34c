// combinePDF: one page per collected picture, written with qpdf to a temporary
// file beside the target and renamed into place once it is complete and on disk.
#include "DocumentSDK.h"
#include "atomicfile.h"
#include "collection.h"
#include "pdffile.h"
#include "pdfpicture.h"

#include <algorithm>
#include <exception>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFWriter.hh>
#include <sys/stat.h>
#include <vector>

namespace docsdk
{
namespace
{

bool writeAtomically(QPDF &pdf, const std::string &output)
{
    sdkcommon::AtomicFile file(output);
    return file.open() &&
           sdkcommon::writePdfFile(pdf, file.tempPath(),
                                   [](QPDFWriter &writer) {
                                       // Keep the picture streams exactly as given: JPEG bytes pass through
                                       // untouched.
                                       writer.setDecodeLevel(qpdf_dl_none);
                                       writer.setObjectStreamMode(qpdf_o_generate);
                                   }) &&
           file.commit(sdkcommon::WritePolicy::Replace);
}

// Whether output names one of the collected pictures (through any path), which
// the PDF would replace.
bool isOneOf(const std::string &output, const std::vector<std::string> &paths)
{
    struct stat target;
    if (::stat(output.c_str(), &target) != 0)
        return false;
    struct stat st;
    for (const std::string &path : paths)
        if (::stat(path.c_str(), &st) == 0 && st.st_dev == target.st_dev && st.st_ino == target.st_ino)
            return true;
    return false;
}

} // namespace
} // namespace docsdk

extern "C" int combinePDF(const char *output)
{
    using namespace docsdk;
    if (!output || !*output)
        return DOC_ERR_ARGUMENT;
    const std::vector<std::string> paths = collectionSnapshot();
    if (paths.empty())
        return DOC_ERR_NOTHING_COLLECTED;
    if (isOneOf(output, paths))
        return DOC_ERR_ARGUMENT;

    std::vector<PdfPicture> pictures;
    for (const std::string &path : paths) {
        PdfPicture picture;
        if (probePicture(path, picture))
            pictures.push_back(std::move(picture));
    }
    if (pictures.empty())
        return DOC_ERR_UNREADABLE_INPUT;

    bool written = false;
    try {
        QPDF pdf;
        pdf.emptyPDF();
        // The picture fills the page, which has the picture's printed size, as viewers show it.
        for (const PdfPicture &picture : pictures)
            sdkcommon::addPicturePage(pdf, picture.image, picture.dpi, picture.dpi, picture.orientation);
        written = writeAtomically(pdf, output);
    } catch (const std::exception &) {
    }
    if (!written) {
        // A picture turned or replaced since it was measured would not fit its page.
        const bool changed = std::any_of(pictures.begin(), pictures.end(),
                                         [](const PdfPicture &picture) { return *picture.changed; });
        return changed ? DOC_ERR_UNREADABLE_INPUT : DOC_ERR_WRITE_FAILED;
    }
    return pictures.size() == paths.size() ? DOC_OK : DOC_ERR_UNREADABLE_INPUT;
}
