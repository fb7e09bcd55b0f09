#include "strictcounter.h"

#include "countingmode.h"

#include <algorithm>
#include <cmath>
#include <opencv2/imgproc.hpp>

namespace
{

using Wide = long long;

// Whether `last` holds the place of the target's previous match. A place on the frame's edge has a
// zero coordinate: the counter never reads one as "absent".
bool steppedHere(const Target& t)
{
    return t.age == 0 && t.agemovement > 0;
}

template <typename T> int sign(T v)
{
    return v > 0 ? 1 : (v < 0 ? -1 : 0);
}

// +1 on the right hand of the line from a to b as seen on the screen (y points down), -1 on
// its left, 0 on it.
int sideOf(cv::Point a, cv::Point b, cv::Point p)
{
    return sign(Wide(b.x - a.x) * (p.y - a.y) - Wide(b.y - a.y) * (p.x - a.x));
}

// Whether the step from `from` to `to` meets the segment a-b (touching included).
bool meets(cv::Point from, cv::Point to, cv::Point a, cv::Point b)
{
    const int s1 = sideOf(from, to, a), s2 = sideOf(from, to, b);
    const int s3 = sideOf(a, b, from), s4 = sideOf(a, b, to);
    if (s1 * s2 <= 0 && s3 * s4 <= 0 && (s1 != 0 || s2 != 0 || s3 != 0 || s4 != 0))
        return true;
    // All four collinear: they meet when their extents overlap.
    const auto overlap = [](int p, int q, int r, int s) {
        return std::max(std::min(p, q), std::min(r, s)) <= std::min(std::max(p, q), std::max(r, s));
    };
    return s1 == 0 && s2 == 0 && overlap(from.x, to.x, a.x, b.x) && overlap(from.y, to.y, a.y, b.y);
}

double distanceToSegment(cv::Point a, cv::Point b, cv::Point p)
{
    const cv::Point2d ab = b - a, ap = p - a;
    const double length2 = ab.dot(ab);
    const double t = length2 > 0 ? std::clamp(ap.dot(ab) / length2, 0.0, 1.0) : 0.0;
    return cv::norm(cv::Point2d(a) + t * ab - cv::Point2d(p));
}

bool nearBorder(cv::Point p, const std::vector<cv::Point>& segments, double reach)
{
    for (size_t k = 0; k + 1 < segments.size(); k += 2)
        if (distanceToSegment(segments[k], segments[k + 1], p) <= reach)
            return true;
    return false;
}

bool inside(cv::Point p, const std::vector<cv::Point>& area)
{
    return area.size() >= 3 &&
           cv::pointPolygonTest(area, cv::Point2f(float(p.x), float(p.y)), false) > 0;
}

// Whether a ray from `from` along `direction`, long enough to reach past the detector's boxes,
// reaches across a border segment or into the area.
bool rayReachesArea(cv::Point from, cv::Point direction, const std::vector<cv::Point>& segments,
                    const std::vector<cv::Point>& area)
{
    const double length = cv::norm(direction);
    if (length == 0)
        return false;
    const double reach = 2 * StrictCounter::borderReach;
    const cv::Point to = from + cv::Point(cvRound(direction.x * reach / length),
                                          cvRound(direction.y * reach / length));
    for (size_t k = 0; k + 1 < segments.size(); k += 2)
        if (meets(from, to, segments[k], segments[k + 1]))
            return true;
    return inside(to, area);
}

// Insects that overlap are one blob: each of them crossed.
void addEvents(std::vector<StrictCounter::Event>& events, const StrictCounter::Event& e,
               int insects)
{
    for (int i = 0; i < std::max(1, insects); ++i)
        events.push_back(e);
}

} // namespace

