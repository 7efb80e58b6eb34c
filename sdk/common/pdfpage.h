// The PDF page that shows one picture over the whole of it, its encoded data carried unchanged: a
// JPEG as it is (DCTDecode), other pictures as their lossless encoder left them.
#ifndef SDKCOMMON_PDFPAGE_H
#define SDKCOMMON_PDFPAGE_H

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace sdkcommon
{

// An image XObject: its dictionary entries and its encoded data.
struct PdfImage {
    int width = 0; // stored pixels, before any EXIF orientation
    int height = 0;
    int bitsPerComponent = 8;
    QPDFObjectHandle colorSpace;
    QPDFObjectHandle filter;
    QPDFObjectHandle decodeParms; // optional
    QPDFObjectHandle decode;      // optional
    // The data, or a provider that writes it while the PDF is written, so that a long document holds
    // one page in memory at a time. A provider throws when it cannot deliver what was measured.
    std::string bytes;
    std::function<void(Pipeline *)> provider;
};

// The entries of a JPEG from its own frame header: size, colour space, and the inversion that
// Adobe's CMYK JPEGs need. The data is left to the caller. False when there is no usable frame header.
bool jpegImage(const std::uint8_t *jpeg, std::size_t size, PdfImage &image);

// Adds a page of the picture's printed size at the given density, showing it upright as its EXIF
// orientation (1-8) says, then overlay (more content in page space, such as a text layer). The
// page's /Resources hold the picture as /Im0 and may take more entries.
QPDFObjectHandle addPicturePage(QPDF &pdf, const PdfImage &image, double dpiX, double dpiY, int orientation,
                                const std::string &overlay = std::string());

} // namespace sdkcommon

#endif
