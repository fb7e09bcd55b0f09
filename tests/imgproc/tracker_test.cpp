#include "messagecapture.h"
#include "targetpool.h"
#include "tracker.h"

#include <QLoggingCategory>
#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>
#include <random>
#include <set>

namespace
{

// A fresh Tracker per test: it sizes the pool to 1000 and frees it again.
class TrackerTest : public ::testing::Test
{
protected:
    TrackerTest() { MessageCapture::clear(); }

    // A detection as the detector makes it: a 10 x 10 box centred on `c`.
    Target* detection(cv::Point c)
    {
        Target* t = TargetPool::instance()->acquire();
        t->init();
        t->width = t->height = 10;
        t->origin = c - cv::Point(5, 5);
        t->centroid = c;
        return t;
    }

    void track(std::initializer_list<cv::Point> centres)
    {
        QList<Target*> detected;
        for (cv::Point c : centres)
            detected.append(detection(c));
        tracker.targetTracker.track(detected, tracked());
        ASSERT_TRUE(detected.isEmpty());
    }

    QList<Target*>& tracked() { return tracker.tracked_targets; }

    // Strict tracking at 25 frames a second, its background learnt from a plain grey frame.
    cv::Mat startStrict(cv::Size size)
    {
        tracker.setMode(CountingMode::Strict);
        tracker.setFrameRate(25);
        cv::Mat frame(size, CV_8UC1, cv::Scalar(150));
        for (int f = 0; f < 10; ++f)
            tracker.process(frame);
        return frame;
    }

    int usedSlots() const { return TargetPool::instance()->usedList().size(); }

    MessageCapture capture;
    Tracker tracker;
};

} // namespace

TEST_F(TrackerTest, ConstructionSizesThePoolAndDestructionFreesIt)
{
    EXPECT_EQ(TargetPool::instance()->capacity(), 1000);
    EXPECT_EQ(TargetPool::instance()->freeList().size(), 1000);
    EXPECT_EQ(tracker.targetTracker.maxAge, 5);
    EXPECT_EQ(tracker.targetTracker.maxDistance, 1000);
}

TEST_F(TrackerTest, FollowsOneTargetThroughMatchesMissesAndItsRelease)
{
    Target::resetIdCounter();
    track({{100, 100}});
    ASSERT_EQ(tracked().size(), 1);
    Target* a = tracked().first();
    EXPECT_EQ(a->id, 0);
    EXPECT_EQ(a->age, 0);
    EXPECT_EQ(a->agemovement, 0);
    EXPECT_FALSE(MessageCapture::debugs().join('\n').contains("Costs"));

    struct Expect {
        bool detect;
        int age;
        int agemovement;
    };
    const Expect steps[] = {{true, 0, 1}, {false, 1, 1}, {true, 0, 1}, {true, 0, 2}};
    int x = 100;
    for (const Expect& e : steps) {
        if (e.detect) {
            x += 10;
            track({{x, 100}});
        } else {
            track({});
        }
        ASSERT_EQ(tracked().size(), 1);
        EXPECT_EQ(tracked().first(), a);
        EXPECT_EQ(a->id, 0);
        EXPECT_EQ(a->age, e.age);
        EXPECT_EQ(a->agemovement, e.agemovement);
        EXPECT_EQ(usedSlots(), 1); // every merged detection went back to the pool
    }
    EXPECT_EQ(a->centroid, cv::Point(130, 100));
    EXPECT_EQ(a->last, cv::Point(120, 100));

    for (int missed = 1; missed <= 4; ++missed) {
        track({});
        ASSERT_EQ(tracked().size(), 1);
        EXPECT_EQ(a->age, missed);
        EXPECT_EQ(a->agemovement, missed == 1 ? 2 : 0); // cleared once it was already missed
    }
    track({});
    EXPECT_TRUE(tracked().isEmpty());
    EXPECT_EQ(usedSlots(), 0);
    EXPECT_EQ(TargetPool::instance()->freeList().size(), 1000);
}

