#include "ImageSDK.h"
#include "pix.h"
#include "pngmeta.h"
#include "rotate.h"
#include "tiffmeta.h"

#include <cstdio>

namespace imgsdk
{
namespace
{

bool singlePageTiff(const std::string &path)
{
    FILE *fp = std::fopen(path.c_str(), "rb");
    if (!fp)
        return false;
    l_int32 pages = 0;
    const bool ok = tiffGetCount(fp, &pages) == 0 && pages == 1;
    std::fclose(fp);
    return ok;
}

} // namespace

int rotateRaster(const std::string &path, const Bytes &data, int quarterTurns)
{
    l_int32 format = IFF_UNKNOWN, w = 0, h = 0, bps = 0, spp = 0, cmap = 0;
    if (data.size() < 12 ||
        pixReadHeaderMem(data.data(), data.size(), &format, &w, &h, &bps, &spp, &cmap) != 0)
        return IMG_ERR_UNREADABLE;
    const bool tiff = L_FORMAT_IS_TIFF(format);
    if (format != IFF_PNG && format != IFF_BMP && !tiff)
        return IMG_ERR_UNREADABLE;
    // Leptonica narrows 16-bit samples to 8 and reads only a TIFF's first page:
    // writing either back would lose data.
    if (bps > 8 || std::int64_t(w) * h > kMaxPicturePixels || (tiff && !singlePageTiff(path)))
        return IMG_ERR_UNSUPPORTED;
    TiffFacts facts;
    if (tiff && !readTiffFacts(data, facts))
        return IMG_ERR_UNREADABLE;
    if (tiff && !tiffColoursSurvive(facts))
        return IMG_ERR_UNSUPPORTED;

    PixPtr pix = decodePix(data);
    if (!pix)
        return IMG_ERR_UNREADABLE;
    PixPtr turned(pixRotateOrth(pix.get(), quarterTurns));
    if (!turned)
        return IMG_ERR_UNREADABLE;
    if (quarterTurns % 2)
        pixSetResolution(turned.get(), pixGetYRes(pix.get()), pixGetXRes(pix.get()));

    // JPEG inside TIFF would be re-encoded lossily; keep such pages losslessly instead.
    const int outFormat = format == IFF_TIFF_JPEG ? IFF_TIFF_ZIP : format;
    Bytes out;
    if (!encodePix(turned.get(), outFormat, 0, out))
        return IMG_ERR_WRITE_FAILED;
    if (format == IFF_PNG)
        out = withPngMetadataOf(data, out);
    // Leptonica writes a density into every TIFF, 300 dpi when the picture has none.
    if (tiff && !keepTiffResolution(out, facts, quarterTurns % 2))
        return IMG_ERR_WRITE_FAILED;
    return replaceFile(path, out.data(), out.size()) ? IMG_OK : IMG_ERR_WRITE_FAILED;
}

bool encodePix(PIX *pix, int format, int jpegQuality, Bytes &out)
{
    l_uint8 *data = nullptr;
    size_t size = 0;
    const l_ok rc = format == IFF_JFIF_JPEG ? pixWriteMemJpeg(&data, &size, pix, jpegQuality, 0)
                                            : pixWriteMem(&data, &size, pix, format);
    if (rc == 0 && data)
        out.assign(data, data + size);
    lept_free(data);
    return rc == 0 && !out.empty();
}

} // namespace imgsdk
