// The capture's density written into PNG and BMP files, whose encoders leave it out, so that a
// page keeps its printed size in whatever format it was captured.
#ifndef CAMSDK_PICTUREDENSITY_H
#define CAMSDK_PICTUREDENSITY_H

#include <cstdint>
#include <vector>

namespace camsdk
{

// Adds (or replaces) the pHYs chunk of an encoded PNG; false when png is not one.
bool setPngDensity(std::vector<uint8_t> &png, double dpiX, double dpiY);
// Sets the pixels per metre of an encoded BMP's info header; false when bmp is not one.
bool setBmpDensity(std::vector<uint8_t> &bmp, double dpiX, double dpiY);

} // namespace camsdk

#endif
