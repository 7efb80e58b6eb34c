// Carrying a PNG's descriptive chunks over to its turned copy.
#ifndef IMGSDK_PNGMETA_H
#define IMGSDK_PNGMETA_H

#include "fileio.h"

namespace imgsdk
{

// Returns encoded with original's text, colour-profile and EXIF chunks added
// after its header. Chunks the encoder writes itself (density, palette,
// transparency) are not copied.
Bytes withPngMetadataOf(const Bytes &original, const Bytes &encoded);

} // namespace imgsdk

#endif
