#include "cut.h"

#include <array>
#include <cmath>
#include <opencv2/imgproc.hpp>

namespace camproc {

cv::Size sizeTo16(double w, double h)
{
    // Each side goes to the multiple of 16 below or above it; of the four pairs, the one
    // closest to the document's own shape (a narrow receipt would otherwise gain a few per cent).
    const auto options = [](double length) {
        const int below = std::max(16, int(length / 16.0) * 16);
        return std::array<int, 2>{below, std::max(below, int(std::ceil(length / 16.0)) * 16)};
    };
    const double aspect = w / std::max(h, 1e-9);
    cv::Size best(std::max(16, int(std::lround(w / 16.0)) * 16),
                  std::max(16, int(std::lround(h / 16.0)) * 16));
    double bestError = std::abs(std::log(double(best.width) / best.height / aspect));
    for (const int W : options(w))
        for (const int H : options(h)) {
            const double error = std::abs(std::log(double(W) / H / aspect));
            if (error < bestError - 1e-9) {
                best = {W, H};
                bestError = error;
            }
        }
    return best;
}

Cut warpDocument(const cv::Mat &bgr, const Quad &q)
{
    const double w = std::max(cv::norm(q[1] - q[0]), cv::norm(q[2] - q[3]));
    const double h = std::max(cv::norm(q[3] - q[0]), cv::norm(q[2] - q[1]));
    const cv::Size size = sizeTo16(w, h);
    const int W = size.width, H = size.height;
    const float ox = float((W - w) / 2), oy = float((H - h) / 2);
    const cv::Point2f dst[4] = {
        {ox, oy}, {ox + float(w), oy}, {ox + float(w), oy + float(h)}, {ox, oy + float(h)}};
    const cv::Mat M = cv::getPerspectiveTransform(q.data(), dst);
    Cut cut;
    cv::warpPerspective(bgr, cut.image, M, cv::Size(W, H), cv::INTER_LINEAR, cv::BORDER_CONSTANT);
    cut.frame = bgr;
    cut.fromFrame = cv::Matx33d(M);
    cut.page = cv::Rect2f(ox, oy, float(w), float(h));

    // Outside = padding around the document plus whatever the frame did not cover.
    const bool padded = ox > 0.5f || oy > 0.5f;
    bool clipped = false;
    for (const auto &p : q)
        clipped |= p.x < 0 || p.y < 0 || p.x > bgr.cols - 1 || p.y > bgr.rows - 1;
    if (!padded && !clipped)
        return cut;
    cv::Mat inside = cv::Mat::zeros(H, W, CV_8U);
    std::vector<cv::Point2f> frame = {{0, 0},
                                      {float(bgr.cols - 1), 0},
                                      {float(bgr.cols - 1), float(bgr.rows - 1)},
                                      {0, float(bgr.rows - 1)}};
    std::vector<cv::Point2f> mapped;
    cv::perspectiveTransform(frame, mapped, M);
    std::vector<cv::Point> poly;
    for (const auto &p : mapped)
        poly.emplace_back(cvRound(p.x), cvRound(p.y));
    cv::fillConvexPoly(inside, poly, cv::Scalar(255));
    cv::Mat doc = cv::Mat::zeros(H, W, CV_8U);
    cv::rectangle(doc, cv::Rect(cvCeil(ox), cvCeil(oy), cvFloor(w), cvFloor(h)), cv::Scalar(255), cv::FILLED);
    cut.outside = ~(inside & doc);
    return cut;
}

Cut fitTo16(Cut cut)
{
    const cv::Size size = sizeTo16(cut.image.cols, cut.image.rows);
    const int W = size.width, H = size.height;
    if (W == cut.image.cols && H == cut.image.rows)
        return cut;
    if (cut.outside.empty())
        cut.outside = cv::Mat::zeros(cut.image.size(), CV_8U);
    // Trim first, then pad what is still missing.
    const int tw = std::min(W, cut.image.cols), th = std::min(H, cut.image.rows);
    const cv::Rect keep((cut.image.cols - tw) / 2, (cut.image.rows - th) / 2, tw, th);
    const int left = (W - tw) / 2, top = (H - th) / 2;
    Cut out;
    cv::copyMakeBorder(cut.image(keep), out.image, top, H - th - top, left, W - tw - left,
                       cv::BORDER_REPLICATE);
    cv::copyMakeBorder(cut.outside(keep), out.outside, top, H - th - top, left, W - tw - left,
                       cv::BORDER_CONSTANT, cv::Scalar(255));
    return out;
}

cv::Rect clampedRect(double left, double right, double top, double bottom, cv::Size frame)
{
    if (!std::isfinite(left) || !std::isfinite(right) || !std::isfinite(top) || !std::isfinite(bottom))
        return {};
    const double x0 = std::clamp(std::min(left, right), 0.0, double(frame.width));
    const double x1 = std::clamp(std::max(left, right), 0.0, double(frame.width));
    const double y0 = std::clamp(std::min(top, bottom), 0.0, double(frame.height));
    const double y1 = std::clamp(std::max(top, bottom), 0.0, double(frame.height));
    const cv::Rect r(int(std::lround(x0)), int(std::lround(y0)), int(std::lround(x1 - x0)),
                     int(std::lround(y1 - y0)));
    return r & cv::Rect(0, 0, frame.width, frame.height);
}

} // namespace camproc