TEST_F(TrackerTest, DetectionBeyondMaxDistanceBecomesANewTarget)
{
    track({{10, 10}});
    track({{1210, 10}});
    ASSERT_EQ(tracked().size(), 2);
    EXPECT_EQ(tracked()[0]->age, 1);
    EXPECT_EQ(tracked()[0]->centroid, cv::Point(10, 10));
    EXPECT_EQ(tracked()[1]->age, 0);
    EXPECT_EQ(tracked()[1]->centroid, cv::Point(1210, 10));
    EXPECT_EQ(usedSlots(), 2);
}

TEST_F(TrackerTest, CheaperDetectionIsMergedAndTheOtherJoinsAtTheEnd)
{
    track({{100, 100}});
    Target* a = tracked().first();
    track({{160, 100}, {105, 100}});
    ASSERT_EQ(tracked().size(), 2);
    EXPECT_EQ(tracked()[0], a);
    EXPECT_EQ(a->centroid, cv::Point(105, 100));
    EXPECT_EQ(tracked()[1]->centroid, cv::Point(160, 100));
    EXPECT_EQ(tracked()[1]->agemovement, 0);
}

TEST_F(TrackerTest, DetectionOnATrackedCentroidGoesToTheOtherTarget)
{
    track({{100, 100}, {150, 100}});
    Target* a = tracked()[0];
    Target* b = tracked()[1];
    track({{100, 100}}); // cost 0 to A counts as the dearest
    EXPECT_EQ(b->centroid, cv::Point(100, 100));
    EXPECT_EQ(b->age, 0);
    EXPECT_EQ(a->age, 1);
    EXPECT_EQ(tracked().size(), 2);
}

TEST_F(TrackerTest, WithPredictionEachTargetIsLookedForWhereItsWayLeads)
{
    tracker.setMode(CountingMode::Strict);
    EXPECT_EQ(tracker.targetTracker.maxAge, 25);
    // Two insects walking towards each other on one lane, passing each other.
    track({{100, 100}, {140, 100}});
    Target* right = tracked()[0];
    Target* left = tracked()[1];
    for (int step = 1; step <= 6; ++step)
        track({{100 + 10 * step, 100}, {140 - 10 * step, 100}});
    EXPECT_EQ(right->centroid, cv::Point(160, 100));
    EXPECT_EQ(left->centroid, cv::Point(80, 100));
    // Exactly where it was predicted: a zero distance is a match, not "no position".
    track({{170, 100}, {70, 100}});
    EXPECT_EQ(right->centroid, cv::Point(170, 100));
    EXPECT_EQ(right->age, 0);
    EXPECT_EQ(tracked().size(), 2);
    // Unseen, it is looked for further along its way; far off its way is another insect.
    track({});
    track({{190, 100}, {70, 300}});
    EXPECT_EQ(right->centroid, cv::Point(190, 100));
    EXPECT_EQ(left->age, 2);
    EXPECT_EQ(tracked().size(), 3);
    tracker.setMode(CountingMode::Classic);
    EXPECT_EQ(tracker.targetTracker.maxAge, 5);
    EXPECT_FALSE(tracker.targetTracker.predicts());
}

TEST_F(TrackerTest, WithPredictionATurningTargetIsFoundAgainOnceCloserPairsAreMade)
{
    tracker.setMode(CountingMode::Strict);
    // A walks right at 10 px a frame; B rests below where A is heading.
    track({{100, 100}, {140, 176}});
    Target* a = tracked()[0];
    Target* b = tracked()[1];
    for (int step = 1; step <= 3; ++step)
        track({{100 + 10 * step, 100}, {140, 176}});
    // A turns sharply: 38 px off its predicted place, beyond its close gate, nearer B than B's
    // own detection is to A. B keeps its detection, and A is found again.
    track({{140, 138}, {140, 177}});
    EXPECT_EQ(a->centroid, cv::Point(140, 138));
    EXPECT_EQ(a->age, 0);
    EXPECT_EQ(b->centroid, cv::Point(140, 177));
    EXPECT_EQ(tracked().size(), 2);
    // Beyond the wide gate it is another insect.
    track({{100, 100}, {140, 177}});
    EXPECT_EQ(a->age, 1);
    EXPECT_EQ(tracked().size(), 3);
}

