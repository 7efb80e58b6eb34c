// Drawing a picture upright whose pixels are stored turned or mirrored (EXIF orientation 1-8),
// as viewers show it.
#ifndef SDKCOMMON_PLACEMENT_H
#define SDKCOMMON_PLACEMENT_H

namespace sdkcommon
{

// The matrix a b c d e f that maps the image's unit square onto the page.
struct Placement {
    double m[6];
};

// Whether the upright picture is the stored one turned by a quarter: its width and height exchange.
inline bool isSideways(int orientation)
{
    return orientation >= 5 && orientation <= 8;
}

// For a PDF page of the upright size (origin bottom left, y up); w and h are the stored picture's
// size in page units.
Placement pdfPlacement(int orientation, double w, double h);
// The same for an OFD page (origin top left, y down).
Placement ofdPlacement(int orientation, double w, double h);

} // namespace sdkcommon

#endif
