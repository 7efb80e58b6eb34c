#include "fill.h"

#include <algorithm>
#include <cmath>
#include <opencv2/imgproc.hpp>

namespace camproc
{
namespace
{

// The band along the edges where fingers hold a page and binders punch holes.
cv::Mat edgeBand(cv::Size size, double share)
{
    cv::Mat band(size, CV_8U, cv::Scalar(255));
    const int bx = int(size.width * share), by = int(size.height * share);
    band(cv::Rect(bx, by, size.width - 2 * bx, size.height - 2 * by)).setTo(0);
    return band;
}

void paint(Cut &cut, const cv::Mat &mask)
{
    cut.image.setTo(pageColour(cut), mask);
}

} // namespace

cv::Scalar pageColour(const Cut &cut)
{
    const cv::Mat band = edgeBand(cut.image.size(), 0.08);
    std::vector<uchar> v[3];
    const int step = std::max(1, int(std::sqrt(double(cut.image.total()) / 40000.0)));
    for (int y = 0; y < cut.image.rows; y += step) {
        const cv::Vec3b *row = cut.image.ptr<cv::Vec3b>(y);
        for (int x = 0; x < cut.image.cols; x += step) {
            if (!band.at<uchar>(y, x) || (!cut.outside.empty() && cut.outside.at<uchar>(y, x)))
                continue;
            for (int c = 0; c < 3; ++c)
                v[c].push_back(row[x][c]);
        }
    }
    if (v[0].empty())
        return cv::Scalar::all(255);
    cv::Scalar s;
    for (int c = 0; c < 3; ++c) {
        std::nth_element(v[c].begin(), v[c].begin() + v[c].size() / 2, v[c].end());
        s[c] = v[c][v[c].size() / 2];
    }
    return s;
}

void fillOutside(Cut &cut, int fillType)
{
    if (cut.outside.empty() || (fillType != 1 && fillType != 2))
        return;
    cut.image.setTo(fillType == 1 ? cv::Scalar::all(255) : pageColour(cut), cut.outside);
}

int removeFingers(Cut &cut)
{
    cv::Mat ycc, skin;
    cv::cvtColor(cut.image, ycc, cv::COLOR_BGR2YCrCb);
    cv::inRange(ycc, cv::Scalar(40, 138, 77), cv::Scalar(255, 180, 127), skin);
    cv::morphologyEx(skin, skin, cv::MORPH_OPEN, cv::getStructuringElement(cv::MORPH_ELLIPSE, {5, 5}));
    skin &= edgeBand(cut.image.size(), 0.15);
    // A finger enters from outside the page: keep regions that touch the picture edge.
    cv::Mat labels, stats, centroids;
    const int n = cv::connectedComponentsWithStats(skin, labels, stats, centroids, 8, CV_32S);
    const int minArea = int(cut.image.total() / 4000);
    cv::Mat remove = cv::Mat::zeros(skin.size(), CV_8U);
    int count = 0;
    for (int i = 1; i < n; ++i) {
        const int x = stats.at<int>(i, cv::CC_STAT_LEFT), y = stats.at<int>(i, cv::CC_STAT_TOP);
        const int w = stats.at<int>(i, cv::CC_STAT_WIDTH), h = stats.at<int>(i, cv::CC_STAT_HEIGHT);
        const bool touches = x <= 2 || y <= 2 || x + w >= skin.cols - 2 || y + h >= skin.rows - 2;
        if (!touches || stats.at<int>(i, cv::CC_STAT_AREA) < minArea)
            continue;
        remove |= labels == i;
        ++count;
    }
    if (count) {
        const int grow = std::max(3, std::min(cut.image.cols, cut.image.rows) / 150);
        cv::dilate(remove, remove,
                   cv::getStructuringElement(cv::MORPH_ELLIPSE, {2 * grow + 1, 2 * grow + 1}));
        paint(cut, remove);
    }
    return count;
}

int removeHoles(Cut &cut)
{
    // A hole shows the desk through the paper: markedly darker than the paper.
    cv::Mat grey, dark;
    cv::cvtColor(cut.image, grey, cv::COLOR_BGR2GRAY);
    const cv::Scalar pc = pageColour(cut);
    const double paperGrey = 0.114 * pc[0] + 0.587 * pc[1] + 0.299 * pc[2];
    cv::threshold(grey, dark, paperGrey * 0.75, 255, cv::THRESH_BINARY_INV);
    dark &= edgeBand(cut.image.size(), 0.12);
    if (!cut.outside.empty())
        dark &= ~cut.outside;
    std::vector<std::vector<cv::Point>> contours;
    cv::findContours(dark, contours, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_NONE);
    const double side = std::min(cut.image.cols, cut.image.rows);
    cv::Mat holes = cv::Mat::zeros(grey.size(), CV_8U);
    int count = 0;
    for (const auto &c : contours) {
        const cv::Rect box = cv::boundingRect(c);
        const double d = (box.width + box.height) / 2.0;
        const double area = cv::contourArea(c), perimeter = cv::arcLength(c, true);
        if (d < side * 0.015 || d > side * 0.07 || perimeter <= 0)
            continue;
        const double roundness = 4 * CV_PI * area / (perimeter * perimeter);
        // Dark pixels against a full disc: rings such as a large letter O fall short.
        const double solidity = cv::countNonZero(dark(box)) / (box.area() * CV_PI / 4);
        const double aspect = double(box.width) / box.height;
        if (roundness < 0.7 || solidity < 0.85 || aspect < 0.75 || aspect > 1.33)
            continue;
        // A hole stands alone in the margin; a bold letter has neighbours.
        const cv::Point centre = (box.tl() + box.br()) / 2;
        const int r = int(d * 0.5) + std::max(2, int(d * 0.15));
        cv::Mat ring = cv::Mat::zeros(grey.size(), CV_8U);
        cv::circle(ring, centre, int(r * 1.8), cv::Scalar(255), cv::FILLED);
        cv::circle(ring, centre, r, cv::Scalar(0), cv::FILLED);
        if (cv::countNonZero(ring & dark) > 0.02 * cv::countNonZero(ring))
            continue;
        cv::circle(holes, centre, r, cv::Scalar(255), cv::FILLED);
        ++count;
    }
    if (count)
        paint(cut, holes);
    return count;
}

} // namespace camproc
