#include "exifthumbnail.h"
#include "jpegsegments.h"

#include <algorithm>
#include <cmath>

namespace exifthumbnail
{
namespace
{

using namespace jpegsegments;

constexpr unsigned kOrientation = 0x0112, kCompression = 0x0103, kThumbnailOffset = 0x0201,
                   kThumbnailLength = 0x0202;
constexpr std::size_t kMaxSegment = 0xFFFF;

void put(std::uint8_t *p, std::size_t value, int bytes, bool little)
{
    for (int i = 0; i < bytes; ++i)
        p[little ? i : bytes - 1 - i] = std::uint8_t(value >> (8 * i));
}

// IFD0: the orientation; IFD1: the thumbnail, which follows (big-endian TIFF).
std::vector<std::uint8_t> exifSegment(const std::vector<std::uint8_t> &thumbnail)
{
    struct Entry {
        unsigned tag, type;
        std::size_t value;
    };
    const std::size_t ifd1 = 8 + 2 + 12 + 4, data = ifd1 + 2 + 3 * 12 + 4;
    const Entry ifd0Entries[] = {{kOrientation, 3, 1}};
    const Entry ifd1Entries[] = {
        {kCompression, 3, 6}, {kThumbnailOffset, 4, data}, {kThumbnailLength, 4, thumbnail.size()}};
    std::vector<std::uint8_t> tiff(data);
    const auto ifd = [&](std::size_t at, const Entry *entries, std::size_t n, std::size_t next) {
        put(&tiff[at], n, 2, false);
        for (std::size_t i = 0; i < n; ++i) {
            std::uint8_t *e = &tiff[at + 2 + 12 * i];
            put(e, entries[i].tag, 2, false);
            put(e + 2, entries[i].type, 2, false);
            put(e + 4, 1, 4, false);
            put(e + 8, entries[i].value, entries[i].type == 3 ? 2 : 4, false); // SHORTs sit left
        }
        put(&tiff[at + 2 + 12 * n], next, 4, false);
    };
    const std::uint8_t header[] = {'M', 'M', 0, 42, 0, 0, 0, 8};
    std::copy(header, header + 8, tiff.begin());
    ifd(8, ifd0Entries, 1, ifd1);
    ifd(ifd1, ifd1Entries, 3, 0);
    tiff.insert(tiff.end(), thumbnail.begin(), thumbnail.end());
    std::vector<std::uint8_t> segment{0xFF, kApp1, 0, 0, 'E', 'x', 'i', 'f', 0, 0};
    segment.insert(segment.end(), tiff.begin(), tiff.end());
    put(&segment[2], segment.size() - 2, 2, false);
    return segment;
}

// The thumbnail's two IFD1 entries (offsets in the TIFF structure), 0 when missing.
std::pair<std::size_t, std::size_t> thumbnailEntries(const Exif &exif)
{
    const std::size_t link = exif.nextLink(exif.firstIfd());
    const std::size_t ifd1 = link ? exif.u32(link) : 0;
    return {exif.entry(ifd1, kThumbnailOffset), exif.entry(ifd1, kThumbnailLength)};
}

} // namespace

std::pair<int, int> sizeFor(int width, int height)
{
    const int longSide = std::max(width, height), shortSide = std::min(width, height);
    const int small = std::max(1, int(std::lround(double(kLongSide) * shortSide / std::max(1, longSide))));
    return width >= height ? std::make_pair(kLongSide, small) : std::make_pair(small, kLongSide);
}

Span find(const std::uint8_t *jpeg, std::size_t size)
{
    Exif exif;
    if (!findExif(jpeg, size, exif))
        return {};
    const auto [offsetEntry, lengthEntry] = thumbnailEntries(exif);
    if (!offsetEntry || !lengthEntry)
        return {};
    const std::size_t offset = exif.u32(offsetEntry + 8), length = exif.u32(lengthEntry + 8);
    if (offset < 8 || length == 0 || offset > exif.size || length > exif.size - offset)
        return {};
    return {exif.pos + offset, length};
}

void embed(std::vector<std::uint8_t> &jpeg, const std::vector<std::uint8_t> &thumbnail)
{
    const std::vector<std::uint8_t> segment = exifSegment(thumbnail);
    if (jpeg.size() < 4 || segment.size() - 2 > kMaxSegment)
        return;
    Exif exif;
    if (findExif(jpeg.data(), jpeg.size(), exif))
        jpeg.erase(jpeg.begin() + exif.segment.pos, jpeg.begin() + exif.segment.pos + exif.segment.len);
    // JFIF readers want their header right after the start of the image.
    const std::vector<Segment> segments = headerSegments(jpeg.data(), jpeg.size());
    const bool jfif = !segments.empty() && segments[0].pos == 2 &&
                      hasSignature(jpeg.data(), segments[0], kApp0, "JFIF\0", 5);
    const std::size_t at = jfif ? 2 + segments[0].len : 2;
    jpeg.insert(jpeg.begin() + at, segment.begin(), segment.end());
}

void replace(std::vector<std::uint8_t> &jpeg, const std::vector<std::uint8_t> &thumbnail)
{
    Exif exif;
    const Span old = find(jpeg.data(), jpeg.size());
    if (!old.len || !findExif(jpeg.data(), jpeg.size(), exif))
        return;
    const std::size_t lengthEntry = thumbnailEntries(exif).second;
    const std::size_t segmentEnd = exif.segment.pos + exif.segment.len;
    const std::size_t newLength = exif.segment.len - 2 - old.len + thumbnail.size();
    if (thumbnail.empty() || old.pos + old.len != segmentEnd || newLength > kMaxSegment) {
        put(&jpeg[exif.pos + exif.nextLink(exif.firstIfd())], 0, 4, exif.little);
        return;
    }
    put(&jpeg[exif.pos + lengthEntry + 8], thumbnail.size(), 4, exif.little);
    put(&jpeg[exif.segment.pos + 2], newLength, 2, false);
    jpeg.erase(jpeg.begin() + old.pos, jpeg.begin() + old.pos + old.len);
    jpeg.insert(jpeg.begin() + old.pos, thumbnail.begin(), thumbnail.end());
}

} // namespace exifthumbnail
