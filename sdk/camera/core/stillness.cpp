#include "stillness.h"

#include <opencv2/imgproc.hpp>

namespace camsdk
{

namespace
{
// A pixel has changed when it moved by more than sensor noise and JPEG
// ringing could account for.
constexpr int kPixelThreshold = 24;
// Two samples differ when this share of pixels changed: a hand, a page turn,
// a sheet shifted by a millimetre or two; not noise or a flicker of light.
constexpr double kMotionShare = 0.004;
} // namespace

StillnessDetector::StillnessDetector(double stillSeconds) : m_stillSeconds(stillSeconds) {}

void StillnessDetector::reset()
{
    m_previous.release();
    m_lastReported.release();
    m_moving = false;
    m_stillSince = 0;
}

double StillnessDetector::changedShare(const cv::Mat &a, const cv::Mat &b)
{
    if (a.empty() || a.size() != b.size() || a.type() != b.type())
        return 1.0;
    cv::Mat diff;
    cv::absdiff(a, b, diff);
    return static_cast<double>(cv::countNonZero(diff > kPixelThreshold)) / diff.total();
}

StillnessDetector::Event StillnessDetector::feed(const cv::Mat &sample, double seconds)
{
    if (sample.empty() || sample.type() != CV_8UC1)
        return None;
    cv::Mat smooth;
    cv::GaussianBlur(sample, smooth, cv::Size(3, 3), 0);
    if (m_previous.empty() || m_previous.size() != smooth.size()) {
        // The first sample is the scene as armed: it counts as already seen.
        m_previous = smooth;
        m_lastReported = smooth;
        m_moving = false;
        return None;
    }
    const bool changed = changedShare(smooth, m_previous) > kMotionShare;
    m_previous = smooth;
    if (changed) {
        m_stillSince = seconds;
        if (!m_moving) {
            m_moving = true;
            return Moving;
        }
        return None;
    }
    if (!m_moving || seconds - m_stillSince < m_stillSeconds)
        return None;
    m_moving = false;
    if (changedShare(smooth, m_lastReported) <= kMotionShare)
        return None; // back to the scene already reported: no second shot
    m_lastReported = smooth;
    return Still;
}

} // namespace camsdk
