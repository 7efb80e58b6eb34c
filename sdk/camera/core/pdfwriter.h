// Single-page PDF around a JPEG, the JPEG embedded byte for byte (DCTDecode).
#ifndef CAMSDK_PDFWRITER_H
#define CAMSDK_PDFWRITER_H

#include <cstdint>
#include <vector>

namespace camsdk
{

// The page has the picture's printed size at the given density.
bool makeJpegPdf(const std::vector<uint8_t> &jpeg, double dpiX, double dpiY, std::vector<uint8_t> &out);

} // namespace camsdk

#endif
