// Single-page PDF around a JPEG, the JPEG embedded byte for byte (DCTDecode).
#ifndef CAMSDK_PDFWRITER_H
#define CAMSDK_PDFWRITER_H

#include <cstdint>
#include <vector>

namespace camsdk
{

// The page measures width x height pixels at the given density.
bool makeJpegPdf(const std::vector<uint8_t> &jpeg, int width, int height, bool gray, double dpiX, double dpiY,
                 std::vector<uint8_t> &out);

} // namespace camsdk

#endif
