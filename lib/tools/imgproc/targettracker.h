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

    bool prediction = false;
    int gate = defaultGate;
    // Reused from frame to frame.
    cv::Mat_<int> cost;
    cv::Mat_<int> assignment;
    Munkres solver;
    std::vector<int> matchOf; // per detection: its target's column, or -1
    std::vector<int> leftRows, leftColumns;
    std::vector<char> takenColumns;
    cv::Mat_<int> leftCost, leftAssignment;
};

// Emits the matrix as one debug message, rows and columns labelled with target identities.
void display(const QString& title, const cv::Mat_<int>& matrix, QList<Target*>& rows,
             QList<Target*>& columns);
