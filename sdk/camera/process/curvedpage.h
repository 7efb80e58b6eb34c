// One page of an open book photographed on its own: the page fills most of the picture, its top
// and bottom edges bend towards the gutter, and the facing page shows beyond the gutter.
#ifndef CAMSDK_CURVEDPAGE_H
#define CAMSDK_CURVEDPAGE_H

#include "detect.h"

#include <optional>

namespace camproc {

// The page's outer corners and the two ends of its gutter (TL, TR, BR, BL) in `bgr`
// coordinates, or nothing when the picture shows no page running into a gutter. Meant for a
// copy a few hundred pixels across.
std::optional<Quad> findCurvedPage(const cv::Mat &bgr);

} // namespace camproc

#endif
