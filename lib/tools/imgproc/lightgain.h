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
    // Row `y` of the gains, the frame's width, as cv::resize with INTER_LINEAR would give them
    // from the reduced field, without a map of the whole frame. Valid until the next call.
    const ushort* gainsOfRow(int y);
    // Blending the field uses the widest vectors the processor has (AVX2 on x86), or narrower
    // ones: both give the same gains, which the tests check.
    enum class Vectors { Widest, Narrow };
    void setVectors(Vectors v) { vectors = v; }
    // The reduced field of gains the rows are interpolated from (CV_16UC1), unless uniform().
    const cv::Mat& field() const { return coarse; }

    static constexpr int gainShift = 15;

private:
    // Where a pixel of one side of the frame takes its gain from on that side of the reduced
    // field: the two neighbours from `from` on, weighed `first[i]` and `second[i]`.
    struct Blend {
        std::vector<int> from;
        std::vector<float> first, second;
        int blended = 0; // past this pixel, only `from` is read (the field's last column)
    };
    static void prepareBlend(int fieldLength, int frameLength, bool across, Blend& blend);
    void measureRatios(cv::Size reduced, int backgroundScale);
    void smoothField(double& lowest, double& highest);
    void blendColumns();

    cv::Mat smallFrame, smallBackground, codedRatio, medianRatio, smallGains, coarse;
    cv::Mat smoothedAcross; // the gains smoothed across, before down
    // The field's rows blended across to the frame's width (CV_32F), and one row of gains.
    cv::Mat blendedRows;
    std::vector<ushort> rowGains;
    Blend acrossBlend, downBlend;
    cv::Size blendFrom, blendTo;
    Vectors vectors = Vectors::Widest;
    AreaReduction reduction;
    cv::Mat medianDown; // the medians down, padded across for the medians across
    bool isUniform = true;
    ushort uniformValue = 1 << gainShift;
};
