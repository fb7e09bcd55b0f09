#pragma once

// Synthetic insect videos: dark blobs moving along known paths (straight, or given frame by frame)
// over a fixed textured background, optionally with sensor noise and light flicker. Used by the
// tests and benchmarks, and by the orvane-makevideo tool.
//
//   videogen::ClipRecipe recipe;
//   recipe.size = {640, 480};
//   recipe.frames = 200;
//   recipe.blobs.push_back({{50, 240}, {4, 0}});   // starts at (50, 240), 4 px right per frame
//   std::string error;
//   if (!videogen::writeVideo("/tmp/clip.mp4", recipe, &error)) ...

#include <climits>
#include <opencv2/core.hpp>
#include <string>
#include <vector>

namespace videogen
{

struct Blob {
    cv::Point2d start;    // centre at frame firstFrame
    cv::Point2d velocity; // pixels per frame
    int radius = 12;
    int firstFrame = 0;
    int lastFrame = INT_MAX; // last frame on which it is drawn
    int grey = 25;           // brightness of the blob (the background is much lighter)
    // When not empty, the centres from firstFrame on, one per frame, instead of start and
    // velocity; the blob is drawn only while the path lasts.
    std::vector<cv::Point> path{};

    cv::Point positionAt(int frame) const;
    bool visibleAt(int frame) const;
};

enum class Codec { H264, MPEG4, MJPEG };

struct ClipRecipe {
    cv::Size size{640, 480};
    double fps = 25;
    int frames = 150;
    std::vector<Blob> blobs;
    Codec codec = Codec::H264;
    unsigned seed = 7;  // texture of the background, noise and flicker
    double noise = 0;   // standard deviation of the sensor noise, in grey levels
    double flicker = 0; // amplitude of the frame-wide brightness flicker, in grey levels
};

// The fixed background: a smooth, light texture, the same for every frame of a video.
cv::Mat background(const ClipRecipe& recipe);
// Frame `index`, drawn into `out` (BGR, reused between calls).
void renderFrame(const ClipRecipe& recipe, const cv::Mat& background, int index, cv::Mat& out);
// Writes the whole video; false with a message when the file cannot be written.
bool writeVideo(const std::string& path, const ClipRecipe& recipe, std::string* error = nullptr);

// A few insects crossing the picture in different directions, for demos and benchmarks.
std::vector<Blob> crossingInsects(cv::Size size, int frames, int count);

} // namespace videogen