TEST_F(TrackerTest, LogsTheCostMatrixAndThePairsLookedAt)
{
    track({{100, 100}});
    tracked().first()->id = 4;
    QList<Target*> detected{detection({112, 100}), detection({140, 100})};
    detected[0]->id = 9;
    detected[1]->id = 10;
    MessageCapture::clear();
    tracker.targetTracker.track(detected, tracked());

    const QStringList& debugs = MessageCapture::debugs();
    EXPECT_TRUE(debugs.contains("\"Costs\n\t4\t\n9:\t12\t\n10:\t40\t\n\""))
        << debugs.join('|').toStdString();
    EXPECT_TRUE(debugs.contains("\"Results\n\t4\t\n9:\t0\t\n10:\t-1\t\n\""));
    const QStringList expectedTail{"Looking at detected # 9",   "Looking at tracked # 0",
                                   "Target Tracked #0 matched", "Update target 4 with target 9",
                                   "Looking at detected # 10",  "Looking at tracked # 0"};
    EXPECT_EQ(debugs.mid(2), expectedTail);
}

TEST_F(TrackerTest, NeverLeaksAPoolSlotOverThousandsOfRandomFrames)
{
    QLoggingCategory::setFilterRules("default.debug=false");
    std::mt19937 random(99);
    std::uniform_int_distribution<int> count(0, 25), coordinate(1, 1600);
    for (int frame = 0; frame < 3000; ++frame) {
        QList<Target*> detected;
        const int n = count(random);
        for (int i = 0; i < n; ++i)
            detected.append(detection({coordinate(random), coordinate(random)}));
        tracker.targetTracker.track(detected, tracked());
        ASSERT_TRUE(detected.isEmpty());
        const TargetPool* pool = TargetPool::instance();
        ASSERT_EQ(pool->usedList().size() + pool->freeList().size(), 1000) << "frame " << frame;
        ASSERT_EQ(pool->usedList().size(), tracked().size()) << "frame " << frame;
        const std::set<Target*> distinct(tracked().begin(), tracked().end());
        ASSERT_EQ(distinct.size(), static_cast<size_t>(tracked().size()));
        for (const Target* t : qAsConst(tracked()))
            ASSERT_LT(t->age, 5);
    }
    QLoggingCategory::setFilterRules(QString());
    EXPECT_TRUE(MessageCapture::warnings().isEmpty());
}

TEST_F(TrackerTest, ResetReleasesEverythingAndRestartsIdentitiesOnlyWhenItReleased)
{
    track({{100, 100}, {300, 100}, {500, 100}});
    ASSERT_EQ(usedSlots(), 3);
    tracker.detected_targets.append(detection({700, 100}));
    tracker.reset();
    EXPECT_TRUE(tracked().isEmpty());
    EXPECT_TRUE(tracker.detected_targets.isEmpty());
    EXPECT_EQ(usedSlots(), 0);
    tracked().append(detection({1, 1}));
    EXPECT_EQ(tracked().first()->id, 0);

    tracker.reset(); // releases the target just made
    Target spare;
    spare.init();
    spare.init();
    EXPECT_EQ(spare.id, 1);
    tracker.reset(); // nothing to release: the counter goes on
    spare.init();
    EXPECT_EQ(spare.id, 2);
}

