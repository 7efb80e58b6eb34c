#include "book.h"

#include "flatten.h"

#include <algorithm>
#include <opencv2/core/utility.hpp>
#include <opencv2/imgproc.hpp>

namespace camproc {

std::optional<Quad> findBook(const cv::Mat &bgr)
{
    // The spread, or its two pages when the gutter parts them, are the largest outlines.
    RefineLab lab;
    std::vector<Quad> docs = findDocuments(bgr, true, 12, &lab);
    if (docs.empty())
        return std::nullopt;
    auto area = [](const Quad &q) { return cv::contourArea(std::vector<cv::Point2f>(q.begin(), q.end())); };
    std::sort(docs.begin(), docs.end(), [&](const Quad &a, const Quad &b) { return area(a) > area(b); });
    const Quad &main = docs.front();
    // The gutter between two pages found apart can be a tenth of the page height wide.
    const float height = float(cv::norm(main[3] - main[0])), gutter = 0.15f * height;
    for (size_t i = 1; i < docs.size(); ++i) {
        const Quad &o = docs[i];
        const bool similar = area(o) > 0.6 * area(main);
        const bool rightOf = cv::norm(o[0] - main[1]) < gutter && cv::norm(o[3] - main[2]) < gutter;
        const bool leftOf = cv::norm(main[0] - o[1]) < gutter && cv::norm(main[3] - o[2]) < gutter;
        if (similar && rightOf)
            return fitBowedCorners(bgr, Quad{main[0], o[1], o[2], main[3]}, lab);
        if (similar && leftOf)
            return fitBowedCorners(bgr, Quad{o[0], main[1], main[2], o[3]}, lab);
    }
    return fitBowedCorners(bgr, main, lab);
}

int findSpine(const cv::Mat &spread)
{
    const double scale = std::min(1.0, 800.0 / spread.cols);
    cv::Mat grey, small;
    cv::cvtColor(spread, grey, cv::COLOR_BGR2GRAY);
    cv::resize(grey, small, cv::Size(), scale, scale, cv::INTER_AREA);
    // Paper level per column (upper quartile, so text does not count), smoothed along x.
    const int y0 = small.rows / 10, y1 = small.rows - small.rows / 10;
    cv::Mat profile(1, small.cols, CV_32F);
    std::vector<uchar> col(size_t(std::max(1, y1 - y0)));
    for (int x = 0; x < small.cols; ++x) {
        for (int y = y0; y < y1; ++y)
            col[size_t(y - y0)] = small.at<uchar>(y, x);
        std::nth_element(col.begin(), col.begin() + col.size() * 3 / 4, col.end());
        profile.at<float>(x) = col[col.size() * 3 / 4];
    }
    cv::GaussianBlur(profile, profile, cv::Size(0, 1), std::max(1.0, small.cols / 200.0), 0);
    const int lo = small.cols * 3 / 10, hi = small.cols * 7 / 10;
    double minVal = 0, maxVal = 0;
    cv::Point minLoc;
    cv::minMaxLoc(profile.colRange(lo, std::max(lo + 1, hi)), &minVal, &maxVal, &minLoc);
    // A flat profile has no gutter to go by: split in the middle.
    if (maxVal - minVal < 6)
        return spread.cols / 2;
    return int(std::lround((lo + minLoc.x + 0.5) / scale));
}

namespace {

// Both pages side by side at the height of the taller.
Cut joinPages(const Cut &left, Cut right)
{
    const auto outside = [](const Cut &c) {
        return c.outside.empty() ? cv::Mat::zeros(c.image.size(), CV_8U) : c.outside;
    };
    cv::Mat rightOutside = outside(right);
    if (right.image.rows != left.image.rows) {
        const cv::Size size(int(std::lround(double(right.image.cols) * left.image.rows / right.image.rows)),
                            left.image.rows);
        cv::resize(right.image, right.image, size, 0, 0, cv::INTER_AREA);
        cv::resize(rightOutside, rightOutside, size, 0, 0, cv::INTER_NEAREST);
    }
    Cut both;
    cv::hconcat(left.image, right.image, both.image);
    cv::hconcat(outside(left), rightOutside, both.outside);
    return fitTo16(both);
}

cv::Point2f apply(const cv::Matx33d &H, float x, float y)
{
    const cv::Vec3d v = H * cv::Vec3d(x, y, 1);
    return {float(v[0] / v[2]), float(v[1] / v[2])};
}

} // namespace

std::vector<Cut> bookPages(const cv::Mat &bgr, int bookIndex, bool flatten)
{
    const std::optional<Quad> book = findBook(bgr);
    if (!book)
        return {};
    Cut spread = warpDocument(bgr, *book);
    if (bookIndex == 2 && !flatten)
        return {spread};
    const int spine = findSpine(spread.image);
    Cut left, right;
    if (flatten) {
        // The spine's ends taken back into the frame split the outline into the two pages.
        const cv::Matx33d back = spread.fromFrame.inv();
        const cv::Point2f top = apply(back, float(spine), spread.page.y);
        const cv::Point2f bottom = apply(back, float(spine), spread.page.y + spread.page.height);
        const Quad pages[2] = {{(*book)[0], top, bottom, (*book)[3]}, {top, (*book)[1], (*book)[2], bottom}};
        Cut *const flat[2] = {bookIndex == 4 ? nullptr : &left, bookIndex == 3 ? nullptr : &right};
        // The pages on cores of their own: most of a page's analysis runs on one core.
        cv::parallel_for_(cv::Range(0, 2), [&](const cv::Range &r) {
            for (int i = r.start; i < r.end; ++i)
                if (flat[i])
                    *flat[i] = flattenPage(bgr, pages[i], Flatten::Always);
        });
    } else {
        auto part = [&](int x0, int x1) {
            Cut c{spread.image.colRange(x0, x1).clone(), {}};
            if (!spread.outside.empty())
                c.outside = spread.outside.colRange(x0, x1).clone();
            return fitTo16(c);
        };
        left = part(0, spine);
        right = part(spine, spread.image.cols);
    }
    switch (bookIndex) {
    case 1:
        return {right, left};
    case 2:
        return {joinPages(left, right)};
    case 3:
        return {left};
    case 4:
        return {right};
    default:
        return {left, right};
    }
}

} // namespace camproc
