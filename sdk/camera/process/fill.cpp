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

// The torn-edge search runs on a copy this long, with a ring of desk this wide around it.
constexpr double kTornSide = 384.0;
constexpr double kTornMargin = 0.04;
// Torn-off parts deeper than this share of the short side are not looked for: the middle
// of the page always seeds the paper.
constexpr double kTornDepth = 0.2;

enum Marker { Unknown, Desk, Paper, Beyond };

// Per channel: the median, and in *spread the median absolute deviation from it.
cv::Vec3b medianColour(const std::vector<cv::Vec3b> &px, cv::Vec3b *spread)
{
    cv::Vec3b med, mad;
    std::vector<int> v(px.size());
    for (int c = 0; c < 3; ++c) {
        for (size_t i = 0; i < px.size(); ++i)
            v[i] = px[i][c];
        std::nth_element(v.begin(), v.begin() + long(v.size() / 2), v.end());
        med[c] = uchar(v[v.size() / 2]);
        for (size_t i = 0; i < px.size(); ++i)
            v[i] = std::abs(px[i][c] - med[c]);
        std::nth_element(v.begin(), v.begin() + long(v.size() / 2), v.end());
        mad[c] = uchar(v[v.size() / 2]);
    }
    *spread = mad;
    return med;
}

int colourDistance(const cv::Vec3b &a, const cv::Vec3b &b)
{
    return std::max({std::abs(a[0] - b[0]), std::abs(a[1] - b[1]), std::abs(a[2] - b[2])});
}

// The cut-out and a ring of desk around it, reduced, in the cut-out's own orientation.
// `valid` marks what the frame covered.
struct Surround {
    cv::Mat image, valid;
    cv::Rect page; // the document's rectangle
    double scale = 1;
    int margin = 0;
};

Surround surround(const Cut &cut)
{
    Surround s;
    s.scale = std::min(1.0, kTornSide / std::max(cut.image.cols, cut.image.rows));
    s.margin = std::max(4, int(std::lround(kTornSide * kTornMargin)));
    const cv::Size size(int(std::lround(cut.image.cols * s.scale)) + 2 * s.margin,
                        int(std::lround(cut.image.rows * s.scale)) + 2 * s.margin);
    const cv::Matx33d toSurround =
        cv::Matx33d(s.scale, 0, s.margin, 0, s.scale, s.margin, 0, 0, 1) * cut.fromFrame;
    cv::warpPerspective(cut.frame, s.image, toSurround, size, cv::INTER_LINEAR, cv::BORDER_CONSTANT);
    // The page itself from the cut-out, averaged down rather than sampled, so that sensor
    // noise and fine print do not alias into false edges; sampling is good enough for the desk.
    const cv::Rect inCut(s.margin, s.margin, size.width - 2 * s.margin, size.height - 2 * s.margin);
    cv::Mat twice;
    cv::resize(cut.image, twice, inCut.size() * 2, 0, 0, cv::INTER_LINEAR);
    cv::resize(twice, s.image(inCut), inCut.size(), 0, 0, cv::INTER_AREA);

    std::vector<cv::Point2f> corners = {{0, 0},
                                        {float(cut.frame.cols - 1), 0},
                                        {float(cut.frame.cols - 1), float(cut.frame.rows - 1)},
                                        {0, float(cut.frame.rows - 1)}};
    cv::perspectiveTransform(corners, corners, toSurround);
    std::vector<cv::Point> poly;
    for (const auto &p : corners)
        poly.emplace_back(cvRound(p.x), cvRound(p.y));
    s.valid = cv::Mat::zeros(size, CV_8U);
    cv::fillConvexPoly(s.valid, poly, cv::Scalar(255));
    cv::erode(s.valid, s.valid, cv::Mat());

    const double x0 = cut.page.x * s.scale + s.margin, y0 = cut.page.y * s.scale + s.margin;
    const double x1 = x0 + cut.page.width * s.scale, y1 = y0 + cut.page.height * s.scale;
    s.page = cv::Rect(cvCeil(x0), cvCeil(y0), cvFloor(x1) - cvCeil(x0), cvFloor(y1) - cvCeil(y0));
    return s;
}

