#include "detect.h"

#include "curvedpage.h"

#include <algorithm>
#include <cmath>
#include <opencv2/imgproc.hpp>

namespace camproc {
namespace {

constexpr int kSearchSide = 640;     // long side of the copy searched for candidates
constexpr int kRefineSide = 1600;    // long side on which the chosen outlines are refined
constexpr float kEdgeContrast = 7.f; // Lab step (8-bit units) counted as a document edge
constexpr double kMinAreaShare = 0.006;
constexpr double kShadowStep = 20.0; // Lab step counted at most for a side ending in a cast shadow

struct Candidate {
    Quad q;
    float minSupport = 0;
    float meanSupport = 0;
    double contrast = 0; // mean over the sides inside the frame
    double area = 0;
    double score = 0;
    bool spansFrame = false; // two opposite sides on the frame border
    bool blankBand = false;  // spans the frame and carries no print (looked at for one document only)
    int borderSides = 0;
    bool paleFrame = false; // a photo's white border round a sharp inner outline
};

cv::Mat labFloat(const cv::Mat &bgr, double sigma)
{
    cv::Mat blurred, lab, out;
    cv::GaussianBlur(bgr, blurred, cv::Size(), sigma);
    cv::cvtColor(blurred, lab, cv::COLOR_BGR2Lab);
    lab.convertTo(out, CV_32F);
    return out;
}

cv::Vec3f sample(const cv::Mat &m, float x, float y)
{
    x = std::clamp(x, 0.f, m.cols - 1.001f);
    y = std::clamp(y, 0.f, m.rows - 1.001f);
    const int x0 = int(x), y0 = int(y);
    const float fx = x - x0, fy = y - y0;
    const cv::Vec3f *r0 = m.ptr<cv::Vec3f>(y0);
    const cv::Vec3f *r1 = m.ptr<cv::Vec3f>(std::min(y0 + 1, m.rows - 1));
    const int x1 = std::min(x0 + 1, m.cols - 1);
    return (r0[x0] * (1 - fx) + r0[x1] * fx) * (1 - fy) + (r1[x0] * (1 - fx) + r1[x1] * fx) * fy;
}

float stepAt(const cv::Mat &lab, cv::Point2f p, cv::Point2f n, float o)
{
    const cv::Point2f in = p + n * (o - 2.f), out = p + n * (o + 2.f);
    return float(cv::norm(sample(lab, in.x, in.y) - sample(lab, out.x, out.y)));
}

// A side lying along the frame border belongs to a page running out of the picture:
// there is no edge to find, and the border itself is the best outline.
bool onBorder(cv::Point2f a, cv::Point2f b, cv::Size s)
{
    const float m = 3.f;
    return (a.x < m && b.x < m) || (a.y < m && b.y < m) || (a.x > s.width - 1 - m && b.x > s.width - 1 - m) ||
           (a.y > s.height - 1 - m && b.y > s.height - 1 - m);
}

bool isConvexQuad(const Quad &q)
{
    std::vector<cv::Point2f> v(q.begin(), q.end());
    return cv::isContourConvex(v) && cv::contourArea(v) > 1.0;
}

double quadArea(const Quad &q)
{
    return cv::contourArea(std::vector<cv::Point2f>(q.begin(), q.end()));
}

struct Line {
    cv::Point2f p, d;
};

bool intersect(const Line &a, const Line &b, cv::Point2f &out)
{
    const float cross = a.d.x * b.d.y - a.d.y * b.d.x;
    if (std::abs(cross) < 1e-3f)
        return false;
    const cv::Point2f w = b.p - a.p;
    const float t = (w.x * b.d.y - w.y * b.d.x) / cross;
    out = a.p + a.d * t;
    return true;
}

Line sideLine(const Quad &q, int side)
{
    const cv::Point2f a = q[side], d = q[(side + 1) % 4] - a;
    return {a, d * (1.f / std::max(float(cv::norm(d)), 1e-3f))};
}

// Side `side` of q moved by `by` (both of its corners).
void shiftSide(Quad &q, int side, cv::Point2f by)
{
    q[side] += by;
    q[(side + 1) % 4] += by;
}

cv::Point2f outwardNormal(const Quad &q, int side)
{
    const cv::Point2f a = q[side], b = q[(side + 1) % 4];
    const cv::Point2f centre = (q[0] + q[1] + q[2] + q[3]) * 0.25f;
    const cv::Point2f d = (b - a) * (1.f / std::max(float(cv::norm(b - a)), 1e-3f));
    const cv::Point2f n(-d.y, d.x);
    return n.dot((a + b) * 0.5f - centre) < 0 ? -n : n;
}

// A candidate edge point on one sample across a side; sharp steps weigh more than the soft rim
// of a cast shadow.
struct Hit {
    cv::Point2f p;
    float weight;
};

// One hit per sample: the one nearest the straight line with the most weight of hits along it. A
// faint paper edge on a pale desk lies next to text rows that are straight and stronger, but
// shorter. With `tol` 0, simply the strongest hit of each sample.
std::vector<Hit> alignedHits(const std::vector<std::vector<Hit>> &hits, float tol)
{
    auto distance = [](cv::Point2f p, const Line &l) { return std::abs((p - l.p).dot(l.d)); }; // l.d: normal
    Line best{{0, 0}, {0, 0}};
    float most = 0;
    // Lines through hits half the side apart, or a quarter for a side partly hidden by a hand.
    for (const size_t gap : {hits.size() / 2, hits.size() / 4})
        for (size_t i = 0; tol > 0 && gap > 0 && i + gap < hits.size(); ++i)
            for (const Hit &ha : hits[i])
                for (const Hit &hb : hits[i + gap]) {
                    const cv::Point2f d = hb.p - ha.p;
                    const float len = float(cv::norm(d));
                    if (len < 1.f)
                        continue;
                    const Line l{ha.p, {-d.y / len, d.x / len}};
                    float weight = 0;
                    for (const auto &h : hits) {
                        float w = 0;
                        for (const Hit &x : h)
                            if (distance(x.p, l) <= tol)
                                w = std::max(w, x.weight);
                        weight += w;
                    }
                    if (weight > most) {
                        most = weight;
                        best = l;
                    }
                }
    std::vector<Hit> out;
    for (const auto &h : hits)
        if (!h.empty())
            out.push_back(most > 0 ? *std::min_element(h.begin(), h.end(),
                                                       [&](const Hit &x, const Hit &y) {
                                                           return distance(x.p, best) < distance(y.p, best);
                                                       })
                                   : h.front());
    return out;
}

// Each side of `q` snapped onto the strongest nearby Lab step and refitted as a line, sampled
// between `from` and `to` along the side. Returns the lines and, in `support`, how much edge
// each side found; `fit` false only measures that. With `endsCount` false a step still rising at
// either end of the search window is taken to lie outside it.
std::array<Line, 4> fitSides(const cv::Mat &lab, const Quad &q, float radius, int samples,
                             std::array<float, 4> &support, bool fit, bool straightest, float from = 0.06f,
                             float to = 0.94f, bool endsCount = true)
{
    std::array<Line, 4> lines;
    for (int s = 0; s < 4; ++s) {
        const cv::Point2f a = q[s], b = q[(s + 1) % 4];
        const cv::Point2f d = b - a;
        lines[s] = sideLine(q, s);
        if (onBorder(a, b, lab.size())) {
            support[s] = 1.f;
            continue;
        }
        const cv::Point2f n = outwardNormal(q, s);
        std::vector<std::vector<Hit>> hits(samples);
        const cv::Rect2f inside(2.f, 2.f, lab.cols - 4.f, lab.rows - 4.f);
        int seen = samples;
        std::vector<float> profile;
        for (int k = 0; k < samples; ++k) {
            const cv::Point2f p = a + d * (from + (to - from) * k / (samples - 1));
            // Where the side runs out of the picture there is nothing to find.
            if (!inside.contains(p)) {
                --seen;
                continue;
            }
            profile.clear();
            for (float o = -radius; o <= radius; o += 1.f)
                profile.push_back(stepAt(lab, p, n, o));
            // Local maxima, strongest first, that look like part of a straight side.
            std::vector<int> peaks;
            for (int i = 0; i < int(profile.size()); ++i)
                if (profile[i] >= kEdgeContrast && (i == 0 ? endsCount : profile[i] >= profile[i - 1]) &&
                    (i + 1 == int(profile.size()) ? endsCount : profile[i] > profile[i + 1]))
                    peaks.push_back(i);
            std::sort(peaks.begin(), peaks.end(), [&](int x, int y) { return profile[x] > profile[y]; });
            for (size_t j = 0; j < std::min<size_t>(peaks.size(), 3); ++j) {
                const float best = profile[peaks[j]], o = peaks[j] - radius;
                // A true side has no comparable step along it (texture, text and corners do).
                const cv::Point2f at = p + n * o, t = lines[s].d * 2.f;
                const cv::Point2f ta = at - t, tb = at + t;
                if (cv::norm(sample(lab, ta.x, ta.y) - sample(lab, tb.x, tb.y)) > 0.5f * best)
                    continue;
                const float prev = stepAt(lab, p, n, o - 1.f), next = stepAt(lab, p, n, o + 1.f);
                const float den = prev - 2 * best + next;
                const float delta = den < -1e-3f ? std::clamp(0.5f * (prev - next) / den, -0.5f, 0.5f) : 0.f;
                // The same step measured over a wider span: a soft ramp (shadow rim) gains, a sharp
                // paper edge does not.
                const cv::Point2f wi = p + n * (o - 6.f), wo = p + n * (o + 6.f);
                const float wide = float(cv::norm(sample(lab, wi.x, wi.y) - sample(lab, wo.x, wo.y)));
                const float sharp = std::clamp(best / std::max(wide, 1e-3f), 0.f, 1.f);
                hits[k].push_back({p + n * (o + delta), std::max(0.1f, sharp)});
            }
        }
        const std::vector<Hit> chosen = alignedHits(hits, straightest ? 2.f : 0.f);
        std::vector<cv::Point2f> pts;
        float weight = 0;
        for (const Hit &h : chosen) {
            pts.push_back(h.p);
            weight += h.weight;
        }
        support[s] = seen < samples / 3 ? 1.f : weight / float(seen);
        if (fit && int(pts.size()) >= std::max(4, samples / 4)) {
            cv::Vec4f l;
            cv::fitLine(pts, l, cv::DIST_HUBER, 0, 0.01, 0.01);
            lines[s] = {{l[2], l[3]}, {l[0], l[1]}};
        }
    }
    return lines;
}

// Corner k where side k-1 (as `ending`) meets side k (as `starting`). A refit that folds the
// outline or flies far away is a wrong snap: then the input comes back.
Quad cornersOf(const Quad &q, const std::array<Line, 4> &ending, const std::array<Line, 4> &starting,
               float radius)
{
    Quad out = q;
    for (int k = 0; k < 4; ++k) {
        cv::Point2f c;
        if (intersect(ending[(k + 3) % 4], starting[k], c))
            out[k] = c;
    }
    const float limit = radius * 3.f + 4.f;
    for (int k = 0; k < 4; ++k)
        if (cv::norm(out[k] - q[k]) > limit)
            return q;
    return isConvexQuad(out) ? out : q;
}

// Moves each side onto the strongest nearby Lab step; corners where the refitted sides meet.
Quad refine(const cv::Mat &lab, const Quad &q, float radius, int samples, std::array<float, 4> &support,
            bool fit = true, bool straightest = true)
{
    const std::array<Line, 4> lines = fitSides(lab, q, radius, samples, support, fit, straightest);
    return cornersOf(q, lines, lines, radius);
}

// Each corner from the ends of its two sides alone: the top and bottom edges of an open book
// bow towards the spine, and a line through the whole edge misses the corners. `support` as
// for fitSides, the weaker of a side's two ends.
Quad refineCorners(const cv::Mat &lab, const Quad &q, float radius, int samples,
                   std::array<float, 4> *support = nullptr)
{
    std::array<float, 4> first{}, last{};
    const std::array<Line, 4> starts = fitSides(lab, q, radius, samples, first, true, false, 0.02f, 0.3f);
    const std::array<Line, 4> ends = fitSides(lab, q, radius, samples, last, true, false, 0.7f, 0.98f);
    if (support)
        for (int s = 0; s < 4; ++s)
            (*support)[s] = std::min(first[s], last[s]);
    return cornersOf(q, ends, starts, radius);
}

void quadsFromContours(const std::vector<std::vector<cv::Point>> &contours, double minArea, double maxArea,
                       std::vector<Quad> &out)
{
    for (const auto &c : contours) {
        std::vector<cv::Point> hull;
        cv::convexHull(c, hull);
        const double area = cv::contourArea(hull);
        if (area < minArea || area > maxArea)
            continue;
        const double perimeter = cv::arcLength(hull, true);
        for (double eps : {0.01, 0.02, 0.035, 0.05}) {
            std::vector<cv::Point> approx;
            cv::approxPolyDP(hull, approx, eps * perimeter, true);
            if (approx.size() == 4) {
                out.push_back(orderCorners({approx.begin(), approx.end()}));
                break;
            }
            if (approx.size() < 4)
                break;
        }
        cv::Point2f r[4];
        cv::minAreaRect(hull).points(r);
        out.push_back(orderCorners({r, r + 4}));
    }
}

void addMaskCandidates(cv::Mat mask, double minArea, double maxArea, std::vector<Quad> &out)
{
    // Closing first keeps a photo's thin white border, the only part of it apart from the desk.
    const cv::Mat k = cv::getStructuringElement(cv::MORPH_ELLIPSE, {5, 5});
    cv::morphologyEx(mask, mask, cv::MORPH_CLOSE, k);
    cv::morphologyEx(mask, mask, cv::MORPH_OPEN, k);
    std::vector<std::vector<cv::Point>> contours;
    cv::findContours(mask, contours, cv::RETR_LIST, cv::CHAIN_APPROX_SIMPLE);
    quadsFromContours(contours, minArea, maxArea, out);
}

// `single`: the held-sheet and out-of-view-corner outlines are looked for only when one document is
// wanted; among several documents they join neighbours into outlines that are none of them.
std::vector<Quad> candidates(const cv::Mat &small, bool single)
{
    const double frameArea = double(small.total());
    const double minArea = kMinAreaShare * frameArea, maxArea = 0.985 * frameArea;
    std::vector<Quad> out;

    cv::Mat smooth, lab;
    cv::medianBlur(small, smooth, 5);
    cv::cvtColor(smooth, lab, cv::COLOR_BGR2Lab);
    std::vector<cv::Mat> ch;
    cv::split(lab, ch);

    // Edges of lightness and of colour; the median filter has already flattened text and grain.
    cv::Mat edges, e;
    cv::Canny(ch[0], edges, 10, 30);
    for (int c = 1; c < 3; ++c) {
        cv::Canny(ch[c], e, 8, 24);
        edges |= e;
    }
    cv::dilate(edges, edges, cv::Mat());
    std::vector<std::vector<cv::Point>> contours;
    cv::findContours(edges, contours, cv::RETR_LIST, cv::CHAIN_APPROX_SIMPLE);
    quadsFromContours(contours, minArea, maxArea, out);

    // Regions by lightness and by distance from the desk colour seen along the frame border.
    cv::Mat mask;
    cv::threshold(ch[0], mask, 0, 255, cv::THRESH_BINARY | cv::THRESH_OTSU);
    addMaskCandidates(mask, minArea, maxArea, out);
    // A photo's thin white border on a busy desk under uneven light is lighter than what lies on
    // either side of it, though not lighter than the desk elsewhere: a local threshold keeps it whole.
    cv::adaptiveThreshold(ch[0], mask, 255, cv::ADAPTIVE_THRESH_MEAN_C, cv::THRESH_BINARY, 31, -8);
    addMaskCandidates(mask, minArea, maxArea, out);

    // Printed paper: light ground near ink, as light as the ground behind the ink. A sheet held up
    // before a bright window or a wall of about its lightness joins them in the masks above.
    cv::Mat grey, ground, ink;
    if (single) {
        cv::cvtColor(small, grey, cv::COLOR_BGR2GRAY);
        cv::morphologyEx(grey, ground, cv::MORPH_CLOSE, cv::getStructuringElement(cv::MORPH_RECT, {7, 7}));
        ink = (ground - grey > 35) & (ground >= 150);
    }
    if (single && cv::countNonZero(ink) >= 0.002 * frameArea) {
        std::vector<uchar> behind;
        for (int y = 0; y < ink.rows; ++y)
            for (int x = 0; x < ink.cols; ++x)
                if (ink.at<uchar>(y, x))
                    behind.push_back(ground.at<uchar>(y, x));
        std::nth_element(behind.begin(), behind.begin() + behind.size() / 2, behind.end());
        const int reach = 2 * (std::min(small.rows, small.cols) / 12) + 1;
        cv::Mat near;
        cv::boxFilter(ink, near, -1, {reach, reach}, {-1, -1}, false);
        cv::Mat level8;
        cv::absdiff(ground, cv::Scalar(behind[behind.size() / 2]), level8);
        // Opened wide: thin bars of the same lightness (a window's frame) stay apart from the sheet.
        cv::Mat paper = (near > 0) & (level8 <= 18);
        cv::morphologyEx(paper, paper, cv::MORPH_OPEN, cv::getStructuringElement(cv::MORPH_RECT, {11, 11}));
        addMaskCandidates(paper, minArea, maxArea, out);
    }

    cv::Mat border(1, 0, CV_8UC3);
    cv::hconcat(
        std::vector<cv::Mat>{lab.row(0), lab.row(lab.rows - 1), lab.col(0).t(), lab.col(lab.cols - 1).t()},
        border);
    std::vector<cv::Mat> bch;
    cv::split(border, bch);
    cv::Mat dist = cv::Mat::zeros(lab.size(), CV_32F);
    for (int c = 0; c < 3; ++c) {
        std::vector<uchar> v(bch[c].begin<uchar>(), bch[c].end<uchar>());
        std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
        cv::Mat diff;
        cv::absdiff(ch[c], cv::Scalar(v[v.size() / 2]), diff);
        diff.convertTo(diff, CV_32F);
        dist += diff.mul(diff);
    }
    cv::sqrt(dist, dist);
    cv::Mat dist8;
    dist.convertTo(dist8, CV_8U);
    cv::threshold(dist8, mask, 0, 255, cv::THRESH_BINARY | cv::THRESH_OTSU);
    addMaskCandidates(mask, minArea, maxArea, out);

    // A page running out of view at a corner of the frame is traced with that corner a little
    // beyond it: its sides along the border then cut across the page. Also tried with such a corner
    // on the frame's own.
    const float w = float(small.cols - 1), h = float(small.rows - 1), near = 0.05f * std::hypot(w, h);
    const cv::Point2f frame[4] = {{0, 0}, {w, 0}, {w, h}, {0, h}};
    for (size_t i = 0, n = single ? out.size() : 0; i < n; ++i) {
        Quad q = out[i];
        bool moved = false;
        for (cv::Point2f &p : q)
            if (p.x < -1 || p.y < -1 || p.x > w + 1 || p.y > h + 1)
                for (const cv::Point2f &c : frame)
                    if (cv::norm(p - c) <= near) {
                        p = c;
                        moved = true;
                    }
        if (moved)
            out.push_back(q);
    }
    return out;
}

bool sameQuad(const Quad &a, const Quad &b, float tol)
{
    for (int k = 0; k < 4; ++k)
        if (cv::norm(a[k] - b[k]) > tol)
            return false;
    return true;
}

double overlapShare(const Quad &a, const Quad &b)
{
    return overlapArea(a, b) / std::max(1.0, std::min(quadArea(a), quadArea(b)));
}

// Colour just inside each side against just outside (weakest and strongest side): a
// document differs from its surroundings all round, a rectangle traced on a patterned
// desk or a page together with the hand holding it does not.
struct Contrasts {
    double weakest = 1e9, strongest = 0, mean = 0;
    // The weakest side with each of its halves measured on its own where their steps run opposite
    // ways: a sheet held up before a room may face a bright window along half of a side and a
    // darker wall along the other, and the steps cancel on average.
    double weakestHalf = 1e9;
};

Contrasts sideContrasts(const cv::Mat &lab, const Quad &q)
{
    const float w = 0.03f * float(std::min(cv::norm(q[1] - q[0]), cv::norm(q[3] - q[0]))) + 2.f;
    Contrasts r;
    int sides = 0;
    for (int s = 0; s < 4; ++s) {
        const cv::Point2f a = q[s], b = q[(s + 1) % 4];
        if (onBorder(a, b, lab.size()))
            continue;
        const cv::Point2f n = outwardNormal(q, s);
        cv::Vec3f in(0, 0, 0), out(0, 0, 0), far(0, 0, 0), firstHalf(0, 0, 0);
        for (int k = 0; k < 20; ++k) {
            const cv::Point2f p = a + (b - a) * (0.1f + 0.8f * k / 19);
            for (float o : {w * 0.5f, w}) {
                const cv::Point2f pi = p - n * o, po = p + n * o, pf = p + n * (o + 2.f * w);
                in += sample(lab, pi.x, pi.y);
                out += sample(lab, po.x, po.y);
                far += sample(lab, pf.x, pf.y);
            }
            if (k == 9)
                firstHalf = in - out;
        }
        const cv::Vec3f step = (in - out) / 40.f, first = firstHalf / 20.f, second = step * 2.f - first;
        const double c = cv::norm(step);
        r.weakestHalf =
            std::min(r.weakestHalf,
                     first[0] * second[0] < 0 ? std::max(c, std::min(cv::norm(first), cv::norm(second))) : c);
        r.weakest = std::min(r.weakest, c);
        // A paper edge facing away from the light ends in a grey cast shadow that fades into a
        // paler desk: such a side says little about how faint the lit sides may be.
        const float fade = (far[0] - out[0]) / 40.f;
        const bool shadow =
            step[0] > 0 && fade > 0.2f * step[0] && std::hypot(step[1], step[2]) < 0.3 * step[0];
        r.strongest = std::max(r.strongest, shadow ? std::min(c, kShadowStep) : c);
        r.mean += c;
        ++sides;
    }
    r.mean /= std::max(sides, 1);
    return r;
}

int borderSides(const Quad &q, cv::Size s)
{
    int n = 0;
    for (int k = 0; k < 4; ++k)
        n += onBorder(q[k], q[(k + 1) % 4], s);
    return n;
}

// Seen from above, a sheet keeps roughly right angles and is not a sliver: long receipts run to
// about 1:8. Wood grain and desk edges trace thin, skewed shapes.
bool plausibleShape(const Quad &q)
{
    double shortest = 1e9, longest = 0;
    for (int k = 0; k < 4; ++k) {
        const cv::Point2f a = q[(k + 3) % 4] - q[k], b = q[(k + 1) % 4] - q[k];
        const double la = cv::norm(a), lb = cv::norm(b);
        shortest = std::min(shortest, lb);
        longest = std::max(longest, lb);
        if (la < 1e-3 || lb < 1e-3 || std::abs(a.dot(b)) / (la * lb) > std::cos(50 * CV_PI / 180))
            return false;
    }
    return shortest >= longest / 12;
}

bool spansFrame(const Quad &q, cv::Size s)
{
    for (int k = 0; k < 2; ++k)
        if (onBorder(q[k], q[k + 1], s) && onBorder(q[k + 2], q[(k + 3) % 4], s))
            return true;
    return false;
}

// Side `s` of a slightly larger outline lies on the outer edge of a pale, even frame (a photo's
// white border) round the same side of `inner`: the two run parallel, and the band between them
// is light, nearly colourless, even, and lighter than what lies just outside (a light stripe of
// wood grain or a row of squares on a checked desk is not).
bool paleBand(const cv::Mat &lab, const Quad &inner, const Quad &outer, int s)
{
    const cv::Point2f a = (inner[s] + outer[s]) * 0.5f, b = (inner[(s + 1) % 4] + outer[(s + 1) % 4]) * 0.5f;
    const Line edge = sideLine(outer, s);
    const auto apart = [&](cv::Point2f p) { return std::abs((p - edge.p).cross(edge.d)); };
    const float gapA = apart(inner[s]), gapB = apart(inner[(s + 1) % 4]), gap = (gapA + gapB) * 0.5f;
    if (gap < 3.f || std::abs(gapA - gapB) > std::max(1.5f, 0.25f * gap))
        return false;
    const cv::Point2f n = outwardNormal(outer, s);
    // Sampled densely: a row of squares on a checked desk is even only at some sampling steps.
    constexpr int kSamples = 40;
    std::vector<float> band, beyond, chroma;
    for (int k = 0; k < kSamples; ++k) {
        const cv::Point2f p = a + (b - a) * (0.1f + 0.8f * k / (kSamples - 1)), o = p + n * (gap + 3.f);
        const cv::Vec3f in = sample(lab, p.x, p.y);
        band.push_back(in[0]);
        chroma.push_back(std::hypot(in[1] - 128.f, in[2] - 128.f));
        beyond.push_back(sample(lab, o.x, o.y)[0]);
    }
    std::sort(band.begin(), band.end());
    std::sort(beyond.begin(), beyond.end());
    std::sort(chroma.begin(), chroma.end());
    const float median = band[kSamples / 2];
    return median >= 150.f && chroma[kSamples / 2] <= 20.f && median >= beyond[kSamples / 2] + 5.f &&
           band[kSamples / 10] >= median - 20.f;
}

// A side of `inner` runs along a side of `outer`: a document held by one side makes one outline with
// the hand (and whatever it holds behind) out to the frame border, sharing the document's far side.
bool sharesSide(const Quad &outer, const Quad &inner, float tol)
{
    for (int m = 0; m < 4; ++m) {
        const cv::Point2f a = outer[m], d = outer[(m + 1) % 4] - a;
        const float length = std::max(float(cv::norm(d)), 1e-3f);
        const auto along = [&](cv::Point2f p) {
            const float t = (p - a).dot(d) / (length * length);
            return std::abs(d.cross(p - a)) / length <= tol && t >= -0.05f && t <= 1.05f;
        };
        for (int k = 0; k < 4; ++k)
            if (along(inner[k]) && along(inner[(k + 1) % 4]))
                return true;
    }
    return false;
}

// Printed paper fills q: points on a grid inside it lie mostly on light, nearly colourless ground
// (the lightest close by; a photograph's sky is no paper), and ink (much darker than that ground)
// shows in nearly every part of it. A stretch of desk carries no print, however light, and wood
// grain is no light ground.
bool printedPaper(const cv::Mat &lab, const Quad &q)
{
    constexpr int kCells = 4, kPerCell = 10, kGrid = kCells * kPerCell;
    constexpr float kLight = 150.f, kInk = 35.f, kPaperChroma = 25.f;
    const std::vector<cv::Point2f> poly(q.begin(), q.end());
    const cv::Rect2f box = cv::boundingRect(poly);
    int cells = 0, printed = 0;
    for (int ci = 0; ci < kCells * kCells; ++ci) {
        int points = 0, paper = 0, ink = 0;
        for (int k = 0; k < kPerCell * kPerCell; ++k) {
            const int i = ci % kCells * kPerCell + k % kPerCell, j = ci / kCells * kPerCell + k / kPerCell;
            const cv::Point2f p(box.x + box.width * (i + 0.5f) / kGrid,
                                box.y + box.height * (j + 0.5f) / kGrid);
            if (cv::pointPolygonTest(poly, p, false) <= 0)
                continue;
            ++points;
            const float level = sample(lab, p.x, p.y)[0];
            cv::Vec3f ground(0, 0, 0);
            for (const float dx : {-3.f, 0.f, 3.f})
                for (const float dy : {-3.f, 0.f, 3.f})
                    if (const cv::Vec3f v = sample(lab, p.x + dx, p.y + dy); v[0] > ground[0])
                        ground = v;
            if (ground[0] < kLight || std::hypot(ground[1] - 128.f, ground[2] - 128.f) > kPaperChroma)
                continue;
            ++paper;
            ink += ground[0] - level >= kInk;
        }
        if (points < kPerCell * kPerCell / 2)
            continue;
        ++cells;
        printed += paper >= points / 2 && ink * 50 >= paper;
    }
    return printed * 4 >= cells * 3;
}

// A hand holding a document by one side joins the outline there: that side (`weak`) finds little
// edge, and the sides beside it run on past the document's corners. The document's own side is
// the straight line between those two sides (its ends up to a third of their length further in,
// or a little further out) along which the picture steps most often: the hand hides only part of it.
Quad heldSide(const cv::Mat &lab, const Quad &q, int weak)
{
    constexpr int kPositions = 24, kSamples = 20;
    const int before = (weak + 3) % 4, after = (weak + 1) % 4;
    Quad best = q;
    int most = -1;
    for (int i = 0; i < kPositions; ++i)
        for (int j = 0; j < kPositions; ++j) {
            Quad t = q;
            t[weak] = q[weak] + (q[before] - q[weak]) * (0.45f * i / kPositions - 0.1f);
            t[after] = q[after] + (q[(after + 1) % 4] - q[after]) * (0.45f * j / kPositions - 0.1f);
            const cv::Point2f n = outwardNormal(t, weak);
            int steps = 0;
            for (int k = 0; k < kSamples; ++k)
                steps += stepAt(lab, t[weak] + (t[after] - t[weak]) * ((k + 0.5f) / kSamples), n, 0.f) >=
                         kEdgeContrast;
            if (steps > most) {
                most = steps;
                best = t;
            }
        }
    return best;
}

std::vector<Candidate> scoredCandidates(const cv::Mat &small, size_t keep, bool single)
{
    const cv::Mat lab = labFloat(small, 1.2);
    const float diag = float(std::hypot(small.cols, small.rows));

    // Cheap first look on the raw outlines; only the most promising ones are refined.
    std::vector<std::pair<double, Quad>> raw;
    for (const Quad &q : candidates(small, single)) {
        const bool seen = std::any_of(raw.begin(), raw.end(), [&](const auto &r) {
            return sameQuad(r.second, q, diag * 0.006f + 1.f);
        });
        if (seen)
            continue;
        std::array<float, 4> support{};
        refine(lab, q, 3.f, 12, support, false);
        const float mean = (support[0] + support[1] + support[2] + support[3]) / 4.f;
        if (mean >= 0.3f)
            raw.push_back({quadArea(q) * mean * mean, q});
    }
    std::sort(raw.begin(), raw.end(), [](const auto &a, const auto &b) { return a.first > b.first; });
    raw.resize(std::min(raw.size(), keep));

    std::vector<Candidate> result;
    // Adds q when it passes; a pale frame round a sharp outline asks for less edge.
    auto consider = [&](const Quad &q, const std::array<float, 4> &support, bool frame) {
        const int border = borderSides(q, small.size());
        if (!isConvexQuad(q) || !plausibleShape(q) || border > 3)
            return false;
        // A page filling the frame may show a single edge: that edge must be clear along all of
        // it and the rest printed paper.
        if (border == 3 &&
            (*std::min_element(support.begin(), support.end()) < 0.8f || !printedPaper(lab, q)))
            return false;
        const auto seen = std::find_if(result.begin(), result.end(), [&](const Candidate &c) {
            return sameQuad(c.q, q, diag * 0.004f + 1.f);
        });
        if (seen != result.end()) {
            // Found before on its own, now also known as the frame round a picture.
            seen->paleFrame |= frame;
            return false;
        }
        Candidate c;
        c.q = q;
        c.minSupport = *std::min_element(support.begin(), support.end());
        c.meanSupport = (support[0] + support[1] + support[2] + support[3]) / 4.f;
        c.area = quadArea(q);
        // An outline running along the frame border has less edge evidence: ask for a clear contrast.
        // Sharp edges all round may face a desk whose light and dark stripes differ more than the
        // paper does from either; a clear step is still asked for (lines of a checked desk average
        // out to almost none). A card held by one side may have a second one, nearly as light, just
        // behind that side: with the other three sharp, a faint but clear step there will do.
        const Contrasts k = sideContrasts(lab, q);
        std::array<float, 4> sorted = support;
        std::sort(sorted.begin(), sorted.end());
        const bool held = c.minSupport < 0.8f && sorted[0] >= 0.5f && sorted[1] >= 0.8f;
        const double relative =
            c.minSupport >= 0.8f || held
                ? std::min(0.2 * k.strongest, std::max(held ? 10.0 : 15.0, 0.1 * k.strongest))
                : 0.2 * k.strongest;
        const double needed = std::max(border ? 20.0 : 5.0, relative);
        c.contrast = k.mean;
        c.spansFrame = spansFrame(q, small.size());
        c.blankBand = c.spansFrame && single && !printedPaper(lab, q);
        c.borderSides = border;
        c.paleFrame = frame;
        c.score = c.area * c.meanSupport * c.meanSupport;
        // A hand may hide part of a side; a shape running out of view gets its border sides for free,
        // so its other sides must hold along most of their length (a lit stretch of desk does not).
        // One faint side is allowed when the other three are clear: a pale card on a white desk has
        // no step on the side facing the lamp.
        const float minSupport = c.borderSides ? 0.6f : sorted[1] >= 0.7f || frame ? 0.15f : 0.4f;
        if (c.minSupport < minSupport || c.meanSupport < (frame ? 0.5f : 0.65f) ||
            c.area < kMinAreaShare * small.total() ||
            (k.weakest < (frame ? 0.5 * needed : needed) &&
             !(single && k.weakestHalf >= needed && printedPaper(lab, q))))
            return false;
        result.push_back(c);
        return true;
    };
    for (const auto &r : raw) {
        std::array<float, 4> support{};
        const float radius = diag * 0.012f;
        Quad q = refine(lab, r.second, radius, 16, support);
        const auto total = [](const std::array<float, 4> &a) { return a[0] + a[1] + a[2] + a[3]; };
        // A contour that cuts across a photo along a hill or horizon puts one corner in the wrong
        // place: with three sides clear, the fourth corner is where the other three say.
        std::array<float, 4> ranked = support;
        std::sort(ranked.begin(), ranked.end());
        if (ranked[0] < 0.75f && ranked[1] >= 0.85f) {
            const int weak = int(std::min_element(support.begin(), support.end()) - support.begin());
            for (const int c : {weak, (weak + 1) % 4}) {
                Quad alt = q;
                alt[c] = q[(c + 3) % 4] + q[(c + 1) % 4] - q[(c + 2) % 4];
                std::array<float, 4> altSupport{};
                if (!isConvexQuad(alt))
                    continue;
                alt = refine(lab, alt, radius, 16, altSupport);
                if (total(altSupport) > total(support) + 0.2f) {
                    q = alt;
                    support = altSupport;
                }
            }
        }
        // An outline traced around a card and the shadow it casts ends beyond the reach of the
        // search on the shadowed sides: look again further in where a side found little edge.
        for (int s = 0; s < 4; ++s) {
            if (support[s] >= 0.6f || onBorder(q[s], q[(s + 1) % 4], small.size()))
                continue;
            Quad inner = q;
            shiftSide(inner, s, outwardNormal(q, s) * (-2.f * radius));
            std::array<float, 4> innerSupport{};
            const Quad refit = isConvexQuad(inner) ? refine(lab, inner, radius, 16, innerSupport) : q;
            if (innerSupport[s] >= 0.6f && innerSupport[s] > support[s] + 0.2f) {
                q = refit;
                support = innerSupport;
            }
        }
        // A hand over one side while the other three are clear: the outline without the hand is
        // weighed too, when its side there finds clearly more edge.
        ranked = support;
        std::sort(ranked.begin(), ranked.end());
        if (ranked[0] < 0.4f && ranked[1] >= 0.7f && !borderSides(q, small.size())) {
            const int weak = int(std::min_element(support.begin(), support.end()) - support.begin());
            std::array<float, 4> heldSupport{};
            Quad held = refine(lab, heldSide(lab, q, weak), 3.f, 16, heldSupport);
            if (heldSupport[size_t(weak)] >= support[size_t(weak)] + 0.2f) {
                held = refine(lab, held, 3.f, 24, heldSupport, true, false);
                consider(held, heldSupport, false);
            }
        }
        q = refine(lab, q, 3.f, 24, support, true, false);
        if (!consider(q, support, false))
            continue;
        // A photo's white border on a pale desk is a faint step just outside the sharp edge of the
        // picture: where a pale, even frame runs along a side, the frame's outer edge is that side.
        // Sides already on the outer edge (a strong step into a shadow) stay where they are.
        const float shortest = float(std::min(cv::norm(q[1] - q[0]), cv::norm(q[3] - q[0])));
        const float reach = std::min(radius, 0.06f * shortest);
        Quad shifted = q;
        for (int s = 0; s < 4; ++s)
            if (!onBorder(q[s], q[(s + 1) % 4], small.size()))
                shiftSide(shifted, s, outwardNormal(q, s) * (reach + 2.f));
        if (!isConvexQuad(shifted))
            continue;
        std::array<float, 4> outerSupport{};
        const std::array<Line, 4> outerLines =
            fitSides(lab, shifted, reach, 16, outerSupport, true, true, 0.06f, 0.94f, false);
        const Quad outerAll = cornersOf(shifted, outerLines, outerLines, reach);
        std::array<Line, 4> lines;
        std::array<float, 4> frameSupport = support;
        bool moved = false;
        for (int s = 0; s < 4; ++s) {
            lines[s] = sideLine(q, s);
            if (outerSupport[s] >= 0.3f && !onBorder(q[s], q[(s + 1) % 4], small.size()) &&
                paleBand(lab, q, outerAll, s)) {
                lines[s] = outerLines[s];
                frameSupport[s] = outerSupport[s];
                moved = true;
            }
        }
        const Quad outer = cornersOf(q, lines, lines, reach + 2.f);
        // No final snap to the strongest step: within a few pixels that is the picture's edge.
        if (moved && quadArea(outer) <= 1.4 * quadArea(q) && !sameQuad(outer, q, 1.f))
            consider(outer, frameSupport, true);
    }
    return result;
}

// `bgr` reduced to the scale the chosen outlines are refined on: by a whole factor, which OpenCV
// averages far faster than any other (reducing a full camera frame otherwise costs more than the
// whole search).
cv::Mat refineCopy(const cv::Mat &bgr, double &scale)
{
    scale = 1.0 / std::max(1L, std::lround(double(std::max(bgr.cols, bgr.rows)) / kRefineSide));
    cv::Mat mid = bgr;
    if (scale < 1.0)
        cv::resize(bgr, mid, cv::Size(), scale, scale, cv::INTER_AREA);
    return mid;
}

// Lab copy of `bgr` at the scale the chosen outlines are refined on.
cv::Mat refineLab(const cv::Mat &bgr, double &scale)
{
    return labFloat(refineCopy(bgr, scale), 1.5);
}

} // namespace

double overlapArea(const Quad &a, const Quad &b)
{
    // a clipped by each side of b in turn (both convex). cv::intersectConvexConvex reports no
    // overlap at all for some pairs of nearly equal outlines.
    const float sign = cv::contourArea(std::vector<cv::Point2f>(b.begin(), b.end()), true) < 0 ? -1.f : 1.f;
    std::vector<cv::Point2f> poly(a.begin(), a.end()), next;
    for (int k = 0; k < 4 && !poly.empty(); ++k) {
        const cv::Point2f p = b[k], d = b[(k + 1) % 4] - b[k];
        next.clear();
        for (size_t i = 0; i < poly.size(); ++i) {
            const cv::Point2f u = poly[i], v = poly[(i + 1) % poly.size()];
            const float du = sign * d.cross(u - p), dv = sign * d.cross(v - p);
            if (du >= 0)
                next.push_back(u);
            if ((du >= 0) != (dv >= 0))
                next.push_back(u + (v - u) * (du / (du - dv)));
        }
        poly.swap(next);
    }
    return poly.size() < 3 ? 0.0 : cv::contourArea(poly);
}

Quad fitBowedCorners(const cv::Mat &bgr, const Quad &q, const RefineLab &made)
{
    if (bgr.empty() || bgr.type() != CV_8UC3)
        return q;
    double scale = made.scale;
    const cv::Mat lab = made.lab.empty() ? refineLab(bgr, scale) : made.lab;
    Quad s = q;
    for (auto &p : s)
        p *= float(scale);
    // Reaches as far as the bow of a book's edge (a few per cent of its height) from the chord.
    const float radius = 0.02f * float(std::hypot(lab.cols, lab.rows)) + 2.f;
    s = refineCorners(lab, s, radius, 24);
    for (auto &p : s)
        p *= float(1.0 / scale);
    return s;
}

Quad orderCorners(const std::vector<cv::Point2f> &pts)
{
    cv::Point2f c(0, 0);
    for (const auto &p : pts)
        c += p;
    c *= 1.f / float(pts.size());
    std::vector<std::pair<float, cv::Point2f>> byAngle;
    for (const auto &p : pts)
        byAngle.push_back({std::atan2(p.y - c.y, p.x - c.x), p});
    std::sort(byAngle.begin(), byAngle.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    std::vector<cv::Point2f> v;
    for (const auto &a : byAngle)
        v.push_back(a.second);
    // With y pointing down, rising angles run clockwise on screen; start at the top-left corner.
    int start = 0;
    float best = 1e30f;
    for (int k = 0; k < 4; ++k) {
        if (v[k].x + v[k].y < best) {
            best = v[k].x + v[k].y;
            start = k;
        }
    }
    return {v[start], v[(start + 1) % 4], v[(start + 2) % 4], v[(start + 3) % 4]};
}

void sortReadingOrder(std::vector<Quad> &quads)
{
    auto box = [](const Quad &q) { return cv::boundingRect(std::vector<cv::Point2f>(q.begin(), q.end())); };
    std::sort(quads.begin(), quads.end(), [&](const Quad &a, const Quad &b) { return box(a).y < box(b).y; });
    // Documents whose vertical extents overlap by half form one row, read left to right.
    size_t rowStart = 0;
    for (size_t i = 1; i <= quads.size(); ++i) {
        bool newRow = i == quads.size();
        if (!newRow) {
            const cv::Rect a = box(quads[rowStart]), b = box(quads[i]);
            const int overlap = std::min(a.y + a.height, b.y + b.height) - std::max(a.y, b.y);
            newRow = overlap < std::min(a.height, b.height) / 2;
        }
        if (newRow) {
            std::sort(quads.begin() + rowStart, quads.begin() + i,
                      [&](const Quad &a, const Quad &b) { return box(a).x < box(b).x; });
            rowStart = i;
        }
    }
}

std::vector<Quad> findDocuments(const cv::Mat &bgr, bool multiple, size_t depth, RefineLab *keep)
{
    if (bgr.empty() || bgr.type() != CV_8UC3 || bgr.cols < 32 || bgr.rows < 32)
        return {};
    const int longSide = std::max(bgr.cols, bgr.rows);
    double refineScale = 1;
    const cv::Mat mid = refineCopy(bgr, refineScale);
    cv::Mat small = mid;
    const double searchScale = std::min(1.0, double(kSearchSide) / longSide);
    if (searchScale < 1.0)
        cv::resize(mid, small, cv::Size(), searchScale / refineScale, searchScale / refineScale,
                   cv::INTER_AREA);

    // Several documents need a deeper look down the list of candidates.
    std::vector<Candidate> cands = scoredCandidates(small, depth ? depth : multiple ? 36 : 10, !multiple);
    // The rules below weigh an outline against the smaller ones lying within it.
    std::vector<std::pair<Candidate *, const Candidate *>> nested;
    for (Candidate &outer : cands)
        for (const Candidate &inner : cands)
            if (inner.area < outer.area && overlapShare(outer.q, inner.q) > 0.97)
                nested.emplace_back(&outer, &inner);
    auto demote = [&](auto rule) {
        for (const auto &[outer, inner] : nested)
            if (rule(*outer, *inner))
                outer->score = std::min(outer->score, 0.99 * inner->score);
    };
    // A page together with the shadow it casts on a pale desk traces a slightly larger outline
    // than the page alone; the page's own edge is the sharper step, so the inner outline wins.
    demote([](const Candidate &outer, const Candidate &inner) {
        return !outer.paleFrame && inner.area > 0.7 * outer.area && inner.contrast > 1.3 * outer.contrast;
    });
    // The two pages of a book on a checked desk lie in a rectangle of squares, whose sides hold
    // little sharp edge: two sharper outlines side by side covering most of it are the pages.
    for (Candidate &outer : cands) {
        if (outer.minSupport >= 0.6f)
            continue;
        std::vector<const Candidate *> pages;
        for (const auto &[o, inner] : nested)
            if (o == &outer && inner->contrast > 1.3 * outer.contrast && inner->area > 0.3 * outer.area)
                pages.push_back(inner);
        for (size_t i = 0; i < pages.size(); ++i)
            for (size_t j = i + 1; j < pages.size(); ++j)
                if (overlapShare(pages[i]->q, pages[j]->q) < 0.2 &&
                    pages[i]->area + pages[j]->area > 0.7 * outer.area)
                    outer.score = std::min(outer.score, 0.99 * std::min(pages[i]->score, pages[j]->score));
    }
    // A pale frame scores low on its faint steps, but it belongs to the picture inside it.
    for (const auto &[frame, inner] : nested)
        if (frame->paleFrame)
            frame->score = std::max(frame->score, 1.01 * inner->score);
    // An arm reaching in from the edge of the picture makes the page and the arm one shape running
    // out of view, and a strip of desk beside a page that fills the frame joins it; the page's own
    // outline, nearly as large and closed on more sides, is the document.
    demote([](const Candidate &outer, const Candidate &inner) {
        return outer.borderSides > inner.borderSides && inner.area > 0.8 * outer.area;
    });
    // A document held by one side: the hand, and a second document behind it, join it out to the
    // frame border; the document's own outline, closed all round, shares its far side with that one.
    demote([](const Candidate &outer, const Candidate &inner) {
        return outer.borderSides > 0 && inner.borderSides == 0 && inner.area > 0.3 * outer.area &&
               sharesSide(outer.q, inner.q, 0.04f * float(std::sqrt(inner.area)));
    });
    // A band from one frame border to the other around a clearly outlined document is a stretch of
    // desk (wood grain, a table edge, a runner) with the document on it, not a document running out
    // of view: its edges are fainter than the document's, or, however sharp, it carries no print.
    demote([](const Candidate &outer, const Candidate &inner) {
        return outer.spansFrame && inner.area > 0.1 * outer.area &&
               (inner.contrast > 1.2 * outer.contrast || outer.blankBand);
    });
    std::sort(cands.begin(), cands.end(),
              [](const Candidate &a, const Candidate &b) { return a.score > b.score; });
    std::vector<Quad> found;
    std::vector<bool> frames; // found as a pale frame round a picture
    for (const Candidate &c : cands) {
        if (!found.empty() && !multiple)
            break;
        // Text blocks, photos on a card and other shapes inside a document are not documents.
        const bool overlaps = std::any_of(found.begin(), found.end(),
                                          [&](const Quad &f) { return overlapShare(f, c.q) > 0.2; });
        if (overlaps || (!found.empty() && c.area < 0.05 * quadArea(found.front())))
            continue;
        found.push_back(orderCorners({c.q.begin(), c.q.end()}));
        frames.push_back(c.paleFrame);
    }

    // A book page on its own: an outline found within it is part of its print, one running out of
    // view is the facing page, and the straight refit below would pull the bent top and bottom
    // edges off their ends at the gutter.
    if (!multiple)
        if (const std::optional<Quad> page = findCurvedPage(small))
            if (found.empty() || overlapShare(found.front(), *page) > 0.8 ||
                borderSides(found.front(), small.size())) {
                found = {*page};
                for (auto &p : found.front())
                    p *= float(1.0 / searchScale);
                return found;
            }
    // Refine on a finer copy so that corners land within a pixel or two of the full frame.
    if (searchScale < 1.0) {
        const cv::Mat lab = labFloat(mid, 1.5);
        if (keep)
            *keep = {lab, refineScale};
        const float ratio = float(refineScale / searchScale);
        for (size_t i = 0; i < found.size(); ++i) {
            Quad &q = found[i];
            for (auto &p : q)
                p *= ratio;
            std::array<float, 4> support{};
            // Close to the edge already: the strongest step wins, so a curved book edge keeps its bend.
            // A pale frame's faint edge only holds against the picture's strong one close by.
            const float reach = frames[i] ? std::ceil(ratio * 0.5f) + 1.f : std::ceil(ratio * 1.5f) + 2.f;
            q = refine(lab, q, reach, 48, support, true, false);
            for (auto &p : q)
                p *= float(1.0 / refineScale);
        }
    }
    if (multiple)
        sortReadingOrder(found);
    return found;
}

// Following known outlines from one preview frame to the next: each side is searched for
// again only near where it was, and an outline is kept only while all of its sides still
// find a straight edge with a clear colour step across it.
std::vector<std::optional<Quad>> followDocuments(const cv::Mat &bgr, const std::vector<Quad> &previous,
                                                 float radius, bool bowed)
{
    std::vector<std::optional<Quad>> out(previous.size());
    if (bgr.empty() || bgr.type() != CV_8UC3 || previous.empty())
        return out;
    const cv::Mat lab = labFloat(bgr, 1.2);
    for (size_t i = 0; i < previous.size(); ++i) {
        std::array<float, 4> support{};
        Quad q;
        if (bowed) {
            // The straightest line along a bowed edge may be a row of text next to it.
            q = refineCorners(lab, previous[i], radius, 24);
            q = refineCorners(lab, q, 3.f, 24, &support);
        } else {
            q = refine(lab, previous[i], radius, 16, support);
            q = refine(lab, q, 3.f, 24, support, true, false);
        }
        const float weakest = *std::min_element(support.begin(), support.end());
        const float mean = (support[0] + support[1] + support[2] + support[3]) / 4.f;
        if (!isConvexQuad(q) || weakest < 0.4f || mean < 0.65f || borderSides(q, bgr.size()) > 3 ||
            quadArea(q) < kMinAreaShare * bgr.total())
            continue;
        const Contrasts k = sideContrasts(lab, q);
        if (k.weakest >= std::max(borderSides(q, bgr.size()) ? 20.0 : 5.0, 0.1 * k.strongest))
            out[i] = q;
    }
    return out;
}

} // namespace camproc
