#include "jpegcodec.h"

#include <opencv2/imgproc.hpp>
#include <turbojpeg.h>

#include <algorithm>

namespace camsdk
{

namespace
{
constexpr long long kMaxPixels = 64LL * 1000 * 1000;
} // namespace

JpegCodec::JpegCodec()
    : m_decoder(tjInitDecompress()), m_encoder(tjInitCompress()), m_transformer(tjInitTransform())
{
}

JpegCodec::~JpegCodec()
{
    if (m_transformer)
        tjDestroy(m_transformer);
    if (m_decoder)
        tjDestroy(m_decoder);
    if (m_encoder)
        tjDestroy(m_encoder);
}

bool JpegCodec::header(const uint8_t *data, size_t size, int *width, int *height, bool *gray)
{
    if (!m_decoder || !data || size < 4 || size > 0x7fffffffu)
        return false;
    int w = 0, h = 0, subsamp = 0, colorspace = 0;
    if (tjDecompressHeader3(m_decoder, data, static_cast<unsigned long>(size), &w, &h, &subsamp,
                            &colorspace) != 0)
        return false;
    // No document camera makes more than this; a corrupt header must not
    // make us allocate gigabytes.
    if (w <= 0 || h <= 0 || static_cast<long long>(w) * h > kMaxPixels)
        return false;
    *width = w;
    *height = h;
    if (gray)
        *gray = colorspace == TJCS_GRAY;
    return true;
}

bool JpegCodec::decode(const uint8_t *data, size_t size, int width, int height, bool rgb, uint8_t *out)
{
    if (!m_decoder || !data || !out || size > 0x7fffffffu)
        return false;
    // Corrupt tails (a camera's truncated frame) decode with a warning; the
    // picture is still worth showing, so only hard errors fail.
    const int rc = tjDecompress2(m_decoder, data, static_cast<unsigned long>(size), out, width, 0, height,
                                 rgb ? TJPF_RGB : TJPF_BGR, 0);
    return rc == 0 || tjGetErrorCode(m_decoder) == TJERR_WARNING;
}

bool JpegCodec::encode(const cv::Mat &img, int quality, std::vector<uint8_t> &out, bool fullChroma)
{
    if (!m_encoder || img.empty() || img.depth() != CV_8U)
        return false;
    cv::Mat src = img;
    if (img.channels() == 4)
        cv::cvtColor(img, src, cv::COLOR_BGRA2BGR);
    else if (img.channels() != 1 && img.channels() != 3)
        return false;
    const bool gray = src.channels() == 1;
    const int subsamp = gray ? TJSAMP_GRAY : fullChroma ? TJSAMP_444 : TJSAMP_420;
    out.resize(tjBufSize(src.cols, src.rows, subsamp));
    unsigned char *buf = out.data();
    unsigned long size = 0;
    if (tjCompress2(m_encoder, src.data, src.cols, static_cast<int>(src.step), src.rows,
                    gray ? TJPF_GRAY : TJPF_BGR, &buf, &size, subsamp, quality, TJFLAG_NOREALLOC) != 0) {
        out.clear();
        return false;
    }
    out.resize(size);
    return true;
}

bool JpegCodec::rotate(const std::vector<uint8_t> &jpeg, int degrees, std::vector<uint8_t> &out)
{
    if (!m_transformer || jpeg.empty() || jpeg.size() > 0x7fffffffu)
        return false;
    tjtransform t{};
    t.op = degrees == 90    ? TJXOP_ROT90
           : degrees == 180 ? TJXOP_ROT180
           : degrees == 270 ? TJXOP_ROT270
                            : TJXOP_NONE;
    if (t.op == TJXOP_NONE)
        return false;
    t.options = TJXOPT_PERFECT;
    unsigned char *buf = nullptr;
    unsigned long size = 0;
    const bool ok = tjTransform(m_transformer, jpeg.data(), static_cast<unsigned long>(jpeg.size()), 1, &buf,
                                &size, &t, 0) == 0;
    if (ok)
        out.assign(buf, buf + size);
    tjFree(buf);
    return ok;
}

int previewDenominator(int width, int height)
{
    const double pixels = static_cast<double>(width) * height;
    if (pixels <= 1920.0 * 1080.0)
        return 1;
    return pixels / 4 <= 2.1e6 ? 2 : 4;
}

FrameSize scaledSize(FrameSize full, int denominator)
{
    const tjscalingfactor f{1, denominator};
    return {TJSCALED(full.width, f), TJSCALED(full.height, f)};
}

bool decodeFrame(JpegCodec &codec, const EncodedFrame &frame, cv::Mat &bgr)
{
    if (frame.format == PixelFormat::Yuyv) {
        if (frame.width <= 0 || frame.height <= 0)
            return false;
        bgr.create(frame.height, frame.width, CV_8UC3);
        return convertYuyv(frame.data.data(), frame.data.size(), frame.width, frame.height, false, bgr.data);
    }
    int w = 0, h = 0;
    if (!codec.header(frame.data.data(), frame.data.size(), &w, &h))
        return false;
    bgr.create(h, w, CV_8UC3);
    return codec.decode(frame.data.data(), frame.data.size(), w, h, false, bgr.data);
}

bool convertYuyv(const uint8_t *yuyv, size_t size, int width, int height, bool rgb, uint8_t *out)
{
    if (!yuyv || !out || width <= 0 || height <= 0 || width % 2 != 0 ||
        size < static_cast<size_t>(width) * height * 2)
        return false;
    const cv::Mat src(height, width, CV_8UC2, const_cast<uint8_t *>(yuyv));
    cv::Mat dst(height, width, CV_8UC3, out);
    cv::cvtColor(src, dst, rgb ? cv::COLOR_YUV2RGB_YUYV : cv::COLOR_YUV2BGR_YUYV);
    return true;
}

namespace
{

// Walks the marker segments before the scan; calls f(marker, offset of the
// segment's length field). Stops when f returns true. False on a malformed header.
template <typename F> bool walkSegments(const std::vector<uint8_t> &j, F f)
{
    if (j.size() < 4 || j[0] != 0xFF || j[1] != 0xD8)
        return false;
    size_t pos = 2;
    while (pos + 4 <= j.size()) {
        if (j[pos] != 0xFF)
            return false;
        const uint8_t marker = j[pos + 1];
        if (marker == 0xFF) { // fill byte
            ++pos;
            continue;
        }
        if (f(marker, pos + 2) || marker == 0xDA)
            return true;
        const size_t len = (static_cast<size_t>(j[pos + 2]) << 8) | j[pos + 3];
        if (len < 2)
            return false;
        pos += 2 + len;
    }
    return false;
}

void putBe16(uint8_t *p, int v)
{
    p[0] = static_cast<uint8_t>((v >> 8) & 0xFF);
    p[1] = static_cast<uint8_t>(v & 0xFF);
}

} // namespace

bool hasHuffmanTables(const std::vector<uint8_t> &jpeg)
{
    bool found = false;
    walkSegments(jpeg, [&](uint8_t marker, size_t) {
        found = found || marker == 0xC4;
        return found;
    });
    return found;
}

bool setJfifDensity(std::vector<uint8_t> &jpeg, int dpiX, int dpiY)
{
    if (jpeg.size() < 4 || jpeg[0] != 0xFF || jpeg[1] != 0xD8)
        return false;
    dpiX = std::clamp(dpiX, 1, 65535);
    dpiY = std::clamp(dpiY, 1, 65535);
    static const uint8_t jfif[] = {'J', 'F', 'I', 'F', 0};
    // JFIF APP0 must come first after SOI: units at +9, densities at +10 and +12
    // from the length field.
    if (jpeg.size() >= 20 && jpeg[2] == 0xFF && jpeg[3] == 0xE0 &&
        std::equal(jfif, jfif + 5, jpeg.begin() + 6)) {
        jpeg[13] = 1; // dots per inch
        putBe16(&jpeg[14], dpiX);
        putBe16(&jpeg[16], dpiY);
        return true;
    }
    uint8_t app0[18] = {0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0, 1, 1, 1, 0, 0, 0, 0, 0, 0};
    putBe16(&app0[12], dpiX);
    putBe16(&app0[14], dpiY);
    jpeg.insert(jpeg.begin() + 2, app0, app0 + sizeof(app0));
    return true;
}

} // namespace camsdk
