// An open book seen from above: the outline of the spread and the spine between its pages.
#ifndef CAMSDK_BOOK_H
#define CAMSDK_BOOK_H

#include "detect.h"

#include <optional>

namespace camproc
{

// Outline of the open book in `bgr` coordinates. Two pages found as separate
// documents (a deep gutter) are joined into one spread.
std::optional<Quad> findBook(const cv::Mat &bgr);

// Column of the spine in an upright picture of the spread: the darkest paper
// column (gutter shadow) in the middle band.
int findSpine(const cv::Mat &spread);

} // namespace camproc

#endif