// The box of a resting insect jitters by a pixel or two either way, more just after it crossed
// (see hold); the centre of an insect walking on the way it went goes on, and a pixel off the line
// or border is the side it is on.
double StrictCounter::bandFor(Track& k, const Target& t, double offset) const
{
    // A box jittering to and fro steps against the way it went before.
    const cv::Point2f step(t.centroid - t.last);
    const bool walking = t.velocitySamples >= fewestConfirmations &&
                         cv::norm(t.velocityBefore) >= walkingStep &&
                         t.velocityBefore.dot(step) > 0;
    // The hold ends once the insect is clearly away on its new side, whichever way it then goes.
    const double holding = holdingBand(k, offset, sideBand);
    return walking ? walkingBand : holding;
}

void StrictCounter::reset()
{
    tracks.clear();
}

void StrictCounter::setFrameRate(double fps)
{
    const double rate = frameRateOr(fps);
    confirmations = framesIn(confirmationSeconds, fps, fewestConfirmations);
    longestHold = framesIn(longestHoldSeconds, fps, confirmations);
    walkingStep = walkingSpeed / rate;
}

// A track followed for a while that steps across the way it was already going is an insect
// walking over: its crossing needs no confirmation.
bool StrictCounter::goesOnItsWay(const Target& t) const
{
    if (t.agemovement < confirmations || t.velocitySamples < fewestConfirmations)
        return false;
    const cv::Point2f step(t.centroid - t.last);
    const cv::Point2f before = t.velocityBefore;
    const double pace = cv::norm(before), length = cv::norm(step);
    return pace > 0 && length > 0 && pace >= sameWayPace * length &&
           before.dot(step) >= sameWayCosine * pace * length;
}

void StrictCounter::countCrossing(Track& k, const Target& t, double offset, const Event& e,
                                  int insects, std::vector<Event>& events)
{
    if (goesOnItsWay(t)) {
        addEvents(events, e, insects);
        return;
    }
    if (k.held.empty()) {
        k.heldMatches = 0;
        k.heldOffset = std::abs(offset);
        k.heldAt = t.centroid;
        k.heldTravel = std::max(double(std::max(t.width, t.height)), directionDistance);
        k.heldCrowded = t.insects > 1 || t.coveredAnother;
    }
    addEvents(k.held, e, insects);
}

// Called on every frame the track is matched after its crossing, with its offset from the line
// or the border: an insect that crossed goes on away from it, while the box of one resting by
// it, whose centre jumped across as its blob changed shape (a key frame sharpening the picture,
// a leg showing), stays where it landed. A crossing that never goes on counts nothing.
void StrictCounter::confirm(Track& k, double offset, cv::Point at, std::vector<Event>& events) const
{
    if (k.held.empty() || ++k.heldMatches < confirmations)
        return;
    // An insect walking along the border on its new side goes on too, a body length and more,
    // which a resting box never does.
    const bool walkedOn = sign(offset) == k.side && cv::norm(at - k.heldAt) >= k.heldTravel;
    // A blob of several insects grows and shrinks as they join and part: its centre tells little.
    if (k.heldCrowded || std::abs(offset) >= k.heldOffset + onwardsDistance || walkedOn)
        release(k, events);
    else if (k.heldMatches >= longestHold)
        k.held.clear();
}

void StrictCounter::release(Track& k, std::vector<Event>& events)
{
    events.insert(events.end(), k.held.begin(), k.held.end());
    k.held.clear();
}

// A crossing still held when the video ends had no time to be confirmed: it counts if its track
// is still followed then, and not if the track was lost after it, as it would not have been had
// the video gone on.
void StrictCounter::finish(std::vector<Event>& events)
{
    for (Track& k : tracks)
        if (k.lastAge == 0)
            release(k, events);
}

StrictCounter::Track& StrictCounter::trackOf(const Target& t)
{
    for (Track& k : tracks)
        if (k.id == t.id)
            return k;
    tracks.emplace_back();
    tracks.back().id = t.id;
    return tracks.back();
}

void StrictCounter::forgetAbsent()
{
    for (size_t i = 0; i < tracks.size();) {
        if (tracks[i].present) {
            tracks[i].present = false;
            ++i;
            continue;
        }
        tracks[i] = tracks.back();
        tracks.pop_back();
    }
}

