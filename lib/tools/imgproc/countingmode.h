#pragma once

#include "mvtdetector.h"

#include <QString>

// How a run turns tracked insects into events. Classic is the long-standing rule set that
// stored results and comparisons with earlier seasons rely on. Strict follows every tracked
// insect and counts each crossing, entry and exit once, and finds insects that move slowly.
// A run keeps its mode from start to end.
enum class CountingMode { Classic, Strict };

// "classic" or "strict".
QString countingModeName(CountingMode mode);
// False, leaving `mode` untouched, for any other text.
bool countingModeFromName(const QString& name, CountingMode& mode);

// What a counting mode means to every layer of the engine, decided here once. The run builds it
// from the mode and hands it down; the detector, the tracker and the counting engine ask it
// instead of testing the mode:
//
//   const CountingRules rules = CountingRules::of(CountingMode::Strict);
//   tracker.setRules(rules);          // reference, morphology, prediction, crowd estimate
//   insectDetect.setRules(rules);     // which counting rules
//   tracker.setFrameRate(videoFps);   // each video: its time constants in frames
//
// Classic counting keeps its constants in frames whatever the frame rate, so that its results
// stay exactly as they were; strict counting's are in seconds.
class CountingRules
{
public:
    static CountingRules of(CountingMode mode);

    CountingMode mode() const { return countingMode; }
    // Detection: what each frame is compared with, and how its difference is cleaned up.
    MvtDetector::Reference reference() const { return ref; }
    BlobMorphology morphology() const;
    // Detection looks inside the counting area too, where insects are followed.
    bool detectsInsideArea() const { return insideArea; }
    // Detection may read a video's luma as decoded instead of the grey of its colour picture:
    // it judges each pixel against its own past, so the scale of its levels is all one.
    bool readsLuma() const { return luma; }
    // Tracking: each target is looked for where its velocity carries it, within gates.
    bool predicts() const { return prediction; }
    // Blobs of overlapping insects count each insect.
    bool estimatesCrowds() const { return crowds; }
    // Each video starts without targets and with a fresh reference, so that no insect of one
    // video is seen in the next.
    bool restartsEachVideo() const { return restarts; }
    // Counting: every tracked insect's crossings, entries and exits once each, with their
    // direction; otherwise the classic rules.
    bool followsEachInsect() const { return followsInsects; }

    // Frames an unseen target is kept at `fps` frames a second before it is dropped.
    int keptUnseenFrames(double fps) const;

    // A strict target unseen this long has left or was never an insect.
    static constexpr double strictKeptUnseenSeconds = 1.0;
    // Classic counting drops a target after five frames, at any frame rate.
    static constexpr int classicKeptUnseenFrames = 5;

private:
    CountingMode countingMode = CountingMode::Classic;
    MvtDetector::Reference ref = MvtDetector::Reference::PreviousFrame;
    bool insideArea = false;
    bool luma = false;
    bool prediction = false;
    bool crowds = false;
    bool restarts = false;
    bool followsInsects = false;
};

// Whole frames in `seconds` at `fps` frames a second, at least `atLeast`. A rate that is not
// positive (a video that does not report one) is taken as 25 frames a second.
int framesIn(double seconds, double fps, int atLeast = 1);
// `fps`, or usualFrameRate when it is not a positive finite number.
double frameRateOr(double fps);
// The rate taken for a video that reports none.
constexpr double usualFrameRate = 25;
