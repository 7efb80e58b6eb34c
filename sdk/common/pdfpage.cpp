#include "pdfpage.h"

#include "jpegsegments.h"
#include "placement.h"

#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QUtil.hh>

#include <algorithm>

namespace sdkcommon
{
namespace
{

// Start-of-frame markers: every coding process except the table and arithmetic-condition segments
// that share their range.
bool isFrameHeader(std::uint8_t marker)
{
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

QPDFObjectHandle imageObject(QPDF &pdf, const PdfImage &picture)
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
    const QPDFObjectHandle parms =
        picture.decodeParms.isInitialized() ? picture.decodeParms : QPDFObjectHandle::newNull();
    if (picture.provider)
        image.replaceStreamData(picture.provider, picture.filter, parms);
    else
        image.replaceStreamData(picture.bytes, picture.filter, parms);
    return image;
}

} // namespace

bool jpegImage(const std::uint8_t *jpeg, std::size_t size, PdfImage &image)
{
    if (size < 4 || jpeg[0] != 0xFF || jpeg[1] != 0xD8)
        return false;
    const std::vector<jpegsegments::Segment> segments = jpegsegments::headerSegments(jpeg, size);
    const auto frame = std::find_if(segments.begin(), segments.end(),
                                    [](const jpegsegments::Segment &s) { return isFrameHeader(s.marker); });
    // precision, height, width, number of components
    if (frame == segments.end() || frame->len < 10)
        return false;
    const std::uint8_t *f = jpeg + frame->pos + 4;
    const int height = int(jpegsegments::be16(f + 1)), width = int(jpegsegments::be16(f + 3));
    const int components = f[5];
    if (f[0] != 8 || width == 0 || height == 0 || (components != 1 && components != 3 && components != 4))
        return false;
    image.width = width;
    image.height = height;
    image.bitsPerComponent = 8;
    image.filter = QPDFObjectHandle::newName("/DCTDecode");
    image.colorSpace = QPDFObjectHandle::newName(components == 1   ? "/DeviceGray"
                                                 : components == 4 ? "/DeviceCMYK"
                                                                   : "/DeviceRGB");
    const bool adobe = std::any_of(segments.begin(), segments.end(), [&](const jpegsegments::Segment &s) {
        return jpegsegments::hasSignature(jpeg, s, jpegsegments::kApp14, "Adobe", 5);
    });
    // Adobe's CMYK JPEGs store inverted ink values, which the PDF must invert back.
    if (components == 4 && adobe)
        image.decode = QPDFObjectHandle::parse("[1 0 1 0 1 0 1 0]");
    return true;
}

QPDFObjectHandle addPicturePage(QPDF &pdf, const PdfImage &image, double dpiX, double dpiY, int orientation,
                                const std::string &overlay)
{
    const double w = image.width * 72.0 / dpiX, h = image.height * 72.0 / dpiY;
    const bool sideways = isSideways(orientation);
    const Placement placement = pdfPlacement(orientation, w, h);
    const auto num = [](double v) { return QUtil::double_to_string(v, 3); };

    QPDFObjectHandle resources = QPDFObjectHandle::parse("<< /XObject << >> >>");
    resources.getKey("/XObject").replaceKey("/Im0", imageObject(pdf, image));
    QPDFObjectHandle page = pdf.makeIndirectObject(QPDFObjectHandle::parse("<< /Type /Page >>"));
    page.replaceKey("/MediaBox", QPDFObjectHandle::parse("[0 0 " + num(sideways ? h : w) + " " +
                                                         num(sideways ? w : h) + "]"));
    page.replaceKey("/Resources", resources);
    std::string content = "q";
    for (double v : placement.m)
        content += " " + num(v);
    content += " cm /Im0 Do Q\n" + overlay;
    page.replaceKey("/Contents", QPDFObjectHandle::newStream(&pdf, content));
    QPDFPageDocumentHelper(pdf).addPage(QPDFPageObjectHelper(page), false);
    return page;
}

} // namespace sdkcommon
