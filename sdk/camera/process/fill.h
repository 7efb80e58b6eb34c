// Edge fill and foreign-matter removal on a cut-out.
#ifndef CAMSDK_FILL_H
#define CAMSDK_FILL_H

#include "cut.h"

namespace camproc
{

// Median colour of the paper: pixels of a band along the edges that are document content.
cv::Scalar pageColour(const Cut &cut);

// fillType 1 paints the outside white, 2 with the page colour; other values leave it.
void fillOutside(Cut &cut, int fillType);

// Skin-coloured regions reaching in from the edges (fingers holding a book) painted
// over with the page colour. Returns the number of regions removed.
int removeFingers(Cut &cut);

// Round punched holes along an edge filled with the page colour. Returns their count.
int removeHoles(Cut &cut);

} // namespace camproc

#endif
