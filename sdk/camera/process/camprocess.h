// Capture-time processing: cut-out, foreign-matter removal, edge fill, effect and
// watermark applied to one full-resolution frame. The capture path calls this
// after rotation and before encoding.
#ifndef CAMSDK_CAMPROCESS_H
#define CAMSDK_CAMPROCESS_H

#include "datatype.h"

#include <opencv2/core.hpp>
#include <vector>

namespace camproc {

// frame: 8-bit BGR, already rotated by nRotate. Returns the images to write, in
// output order (at least one: a capture always yields a file).
std::vector<cv::Mat> processFrame(const cv::Mat &frame, const IMAGEPARAM &param);

} // namespace camproc

#endif
