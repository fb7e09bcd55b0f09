#pragma once

#include <QString>
#include <opencv2/core.hpp>

// One moving object: a detection of the current frame or a target followed across frames.
// A coordinate of 0 means "absent" throughout the engine, so `last` stays (0, 0) until the
// tracker has matched the target once.
class Target
{
public:
    int id = 0;
    int agemovement = 0; // matches in a row
    cv::Point origin;    // top-left corner of the bounding box
    cv::Point centroid;  // origin + size / 2, truncated; strict: the centre of the change
    int width = 0;
    int height = 0;
    int area = 0; // strict detection: the blob's area in pixels
    int movement = 0;
    cv::Point last; // centroid at the previous match
    int age = 0;    // frames since the last match
    // Strict tracking: the smoothed step per frame, and how many matches it has seen.
    cv::Point2f velocity;
    cv::Point2f velocityBefore; // before the latest step was taken in
    int velocitySamples = 0;
    // Strict tracking: how many insects the track's blob holds (overlapping insects are one
    // blob), what its latest blobs showed and for how many matches in a row, and whether it
    // has covered another track's insect.
    int insects = 1;
    int blobInsects = 1;
    int blobInsectsRun = 0;
    bool coveredAnother = false;
    // Strict tracking: the centroid when the track's current run of matches became established.
    cv::Point settledAt;

    void init();
    // The bounding box, and the centroid at its middle (truncated).
    void setBox(const cv::Rect& box);
    cv::Rect box() const { return cv::Rect(origin, cv::Size(width, height)); }
    void update(const Target& detection);
    // Before update: folds the step to `detection`, taken over `frames` frames, into velocity,
    // which takes in `weight` of it.
    void followStep(const Target& detection, int frames, float weight = 0.5f);
    // Where the target should be `frames` frames after it was last matched.
    cv::Point predictedAt(int frames) const;
    // Its box around where it should be in the frame after its latest, widened by `reach`.
    cv::Rect predictedBox(int reach) const;
    double distance(const Target& other) const;
    void computeArea();
    void computeMovement();
    void print() const;

    static void resetIdCounter();
    static int nextId();
};
