#include "picture.h"

#include <leptonica/allheaders.h>

namespace docsdk
{
namespace ocr
{

void PixDeleter::operator()(Pix *pix) const
{
    pixDestroy(&pix);
}

bool isJpegFile(const std::string &path)
{
    l_int32 format = IFF_UNKNOWN;
    return findFileFormat(path.c_str(), &format) == 0 && format == IFF_JFIF_JPEG;
}

bool pictureHeaderReadable(const std::string &path)
{
    l_int32 format = IFF_UNKNOWN, w = 0, h = 0;
    return pixReadHeader(path.c_str(), &format, &w, &h, nullptr, nullptr, nullptr) == 0 && w > 0 && h > 0;
}

PixPtr readPicture(const std::string &path)
{
    // Leptonica refuses corrupt or truncated JPEG data by default.
    return PixPtr(pixRead(path.c_str()));
}

PixPtr readLosslessPixels(const std::string &path)
{
    PixPtr pix = readPicture(path);
    if (!pix)
        return pix;
    PixPtr plain(pixConvertTo8Or32(pix.get(), L_CLONE, 0));
    if (plain && pixGetSpp(plain.get()) == 4)
        plain.reset(pixRemoveAlpha(plain.get()));
    return plain;
}

} // namespace ocr
} // namespace docsdk
