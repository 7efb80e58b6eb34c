#include "jpegmeta.h"
#include "jpegsegments.h"

#include <cstring>

namespace imgsdk
{
namespace
{

using namespace jpegsegments;

std::vector<Segment> headerSegments(const Bytes &jpeg)
{
    return jpegsegments::headerSegments(jpeg.data(), jpeg.size());
}

// APP14 (Adobe) records the encoder's colour transform: it describes the coded
// data, not the picture, so it stays with whichever encoding it came from.
bool isMetadata(std::uint8_t marker)
{
    return (marker >= kApp0 && marker <= kApp15 && marker != kApp14) || marker == kCom;
}

// Offset of the JFIF density fields (units, X, Y), or 0 when there is no JFIF segment.
std::size_t jfifDensityOffset(const Bytes &jpeg)
{
    for (const Segment &s : headerSegments(jpeg))
        if (hasSignature(jpeg.data(), s, kApp0, "JFIF\0", 5) && s.len >= 16)
            return s.pos + 11;
    return 0;
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
}

} // namespace imgsdk
