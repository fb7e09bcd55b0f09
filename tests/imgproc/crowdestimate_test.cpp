#include "crowdestimate.h"

#include <deque>
#include <gtest/gtest.h>

namespace
{

// Blobs of tracks matched frame after frame; usual area 64 once the estimate has seen enough.
class CrowdEstimateTest : public ::testing::Test
{
protected:
    void SetUp() override { crowds.reset(); }

    // A track of box `size` around `at`, walking 2 px a frame to the right unless `still`: only
    // moving ones teach the usual area.
    Target& track(cv::Point at, int area, bool still = false, cv::Size size = {12, 12})
    {
        targets.emplace_back();
        Target& t = targets.back();
        t.init();
        t.setBox(cv::Rect(at - cv::Point(size.width / 2, size.height / 2), size));
        t.settledAt = t.centroid;
        t.area = area;
        t.agemovement = crowds.establishedMatches();
        t.velocity = still ? cv::Point2f() : cv::Point2f(step, 0);
        list.append(&t);
        return t;
    }

    // One frame in which each listed target is matched again, a step on along its way.
    void frame()
    {
        for (Target* t : list)
            if (t->age == 0) {
                ++t->agemovement;
                t->setBox(t->box() + cv::Point(cvRound(t->velocity.x), cvRound(t->velocity.y)));
            }
        crowds.assign(list);
    }

    // Frames until the usual area is known, at most `most`.
    void framesUntilLearnt(int most = 100)
    {
        for (int f = 0; f < most && crowds.usualArea() == 0; ++f)
            frame();
    }

    // Enough single insects of area 64 to know the usual area.
    void learnSingles()
    {
        track({20, 20}, 64);
        track({60, 20}, 64);
        framesUntilLearnt();
    }

    static constexpr float step = 2;

    CrowdEstimate crowds;
    std::deque<Target> targets; // stable addresses
    QList<Target*> list;
};

} // namespace

TEST_F(CrowdEstimateTest, ABlobHoldsAsManyInsectsAsItsAreaShowsOnceTheUsualAreaIsKnown)
{
    Target& pair = track({100, 100}, 130);
    frame();
    frame();
    // Too few areas seen yet to know what one insect looks like.
    EXPECT_EQ(crowds.usualArea(), 0);
    EXPECT_EQ(pair.insects, 1);

    list.removeOne(&pair);
    learnSingles();
    EXPECT_EQ(crowds.usualArea(), 64);
    list.append(&pair);
    for (int f = 0; f < crowds.steadyMatches(); ++f)
        frame();
    EXPECT_EQ(pair.insects, 2);
    // A single insect's blob varies, and insects differ in size; 1.8 times the usual area is
    // where a second one begins.
    EXPECT_EQ(crowds.insectsIn(100), 1);
    EXPECT_EQ(crowds.insectsIn(112), 1);
    EXPECT_EQ(crowds.insectsIn(116), 2);
    EXPECT_EQ(crowds.insectsIn(244), 4);
    EXPECT_EQ(crowds.insectsIn(64 * 100), CrowdEstimate::mostInsects);
    EXPECT_EQ(crowds.insectsIn(0), 1);
}

TEST_F(CrowdEstimateTest, ANewNumberCountsOnlyOnceTheBlobHasHeldIt)
{
    learnSingles();
    Target& t = track({100, 100}, 64);
    frame();
    ASSERT_EQ(t.insects, 1);
    // Two insects brushing past each other for a frame stay one each.
    t.area = 130;
    frame();
    EXPECT_EQ(t.insects, 1);
    t.area = 64;
    frame();
    t.area = 130;
    for (int f = 0; f < crowds.steadyMatches(); ++f)
        frame();
    EXPECT_EQ(t.insects, 2);
    // A piece that splits off is a track of its own: the blob holds one again.
    t.area = 64;
    for (int f = 0; f < crowds.steadyMatches(); ++f)
        frame();
    EXPECT_EQ(t.insects, 1);
}

