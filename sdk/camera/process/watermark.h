// Text or picture watermark stamped on an output picture.
#ifndef CAMSDK_WATERMARK_H
#define CAMSDK_WATERMARK_H

#include "datatype.h"

#include <opencv2/core.hpp>
#include <string>

namespace camproc
{

// In place on 8-bit BGR. Returns false when a watermark was asked for but could not
// be drawn (no text, unreadable picture, no usable font); the picture is then unchanged.
bool applyWatermark(cv::Mat &bgr, const WATERPARAM &w, float dpi);

// The font file used for `requested`: itself when readable, else an installed CJK font.
std::string watermarkFont(const char *requested);

} // namespace camproc

#endif