// Seeds for the flooding: the desk ring outside the page (its colour checked against the
// ring's own median, so that a hand or a neighbouring document is not taken for desk), the
// middle of the page, and whatever inside the page is far from any desk colour.
cv::Mat markers(const Surround &s)
{
    const int gap = 2;
    cv::Mat ring = s.valid.clone();
    ring(cv::Rect(s.page.x - gap, s.page.y - gap, s.page.width + 2 * gap, s.page.height + 2 * gap) &
         cv::Rect(0, 0, ring.cols, ring.rows))
        .setTo(0);
    std::vector<cv::Vec3b> px;
    for (int y = 0; y < ring.rows; y += 2)
        for (int x = 0; x < ring.cols; x += 2)
            if (ring.at<uchar>(y, x))
                px.push_back(s.image.at<cv::Vec3b>(y, x));
    if (px.size() < 50)
        return {};
    cv::Vec3b spread;
    const cv::Vec3b deskColour = medianColour(px, &spread);
    const int tol = std::max({20, 6 * spread[0], 6 * spread[1], 6 * spread[2]});

    const int depth = int(std::min(s.page.width, s.page.height) * kTornDepth);
    const cv::Rect middle(s.page.x + depth, s.page.y + depth, s.page.width - 2 * depth,
                          s.page.height - 2 * depth);
    cv::Mat m(s.image.size(), CV_32S, cv::Scalar(Beyond));
    for (int y = 0; y < m.rows; ++y) {
        const cv::Vec3b *row = s.image.ptr<cv::Vec3b>(y);
        const uchar *valid = s.valid.ptr<uchar>(y), *desk = ring.ptr<uchar>(y);
        int *out = m.ptr<int>(y);
        for (int x = 0; x < m.cols; ++x) {
            if (!valid[x])
                continue;
            const int d = colourDistance(row[x], deskColour);
            if (s.page.contains({x, y}))
                out[x] = middle.contains({x, y}) || d > 3 * tol ? Paper : Unknown;
            else
                out[x] = desk[x] && d <= tol ? Desk : Unknown;
        }
    }
    return m;
}

// Median of the largest channel step over pairs of points.
double medianStep(const cv::Mat &img, const std::vector<std::pair<cv::Point, cv::Point>> &pairs)
{
    std::vector<int> d;
    for (const auto &[a, b] : pairs)
        d.push_back(colourDistance(img.at<cv::Vec3b>(a), img.at<cv::Vec3b>(b)));
    std::nth_element(d.begin(), d.begin() + long(d.size() / 2), d.end());
    return d[d.size() / 2];
}

// A flooded region is desk only when the desk runs on across the page border without a
// step (a photo printed to the edge has one: that step is the edge the detector found),
// what it runs on into is the desk's own colour (not a hand or another document lying
// over the edge), and a clear edge parts it from the paper beside it.
bool isDesk(const Surround &s, const cv::Mat &labels, int label, const cv::Mat &seeds, cv::Rect box)
{
    const cv::Rect all(0, 0, s.image.cols, s.image.rows);
    const int gap = 3, probe = 2;
    std::vector<std::pair<cv::Point, cv::Point>> across, beyond;
    int deskSeen = 0;
    auto side = [&](cv::Point from, cv::Point to, cv::Point outward) {
        const cv::Point step = to - from;
        const int n = std::max(std::abs(step.x), std::abs(step.y));
        for (int i = 0; i <= n; ++i) {
            const cv::Point p = from + step * i / std::max(1, n);
            const cv::Point in = p - outward * probe, out = p + outward * gap,
                            far = out + outward * (gap + probe);
            if (!all.contains(in) || !all.contains(far) || labels.at<int>(p) != label ||
                !s.valid.at<uchar>(far))
                continue;
            across.emplace_back(in, out);
            beyond.emplace_back(out, far);
            deskSeen += seeds.at<int>(far) == Desk;
        }
    };
    const cv::Rect &r = s.page;
    side(r.tl(), {r.x + r.width - 1, r.y}, {0, -1});
    side({r.x, r.y + r.height - 1}, {r.x + r.width - 1, r.y + r.height - 1}, {0, 1});
    side(r.tl(), {r.x, r.y + r.height - 1}, {-1, 0});
    side({r.x + r.width - 1, r.y}, {r.x + r.width - 1, r.y + r.height - 1}, {1, 0});
    if (across.size() < 3 || deskSeen < 0.6 * double(across.size()) ||
        medianStep(s.image, across) > 2 * medianStep(s.image, beyond) + 12)
        return false;

    // The paper along the region's inner outline against the mean of the region next to it.
    const cv::Rect near = cv::Rect(box.x - 3, box.y - 3, box.width + 6, box.height + 6) & r;
    const cv::Mat image = s.image(near);
    cv::Mat region = labels(near) == label, weight, sum;
    region.convertTo(weight, CV_32F, 1.0 / 255);
    image.convertTo(sum, CV_32FC3);
    cv::Mat weight3;
    cv::merge(std::vector<cv::Mat>(3, weight), weight3);
    sum = sum.mul(weight3);
    cv::boxFilter(sum, sum, -1, cv::Size(5, 5), cv::Point(-1, -1), false);
    cv::boxFilter(weight, weight, -1, cv::Size(5, 5), cv::Point(-1, -1), false);
    cv::Mat rim;
    cv::dilate(region, rim, cv::Mat());
    rim &= ~region;
    std::vector<int> steps;
    for (int y = 0; y < rim.rows; ++y)
        for (int x = 0; x < rim.cols; ++x) {
            if (!rim.at<uchar>(y, x) || weight.at<float>(y, x) <= 0)
                continue;
            const cv::Vec3f mean = sum.at<cv::Vec3f>(y, x) / weight.at<float>(y, x);
            const cv::Vec3b here = image.at<cv::Vec3b>(y, x);
            steps.push_back(int(std::max(
                {std::abs(here[0] - mean[0]), std::abs(here[1] - mean[1]), std::abs(here[2] - mean[2])})));
        }
    if (steps.empty())
        return true; // the whole stretch along the border is desk
    std::nth_element(steps.begin(), steps.begin() + long(steps.size() / 2), steps.end());
    return steps[steps.size() / 2] >= 8;
}

