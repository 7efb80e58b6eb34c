// Document outlines on a camera frame: candidate quadrilaterals from several cues,
// snapped onto the strongest straight edges and ranked by how much of their
// outline is backed by a real edge.
#ifndef CAMSDK_DETECT_H
#define CAMSDK_DETECT_H

#include <array>
#include <opencv2/core.hpp>
#include <optional>
#include <vector>

namespace camproc {

// Corners in clockwise order from the top left: TL, TR, BR, BL.
using Quad = std::array<cv::Point2f, 4>;

// The medium-scale Lab copy of one frame that outlines are refined on, kept so that a second
// search on the same frame need not make it again (it costs as much as a third of a search).
struct RefineLab {
    cv::Mat lab;
    double scale = 1;
};

// Dominant document (multiple = false, at most one quad) or every document in
// reading order (multiple = true), in the coordinates of `bgr`. Large frames are
// searched on a reduced copy and the edges refined at a medium scale. `depth`: how
// many of the most promising outlines are examined (0: as many as the mode needs;
// fewer is faster when only the largest documents matter). `keep`, if given, receives
// the refining copy when one was made.
std::vector<Quad> findDocuments(const cv::Mat &bgr, bool multiple, size_t depth = 0,
                                RefineLab *keep = nullptr);

// An outline whose sides bow (the top and bottom edges of an open book) with each corner refitted
// from the ends of its two sides, in `bgr` coordinates. `made`: the refining copy of this same
// frame from an earlier search, if there is one.
Quad fitBowedCorners(const cv::Mat &bgr, const Quad &q, const RefineLab &made = {});

// Area shared by two convex outlines.
double overlapArea(const Quad &a, const Quad &b);

// Each of `previous` re-fitted onto the edges within `radius` pixels of it in `bgr`, or
// nothing where that outline no longer shows a document. `bowed`: each corner from the ends
// of its sides, as for an open book.
std::vector<std::optional<Quad>> followDocuments(const cv::Mat &bgr, const std::vector<Quad> &previous,
                                                 float radius, bool bowed = false);

// Puts four points in TL, TR, BR, BL order.
Quad orderCorners(const std::vector<cv::Point2f> &pts);

// Sorts quads top to bottom, then left to right within a row.
void sortReadingOrder(std::vector<Quad> &quads);

} // namespace camproc

#endif
