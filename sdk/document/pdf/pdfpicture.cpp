#include "pdfpicture.h"
#include "picturefile.h"

#include "jpegsegments.h"

#include <algorithm>
#include <cstring>
#include <leptonica/allheaders.h>
#include <memory>
#include <qpdf/Pipeline.hh>
#include <stdexcept>
#include <vector>

namespace docsdk
{
namespace
{

constexpr int kDefaultDpi = 200;
// Densities outside this range are placeholders (JFIF aspect ratios, 1 dpi) rather
// than a real scan resolution; pages from them would be absurdly large or small.
constexpr int kMinDpi = 20, kMaxDpi = 10000;
// Pictures that must be decoded are refused beyond this size, far beyond any
// camera, so that a corrupt header cannot make us allocate gigabytes.
constexpr long long kMaxDecodedPixels = 1LL << 28;

struct CidDeleter {
    void operator()(L_COMP_DATA *c) const { l_CIDataDestroy(&c); }
};
using CidPtr = std::unique_ptr<L_COMP_DATA, CidDeleter>;

struct PixDeleter {
    void operator()(PIX *p) const { pixDestroy(&p); }
};

// Lossless image data: a PNG's data as stored where the PDF filters can read it
// (Flate with PNG predictors), anything else decoded and compressed: G4 for
// bilevel pictures, Flate otherwise.
CidPtr compressedData(const std::string &path)
{
    l_int32 format = IFF_UNKNOWN, w = 0, h = 0;
    if (pixReadHeader(path.c_str(), &format, &w, &h, nullptr, nullptr, nullptr) != 0 ||
        format == IFF_JFIF_JPEG || static_cast<long long>(w) * h > kMaxDecodedPixels)
        return nullptr;
    L_COMP_DATA *cid = nullptr;
    if (format == IFF_PNG) {
        if (l_generateCIDataForPdf(path.c_str(), nullptr, 0, &cid) != 0)
            l_CIDataDestroy(&cid);
    } else {
        std::unique_ptr<PIX, PixDeleter> pix(pixRead(path.c_str()));
        if (pix && pixGenerateCIData(pix.get(), pixGetDepth(pix.get()) == 1 ? L_G4_ENCODE : L_FLATE_ENCODE, 0,
                                     0, &cid) != 0)
            l_CIDataDestroy(&cid);
    }
    return CidPtr(cid);
}

// A complete JPEG closes its last scan with an EOI marker. Entropy-coded data
// never contains 0xFF 0xDA or 0xFF 0xD9, so the last SOS belongs to the main
// picture (not to an EXIF thumbnail) and a truncated file has no EOI after it.
bool jpegIsComplete(const QByteArray &data)
{
    const auto find = [&](char code, QByteArray::const_iterator from) {
        const char marker[2] = {'\xFF', code};
        return std::search(from, data.end(), marker, marker + 2);
    };
    const char sos[2] = {'\xFF', '\xDA'};
    const auto lastScan = std::find_end(data.begin(), data.end(), sos, sos + 2);
    return lastScan != data.end() && find('\xD9', lastScan) != data.end();
}

QPDFObjectHandle name(const char *n)
{
    return QPDFObjectHandle::newName(n);
}

QPDFObjectHandle deviceSpace(int spp)
{
    return name(spp == 1 ? "/DeviceGray" : spp == 4 ? "/DeviceCMYK" : "/DeviceRGB");
}

int usableDpi(int dpi)
{
    return dpi >= kMinDpi && dpi <= kMaxDpi ? dpi : kDefaultDpi;
}

bool probeJpeg(const std::string &path, PdfPicture &picture)
{
    QByteArray data;
    if (!readPictureFile(path, data) || !jpegIsComplete(data))
        return false;
    const auto *bytes = reinterpret_cast<const l_uint8 *>(data.data());
    l_int32 xres = 0, yres = 0;
    if (!sdkcommon::jpegImage(bytes, size_t(data.size()), picture.image))
        return false;
    readResolutionMemJpeg(bytes, data.size(), &xres, &yres);
    picture.dpi = usableDpi(xres);
    picture.orientation = jpegsegments::exifOrientation(bytes, data.size());
    // The bytes are read again while the PDF is written, one page at a time in memory, and must be
    // those measured here.
    const std::size_t fingerprint = fingerprintOf(data);
    picture.image.provider = [path, fingerprint, changed = picture.changed](Pipeline *out) {
        QByteArray again;
        if (!readUnchanged(path, fingerprint, again)) {
            *changed = true;
            throw std::runtime_error(path + " changed while the PDF was written");
        }
        out->write(reinterpret_cast<const unsigned char *>(again.constData()), size_t(again.size()));
        out->finish();
    };
    return true;
}

bool probeLossless(const std::string &path, const L_COMP_DATA &cid, PdfPicture &picture)
{
    if (cid.type == L_G4_ENCODE) {
        picture.image.filter = name("/CCITTFaxDecode");
        picture.image.decodeParms = QPDFObjectHandle::newDictionary();
        picture.image.decodeParms.replaceKey("/K", QPDFObjectHandle::newInteger(-1));
        picture.image.decodeParms.replaceKey("/Columns", QPDFObjectHandle::newInteger(cid.w));
        picture.image.decodeParms.replaceKey("/Rows", QPDFObjectHandle::newInteger(cid.h));
        // The fax code itself says which runs are black; only inverted data needs the flag.
        picture.image.decodeParms.replaceKey("/BlackIs1", QPDFObjectHandle::newBool(cid.minisblack));
        picture.image.colorSpace = name("/DeviceGray");
    } else {
        picture.image.filter = name("/FlateDecode");
        if (cid.predictor) {
            picture.image.decodeParms = QPDFObjectHandle::parse("<< /Predictor 14 >>");
            picture.image.decodeParms.replaceKey("/Colors", QPDFObjectHandle::newInteger(cid.spp));
            picture.image.decodeParms.replaceKey("/BitsPerComponent", QPDFObjectHandle::newInteger(cid.bps));
            picture.image.decodeParms.replaceKey("/Columns", QPDFObjectHandle::newInteger(cid.w));
        }
        if (cid.ncolors > 0 && cid.cmapdatahex) {
            picture.image.colorSpace = QPDFObjectHandle::parse(
                "[/Indexed /DeviceRGB " + std::to_string(cid.ncolors - 1) + " " + cid.cmapdatahex + "]");
        } else {
            picture.image.colorSpace = deviceSpace(cid.spp);
            if (cid.bps == 1 && !cid.minisblack) // leptonica's bilevel data: 1 is black
                picture.image.decode = QPDFObjectHandle::parse("[1 0]");
        }
    }
    // Decoding again while the PDF is written keeps one page in memory at a time;
    // the file must still decode to the same raster.
    const int w = cid.w, h = cid.h;
    const std::size_t size = cid.nbytescomp;
    picture.image.provider = [path, w, h, size, changed = picture.changed](Pipeline *out) {
        CidPtr again = compressedData(path);
        if (!again || again->w != w || again->h != h || again->nbytescomp != size) {
            *changed = true;
            throw std::runtime_error(path + " changed while the PDF was written");
        }
        out->write(again->datacomp, again->nbytescomp);
        out->finish();
    };
    return true;
}

} // namespace

bool probePicture(const std::string &path, PdfPicture &picture)
{
    picture = PdfPicture();
    l_int32 format = IFF_UNKNOWN;
    if (findFileFormat(path.c_str(), &format) != 0)
        return false;
    if (format == IFF_JFIF_JPEG)
        return probeJpeg(path, picture);
    CidPtr cid = compressedData(path);
    if (!cid || cid->w <= 0 || cid->h <= 0 || (cid->spp != 1 && cid->spp != 3))
        return false;
    picture.image.width = cid->w;
    picture.image.height = cid->h;
    picture.image.bitsPerComponent = cid->bps;
    picture.dpi = usableDpi(cid->res);
    return probeLossless(path, *cid, picture);
}

} // namespace docsdk
