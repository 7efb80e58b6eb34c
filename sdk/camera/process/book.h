// An open book seen from above: the outline of the spread and the spine between its pages.
#ifndef CAMSDK_BOOK_H
#define CAMSDK_BOOK_H

#include "cut.h"
#include "detect.h"

#include <optional>

namespace camproc {

// Outline of the open book in `bgr` coordinates. Two pages found as separate
// documents (a deep gutter) are joined into one spread.
std::optional<Quad> findBook(const cv::Mat &bgr);

// Column of the spine in an upright picture of the spread: the darkest paper
// column (gutter shadow) in the middle band.
int findSpine(const cv::Mat &spread);

// The open book's pages, ordered by the export choice (0 left, right; 1 right, left; 2 both in
// one picture; 3 left; 4 right). `flatten`: each page unrolled flat; otherwise the spread is
// warped as one quadrilateral and split at the spine. Empty when no book is found.
std::vector<Cut> bookPages(const cv::Mat &bgr, int bookIndex, bool flatten);

} // namespace camproc

#endif
