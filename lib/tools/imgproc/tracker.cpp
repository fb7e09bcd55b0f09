#include "tracker.h"

#include "targetpool.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <algorithm>
#include <opencv2/imgproc.hpp>
#include <string>

namespace
{
// The farthest match of classic tracking.
constexpr int classicMaxDistance = 1000;
} // namespace

Tracker::Tracker()
{
    targetTracker.init(CountingRules::classicKeptUnseenFrames, classicMaxDistance);
    TargetPool::instance()->resize(1000);
    detector.setFollowedInsects(&tracked_targets);
}

Tracker::~Tracker()
{
    TargetPool::destroyInstance();
}

template <typename Detect> void Tracker::run(Detect detect)
{
    QElapsedTimer stopwatch;
    stopwatch.start();
    detector.setUsualArea(rules.estimatesCrowds() ? crowds.usualArea() : 0);
    detect();
    if (rules.estimatesCrowds()) {
        findFaintInsects();
        dropSpecks();
    }
    targetTracker.track(detected_targets, tracked_targets);
    if (rules.estimatesCrowds())
        crowds.assign(tracked_targets);
    clean_detected_targets();
    if (QLoggingCategory::defaultCategory()->isDebugEnabled())
        qDebug("Exec in %d ms", static_cast<int>(stopwatch.elapsed()));
}

// A track matched long enough to be an insect, whose blob holds it alone.
bool Tracker::followedAlone(const Target& t) const
{
    return t.agemovement >= crowds.establishedMatches() && t.insects == 1;
}

// An insect followed on its own that crosses a darker or busier background, or that compression
// blurs, can show too little of itself against the background to make a blob: where it was to
// be, with nothing detected there, the frame is looked at again with a lower bar.
void Tracker::findFaintInsects()
{
    const int usual = crowds.usualArea();
    if (usual <= 0)
        return;
    const int leastPixels = static_cast<int>(CrowdEstimate::speckShare * usual);
    for (const Target* t : tracked_targets) {
        if (t->age != 0 || !followedAlone(*t))
            continue;
        const cv::Rect box = t->predictedBox(speckReach);
        // Where any blob reaches into the box, the insect may be part of it: a neighbour's
        // pixels are no trace of this one.
        const bool near = std::any_of(detected_targets.begin(), detected_targets.end(),
                                      [&](const Target* d) { return (box & d->box()).area() > 0; });
        if (!near)
            detector.addFainter(box, faintShare, leastPixels, detected_targets);
    }
}

// An insect followed on its own that fades against a darker or busier background shows only a
// speck of itself: where it was to be next, a speck is kept.
bool Tracker::continuesAnInsect(const Target& speck) const
{
    for (const Target* t : tracked_targets) {
        if (!followedAlone(*t))
            continue;
        const cv::Rect box = t->predictedBox(speckReach);
        if (!box.contains(speck.centroid))
            continue;
        // Where a whole blob lies there too, the insect is that blob.
        const bool wholeThere =
            std::any_of(detected_targets.begin(), detected_targets.end(), [&](const Target* d) {
                return !crowds.isSpeck(*d) && box.contains(d->centroid);
            });
        if (!wholeThere)
            return true;
    }
    return false;
}

// Specks are left out before tracking: linked from one flicker to the next, they make tracks that
// jump across lines.
void Tracker::dropSpecks()
{
    for (int i = detected_targets.size() - 1; i >= 0; --i) {
        if (crowds.isSpeck(*detected_targets[i]) && !continuesAnInsect(*detected_targets[i])) {
            TargetPool::instance()->release(detected_targets[i]);
            detected_targets.removeAt(i);
        }
    }
}

void Tracker::process(cv::Mat& frame)
{
    run([&] { detector.detect(frame, detected_targets); });
}

void Tracker::processColour(const cv::Mat& frame)
{
    run([&] { detector.detectColour(frame, detected_targets); });
}

void Tracker::processWorkingBox(const cv::Mat& grey)
{
    run([&] { detector.detectWorkingBox(grey, detected_targets); });
}

void Tracker::setMode(CountingMode mode)
{
    setRules(CountingRules::of(mode));
}

void Tracker::setRules(const CountingRules& r)
{
    rules = r;
    detector.setReference(rules.reference());
    detector.setMorphology(rules.morphology());
    targetTracker.setPrediction(rules.predicts());
    crowds.reset();
    setFrameRate(frameRate);
}

// Strict tracking keeps an unseen target for a while, following its predicted path, so that
// insects that overlap for a moment keep their own tracks.
void Tracker::setFrameRate(double fps)
{
    frameRate = fps;
    targetTracker.init(rules.keptUnseenFrames(fps), classicMaxDistance);
    if (rules.predicts())
        targetTracker.setFrameRate(fps);
    crowds.setFrameRate(fps);
    detector.setFrameRate(fps);
}

void Tracker::clean_detected_targets()
{
    while (!detected_targets.isEmpty()) {
        qWarning("Detected target should be empty!!!");
        TargetPool::instance()->release(detected_targets.takeFirst());
    }
}

void Tracker::reset()
{
    crowds.reset();
    TargetPool* pool = TargetPool::instance();
    for (QList<Target*>* list : {&detected_targets, &tracked_targets}) {
        while (!list->isEmpty()) {
            Target::resetIdCounter();
            pool->release(list->takeFirst());
        }
    }
}

void draw_targets(cv::Mat& image, QList<Target*>& targets)
{
    if (image.empty())
        return;
    const cv::Scalar matched(0, 0, 255);
    const cv::Scalar missed(18, 18, 152);
    const cv::Scalar previousMark(255, 0, 0);
    const cv::Scalar path(0, 255, 0);
    for (const Target* t : qAsConst(targets)) {
        const bool seen = t->age == 0;
        const cv::Scalar& colour = seen ? matched : missed;
        const int labelY = seen ? t->origin.y : t->origin.y + 20;
        const bool hasLast = t->last.x != 0 && t->last.y != 0;
        cv::putText(image, std::to_string(t->id), cv::Point(t->origin.x, labelY),
                    cv::FONT_HERSHEY_COMPLEX_SMALL, 1.0, colour, 2, cv::LINE_8);
        if (hasLast)
            cv::rectangle(image, cv::Rect(t->last.x - 5, t->last.y - 5, 10, 10), previousMark, 1,
                          cv::LINE_8);
        cv::rectangle(image, cv::Rect(t->origin.x, t->origin.y, t->width, t->height), colour, 1,
                      cv::LINE_8);
        cv::circle(image, t->centroid, 2, colour, 2, cv::LINE_8);
        if (hasLast)
            cv::line(image, t->centroid, t->last, path, 1, cv::LINE_8);
    }
}
