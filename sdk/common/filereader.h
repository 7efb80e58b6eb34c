// Whole-file reads of pictures and documents.
#ifndef SDKCOMMON_FILEREADER_H
#define SDKCOMMON_FILEREADER_H

#include <cstdint>
#include <string>
#include <vector>

namespace sdkcommon
{

// Reads a regular file whole; false when it is missing, not a regular file or unreadable.
bool readFile(const std::string &path, std::vector<std::uint8_t> &out);

} // namespace sdkcommon

#endif
