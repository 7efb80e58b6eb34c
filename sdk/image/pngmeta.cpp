#include "pngmeta.h"

#include <cstring>

namespace imgsdk
{
namespace
{

constexpr std::size_t kSignature = 8;
constexpr std::size_t kChunkOverhead = 12; // length, type, CRC

// Chunks that describe the picture without depending on pixel order or on
// the encoder's choices, so they stay true after a turn. Each carries its own
// CRC over type and data, so it can be moved whole.
bool carriedOver(const std::uint8_t *type)
{
    static const char *const kinds[] = {"tEXt", "zTXt", "iTXt", "iCCP", "gAMA",
                                        "cHRM", "sRGB", "sBIT", "eXIf"};
    for (const char *k : kinds)
        if (std::memcmp(type, k, 4) == 0)
            return true;
    return false;
}

std::size_t chunkLength(const Bytes &png, std::size_t pos)
{
    return (std::size_t(png[pos]) << 24 | std::size_t(png[pos + 1]) << 16 | std::size_t(png[pos + 2]) << 8 |
            png[pos + 3]) +
           kChunkOverhead;
}

} // namespace

Bytes withPngMetadataOf(const Bytes &original, const Bytes &encoded)
{
    // The encoder's header chunk comes first; ours go right after it, where
    // every one of these chunk kinds is allowed.
    if (encoded.size() < kSignature + kChunkOverhead)
        return encoded;
    const std::size_t afterHeader = kSignature + chunkLength(encoded, kSignature);
    if (afterHeader > encoded.size())
        return encoded;
    Bytes out(encoded.begin(), encoded.begin() + afterHeader);
    for (std::size_t pos = kSignature; pos + kChunkOverhead <= original.size();) {
        const std::size_t len = chunkLength(original, pos);
        if (len < kChunkOverhead || pos + len > original.size())
            break;
        if (carriedOver(&original[pos + 4]))
            out.insert(out.end(), original.begin() + pos, original.begin() + pos + len);
        pos += len;
    }
    out.insert(out.end(), encoded.begin() + afterHeader, encoded.end());
    return out;
}

} // namespace imgsdk
