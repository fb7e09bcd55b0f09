#include "target.h"

#include <QDebug>
#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace
{
int idCounter = 0; // process-wide; only the GUI thread (or the one analysis thread) uses it
}

void Target::init()
{
    id = idCounter;
    // Wraps instead of overflowing after 2^31 identities.
    idCounter = static_cast<int>(static_cast<unsigned>(idCounter) + 1u);
    origin = cv::Point(-1, -1);
    centroid = cv::Point(-1, -1);
    width = height = area = movement = 0;
    age = 0;
    last = cv::Point(0, 0);
    velocity = velocityBefore = cv::Point2f();
    velocitySamples = 0;
    insects = 1;
    blobInsects = 1;
    blobInsectsRun = 0;
    coveredAnother = false;
    settledAt = cv::Point(-1, -1);
}

void Target::setBox(const cv::Rect& box)
{
    origin = box.tl();
    width = box.width;
    height = box.height;
    centroid = cv::Point(box.x + box.width / 2, box.y + box.height / 2);
}

void Target::update(const Target& detection)
{
    last = centroid;
    centroid = detection.centroid;
    origin = detection.origin;
    width = detection.width;
    height = detection.height;
    area = detection.area;
}

void Target::followStep(const Target& detection, int frames, float weight)
{
    const cv::Point2f step = cv::Point2f(detection.centroid - centroid) / std::max(1, frames);
    velocityBefore = velocity;
    // Part of each new step: box centres jitter by a pixel or two from frame to frame.
    velocity = velocitySamples == 0 ? step : (1 - weight) * velocity + weight * step;
    ++velocitySamples;
}

cv::Point Target::predictedAt(int frames) const
{
    return centroid + cv::Point(cvRound(velocity.x * frames), cvRound(velocity.y * frames));
}

cv::Rect Target::predictedBox(int reach) const
{
    const cv::Point next = predictedAt(age + 1);
    return cv::Rect(next.x - width / 2 - reach, next.y - height / 2 - reach, width + 2 * reach,
                    height + 2 * reach);
}

double Target::distance(const Target& other) const
{
    const long double dx = std::abs(centroid.x - other.centroid.x);
    const long double dy = std::abs(centroid.y - other.centroid.y);
    return static_cast<double>(std::sqrt(dx * dx + dy * dy));
}

void Target::computeArea()
{
    area = width * height;
}

void Target::computeMovement()
{
    const long double dx = std::abs(centroid.x - last.x);
    const long double dy = std::abs(centroid.y - last.y);
    movement = static_cast<int>(std::sqrt(dx * dx + dy * dy));
}

void Target::print() const
{
    qDebug("Target %d @ %dx%d [Last @ %dx%d] : Origin @ %dx%d", id, centroid.x, centroid.y, last.x,
           last.y, origin.x, origin.y);
}

void Target::resetIdCounter()
{
    idCounter = 0;
}

int Target::nextId()
{
    return idCounter;
}