void StrictCounter::remember(Track& track, cv::Point at)
{
    std::rotate(track.history, track.history + 1, track.history + historyLength);
    track.history[historyLength - 1] = at;
}

// The way the insect has been going over its last few matched frames: back as far as it takes to
// have moved far enough to show a direction.
cv::Point StrictCounter::heading(const Track& track, cv::Point now) const
{
    const int known = std::min(track.matches, historyLength);
    cv::Point step;
    for (int back = 1; back < known; ++back) {
        step = now - track.history[historyLength - 1 - back];
        if (cv::norm(step) >= directionDistance)
            break;
    }
    return step;
}

// Signed distance of `p` from the area's border, positive inside.
double StrictCounter::depthIn(const std::vector<cv::Point>& area, cv::Point2f p)
{
    return area.size() >= 3 ? cv::pointPolygonTest(area, p, true) : -borderReach;
}

// Where an area's inside cannot be seen, a track whose step leads through the area to a place
// outside came out somewhere else than it went in, after a while unseen, or within one frame
// when fast.
bool StrictCounter::passedThrough(const Target& t, const std::vector<cv::Point>& segments,
                                  const std::vector<cv::Point>& area)
{
    if (!steppedHere(t) || depthIn(area, t.centroid) >= -sideBand ||
        depthIn(area, t.last) >= -sideBand)
        return false;
    bool crossesBorder = false;
    for (size_t k = 0; k + 1 < segments.size() && !crossesBorder; k += 2)
        crossesBorder = meets(t.last, t.centroid, segments[k], segments[k + 1]);
    if (!crossesBorder)
        return false;
    // A fast insect cutting a corner passes a pixel or two inside, its box centre jittering.
    const cv::Point2d from(t.last), step = cv::Point2d(t.centroid) - from;
    const int samples = static_cast<int>(std::ceil(cv::norm(step)));
    for (int i = 1; i < samples; ++i) {
        if (depthIn(area, cv::Point2f(from + step * (double(i) / samples))) > passDepth)
            return true;
    }
    return false;
}

void StrictCounter::restart(Track& track)
{
    const int id = track.id;
    track = Track();
    track.id = id;
    track.present = true;
}

// Lost for good, or relinked elsewhere: it went in when it vanished at a border heading across.
void StrictCounter::judgeLoss(Track& k, cv::Point at, int frame,
                              const std::vector<cv::Point>& segments,
                              const std::vector<cv::Point>& area, std::vector<Event>& events)
{
    if (k.counted || k.matches == 0)
        return;
    k.counted = true;
    // A fleck of flickering texture by the border jitters in place: it never went anywhere.
    if (cv::norm(at - k.firstAt) < directionDistance)
        return;
    // A rest on the border before going in leaves the way it came as its heading.
    if (nearBorder(at, segments, k.lastReach) && rayReachesArea(at, k.lastHeading, segments, area))
        addEvents(events, {frame, at, 1, 0}, k.insects);
}

// Signed distance of `p` from the line through p0 and p1, positive on its right hand.
double StrictCounter::offsetFrom(cv::Point p0, cv::Point p1, cv::Point p)
{
    const double length = cv::norm(p1 - p0);
    if (length == 0)
        return 0;
    return (double(p1.x - p0.x) * (p.y - p0.y) - double(p1.y - p0.y) * (p.x - p0.x)) / length;
}

// A step that goes on roughly the way the steps before it went, and from `depth` inside the area
// moved further across its border than a jittering box can: the insect walking over, not its
// centre jumping as a neighbour's blob joins or leaves it.
bool StrictCounter::striding(const Target& t, double depth, const std::vector<cv::Point>& area)
{
    if (!steppedHere(t) || t.velocitySamples < stridesSeen)
        return false;
    const cv::Point2f step(t.centroid - t.last);
    const cv::Point2f before = t.velocityBefore;
    const double pace = cv::norm(before);
    if (cv::norm(step) < strideLength || pace < strideLength || cv::norm(step - before) > pace)
        return false;
    // The polygon last: most matches are no stride.
    return std::abs(depth - depthIn(area, t.last)) > strideAcross;
}

