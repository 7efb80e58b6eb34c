#include "emuframes.h"

#include <linux/videodev2.h>
#include <turbojpeg.h>

#include <algorithm>
#include <fstream>
#include <iterator>

namespace v4l2emu {

namespace {

struct Rgb {
    int width = 0;
    int height = 0;
    Bytes pixels;
};

Rgb readJpeg(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    const Bytes file((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    Rgb rgb;
    tjhandle tj = tjInitDecompress();
    int w = 0, h = 0, sub = 0, space = 0;
    if (!file.empty() && tjDecompressHeader3(tj, file.data(), file.size(), &w, &h, &sub, &space) == 0) {
        rgb.pixels.resize(size_t(w) * h * 3);
        if (tjDecompress2(tj, file.data(), file.size(), rgb.pixels.data(), w, 0, h, TJPF_RGB, 0) == 0) {
            rgb.width = w;
            rgb.height = h;
        } else {
            rgb.pixels.clear();
        }
    }
    tjDestroy(tj);
    return rgb;
}

Rgb scaled(const Rgb &src, int width, int height)
{
    Rgb out{width, height, Bytes(size_t(width) * height * 3)};
    for (int y = 0; y < height; ++y) {
        const uint8_t *row = &src.pixels[size_t(y * src.height / height) * src.width * 3];
        uint8_t *o = &out.pixels[size_t(y) * width * 3];
        for (int x = 0; x < width; ++x, o += 3)
            std::copy_n(row + size_t(x * src.width / width) * 3, 3, o);
    }
    return out;
}

Bytes toJpeg(const Rgb &rgb)
{
    tjhandle tj = tjInitCompress();
    unsigned char *jpeg = nullptr;
    unsigned long size = 0;
    Bytes out;
    // 4:2:2 at a middling quality, as UVC cameras encode.
    if (tjCompress2(tj, rgb.pixels.data(), rgb.width, 0, rgb.height, TJPF_RGB, &jpeg, &size, TJSAMP_422, 80,
                    TJFLAG_FASTDCT) == 0)
        out.assign(jpeg, jpeg + size);
    tjFree(jpeg);
    tjDestroy(tj);
    return out;
}

uint8_t clamp(int v)
{
    return static_cast<uint8_t>(std::clamp(v, 0, 255));
}

Bytes toYuyv(const Rgb &rgb)
{
    Bytes out(size_t(rgb.width) * rgb.height * 2);
    const auto luma = [](const uint8_t *p) { return (66 * p[0] + 129 * p[1] + 25 * p[2] + 128) / 256 + 16; };
    for (size_t i = 0; i + 1 < size_t(rgb.width) * rgb.height; i += 2) {
        const uint8_t *a = &rgb.pixels[i * 3], *b = a + 3;
        const int r = (a[0] + b[0]) / 2, g = (a[1] + b[1]) / 2, bl = (a[2] + b[2]) / 2;
        out[i * 2] = clamp(luma(a));
        out[i * 2 + 1] = clamp((-38 * r - 74 * g + 112 * bl + 128) / 256 + 128);
        out[i * 2 + 2] = clamp(luma(b));
        out[i * 2 + 3] = clamp((112 * r - 94 * g - 18 * bl + 128) / 256 + 128);
    }
    return out;
}

// Offset of the first byte after the SOS header, or 0.
size_t scanStart(const Bytes &jpeg)
{
    for (size_t i = 2; i + 4 <= jpeg.size();) {
        if (jpeg[i] != 0xFF)
            return 0;
        const size_t len = size_t(jpeg[i + 2]) << 8 | jpeg[i + 3];
        if (jpeg[i + 1] == 0xDA)
            return i + 2 + len;
        i += 2 + len;
    }
    return 0;
}

} // namespace

std::vector<Bytes> makeFrames(const std::vector<std::string> &pictures, uint32_t fourcc, int width,
                              int height)
{
    std::vector<Rgb> sources;
    for (const std::string &p : pictures) {
        Rgb rgb = readJpeg(p);
        if (!rgb.pixels.empty())
            sources.push_back(std::move(rgb));
    }
    std::vector<Bytes> frames;
    for (const Rgb &src : sources) {
        const Rgb rgb = scaled(src, width, height);
        frames.push_back(fourcc == V4L2_PIX_FMT_MJPEG ? toJpeg(rgb) : toYuyv(rgb));
    }
    return frames;
}

Bytes withoutHuffmanTables(const Bytes &jpeg)
{
    const size_t scan = scanStart(jpeg);
    if (scan == 0)
        return jpeg;
    Bytes out(jpeg.begin(), jpeg.begin() + 2);
    for (size_t i = 2; i < scan;) {
        const size_t len = size_t(jpeg[i + 2]) << 8 | jpeg[i + 3];
        if (jpeg[i + 1] != 0xC4)
            out.insert(out.end(), jpeg.begin() + i, jpeg.begin() + i + 2 + len);
        i += 2 + len;
    }
    out.insert(out.end(), jpeg.begin() + scan, jpeg.end());
    return out;
}

Bytes corrupted(const Bytes &jpeg)
{
    Bytes out = jpeg;
    const size_t scan = scanStart(jpeg);
    if (scan == 0 || jpeg.size() < scan + 16)
        return out;
    const size_t from = scan + (jpeg.size() - scan) / 3, to = jpeg.size() - 2 - (jpeg.size() - scan) / 3;
    uint32_t x = 2463534242u;
    for (size_t i = from; i < to; ++i) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        out[i] = static_cast<uint8_t>(x % 0xFF); // never 0xFF: no stray markers
    }
    return out;
}

} // namespace v4l2emu
