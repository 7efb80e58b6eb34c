#include "detect.h"

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

cv::Point2f outwardNormal(const Quad &q, int side)
{
    const cv::Point2f a = q[side], b = q[(side + 1) % 4];
    const cv::Point2f centre = (q[0] + q[1] + q[2] + q[3]) * 0.25f;
    const cv::Point2f d = (b - a) * (1.f / std::max(float(cv::norm(b - a)), 1e-3f));
    const cv::Point2f n(-d.y, d.x);
    return n.dot((a + b) * 0.5f - centre) < 0 ? -n : n;
}

// One hit per sample: the one nearest the straight line that runs through the most samples. A
// faint paper edge on a pale desk lies next to text rows that are straight and stronger, but
// shorter. With `tol` 0, simply the strongest hit of each sample.
std::vector<cv::Point2f> alignedHits(const std::vector<std::vector<cv::Point2f>> &hits, float tol)
{
    auto distance = [](cv::Point2f p, const Line &l) { return std::abs((p - l.p).dot(l.d)); }; // l.d: normal
    Line best{{0, 0}, {0, 0}};
    size_t most = 0;
    // Lines through hits half the side apart, or a quarter for a side partly hidden by a hand.
    for (const size_t gap : {hits.size() / 2, hits.size() / 4})
        for (size_t i = 0; tol > 0 && gap > 0 && i + gap < hits.size(); ++i)
            for (const cv::Point2f &pa : hits[i])
                for (const cv::Point2f &pb : hits[i + gap]) {
                    const cv::Point2f d = pb - pa;
                    const float len = float(cv::norm(d));
                    if (len < 1.f)
                        continue;
                    const Line l{pa, {-d.y / len, d.x / len}};
                    const size_t count = std::count_if(hits.begin(), hits.end(), [&](const auto &h) {
                        return std::any_of(h.begin(), h.end(),
                                           [&](cv::Point2f p) { return distance(p, l) <= tol; });
                    });
                    if (count > most) {
                        most = count;
                        best = l;
                    }
                }
    std::vector<cv::Point2f> out;
    for (const auto &h : hits)
        if (!h.empty())
            out.push_back(most ? *std::min_element(h.begin(), h.end(),
                                                   [&](cv::Point2f x, cv::Point2f y) {
                                                       return distance(x, best) < distance(y, best);
                                                   })
                               : h.front());
    return out;
}

// Moves each side onto the strongest nearby Lab step and refits it as a line.
// Returns the fraction of samples per side that found an edge; `fit` false only measures that.
Quad refine(const cv::Mat &lab, const Quad &q, float radius, int samples, std::array<float, 4> &support,
            bool fit = true, bool straightest = true)
{
    std::array<Line, 4> lines;
    for (int s = 0; s < 4; ++s) {
        const cv::Point2f a = q[s], b = q[(s + 1) % 4];
        const cv::Point2f d = b - a;
        const float len = float(cv::norm(d));
        lines[s] = {a, d * (1.f / std::max(len, 1e-3f))};
        if (onBorder(a, b, lab.size())) {
            support[s] = 1.f;
            continue;
        }
        const cv::Point2f n = outwardNormal(q, s);
        std::vector<std::vector<cv::Point2f>> hits(samples);
        std::vector<float> profile;
        for (int k = 0; k < samples; ++k) {
            const cv::Point2f p = a + d * (0.06f + 0.88f * k / (samples - 1));
            profile.clear();
            for (float o = -radius; o <= radius; o += 1.f)
                profile.push_back(stepAt(lab, p, n, o));
            // Local maxima, strongest first, that look like part of a straight side.
            std::vector<int> peaks;
            for (int i = 0; i < int(profile.size()); ++i)
                if (profile[i] >= kEdgeContrast && (i == 0 || profile[i] >= profile[i - 1]) &&
                    (i + 1 == int(profile.size()) || profile[i] > profile[i + 1]))
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
                hits[k].push_back(p + n * (o + delta));
            }
        }
        const std::vector<cv::Point2f> pts = alignedHits(hits, straightest ? 2.f : 0.f);
        support[s] = float(pts.size()) / samples;
        if (fit && int(pts.size()) >= std::max(4, samples / 4)) {
            cv::Vec4f l;
            cv::fitLine(pts, l, cv::DIST_HUBER, 0, 0.01, 0.01);
            lines[s] = {{l[2], l[3]}, {l[0], l[1]}};
        }
    }
    Quad out = q;
    for (int k = 0; k < 4; ++k) {
        cv::Point2f c;
        if (intersect(lines[(k + 3) % 4], lines[k], c))
            out[k] = c;
    }
    // A refit that folds the outline or flies far away is a wrong snap: keep the input.
    const float limit = radius * 3.f + 4.f;
    for (int k = 0; k < 4; ++k)
        if (cv::norm(out[k] - q[k]) > limit)
            return q;
    return isConvexQuad(out) ? out : q;
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
    const cv::Mat k = cv::getStructuringElement(cv::MORPH_ELLIPSE, {5, 5});
    cv::morphologyEx(mask, mask, cv::MORPH_OPEN, k);
    cv::morphologyEx(mask, mask, cv::MORPH_CLOSE, k);
    std::vector<std::vector<cv::Point>> contours;
    cv::findContours(mask, contours, cv::RETR_LIST, cv::CHAIN_APPROX_SIMPLE);
    quadsFromContours(contours, minArea, maxArea, out);
}