TEST_F(CrowdEstimateTest, ABlobCoveringAnotherTracksInsectHoldsOneForTheRestOfItsTrack)
{
    learnSingles();
    Target& walker = track({100, 100}, 64);
    Target& rester = track({104, 100}, 64, true);
    frame();
    // The walker reaches the resting insect: one blob, the rester's track goes unseen.
    walker.area = 130;
    rester.age = 1;
    rester.agemovement = 0;
    for (int f = 0; f < 2 * crowds.steadyMatches(); ++f) {
        frame();
        ++rester.age;
    }
    EXPECT_EQ(walker.insects, 1);
    // Even once the rester's track is dropped, it counts its own insect when seen again.
    list.removeOne(&rester);
    for (int f = 0; f < 2 * crowds.steadyMatches(); ++f)
        frame();
    EXPECT_EQ(walker.insects, 1);
}

TEST_F(CrowdEstimateTest, LateInATrackABlobOnlyEverHoldsFewer)
{
    learnSingles();
    Target& t = track({100, 100}, 64);
    for (int f = 0; f <= crowds.raisingMatches(); ++f)
        frame();
    t.area = 200;
    for (int f = 0; f < 2 * crowds.steadyMatches(); ++f)
        frame();
    EXPECT_EQ(t.insects, 1);
}

// A swaying leaf's flecks or an insect's wing followed on their own are many small blobs: they
// must not make a whole insect look like a crowd.
TEST_F(CrowdEstimateTest, ManySmallFragmentsLeaveTheUsualAreaAtTheInsects)
{
    track({20, 20}, 64);
    track({60, 20}, 64);
    for (int i = 0; i < 6; ++i)
        track({20 + 15 * i, 80}, 8);
    framesUntilLearnt();
    EXPECT_EQ(crowds.usualArea(), 64);
    Target& insect = track({150, 150}, 100);
    for (int f = 0; f < crowds.steadyMatches(); ++f)
        frame();
    EXPECT_EQ(insect.insects, 1);
}

TEST_F(CrowdEstimateTest, ResetForgetsTheUsualArea)
{
    learnSingles();
    crowds.reset();
    EXPECT_EQ(crowds.usualArea(), 0);
    EXPECT_EQ(crowds.insectsIn(500), 1);
}

// Flecks of a printed grid that flicker in place, each followed on its own for long, outweigh the
// few insects walking by; they are no insects and must not set the usual area.
TEST_F(CrowdEstimateTest, BlobsThatStayInPlaceDoNotTeachTheUsualArea)
{
    track({20, 20}, 64);
    track({60, 20}, 64);
    for (int i = 0; i < 10; ++i)
        track({20 + 15 * i, 80}, 30, true);
    framesUntilLearnt();
    EXPECT_EQ(crowds.usualArea(), 64);
}

// A leaf swaying in the wind is one large blob, moving fast but back and forth about one place;
// learnt as one insect, it would make every real insect a speck too small to follow.
// The leaf's track begins on a fleck of texture beside it and leaps onto the leaf at its first
// match: that leap is no walk.
TEST_F(CrowdEstimateTest, ALargeBlobSwayingInPlaceDoesNotTeachTheUsualArea)
{
    Target& leaf = track({40, 110}, 9, false, {3, 3});
    leaf.agemovement = 0;
    frame();
    leaf.setBox(cv::Rect(40, 90, 120, 40));
    leaf.area = 64 * 30;
    leaf.velocity = cv::Point2f(0, 3);
    track({20, 20}, 64);
    track({60, 200}, 64);
    for (int f = 0; f < 60; ++f) {
        // Three pixels a frame, turning every ten frames.
        if (f % 10 == 0)
            leaf.velocity.y = -leaf.velocity.y;
        frame();
    }
    EXPECT_EQ(crowds.usualArea(), 64);
}

// Specks of a leaf's edge walking early on teach a usual area far too small; the insects that
// follow are then judged crowds, yet must still correct it, or every crossing counts four times.
TEST_F(CrowdEstimateTest, AUsualAreaLearntTooSmallIsCorrectedByTheInsectsThatFollow)
{
    for (int i = 0; i < 4; ++i)
        track({20 + 15 * i, 80}, 8);
    framesUntilLearnt();
    ASSERT_EQ(crowds.usualArea(), 8);
    list.clear();
    track({20, 150}, 300);
    track({60, 180}, 300);
    for (int f = 0; f < 30; ++f)
        frame();
    EXPECT_EQ(crowds.usualArea(), 300);
}
