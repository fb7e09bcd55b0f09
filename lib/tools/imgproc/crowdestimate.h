#pragma once

#include "target.h"

#include <QList>
#include <vector>

// How many insects each tracked blob holds. Insects that overlap are one blob to the detector;
// its area, against the usual area of one insect in this video, tells how many it holds. The
// usual area is the median over the matches of established tracks, so that specks of noise and
// the occasional merged pair do not move it.
class CrowdEstimate
{
public:
    CrowdEstimate();
    // Forgets the areas seen (start of a video).
    void reset();
    // Sets `insects` on every target matched this frame.
    void assign(const QList<Target*>& tracked);

    // The usual area of one insect, 0 until enough have been seen.
    int usualArea() const { return usual; }
    int insectsIn(int area) const;

    // Matches in a row before a track's area is taken as an insect's.
    static constexpr int establishedMatches = 3;
    // Areas seen before blobs are judged, and the most insects one blob is taken to hold.
    static constexpr int samplesNeeded = 8;
    static constexpr int mostInsects = 4;
    // The share of the usual area past a whole number of insects that counts as one more: a blob
    // 1.7 times the usual area holds two.
    static constexpr double wholeInsectShare = 0.7;
    // Matches in a row a blob must show a new number of insects before the track takes it.
    static constexpr int steadyMatches = 2;
    // Matches after which a track's number of insects can only go down.
    static constexpr int raisingMatches = 20;
    // Areas above this are counted in the top bin: no insect is that large.
    static constexpr int largestArea = 1 << 14;

private:
    void observe(int area);
    int medianArea() const;
    static bool hides(const Target& blob, const Target& unseen);
    void judge(Target& t, const QList<Target*>& tracked) const;

    std::vector<int> histogram;
    int samples = 0;
    int usual = 0;
};
