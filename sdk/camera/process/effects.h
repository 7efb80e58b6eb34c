// Image effects applied to each output, after cut-out and edge fill.
#ifndef CAMSDK_EFFECTS_H
#define CAMSDK_EFFECTS_H

#include <opencv2/core.hpp>

namespace camproc
{

enum Effect {
    EffectNone = 0,
    EffectGrey = 1,
    EffectBlackWhite = 2,
    EffectColourDocument = 3,
    EffectRedStamp = 4,
    EffectBlueStamp = 5,
    EffectPhoto = 6,
    EffectReceipt = 7,
};

// In place on an 8-bit BGR picture; unknown codes leave it as captured.
void applyEffect(cv::Mat &bgr, int effect);

// The picture divided by its own paper brightness, so that the paper becomes
// white and shadows and light falloff disappear (per channel for colour input).
cv::Mat flattenIllumination(const cv::Mat &img);

} // namespace camproc

#endif
