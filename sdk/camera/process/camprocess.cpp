#include "camprocess.h"

#include "book.h"
#include "cut.h"
#include "detect.h"
#include "effects.h"
#include "fill.h"
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

// The book spread warped upright and split at the spine, ordered by the export choice.
std::vector<Cut> bookPages(const cv::Mat &bgr, int bookIndex)
{
    const std::optional<Quad> book = findBook(bgr);
    if (!book)
        return {};
    Cut spread = warpDocument(bgr, *book);
    if (bookIndex == 2)
        return {spread};
    const int spine = findSpine(spread.image);
    auto part = [&](int x0, int x1) {
        Cut c{spread.image.colRange(x0, x1).clone(), {}};
        if (!spread.outside.empty())
            c.outside = spread.outside.colRange(x0, x1).clone();
        return fitTo16(c);
    };
    const Cut left = part(0, spine), right = part(spine, spread.image.cols);
    switch (bookIndex) {
    case 1:
        return {right, left};
    case 3:
        return {left};
    case 4:
        return {right};
    default:
        return {left, right};
    }
}

std::vector<Cut> cutOut(const cv::Mat &bgr, const IMAGEPARAM &p)
{
    std::vector<Cut> cuts;
    switch (p.nCropType) {
    case CropSingle:
    case CropMultiple:
        for (const Quad &q : findDocuments(bgr, p.nCropType == CropMultiple))
            cuts.push_back(warpDocument(bgr, q));
        break;
    case CropBook:
        cuts = bookPages(bgr, p.nBookIndex);
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
