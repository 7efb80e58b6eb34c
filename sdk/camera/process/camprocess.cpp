#include "camprocess.h"

namespace camproc {

// Placeholder until the cut-out and enhancement module lands: the whole frame.
std::vector<cv::Mat> processFrame(const cv::Mat &frame, const IMAGEPARAM &)
{
    return {frame.clone()};
}

} // namespace camproc