// Desk showing inside the document's rectangle, where a corner is torn off or an edge
// bitten: 255 there, at the cut-out's size. Empty when there is none or the cut-out
// does not know its frame.
cv::Mat tornMask(const Cut &cut)
{
    if (cut.frame.empty() || cut.image.empty() || cut.page.width < 16 || cut.page.height < 16)
        return {};
    const Surround s = surround(cut);
    if (s.page.width < 16 || s.page.height < 16)
        return {};
    cv::Mat m = markers(s);
    if (m.empty())
        return {};
    const cv::Mat seeds = m.clone();
    // Smoothed first: on a white desk the tear is only a little darker than the paper, and
    // sensor noise as high as that step would let the desk flood through the paper.
    cv::Mat smooth;
    cv::GaussianBlur(s.image, smooth, cv::Size(), 1.2);
    cv::watershed(smooth, m);

    cv::Mat flooded = cv::Mat::zeros(m.size(), CV_8U);
    flooded(s.page).setTo(255, m(s.page) == Desk);
    cv::Mat labels, stats, centroids;
    const int n = cv::connectedComponentsWithStats(flooded, labels, stats, centroids, 4, CV_32S);
    cv::Mat torn = cv::Mat::zeros(m.size(), CV_8U);
    const double maxArea = 0.3 * s.page.area();
    const int thick = std::max(3, std::min(s.page.width, s.page.height) / 40);
    for (int i = 1; i < n; ++i) {
        const cv::Rect box(stats.at<int>(i, cv::CC_STAT_LEFT), stats.at<int>(i, cv::CC_STAT_TOP),
                           stats.at<int>(i, cv::CC_STAT_WIDTH), stats.at<int>(i, cv::CC_STAT_HEIGHT));
        // A filled, thick rectangle is a picture printed to the edge; tears are ragged. Thin
        // strips along a side are desk inside a slightly generous outline.
        const double area = stats.at<int>(i, cv::CC_STAT_AREA);
        const bool printed = area > 0.85 * box.area() && std::min(box.width, box.height) > thick;
        if (area > maxArea || printed || !isDesk(s, labels, i, seeds, box))
            continue;
        // Spots of another colour on the desk (a pattern, a stain) go with it.
        std::vector<std::vector<cv::Point>> outline;
        cv::findContours(labels(box) == i, outline, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_SIMPLE, box.tl());
        cv::drawContours(torn, outline, -1, cv::Scalar(255), cv::FILLED);
    }
    const cv::Rect found = cv::boundingRect(torn);
    if (found.empty())
        return {};

    // Back to full size, grown by half a reduced pixel (how far off the outline may be)
    // and one more for the blended rim of the tear. Only around what was found: tears
    // cover little of a page.
    const cv::Rect reduced = cv::Rect(found.x - 2, found.y - 2, found.width + 4, found.height + 4) &
                             cv::Rect(s.margin, s.margin, m.cols - 2 * s.margin, m.rows - 2 * s.margin);
    const cv::Rect target =
        cv::Rect(cvFloor((reduced.x - s.margin) / s.scale), cvFloor((reduced.y - s.margin) / s.scale),
                 cvCeil(reduced.width / s.scale), cvCeil(reduced.height / s.scale)) &
        cv::Rect(0, 0, cut.image.cols, cut.image.rows);
    cv::Mat part;
    cv::resize(torn(reduced), part, target.size(), 0, 0, cv::INTER_LINEAR);
    const int grow = int(std::ceil(0.5 / s.scale)) + 1;
    cv::Mat full = cv::Mat::zeros(cut.image.size(), CV_8U);
    cv::dilate(part > 127, full(target),
               cv::getStructuringElement(cv::MORPH_ELLIPSE, {2 * grow + 1, 2 * grow + 1}), cv::Point(-1, -1),
               1, cv::BORDER_CONSTANT, cv::Scalar(0));
    return full;
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
    if (fillType != 1 && fillType != 2)
        return;
    const cv::Mat torn = tornMask(cut);
    if (!torn.empty())
        cut.outside = cut.outside.empty() ? torn : (cut.outside | torn);
    if (cut.outside.empty())
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
