#pragma once

#include "areareduction.h"

#include <opencv2/core.hpp>
#include <vector>

// How much brighter or darker the light is in each part of a frame than in its background: a
// field of gains, so that a passing cloud's shadow or the light of a drifting sun is divided out
// instead of being taken for motion.
//
// The gain is the ratio of frame to background on a reduced copy of both, replaced by its median
// over a window several insects wide: an insect, or its own shadow, covers too little of the
// window to move the median, while a cloud's shadow, larger, is followed, and a median keeps the
// shadow's edge where it is instead of smearing it over the window as an average would.
class LightGain
{
public:
    // `frame` 8-bit grey, `background` 16-bit grey levels times `backgroundScale`, same size.
    void estimate(const cv::Mat& frame, const cv::Mat& background, int backgroundScale);
    // With uniform(), every pixel's gain is uniformGain(); otherwise gainMap() holds them.
    // Gains are fixed point: 1 << gainShift is a gain of 1.
    bool uniform() const { return isUniform; }
    ushort uniformGain() const { return uniformValue; }
    const cv::Mat& gainMap() const { return fullMap; } // CV_16UC1, the frame's size

    static constexpr int gainShift = 15;

private:
    void measureRatios(cv::Size reduced, int backgroundScale);

    cv::Mat smallFrame, smallBackground, codedRatio, medianRatio, smallGains, coarse, fullMap;
    AreaReduction reduction;
    std::vector<const uchar*> medianRows;
    bool isUniform = true;
    ushort uniformValue = 1 << gainShift;
};
