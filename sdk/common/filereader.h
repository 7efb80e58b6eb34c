// Whole-file reads of pictures and documents.
#ifndef SDKCOMMON_FILEREADER_H
#define SDKCOMMON_FILEREADER_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sdkcommon
{

// Reads a regular file whole, or its first limit bytes; false when it is missing,
// not a regular file or unreadable.
bool readFile(const std::string &path, std::vector<std::uint8_t> &out, std::size_t limit = SIZE_MAX);

} // namespace sdkcommon

#endif
