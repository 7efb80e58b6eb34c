// The small JPEG that an EXIF segment carries beside the picture (IFD1), so that
// file lists can show a picture without decoding it.
#ifndef SDKCOMMON_EXIFTHUMBNAIL_H
#define SDKCOMMON_EXIFTHUMBNAIL_H

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace exifthumbnail
{

// The long side of the thumbnails we write: enough for a file list's cell.
constexpr int kLongSide = 160;
// Their JPEG quality: turns re-encode them, so they start well above what a cell needs.
constexpr int kQuality = 90;

// The thumbnail size of a width x height picture: its shape, kLongSide on the long side.
std::pair<int, int> sizeFor(int width, int height);

// The embedded thumbnail's JPEG within jpeg; {0, 0} when there is none.
struct Span {
    std::size_t pos = 0, len = 0;
};
Span find(const std::uint8_t *jpeg, std::size_t size);

// Gives jpeg an EXIF segment of its own carrying thumbnail (orientation upright),
// after the JFIF header, in place of any EXIF segment it had.
void embed(std::vector<std::uint8_t> &jpeg, const std::vector<std::uint8_t> &thumbnail);

// Swaps the embedded thumbnail for thumbnail where it is the last thing in its
// segment (as we write it); otherwise, or when thumbnail is empty, the old one is
// unlinked so that no reader shows it.
void replace(std::vector<std::uint8_t> &jpeg, const std::vector<std::uint8_t> &thumbnail);

} // namespace exifthumbnail

#endif
