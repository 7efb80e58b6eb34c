#include "pdfwriter.h"

#include "pdfpage.h"

#include <qpdf/Buffer.hh>
#include <qpdf/QPDFWriter.hh>

#include <memory>

namespace camsdk
{

bool makeJpegPdf(const std::vector<uint8_t> &jpeg, double dpiX, double dpiY, std::vector<uint8_t> &out)
{
    sdkcommon::PdfImage image;
    if (dpiX <= 0 || dpiY <= 0 || !sdkcommon::jpegImage(jpeg.data(), jpeg.size(), image))
        return false;
    image.bytes.assign(jpeg.begin(), jpeg.end());
    try {
        QPDF pdf;
        pdf.emptyPDF();
        sdkcommon::addPicturePage(pdf, image, dpiX, dpiY, 1);
        // In memory: the capture writes all its files once every one of them is encoded.
        QPDFWriter writer(pdf);
        writer.setOutputMemory();
        writer.write();
        std::unique_ptr<Buffer> buf(writer.getBuffer());
        const auto *bytes = buf->getBuffer();
        out.assign(bytes, bytes + buf->getSize());
        return true;
    } catch (const std::exception &) {
        return false;
    }
}

} // namespace camsdk
