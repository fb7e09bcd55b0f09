#pragma once

#include "countingmode.h"
#include "crowdestimate.h"
#include "mvtdetector.h"
#include "target.h"
#include "targettracker.h"

#include <QList>
#include <opencv2/core.hpp>

// The engine's entry point for one analysed frame: detection, tracking and clean-up.
// Constructing it sizes the process-wide TargetPool to 1000 targets; destroying it frees the pool.
class Tracker
{
public:
    Tracker();
    ~Tracker();
    Tracker(const Tracker&) = delete;
    Tracker& operator=(const Tracker&) = delete;

    void process(cv::Mat& frame); // 8-bit greyscale frame
    // The same for the 8-bit BGR frame whose cv::cvtColor grey process would be given.
    void processColour(const cv::Mat& frame);
    // The same for the grey of the detector's working box alone (see MvtDetector::workingBox).
    void processWorkingBox(const cv::Mat& grey);
    void clean_detected_targets();
    void reset();
    // Classic: frame differences and nearest-target matching. Strict: a background difference
    // with little dilation, so that neighbours stay apart, and predicted, gated matching, so
    // that a target lost for a moment is not handed a far insect.
    void setRules(const CountingRules& rules);
    void setMode(CountingMode mode); // the rules of `mode`
    const CountingRules& countingRules() const { return rules; }
    // The frame rate of the video about to be processed: the mode's time constants, in seconds
    // where the mode keeps them so, become frames. 25 until set; a rate that is not positive
    // counts as 25.
    void setFrameRate(double fps);

    QList<Target*> detected_targets;
    QList<Target*> tracked_targets;
    MvtDetector detector;
    TargetTracker targetTracker;
    CrowdEstimate crowds;

private:
    CountingRules rules = CountingRules::of(CountingMode::Classic);
    double frameRate = usualFrameRate;
    template <typename Detect> void run(Detect detect);
    void dropSpecks();
    bool continuesAnInsect(const Target& speck) const;
    void findFaintInsects();
    bool followedAlone(const Target& t) const;
    // How far beyond a followed insect's predicted box a speck of it may lie.
    static constexpr int speckReach = 2;
    // The share of the usual bar that a followed insect's pixels must pass where it was to be,
    // when the frame shows no blob there.
    static constexpr double faintShare = 0.75;
};

// The target overlay, drawn on the colour frame the user sees.
void draw_targets(cv::Mat& image, QList<Target*>& targets);
