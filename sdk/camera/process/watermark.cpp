#include "watermark.h"

#include <cmath>
#include <fstream>
#include <map>
#include <mutex>
#include <opencv2/freetype.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace camproc
{
namespace
{

const char *const kCjkFonts[] = {
    "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc",
    "/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc",
    "/usr/share/fonts/truetype/wqy/wqy-zenhei.ttc",
    "/usr/share/fonts/opentype/noto/NotoSerifCJK-Regular.ttc",
};

bool readable(const char *path)
{
    return path && *path && std::ifstream(path, std::ios::binary).good();
}

// Loading a CJK collection takes tens of milliseconds; keep each face once.
cv::Ptr<cv::freetype::FreeType2> face(const std::string &path, std::unique_lock<std::mutex> &)
{
    static std::map<std::string, cv::Ptr<cv::freetype::FreeType2>> faces;
    auto it = faces.find(path);
    if (it != faces.end())
        return it->second;
    cv::Ptr<cv::freetype::FreeType2> ft;
    try {
        ft = cv::freetype::createFreeType2();
        ft->loadFontData(path, 0);
    } catch (const cv::Exception &) {
        ft.release();
    }
    faces[path] = ft;
    return ft;
}

std::mutex &fontMutex()
{
    static std::mutex m;
    return m;
}

// Blends `colour` into `bgr` through `alpha` (8-bit coverage) placed at `at`, clipped to the picture.
void blend(cv::Mat &bgr, const cv::Mat &colour, const cv::Mat &alpha, cv::Point at, double opacity)
{
    const cv::Rect dst = cv::Rect(at, alpha.size()) & cv::Rect(0, 0, bgr.cols, bgr.rows);
    if (dst.empty())
        return;
    const cv::Rect src(dst.tl() - at, dst.size());
    cv::Mat a;
    alpha(src).convertTo(a, CV_32F, opacity / 255.0);
    cv::Mat a3, base, top;
    cv::merge(std::vector<cv::Mat>(3, a), a3);
    bgr(dst).convertTo(base, CV_32FC3);
    colour(src).convertTo(top, CV_32FC3);
    cv::Mat out = base + (top - base).mul(a3);
    out.convertTo(bgr(dst), CV_8UC3);
}

bool textWatermark(cv::Mat &bgr, const WATERPARAM &w, float dpi)
{
    if (!w.szWaterContent || !*w.szWaterContent)
        return false;
    const std::string text(w.szWaterContent);
    std::unique_lock<std::mutex> lock(fontMutex());
    const cv::Ptr<cv::freetype::FreeType2> ft = face(watermarkFont(w.szWaterFont), lock);
    if (!ft)
        return false;

    const bool oblique = w.nPositionCode == 2;
    const double span = oblique ? std::hypot(bgr.cols, bgr.rows) : bgr.cols;
    // Sizes are points at the capture resolution; 0 means a twentieth of the width.
    int height = w.nFontSize > 0 ? int(std::lround(w.nFontSize * dpi / 72.0)) : bgr.cols / 20;
    height = std::max(8, height);
    int baseline = 0;
    cv::Size size = ft->getTextSize(text, height, -1, &baseline);
    if (size.width > span * 0.9) {
        height = std::max(8, int(height * span * 0.9 / size.width));
        size = ft->getTextSize(text, height, -1, &baseline);
    }
    const int pad = height / 4 + 2;
    cv::Mat canvas = cv::Mat::zeros(size.height + baseline + 2 * pad, size.width + 2 * pad, CV_8UC3);
    ft->putText(canvas, text, {pad, pad + size.height}, height, cv::Scalar::all(255), -1, cv::LINE_AA, true);
    lock.unlock();
    cv::Mat alpha;
    cv::extractChannel(canvas, alpha, 0);

    cv::Point at;
    if (oblique) {
        // Along the diagonal from bottom left to top right, centred.
        const double angle = std::atan2(bgr.rows, bgr.cols) * 180.0 / CV_PI;
        const cv::Point2f c(alpha.cols / 2.f, alpha.rows / 2.f);
        cv::Mat R = cv::getRotationMatrix2D(c, angle, 1.0);
        const cv::Rect2f box = cv::RotatedRect(c, alpha.size(), float(angle)).boundingRect2f();
        R.at<double>(0, 2) += box.width / 2.0 - c.x;
        R.at<double>(1, 2) += box.height / 2.0 - c.y;
        cv::Mat turned;
        cv::warpAffine(alpha, turned, R, cv::Size(cvCeil(box.width), cvCeil(box.height)));
        alpha = turned;
        at = {(bgr.cols - alpha.cols) / 2, (bgr.rows - alpha.rows) / 2};
    } else {
        const int margin = std::max(4, height / 2);
        const int x = (bgr.cols - alpha.cols) / 2;
        switch (w.nPositionCode) {
        case 0:
            at = {x, margin};
            break;
        case 3:
            at = {x, bgr.rows - margin - alpha.rows};
            break;
        default:
            at = {x, (bgr.rows - alpha.rows) / 2};
            break;
        }
    }
    const cv::Mat colour(
        alpha.size(), CV_8UC3,
        cv::Scalar(std::clamp(w.nFontB, 0, 255), std::clamp(w.nFontG, 0, 255), std::clamp(w.nFontR, 0, 255)));
    blend(bgr, colour, alpha, at, w.nOpacity == 1 ? 1.0 : 0.5);
    return true;
}

bool pictureWatermark(cv::Mat &bgr, const WATERPARAM &w)
{
    if (!readable(w.szWaterImagePath))
        return false;
    const cv::Mat pic = cv::imread(w.szWaterImagePath, cv::IMREAD_UNCHANGED);
    if (pic.empty() || pic.depth() != CV_8U)
        return false;
    cv::Mat colour, alpha;
    if (pic.channels() == 4) {
        cv::cvtColor(pic, colour, cv::COLOR_BGRA2BGR);
        cv::extractChannel(pic, alpha, 3);
    } else {
        if (pic.channels() == 1)
            cv::cvtColor(pic, colour, cv::COLOR_GRAY2BGR);
        else
            colour = pic;
        alpha = cv::Mat(pic.size(), CV_8U, cv::Scalar(255));
    }
    blend(bgr, colour, alpha, {std::max(0, w.nWaterPointX), std::max(0, w.nWaterPointY)},
          w.nOpacity == 0 ? 0.5 : 1.0);
    return true;
}

} // namespace

std::string watermarkFont(const char *requested)
{
    if (readable(requested))
        return requested;
    for (const char *f : kCjkFonts)
        if (readable(f))
            return f;
    return {};
}

bool applyWatermark(cv::Mat &bgr, const WATERPARAM &w, float dpi)
{
    if (!w.bIsWater || bgr.empty())
        return true;
    return w.bIsWaterImage ? pictureWatermark(bgr, w) : textWatermark(bgr, w, dpi > 0 ? dpi : 200.f);
}

} // namespace camproc
