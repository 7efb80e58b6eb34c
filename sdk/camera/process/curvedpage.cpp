#include "curvedpage.h"

#include <algorithm>
#include <opencv2/imgproc.hpp>

namespace camproc {
namespace {

// Rows of the paper's silhouette per column: the first from the top (`fromTop`) or from the
// bottom; -1 where the column holds no paper.
std::vector<float> silhouette(const cv::Mat &paper, bool fromTop)
{
    std::vector<float> edge(size_t(paper.cols), -1.f);
    for (int x = 0; x < paper.cols; ++x)
        for (int i = 0; i < paper.rows; ++i) {
            const int y = fromTop ? i : paper.rows - 1 - i;
            if (paper.at<uchar>(y, x)) {
                edge[size_t(x)] = float(y);
                break;
            }
        }
    return edge;
}

// Gutter candidates: straight, nearly upright lines between the top and bottom of the paper
// along which a thin dark valley runs furthest, as their columns at the top and at the bottom,
// the strongest first.
std::vector<std::pair<int, int>> gutterCandidates(const cv::Mat &valley, const cv::Mat &paper)
{
    cv::Mat masked, column;
    valley.copyTo(masked, paper);
    cv::reduce(masked / 255, column, 0, cv::REDUCE_SUM, CV_32F);
    const int margin = valley.cols / 25, tilt = valley.cols / 40, apart = valley.cols / 20;
    std::vector<float> sums(column.begin<float>(), column.end<float>());
    std::vector<std::pair<int, int>> out;
    for (int n = 0; n < 4; ++n) {
        const auto strongest = std::max_element(sums.begin() + margin, sums.end() - margin);
        if (*strongest < 0.3f * float(valley.rows))
            break;
        const int x0 = int(strongest - sums.begin());
        std::fill(sums.begin() + std::max(0, x0 - apart), sums.begin() + std::min(valley.cols, x0 + apart),
                  0.f);
        // The tilt that follows the valley best.
        int best = -1;
        std::pair<int, int> ends{x0, x0};
        for (int a = x0 - tilt; a <= x0 + tilt; ++a)
            for (int b = x0 - tilt; b <= x0 + tilt; ++b) {
                int sum = 0;
                for (int y = 0; y < valley.rows; ++y) {
                    const int x = std::clamp(a + (b - a) * y / (valley.rows - 1), 0, valley.cols - 1);
                    sum += masked.at<uchar>(y, x) != 0;
                }
                if (sum > best) {
                    best = sum;
                    ends = {a, b};
                }
            }
        out.push_back(ends);
    }
    return out;
}

struct EdgeLine {
    cv::Vec4f l;
    float at(float x) const { return l[3] + (x - l[2]) * l[1] / l[0]; }
};

// The line along the half of a page edge away from the gutter (between `from` and `to`).
bool fitEdge(const std::vector<float> &edge, int from, int to, EdgeLine &out)
{
    std::vector<cv::Point2f> pts;
    for (int x = std::min(from, to); x <= std::max(from, to); ++x)
        if (edge[size_t(x)] >= 0)
            pts.emplace_back(float(x), edge[size_t(x)]);
    if (pts.size() < 8)
        return false;
    cv::fitLine(pts, out.l, cv::DIST_HUBER, 0, 0.01, 0.01);
    return std::abs(out.l[0]) > 0.5f;
}

// The outer end of a page edge: followed from its middle outwards while the silhouette keeps to
// the fitted line; it leaves it at a rounded corner, down the stacked page edges below the page,
// or where the paper ends.
float outerEnd(const std::vector<float> &edge, const EdgeLine &line, int from, int outer, float tol)
{
    const int step = outer > from ? 1 : -1;
    int last = from;
    for (int x = from; x != outer + step; x += step) {
        if (edge[size_t(x)] < 0 || std::abs(edge[size_t(x)] - line.at(float(x))) > tol)
            break;
        last = x;
    }
    return float(last);
}

// How far the silhouette of all paper (`edge`, rows; `down` true for the top edge) dips at column
// x below the chord between the columns a few per cent to either side: the two pages' edges bend
// into the gutter, a flat sheet's edge runs straight past a printed rule.
float notchDepth(const std::vector<float> &edge, int x, bool down)
{
    const int n = int(edge.size()), w = n / 15;
    const int a = std::max(0, x - w), b = std::min(n - 1, x + w);
    if (edge[size_t(a)] < 0 || edge[size_t(b)] < 0 || edge[size_t(x)] < 0 || b - a < w)
        return 0.f;
    const float chord = edge[size_t(a)] + (edge[size_t(b)] - edge[size_t(a)]) * float(x - a) / float(b - a);
    return down ? edge[size_t(x)] - chord : chord - edge[size_t(x)];
}

// The page's outer side: of the straight, nearly upright lines near the outer end of its top and
// bottom edges (`xTop`, `xBottom`) along which the picture turns lighter towards the page, the
// innermost clear one. The stacked edges of the pages below lie outside it, greyer than the page.
std::pair<float, float> outerSide(const cv::Mat &inward, float xTop, float xBottom, float yTop, float yBottom,
                                  bool pageLeft)
{
    const int reach = inward.cols / 7, tilt = inward.cols / 60, step = pageLeft ? 1 : -1;
    const int y0 = int(yTop + 0.1f * (yBottom - yTop)), y1 = int(yBottom - 0.1f * (yBottom - yTop));
    std::vector<std::pair<float, std::pair<int, int>>> lines;
    float strongest = 0;
    for (int i = -3; i <= reach; ++i)
        for (int t = -tilt; t <= tilt; ++t) {
            const int a = int(xTop) + step * i, b = int(xBottom) + step * i + t;
            float sum = 0;
            int n = 0;
            for (int y = y0; y <= y1; y += 2) {
                const int x = a + (b - a) * (y - y0) / std::max(1, y1 - y0);
                if (x < 0 || x >= inward.cols)
                    continue;
                sum += inward.at<float>(y, x);
                ++n;
            }
            const float mean = n ? sum / float(n) : 0.f;
            strongest = std::max(strongest, mean);
            lines.push_back({mean, {a, b}});
        }
    std::pair<float, float> best{xTop, xBottom};
    int deepest = -1;
    for (const auto &[mean, ends] : lines) {
        const int depth = step * (ends.first - int(xTop));
        if (mean >= std::max(1.5f, 0.5f * strongest) && depth > deepest && depth <= inward.cols / 8) {
            deepest = depth;
            best = {float(ends.first), float(ends.second)};
        }
    }
    return best;
}

// Where paper running into the shadow of the gutter really ends: followed from `y`, the last row
// counted as paper in column `x`, on through the shade (lightness falling gently) up to the sharp
// step to what lies beyond the page. `step` -1 runs upwards.
float shadedEnd(const cv::Mat &lab, int x, int y, int step)
{
    const auto lightness = [&](int row) { return int(lab.at<cv::Vec3b>(row, x)[0]); };
    while (y + 2 * step >= 0 && y + 2 * step < lab.rows && lightness(y + 2 * step) > 40 &&
           lightness(y) - lightness(y + 2 * step) < 10)
        y += step;
    return float(y);
}

// The page on the larger side of the gutter from (gTop, top) to (gBottom, bottom): its outer
// corners and the gutter's ends on its outline, and in `bend` how deep the gutter notches the
// silhouette of all paper (`allPaper`, gaps between the pages bridged; its `allTop` and
// `allBottom`) at its two ends. `lab`: the picture, smoothed.
std::optional<Quad> pageBeside(const cv::Mat &paper, const cv::Mat &lab, const cv::Mat &allPaper,
                               const cv::Mat &gradient, const std::vector<float> &allTop,
                               const std::vector<float> &allBottom, int gTop, int gBottom, float &bend)
{
    cv::Mat left = cv::Mat::zeros(paper.size(), CV_8U);
    const std::vector<cv::Point> cut{{0, 0}, {gTop, 0}, {gBottom, paper.rows - 1}, {0, paper.rows - 1}};
    cv::fillConvexPoly(left, cut, cv::Scalar(255));
    const cv::Mat leftPaper = paper & left, rightPaper = paper & ~left;
    const int leftArea = cv::countNonZero(leftPaper), rightArea = cv::countNonZero(rightPaper);
    const bool pageLeft = leftArea > rightArea;
    // The facing page runs out of view on the other side (a whole spread is not one page).
    const cv::Mat facing = allPaper.col(pageLeft ? paper.cols - 1 : 0);
    if (std::max(leftArea, rightArea) < 0.3 * double(paper.total()) ||
        cv::countNonZero(facing) < 0.2 * double(facing.total()))
        return std::nullopt;
    // Beyond the gutter lies paper as light as the page: the desk beside a photograph or a card,
    // which passes for paper on an even desk, is darker than the sheet's white.
    const auto lightest = [&](int x0, int x1) {
        x0 = std::clamp(x0, 0, paper.cols);
        x1 = std::clamp(x1, 0, paper.cols);
        if (x1 - x0 < 2)
            return 0.f;
        cv::Mat l;
        cv::extractChannel(lab(cv::Range(paper.rows / 5, paper.rows * 4 / 5), cv::Range(x0, x1)), l, 0);
        std::vector<uchar> v(l.begin<uchar>(), l.end<uchar>());
        const auto tenth = v.begin() + v.size() * 9 / 10;
        std::nth_element(v.begin(), tenth, v.end());
        return float(*tenth);
    };
    const int strip = paper.cols / 10, gap = paper.cols / 60;
    const float leftLight = lightest(std::min(gTop, gBottom) - gap - strip, std::min(gTop, gBottom) - gap);
    const float rightLight = lightest(std::max(gTop, gBottom) + gap, std::max(gTop, gBottom) + gap + strip);
    if ((pageLeft ? rightLight : leftLight) < 0.75f * (pageLeft ? leftLight : rightLight))
        return std::nullopt;
    const cv::Mat page = pageLeft ? leftPaper : rightPaper;
    const cv::Mat inward = pageLeft ? gradient : -gradient;
    const std::vector<float> top = silhouette(page, true), bottom = silhouette(page, false);
    // The gutter's ends: where the page's own top and bottom edges meet it, as the medians over a
    // few columns beside it (the pages may part in a crack along the gutter line).
    const int outer = pageLeft ? 0 : paper.cols - 1, step = pageLeft ? -1 : 1;
    std::vector<float> tops, bottoms;
    for (int i = 1; i <= std::max(2, paper.cols / 60); ++i) {
        const size_t xt = size_t(std::clamp(gTop + step * i, 0, paper.cols - 1));
        const size_t xb = size_t(std::clamp(gBottom + step * i, 0, paper.cols - 1));
        if (top[xt] >= 0)
            tops.push_back(shadedEnd(lab, int(xt), int(top[xt]), -1));
        if (bottom[xb] >= 0)
            bottoms.push_back(shadedEnd(lab, int(xb), int(bottom[xb]), 1));
    }
    if (tops.empty() || bottoms.empty())
        return std::nullopt;
    std::nth_element(tops.begin(), tops.begin() + tops.size() / 2, tops.end());
    std::nth_element(bottoms.begin(), bottoms.begin() + bottoms.size() / 2, bottoms.end());
    float yTop = tops[tops.size() / 2], yBottom = bottoms[bottoms.size() / 2];
    // A strongly rounded curl hides the page's own corner: beside the gutter its outline turns
    // away from the facing page, and the desk shows between the two pages down to where they
    // meet. That meeting point, on the gutter line itself, is the gutter's end: followed from the
    // page's end while the colour stays that of the desk just beyond it, and no further than a
    // curl hides (a shadow deep in the gutter is no desk).
    const int hidden = paper.rows / 25, band = std::max(2, paper.cols / 60);
    const auto meeting = [&](float from, int step) {
        const auto at = [&](int y, int dx) {
            y = std::clamp(y, 0, paper.rows - 1);
            const int x = std::clamp(gTop + (gBottom - gTop) * y / (paper.rows - 1) + dx, 0, paper.cols - 1);
            return cv::Vec3f(lab.at<cv::Vec3b>(y, x));
        };
        const int y0 = int(from) - 4 * step;
        if (y0 < 0 || y0 >= paper.rows)
            return from;
        const cv::Vec3f desk = (at(y0, 0) + at(y0 - step, 0)) * 0.5f;
        // The gutter line found may lie a little beside the point of the notch.
        const auto deskAt = [&](int y) {
            for (int dx = -band; dx <= band; ++dx)
                if (cv::norm(at(y, dx) - desk) < 20.0)
                    return true;
            return false;
        };
        int y = y0;
        while (std::abs(y - y0) < hidden && deskAt(y + step))
            y += step;
        return step > 0 ? std::max(from, float(y)) : std::min(from, float(y));
    };
    yTop = meeting(yTop, 1);
    yBottom = meeting(yBottom, -1);
    const int cTop = gTop, cBottom = gBottom;
    const int midTop = (cTop + outer) / 2, midBottom = (cBottom + outer) / 2;
    EdgeLine topLine, bottomLine;
    if (!fitEdge(top, midTop, (midTop + outer) / 2, topLine) ||
        !fitEdge(bottom, midBottom, (midBottom + outer) / 2, bottomLine))
        return std::nullopt;
    // A curl bends the edges into the gutter by a few per cent of the height; a shadow in the
    // gutter may eat further into the page, which stays whole.
    const float deepest = 0.1f * float(paper.rows);
    yTop = std::min(yTop, topLine.at(float(gTop)) + deepest);
    yBottom = std::max(yBottom, bottomLine.at(float(gBottom)) - deepest);
    bend = notchDepth(allTop, gTop, true) + notchDepth(allBottom, gBottom, false);
    const float tol = 0.005f * float(paper.rows) + 1.f;
    const float xTop = outerEnd(top, topLine, midTop, outer, tol);
    const float xBottom = outerEnd(bottom, bottomLine, midBottom, outer, tol);
    const cv::Point2f gutterTop(float(cTop), yTop), gutterBottom(float(cBottom), yBottom);
    const auto [sideTop, sideBottom] =
        outerSide(inward, xTop, xBottom, topLine.at(xTop), bottomLine.at(xBottom), pageLeft);
    // The corners where that side meets the lines of the top and bottom edges.
    const auto meet = [&](const EdgeLine &edge) {
        const float yA = topLine.at(sideTop), yB = bottomLine.at(sideBottom);
        float x = sideTop;
        for (int k = 0; k < 3; ++k) {
            const float y = edge.at(x);
            x = sideTop + (sideBottom - sideTop) * (y - yA) / std::max(1.f, yB - yA);
        }
        return cv::Point2f(x, edge.at(x));
    };
    const cv::Point2f outerTop = meet(topLine), outerBottom = meet(bottomLine);
    if (pageLeft)
        return Quad{outerTop, gutterTop, gutterBottom, outerBottom};
    return Quad{gutterTop, outerTop, outerBottom, gutterBottom};
}

} // namespace

std::optional<Quad> findCurvedPage(const cv::Mat &bgr)
{
    if (bgr.empty() || bgr.cols < 64 || bgr.rows < 64)
        return std::nullopt;
    cv::Mat smooth, grey, lab;
    cv::medianBlur(bgr, smooth, 5);
    cv::cvtColor(smooth, grey, cv::COLOR_BGR2GRAY);
    cv::cvtColor(smooth, lab, cv::COLOR_BGR2Lab);
    // Paper: nearly as light as the lightest surface around it, so that a page shaded towards one
    // end still counts while the desk next to it does not.
    cv::Mat level, ratio;
    const int span = std::max(bgr.cols, bgr.rows) / 6 | 1;
    cv::dilate(grey, level, cv::getStructuringElement(cv::MORPH_RECT, {span, span}));
    cv::blur(level, level, {span, span});
    cv::divide(grey, level, ratio, 255.0, CV_8U);
    cv::Mat paper = (ratio > 185) & (grey > 60);
    cv::morphologyEx(paper, paper, cv::MORPH_OPEN, cv::getStructuringElement(cv::MORPH_ELLIPSE, {5, 5}));
    // The largest light region with its print filled in.
    std::vector<std::vector<cv::Point>> contours;
    cv::findContours(paper, contours, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_SIMPLE);
    if (contours.empty())
        return std::nullopt;
    const auto largest = std::max_element(contours.begin(), contours.end(), [](const auto &a, const auto &b) {
        return cv::contourArea(a) < cv::contourArea(b);
    });
    if (cv::contourArea(*largest) < 0.35 * double(bgr.total()))
        return std::nullopt;
    // All paper with a narrow gutter shadow between the pages bridged.
    const cv::Mat across = cv::getStructuringElement(cv::MORPH_RECT, {bgr.cols / 30 | 1, 1});
    cv::Mat allPaper;
    cv::morphologyEx(paper, allPaper, cv::MORPH_CLOSE, across);
    const std::vector<float> allTop = silhouette(allPaper, true), allBottom = silhouette(allPaper, false);
    paper = cv::Mat::zeros(bgr.size(), CV_8U);
    cv::drawContours(paper, contours, int(largest - contours.begin()), cv::Scalar(255), cv::FILLED);
    // A pale desk is as light as the paper on it: light running along three or four borders of
    // the picture is no page with its facing page beside it.
    const cv::Mat borders[4] = {paper.row(0), paper.row(paper.rows - 1), paper.col(0),
                                paper.col(paper.cols - 1)};
    if (std::count_if(std::begin(borders), std::end(borders),
                      [](const cv::Mat &b) { return cv::countNonZero(b) > 0.2 * double(b.total()); }) > 2)
        return std::nullopt;
    // The gutter is a thin dark valley from the top of the pages to the bottom; the pages may
    // part along it, so the valley is looked for on the paper with such gaps closed.
    cv::Mat closed, valley;
    cv::morphologyEx(paper, closed, cv::MORPH_CLOSE, across);
    // A gutter shadow that parts the pages lies along the paper's side: it counts too.
    cv::dilate(closed, closed, across);
    // Smeared along the gutter first: print fades, a valley running the page's height does not.
    cv::blur(grey, valley, {1, bgr.rows / 15});
    cv::morphologyEx(valley, valley, cv::MORPH_BLACKHAT, across);
    valley = valley > 6;
    // Lightness rising to the right, for the page's outer side.
    cv::Mat soft, gradient;
    cv::GaussianBlur(grey, soft, cv::Size(), 1.5);
    cv::Sobel(soft, gradient, CV_32F, 1, 0, 3, 0.125);
    std::optional<Quad> best;
    float mostBend = 0.025f * float(bgr.rows);
    for (const auto &[gTop, gBottom] : gutterCandidates(valley, closed)) {
        float bend = 0;
        const std::optional<Quad> q =
            pageBeside(paper, lab, allPaper, gradient, allTop, allBottom, gTop, gBottom, bend);
        if (q && bend > mostBend) {
            mostBend = bend;
            best = q;
        }
    }
    return best;
}

} // namespace camproc