TEST_F(TrackerTest, ProcessTracksMovingBlobsAndLeavesNoDetection)
{
    cv::Mat frame(120, 160, CV_8UC1, cv::Scalar(100));
    tracker.process(frame); // the reference: nothing yet
    EXPECT_TRUE(tracked().isEmpty());
    for (int step = 0; step < 3; ++step) {
        frame.setTo(100);
        const cv::Point at(40 + 8 * step, 50);
        frame(cv::Rect(at, cv::Size(3, 3))).setTo(20);
        frame(cv::Rect(at + cv::Point(10, 10), cv::Size(3, 3))).setTo(20);
        tracker.process(frame);
        EXPECT_TRUE(tracker.detected_targets.isEmpty());
    }
    ASSERT_FALSE(tracked().isEmpty());
    EXPECT_EQ(tracked().first()->agemovement, 2);
    EXPECT_TRUE(MessageCapture::warnings().isEmpty());
    EXPECT_EQ(MessageCapture::debugs().filter(QRegExp("^Exec in \\d+ ms$")).size(), 4);
}

TEST_F(TrackerTest, CleaningWarnsOncePerLeftoverAndFreesItsSlot)
{
    tracker.detected_targets = {detection({5, 5}), detection({9, 9})};
    tracker.clean_detected_targets();
    EXPECT_TRUE(tracker.detected_targets.isEmpty());
    EXPECT_EQ(usedSlots(), 0);
    EXPECT_EQ(MessageCapture::warnings(), (QStringList{"Detected target should be empty!!!",
                                                       "Detected target should be empty!!!"}));
}

namespace
{

cv::Rect extentOf(const cv::Mat& image, const cv::Vec3b& colour, const cv::Rect& area)
{
    cv::Mat hits;
    cv::inRange(image(area), colour, colour, hits);
    cv::Rect r = cv::boundingRect(hits);
    return r + area.tl();
}

int pixelsOf(const cv::Mat& image, const cv::Vec3b& colour)
{
    cv::Mat hits;
    cv::inRange(image, colour, colour, hits);
    return cv::countNonZero(hits);
}

} // namespace

TEST(DrawTargets, ColoursAndLabelDependOnTheMatchAndThePreviousPosition)
{
    const cv::Vec3b matched(0, 0, 255), missed(18, 18, 152), blue(255, 0, 0), green(0, 255, 0);
    Target t;
    t.id = 7;
    t.origin = {20, 60};
    t.width = 150;
    t.height = 100;
    t.centroid = {150, 140};
    t.last = {0, 90}; // absent: no square, no line

    cv::Mat now = cv::Mat::zeros(200, 200, CV_8UC3);
    QList<Target*> list{&t};
    draw_targets(now, list);
    EXPECT_EQ(now.at<cv::Vec3b>(159, 100), matched); // bottom edge of the box
    EXPECT_EQ(now.at<cv::Vec3b>(140, 150), matched); // centroid
    EXPECT_EQ(pixelsOf(now, blue), 0);
    EXPECT_EQ(pixelsOf(now, green), 0);

    t.age = 1;
    t.last = {120, 120};
    cv::Mat earlier = cv::Mat::zeros(200, 200, CV_8UC3);
    draw_targets(earlier, list);
    EXPECT_EQ(earlier.at<cv::Vec3b>(159, 100), missed);
    EXPECT_EQ(earlier.at<cv::Vec3b>(115, 118), blue); // square's top edge at last - 5
    EXPECT_GT(pixelsOf(earlier, green), 10);

    // The label sits between the box's left edge and the square: compare its rows.
    const cv::Rect labelArea(22, 0, 40, 200);
    cv::Mat withoutBox = now.clone(), withoutBoxEarlier = earlier.clone();
    for (cv::Mat* m : {&withoutBox, &withoutBoxEarlier}) {
        m->row(60).setTo(0);
        m->row(159).setTo(0);
    }
    const cv::Rect labelNow = extentOf(withoutBox, matched, labelArea);
    const cv::Rect labelEarlier = extentOf(withoutBoxEarlier, missed, labelArea);
    ASSERT_FALSE(labelNow.empty());
    EXPECT_EQ(labelEarlier.y - labelNow.y, 20);
    EXPECT_EQ(labelEarlier.height, labelNow.height);
}

