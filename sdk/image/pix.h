// Leptonica images owned by RAII handles, and encoding them by file format.
#ifndef IMGSDK_PIX_H
#define IMGSDK_PIX_H

#include "fileio.h"

#include <leptonica/allheaders.h>
#include <memory>

namespace imgsdk
{

struct PixDeleter {
    void operator()(PIX *p) const { pixDestroy(&p); }
};
using PixPtr = std::unique_ptr<PIX, PixDeleter>;

// Decodes a picture held in memory; null when it is corrupt, of an unknown kind
// or larger than kMaxPicturePixels.
inline PixPtr decodePix(const Bytes &data)
{
    l_int32 format = 0, w = 0, h = 0, bps = 0, spp = 0, cmap = 0;
    if (data.size() < 12 ||
        pixReadHeaderMem(data.data(), data.size(), &format, &w, &h, &bps, &spp, &cmap) != 0 ||
        std::int64_t(w) * h > kMaxPicturePixels)
        return nullptr;
    return PixPtr(pixReadMem(data.data(), data.size()));
}

// Encodes pix in a leptonica file format (IFF_*); JPEG at the given quality.
bool encodePix(PIX *pix, int format, int jpegQuality, Bytes &out);

} // namespace imgsdk

#endif
