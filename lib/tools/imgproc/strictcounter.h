#pragma once

#include "target.h"

#include <QList>
#include <opencv2/core.hpp>
#include <vector>

// Strict counting: each tracked insect's crossings of a counting line, and its entry into or exit
// from a counting area, counted once per insect.
//
// Line: the counter remembers on which side of the line each insect last was, strictly. A point
// on the line keeps the side it came from, so touching the line and turning back counts nothing,
// and a crossing counts once however long the steps. In goes from the right-hand side to the
// left-hand side of someone walking along the line on the screen from its first point to its
// second (for a line drawn from top to bottom: from left to right); Out the other way.
//
// Area: an insect seen inside is followed across the border like across a line, In going in.
// Where the inside cannot be seen (a hole, a dark trap), an insect going in vanishes at the
// border and one coming out appears there: one lost for good with its box touching a border
// segment while heading across it counts In once; one first seen touching a border segment,
// moving away from across it, counts Out once.
//
// A blob that holds several overlapping insects (Target::insects) counts one event for each.
//
// A crossing by a track that was not already going that way is written once the track has gone
// on, for a moment after it (confirmationSeconds), away from the line or border: a track that
// jumps across on a fleck of flickering texture, a shadow's edge or a neighbour's fragment and is
// lost straight after, or the box of a resting insect whose centre jumps across as its blob
// changes shape, counts nothing. The event keeps the crossing's date and place. What is still
// held when the video ends is written then, if its track is still followed.
class StrictCounter
{
public:
    struct Event {
        int frame = 0;
        cv::Point at;
        int in = 0;
        int out = 0;
    };

    // Forgets every insect (start of a video).
    void reset();
    // Frames come at `fps`; until told, 25.
    void setFrameRate(double fps);
    // Writes the crossings still held by tracks followed to the end: the video has ended.
    void finish(std::vector<Event>& events);
    // A target that leaves the tracker's list has been dropped, lost for good.
    void countLine(const QList<Target*>& targets, cv::Point p0, cv::Point p1, int frame,
                   std::vector<Event>& events);
    // `segments` are the border pieces as pairs of end points; `area` the polygon they border.
    void countArea(const QList<Target*>& targets, const std::vector<cv::Point>& segments,
                   const std::vector<cv::Point>& area, int frame, std::vector<Event>& events);

