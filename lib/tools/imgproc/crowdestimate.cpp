#include "crowdestimate.h"

#include "countingmode.h"

#include <algorithm>
#include <cmath>

void CrowdEstimate::reset()
{
    histogram.assign(largestArea + 1, 0);
    samples = 0;
    pixels = 0;
    usual = 0;
    std::fill(std::begin(smearHistogram), std::end(smearHistogram), 0);
    smearSamples = 0;
}

namespace
{
// The blob's extent across its way: its box seen from the side of its velocity.
double acrossExtent(const Target& t, double speed)
{
    return (std::abs(t.velocity.y) * t.width + std::abs(t.velocity.x) * t.height) / speed;
}

// A step shorter than the blob is wide smears less than a square of its width onto it, which
// a single insect's blob varies by anyway.
bool smearShows(const Target& t, double speed)
{
    return speed > 0 && speed >= std::max(1.0, acrossExtent(t, speed));
}
} // namespace

CrowdEstimate::CrowdEstimate()
{
    reset();
}

void CrowdEstimate::setFrameRate(double fps)
{
    established = framesIn(establishedSeconds, fps, 2);
    steady = framesIn(steadySeconds, fps, 1);
    raising = framesIn(raisingSeconds, fps, 2);
    movingStep = movingSpeed / frameRateOr(fps);
}

// A track followed on its own: its area is one insect's, and a moving one shows how far the
// exposure smears it.
void CrowdEstimate::observe(const Target& t)
{
    const int area = std::clamp(t.area, 0, largestArea);
    ++histogram[static_cast<size_t>(area)];
    ++samples;
    pixels += area;
    const double speed = cv::norm(t.velocity);
    if (usual <= 0 || !smearShows(t, speed))
        return;
    const double share = (t.area - usual) / (speed * acrossExtent(t, speed));
    ++smearHistogram[std::clamp(static_cast<int>(std::lround(share * smearBins)), 0, smearBins)];
    ++smearSamples;
}

double CrowdEstimate::smearShare() const
{
    if (smearSamples < samplesNeeded)
        return 1;
    int seen = 0;
    for (int b = 0; b <= smearBins; ++b) {
        seen += smearHistogram[b];
        if (2 * seen >= smearSamples)
            return double(b) / smearBins;
    }
    return 1;
}

// The usual area, with the smear of its motion.
double CrowdEstimate::areaOfOne(const Target& t) const
{
    const double speed = cv::norm(t.velocity);
    if (!smearShows(t, speed))
        return usual;
    return usual + smearShare() * speed * acrossExtent(t, speed);
}

// The median pixel's blob: half of the pixels seen lie in blobs no larger. Fragments of an insect
// (a wing, a leg, its shadow) and specks of noise, each followed on its own, are many but small,
// and barely move it.
int CrowdEstimate::medianArea() const
{
    long long seenPixels = 0;
    for (size_t a = 0; a < histogram.size(); ++a) {
        seenPixels += static_cast<long long>(histogram[a]) * static_cast<long long>(a);
        if (2 * seenPixels >= pixels)
            return static_cast<int>(a);
    }
    return 0;
}

int CrowdEstimate::insectsIn(int area) const
{
    if (usual <= 0)
        return 1;
    // Overlapping insects cover less than their sum, and a single insect's blob varies a little.
    const double insects = double(area) / usual + (1 - wholeInsectShare);
    return std::clamp(static_cast<int>(insects), 1, mostInsects);
}

// An unseen target whose predicted centre lies in the blob's box.
bool CrowdEstimate::hides(const Target& blob, const Target& unseen)
{
    return blob.box().contains(unseen.predictedAt(unseen.age));
}

// A blob that has covered another track's insect holds one insect of its own: the other track
// counts its insect when it comes out again. Otherwise the blob's size counts once it has held
// for a few matches, so that two insects brushing past each other stay one each.
void CrowdEstimate::judge(Target& t, const QList<Target*>& tracked) const
{
    for (const Target* u : tracked)
        if (u->age > 0 && hides(t, *u))
            t.coveredAnother = true;
    int seen = 1;
    if (!t.coveredAnother && usual > 0) {
        const double insects = t.area / areaOfOne(t) + (1 - wholeInsectShare);
        seen = std::clamp(static_cast<int>(insects), 1, mostInsects);
    }
    // Later on, a larger blob is more likely another insect passing by than one coming out.
    if (t.agemovement > raising)
        seen = std::min(seen, t.insects);
    t.blobInsectsRun = seen == t.blobInsects ? t.blobInsectsRun + 1 : 1;
    t.blobInsects = seen;
    if (t.blobInsectsRun >= steady)
        t.insects = seen;
}

// A track that has gone farther than its own width from where it settled: an insect walks away,
// while a leaf swaying in the wind or a fleck of texture shaken with the camera moves back and
// forth about one place. Where it settled, not where it began: a track often begins on a fleck
// and leaps onto a nearby blob at its first matches, which is no walk.
bool CrowdEstimate::walkedAway(const Target& t)
{
    return cv::norm(t.centroid - t.settledAt) >= std::min(t.width, t.height);
}

// Whether a blob holds one insect is not asked here: that is judged against the usual area, and
// a usual area learnt wrong early on would keep out the very insects that could correct it.
void CrowdEstimate::assign(const QList<Target*>& tracked)
{
    const int before = samples;
    for (Target* t : tracked) {
        if (t->age != 0 || t->agemovement < established)
            continue;
        if (t->agemovement == established)
            t->settledAt = t->centroid;
        else if (!t->coveredAnother && cv::norm(t->velocity) >= movingStep && walkedAway(*t))
            observe(*t);
    }
    if (samples != before && samples >= samplesNeeded)
        usual = medianArea();
    for (Target* t : tracked)
        if (t->age == 0)
            judge(*t, tracked);
}
