#pragma once

#include <cstdint>
#include <opencv2/core.hpp>
#include <vector>

// Insects that touch are one outline to the detector. Where the outline pinches between broad
// cores, as round bodies side by side do, each core is an insect. The blob is flooded from its
// deepest pixels (depth: the distance to its outline) down: each pixel joins the core it touches,
// and two cores that meet stay apart when the pixel where they meet is shallower than coreShare
// of the shallower core's peak. A single insect's outline is broad at its body alone (its legs,
// wings and a thorax narrower than its abdomen stay below that share), a clump of many insects
// splits into each of them however deep its middle, and a blob no larger than one insect is never
// split.
class BlobSplit
{
public:
    struct Part {
        cv::Rect box;
        int area = 0;
    };
    // Two round bodies whose centres lie more than 1.4 times their radius apart pinch below this
    // share of their depth between them.
    static constexpr double coreShare = 0.7;
    // Only a blob this many times the usual area of one insect is looked at for cores...
    static constexpr double splitShare = 1.3;
    // ...and a part under this share of it is a bump of its neighbour's outline, which takes it.
    static constexpr double partShare = 0.4;
    // A blob larger than this many insects is a change of light, a shadow's edge or a swarm's
    // clump, whose cores are not looked for: the work per blob stays bounded.
    static constexpr double largestShare = 16;

    // The parts of the filled outline `contour` (frame coordinates), which encloses `pixels`
    // (enclosedPixels), or none when it is one insect as far as its shape tells. `usualArea` 0:
    // nothing is split.
    const std::vector<Part>& split(const std::vector<cv::Point>& contour, int pixels,
                                   int usualArea);
    // About the number of pixels a traced outline encloses: the polygon through the border
    // pixels' centres, plus the half of each border pixel that lies outside it.
    static int enclosedPixels(const std::vector<cv::Point>& contour);

private:
    void deepestFirst(const float* depth);
    void flood(const cv::Mat& depth);
    void joinSmallParts(int smallest);
    void collectParts(cv::Point shift);

    // Pixels of the working images and lists, grown to the largest blob seen.
    std::vector<uchar> filledStore;
    std::vector<float> depthStore;
    std::vector<int> regionStore;
    cv::Mat region; // per pixel of the current blob: its region, -1 outside the blob
    std::vector<int> order;
    struct Keyed {
        std::uint32_t key;
        int pixel;
    };
    std::vector<Keyed> keyed, sorted;
    std::vector<int> parent, pixels, partOf, first, filledUpTo, members;
    std::vector<float> peak;
    std::vector<Part> parts;
    std::vector<std::vector<cv::Point>> outline{1};
};
