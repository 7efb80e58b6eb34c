// Scores a found outline against the true one as in SmartDoc 2015; shared by the processing
// suite and the benchmarks.
#ifndef OUTLINESCORE_H
#define OUTLINESCORE_H

#include "detect.h"

#include <opencv2/imgproc.hpp>

namespace outlinescore {

// Jaccard index with both outlines mapped into the document's frame (a unit square: the index
// is unchanged by the affine scaling to the true page size).
inline double jaccard(const camproc::Quad &found, const camproc::Quad &truth)
{
    const cv::Point2f unit[4] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    const cv::Mat toDoc = cv::getPerspectiveTransform(truth.data(), unit);
    std::vector<cv::Point2f> f;
    cv::perspectiveTransform(std::vector<cv::Point2f>(found.begin(), found.end()), f, toDoc);
    if (!cv::isContourConvex(f))
        return 0;
    const double i = camproc::overlapArea({f[0], f[1], f[2], f[3]}, {unit[0], unit[1], unit[2], unit[3]});
    return i / (cv::contourArea(f) + 1.0 - i);
}

// Share of the true document inside the found outline: below 0.9 the cut-out lost content.
inline double kept(const camproc::Quad &found, const camproc::Quad &truth)
{
    return camproc::overlapArea(found, truth) /
           std::max(1.0, cv::contourArea(std::vector<cv::Point2f>(truth.begin(), truth.end())));
}

} // namespace outlinescore

#endif
