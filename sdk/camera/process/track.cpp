#include "track.h"

#include "book.h"
#include "cut.h"

#include <opencv2/imgproc.hpp>

namespace camproc {
namespace {

constexpr int kCell = 6;           // reduced-copy pixels per cell of the coarse picture
constexpr double kCellChange = 10; // grey levels a cell must change by to count
constexpr int kCellsForNew = 2;    // changed cells away from every outline that mean something new

cv::Mat coarsePicture(const cv::Mat &bgr)
{
    cv::Mat grey, coarse;
    cv::cvtColor(bgr, grey, cv::COLOR_BGR2GRAY);
    cv::resize(grey, coarse, cv::Size(std::max(1, bgr.cols / kCell), std::max(1, bgr.rows / kCell)), 0, 0,
               cv::INTER_AREA);
    return coarse;
}

cv::Mat changedCells(const cv::Mat &coarse, const cv::Mat &reference)
{
    cv::Mat diff;
    cv::absdiff(coarse, reference, diff);
    return diff > kCellChange;
}

cv::Point2f centre(const Quad &q)
{
    return (q[0] + q[1] + q[2] + q[3]) * 0.25f;
}

// The spine of the spread `book`, as a line from its top end to its bottom end.
std::vector<cv::Point2f> spineOf(const cv::Mat &bgr, const Quad &book)
{
    const Cut spread = warpDocument(bgr, book);
    const float x = float(findSpine(spread.image)), w = float(spread.image.cols),
                h = float(spread.image.rows);
    const cv::Point2f upright[4] = {{0, 0}, {w, 0}, {w, h}, {0, h}};
    const cv::Mat back = cv::getPerspectiveTransform(upright, book.data());
    std::vector<cv::Point2f> spine;
    cv::perspectiveTransform(std::vector<cv::Point2f>{{x, 0}, {x, h}}, spine, back);
    return spine;
}

} // namespace

GuideLines GuideTracker::update(const cv::Mat &frame, int mode)
{
    if (frame.empty() || frame.type() != CV_8UC3 || mode < 1 || mode > 3) {
        reset();
        return {};
    }
    const double scale = std::min(1.0, double(kSide) / std::max(frame.cols, frame.rows));
    cv::Mat bgr = frame;
    if (scale < 1.0)
        cv::resize(frame, bgr, cv::Size(), scale, scale, cv::INTER_AREA);
    const cv::Mat coarse = coarsePicture(bgr);

    bool followed = false;
    if (mode == m_mode && bgr.size() == m_size && m_sinceFull + 1 < kFullEvery) {
        const cv::Mat changed = changedCells(coarse, m_reference);
        if (cv::countNonZero(changed) == 0) {
            // Nothing moved. The reference stays, so that a slow drift still adds up to a change.
            std::fill(m_motion.begin(), m_motion.end(), cv::Point2f());
            followed = true;
        } else if (!m_docs.empty() && follow(bgr, changed)) {
            m_reference = coarse;
            followed = true;
        }
    }
    if (followed) {
        ++m_sinceFull;
    } else {
        m_mode = mode;
        search(bgr);
        m_reference = coarse;
    }
    GuideLines out = m_lines;
    for (auto &line : out)
        for (auto &p : line)
            p *= float(1.0 / scale);
    return out;
}

void GuideTracker::reset()
{
    *this = GuideTracker();
}

void GuideTracker::search(const cv::Mat &bgr)
{
    m_docs.clear();
    if (m_mode == 3) {
        if (const std::optional<Quad> book = findBook(bgr))
            m_docs.push_back(*book);
    } else {
        // A guide has only to look right on screen: a shallower look down the candidates does.
        m_docs = findDocuments(bgr, m_mode == 2, m_mode == 2 ? 20 : 0);
    }
    m_motion.assign(m_docs.size(), cv::Point2f());
    m_size = bgr.size();
    m_sinceFull = 0;
    ++m_fullSearches;
    m_lines = linesOf(bgr);
}

// Re-fits every outline where it is expected after its last move. Fails when an
// outline is lost or when the frame changed away from all of them: something was
// laid down or taken away that only a full search can tell.
bool GuideTracker::follow(const cv::Mat &bgr, const cv::Mat &changed)
{
    std::vector<Quad> expected = m_docs;
    for (size_t i = 0; i < expected.size(); ++i)
        for (cv::Point2f &p : expected[i])
            p += m_motion[i];
    // Room for the move to speed up or turn between two searches: about 50 pixels at 1080p.
    const float radius = std::max(6.f, 0.025f * float(std::hypot(bgr.cols, bgr.rows)));
    const std::vector<std::optional<Quad>> found = followDocuments(bgr, expected, radius, m_mode == 3);

    cv::Mat covered = cv::Mat::zeros(changed.size(), CV_8U);
    std::vector<Quad> docs;
    for (size_t i = 0; i < found.size(); ++i) {
        if (!found[i])
            return false;
        docs.push_back(*found[i]);
        for (const Quad *q : {&m_docs[i], &docs.back()}) {
            std::vector<cv::Point> cells;
            for (const cv::Point2f &p : *q)
                cells.emplace_back(cvRound(p.x / kCell), cvRound(p.y / kCell));
            cv::fillConvexPoly(covered, cells, cv::Scalar(255));
        }
    }
    // Cast shadows and blur reach a little beyond the paper.
    cv::dilate(covered, covered, cv::getStructuringElement(cv::MORPH_RECT, {7, 7}));
    if (cv::countNonZero(changed & ~covered) >= kCellsForNew)
        return false;
    for (size_t i = 0; i < docs.size(); ++i)
        m_motion[i] = centre(docs[i]) - centre(m_docs[i]);
    m_docs = std::move(docs);
    m_lines = linesOf(bgr);
    return true;
}

GuideLines GuideTracker::linesOf(const cv::Mat &bgr) const
{
    GuideLines lines;
    if (m_mode == 3) {
        if (!m_docs.empty())
            lines.push_back(spineOf(bgr, m_docs.front()));
        return lines;
    }
    std::vector<Quad> ordered = m_docs;
    sortReadingOrder(ordered);
    for (const Quad &q : ordered)
        lines.emplace_back(q.begin(), q.end());
    return lines;
}

} // namespace camproc
