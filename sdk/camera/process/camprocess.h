// Capture-time processing: cut-out, foreign-matter removal, edge fill, effect and
// watermark applied to one full-resolution frame, plus the cheap outline search used
// for the live-preview guides. The capture path calls processFrame after rotation
// and before encoding. Thread-safe: no state is shared between calls except the
// loaded watermark fonts, which are guarded.
#ifndef CAMSDK_CAMPROCESS_H
#define CAMSDK_CAMPROCESS_H

#include "datatype.h"

#include <opencv2/core.hpp>
#include <vector>

namespace camproc
{

// frame: 8-bit BGR (grey and BGRA are accepted too), already rotated by nRotate.
// Returns the images to write, in output order, each 8-bit BGR (CV_8UC3):
//  nCropType 0  the whole frame;
//            1  the dominant document, perspective-corrected;
//            2  every document, one image each, top to bottom then left to right;
//            3  the open book split at the spine, by nBookIndex: 0 left, right;
//               1 right, left; 2 both pages in one image; 3 left; 4 right;
//            4, 5  each non-zero manualCrop rectangle clamped to the frame.
// Cut-outs (1-5) have width and height that are multiples of 16. When no document
// (or no usable rectangle) is found the whole frame comes back, so the result holds
// at least one image for any non-empty frame; an empty frame gives an empty result.
// Unknown codes in any field act as 0. A watermark that cannot be drawn (missing
// picture, empty text) is left out; the images are still returned.
std::vector<cv::Mat> processFrame(const cv::Mat &frame, const IMAGEPARAM &param);

// Live-preview guides on a single frame, for a downscaled 8-bit BGR copy of the
// rotated frame (larger copies are reduced internally to GuideTracker::kSide, so one
// call costs 5-10 ms; a stream of frames is cheaper through a GuideTracker, which
// follows what it found). Coordinates are in `smallBgr` pixels.
//  mode 1  at most one closed outline (4 corners TL, TR, BR, BL): the dominant document;
//  mode 2  one closed outline per document, in reading order;
//  mode 3  at most one open line of 2 points (top, bottom): the spine of an open book;
//  other modes, or nothing found: empty.
std::vector<std::vector<cv::Point2f>> detectDocuments(const cv::Mat &smallBgr, int mode);

} // namespace camproc

#endif
