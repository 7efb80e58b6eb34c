#include "camprocess.h"

#include "book.h"
#include "cut.h"
#include "detect.h"
#include "effects.h"
#include "fill.h"
#include "flatten.h"
#include "track.h"
#include "watermark.h"

#include <opencv2/imgproc.hpp>

namespace camproc
{
namespace
{

enum CropType { CropNone, CropSingle, CropMultiple, CropBook, CropManual, CropPaging };

cv::Mat asBgr(const cv::Mat &frame)
{
    cv::Mat bgr;
    if (frame.empty() || frame.type() == CV_8UC3)
        return frame;
    if (frame.type() == CV_8UC1)
        cv::cvtColor(frame, bgr, cv::COLOR_GRAY2BGR);
    else if (frame.type() == CV_8UC4)
        cv::cvtColor(frame, bgr, cv::COLOR_BGRA2BGR);
    return bgr;
}

std::vector<Cut> cutOut(const cv::Mat &bgr, const IMAGEPARAM &p)
{
    std::vector<Cut> cuts;
    switch (p.nCropType) {
    case CropSingle:
    case CropMultiple:
        // A single page lifted off the desk (a page held open, a curled sheet) is flattened.
        for (const Quad &q : findDocuments(bgr, p.nCropType == CropMultiple))
            cuts.push_back(p.nCropType == CropSingle ? flattenPage(bgr, q, Flatten::IfCurved) : warpDocument(bgr, q));
        break;
    case CropBook:
        cuts = bookPages(bgr, p.nBookIndex, true);
        break;
    case CropManual:
    case CropPaging:
        for (const MANUALCROP &m : p.manualCrop) {
            if (m.dLeft == 0 && m.dRight == 0 && m.dTop == 0 && m.dBottom == 0)
                continue;
            const cv::Rect r = clampedRect(m.dLeft, m.dRight, m.dTop, m.dBottom, bgr.size());
            if (!r.empty())
                cuts.push_back(fitTo16({bgr(r).clone(), {}}));
        }
        break;
    default:
        break;
    }
    if (cuts.empty())
        cuts.push_back({bgr.clone(), {}});
    return cuts;
}

} // namespace

std::vector<cv::Mat> processFrame(const cv::Mat &frame, const IMAGEPARAM &param)
{
    const cv::Mat bgr = asBgr(frame);
    if (bgr.empty())
        return {};
    std::vector<cv::Mat> out;
    for (Cut &cut : cutOut(bgr, param)) {
        if (param.nForeignRemovalType == 1)
            removeFingers(cut);
        else if (param.nForeignRemovalType == 2)
            removeHoles(cut);
        fillOutside(cut, param.nFillType);
        applyEffect(cut.image, param.nImageType);
        applyWatermark(cut.image, param.waterParam, param.nXDPI);
        out.push_back(cut.image);
    }
    return out;
}

std::vector<std::vector<cv::Point2f>> detectDocuments(const cv::Mat &smallBgr, int mode)
{
    // A tracker that has seen no earlier frame runs the whole search.
    return GuideTracker().update(asBgr(smallBgr), mode);
}

} // namespace camproc