// Once the insects' usual size is known, specks far smaller that flicker here and there (the dots
// of a card under compression) make no track, while the insects are followed, also one that
// fades to a speck of itself against a darker background.
TEST_F(TrackerTest, StrictTrackingLeavesSpecksOutOnceTheInsectsSizeIsKnown)
{
    cv::Mat frame = startStrict({160, 120});
    const cv::Point specks[] = {{20, 100}, {130, 20}, {140, 100}, {25, 15}};
    int speckTracks = 0, insectSeen = 0;
    for (int f = 0; f < 60; ++f) {
        frame.setTo(150);
        const cv::Point insect(20 + 2 * f, 60);
        if (f < 50)
            cv::ellipse(frame, insect, cv::Size(7, 3), 0, 0, 360, cv::Scalar(40), cv::FILLED);
        else
            frame(cv::Rect(insect - cv::Point(1, 1), cv::Size(3, 3))).setTo(40);
        if (f >= 30) // a speck in a new place every other frame
            frame(cv::Rect(specks[(f / 2) % 4], cv::Size(3, 3))).setTo(40);
        tracker.process(frame);
        for (const Target* t : qAsConst(tracked())) {
            if (t->age > 0)
                continue;
            if (cv::norm(t->centroid - insect) <= 3)
                ++insectSeen;
            else if (f >= 40) // the specks before any usual size is known are tracked
                ++speckTracks;
        }
    }
    EXPECT_GE(insectSeen, 58);
    EXPECT_EQ(speckTracks, 0);
}

// A frame with far too many blobs becomes the background, but not where the insect followed is:
// once it walks on, no ghost of it is followed where it was.
TEST_F(TrackerTest, StrictTrackingLeavesNoGhostOfAnInsectThroughADisturbedFrame)
{
    cv::Mat frame = startStrict({320, 120});
    const cv::Point disturbedAt(100, 60); // where the insect is in the disturbed frame
    int ghostSeen = 0;
    for (int f = 0; f < 40; ++f) {
        frame.setTo(150);
        const cv::Point insect(20 + 4 * f, 60);
        // From frame 20 on, specks everywhere but near the insect then, as a compression pop
        // brings them and the new background then shows them.
        if (f >= 20)
            for (int y = 4; y + 3 <= frame.rows; y += 10)
                for (int x = 4; x + 3 <= frame.cols; x += 10)
                    if (cv::norm(cv::Point(x, y) - disturbedAt) > 25)
                        frame(cv::Rect(x, y, 3, 3)).setTo((x + y) % 20 == 8 ? 10 : 255);
        cv::ellipse(frame, insect, cv::Size(7, 3), 0, 0, 360, cv::Scalar(40), cv::FILLED);
        tracker.process(frame);
        for (const Target* t : qAsConst(tracked()))
            ghostSeen += f > 22 && t->age == 0 && cv::norm(t->centroid - disturbedAt) <= 4;
    }
    EXPECT_EQ(ghostSeen, 0);
}

// An insect followed on its own that turns faint, its contrast now under the bar of a blob, is
// still followed where it was to be; once it is gone, nothing is followed there.
TEST_F(TrackerTest, StrictTrackingFollowsAnInsectThatTurnsFaintButMakesNoGhost)
{
    cv::Mat frame = startStrict({320, 120});
    int faintSeen = 0, ghostSeen = 0;
    for (int f = 0; f < 70; ++f) {
        frame.setTo(150);
        const cv::Point insect(20 + 4 * f, 60);
        // Six grey levels: no more than the smallest change that makes a blob.
        const int level = f < 30 ? 40 : 144;
        if (f < 60)
            cv::ellipse(frame, insect, cv::Size(7, 3), 0, 0, 360, cv::Scalar(level), cv::FILLED);
        tracker.process(frame);
        for (const Target* t : qAsConst(tracked())) {
            if (t->age > 0 || cv::norm(t->centroid - insect) > 4)
                continue;
            faintSeen += f >= 30 && f < 60;
            ghostSeen += f >= 62;
        }
    }
    EXPECT_GE(faintSeen, 28);
    EXPECT_EQ(ghostSeen, 0);
}
