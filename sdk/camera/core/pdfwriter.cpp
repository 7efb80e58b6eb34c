#include "pdfwriter.h"

#include <qpdf/Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <memory>
#include <string>

namespace camsdk
{

bool makeJpegPdf(const std::vector<uint8_t> &jpeg, int width, int height, bool gray, double dpiX, double dpiY,
                 std::vector<uint8_t> &out)
{
    if (jpeg.empty() || width <= 0 || height <= 0 || dpiX <= 0 || dpiY <= 0)
        return false;
    try {
        QPDF pdf;
        pdf.emptyPDF();
        QPDFObjectHandle image = QPDFObjectHandle::newStream(&pdf);
        QPDFObjectHandle dict = image.getDict();
        dict.replaceKey("/Type", QPDFObjectHandle::newName("/XObject"));
        dict.replaceKey("/Subtype", QPDFObjectHandle::newName("/Image"));
        dict.replaceKey("/Width", QPDFObjectHandle::newInteger(width));
        dict.replaceKey("/Height", QPDFObjectHandle::newInteger(height));
        dict.replaceKey("/ColorSpace", QPDFObjectHandle::newName(gray ? "/DeviceGray" : "/DeviceRGB"));
        dict.replaceKey("/BitsPerComponent", QPDFObjectHandle::newInteger(8));
        image.replaceStreamData(std::string(jpeg.begin(), jpeg.end()),
                                QPDFObjectHandle::newName("/DCTDecode"), QPDFObjectHandle::newNull());

        const double w = width * 72.0 / dpiX, h = height * 72.0 / dpiY;
        const std::string content =
            "q " + std::to_string(w) + " 0 0 " + std::to_string(h) + " 0 0 cm /Im0 Do Q\n";
        QPDFObjectHandle contents = QPDFObjectHandle::newStream(&pdf, content);

        QPDFObjectHandle xobjects = QPDFObjectHandle::newDictionary();
        xobjects.replaceKey("/Im0", image);
        QPDFObjectHandle resources = QPDFObjectHandle::newDictionary();
        resources.replaceKey("/XObject", xobjects);
        QPDFObjectHandle page = QPDFObjectHandle::newDictionary();
        page.replaceKey("/Type", QPDFObjectHandle::newName("/Page"));
        page.replaceKey("/MediaBox", QPDFObjectHandle::newArray(std::vector<QPDFObjectHandle>{
                                         QPDFObjectHandle::newInteger(0), QPDFObjectHandle::newInteger(0),
                                         QPDFObjectHandle::newReal(w, 2), QPDFObjectHandle::newReal(h, 2)}));
        page.replaceKey("/Contents", contents);
        page.replaceKey("/Resources", resources);
        QPDFPageDocumentHelper(pdf).addPage(QPDFPageObjectHelper(pdf.makeIndirectObject(page)), false);

        QPDFWriter writer(pdf);
        writer.setOutputMemory();
        writer.setStaticID(false);
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
