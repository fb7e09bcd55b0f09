#include "outdoorgrid.h"

#include "motion.h"
#include "scenario.h"

#include <algorithm>
#include <cstdio>
#include <opencv2/imgproc.hpp>

namespace
{
// Insects appear after the frames that an analysis skips.
constexpr int firstInsectFrame = 92;
constexpr int tailFrames = 5;
// Insects walk in from this far before the area, and out as far past it.
constexpr int walkIn = 60;
constexpr int laneInset = 20;
constexpr double smallLengths[2] = {8, 13}, largeLengths[2] = {12, 19};
constexpr double slowSpeeds[2] = {30, 80}, fastSpeeds[2] = {90, 250}; // px/s
constexpr double noiseSigma = 2;
constexpr double calmDrift = 0.03, windyDrift = 0.1;
constexpr int insectsCycle[4] = {1, 3, 5, 8};
constexpr int swarmInsects = 20;

const char* const backdropNames[] = {"plain", "card", "soil", "leaf"};
const char* const conditionNames[] = {"calm", "shake", "clouds", "sway", "all"};
} // namespace

std::string OutdoorScenario::backdropName() const
{
    return backdropNames[static_cast<int>(backdrop)];
}

std::string OutdoorScenario::conditionName() const
{
    return conditionNames[static_cast<int>(condition)];
}

bool OutdoorScenario::swarm() const
{
    return insects > 8;
}

std::string OutdoorScenario::label() const
{
    char text[80];
    std::snprintf(text, sizeof text, "%-4s %-6s %-5s %-4s %3d %3d", backdropName().c_str(),
                  conditionName().c_str(), large ? "large" : "small", fast ? "fast" : "slow", fps,
                  insects);
    return text;
}

std::string OutdoorScenario::key() const
{
    char text[80];
    std::snprintf(text, sizeof text, "%s_%s_%s_%s_f%d_n%d", backdropName().c_str(),
                  conditionName().c_str(), large ? "large" : "small", fast ? "fast" : "slow", fps,
                  insects);
    return text;
}

std::vector<OutdoorScenario> outdoorGrid()
{
    using videogen::Backdrop;
    std::vector<OutdoorScenario> grid;
    int cell = 0;
    for (Backdrop b : {Backdrop::Card, Backdrop::Soil, Backdrop::Leaf})
        for (Condition c : {Condition::Calm, Condition::Shake, Condition::Clouds, Condition::Sway,
                            Condition::All}) {
            for (int k = 0; k < 4; ++k) {
                const int fps = (k + cell) % 2 == 0 ? 10 : 25;
                grid.push_back({b, c, k / 2 == 1, k % 2 == 1, fps, insectsCycle[(k + cell) % 4]});
            }
            ++cell;
        }
    for (Backdrop b : {Backdrop::Card, Backdrop::Soil, Backdrop::Leaf})
        grid.push_back({b, Condition::All, b == Backdrop::Soil, b != Backdrop::Card, 90, 3});
    for (Backdrop b : {Backdrop::Card, Backdrop::Soil, Backdrop::Leaf})
        grid.push_back({b, Condition::All, false, b == Backdrop::Leaf, 25, swarmInsects});
    return grid;
}

namespace
{
// The scenario's range of insect lengths (px) and of speeds (px/s), shortest and longest.
const double* lengthsOf(const OutdoorScenario& s)
{
    return s.large ? largeLengths : smallLengths;
}

const double* speedsOf(const OutdoorScenario& s)
{
    return s.fast ? fastSpeeds : slowSpeeds;
}
} // namespace

double longestInsect(const OutdoorScenario& s)
{
    return lengthsOf(s)[1];
}

double longestStep(const OutdoorScenario& s)
{
    return speedsOf(s)[1] / s.fps;
}

OutdoorClip outdoorClipOf(const OutdoorScenario& s, unsigned draw, int scale)
{
    OutdoorClip clip;
    videogen::ClipRecipe& r = clip.recipe;
    r.size = BenchGeometry::frame(scale);
    r.fps = s.fps;
    r.noise = noiseSigma;
    r.seed = 5000u + 101u * static_cast<unsigned>(s.backdrop) +
             37u * static_cast<unsigned>(s.condition) + (s.large ? 7u : 0u) + (s.fast ? 13u : 0u) +
             3u * static_cast<unsigned>(s.fps) + 1009u * static_cast<unsigned>(s.insects);
    r.seed = drawnSeed(r.seed, draw);
    videogen::MotionOptions m;
    m.count = s.insects;
    m.sizeMin = scale * lengthsOf(s)[0];
    m.sizeMax = scale * lengthsOf(s)[1];
    m.speedMin = scale * speedsOf(s)[0];
    m.speedMax = scale * speedsOf(s)[1];
    m.wander = !s.fast;
    m.pauses = !s.fast;
    m.lead = scale * walkIn;
    m.firstFrame = firstInsectFrame;
    m.seed = r.seed;
    const cv::Rect area = cv::boundingRect(BenchGeometry::area(scale));
    // Lanes keep off the area's top and bottom borders: an insect walking along a border a pixel
    // in and out makes true events no one could fairly be asked to see.
    const int inset = scale * laneInset;
    const cv::Rect lanes(area.x, area.y + inset, area.width, area.height - 2 * inset);
    r.blobs = videogen::crossingPathsPerSecond(m, lanes, r.size, r.fps);
    r.frames = videogen::endOfPaths(r.blobs) + tailFrames;

    videogen::OutdoorOptions& o = clip.options;
    o.backdrop = s.backdrop;
    o.insectShapes = true;
    o.exposure = 1.0 / 50;
    o.kbitPerSecond = videogen::OutdoorOptions::realisticBitRate(r.size, r.fps);
    o.sceneStartFrame = firstInsectFrame;
    o.lightDrift = calmDrift;
    const bool all = s.condition == Condition::All;
    if (all || s.condition == Condition::Shake) {
        o.jitter = 0.25 * scale;
        o.gustShift *= scale;
        o.gusts = -1;
    }
    if (all || s.condition == Condition::Clouds)
        o.clouds = -1;
    if (all || s.condition == Condition::Sway)
        o.sway = true;
    if (all)
        o.lightDrift = windyDrift;
    o.keepClear = {area, cv::boundingRect(BenchGeometry::line(scale))};
    return clip;
}
