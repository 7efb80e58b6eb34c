#include "ImageSDK.h"
#include "exifthumbnail.h"
#include "jpegmeta.h"
#include "jpegsegments.h"
#include "rotate.h"
#include "tjhandle.h"

#include <algorithm>
#include <memory>
#include <opencv2/core.hpp>

namespace imgsdk
{
namespace
{

// Quality of the re-encode when a lossless turn is impossible: visually
// transparent, at a moderate size cost.
constexpr int kFallbackQuality = 95;

const int kRotations[] = {0, cv::ROTATE_90_CLOCKWISE, cv::ROTATE_180, cv::ROTATE_90_COUNTERCLOCKWISE};

// A partial MCU on the bottom edge blocks a clockwise quarter turn, one on the
// right edge a counter-clockwise one; a half turn needs both edges whole.
bool losslessPossible(int width, int height, int subsamp, int quarterTurns)
{
    const bool wholeRight = width % tjMCUWidth[subsamp] == 0;
    const bool wholeBottom = height % tjMCUHeight[subsamp] == 0;
    switch (quarterTurns) {
    case 1:
        return wholeBottom;
    case 3:
        return wholeRight;
    default:
        return wholeRight && wholeBottom;
    }
}

int transformLossless(const Bytes &data, int quarterTurns, Bytes &out)
{
    TjHandle tj(tjInitTransform());
    if (!tj.h)
        return IMG_ERR_WRITE_FAILED;
    static const int ops[] = {TJXOP_NONE, TJXOP_ROT90, TJXOP_ROT180, TJXOP_ROT270};
    tjtransform xf{};
    xf.op = ops[quarterTurns];
    xf.options = TJXOPT_PERFECT;
    // Progressive files stay progressive (the coefficients are the same either way).
    const std::vector<jpegsegments::Segment> segments =
        jpegsegments::headerSegments(data.data(), data.size());
    if (std::any_of(segments.begin(), segments.end(),
                    [](const jpegsegments::Segment &s) { return s.marker == 0xC2; }))
        xf.options |= TJXOPT_PROGRESSIVE;
    unsigned char *dst = nullptr;
    unsigned long dstSize = 0;
    const int rc = tjTransform(tj.h, data.data(), data.size(), 1, &dst, &dstSize, &xf, TJFLAG_STOPONWARNING);
    TjBuffer owned(dst);
    if (rc != 0)
        return IMG_ERR_UNREADABLE;
    out.assign(dst, dst + dstSize);
    return IMG_OK;
}

int reencodeTurned(const Bytes &data, int width, int height, int subsamp, int colorspace, int quarterTurns,
                   Bytes &out)
{
    const bool cmyk = colorspace == TJCS_CMYK || colorspace == TJCS_YCCK;
    const int format = colorspace == TJCS_GRAY ? TJPF_GRAY : cmyk ? TJPF_CMYK : TJPF_RGB;
    cv::Mat pixels(height, width, CV_8UC(tjPixelSize[format]));
    TjHandle dec(tjInitDecompress());
    if (!dec.h)
        return IMG_ERR_WRITE_FAILED;
    if (tjDecompress2(dec.h, data.data(), data.size(), pixels.data, width, 0, height, format,
                      TJFLAG_ACCURATEDCT | TJFLAG_STOPONWARNING) != 0)
        return IMG_ERR_UNREADABLE;

    cv::Mat turned;
    cv::rotate(pixels, turned, kRotations[quarterTurns]);

    // Keep the chroma resolution the picture had along each of its own axes.
    int samp = subsamp;
    if (quarterTurns % 2) {
        if (subsamp == TJSAMP_422)
            samp = TJSAMP_440;
        else if (subsamp == TJSAMP_440)
            samp = TJSAMP_422;
        else if (subsamp == TJSAMP_411)
            samp = TJSAMP_420;
    }
    TjHandle enc(tjInitCompress());
    if (!enc.h)
        return IMG_ERR_WRITE_FAILED;
    unsigned char *dst = nullptr;
    unsigned long dstSize = 0;
    const int rc = tjCompress2(enc.h, turned.data, turned.cols, 0, turned.rows, format, &dst, &dstSize, samp,
                               kFallbackQuality, TJFLAG_ACCURATEDCT);
    TjBuffer owned(dst);
    if (rc != 0)
        return IMG_ERR_WRITE_FAILED;
    out = withMetadataOf(data, Bytes(dst, dst + dstSize));
    return IMG_OK;
}

// The embedded thumbnail is turned with the picture, in the same stored frame under
// the same orientation tag: losslessly where its size allows (ours are 4:4:4, so a
// 4:3 one turns back to its very pixels), else re-encoded. One that does not decode
// is dropped rather than left stale.
void turnThumbnail(Bytes &jpeg, int quarterTurns)
{
    const exifthumbnail::Span span = exifthumbnail::find(jpeg.data(), jpeg.size());
    if (!span.len)
        return;
    const Bytes thumbnail(jpeg.begin() + span.pos, jpeg.begin() + span.pos + span.len);
    Bytes encoded;
    int width = 0, height = 0, colorspace = 0;
    cv::Mat rgb, turned;
    TjHandle tj(tjInitCompress());
    if (transformLossless(thumbnail, quarterTurns, encoded) != IMG_OK && tj.h &&
        jpegHeader(thumbnail.data(), thumbnail.size(), width, height, colorspace) &&
        std::int64_t(width) * height <= kMaxPicturePixels &&
        decodeRgb(thumbnail.data(), thumbnail.size(), width, height, true, rgb)) {
        cv::rotate(rgb, turned, kRotations[quarterTurns]);
        unsigned char *dst = nullptr;
        unsigned long dstSize = 0;
        if (tjCompress2(tj.h, turned.data, turned.cols, 0, turned.rows, TJPF_RGB, &dst, &dstSize, TJSAMP_444,
                        exifthumbnail::kQuality, 0) == 0)
            encoded.assign(dst, dst + dstSize);
        tjFree(dst);
    }
    exifthumbnail::replace(jpeg, encoded);
}

} // namespace

int rotateJpeg(const std::string &path, const Bytes &data, int quarterTurns)
{
    // Viewers show the picture through its EXIF orientation, which stays as it
    // is. Seen through a mirror, a clockwise turn of what is shown is a
    // counter-clockwise turn of what is stored.
    const int orientation = jpegsegments::exifOrientation(data.data(), data.size());
    if (orientation == 2 || orientation == 4 || orientation == 5 || orientation == 7)
        quarterTurns = (4 - quarterTurns) % 4;

    int width = 0, height = 0, subsamp = -1, colorspace = -1;
    {
        TjHandle tj(tjInitDecompress());
        if (!tj.h)
            return IMG_ERR_WRITE_FAILED;
        if (tjDecompressHeader3(tj.h, data.data(), data.size(), &width, &height, &subsamp, &colorspace) != 0)
            return IMG_ERR_UNREADABLE;
    }
    if (subsamp < 0 || subsamp >= TJ_NUMSAMP || std::int64_t(width) * height > kMaxPicturePixels)
        return IMG_ERR_UNSUPPORTED;

    Bytes out;
    const int rc = losslessPossible(width, height, subsamp, quarterTurns)
                       ? transformLossless(data, quarterTurns, out)
                       : reencodeTurned(data, width, height, subsamp, colorspace, quarterTurns, out);
    if (rc != IMG_OK)
        return rc;
    adjustTurnedMetadata(data, out, quarterTurns);
    turnThumbnail(out, quarterTurns);
    return replaceFile(path, out.data(), out.size()) ? IMG_OK : IMG_ERR_WRITE_FAILED;
}

} // namespace imgsdk
