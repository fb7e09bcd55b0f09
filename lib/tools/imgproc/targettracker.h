#pragma once

#include "munkres.h"
#include "target.h"

#include <QList>
#include <QString>
#include <opencv2/core.hpp>
#include <vector>

// Carries target identities from frame to frame with an optimal assignment on centroid distances.
class TargetTracker
{
public:
    int maxAge = 5;
    int maxDistance = 1000;

    void init(int maxAge, int maxDistance);
    // With prediction on, a tracked target is looked for where its smoothed velocity, kept for
    // each frame since it was seen, would carry it. Pairs are made in two rounds: first within a
    // close gate that grows with the target's speed and the frames it went unseen, so that two
    // insects passing each other keep their own tracks; then what is left within `gate` pixels,
    // so that a target that turned or sped up is found again. Pairs beyond the gates are left out
    // of the assignment instead of being undone after it.
    void setPrediction(bool on, int gate = defaultGate);
    bool predicts() const { return prediction; }
    static constexpr int defaultGate = 45;
    // With prediction: the wide gate becomes the distance the fastest insect covers in a frame,
    // the close gate's growth per frame unseen what an insect may stray in that time, and the
    // velocity's smoothing the same span of time at any rate. A rate that is not positive counts
    // as 25 frames a second, where the gate is defaultGate.
    void setFrameRate(double fps);
    // The close gate: a few pixels of jitter, plus what the target's speed (pixels a frame) and
    // the time it went unseen make its predicted place uncertain by.
    static constexpr double closeGateBase = 12;
    static constexpr double closeGatePerSpeed = 2;
    // Pixels a second: 45 px a frame at 25 frames a second.
    static constexpr double fastestInsect = 1125;
    // Beyond its close gate, a target is found again only by a blob at most this many times
    // larger or smaller than its last one (strict detection measures blobs' areas).
    static constexpr double leftoverAreaRatio = 1.8;
    // Pixels a second that a target's predicted place grows uncertain by while it goes unseen.
    static constexpr double strayWhileUnseen = 50;
    // The velocity takes in half of each new step at 25 frames a second: it forgets half of
    // what it knew in this time.
    static constexpr double velocityHalfLife = 0.04;
    void track(QList<Target*>& detected, QList<Target*>& tracked);
    void age_tracked_targets(QList<Target*>& tracked);
    cv::Mat_<int> cost_matrix(const QList<Target*>& rows, const QList<Target*>& columns);

private:
    static void fill_cost_matrix(const QList<Target*>& rows, const QList<Target*>& columns,
                                 cv::Mat_<int>& out);
    void fill_predicted_costs(const QList<Target*>& rows, const QList<Target*>& columns);
    int matched_column(int row, Target* d, int columns) const;
    double closeGate(const Target& t) const;
    void matchLeftovers(const QList<Target*>& detected, const QList<Target*>& tracked);
    // Pairs rows with columns at the least total cost, counting only costs within a gate.
    void solveInParts(const cv::Mat_<int>& costs, std::vector<int>& columnOfRow);
    void groupByGates(const cv::Mat_<int>& costs);
    void solvePart(const cv::Mat_<int>& costs, std::vector<int>& columnOfRow);

    bool prediction = false;
    int gate = defaultGate;
    double strayPerFrame = strayWhileUnseen / 25;
    float newStepWeight = 0.5f; // of each new step in the smoothed velocity
    // Reused from frame to frame.
    cv::Mat_<int> cost;
    cv::Mat_<int> assignment;
    Munkres solver;
    std::vector<int> matchOf; // per detection: its target's column, or -1
    std::vector<int> leftRows, leftColumns;
    std::vector<char> takenColumns;
    cv::Mat_<int> leftCost;
    std::vector<int> leftMatch;
    // Groups of rows and columns linked by costs within a gate, solved one by one.
    std::vector<int> parent, byGroup, partRows, partColumns;
    cv::Mat_<int> partCost, partAssignment;
};

// Emits the matrix as one debug message, rows and columns labelled with target identities.
void display(const QString& title, const cv::Mat_<int>& matrix, QList<Target*>& rows,
             QList<Target*>& columns);
