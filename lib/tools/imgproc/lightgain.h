#pragma once

#include <opencv2/core.hpp>

// How much brighter or darker the light is in each part of a frame than in its background: a
// smooth field of gains, so that a passing cloud's shadow or the light of a drifting sun is
// divided out instead of being taken for motion.
//
// The gain is the ratio of frame to background over blocks of pixels, its median over the blocks
// around, smoothed: an insect is too small to move the median, so it does not darken the gain
// around itself, while a shadow larger than an insect is followed.
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
    cv::Mat blockFrame, blockBackground, ratio, smoothRatio, gains, blockGains, fullMap;
    bool isUniform = true;
    ushort uniformValue = 1 << gainShift;
};
