#pragma once

#include <opencv2/core.hpp>
#include <vector>

// Insects that touch are one outline to the detector. Where the outline pinches between broad
// cores, as two round bodies side by side do, each core is an insect: every pixel of the blob goes
// to the core nearest to it. A single insect's outline is broad at its body alone (its legs, wings
// and the waist between its segments are narrow), and a blob no larger than one insect is never
// split.
class BlobSplit
{
public:
    struct Part {
        cv::Rect box;
        int area = 0;
    };
    // A core reaches this share of the blob's greatest depth (distance to its outline): two round
    // bodies whose centres lie more than 1.4 times their radius apart pinch below it between them.
    static constexpr double coreShare = 0.7;
    // Only a blob this many times the usual area of one insect is looked at for cores...
    static constexpr double splitShare = 1.3;
    // ...and each part holds at least this share of it.
    static constexpr double partShare = 0.4;

    // The parts of the filled outline `contour` (frame coordinates, bounding box `box`), or none
    // when it is one insect as far as its shape tells. `usualArea` 0: nothing is split.
    const std::vector<Part>& split(const std::vector<cv::Point>& contour, const cv::Rect& box,
                                   int usualArea);

private:
    // Working images, grown to the largest blob seen.
    cv::Mat filledStore, depthStore, sitesStore, nearestStore;
    std::vector<Part> parts;
    std::vector<std::vector<cv::Point>> outline{1};
};
