#pragma once

#include "munkres.h"
#include "target.h"

#include <QList>
#include <QString>
#include <opencv2/core.hpp>

// Carries target identities from frame to frame with an optimal assignment on centroid distances.
class TargetTracker
{
public:
    int maxAge = 5;
    int maxDistance = 1000;

    void init(int maxAge, int maxDistance);
    // With prediction on, a tracked target is looked for where its smoothed velocity, kept for
    // each frame since it was seen, would carry it, and only within `gate` pixels of there; pairs
    // beyond the gate are left out of the assignment instead of being undone after it.
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

    bool prediction = false;
    int gate = defaultGate;
    // Reused from frame to frame.
    cv::Mat_<int> cost;
    cv::Mat_<int> assignment;
    Munkres solver;
};

// Emits the matrix as one debug message, rows and columns labelled with target identities.
void display(const QString& title, const cv::Mat_<int>& matrix, QList<Target*>& rows,
             QList<Target*>& columns);