    // How far the ray that tells whether an insect heads into an area reaches.
    static constexpr double borderReach = 40;
    // Pixels beyond its box within which an insect counts as touching a border.
    static constexpr double touchMargin = 4;
    // A detected centre this close to a line or an area's border counts as on it: the box of a
    // resting insect jitters by a pixel or two. An insect walking at least walkingSpeed pixels a
    // second goes on, and takes the side its centre is on more than walkingBand off it.
    static constexpr double sideBand = 1.5;
    static constexpr double walkingBand = 0.5;
    static constexpr double walkingSpeed = 40;
    // A step of this length, at this pace before it, that moves more than strideAcross across
    // an area's border is the insect walking over, which a box jittering a pixel either way
    // cannot do: it takes the side its centre is on at once.
    static constexpr double strideLength = 3;
    static constexpr double strideAcross = 2;
    static constexpr int stridesSeen = 3;
    // Just after a crossing, the share of the insect's box size it must go back across the line
    // or border for the way back to count.
    static constexpr double recrossShare = 0.25;
    // How deep inside an area a step between two places outside it must reach to have passed
    // through it.
    static constexpr double passDepth = 4;
    // How long a track must go on being followed after a crossing for it to count, and the
    // fewest matches that takes at any frame rate.
    static constexpr double confirmationSeconds = 0.08;
    static constexpr int fewestConfirmations = 2;
    // How long a crossing waits for its track to go on away from the line or border, and how
    // much farther from it the track must get.
    static constexpr double longestHoldSeconds = 0.4;
    static constexpr double onwardsDistance = 1;
    // A crossing step needs no confirmation when the track, followed that long already, was
    // going the same way (within this cosine) at least at this share of the step's pace.
    static constexpr double sameWayCosine = 0.5;
    static constexpr double sameWayPace = 0.25;

private:
    // Matches remembered for an insect's heading, and the distance that shows a direction.
    static constexpr int historyLength = 12;
    static constexpr double directionDistance = 4;
    struct Sighting {
        int frame = 0;
        cv::Point at;
        double offset = 0; // from the line, or depth in the area
    };
    struct Track {
        int id = 0;
        bool present = false; // still in the tracker's list this frame
        int side = 0;         // last strict side: of a line, or -1 outside an area, 1 inside
        cv::Point sideAt;     // where it was last on that side
        int pendingFrame = 0; // first frame on the other side, not yet beyond the band
        cv::Point pendingAt;
        Sighting seen;         // its last match judged for its side
        int sightings = 0;     // matches judged for a side
        cv::Point firstAt;     // area: where it was first seen
        int stillFrame = 0;    // area: last frame it was still where it appeared
        cv::Point lastHeading; // area: its last way that showed a direction
        double firstReach = 0; // area: how far from it a border touched its box, first seen
        double lastReach = 0;  // and last seen
        int matches = 0;       // frames matched since first seen
        bool decided = false;  // area: its appearance has been judged
        bool setOff = false;   // area: away from where it appeared at its last match
        bool counted = false;  // area: its vanishing has been counted
        int lastAge = 0;       // the target's age on the previous frame
        cv::Point lastAt;      // area: where it was last matched, on frame lastSeenFrame
        int lastSeenFrame = 0;
        int insects = 1;     // area: in its blob when last matched
        double holdBand = 0; // after a crossing: the band going back must pass
        cv::Point history[historyLength];
        std::vector<Event> held;  // crossings waiting to be confirmed
        int heldMatches = 0;      // matches since the first of them
        double heldOffset = 0;    // how far from the line or border the first of them landed
        cv::Point heldAt;         // where
        double heldTravel = 0;    // how far along it the insect must go on: a body length
        bool heldCrowded = false; // made by a blob of several insects
    };

    Track& trackOf(const Target& t);
    double bandFor(Track& k, const Target& t, double offset) const;
    bool goesOnItsWay(const Target& t) const;
    static void release(Track& k, std::vector<Event>& events);
    void countCrossing(Track& k, const Target& t, double offset, const Event& e, int insects,
                       std::vector<Event>& events);
    void confirm(Track& k, double offset, cv::Point at, std::vector<Event>& events) const;
    void forgetAbsent();
    void remember(Track& track, cv::Point at);
    cv::Point heading(const Track& track, cv::Point now) const;
    static double offsetFrom(cv::Point p0, cv::Point p1, cv::Point p);
    struct Crossing {
        int frame = 0;  // first frame on the new side
        cv::Point at;   // where it was then
        cv::Point from; // last place on the old side
        int fromSide = 0;
    };
    // The event of a crossing, In or Out.
    static Event eventOf(const Crossing& c, bool in);
    static void hold(Track& k, const Target& t);
    static double holdingBand(Track& k, double offset, double band);
    static bool striding(const Target& t, double depth, const std::vector<cv::Point>& area);
    static bool settles(Track& k, double offset, double band, cv::Point at, int frame,
                        Crossing& crossing);
    static void dateAcrossGap(const Sighting& before, const Sighting& after, int& frame,
                              cv::Point& at);
    void followArea(Track& k, const Target& t, int frame, const std::vector<cv::Point>& segments,
                    const std::vector<cv::Point>& area, std::vector<Event>& events);
    static double depthIn(const std::vector<cv::Point>& area, cv::Point2f p);
    static bool passedThrough(const Target& t, const std::vector<cv::Point>& segments,
                              const std::vector<cv::Point>& area);
    static void restart(Track& track);
    void judgeAppearance(Track& k, cv::Point now, int frame, const std::vector<cv::Point>& segments,
                         const std::vector<cv::Point>& area, std::vector<Event>& events);
    void judgeLoss(Track& track, cv::Point at, int frame, const std::vector<cv::Point>& segments,
                   const std::vector<cv::Point>& area, std::vector<Event>& events);

    std::vector<Track> tracks;
    int confirmations = fewestConfirmations;
    int longestHold = 10;
    double walkingStep = walkingSpeed / 25; // walkingSpeed in pixels a frame
};
