#include "jpegmeta.h"

#include <cstring>

namespace imgsdk
{
namespace
{

constexpr std::uint8_t kApp0 = 0xE0, kApp1 = 0xE1, kApp14 = 0xEE, kApp15 = 0xEF, kCom = 0xFE, kSos = 0xDA,
                       kEoi = 0xD9;

struct Segment {
    std::uint8_t marker;
    std::size_t pos; // of the 0xFF
    std::size_t len; // marker and payload
};

unsigned be16(const std::uint8_t *p)
{
    return (unsigned(p[0]) << 8) | p[1];
}

// The segments between SOI and the first scan.
std::vector<Segment> headerSegments(const Bytes &jpeg)
{
    std::vector<Segment> segs;
    std::size_t pos = 2;
    while (pos + 4 <= jpeg.size() && jpeg[pos] == 0xFF) {
        const std::uint8_t marker = jpeg[pos + 1];
        if (marker == 0xFF) { // fill byte
            ++pos;
            continue;
        }
        if (marker == kSos || marker == kEoi)
            break;
        const std::size_t len = 2 + be16(&jpeg[pos + 2]);
        if (len < 4 || pos + len > jpeg.size())
            break;
        segs.push_back({marker, pos, len});
        pos += len;
    }
    return segs;
}

// APP14 (Adobe) records the encoder's colour transform: it describes the coded
// data, not the picture, so it stays with whichever encoding it came from.
bool isMetadata(std::uint8_t marker)
{
    return (marker >= kApp0 && marker <= kApp15 && marker != kApp14) || marker == kCom;
}

bool hasSignature(const Bytes &jpeg, const Segment &s, std::uint8_t marker, const char *sig, std::size_t n)
{
    return s.marker == marker && s.len >= 4 + n && std::memcmp(&jpeg[s.pos + 4], sig, n) == 0;
}

// Offset of the JFIF density fields (units, X, Y), or 0 when there is no JFIF segment.
std::size_t jfifDensityOffset(const Bytes &jpeg)
{
    for (const Segment &s : headerSegments(jpeg))
        if (hasSignature(jpeg, s, kApp0, "JFIF\0", 5) && s.len >= 16)
            return s.pos + 11;
    return 0;
}

void resetExifOrientation(Bytes &jpeg)
{
    for (const Segment &s : headerSegments(jpeg)) {
        if (!hasSignature(jpeg, s, kApp1, "Exif\0\0", 6))
            continue;
        std::uint8_t *tiff = &jpeg[s.pos + 10];
        const std::size_t size = s.len - 10;
        if (size < 8)
            return;
        const bool little = tiff[0] == 'I' && tiff[1] == 'I';
        const auto u16 = [&](std::size_t o) {
            return little ? unsigned(tiff[o]) | unsigned(tiff[o + 1]) << 8 : be16(tiff + o);
        };
        const auto u32 = [&](std::size_t o) {
            return little ? std::size_t(u16(o)) | std::size_t(u16(o + 2)) << 16
                          : std::size_t(u16(o)) << 16 | u16(o + 2);
        };
        const std::size_t ifd = u32(4);
        if (ifd + 2 > size)
            return;
        const unsigned count = u16(ifd);
        for (unsigned i = 0; i < count && ifd + 2 + 12 * (i + 1) <= size; ++i) {
            const std::size_t entry = ifd + 2 + 12 * i;
            if (u16(entry) == 0x0112) { // Orientation, a SHORT stored in the value field
                tiff[entry + 8] = little ? 1 : 0;
                tiff[entry + 9] = little ? 0 : 1;
                return;
            }
        }
        return;
    }
}

} // namespace

Bytes withMetadataOf(const Bytes &original, const Bytes &encoded)
{
    Bytes out{0xFF, 0xD8};
    for (const Segment &s : headerSegments(original))
        if (isMetadata(s.marker))
            out.insert(out.end(), original.begin() + s.pos, original.begin() + s.pos + s.len);
    std::size_t scan = 2;
    for (const Segment &s : headerSegments(encoded)) {
        if (!isMetadata(s.marker))
            out.insert(out.end(), encoded.begin() + s.pos, encoded.begin() + s.pos + s.len);
        scan = s.pos + s.len;
    }
    out.insert(out.end(), encoded.begin() + scan, encoded.end());
    return out;
}

void adjustTurnedMetadata(const Bytes &original, Bytes &turned, int quarterTurns)
{
    const std::size_t from = jfifDensityOffset(original);
    const std::size_t to = jfifDensityOffset(turned);
    if (from && to) {
        const bool swap = quarterTurns % 2 != 0;
        turned[to] = original[from];
        std::memcpy(&turned[to + 1], &original[from + (swap ? 3 : 1)], 2);
        std::memcpy(&turned[to + 3], &original[from + (swap ? 1 : 3)], 2);
    }
    resetExifOrientation(turned);
}

} // namespace imgsdk
