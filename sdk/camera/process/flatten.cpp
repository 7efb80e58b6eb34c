#include "flatten.h"

#include <algorithm>
#include <cmath>
#include <opencv2/core/utility.hpp>
#include <opencv2/imgproc.hpp>
#include <optional>

namespace camproc {
namespace {

using Line = std::vector<cv::Point2f>;

// The page is analysed on a copy about this tall: text lines come out 10-20 pixels high.
constexpr double kAnalysisHeight = 900;
// How far beyond (or inside) its outline a bowed top or bottom edge is looked for, as a share
// of the page height.
constexpr double kEdgeBand = 0.07;
// A single page whose lines bend less than this share of its height counts as flat.
constexpr double kCurved = 0.004;
// Camera height over the desk as a multiple of the frame width: document cameras see about an
// A3 sheet from 35-40 cm.
constexpr double kCameraHeight = 0.9;
// Degree of the polynomials that follow a bowed top or bottom edge across the page.
constexpr int kDegree = 4;

// Powers of x normalised to [-1, 1] over [0, width].
cv::Mat powers(double x, double width, int degree)
{
    cv::Mat row(1, degree + 1, CV_64F);
    const double t = 2 * x / std::max(1.0, width) - 1;
    double p = 1;
    for (int j = 0; j <= degree; ++j, p *= t)
        row.at<double>(j) = p;
    return row;
}

double evaluate(const cv::Mat &coef, double x, double width)
{
    const double t = 2 * x / std::max(1.0, width) - 1;
    double v = 0;
    for (int j = coef.rows - 1; j >= 0; --j)
        v = v * t + coef.at<double>(j);
    return v;
}

cv::Mat polyFit(const Line &pts, int degree, double width)
{
    cv::Mat A(int(pts.size()), degree + 1, CV_64F), y(int(pts.size()), 1, CV_64F);
    for (int i = 0; i < A.rows; ++i) {
        powers(pts[size_t(i)].x, width, degree).copyTo(A.row(i));
        y.at<double>(i) = pts[size_t(i)].y;
    }
    cv::Mat coef;
    cv::solve(A, y, coef, cv::DECOMP_SVD);
    return coef;
}

std::vector<Line> textLines(const cv::Mat &grey, const cv::Mat &valid)
{
    const int w = grey.cols, h = grey.rows;
    cv::Mat ink;
    cv::adaptiveThreshold(grey, ink, 255, cv::ADAPTIVE_THRESH_MEAN_C, cv::THRESH_BINARY_INV,
                          std::max(15, h / 25) | 1, 15);
    ink &= valid;
    // Characters joined into one blob per line, lines kept apart.
    cv::morphologyEx(ink, ink, cv::MORPH_CLOSE,
                     cv::getStructuringElement(cv::MORPH_RECT, {std::max(3, h / 45), 3}));
    cv::Mat labels, stats, centroids;
    const int n = cv::connectedComponentsWithStats(ink, labels, stats, centroids, 8, CV_32S);
    constexpr int step = 2;
    std::vector<int> slot(size_t(n), -1);
    std::vector<std::vector<cv::Vec2d>> sums; // per kept blob and column bucket: sum of y, count
    for (int i = 1; i < n; ++i) {
        const int bw = stats.at<int>(i, cv::CC_STAT_WIDTH), bh = stats.at<int>(i, cv::CC_STAT_HEIGHT);
        if (bw >= w / 6 && bh >= 4 && bh <= h / 20 && bw >= 5 * bh) {
            slot[size_t(i)] = int(sums.size());
            sums.emplace_back(size_t(bw / step + 1), cv::Vec2d(0, 0));
        }
    }
    for (int y = 0; y < h; ++y) {
        const int *row = labels.ptr<int>(y);
        for (int x = 0; x < w; ++x)
            if (row[x] > 0 && slot[size_t(row[x])] >= 0)
                sums[size_t(slot[size_t(row[x])])]
                    [size_t((x - stats.at<int>(row[x], cv::CC_STAT_LEFT)) / step)] += cv::Vec2d(y, 1);
    }
    std::vector<Line> lines;
    for (int i = 1; i < n; ++i) {
        if (slot[size_t(i)] < 0)
            continue;
        Line line;
        const auto &s = sums[size_t(slot[size_t(i)])];
        for (size_t b = 0; b < s.size(); ++b)
            if (s[b][1] > 0)
                line.emplace_back(float(stats.at<int>(i, cv::CC_STAT_LEFT) + int(b) * step + step / 2.0),
                                  float(s[b][0] / s[b][1]));
        if (line.size() >= 8)
            lines.push_back(std::move(line));
    }
    return lines;
}

// Vertical brightness change (downwards), smoothed along the rows so that text and grain count less.
cv::Mat edgeStrength(const cv::Mat &grey)
{
    cv::Mat smooth, grad;
    cv::GaussianBlur(grey, smooth, cv::Size(0, 0), 1.5);
    cv::Sobel(smooth, grad, CV_32F, 0, 1, 3);
    cv::blur(grad, grad, cv::Size(std::max(3, grey.cols / 40), 1));
    return grad;
}

// A bowed top (or bottom) edge: per column a strong step up to the brighter paper between rows
// `from` (outside the page) and `to`, fitted robustly across the page. A book's cover or the
// stacked pages beneath often show as a band just outside the page, so where the text lines
// predict the edge (`expected`, per column, or empty) the step nearest that prediction is taken,
// otherwise the outermost. Nothing when too few columns agree.
std::optional<cv::Mat> findEdge(const cv::Mat &grad, const cv::Mat &valid, int from, int to,
                                const std::vector<double> &expected)
{
    const int w = grad.cols;
    const int dir = to > from ? 1 : -1, step = std::max(2, w / 150);
    // Rising into the page along the scan.
    const auto rise = [&](int y, int x) { return float(dir) * grad.at<float>(y, x); };
    Line pts;
    int columns = 0;
    for (int x = w / 50; x < w - w / 50; x += step, ++columns) {
        float best = 0;
        bool inFrame = true;
        for (int y = from; y != to; y += dir) {
            best = std::max(best, rise(y, x));
            inFrame = inFrame && valid.at<uchar>(y, x);
        }
        if (!inFrame || best < 20)
            continue;
        int chosen = -1;
        for (int y = from + dir; y != to - dir; y += dir) {
            const float g = rise(y, x);
            if (g < 0.5f * best || g < rise(y - dir, x) || g < rise(y + dir, x))
                continue;
            if (chosen < 0 || (!expected.empty() &&
                               std::abs(y - expected[size_t(x)]) < std::abs(chosen - expected[size_t(x)])))
                chosen = y;
            if (expected.empty())
                break;
        }
        if (chosen >= 0)
            pts.emplace_back(float(x), float(chosen));
    }
    for (int round = 0; round < 4 && int(pts.size()) >= 10; ++round) {
        const cv::Mat coef = polyFit(pts, kDegree, w);
        std::vector<double> res;
        for (const auto &p : pts)
            res.push_back(std::abs(p.y - evaluate(coef, p.x, w)));
        std::vector<double> sorted = res;
        std::nth_element(sorted.begin(), sorted.begin() + long(sorted.size() / 2), sorted.end());
        const double limit = std::max(1.5, 3 * sorted[sorted.size() / 2]);
        Line kept;
        for (size_t i = 0; i < pts.size(); ++i)
            if (res[i] <= limit)
                kept.push_back(pts[i]);
        if (kept.size() == pts.size())
            break;
        pts = kept;
    }
    if (int(pts.size()) < std::max(10, columns / 2))
        return std::nullopt;
    return polyFit(pts, kDegree, w);
}

// y = a(x) + b(x) Y across the page in analysis pixels, Y = 0 on the top edge and 1 on the
// bottom; a and b are given at evenly spaced columns and run straight between them, so that a
// curl near the spine is followed as well as a gentle bow.
struct Sheet {
    std::vector<double> a, b;
    double width = 1;
    // The knot left of x and how far towards the next one x lies.
    std::pair<size_t, double> locate(double x) const
    {
        const double u = std::clamp(x / width, 0.0, 1.0) * double(a.size() - 1);
        const size_t k = std::min(a.size() - 2, size_t(u));
        return {k, u - double(k)};
    }
    double top(double x) const
    {
        const auto [k, t] = locate(x);
        return a[k] + t * (a[k + 1] - a[k]);
    }
    double height(double x) const
    {
        const auto [k, t] = locate(x);
        return b[k] + t * (b[k + 1] - b[k]);
    }
};

constexpr size_t kKnots = 41;

// Largest deviation of a run of residuals once averaged over a few characters' width.
double smoothedPeak(const std::vector<double> &r)
{
    const size_t half = 12;
    double worst = 0;
    for (size_t i = 0; i < r.size(); ++i) {
        const size_t lo = i > half ? i - half : 0, hi = std::min(r.size(), i + half + 1);
        double sum = 0;
        for (size_t j = lo; j < hi; ++j)
            sum += r[j];
        worst = std::max(worst, std::abs(sum / double(hi - lo)));
    }
    return worst;
}

// How far a line bends away from its own straight fit, in pixels.
double bow(const Line &line)
{
    const double width = line.back().x + 1;
    const cv::Mat straight = polyFit(line, 1, width);
    std::vector<double> r;
    for (const cv::Point2f &p : line)
        r.push_back(p.y - evaluate(straight, p.x, width));
    return smoothedPeak(r);
}

// Each line's Y under the sheet, and its residuals there.
double lineY(const Sheet &s, const Line &line)
{
    double num = 0, den = 0;
    for (const auto &p : line) {
        const double b = s.height(p.x);
        num += b * (p.y - s.top(p.x));
        den += b * b;
    }
    return num / std::max(1e-9, den);
}

std::vector<double> residuals(const Sheet &s, const Line &line)
{
    const double Y = lineY(s, line);
    std::vector<double> r;
    for (const auto &p : line)
        r.push_back(p.y - s.top(p.x) - s.height(p.x) * Y);
    return r;
}

// Fits the sheet to the edges (fixed Y) and the text lines (each at a Y of its own, found in
// turn with the sheet), held smooth between the columns. The outline's corners stand in for a
// missing edge.
Sheet fitSheet(const std::vector<Line> &lines, const std::optional<cv::Mat> &topEdge,
               const std::optional<cv::Mat> &bottomEdge, double width, double margin, double height)
{
    struct Obs {
        double x, y, weight;
        int line; // -1: on an edge
        double Y;
    };
    std::vector<Obs> obs;
    const double edgeWeight = 3 + 0.3 * double(lines.size());
    for (int side = 0; side < 2; ++side) {
        const std::optional<cv::Mat> &edge = side ? bottomEdge : topEdge;
        const double corner = margin + side * height;
        if (edge) {
            for (int i = 0; i <= 40; ++i)
                obs.push_back(
                    {width * i / 40, evaluate(*edge, width * i / 40, width), edgeWeight, -1, double(side)});
        } else {
            obs.push_back({0, corner, 10 * edgeWeight, -1, double(side)});
            obs.push_back({width, corner, 10 * edgeWeight, -1, double(side)});
        }
    }
    for (size_t i = 0; i < lines.size(); ++i)
        for (const cv::Point2f &p : lines[i])
            obs.push_back({p.x, p.y, 1, int(i), 0});
    Sheet s;
    s.width = width;
    s.a.assign(kKnots, margin);
    s.b.assign(kKnots, height);
    const int n = int(kKnots), unknowns = 2 * n;
    // Bending between neighbouring columns costs as much as this many points a pixel off.
    const double stiffness = 0.005 * double(obs.size()) / double(kKnots);
    for (int round = 0; round < 6; ++round) {
        std::vector<double> Y(lines.size());
        for (size_t i = 0; i < lines.size(); ++i)
            Y[i] = lineY(s, lines[i]);
        // The sheet with every Y fixed: linear least squares on the normal equations.
        cv::Mat N(unknowns, unknowns, CV_64F, cv::Scalar(0)), rhs(unknowns, 1, CV_64F, cv::Scalar(0));
        const auto add = [&](const std::vector<std::pair<int, double>> &row, double value, double weight) {
            for (const auto &[i, vi] : row) {
                rhs.at<double>(i) += weight * vi * value;
                for (const auto &[j, vj] : row)
                    N.at<double>(i, j) += weight * vi * vj;
            }
        };
        for (const Obs &o : obs) {
            const auto [k, t] = s.locate(o.x);
            const double oy = o.line >= 0 ? Y[size_t(o.line)] : o.Y;
            add({{int(k), 1 - t}, {int(k) + 1, t}, {n + int(k), (1 - t) * oy}, {n + int(k) + 1, t * oy}}, o.y,
                o.weight);
        }
        for (int k = 1; k + 1 < n; ++k)
            for (int off : {0, n})
                add({{off + k - 1, 1}, {off + k, -2}, {off + k + 1, 1}}, 0, stiffness * (off ? 4 : 1));
        cv::Mat x;
        if (!cv::solve(N, rhs, x, cv::DECOMP_CHOLESKY) && !cv::solve(N, rhs, x, cv::DECOMP_SVD))
            break;
        for (int k = 0; k < n; ++k) {
            s.a[size_t(k)] = x.at<double>(k);
            s.b[size_t(k)] = x.at<double>(n + k);
        }
    }
    return s;
}

// Largest bend left in a line once the sheet is unrolled, in pixels.
double residualBow(const Sheet &s, const std::vector<Line> &lines)
{
    double worst = 0;
    for (const Line &line : lines)
        worst = std::max(worst, smoothedPeak(residuals(s, line)));
    return worst;
}

// Lines the sheet cannot place (rules, frames, a column that lies otherwise): well off the others.
std::vector<Line> consistentLines(const Sheet &s, const std::vector<Line> &lines)
{
    std::vector<double> rms;
    for (const Line &line : lines) {
        double sum = 0;
        for (double r : residuals(s, line))
            sum += r * r;
        rms.push_back(std::sqrt(sum / double(line.size())));
    }
    std::vector<double> sorted = rms;
    std::nth_element(sorted.begin(), sorted.begin() + long(sorted.size() / 2), sorted.end());
    const double limit = std::max(1.5, 3 * sorted[sorted.size() / 2]);
    std::vector<Line> kept;
    for (size_t i = 0; i < lines.size(); ++i)
        if (rms[i] <= limit)
            kept.push_back(lines[i]);
    return kept;
}

bool plausible(const Sheet &s, double margin, double height)
{
    for (size_t k = 0; k < s.a.size(); ++k) {
        const double a = s.a[k], b = s.b[k];
        if (!std::isfinite(a) || !std::isfinite(b) || b < 0.75 * height || b > 1.25 * height ||
            std::abs(a - margin) > 2 * kEdgeBand * height)
            return false;
    }
    return true;
}

cv::Point2d apply(const cv::Matx33d &H, double x, double y)
{
    const cv::Vec3d v = H * cv::Vec3d(x, y, 1);
    return {v[0] / v[2], v[1] / v[2]};
}

// The sheet unrolled out of the frame: each column's top and bottom seen in the frame tell how
// much nearer the camera the paper is there, and so its height and slope; the columns are then
// spaced by their length along the paper.
Cut unroll(const cv::Mat &bgr, const Sheet &s, const cv::Matx33d &toFrame, double outlineHeight)
{
    const size_t n = size_t(std::max(2.0, std::ceil(s.width)));
    std::vector<cv::Point2d> top(n + 1), bottom(n + 1);
    std::vector<double> length(n + 1);
    double shortest = 1e30;
    for (size_t i = 0; i <= n; ++i) {
        const double x = s.width * double(i) / double(n);
        top[i] = apply(toFrame, x, s.top(x));
        bottom[i] = apply(toFrame, x, s.top(x) + s.height(x));
        length[i] = cv::norm(bottom[i] - top[i]);
        shortest = std::min(shortest, length[i]);
    }
    const double f = kCameraHeight * bgr.cols;
    const cv::Point2d centre(bgr.cols / 2.0, bgr.rows / 2.0);
    std::vector<double> along(n + 1, 0.0);
    cv::Point2d prev;
    double prevZ = 0;
    for (size_t i = 0; i <= n; ++i) {
        const double k = length[i] / shortest;
        const cv::Point2d ground = centre + ((top[i] + bottom[i]) * 0.5 - centre) * (1 / k);
        const double z = f * (1 - 1 / k);
        if (i > 0)
            along[i] = along[i - 1] + std::hypot(cv::norm(ground - prev), z - prevZ);
        prev = ground;
        prevZ = z;
    }
    // At the scale of the plain warp: as tall as the outline's longer side.
    const double zoom = outlineHeight / shortest;
    const double w = along.back() * zoom, h = outlineHeight;
    const cv::Size size = sizeTo16(w, h);
    const double ox = (size.width - w) / 2, oy = (size.height - h) / 2;
    // Per output column, the frame point of Y = 0 and its change per unit of Y (homogeneous).
    std::vector<cv::Vec3d> base(size_t(size.width)), per(size_t(size.width));
    std::vector<bool> padding(size_t(size.width));
    size_t i = 0;
    for (int u = 0; u < size.width; ++u) {
        const double d = std::clamp((u + 0.5 - ox) / zoom, 0.0, along.back());
        while (i + 1 < n && along[i + 1] < d)
            ++i;
        const double t = (d - along[i]) / std::max(1e-9, along[i + 1] - along[i]);
        const double x = s.width * (double(i) + t) / double(n);
        base[size_t(u)] = toFrame * cv::Vec3d(x, s.top(x), 1);
        per[size_t(u)] = toFrame * cv::Vec3d(0, s.height(x), 0);
        padding[size_t(u)] = u + 0.5 < ox || u + 0.5 > ox + w;
    }
    cv::Mat mapX(size, CV_32F), mapY(size, CV_32F);
    Cut cut;
    cut.outside = cv::Mat(size, CV_8U, cv::Scalar(0));
    // A full-resolution page has millions of points: rows shared out like the plain warp's.
    cv::parallel_for_(cv::Range(0, size.height), [&](const cv::Range &rows) {
        for (int v = rows.start; v < rows.end; ++v) {
            const double Y = std::clamp((v + 0.5 - oy) / h, 0.0, 1.0);
            const bool rowPadding = v + 0.5 < oy || v + 0.5 > oy + h;
            float *mx = mapX.ptr<float>(v), *my = mapY.ptr<float>(v);
            uchar *out = cut.outside.ptr<uchar>(v);
            for (int u = 0; u < size.width; ++u) {
                const cv::Vec3d p = base[size_t(u)] + per[size_t(u)] * Y;
                mx[u] = float(p[0] / p[2]);
                my[u] = float(p[1] / p[2]);
                if (rowPadding || padding[size_t(u)] || mx[u] < 0 || my[u] < 0 || mx[u] > bgr.cols - 1 ||
                    my[u] > bgr.rows - 1)
                    out[u] = 255;
            }
        }
    });
    cv::remap(bgr, cut.image, mapX, mapY, cv::INTER_LINEAR, cv::BORDER_CONSTANT);
    if (cv::countNonZero(cut.outside) == 0)
        cut.outside.release();
    return cut;
}

} // namespace

std::vector<std::vector<cv::Point2f>> findTextLines(const cv::Mat &grey)
{
    cv::Mat valid(grey.size(), CV_8U, cv::Scalar(0));
    const int bx = grey.cols / 30, by = grey.rows / 30;
    valid(cv::Rect(bx, by, grey.cols - 2 * bx, grey.rows - 2 * by)).setTo(255);
    return textLines(grey, valid);
}

double textLineBow(const cv::Mat &bgr)
{
    if (bgr.rows < 32 || bgr.cols < 32)
        return 0;
    cv::Mat grey = bgr;
    if (bgr.channels() == 3)
        cv::cvtColor(bgr, grey, cv::COLOR_BGR2GRAY);
    const double scale = std::min(1.0, kAnalysisHeight / grey.rows);
    cv::resize(grey, grey, cv::Size(), scale, scale, cv::INTER_AREA);
    double worst = 0;
    for (const Line &line : findTextLines(grey))
        worst = std::max(worst, bow(line));
    return worst / grey.rows;
}

Cut flattenPage(const cv::Mat &bgr, const Quad &q, Flatten when)
{
    const double w = std::max(cv::norm(q[1] - q[0]), cv::norm(q[2] - q[3]));
    const double h = std::max(cv::norm(q[3] - q[0]), cv::norm(q[2] - q[1]));
    const double scale = std::min(1.0, kAnalysisHeight / std::max(1.0, h));
    const int wa = int(std::lround(w * scale)), ha = int(std::lround(h * scale));
    const int margin = int(std::ceil(kEdgeBand * ha)) + 2;
    if (bgr.type() != CV_8UC3 || wa < 48 || ha < 48)
        return warpDocument(bgr, q);

    // The page upright at analysis scale, with a band around it for its bowed edges.
    const cv::Point2f dst[4] = {{0, float(margin)},
                                {float(wa), float(margin)},
                                {float(wa), float(margin + ha)},
                                {0, float(margin + ha)}};
    const cv::Matx33d toPage(cv::getPerspectiveTransform(q.data(), dst));
    const cv::Size size(wa, ha + 2 * margin);
    cv::Mat colour, grey;
    cv::warpPerspective(bgr, colour, toPage, size, cv::INTER_AREA, cv::BORDER_CONSTANT);
    cv::cvtColor(colour, grey, cv::COLOR_BGR2GRAY);
    cv::Mat valid(size, CV_8U, cv::Scalar(0));
    std::vector<cv::Point2f> frame = {{0, 0},
                                      {float(bgr.cols - 1), 0},
                                      {float(bgr.cols - 1), float(bgr.rows - 1)},
                                      {0, float(bgr.rows - 1)}};
    std::vector<cv::Point2f> mapped;
    cv::perspectiveTransform(frame, mapped, cv::Mat(toPage));
    std::vector<cv::Point> poly;
    for (const auto &p : mapped)
        poly.emplace_back(cvRound(std::clamp(p.x, -1e6f, 1e6f)), cvRound(std::clamp(p.y, -1e6f, 1e6f)));
    cv::fillConvexPoly(valid, poly, cv::Scalar(255));
    cv::erode(valid, valid, cv::Mat(), cv::Point(-1, -1), 2);

    // Text inside the outline, clear of its edges.
    cv::Mat inner = valid.clone();
    const int insetX = wa / 100 + 1, insetY = margin + int(kEdgeBand * ha);
    inner(cv::Rect(0, 0, wa, insetY)).setTo(0);
    inner(cv::Rect(0, size.height - insetY, wa, insetY)).setTo(0);
    inner.colRange(0, insetX).setTo(0);
    inner.colRange(wa - insetX, wa).setTo(0);
    const std::vector<Line> lines = textLines(grey, inner);
    const bool text = lines.size() >= 3;
    double before = 0;
    for (const Line &line : lines)
        before = std::max(before, bow(line));
    if (when == Flatten::IfCurved && (!text || before < kCurved * ha))
        return warpDocument(bgr, q);

    const int band = int(kEdgeBand * ha);
    const cv::Mat grad = edgeStrength(grey);
    // Where the text lines, spread out to the outline's corners, put the top and bottom edges.
    std::vector<double> expectTop, expectBottom;
    if (text) {
        const Sheet guess = fitSheet(lines, std::nullopt, std::nullopt, wa, margin, ha);
        for (int x = 0; x < wa; ++x) {
            expectTop.push_back(guess.top(x));
            expectBottom.push_back(guess.top(x) + guess.height(x));
        }
    }
    const std::optional<cv::Mat> top = findEdge(grad, valid, 1, margin + band, expectTop);
    const std::optional<cv::Mat> bottom =
        findEdge(grad, valid, size.height - 2, margin + ha - band, expectBottom);
    if (!text && !(top && bottom))
        return warpDocument(bgr, q);
    Sheet sheet = fitSheet(lines, top, bottom, wa, margin, ha);
    std::vector<Line> kept = lines;
    if (text) {
        kept = consistentLines(sheet, lines);
        if (kept.size() < lines.size() && kept.size() >= 3)
            sheet = fitSheet(kept, top, bottom, wa, margin, ha);
        else
            kept = lines;
        before = 0;
        for (const Line &line : kept)
            before = std::max(before, bow(line));
    }

    if (!plausible(sheet, margin, ha) || (text && residualBow(sheet, kept) >= before))
        return warpDocument(bgr, q);
    const cv::Matx33d toFrame = toPage.inv();
    return unroll(bgr, sheet, toFrame, h);
}

} // namespace camproc
