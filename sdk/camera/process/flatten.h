// Curved pages made flat. An open book bows its pages: text lines curve towards the spine and
// the top and bottom edges bend. The page is modelled as a sheet bent along one direction only
// (its vertical lines stay straight): between its top and bottom edge every column of the page
// runs straight, so each text line lies at one fixed height y = a(x) + b(x) Y, with a and b
// held smooth across the page but free to follow a curl near the spine. a and b are fitted to the page's text lines and to its top and bottom
// edges; the sheet's height above the desk follows from how much larger a column appears, and
// the page is unrolled to its length along the paper.
#ifndef CAMSDK_FLATTEN_H
#define CAMSDK_FLATTEN_H

#include "cut.h"

#include <opencv2/core.hpp>
#include <vector>

namespace camproc {

enum class Flatten {
    Always,  // a book page: flattened unless the fit fails
    IfCurved // a single page: flattened only when its text lines are measurably curved
};

// The page inside outline `q` of `bgr` (TL, TR, BR, BL; for a book page the spine's ends are two
// of them), cut out upright with its lines straight. Falls back to exactly warpDocument(bgr, q)
// when the page is flat (IfCurved), when nothing can be modelled (no text and no edges found)
// and when the fit would leave the text lines less straight than the plain warp does.
// A page without text is flattened from its edges alone. Thread-safe.
Cut flattenPage(const cv::Mat &bgr, const Quad &q, Flatten when);

// Text lines of an upright grey page: for each line, points along its middle, at the scale of
// `grey` (lines shorter than a sixth of the width are left out).
std::vector<std::vector<cv::Point2f>> findTextLines(const cv::Mat &grey);

// How far the text lines of an upright page bend: the largest deviation of a line's middle,
// averaged over a few characters, from its straight fit, as a share of the page height; 0
// without text lines.
double textLineBow(const cv::Mat &bgr);

} // namespace camproc

#endif