// A side is taken once the insect is more than `band` from the border, so that a box jittering
// on it counts nothing. The crossing itself is dated to the first frame on the new side.
bool StrictCounter::settles(Track& k, double offset, double band, cv::Point at, int frame,
                            Crossing& crossing)
{
    const Sighting before = k.seen;
    k.seen = {frame, at, offset};
    ++k.sightings;
    const int raw = sign(offset);
    if (k.side == 0) {
        if (std::abs(offset) <= band)
            return false;
        k.side = raw;
        k.sideAt = at;
        // First seen on the line or border and straight away a stride off it: an insect coming
        // across, too fast or too faint to be seen before (the first frames of a video).
        if (k.sightings != 2 || frame - before.frame > 1 ||
            std::abs(offset) - std::abs(before.offset) < strideLength)
            return false;
        crossing = {before.frame, before.at, before.at, -raw};
        return true;
    }
    if (raw == k.side) {
        k.pendingFrame = 0; // back where it came from
        k.sideAt = at;
        return false;
    }
    if (raw == -k.side && k.pendingFrame == 0) {
        k.pendingFrame = frame;
        k.pendingAt = at;
        if (before.frame > 0 && frame - before.frame > 1)
            dateAcrossGap(before, k.seen, k.pendingFrame, k.pendingAt);
    }
    if (raw != -k.side || std::abs(offset) <= band)
        return false;
    crossing = {k.pendingFrame, k.pendingAt, k.sideAt, k.side};
    k.side = raw;
    k.sideAt = at;
    k.pendingFrame = 0;
    return true;
}

// An insect unseen for a few frames (blurred away, lost in compression) that turns up on the
// other side crossed somewhere between its two sightings: the straight way between them meets
// the line or border where their offsets from it say, at the time the same share of the gap says.
void StrictCounter::dateAcrossGap(const Sighting& before, const Sighting& after, int& frame,
                                  cv::Point& at)
{
    const int gap = after.frame - before.frame;
    const double from = std::abs(before.offset), to = std::abs(after.offset);
    if (from + to <= 0)
        return;
    const double share = from / (from + to);
    frame = before.frame + std::clamp(static_cast<int>(std::ceil(share * gap)), 1, gap);
    at = before.at + cv::Point(cvRound(share * (after.at.x - before.at.x)),
                               cvRound(share * (after.at.y - before.at.y)));
}

// A box centre jitters by a share of the box's size: more for a large or blurred insect, or one
// whose legs and shadow come and go, than the pixel or two of sideBand. Just after a counted
// crossing, going back counts only beyond that share, so that an insect resting on the border
// is not counted again and again; once clearly away on its new side, the usual band holds. A
// blob of several insects is left out: its box grows and shrinks as they join and part, and
// its centre may truly cross back.
void StrictCounter::hold(Track& k, const Target& t)
{
    const bool alone = t.insects == 1 && !t.coveredAnother;
    k.holdBand = alone ? recrossShare * std::max(t.width, t.height) : 0;
}

double StrictCounter::holdingBand(Track& k, double offset, double band)
{
    const int raw = sign(offset);
    if (k.holdBand > 0 && raw == k.side && std::abs(offset) > k.holdBand)
        k.holdBand = 0;
    return std::max(band, k.holdBand);
}

StrictCounter::Event StrictCounter::eventOf(const Crossing& c, bool in)
{
    return {c.frame, c.at, in ? 1 : 0, in ? 0 : 1};
}

// Once it has moved far enough to show a direction, where it came from tells whether it came out
// of the area; a slow insect's box jitters by a pixel or two around its first steps.
void StrictCounter::judgeAppearance(Track& k, cv::Point now, int frame,
                                    const std::vector<cv::Point>& segments,
                                    const std::vector<cv::Point>& area, std::vector<Event>& events)
{
    const cv::Point moved = k.firstAt - now;
    if (k.decided)
        return;
    if (cv::norm(moved) < directionDistance) {
        k.stillFrame = frame; // resting where it appeared: it came out when it set off
        k.setOff = false;
        return;
    }
    // A box jittering in place springs back; an insect setting off goes on.
    if (!k.setOff) {
        k.setOff = true;
        return;
    }
    k.decided = true;
    if (nearBorder(k.firstAt, segments, k.firstReach) &&
        rayReachesArea(k.firstAt, moved, segments, area))
        addEvents(events, {k.stillFrame, k.firstAt, 0, 1}, k.insects);
}

