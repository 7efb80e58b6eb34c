// What a TIFF says about itself beyond its pixels, which a decode and re-encode would change.
#ifndef IMGSDK_TIFFMETA_H
#define IMGSDK_TIFFMETA_H

#include "fileio.h"

namespace imgsdk
{

struct TiffFacts {
    unsigned photometric = 0;
    // Each resolution tag as stored, or absent.
    bool hasXRes = false, hasYRes = false, hasUnit = false;
    float xres = 0, yres = 0;
    unsigned unit = 0;
};

// False when data is no TIFF that libtiff can open.
bool readTiffFacts(const Bytes &data, TiffFacts &facts);

// Whether a decoded picture re-encodes with the same colours: grey, RGB and palette pictures do;
// CMYK, Lab and YCbCr ones would come back as RGB.
bool tiffColoursSurvive(const TiffFacts &facts);

// Makes encoded's resolution tags what original's were (x and y exchanged when swap), removing
// those original did not have. False when encoded cannot be rewritten.
bool keepTiffResolution(Bytes &encoded, const TiffFacts &original, bool swap);

} // namespace imgsdk

#endif
