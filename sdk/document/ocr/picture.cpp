#include "picture.h"

#include "layout.h"
#include "picturefile.h"

#include <leptonica/allheaders.h>

namespace docsdk
{
namespace ocr
{

void PixDeleter::operator()(Pix *pix) const
{
    pixDestroy(&pix);
}

bool isJpeg(const QByteArray &bytes)
{
    return bytes.startsWith("\xFF\xD8\xFF");
}

bool pictureHeaderReadable(const std::string &path)
{
    l_int32 format = IFF_UNKNOWN, w = 0, h = 0;
    return pixReadHeader(path.c_str(), &format, &w, &h, nullptr, nullptr, nullptr) == 0 && w > 0 && h > 0;
}

PixPtr decodePicture(const QByteArray &bytes)
{
    // Leptonica refuses corrupt or truncated JPEG data by default.
    return PixPtr(pixReadMem(reinterpret_cast<const l_uint8 *>(bytes.constData()), size_t(bytes.size())));
}

PixPtr uprightPicture(PixPtr pix, int orientation)
{
    if (!pix || orientation <= 1 || orientation > 8)
        return pix;
    // Orientations 5 to 8 are a quarter turn clockwise (three for 8), then 5 and 7 mirrored.
    if (orientation >= 5)
        pix.reset(pixRotateOrth(pix.get(), orientation == 8 ? 3 : 1));
    else if (orientation == 3)
        pix.reset(pixRotateOrth(pix.get(), 2));
    if (pix && (orientation == 2 || orientation == 5))
        pix.reset(pixFlipLR(nullptr, pix.get()));
    else if (pix && (orientation == 4 || orientation == 7))
        pix.reset(pixFlipTB(nullptr, pix.get()));
    return pix;
}

bool pageBytes(const Page &page, QByteArray &bytes)
{
    return readUnchanged(page.picture, page.fingerprint, bytes);
}

PixPtr pageLosslessPixels(const Page &page)
{
    QByteArray bytes;
    if (!pageBytes(page, bytes))
        return nullptr;
    PixPtr pix = uprightPicture(decodePicture(bytes), page.orientation);
    if (!pix)
        return pix;
    PixPtr plain(pixConvertTo8Or32(pix.get(), L_CLONE, 0));
    if (plain && pixGetSpp(plain.get()) == 4)
        plain.reset(pixRemoveAlpha(plain.get()));
    return plain;
}

} // namespace ocr
} // namespace docsdk
