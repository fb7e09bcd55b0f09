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
    void clean_detected_targets();
    void reset();
    // Classic: frame differences and nearest-target matching. Strict: a background difference
    // with little dilation, so that neighbours stay apart, and predicted, gated matching, so
    // that a target lost for a moment is not handed a far insect.
    void setMode(CountingMode mode);
    // The video's frame rate, for the strict detector's time constants in seconds.
    void setFrameRate(double fps) { detector.setFrameRate(fps); }

    QList<Target*> detected_targets;
    QList<Target*> tracked_targets;
    MvtDetector detector;
    TargetTracker targetTracker;
    CrowdEstimate crowds;

private:
    bool estimatesCrowds = false;
    template <typename Detect> void run(Detect detect);
};

// The target overlay, drawn on the colour frame the user sees.
void draw_targets(cv::Mat& image, QList<Target*>& targets);
