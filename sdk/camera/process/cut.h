// Cut-outs of a frame: perspective-corrected documents and plain rectangles, sized
// to multiples of 16 so that later quarter turns of the JPEG stay lossless.
#ifndef CAMSDK_CUT_H
#define CAMSDK_CUT_H

#include "detect.h"

#include <opencv2/core.hpp>

namespace camproc
{

// One output picture. `outside` (8-bit, same size, may be empty) marks pixels that
// are not document content: padding and parts of the page beyond the frame.
struct Cut {
    cv::Mat image;
    cv::Mat outside;
    // Perspective cut-outs only: the frame they came from, the mapping of frame pixels
    // into the cut-out and the document's rectangle there, so that later steps can
    // compare the page with the desk around it.
    cv::Mat frame{};
    cv::Matx33d fromFrame = cv::Matx33d::eye();
    cv::Rect2f page{};
};

// Multiples of 16 near w x h, keeping its aspect ratio as closely as they allow.
cv::Size sizeTo16(double w, double h);

// The quad mapped to an upright rectangle of its own aspect ratio.
Cut warpDocument(const cv::Mat &bgr, const Quad &q);

// Trims or pads (centred, padding replicated from the edge and marked outside) to
// multiples of 16. `cut` may already carry an outside mask.
Cut fitTo16(Cut cut);

// The rectangle clamped to the frame; empty when nothing of it remains.
cv::Rect clampedRect(double left, double right, double top, double bottom, cv::Size frame);

} // namespace camproc

#endif
