// Limits and names of the pictures the image library reads and writes.
#ifndef IMGSDK_FILEIO_H
#define IMGSDK_FILEIO_H

#include "atomicfile.h"
#include "filereader.h"

#include <cstdint>
#include <string>
#include <vector>

namespace imgsdk
{

using Bytes = std::vector<std::uint8_t>;
using sdkcommon::readFile;

// Larger pictures are refused before decoding: far beyond any camera, and a
// corrupt or hostile header must not make us allocate gigabytes.
constexpr std::int64_t kMaxPicturePixels = std::int64_t(1) << 28;

// Replaces path crash-safely, keeping an existing file's permission bits.
inline bool replaceFile(const std::string &path, const std::uint8_t *data, std::size_t size)
{
    return sdkcommon::writeFileAtomically(path, data, size, sdkcommon::WritePolicy::Replace);
}

// The lower-case extension of path without the dot ("" when there is none).
std::string lowerExtension(const std::string &path);

} // namespace imgsdk

#endif
