#include "picturedensity.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <zlib.h>

namespace camsdk
{
namespace
{

constexpr size_t kPngSignature = 8;
constexpr size_t kChunkOverhead = 12; // length, type, CRC
constexpr double kInchesPerMetre = 1 / 0.0254;

uint32_t pixelsPerMetre(double dpi)
{
    return static_cast<uint32_t>(std::lround(std::clamp(dpi, 1.0, 100000.0) * kInchesPerMetre));
}

void putBe32(uint8_t *p, uint32_t v)
{
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}

void putLe32(uint8_t *p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

uint32_t be32(const uint8_t *p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

} // namespace

bool setPngDensity(std::vector<uint8_t> &png, double dpiX, double dpiY)
{
    static const uint8_t signature[kPngSignature] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (png.size() < kPngSignature + kChunkOverhead || !std::equal(signature, signature + 8, png.begin()))
        return false;
    // An encoder's own pHYs goes; ours follows the header chunk, before the image data as required.
    size_t afterHeader = 0;
    for (size_t pos = kPngSignature; pos + kChunkOverhead <= png.size();) {
        const size_t length = be32(&png[pos]) + kChunkOverhead;
        if (length < kChunkOverhead || pos + length > png.size())
            return false;
        if (std::memcmp(&png[pos + 4], "pHYs", 4) == 0) {
            png.erase(png.begin() + long(pos), png.begin() + long(pos + length));
            continue;
        }
        if (std::memcmp(&png[pos + 4], "IHDR", 4) == 0)
            afterHeader = pos + length;
        pos += length;
    }
    if (afterHeader == 0)
        return false;
    uint8_t chunk[kChunkOverhead + 9] = {0, 0, 0, 9, 'p', 'H', 'Y', 's'};
    putBe32(chunk + 8, pixelsPerMetre(dpiX));
    putBe32(chunk + 12, pixelsPerMetre(dpiY));
    chunk[16] = 1; // the unit is the metre
    putBe32(chunk + 17, uint32_t(crc32(crc32(0, nullptr, 0), chunk + 4, 13)));
    png.insert(png.begin() + long(afterHeader), chunk, chunk + sizeof chunk);
    return true;
}

bool setBmpDensity(std::vector<uint8_t> &bmp, double dpiX, double dpiY)
{
    // File header (14 bytes), then an info header of at least 40 bytes with the densities at 24 and 28.
    if (bmp.size() < 54 || bmp[0] != 'B' || bmp[1] != 'M' || (bmp[14] | bmp[15] << 8) < 40)
        return false;
    putLe32(&bmp[38], pixelsPerMetre(dpiX));
    putLe32(&bmp[42], pixelsPerMetre(dpiY));
    return true;
}

} // namespace camsdk
