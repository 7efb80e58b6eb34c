#include "guides.h"

#include <opencv2/imgproc.hpp>

#include <cerrno>
#include <sys/resource.h>

namespace camsdk {

namespace {
// Twenty searches a second follow a page moved by hand closely enough and leave
// the rest of a core to decoding.
constexpr auto kMinInterval = std::chrono::milliseconds(50);

bool drawsGuides(int mode)
{
    return mode >= 1 && mode <= 3;
}

// On a busy machine the frames come first: the calling thread (Linux keeps a
// nice value per thread) yields to the stream thread and a late outline is
// all that is lost.
void yieldToFrames()
{
    errno = 0;
    const int current = getpriority(PRIO_PROCESS, 0);
    if (errno == 0)
        setpriority(PRIO_PROCESS, 0, std::min(19, current + 10));
}
} // namespace

LiveGuides::~LiveGuides()
{
    stop();
}

int LiveGuides::thickness(cv::Size frame)
{
    return std::max(2, cvRound(3.0 * std::min(frame.width, frame.height) / 1080.0));
}

void LiveGuides::offer(const cv::Mat &rgb, int mode, int rotation)
{
    if (!drawsGuides(mode)) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_result = Result();
        ++m_clears; // a search under way was for a mode no longer wanted
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_busy || now - m_lastOffer < kMinInterval)
            return; // the search is still on an older frame: this one is dropped
    }
    m_lastOffer = now;
    const double scale = std::min(1.0, double(kSearchSide) / std::max(rgb.cols, rgb.rows));
    if (scale < 1.0)
        cv::resize(rgb, m_small,
                   cv::Size(std::max(1, cvRound(rgb.cols * scale)), std::max(1, cvRound(rgb.rows * scale))),
                   0, 0, cv::INTER_AREA);
    else
        rgb.copyTo(m_small);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_thread.joinable()) {
            m_quit = false;
            m_thread = std::thread([this] { run(); });
        }
        cv::swap(m_input, m_small);
        m_inputMode = mode;
        m_inputRotation = rotation;
        m_inputClears = m_clears;
        m_busy = true;
    }
    m_wake.notify_one();
}

void LiveGuides::run()
{
    yieldToFrames();
    cv::Mat rgb, bgr;
    unsigned followedClears = 0;
    int followedRotation = 0;
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_quit || m_busy; });
        if (m_quit)
            return;
        cv::swap(rgb, m_input);
        Result found;
        found.mode = m_inputMode;
        found.rotation = m_inputRotation;
        found.searched = rgb.size();
        const unsigned clears = m_inputClears;
        // After a turn of the view or a forgotten result the outlines followed so far are void.
        const bool fresh = clears != followedClears || found.rotation != followedRotation;
        followedClears = clears;
        followedRotation = found.rotation;
        lock.unlock();
        if (fresh)
            m_tracker.reset();
        try {
            cv::cvtColor(rgb, bgr, cv::COLOR_RGB2BGR);
            found.lines = m_tracker.update(bgr, found.mode);
        } catch (const std::exception &) {
            // Out of memory or the like: no guide on this frame.
            m_tracker.reset();
        }
        lock.lock();
        if (clears == m_clears)
            m_result = std::move(found);
        m_busy = false;
    }
}

void LiveGuides::draw(cv::Mat &rgb, int mode, int rotation) const
{
    std::vector<std::vector<cv::Point2f>> lines;
    cv::Size searched;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_result.mode != mode || m_result.rotation != rotation || m_result.lines.empty())
            return;
        lines = m_result.lines;
        searched = m_result.searched;
    }
    const double sx = double(rgb.cols) / searched.width, sy = double(rgb.rows) / searched.height;
    std::vector<std::vector<cv::Point>> scaled;
    for (const auto &line : lines) {
        std::vector<cv::Point> pts;
        for (const cv::Point2f &p : line)
            pts.emplace_back(cvRound(p.x * sx), cvRound(p.y * sy));
        scaled.push_back(std::move(pts));
    }
    // Quads are outlines; the book's spine is an open line.
    cv::polylines(rgb, scaled, mode != 3, colour(), thickness(rgb.size()), cv::LINE_8);
}

void LiveGuides::stop()
{
    std::thread t;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_quit = true;
        t = std::move(m_thread);
    }
    m_wake.notify_all();
    if (t.joinable())
        t.join();
    std::lock_guard<std::mutex> lock(m_mutex);
    m_tracker.reset(); // the thread is gone: nobody else touches it
    m_result = Result();
    m_busy = false;
    m_input.release();
    m_lastOffer = {}; // a restarted stream gets its guides at once
}

} // namespace camsdk
