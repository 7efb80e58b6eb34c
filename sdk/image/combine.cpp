#include "combine.h"
#include "exifthumbnail.h"
#include "pix.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace imgsdk
{
namespace
{

constexpr int kJpegQuality = 92;

int formatForExtension(const std::string &ext)
{
    if (ext == "jpg" || ext == "jpeg")
        return IFF_JFIF_JPEG;
    if (ext == "png")
        return IFF_PNG;
    if (ext == "bmp")
        return IFF_BMP;
    if (ext == "tif" || ext == "tiff")
        return IFF_TIFF_ZIP;
    return IFF_UNKNOWN;
}

PixPtr readPicture(const std::string &path)
{
    Bytes data;
    if (!readFile(path, data))
        return nullptr;
    return decodePix(data);
}

// Both sides at one depth: 8-bit grey when both are grey, otherwise opaque RGB.
PixPtr normalised(PIX *pix, bool grey)
{
    if (grey)
        return PixPtr(pixClone(pix));
    PixPtr rgb(pixConvertTo32(pix));
    if (rgb)
        pixSetSpp(rgb.get(), 3);
    return rgb;
}

bool isPlainGrey(PIX *pix)
{
    return pixGetDepth(pix) == 8 && !pixGetColormap(pix);
}

// File lists show a JPEG from its EXIF thumbnail without decoding the picture.
bool embedThumbnail(PIX *pix, Bytes &jpeg)
{
    const auto [w, h] = exifthumbnail::sizeFor(pixGetWidth(pix), pixGetHeight(pix));
    const PixPtr small(pixScaleToSize(pix, w, h));
    Bytes thumbnail;
    if (!small || !encodePix(small.get(), IFF_JFIF_JPEG, exifthumbnail::kQuality, thumbnail))
        return false;
    exifthumbnail::embed(jpeg, thumbnail);
    return true;
}

} // namespace

bool combinePictures(const std::string &front, const std::string &back, const std::string &out, Layout layout)
{
    const int format = formatForExtension(lowerExtension(out));
    if (format == IFF_UNKNOWN)
        return false;
    PixPtr a = readPicture(front);
    PixPtr b = readPicture(back);
    if (!a || !b)
        return false;
    const bool grey = isPlainGrey(a.get()) && isPlainGrey(b.get());
    a = normalised(a.get(), grey);
    b = normalised(b.get(), grey);
    if (!a || !b)
        return false;

    // The side that is smaller along the shared edge is scaled up to the other.
    const bool side = layout == Layout::SideBySide;
    const auto edge = [side](PIX *p) { return side ? pixGetHeight(p) : pixGetWidth(p); };
    const bool aLarger = edge(a.get()) >= edge(b.get());
    PIX *large = aLarger ? a.get() : b.get();
    PixPtr &smallRef = aLarger ? b : a;
    const int shared = edge(large);
    if (edge(smallRef.get()) != shared) {
        const double f = double(shared) / edge(smallRef.get());
        const int w = side ? int(std::lround(pixGetWidth(smallRef.get()) * f)) : shared;
        const int h = side ? shared : int(std::lround(pixGetHeight(smallRef.get()) * f));
        smallRef.reset(pixScaleToSize(smallRef.get(), std::max(w, 1), std::max(h, 1)));
        if (!smallRef)
            return false;
    }

    const int aw = pixGetWidth(a.get()), ah = pixGetHeight(a.get());
    const int bw = pixGetWidth(b.get()), bh = pixGetHeight(b.get());
    const std::int64_t width = side ? std::int64_t(aw) + bw : aw;
    const std::int64_t height = side ? ah : std::int64_t(ah) + bh;
    if (width * height > kMaxPicturePixels)
        return false;
    PixPtr joined(pixCreate(int(width), int(height), pixGetDepth(a.get())));
    if (!joined)
        return false;
    pixSetSpp(joined.get(), grey ? 1 : 3);
    pixRasterop(joined.get(), 0, 0, aw, ah, PIX_SRC, a.get(), 0, 0);
    pixRasterop(joined.get(), side ? aw : 0, side ? 0 : ah, bw, bh, PIX_SRC, b.get(), 0, 0);
    pixSetResolution(joined.get(), pixGetXRes(large), pixGetYRes(large));

    Bytes encoded;
    return encodePix(joined.get(), format, kJpegQuality, encoded) &&
           (format != IFF_JFIF_JPEG || embedThumbnail(joined.get(), encoded)) &&
           replaceFile(out, encoded.data(), encoded.size());
}

} // namespace imgsdk
