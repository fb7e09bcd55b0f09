#pragma once

#include "target.h"

#include <QList>
#include <vector>

// How many insects each tracked blob holds. Insects that overlap are one blob to the detector;
// its area, against the area of one insect, tells how many it holds.
//
// One insect's usual area is learnt from insects followed on their own: the pixel-weighted median
// over the matches of established tracks that never took in another and have walked away from
// where they settled, so that merged pairs, fragments, specks of noise and a leaf swaying in place
// barely move it. A moving blob is measured against it widened by the smear of its motion: a
// camera's exposure draws a moving insect along its way, and how much of a frame's step it draws
// is learnt from the insects followed on their own too (until it is known, the whole step is
// allowed for).
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
    // A blob under this share of the usual area is no insect of the video: a fleck of flickering
    // texture, a speck of compression or of sensor noise. Insects within one video differ in
    // length by less than twice, in area by less than four times.
    static constexpr double speckShare = 0.25;
    // Whether `blob` is such a speck; nothing is, until the usual area is known.
    bool isSpeck(const Target& blob) const { return blob.area < speckShare * usual; }
    int insectsIn(int area) const;

    // The video's frame rate: the spans below become matches (frames) at it. 25 until set.
    void setFrameRate(double fps);

    // Matched this long in a row, a track's area is taken as an insect's.
    static constexpr double establishedSeconds = 0.12;
    // ...when it moves at least this fast, in pixels a second: a fleck of texture, a speck of dirt
    // or a glue bubble that flickers in place is tracked on its own too, and is no insect.
    static constexpr double movingSpeed = 15;
    // The share of a frame's step that the exposure smears a moving insect over, as learnt from
    // insects stepping farther than they are wide; 1 until enough of them have been followed on
    // their own.
    double smearShare() const;

    // Areas seen before blobs are judged, and the most insects one blob is taken to hold.
    static constexpr int samplesNeeded = 8;
    static constexpr int mostInsects = 4;
    // The share of the usual area past a whole number of insects that counts as one more: a blob
    // 1.8 times the usual area holds two. Insects of one video differ in length by up to 1.6
    // times, so the largest alone covers about 1.6 times the usual (median) area, and its legs,
    // shadow and blur add to that.
    static constexpr double wholeInsectShare = 0.8;
    // How long a blob must show a new number of insects before the track takes it.
    static constexpr double steadySeconds = 0.08;
    // Followed this long, a track's number of insects can only go down.
    static constexpr double raisingSeconds = 0.8;
    // The same spans in matches at the video's frame rate.
    int establishedMatches() const { return established; }
    int steadyMatches() const { return steady; }
    int raisingMatches() const { return raising; }
    // Areas above this are counted in the top bin: no insect is that large.
    static constexpr int largestArea = 1 << 14;

private:
    void observe(const Target& t);
    int medianArea() const;
    double areaOfOne(const Target& t) const;
    static bool hides(const Target& blob, const Target& unseen);
    static bool walkedAway(const Target& t);
    void judge(Target& t, const QList<Target*>& tracked) const;

    int established = 3;
    int steady = 2;
    int raising = 20;
    double movingStep = movingSpeed / 25; // movingSpeed in pixels a frame
    std::vector<int> histogram;
    int samples = 0;
    long long pixels = 0; // the areas' sum
    // Smear shares seen, in steps of 1 / smearBins.
    static constexpr int smearBins = 20;
    int smearHistogram[smearBins + 1] = {};
    int smearSamples = 0;
    int usual = 0;
};
