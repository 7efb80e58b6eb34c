// How well the outline guides drawn on a live frame match the scene's truth;
// shared by the camera suites.
#ifndef GUIDECHECK_H
#define GUIDECHECK_H

#include "virtualscene.h"

#include <opencv2/imgproc.hpp>

#include <vector>

namespace guidecheck {

using Lines = std::vector<std::vector<cv::Point2f>>;

// Pixels in the guide colour (pure green) of a packed RGB frame.
inline cv::Mat guidePixels(const cv::Mat &rgb)
{
    cv::Mat mask;
    cv::inRange(rgb, cv::Scalar(0, 255, 0), cv::Scalar(0, 255, 0), mask);
    return mask;
}

struct Fit {
    int pixels = 0;     // guide-coloured pixels in the frame
    double onTruth = 0; // share of them within the tolerance of a true line
    double covered = 0; // share of the true lines with a guide pixel within the tolerance
};

// truth: outlines (closed) or open lines in frame pixels.
inline Fit fit(const cv::Mat &rgb, const Lines &truth, bool closed, double tolerance)
{
    Fit f;
    const cv::Mat guides = guidePixels(rgb);
    f.pixels = cv::countNonZero(guides);
    if (f.pixels == 0 || truth.empty())
        return f;
    cv::Mat truthImg(rgb.size(), CV_8U, cv::Scalar(255));
    std::vector<std::vector<cv::Point>> ints;
    for (const auto &line : truth) {
        ints.emplace_back();
        for (const auto &p : line)
            ints.back().emplace_back(cvRound(p.x), cvRound(p.y));
    }
    cv::polylines(truthImg, ints, closed, cv::Scalar(0), 1);
    cv::Mat toTruth, toGuide;
    cv::distanceTransform(truthImg, toTruth, cv::DIST_L2, 3);
    cv::distanceTransform(~guides, toGuide, cv::DIST_L2, 3);
    f.onTruth = double(cv::countNonZero((toTruth <= tolerance) & guides)) / f.pixels;
    const cv::Mat truthMask = truthImg == 0;
    f.covered = double(cv::countNonZero((toGuide <= tolerance) & truthMask)) /
                std::max(1, cv::countNonZero(truthMask));
    return f;
}

// The true document outlines of a scene, or its spine for a book.
inline Lines truthLines(const camvirtual::SceneTruth &truth, bool spine)
{
    if (spine)
        return {{truth.spineTop, truth.spineBottom}};
    Lines out;
    for (const auto &d : truth.documents)
        out.emplace_back(d.corners.begin(), d.corners.end());
    return out;
}

// Largest corner distance of a found outline from a true quad, whichever corner
// the outline starts at (a turned document's own top-left is not the frame's),
// or in the document's own order.
inline double outlineError(const std::vector<cv::Point2f> &found, const camvirtual::Quad &truth,
                           bool anyStart = true)
{
    if (found.size() != truth.size())
        return 1e9;
    double best = 1e9;
    for (size_t start = 0; start < (anyStart ? found.size() : 1); ++start) {
        double worst = 0;
        for (size_t c = 0; c < truth.size(); ++c)
            worst = std::max(worst, double(cv::norm(found[(start + c) % found.size()] - truth[c])));
        best = std::min(best, worst);
    }
    return best;
}

// Farthest distance of a found spine's ends from the true spine line.
inline double spineError(const std::vector<cv::Point2f> &found, const camvirtual::SceneTruth &truth)
{
    const cv::Point2f a = truth.spineTop, b = truth.spineBottom;
    double worst = 0;
    for (const cv::Point2f &p : found)
        worst = std::max(worst, std::abs(double((b - a).cross(p - a))) / cv::norm(b - a));
    return worst;
}

// Lines of a width x height frame as they appear after a clockwise turn.
inline Lines rotated(Lines lines, int degrees, cv::Size frame)
{
    for (auto &line : lines)
        for (auto &p : line) {
            cv::Size f = frame;
            for (int turn = 0; turn < degrees / 90; ++turn, f = {f.height, f.width})
                p = {float(f.height) - p.y, p.x};
        }
    return lines;
}

} // namespace guidecheck

#endif