std::vector<Quad> candidates(const cv::Mat &small)
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
    std::vector<cv::Point2f> inter;
    const double i = cv::intersectConvexConvex(std::vector<cv::Point2f>(a.begin(), a.end()),
                                               std::vector<cv::Point2f>(b.begin(), b.end()), inter);
    return i / std::max(1.0, std::min(quadArea(a), quadArea(b)));
}

// Colour just inside each side against just outside (weakest and strongest side): a
// document differs from its surroundings all round, a rectangle traced on a patterned
// desk or a page together with the hand holding it does not.
struct Contrasts {
    double weakest = 1e9, strongest = 0, mean = 0;
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
        cv::Vec3f in(0, 0, 0), out(0, 0, 0), far(0, 0, 0);
        for (int k = 0; k < 20; ++k) {
            const cv::Point2f p = a + (b - a) * (0.1f + 0.8f * k / 19);
            for (float o : {w * 0.5f, w}) {
                const cv::Point2f pi = p - n * o, po = p + n * o, pf = p + n * (o + 2.f * w);
                in += sample(lab, pi.x, pi.y);
                out += sample(lab, po.x, po.y);
                far += sample(lab, pf.x, pf.y);
            }
        }
        const cv::Vec3f step = (in - out) / 40.f;
        const double c = cv::norm(step);
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

std::vector<Candidate> scoredCandidates(const cv::Mat &small, size_t keep)
{
    const cv::Mat lab = labFloat(small, 1.2);
    const float diag = float(std::hypot(small.cols, small.rows));

    // Cheap first look on the raw outlines; only the most promising ones are refined.
    std::vector<std::pair<double, Quad>> raw;
    for (const Quad &q : candidates(small)) {
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
    for (const auto &r : raw) {
        std::array<float, 4> support{};
        Quad q = refine(lab, r.second, diag * 0.012f, 16, support);
        q = refine(lab, q, 3.f, 24, support, true, false);
        if (!isConvexQuad(q) || borderSides(q, small.size()) > 2)
            continue;
        const bool seen = std::any_of(result.begin(), result.end(), [&](const Candidate &c) {
            return sameQuad(c.q, q, diag * 0.004f + 1.f);
        });
        if (seen)
            continue;
        Candidate c;
        c.q = q;
        c.minSupport = *std::min_element(support.begin(), support.end());
        c.meanSupport = (support[0] + support[1] + support[2] + support[3]) / 4.f;
        c.area = quadArea(q);
        // An outline running along the frame border has less edge evidence: ask for a clear contrast.
        const Contrasts k = sideContrasts(lab, q);
        const double needed = std::max(borderSides(q, small.size()) ? 20.0 : 5.0, 0.25 * k.strongest);
        c.contrast = k.mean;
        c.score = c.area * c.meanSupport * c.meanSupport;
        if (c.minSupport >= 0.4f && c.meanSupport >= 0.65f && c.area >= kMinAreaShare * small.total() &&
            k.weakest >= needed)
            result.push_back(c);
    }
    return result;
}

} // namespace

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

std::vector<Quad> findDocuments(const cv::Mat &bgr, bool multiple)
{
    if (bgr.empty() || bgr.type() != CV_8UC3 || bgr.cols < 32 || bgr.rows < 32)
        return {};
    const int longSide = std::max(bgr.cols, bgr.rows);
    cv::Mat small = bgr;
    const double searchScale = std::min(1.0, double(kSearchSide) / longSide);
    if (searchScale < 1.0)
        cv::resize(bgr, small, cv::Size(), searchScale, searchScale, cv::INTER_AREA);

    // Several documents need a deeper look down the list of candidates.
    std::vector<Candidate> cands = scoredCandidates(small, multiple ? 24 : 10);
    // A page together with the shadow it casts on a pale desk traces a slightly larger outline
    // than the page alone; the page's own edge is the sharper step, so the inner outline wins.
    for (Candidate &outer : cands)
        for (const Candidate &inner : cands)
            if (inner.area < outer.area && inner.area > 0.7 * outer.area &&
                inner.contrast > 1.3 * outer.contrast && overlapShare(outer.q, inner.q) > 0.97)
                outer.score = std::min(outer.score, 0.99 * inner.score);
    std::sort(cands.begin(), cands.end(),
              [](const Candidate &a, const Candidate &b) { return a.score > b.score; });
    std::vector<Quad> found;
    for (const Candidate &c : cands) {
        if (!found.empty() && !multiple)
            break;
        // Text blocks, photos on a card and other shapes inside a document are not documents.
        const bool overlaps = std::any_of(found.begin(), found.end(),
                                          [&](const Quad &f) { return overlapShare(f, c.q) > 0.2; });
        if (overlaps || (!found.empty() && c.area < 0.05 * quadArea(found.front())))
            continue;
        found.push_back(c.q);
    }

    // Refine on a finer copy so that corners land within a pixel or two of the full frame.
    if (searchScale < 1.0) {
        const double refineScale = std::min(1.0, double(kRefineSide) / longSide);
        cv::Mat mid = bgr;
        if (refineScale < 1.0)
            cv::resize(bgr, mid, cv::Size(), refineScale, refineScale, cv::INTER_AREA);
        const cv::Mat lab = labFloat(mid, 1.5);
        const float ratio = float(refineScale / searchScale);
        for (Quad &q : found) {
            for (auto &p : q)
                p *= ratio;
            std::array<float, 4> support{};
            // Close to the edge already: the strongest step wins, so a curved book edge keeps its bend.
            q = refine(lab, q, std::ceil(ratio * 1.5f) + 2.f, 48, support, true, false);
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
                                                 float radius)
{
    std::vector<std::optional<Quad>> out(previous.size());
    if (bgr.empty() || bgr.type() != CV_8UC3 || previous.empty())
        return out;
    const cv::Mat lab = labFloat(bgr, 1.2);
    for (size_t i = 0; i < previous.size(); ++i) {
        std::array<float, 4> support{};
        Quad q = refine(lab, previous[i], radius, 16, support);
        q = refine(lab, q, 3.f, 24, support, true, false);
        const float weakest = *std::min_element(support.begin(), support.end());
        const float mean = (support[0] + support[1] + support[2] + support[3]) / 4.f;
        if (!isConvexQuad(q) || weakest < 0.4f || mean < 0.65f || borderSides(q, bgr.size()) > 2 ||
            quadArea(q) < kMinAreaShare * bgr.total())
            continue;
        const Contrasts k = sideContrasts(lab, q);
        if (k.weakest >= std::max(borderSides(q, bgr.size()) ? 20.0 : 5.0, 0.1 * k.strongest))
            out[i] = q;
    }
    return out;
}

} // namespace camproc
