// In-place quarter turns of stored pictures.
#ifndef IMGSDK_ROTATE_H
#define IMGSDK_ROTATE_H

#include "fileio.h"

namespace imgsdk
{

// Each returns an ImageStatus; quarterTurns is 1, 2 or 3 clockwise. The file at
// path (whose bytes are data) is replaced only when the turned picture is complete.
int rotateJpeg(const std::string &path, const Bytes &data, int quarterTurns);
int rotateRaster(const std::string &path, const Bytes &data, int quarterTurns);

} // namespace imgsdk

#endif
