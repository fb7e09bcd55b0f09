#pragma once

#include "camerashift.h"
#include "lightgain.h"

#include <opencv2/core.hpp>
#include <vector>

// What a still scene looks like, pixel by pixel, for finding insects by what differs from it:
// each pixel's usual grey level and how much it usually varies from one frame to the next.
//
//     BackgroundModel model;
//     model.setFrameRate(fps);
//     model.start(firstGrey);
//     const BackgroundModel::Comparison c = model.compare(grey, mask, changed, blocks, 16, true);
//
// A pixel has changed when it differs from its usual level by more than about four times its
// usual variation, and never by less than a few grey levels. Before comparing, the camera's
// shift against the background is undone (a shake of half a pixel or more: the frame is shifted
// back onto the background) and the light's change is divided out (a smooth field of gains), so
// that neither a gust of wind nor a cloud's shadow is taken for motion, while a flickering
// printed grid or a swaying leaf, which vary a lot, need a larger change than a plain card. The
// background learns where nothing changed, with time constants in seconds; under a changed pixel
// it only follows the light the pixels around show, so that insects leave no trail, and takes in
// what has stayed there long enough.
class BackgroundModel
{
public:
    // The background's grey levels are kept times 1 << scaleShift.
    static constexpr int scaleShift = 7;

    // Converts the time constants to frames; a rate that is not a positive finite number leaves
    // the last one. 25 frames a second until told otherwise.
    void setFrameRate(double fps);
    double frameRate() const { return fps; }

    void reset();
    bool hasStarted(cv::Size size) const { return !mean.empty() && mean.size() == size; }
    // The frame becomes the background; nothing is known yet about how pixels vary.
    void start(const cv::Mat& grey);
    // The frame becomes the background at once, keeping what was learnt of how pixels vary,
    // except inside `kept` (in the background's pixels), where the background stays as it was:
    // an insect there would otherwise become background and leave its ghost where it stood.
    void relearn(const cv::Mat& grey, const std::vector<cv::Rect>& kept = {});

    struct Comparison {
        long changed = 0;  // changed pixels inside the mask
        cv::Point2d shift; // the camera's shift undone, in pixels
    };
    // The comparison uses the widest vectors the processor has (AVX2 on x86), or 128-bit ones:
    // both give the same result, which the tests check.
    enum class Vectors { Widest, Narrow };
    void setVectors(Vectors v) { vectors = v; }
    // What the unchanged pixels of a block show of the light: their grey levels and their
    // background levels (times 1 << scaleShift) summed, and how many there were.
    struct LightSums {
        int grey = 0;
        int level = 0;
        int pixels = 0;
    };

    // `grey` 8-bit, `mask` 8-bit 0 or 255, both of the background's size. Writes 255 into `out`
    // for every changed pixel inside the mask and 0 for every other pixel, and sets to 1 the
    // cells of `blocks` (one per blockSide x blockSide pixels, blockSide at least 16) that hold a
    // changed pixel. With
    // `learn`, the background then learns from the frame. With a camera shift, `out` shows the
    // changes where they lie on the background, the frame's pixels less the shift.
    Comparison compare(const cv::Mat& grey, const cv::Mat& mask, cv::Mat& out,
                       cv::Mat_<uchar>& blocks, int blockSide, bool learn);
    // Whether the last frame compared shows, inside `box` (in the background's pixels), the
    // background's own pattern, only lighter, darker or more or less contrasted: a printed grid
    // or a leaf's veins under changing light or compression, not an insect, which hides the
    // pattern it covers. A plain background has no pattern to show.
    bool showsBackgroundPattern(const cv::Rect& box) const;
    // The centre of what differs from the background inside `box` in the last frame compared,
    // each pixel weighted by how far it differs beyond the smallest change: an insect's body
    // outweighs its translucent wings, its legs and its soft shadow, which stretch its box to one
    // side. The box's centre when nothing differs.
    cv::Point centreOfChange(const cv::Rect& box) const;
    // What differs from the background inside `box` and `mask` in the last frame compared by
    // more than `share` of each pixel's bar: a faint insect that compression left only a few
    // pixels of, too few to be a blob. Its pixels, their box, and their centre weighted by how
    // far they pass that lower bar.
    struct Change {
        int pixels = 0;
        cv::Rect box;
        cv::Point centre;
    };
    Change fainterChangeIn(const cv::Rect& box, const cv::Mat& mask, double share);

private:
    struct Rates {
        short mean = 0;   // share of the way the level moves per frame, times 2^16
        short spread = 0; // the same for the usual variation
        bool learn = false;
    };
    Rates ratesFor(bool learn) const;
    int framesIn(double seconds) const;
    static void clearShiftedIn(cv::Mat& out, const cv::Point2d& shift);
    void measureLightFollow(int blockSide, short meanRate);
    void shiftBack(const cv::Mat& grey, const cv::Point2d& shift);
    long comparePixels(const cv::Mat& grey, const cv::Mat& mask, cv::Mat& out,
                       cv::Mat_<uchar>& blocks, int blockSide, const Rates& rates);

    double fps = 25;
    Vectors vectors = Vectors::Widest;
    int framesLearnt = 0;
    cv::Mat mean;     // CV_16UC1: usual grey level times 1 << scaleShift
    cv::Mat spread;   // CV_16UC1: usual difference between neighbouring frames times 16
    cv::Mat busy;     // CV_16UC1: frames in a row each pixel has shown a change
    cv::Mat previous; // CV_8UC1: the last frame learnt from
    cv::Mat aligned;  // the frame shifted back onto the background
    cv::Mat relearnt; // the frame made background, before the kept parts are put back
    cv::Mat padded;   // the frame with its border repeated, for shifting it
    // Per block of the comparison: how a changed pixel's level follows the light (times 2^16 a
    // frame), and what the unchanged pixels showed of it in the frame being compared.
    std::vector<short> lightFollow;
    std::vector<LightSums> lightSums;
    // The last frame compared: the frame itself (a view of the caller's picture, read only while
    // that frame is analysed) or `aligned`.
    cv::Mat compared;
    double keptShare = 1; // of an unchanged pixel's difference, after learning from `compared`
    CameraShift camera;
    LightGain light;
};
