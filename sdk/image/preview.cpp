// Reading JPEGs small for previews: the embedded thumbnail where it will do, else
// the decoder's DCT scaling, which leaves out most of the inverse transform.
#include "ImageSDK.h"
#include "exifthumbnail.h"
#include "fileio.h"
#include "jpegsegments.h"
#include "tjhandle.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace imgsdk
{
namespace
{

// The EXIF segment sits in the header, in the first few segments of at most 64 KB each.
constexpr std::size_t kHeadBytes = 256 * 1024;

struct Size {
    int width = 0, height = 0;
};

// The picture fitted into the box, keeping its shape.
Size fitted(Size picture, Size box)
{
    const double scale =
        std::min({double(box.width) / picture.width, double(box.height) / picture.height, 1.0});
    return {std::max(1, int(picture.width * scale)), std::max(1, int(picture.height * scale))};
}

// A thumbnail serves when it is at least the wanted size, no larger than the picture
// (a corrupt header must not make us allocate more than the picture would) and has
// the picture's shape, give or take the rounding of one of its sides.
bool serves(Size thumbnail, Size picture, Size wanted)
{
    const std::int64_t skew = std::abs(std::int64_t(thumbnail.width) * picture.height -
                                       std::int64_t(thumbnail.height) * picture.width);
    return thumbnail.width >= wanted.width && thumbnail.height >= wanted.height &&
           thumbnail.width <= picture.width && thumbnail.height <= picture.height &&
           skew <= std::max(picture.width, picture.height);
}

bool readThumbnail(const Bytes &data, Size picture, Size wanted, cv::Mat &rgb)
{
    const exifthumbnail::Span span = exifthumbnail::find(data.data(), data.size());
    Size size;
    int colorspace = 0;
    return span.len && jpegHeader(&data[span.pos], span.len, size.width, size.height, colorspace) &&
           serves(size, picture, wanted) &&
           decodeRgb(&data[span.pos], span.len, size.width, size.height, true, rgb);
}

// The smallest of the decoder's scales that still covers the wanted size.
Size decodingSize(Size picture, Size wanted)
{
    int count = 0;
    const tjscalingfactor *factors = tjGetScalingFactors(&count);
    Size best = picture;
    for (int i = 0; factors && i < count; ++i) {
        const Size s{TJSCALED(picture.width, factors[i]), TJSCALED(picture.height, factors[i])};
        if (s.width >= wanted.width && s.height >= wanted.height &&
            std::int64_t(s.width) * s.height < std::int64_t(best.width) * best.height)
            best = s;
    }
    return best;
}

cv::Mat upright(const cv::Mat &stored, int orientation)
{
    cv::Mat out;
    switch (orientation) {
    case 2:
        cv::flip(stored, out, 1);
        return out;
    case 3:
        cv::rotate(stored, out, cv::ROTATE_180);
        return out;
    case 4:
        cv::flip(stored, out, 0);
        return out;
    case 5:
        cv::transpose(stored, out);
        return out;
    case 6:
        cv::rotate(stored, out, cv::ROTATE_90_CLOCKWISE);
        return out;
    case 7:
        cv::transpose(stored, out);
        cv::flip(out, out, -1);
        return out;
    case 8:
        cv::rotate(stored, out, cv::ROTATE_90_COUNTERCLOCKWISE);
        return out;
    default:
        return stored;
    }
}

int readPreview(const std::string &path, Size box, cv::Mat &rgb, bool &fromThumbnail)
{
    Bytes data;
    if (!readFile(path, data, kHeadBytes))
        return IMG_ERR_UNREADABLE;
    if (data.size() < 3 || data[0] != 0xFF || data[1] != 0xD8 || data[2] != 0xFF)
        return IMG_ERR_UNSUPPORTED;
    Size picture;
    int colorspace = 0;
    if (!jpegHeader(data.data(), data.size(), picture.width, picture.height, colorspace))
        return IMG_ERR_UNREADABLE;
    if (std::int64_t(picture.width) * picture.height > kMaxPicturePixels || colorspace == TJCS_CMYK ||
        colorspace == TJCS_YCCK)
        return IMG_ERR_UNSUPPORTED;
    const int orientation = jpegsegments::exifOrientation(data.data(), data.size());
    if (orientation >= 5) // the box, like the picture, as stored
        std::swap(box.width, box.height);
    const Size wanted = fitted(picture, box);
    cv::Mat stored;
    fromThumbnail = readThumbnail(data, picture, wanted, stored);
    if (!fromThumbnail) {
        if (data.size() == kHeadBytes && !readFile(path, data))
            return IMG_ERR_UNREADABLE;
        const Size size = decodingSize(picture, wanted);
        if (!decodeRgb(data.data(), data.size(), size.width, size.height, false, stored))
            return IMG_ERR_UNREADABLE;
    }
    rgb = upright(stored, orientation);
    return IMG_OK;
}

} // namespace
} // namespace imgsdk

extern "C" int imageReadPreview(const char *path, int width, int height, unsigned char **pixels,
                                int *outWidth, int *outHeight, int *fromThumbnail)
{
    if (!path || !*path || width <= 0 || height <= 0 || !pixels || !outWidth || !outHeight)
        return IMG_ERR_ARGUMENT;
    cv::Mat rgb;
    bool thumbnail = false;
    try {
        const int rc = imgsdk::readPreview(path, {width, height}, rgb, thumbnail);
        if (rc != IMG_OK)
            return rc;
    } catch (const std::exception &) { // out of memory
        return IMG_ERR_UNREADABLE;
    }
    const std::size_t bytes = rgb.total() * 3;
    *pixels = static_cast<unsigned char *>(std::malloc(bytes));
    if (!*pixels)
        return IMG_ERR_UNREADABLE;
    std::memcpy(*pixels, rgb.data, bytes); // continuous: made by the decoder or a turn
    *outWidth = rgb.cols;
    *outHeight = rgb.rows;
    if (fromThumbnail)
        *fromThumbnail = thumbnail ? 1 : 0;
    return IMG_OK;
}

extern "C" void imageFree(unsigned char *pixels)
{
    std::free(pixels);
}
