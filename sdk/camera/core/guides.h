// Live outline guides on the preview: the document search runs on a thread of
// its own, on a small copy of the newest frame, because a full search takes
// longer than a frame period (most searches only follow the outlines already
// found); every delivered frame gets the latest result drawn on it.
#ifndef CAMSDK_GUIDES_H
#define CAMSDK_GUIDES_H

#include "track.h"

#include <opencv2/core.hpp>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace camsdk {

class LiveGuides
{
public:
    // Long side of the copy the search runs on.
    static constexpr int kSearchSide = camproc::GuideTracker::kSide;

    LiveGuides() = default;
    ~LiveGuides();
    LiveGuides(const LiveGuides &) = delete;
    LiveGuides &operator=(const LiveGuides &) = delete;

    // Called from one thread (the stream's) for every frame, before draw():
    // hands a small copy of rgb to the search when it is idle, starting its
    // thread on first use. mode: 1 single, 2 multiple, 3 book; any other mode
    // forgets the last result. rotation: the frame's, so that a result found
    // before a turn of the view is not drawn after it.
    void offer(const cv::Mat &rgb, int mode, int rotation);
    // Draws the latest result found for this mode and rotation on rgb.
    void draw(cv::Mat &rgb, int mode, int rotation) const;
    // Joins the search thread (a search under way is finished first) and
    // forgets the result. Must not be called concurrently with offer().
    void stop();

    // The colour drawn, as R, G, B.
    static cv::Scalar colour() { return {0, 255, 0}; }
    // Line width for a frame: 3 pixels at 1080 lines, scaled with the frame.
    static int thickness(cv::Size frame);

private:
    struct Result {
        int mode = 0;
        int rotation = 0;
        cv::Size searched; // size of the copy the lines are in
        std::vector<std::vector<cv::Point2f>> lines;
    };

    void run();

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::thread m_thread;
    bool m_quit = false;
    bool m_busy = false; // a copy is waiting or being searched
    cv::Mat m_input;     // RGB copy handed over, with its mode and rotation
    int m_inputMode = 0;
    int m_inputRotation = 0;
    unsigned m_inputClears = 0;
    unsigned m_clears = 0; // times the result was forgotten
    Result m_result;
    camproc::GuideTracker m_tracker; // used by the search thread only

    // Touched only by the offering thread.
    cv::Mat m_small;
    std::chrono::steady_clock::time_point m_lastOffer;
};

} // namespace camsdk

#endif
