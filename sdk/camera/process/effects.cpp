#include "effects.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <opencv2/imgproc.hpp>

namespace camproc
{
namespace
{

cv::Mat lut(const std::function<double(double)> &f)
{
    cv::Mat t(1, 256, CV_8U);
    for (int i = 0; i < 256; ++i)
        t.at<uchar>(i) = cv::saturate_cast<uchar>(f(i));
    return t;
}

cv::Mat toBgr(const cv::Mat &grey)
{
    cv::Mat out;
    cv::cvtColor(grey, out, cv::COLOR_GRAY2BGR);
    return out;
}

cv::Mat grey(const cv::Mat &bgr)
{
    cv::Mat g;
    cv::cvtColor(bgr, g, cv::COLOR_BGR2GRAY);
    return g;
}

// Pure black text on pure white paper from a flattened grey page.
cv::Mat binarise(const cv::Mat &flatGrey)
{
    cv::Mat smooth, bw;
    cv::GaussianBlur(flatGrey, smooth, cv::Size(3, 3), 0.7);
    cv::Mat probe;
    cv::resize(smooth, probe, cv::Size(), 0.25, 0.25, cv::INTER_AREA);
    const double otsu = cv::threshold(probe, probe, 0, 255, cv::THRESH_BINARY | cv::THRESH_OTSU);
    cv::threshold(smooth, bw, std::clamp(otsu, 150.0, 215.0), 255, cv::THRESH_BINARY);
    return bw;
}

// Whitened paper with darker ink, colours kept.
cv::Mat colourDocument(const cv::Mat &bgr)
{
    cv::Mat flat = flattenIllumination(bgr);
    cv::LUT(flat, lut([](double x) { return (x - 25.0) * 255.0 / (240.0 - 25.0); }), flat);
    return flat;
}

void keepStamp(cv::Mat &bgr, bool red)
{
    const cv::Mat colour = colourDocument(bgr);
    cv::Mat hsv, mask;
    cv::cvtColor(colour, hsv, cv::COLOR_BGR2HSV);
    if (red) {
        cv::Mat high;
        cv::inRange(hsv, cv::Scalar(0, 70, 60), cv::Scalar(12, 255, 255), mask);
        cv::inRange(hsv, cv::Scalar(158, 70, 60), cv::Scalar(180, 255, 255), high);
        mask |= high;
    } else {
        cv::inRange(hsv, cv::Scalar(95, 70, 40), cv::Scalar(135, 255, 255), mask);
    }
    cv::dilate(mask, mask, cv::Mat());
    cv::Mat out = toBgr(binarise(grey(colour)));
    colour.copyTo(out, mask);
    bgr = out;
}

void photo(cv::Mat &bgr)
{
    // Levels per channel with half a percent clipped at each end, then a little more saturation.
    std::vector<cv::Mat> ch;
    cv::split(bgr, ch);
    for (cv::Mat &c : ch) {
        cv::Mat hist;
        const int size = 256;
        const float range[] = {0, 256};
        const float *ranges[] = {range};
        cv::calcHist(&c, 1, nullptr, cv::Mat(), hist, 1, &size, ranges);
        const double total = double(c.total()), clip = total * 0.005;
        int lo = 0, hi = 255;
        for (double acc = 0; lo < 255 && (acc += hist.at<float>(lo)) < clip;)
            ++lo;
        for (double acc = 0; hi > 0 && (acc += hist.at<float>(hi)) < clip;)
            --hi;
        if (hi - lo < 16)
            continue;
        cv::LUT(c, lut([=](double x) { return (x - lo) * 255.0 / (hi - lo); }), c);
    }
    cv::merge(ch, bgr);
    cv::Mat hsv;
    cv::cvtColor(bgr, hsv, cv::COLOR_BGR2HSV);
    cv::split(hsv, ch);
    cv::LUT(ch[1], lut([](double s) { return s * 1.15; }), ch[1]);
    cv::merge(ch, hsv);
    cv::cvtColor(hsv, bgr, cv::COLOR_HSV2BGR);
}

} // namespace

cv::Mat flattenIllumination(const cv::Mat &img)
{
    // The paper level is a local maximum that ignores strokes: taken on a small copy
    // (text vanishes under the dilation), smoothed, then scaled back up.
    const double scale = std::min(1.0, 256.0 / std::max(img.cols, img.rows));
    cv::Mat small, bg;
    cv::resize(img, small, cv::Size(), scale, scale, cv::INTER_AREA);
    cv::dilate(small, small, cv::getStructuringElement(cv::MORPH_ELLIPSE, {7, 7}));
    cv::medianBlur(small, small, 5);
    cv::GaussianBlur(small, small, cv::Size(), 3.0);
    cv::resize(small, bg, img.size(), 0, 0, cv::INTER_LINEAR);
    cv::max(bg, cv::Scalar::all(1), bg);
    cv::Mat out;
    cv::divide(img, bg, out, 255.0);
    return out;
}

void applyEffect(cv::Mat &bgr, int effect)
{
    switch (effect) {
    case EffectGrey:
        bgr = toBgr(grey(bgr));
        break;
    case EffectBlackWhite:
        bgr = toBgr(binarise(flattenIllumination(grey(bgr))));
        break;
    case EffectColourDocument:
        bgr = colourDocument(bgr);
        break;
    case EffectRedStamp:
    case EffectBlueStamp:
        keepStamp(bgr, effect == EffectRedStamp);
        break;
    case EffectPhoto:
        photo(bgr);
        break;
    case EffectReceipt: {
        // Faded thermal print sits just below the paper level: the faintest ink found is
        // stretched down to black, the paper stays white.
        cv::Mat g = flattenIllumination(grey(bgr));
        cv::Mat probe;
        cv::resize(g, probe, cv::Size(), 0.25, 0.25, cv::INTER_AREA);
        std::vector<uchar> v(probe.begin<uchar>(), probe.end<uchar>());
        std::nth_element(v.begin(), v.begin() + v.size() / 200, v.end());
        const double ink = std::min<double>(v[v.size() / 200], 200.0);
        cv::LUT(g, lut([=](double x) {
                    return 255.0 * std::pow(std::clamp((x - ink) / (245.0 - ink), 0.0, 1.0), 1.5);
                }),
                g);
        bgr = toBgr(g);
        break;
    }
    default:
        break;
    }
}

} // namespace camproc
