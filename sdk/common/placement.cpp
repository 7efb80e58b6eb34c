#include "placement.h"

namespace sdkcommon
{

Placement pdfPlacement(int orientation, double w, double h)
{
    const Placement placements[8] = {{{w, 0, 0, h, 0, 0}},  {{-w, 0, 0, h, w, 0}},  {{-w, 0, 0, -h, w, h}},
                                     {{w, 0, 0, -h, 0, h}}, {{0, -w, -h, 0, h, w}}, {{0, -w, h, 0, 0, w}},
                                     {{0, w, h, 0, 0, 0}},  {{0, w, -h, 0, h, 0}}};
    return placements[orientation >= 1 && orientation <= 8 ? orientation - 1 : 0];
}

Placement ofdPlacement(int orientation, double w, double h)
{
    // The image's rows run downwards there and the page's y axis too: both flips of the PDF matrix
    // taken back, x' = a u - c v + (c + e) and y' = -b u + d v + (H - d - f).
    const Placement pdf = pdfPlacement(orientation, w, h);
    const double *p = pdf.m;
    const double pageHeight = isSideways(orientation) ? w : h;
    return {{p[0], -p[1], -p[2], p[3], p[2] + p[4], pageHeight - p[3] - p[5]}};
}

} // namespace sdkcommon
