#include "motion.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace videogen
{

namespace
{

constexpr double pi = 3.14159265358979323846;
// Wandering: how quickly the turning rate changes, how long it lasts, and how strongly the
// insect is pulled back towards its goal so that it still crosses.
constexpr double turnNoise = 0.12;
constexpr double turnMemory = 0.8;
constexpr double goalPull = 0.08;
constexpr int shortestPause = 8;
constexpr int longestPause = 30;
// A path that has not reached its end after this many times its straight duration is cut.
constexpr int pathLengthLimit = 4;

struct Walker {
    cv::Point2d at;
    double heading = 0;
    double turning = 0;
    double speed = 1;
    double endX = 0;
    double laneY = 0;
    bool rightwards = true;

    bool arrived() const { return rightwards ? at.x >= endX : at.x <= endX; }
};

double angleTowards(double from, double to)
{
    return std::remainder(to - from, 2 * pi);
}

void wanderStep(Walker& w, cv::RNG& rng)
{
    w.turning = turnMemory * w.turning + rng.gaussian(turnNoise);
    const double goal = std::atan2(w.laneY - w.at.y, w.endX - w.at.x);
    w.heading += w.turning + goalPull * angleTowards(w.heading, goal);
}

cv::Point clampedPoint(const cv::Point2d& p, cv::Size frame)
{
    return cv::Point(std::clamp(static_cast<int>(std::lround(p.x)), 1, frame.width - 2),
                     std::clamp(static_cast<int>(std::lround(p.y)), 1, frame.height - 2));
}

// Where an insect with pauses stops: on the rectangle's near side, its middle, its far side, or
// anywhere between, with equal chances.
double pauseX(const cv::Rect& through, bool rightwards, cv::RNG& rng)
{
    const double nearSide = rightwards ? through.x : through.br().x;
    const double farSide = rightwards ? through.br().x : through.x;
    switch (rng.uniform(0, 4)) {
    case 0:
        return nearSide;
    case 1:
        return (nearSide + farSide) / 2;
    case 2:
        return farSide;
    default:
        return rng.uniform(std::min(nearSide, farSide), std::max(nearSide, farSide));
    }
}

std::vector<cv::Point> walk(Walker w, const MotionOptions& o, const cv::Rect& through,
                            cv::Size frame, cv::RNG& rng)
{
    const double stopAt = o.pauses ? pauseX(through, w.rightwards, rng) : 0;
    int pauseLeft = o.pauses ? rng.uniform(shortestPause, longestPause + 1) : 0;
    const double distance = std::abs(w.endX - w.at.x);
    const int limit = pathLengthLimit * static_cast<int>(distance / w.speed) + 2 * longestPause;
    std::vector<cv::Point> path{clampedPoint(w.at, frame)};
    while (!w.arrived() && static_cast<int>(path.size()) < limit) {
        const bool atStop = w.rightwards ? w.at.x >= stopAt : w.at.x <= stopAt;
        if (pauseLeft > 0 && atStop) {
            --pauseLeft;
        } else {
            if (o.wander)
                wanderStep(w, rng);
            w.at += w.speed * cv::Point2d(std::cos(w.heading), std::sin(w.heading));
            w.at.y = std::clamp(w.at.y, 2.0, frame.height - 3.0);
        }
        path.push_back(clampedPoint(w.at, frame));
    }
    return path;
}

Walker startOf(const MotionOptions& o, const cv::Rect& through, cv::Size frame, bool rightwards,
               double laneY, double speed)
{
    Walker w;
    const double left = std::max(2.0, through.x - double(o.lead));
    const double right = std::min(frame.width - 3.0, through.br().x + double(o.lead));
    w.rightwards = rightwards;
    w.at = {rightwards ? left : right, laneY};
    w.endX = rightwards ? right : left;
    w.laneY = laneY;
    w.heading = rightwards ? 0 : pi;
    w.speed = speed;
    return w;
}

// Frames an insect needs to reach `x` from its start, ignoring pauses and wandering.
double framesTo(const Walker& w, double x)
{
    return std::abs(x - w.at.x) / w.speed;
}

} // namespace

std::vector<Blob> crossingPaths(const MotionOptions& o, const cv::Rect& through, cv::Size frame)
{
    cv::RNG rng(o.seed);
    std::vector<Blob> blobs;
    const double straightFrames = (through.width + 2.0 * o.lead) / std::max(0.1, o.speedMin);
    // Insects start within the first half of one crossing, so that they are on their way at once.
    const int spread = o.count > 1 ? static_cast<int>(straightFrames / 2) + 1 : 1;
    double meetingX = 0;
    int meetingFrame = 0;
    for (int i = 0; i < o.count; ++i) {
        // Alternating, starting with a side drawn from the seed, so that lone insects of
        // different seeds come from both sides.
        const bool rightwards = (i + o.seed) % 2 == 0;
        const double size = rng.uniform(o.sizeMin, std::nextafter(o.sizeMax, 1e9));
        const double speed =
            std::max(0.1, rng.uniform(o.speedMin, std::nextafter(o.speedMax, 1e9)));
        double laneY = rng.uniform(double(through.y), double(through.br().y));
        int start = o.firstFrame + rng.uniform(0, spread);
        const bool secondOfPair = o.closePasses && i % 2 == 1;
        if (secondOfPair) {
            // Close to its partner's lane, timed to meet it inside the rectangle.
            laneY = std::clamp(blobs.back().path.front().y + rng.uniform(-size, size),
                               double(through.y), double(through.br().y));
        }
        Walker w = startOf(o, through, frame, rightwards, laneY, speed);
        if (o.closePasses && !secondOfPair) {
            meetingX = rng.uniform(double(through.x), double(through.br().x));
            meetingFrame = start + static_cast<int>(framesTo(w, meetingX));
        } else if (secondOfPair) {
            start = std::max(o.firstFrame, meetingFrame - static_cast<int>(framesTo(w, meetingX)));
        }
        Blob b;
        b.radius = std::max(1, static_cast<int>(std::lround(size / 2)));
        b.firstFrame = start;
        b.path = walk(w, o, through, frame, rng);
        b.start = b.path.front();
        blobs.push_back(std::move(b));
    }
    return blobs;
}

std::vector<Blob> retimed(const std::vector<Blob>& blobs, double stepsPerSecond, double fps,
                          int firstFrame)
{
    const double stepsPerFrame = stepsPerSecond / fps;
    std::vector<Blob> out;
    for (const Blob& b : blobs) {
        Blob r = b;
        // The first frame at or after the blob's first step.
        const int skip = static_cast<int>(std::ceil(b.firstFrame / stepsPerFrame - 1e-9));
        r.firstFrame = firstFrame + skip;
        if (b.lastFrame != INT_MAX)
            r.lastFrame =
                firstFrame + static_cast<int>(std::floor(b.lastFrame / stepsPerFrame + 1e-9));
        if (b.path.empty()) {
            r.velocity = b.velocity * stepsPerFrame;
            r.start = b.start + b.velocity * (skip * stepsPerFrame - b.firstFrame);
            out.push_back(r);
            continue;
        }
        r.path.clear();
        const double last = static_cast<double>(b.path.size() - 1);
        for (int k = skip;; ++k) {
            const double step = k * stepsPerFrame - b.firstFrame;
            if (step > last + 1e-9)
                break;
            const size_t i = std::min(static_cast<size_t>(step), b.path.size() - 1);
            const size_t j = std::min(i + 1, b.path.size() - 1);
            const double f = step - static_cast<double>(i);
            const cv::Point2d p = cv::Point2d(b.path[i]) * (1 - f) + cv::Point2d(b.path[j]) * f;
            r.path.emplace_back(static_cast<int>(std::lround(p.x)),
                                static_cast<int>(std::lround(p.y)));
        }
        if (r.path.empty())
            r.lastFrame = r.firstFrame - 1; // never seen at this frame rate
        else
            r.start = r.path.front();
        out.push_back(r);
    }
    return out;
}

std::vector<Blob> crossingPathsPerSecond(const MotionOptions& options, const cv::Rect& through,
                                         cv::Size frame, double fps)
{
    MotionOptions steps = options;
    steps.speedMin /= pathStepsPerSecond;
    steps.speedMax /= pathStepsPerSecond;
    steps.firstFrame = 0;
    return retimed(crossingPaths(steps, through, frame), pathStepsPerSecond, fps,
                   options.firstFrame);
}

int endOfPaths(const std::vector<Blob>& blobs)
{
    int end = 0;
    for (const Blob& b : blobs) {
        if (b.path.empty() && b.lastFrame == INT_MAX)
            return INT_MAX;
        const int last = b.path.empty()
                             ? b.lastFrame
                             : std::min(b.lastFrame, b.firstFrame + int(b.path.size()) - 1);
        end = std::max(end, last + 1);
    }
    return end;
}

} // namespace videogen
