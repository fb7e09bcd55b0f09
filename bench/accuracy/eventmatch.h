#pragma once

// Matching of counted events to true ones, for measuring how accurate a count is.
//
// A counted event matches a true one of a compatible kind (an In counts for an In, an Out for an
// Out, an event flagged both ways for either) when it falls on a frame on which the insect's body
// touches the border, give or take `frames`, and lies within `distance` pixels of where the
// insect crossed. Each event matches at most one other, closest frames first. A counted event
// left over that would have matched an already matched true event is a double count; any other
// is an extra.

#include "truth.h"

#include <opencv2/core.hpp>
#include <vector>

struct CountedEvent {
    int frame = 0; // the video frame on which it was counted
    cv::Point at;
    int in = 0;
    int out = 0;
};

struct MatchTolerance {
    int frames = 3;
    double distance = 40;
};

struct MatchCounts {
    int trueIn = 0, trueOut = 0, trueEvents = 0;
    int countedIn = 0, countedOut = 0, countedEvents = 0;
    int matched = 0, missed = 0, extra = 0, doubles = 0;

    MatchCounts& operator+=(const MatchCounts& other);
    // 1 when there is nothing to be wrong about.
    double precision() const;
    double recall() const;
};

// What became of each counted event.
enum class Verdict { Matched, Double, Extra };

// With `verdicts`, also the verdict on each counted event, in their order.
MatchCounts matchEvents(const std::vector<videogen::TrueEvent>& truth,
                        const std::vector<CountedEvent>& counted, const MatchTolerance& tolerance,
                        std::vector<Verdict>* verdicts = nullptr);
