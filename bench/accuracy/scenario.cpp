#include "scenario.h"

#include <algorithm>
#include <cstdio>

namespace
{
// Small, short videos: the grid holds hundreds of them.
const cv::Size frameSize{320, 240};
const cv::Rect areaRect{100, 60, 120, 120};
constexpr int lineX = 160;
constexpr int lineTop = 20, lineBottom = 220;
constexpr int maskInset = 4;
// Insects appear after the frames that an analysis skips.
constexpr int firstInsectFrame = 92;
constexpr int tailFrames = 5;
constexpr int framesSeenBeforeArea = 3;
constexpr double noiseSigma = 2;
constexpr double flickerAmplitude = 3;
// A lone insect is measured on this many videos.
constexpr int videosPerLoneInsect = 2;
} // namespace

std::string Scenario::label() const
{
    char text[64];
    const char* path =
        wander ? (pauses ? "wander+pause" : "wander") : (pauses ? "straight+pause" : "straight");
    std::snprintf(text, sizeof text, "%4d %5g %-14s %3d %-5s", size, speed, path, insects,
                  noisy ? "on" : "off");
    return text;
}

std::string Scenario::key() const
{
    char text[64];
    std::snprintf(text, sizeof text, "s%d_v%g_%s%s_n%d_%s", size, speed, wander ? "w" : "s",
                  pauses ? "p" : "", insects, noisy ? "noisy" : "clean");
    return text;
}

std::vector<Scenario> scenarioGrid()
{
    std::vector<Scenario> grid;
    for (int size : {4, 8, 16})
        for (double speed : {1.0, 4.0, 12.0, 30.0})
            for (bool wander : {false, true})
                for (bool pauses : {false, true})
                    for (int insects : {1, 5, 20})
                        for (bool noisy : {false, true})
                            grid.push_back({size, speed, wander, pauses, insects, noisy});
    return grid;
}

cv::Size BenchGeometry::frame(int scale)
{
    return frameSize * scale;
}

std::vector<cv::Point> BenchGeometry::line(int scale)
{
    return {cv::Point(lineX, lineTop) * scale, cv::Point(lineX, lineBottom) * scale};
}

std::vector<cv::Point> BenchGeometry::area(int scale)
{
    const cv::Point tl = areaRect.tl() * scale, br = areaRect.br() * scale;
    return {tl, {br.x, tl.y}, br, {tl.x, br.y}, tl};
}

std::vector<cv::Point> BenchGeometry::mask(int scale)
{
    const cv::Size size = frame(scale);
    const int inset = maskInset * scale;
    const int r = size.width - 1 - inset, b = size.height - 1 - inset;
    return {{inset, inset}, {r, inset}, {r, b}, {inset, b}, {inset, inset}};
}

int videosOf(const Scenario& s)
{
    return s.insects == 1 ? videosPerLoneInsect : 1;
}

unsigned drawnSeed(unsigned seed, unsigned draw)
{
    // A prime step far beyond the grids' own spread of seeds, so that draws never share a video.
    constexpr unsigned drawStep = 1000003u;
    return seed + draw * drawStep;
}

videogen::ClipRecipe recipeOf(const Scenario& s, int index, unsigned draw)
{
    videogen::ClipRecipe recipe;
    recipe.size = frameSize;
    // Cheaper to write and read than H.264, and as lossy.
    recipe.codec = videogen::Codec::MPEG4;
    recipe.seed = 1000u * static_cast<unsigned>(s.size) + 37u * static_cast<unsigned>(s.speed) +
                  static_cast<unsigned>(index) * 7919u + (s.wander ? 11u : 0u) +
                  (s.pauses ? 13u : 0u) + static_cast<unsigned>(s.insects) * 101u +
                  (s.noisy ? 17u : 0u);
    recipe.seed = drawnSeed(recipe.seed, draw);
    if (s.noisy) {
        recipe.noise = noiseSigma;
        recipe.flicker = flickerAmplitude;
    }
    videogen::MotionOptions m;
    m.count = s.insects;
    m.sizeMin = m.sizeMax = s.size;
    m.speedMin = m.speedMax = s.speed;
    m.wander = s.wander;
    m.pauses = s.pauses;
    m.firstFrame = firstInsectFrame;
    // A fast insect walks in from far enough to be seen a few times before it reaches the area:
    // one seen once before it vanishes into it shows no direction to anyone.
    m.lead = std::max(m.lead, static_cast<int>(framesSeenBeforeArea * s.speed) + s.size);
    m.seed = recipe.seed;
    recipe.blobs = videogen::crossingPaths(m, areaRect, frameSize);
    recipe.frames = videogen::endOfPaths(recipe.blobs) + tailFrames;
    return recipe;
}
