// Reading the header segments of a JPEG file: the image library edits them, the
// PDF pages and the recogniser read them.
#ifndef SDKCOMMON_JPEGSEGMENTS_H
#define SDKCOMMON_JPEGSEGMENTS_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace jpegsegments
{

struct Segment {
    std::uint8_t marker;
    std::size_t pos; // of the 0xFF
    std::size_t len; // marker and payload
};

constexpr std::uint8_t kApp0 = 0xE0, kApp1 = 0xE1, kApp14 = 0xEE, kApp15 = 0xEF, kCom = 0xFE;

inline unsigned be16(const std::uint8_t *p)
{
    return (unsigned(p[0]) << 8) | p[1];
}

// The segments between SOI and the first scan.
inline std::vector<Segment> headerSegments(const std::uint8_t *jpeg, std::size_t size)
{
    std::vector<Segment> segs;
    std::size_t pos = 2;
    while (pos + 4 <= size && jpeg[pos] == 0xFF) {
        const std::uint8_t marker = jpeg[pos + 1];
        if (marker == 0xFF) { // fill byte
            ++pos;
            continue;
        }
        if (marker == 0xDA || marker == 0xD9) // start of scan, end of image
            break;
        const std::size_t len = 2 + be16(jpeg + pos + 2);
        if (len < 4 || pos + len > size)
            break;
        segs.push_back({marker, pos, len});
        pos += len;
    }
    return segs;
}

inline bool hasSignature(const std::uint8_t *jpeg, const Segment &s, std::uint8_t marker, const char *sig,
                         std::size_t n)
{
    return s.marker == marker && s.len >= 4 + n && std::memcmp(jpeg + s.pos + 4, sig, n) == 0;
}

// The EXIF orientation (1-8; 1 upright, 2, 4, 5 and 7 mirrored), 1 when absent or unreadable.
inline int exifOrientation(const std::uint8_t *jpeg, std::size_t size)
{
    for (const Segment &s : headerSegments(jpeg, size)) {
        if (!hasSignature(jpeg, s, kApp1, "Exif\0\0", 6))
            continue;
        const std::uint8_t *tiff = jpeg + s.pos + 10;
        const std::size_t n = s.len - 10;
        if (n < 8)
            return 1;
        const bool little = tiff[0] == 'I' && tiff[1] == 'I';
        const auto u16 = [&](std::size_t o) {
            return little ? unsigned(tiff[o]) | unsigned(tiff[o + 1]) << 8 : be16(tiff + o);
        };
        const std::size_t ifd =
            little ? std::size_t(u16(4)) | std::size_t(u16(6)) << 16 : std::size_t(u16(4)) << 16 | u16(6);
        if (ifd + 2 > n)
            return 1;
        const unsigned count = u16(ifd);
        for (unsigned i = 0; i < count && ifd + 2 + 12 * (i + 1) <= n; ++i) {
            const std::size_t entry = ifd + 2 + 12 * i;
            if (u16(entry) == 0x0112) { // Orientation, a SHORT in the value field
                const unsigned value = u16(entry + 8);
                return value >= 1 && value <= 8 ? int(value) : 1;
            }
        }
        return 1;
    }
    return 1;
}

} // namespace jpegsegments

#endif
