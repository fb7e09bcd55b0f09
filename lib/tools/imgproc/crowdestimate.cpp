#include "crowdestimate.h"

#include "countingmode.h"

#include <algorithm>
#include <cmath>

void CrowdEstimate::reset()
{
    histogram.assign(largestArea + 1, 0);
    samples = 0;
    usual = 0;
}

CrowdEstimate::CrowdEstimate()
{
    reset();
}

void CrowdEstimate::setFrameRate(double fps)
{
    established = framesIn(establishedSeconds, fps, 2);
    steady = framesIn(steadySeconds, fps, 1);
    raising = framesIn(raisingSeconds, fps, 2);
}

void CrowdEstimate::observe(int area)
{
    ++histogram[static_cast<size_t>(std::clamp(area, 0, largestArea))];
    ++samples;
}

int CrowdEstimate::medianArea() const
{
    int seen = 0;
    for (size_t a = 0; a < histogram.size(); ++a) {
        seen += histogram[a];
        if (2 * seen >= samples)
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
    const cv::Rect box(blob.origin, cv::Size(blob.width, blob.height));
    return box.contains(unseen.predictedAt(unseen.age));
}

// A blob that has covered another track's insect holds one insect of its own: the other track
// counts its insect when it comes out again. Otherwise the blob's size counts once it has held
// for a few matches, so that two insects brushing past each other stay one each.
void CrowdEstimate::judge(Target& t, const QList<Target*>& tracked) const
{
    for (const Target* u : tracked)
        if (u->age > 0 && hides(t, *u))
            t.coveredAnother = true;
    int seen = t.coveredAnother ? 1 : insectsIn(t.area);
    // Later on, a larger blob is more likely another insect passing by than one coming out.
    if (t.agemovement > raising)
        seen = std::min(seen, t.insects);
    t.blobInsectsRun = seen == t.blobInsects ? t.blobInsectsRun + 1 : 1;
    t.blobInsects = seen;
    if (t.blobInsectsRun >= steady)
        t.insects = seen;
}

void CrowdEstimate::assign(const QList<Target*>& tracked)
{
    const int before = samples;
    for (const Target* t : tracked)
        if (t->age == 0 && t->agemovement >= established)
            observe(t->area);
    if (samples != before && samples >= samplesNeeded)
        usual = medianArea();
    for (Target* t : tracked)
        if (t->age == 0)
            judge(*t, tracked);
}
