// combinePDF: one page per collected picture, written with qpdf to a temporary
// file beside the target and renamed into place once it is complete and on disk.
#include "DocumentSDK.h"
#include "collection.h"
#include "outputfile.h"
#include "pdffile.h"
#include "pdfpicture.h"
#include "placement.h"

#include <QFileInfo>
#include <algorithm>
#include <exception>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>
#include <qpdf/QUtil.hh>
#include <sys/stat.h>
#include <vector>

namespace docsdk
{
namespace
{

QPDFObjectHandle imageObject(QPDF &pdf, const PdfPicture &picture)
{
    QPDFObjectHandle image = QPDFObjectHandle::newStream(&pdf);
    QPDFObjectHandle dict = image.getDict();
    dict.replaceKey("/Type", QPDFObjectHandle::newName("/XObject"));
    dict.replaceKey("/Subtype", QPDFObjectHandle::newName("/Image"));
    dict.replaceKey("/Width", QPDFObjectHandle::newInteger(picture.width));
    dict.replaceKey("/Height", QPDFObjectHandle::newInteger(picture.height));
    dict.replaceKey("/ColorSpace", picture.colorSpace);
    dict.replaceKey("/BitsPerComponent", QPDFObjectHandle::newInteger(picture.bitsPerComponent));
    if (picture.decode.isInitialized())
        dict.replaceKey("/Decode", picture.decode);
    image.replaceStreamData(picture.data, picture.filter,
                            picture.decodeParms.isInitialized() ? picture.decodeParms
                                                                : QPDFObjectHandle::newNull());
    return image;
}

// The picture fills the page, which has the picture's printed size, as viewers
// show it: the EXIF orientation is applied by the placement matrix.
QPDFObjectHandle pageObject(QPDF &pdf, const PdfPicture &picture)
{
    const double w = picture.width * 72.0 / picture.dpi;
    const double h = picture.height * 72.0 / picture.dpi;
    const Placement placement = pdfPlacement(picture.orientation, w, h);
    const double *m = placement.m;
    const bool sideways = isSideways(picture.orientation);
    const auto num = [](double v) { return QUtil::double_to_string(v, 3); };

    QPDFObjectHandle resources = QPDFObjectHandle::parse("<< /XObject << >> >>");
    resources.getKey("/XObject").replaceKey("/Im0", imageObject(pdf, picture));
    QPDFObjectHandle page = pdf.makeIndirectObject(QPDFObjectHandle::parse("<< /Type /Page >>"));
    page.replaceKey("/MediaBox", QPDFObjectHandle::parse("[0 0 " + num(sideways ? h : w) + " " +
                                                         num(sideways ? w : h) + "]"));
    page.replaceKey("/Resources", resources);
    std::string content = "q";
    for (int i = 0; i < 6; ++i)
        content += " " + num(m[i]);
    page.replaceKey("/Contents", QPDFObjectHandle::newStream(&pdf, content + " cm /Im0 Do Q\n"));
    return page;
}

bool writeAtomically(QPDF &pdf, const std::string &output)
{
    const QFileInfo target(QString::fromStdString(output));
    OutputFile file(target.path().toStdString());
    return file.open() &&
           writePdfFile(pdf, file.tempPath(),
                        [](QPDFWriter &writer) {
                            // Keep the picture streams exactly as given: JPEG bytes pass through untouched.
                            writer.setDecodeLevel(qpdf_dl_none);
                            writer.setObjectStreamMode(qpdf_o_generate);
                        }) &&
           file.publishOver(target.fileName().toStdString());
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
        QPDFPageDocumentHelper pages(pdf);
        for (const PdfPicture &picture : pictures)
            pages.addPage(QPDFPageObjectHelper(pageObject(pdf, picture)), false);
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
