// Whole-file reads and crash-safe replacement of picture files.
#ifndef IMGSDK_FILEIO_H
#define IMGSDK_FILEIO_H

#include <cstdint>
#include <string>
#include <vector>

namespace imgsdk
{

using Bytes = std::vector<std::uint8_t>;

// Larger pictures are refused before decoding: far beyond any camera, and a
// corrupt or hostile header must not make us allocate gigabytes.
constexpr std::int64_t kMaxPicturePixels = std::int64_t(1) << 28;

// Reads a regular file whole; false when it is missing, not a regular file or unreadable.
bool readFile(const std::string &path, Bytes &out);

// Writes data to a temporary file beside path, flushes it to disk and renames it
// over path, so readers see either the old or the new file, never a partial
// one. An existing file's permission bits are kept.
bool replaceFile(const std::string &path, const std::uint8_t *data, std::size_t size);

// The lower-case extension of path without the dot ("" when there is none).
std::string lowerExtension(const std::string &path);

} // namespace imgsdk

#endif
