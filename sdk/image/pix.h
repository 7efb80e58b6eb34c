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

// Decodes a picture held in memory; null when it is corrupt or of an unknown kind.
inline PixPtr decodePix(const Bytes &data)
{
    return PixPtr(data.size() < 12 ? nullptr : pixReadMem(data.data(), data.size()));
}

// Encodes pix in a leptonica file format (IFF_*); JPEG at the given quality.
bool encodePix(PIX *pix, int format, int jpegQuality, Bytes &out);

} // namespace imgsdk

#endif
