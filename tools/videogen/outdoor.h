#pragma once

// Outdoor conditions for generated videos, as a trap camera sees them: a textured background (a
// yellow sticky card with its printed grid, glue bubbles and dirt; soil; a leaf with its veins),
// insects with body segments, legs, translucent wings, a soft shadow and motion blur, a camera
// that trembles and is shaken by gusts, light that drifts, cloud shadows passing over, a leaf at
// the edge of the picture swaying in the wind, sensor noise and H.264 at a low bit rate.
//
// Every time is in seconds on the scene's clock, which starts at `sceneStartFrame`: the same
// options give the same scene at any frame rate. The insects' positions (and so the true events)
// are in the scene's coordinates; the camera's shake moves the picture, not the insects.
//
//   videogen::OutdoorOptions outdoor = videogen::OutdoorOptions::realistic(recipe);
//   outdoor.keepClear = {regionBox};
//   if (!videogen::writeOutdoorVideo("/tmp/trap.mp4", recipe, outdoor, &error)) ...

#include "videogen.h"

#include <memory>
#include <opencv2/core.hpp>
#include <string>
#include <utility>
#include <vector>

namespace videogen
{

enum class Backdrop { Plain, Card, Soil, Leaf };

struct OutdoorOptions {
    Backdrop backdrop = Backdrop::Plain; // Plain: the smooth background of plain videos
    bool insectShapes = false;           // segments, legs, wings and a soft shadow
    double exposure = 0;                 // seconds the shutter is open: motion blur
    double jitter = 0;                   // the camera's tremble, pixels each way, every frame
    int gusts = 0;                       // gusts over the video, evenly spread
    double gustShift = 1;                // pixels the camera moves at a gust's height
    double gustSeconds = 0.8;
    double lightDrift = 0;    // slow change of the light, as a fraction of it
    int clouds = 0;           // cloud shadows passing over the picture
    bool sway = false;        // a leaf at the edge of the picture swaying in the wind
    double kbitPerSecond = 0; // H.264 bit rate; 0: a steady good quality
    int sceneStartFrame = 0;  // the frame at which the scene's clock reads 0
    // Rectangles (scene coordinates) that the swaying leaf and its shadow never reach.
    std::vector<cv::Rect> keepClear;

    // Anything beyond the plain picture.
    bool any() const;
    // A trap filmed outdoors: sticky card, insect shapes, a 1/50 s exposure, 0.25 px tremble, a
    // 1 px gust of 0.8 s every ten seconds, 10 % light drift, a cloud shadow every ten seconds,
    // a swaying leaf, and the bit rate of `realisticBitRate`.
    static OutdoorOptions realistic(const ClipRecipe& recipe);
    // About 90 kbit/s at 640x480 and 25 frames per second, in proportion to the pixels per
    // second beyond that.
    static double realisticBitRate(cv::Size size, double fps);
};

// A first and a last frame, both included.
using FrameSpan = std::pair<int, int>;

// The scene of one video: everything drawn from the seed once, then frames on demand.
class OutdoorScene
{
public:
    OutdoorScene(const ClipRecipe& recipe, const OutdoorOptions& options);
    ~OutdoorScene();
    OutdoorScene(const OutdoorScene&) = delete;
    OutdoorScene& operator=(const OutdoorScene&) = delete;

    // Frame `index`, BGR, into `out` (reused between calls).
    void render(int index, cv::Mat& out);
    // How far the picture is moved on frame `index`, in pixels.
    cv::Point2d cameraShift(int index) const;
    // The frames of each gust.
    std::vector<FrameSpan> gustFrames() const;

private:
    struct Plan;
    std::unique_ptr<Plan> plan;
};

// Writes the video as H.264 at the options' bit rate; false with a message on failure.
bool writeOutdoorVideo(const std::string& path, const ClipRecipe& recipe,
                       const OutdoorOptions& options, std::string* error = nullptr);

} // namespace videogen
