#pragma once

// Insects on realistic paths for accuracy measurements: each one crosses a rectangle from one
// side to the other, with its own size and speed, straight or wandering, pausing on the way or
// passing close to another insect. The same options and seed always give the same paths.
//
//   videogen::MotionOptions motion;
//   motion.count = 5;
//   motion.speedMin = 2, motion.speedMax = 6;
//   motion.wander = true;
//   recipe.blobs = videogen::crossingPaths(motion, cv::Rect(112, 64, 160, 160), recipe.size);

#include "videogen.h"

#include <opencv2/core.hpp>
#include <vector>

namespace videogen
{

struct MotionOptions {
    int count = 4;
    double sizeMin = 12, sizeMax = 12; // body length in pixels
    double speedMin = 4, speedMax = 4; // pixels per frame
    bool wander = false;               // a smooth random walk instead of a straight line
    bool pauses = false;               // every insect stops once for a while, often on a border
    bool closePasses = false;          // insects meet in pairs, going opposite ways
    int firstFrame = 0;                // no insect is drawn before this frame
    int lead = 24;                     // pixels walked before and after the rectangle
    unsigned seed = 1;
};

// Paths crossing `through` horizontally, alternately rightwards and leftwards, each on a lane
// inside its vertical extent, from `lead` pixels before one side to `lead` pixels past the
// other. Positions stay inside `frame`.
std::vector<Blob> crossingPaths(const MotionOptions& options, const cv::Rect& through,
                                cv::Size frame);

// The same paths at another frame rate: `blobs` step `stepsPerSecond` times a second from step 0;
// frame `firstFrame + k` of the result shows them k / fps seconds after step 0, between two steps
// where it falls between them. The same scene can so be filmed at 10, 25 and 90 frames per
// second.
std::vector<Blob> retimed(const std::vector<Blob>& blobs, double stepsPerSecond, double fps,
                          int firstFrame);

// crossingPaths with the speeds in pixels per second: the paths are made at `pathStepsPerSecond`
// steps a second and filmed at `fps`, their step 0 on frame `options.firstFrame`. The same
// options give the same motion in seconds at any frame rate.
constexpr double pathStepsPerSecond = 25;
std::vector<Blob> crossingPathsPerSecond(const MotionOptions& options, const cv::Rect& through,
                                         cv::Size frame, double fps);

// The frame after the last one on which any of the blobs is drawn (0 for none; INT_MAX when one
// moves without end).
int endOfPaths(const std::vector<Blob>& blobs);

} // namespace videogen
