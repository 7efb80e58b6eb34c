// Automatic capture's notion of "the page has been turned and is still now",
// fed with small gray samples of the live picture.
#ifndef CAMSDK_STILLNESS_H
#define CAMSDK_STILLNESS_H

#include <opencv2/core.hpp>

namespace camsdk
{

class StillnessDetector
{
public:
    enum Event { None = -1, Still = 0, Moving = 1 };

    explicit StillnessDetector(double stillSeconds = 0.7);
    // Forgets everything: the next sample is the new reference.
    void reset();
    // sample: 8-bit gray, a few hundred pixels wide, same size every time;
    // seconds: a steady clock. Reports Moving once when a change starts and
    // Still once the scene has rested stillSeconds and differs from the scene
    // last reported still.
    Event feed(const cv::Mat &sample, double seconds);

    // Width of the samples the detector is meant for.
    static constexpr int kSampleWidth = 160;
    // Share of pixels that must change for two samples to count as different.
    static double changedShare(const cv::Mat &a, const cv::Mat &b);

private:
    double m_stillSeconds;
    cv::Mat m_previous;
    cv::Mat m_lastReported;
    bool m_moving = false; // a change is under way or has not settled
    double m_stillSince = 0;
};

} // namespace camsdk

#endif
