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

// The TIFF structure of a JPEG's EXIF segment, read with bounds checks: what lies
// outside reads as 0, and offset 0 stands for "none".
struct Exif {
    const std::uint8_t *tiff = nullptr;
    std::size_t size = 0;
    std::size_t pos = 0; // of the TIFF structure in the JPEG
    Segment segment{};
    bool little = false;

    unsigned u16(std::size_t o) const
    {
        if (o + 2 > size)
            return 0;
        return little ? unsigned(tiff[o]) | unsigned(tiff[o + 1]) << 8 : be16(tiff + o);
    }
    std::size_t u32(std::size_t o) const
    {
        if (o + 4 > size)
            return 0;
        const std::size_t hi = little ? u16(o + 2) : u16(o), lo = little ? u16(o) : u16(o + 2);
        return hi << 16 | lo;
    }
    std::size_t firstIfd() const { return u32(4); }
    // Where the IFD at ifd stores the offset of the next one (0 for a broken IFD).
    std::size_t nextLink(std::size_t ifd) const
    {
        const std::size_t link = ifd + 2 + 12 * std::size_t(u16(ifd));
        return ifd != 0 && link + 4 <= size ? link : 0;
    }
    // The entry of tag in the IFD at ifd, 0 when absent.
    std::size_t entry(std::size_t ifd, unsigned tag) const
    {
        const std::size_t end = nextLink(ifd);
        for (std::size_t e = ifd + 2; end != 0 && e + 12 <= end; e += 12)
            if (u16(e) == tag)
                return e;
        return 0;
    }
};

// The first EXIF segment of a JPEG; false when there is none or it is too short.
inline bool findExif(const std::uint8_t *jpeg, std::size_t size, Exif &exif)
{
    for (const Segment &s : headerSegments(jpeg, size)) {
        if (!hasSignature(jpeg, s, kApp1, "Exif\0\0", 6))
            continue;
        exif.pos = s.pos + 10;
        exif.tiff = jpeg + exif.pos;
        exif.size = s.len - 10;
        exif.segment = s;
        exif.little = exif.size >= 8 && exif.tiff[0] == 'I' && exif.tiff[1] == 'I';
        return exif.size >= 8;
    }
    return false;
}

// The EXIF orientation (1-8; 1 upright, 2, 4, 5 and 7 mirrored), 1 when absent or unreadable.
inline int exifOrientation(const std::uint8_t *jpeg, std::size_t size)
{
    Exif exif;
    if (!findExif(jpeg, size, exif))
        return 1;
    const std::size_t e = exif.entry(exif.firstIfd(), 0x0112); // a SHORT in the value field
    const unsigned value = e ? exif.u16(e + 8) : 1;
    return value >= 1 && value <= 8 ? int(value) : 1;
}

} // namespace jpegsegments

#endif