void StrictCounter::countLine(const QList<Target*>& targets, cv::Point p0, cv::Point p1, int frame,
                              std::vector<Event>& events)
{
    for (const Target* t : targets) {
        if (!t)
            continue;
        Track& k = trackOf(*t);
        k.present = true;
        k.lastAge = t->age;
        if (t->age != 0)
            continue;
        Crossing c;
        // The step passes within the line's extent when it meets the segment at all.
        // An insect that steps past the line goes on beyond the band: the band only delays the
        // crossing, which keeps its date.
        const double offset = offsetFrom(p0, p1, t->centroid);
        confirm(k, offset, t->centroid, events);
        if (settles(k, offset, bandFor(k, *t, offset), t->centroid, frame, c) &&
            meets(c.from, t->centroid, p0, p1)) {
            countCrossing(k, *t, offset, eventOf(c, c.fromSide > 0), t->insects, events);
            hold(k, *t);
        }
    }
    forgetAbsent();
}

void StrictCounter::countArea(const QList<Target*>& targets, const std::vector<cv::Point>& segments,
                              const std::vector<cv::Point>& area, int frame,
                              std::vector<Event>& events)
{
    for (const Target* t : targets) {
        if (!t)
            continue;
        Track& k = trackOf(*t);
        k.present = true;
        if (k.matches > 0 && k.side <= 0 && passedThrough(*t, segments, area)) {
            judgeLoss(k, t->last, frame - k.lastAge, segments, area, events);
            restart(k);
        }
        k.lastAge = t->age;
        if (t->age == 0) {
            if (!k.held.empty())
                confirm(k, depthIn(area, t->centroid), t->centroid, events);
            followArea(k, *t, frame, segments, area, events);
            k.lastAt = t->centroid;
            k.lastSeenFrame = frame;
        }
    }
    // Dropped by the tracker: gone for good since the frame after it was last seen.
    for (Track& k : tracks)
        if (!k.present && k.side <= 0)
            judgeLoss(k, k.lastAt, k.lastSeenFrame + 1, segments, area, events);
    forgetAbsent();
}

// Seen inside, the insect is followed across the border like across a line. Where the inside
// cannot be seen, it vanishes at the border or appears there, which the loss and the appearance
// tell.
void StrictCounter::followArea(Track& k, const Target& t, int frame,
                               const std::vector<cv::Point>& segments,
                               const std::vector<cv::Point>& area, std::vector<Event>& events)
{
    const cv::Point at = t.centroid;
    const double depth = depthIn(area, at);
    // Vanishing into the border or appearing from it, the insect's box touches it.
    k.lastReach = std::max(t.width, t.height) / 2.0 + touchMargin;
    k.insects = t.insects;
    if (k.matches == 0) {
        k.firstReach = k.lastReach;
        k.firstAt = at;
        k.stillFrame = frame;
        k.decided = depth >= 0; // first seen inside: nothing came out yet
    }
    remember(k, at);
    ++k.matches;
    const cv::Point way = heading(k, at);
    if (cv::norm(way) >= directionDistance)
        k.lastHeading = way;
    Crossing c;
    // A fast insect cutting a corner is inside for a frame, a pixel or two deep: a striding
    // insect takes the side its centre is on at once.
    const double band = striding(t, depth, area) ? 0 : bandFor(k, t, depth);
    if (settles(k, depth, band, at, frame, c)) {
        k.decided = k.counted = true; // crossing in sight settles both
        countCrossing(k, t, depth, eventOf(c, c.fromSide < 0), k.insects, events);
        hold(k, t);
        return;
    }
    judgeAppearance(k, at, frame, segments, area, events);
}
