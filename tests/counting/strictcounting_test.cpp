#include "areacontour.h"
#include "countingmode.h"
#include "csvfile.h"
#include "insectdetect.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <tuple>

namespace
{

using Points = std::vector<cv::Point>;

const QDateTime start(QDate(2026, 6, 1), QTime(9, 30, 0));
// The tracker drops a target once it has been missing this long.
constexpr int trackerMaxAge = 5;

// A tracked insect as the tracker leaves it after each frame.
struct Insect {
    Target t;

    // Boxes of 16 x 16: a border within 12 px of the centre touches the box, give or take.
    explicit Insect(int id)
    {
        t.id = id;
        t.width = t.height = 16;
    }
    // Matched this frame at `at` (a new target has no `last` yet), its velocity followed as the
    // tracker follows it, taking in `stepWeight` of each step.
    void seenAt(cv::Point at, float stepWeight)
    {
        const bool known = t.centroid != cv::Point();
        if (known) {
            Target detection;
            detection.centroid = at;
            t.followStep(detection, t.age + 1, stepWeight);
        }
        t.agemovement = known ? (t.age == 0 ? t.agemovement + 1 : 1) : 0;
        t.last = known ? t.centroid : cv::Point();
        t.centroid = at;
        t.age = 0;
    }
    void missed()
    {
        ++t.age;
        t.agemovement = 0;
    }
};

class StrictCounting : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        video = dir.path() + QStringLiteral("/trap.mp4");
        engine.setMode(CountingMode::Strict);
    }

    void useRegion(const Points& area)
    {
        regions.area = area;
        regions.mask = {{0, 0}, {639, 0}, {639, 479}, {0, 479}, {0, 0}};
        regions.build_counting_points(cv::Size(640, 480), 0);
    }

    // Runs the frames, each a list of (insect, position) with a zero position for "missed", then
    // ends the video; returns every event.
    std::vector<Result> run(std::vector<Insect*> insects, const std::vector<Points>& frames,
                            int firstFrame = 100)
    {
        std::vector<Result> all;
        for (size_t f = 0; f < frames.size(); ++f) {
            QList<Target*> targets;
            for (size_t i = 0; i < insects.size(); ++i) {
                const cv::Point at = frames[f][i];
                if (at != cv::Point())
                    insects[i]->seenAt(at, stepWeight);
                else if (insects[i]->t.centroid != cv::Point())
                    insects[i]->missed();
                if (insects[i]->t.centroid != cv::Point() && insects[i]->t.age < trackerMaxAge)
                    targets.append(&insects[i]->t);
            }
            for (const Result& r : engine.Detect(targets, &regions, video,
                                                 firstFrame + static_cast<int>(f), 25, start))
                all.push_back(r);
        }
        for (const Result& r : engine.finishVideo(25, start))
            all.push_back(r);
        return all;
    }

    std::vector<Result> runOne(const Points& path, int boxSide = 16)
    {
        engine.reset();
        Insect a(1);
        a.t.width = a.t.height = boxSide;
        std::vector<Points> frames;
        for (const cv::Point& p : path)
            frames.push_back({p});
        return run({&a}, frames);
    }

    QTemporaryDir dir;
    QString video;
    AreaContour regions;
    InsectDetect engine;
    // The share of each step the tracker's velocity takes in: a half at 25 frames a second, more
    // at a lower rate.
    float stepWeight = 0.5f;
};

const Points downwardLine{{100, 50}, {100, 150}};
const Points square{{200, 200}, {300, 200}, {300, 300}, {200, 300}, {200, 200}};
const cv::Point gone;

} // namespace

TEST(CountingModeNames, RoundTripAndRefuseMisspellings)
{
    CountingMode mode = CountingMode::Classic;
    EXPECT_TRUE(countingModeFromName(QStringLiteral("strict"), mode));
    EXPECT_EQ(mode, CountingMode::Strict);
    EXPECT_EQ(countingModeName(mode), QStringLiteral("strict"));
    for (const char* wrong : {"Strict", "strikt", "", "classic "})
        EXPECT_FALSE(countingModeFromName(QLatin1String(wrong), mode)) << wrong;
    EXPECT_EQ(mode, CountingMode::Strict);
    EXPECT_TRUE(countingModeFromName(QStringLiteral("classic"), mode));
    EXPECT_EQ(mode, CountingMode::Classic);
}

TEST_F(StrictCounting, AStraightCrossingCountsOnceWithItsDirection)
{
    useRegion(downwardLine);
    const std::vector<Result> rightwards =
        runOne({{70, 100}, {80, 100}, {90, 100}, {110, 100}, {120, 100}});
    ASSERT_EQ(rightwards.size(), 1u);
    EXPECT_EQ(rightwards[0].frame, 103);
    EXPECT_EQ(rightwards[0].x, 110);
    EXPECT_EQ(rightwards[0].in, 1);
    EXPECT_EQ(rightwards[0].out, 0);

    engine.reset();
    const std::vector<Result> leftwards = runOne({{130, 90}, {104, 90}, {96, 90}, {80, 90}});
    ASSERT_EQ(leftwards.size(), 1u);
    EXPECT_EQ(leftwards[0].in, 0);
    EXPECT_EQ(leftwards[0].out, 1);
    // The events are returned only: the run writes the result file.
    EXPECT_FALSE(QFileInfo::exists(CsvFile::resultPath(video)));
}

TEST_F(StrictCounting, TouchingTheLineAndTurningBackCountsNothing)
{
    useRegion(downwardLine);
    EXPECT_TRUE(
        runOne({{80, 100}, {90, 100}, {100, 100}, {100, 101}, {92, 100}, {80, 100}}).empty());
    // Beyond the line's end is no crossing either.
    EXPECT_TRUE(runOne({{80, 170}, {120, 170}}).empty());
}

TEST_F(StrictCounting, AStepEndingExactlyOnTheLineCountsOnce)
{
    useRegion(downwardLine);
    const std::vector<Result> events = runOne({{80, 100}, {90, 100}, {100, 100}, {110, 100}});
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].frame, 103);
}

// A new track that steps across and is lost straight after is a fleck of texture or a fragment
// taken for the insect, not an insect crossing; followed on after its step, it counts.
TEST_F(StrictCounting, ACrossingCountsOnlyWhenTheTrackGoesOnAfterIt)
{
    useRegion(downwardLine);
    Points flicker{{90, 100}, {110, 100}};
    flicker.insert(flicker.end(), trackerMaxAge + 1, gone);
    EXPECT_TRUE(runOne(flicker).empty());
    const std::vector<Result> walking =
        runOne({{90, 100}, {110, 100}, {112, 100}, {114, 100}, gone, gone, gone, gone, gone, gone});
    ASSERT_EQ(walking.size(), 1u);
    EXPECT_EQ(walking[0].frame, 101);
    EXPECT_EQ(walking[0].in, 1);
    // The video ends before either could be confirmed: the track lost after its crossing counts
    // nothing, the one still followed counts.
    EXPECT_TRUE(runOne({{90, 100}, {110, 100}, gone, gone}).empty());
    EXPECT_EQ(runOne({{90, 100}, {110, 100}}).size(), 1u);
}

// Its blob sharpened by a key frame, or a leg showing, the box of a resting insect jumps across;
// at any frame rate, the jump itself is no sign that it was going that way.
TEST_F(StrictCounting, ARestingInsectWhoseBoxJumpsAcrossTheLineCountsNothing)
{
    useRegion(downwardLine);
    Points resting{{97, 100}, {97, 100}, {98, 100}, {97, 100}, {103, 100}};
    resting.insert(resting.end(), 12, cv::Point(103, 100));
    for (const float weight : {0.5f, 0.82f, 0.18f}) { // 25, 10 and 90 frames a second
        stepWeight = weight;
        EXPECT_TRUE(runOne(resting).empty()) << weight;
    }
}

// A fast insect blurred away for a few frames crossed between its two sightings: the event is
// dated and placed where the straight way between them meets the line or the border.
TEST_F(StrictCounting, ACrossingUnseenIsDatedBetweenTheSightingsAroundIt)
{
    useRegion(downwardLine);
    const std::vector<Result> line = runOne(
        {{50, 100}, {60, 100}, {70, 100}, gone, gone, gone, {140, 100}, {150, 100}, {160, 100}});
    ASSERT_EQ(line.size(), 1u);
    EXPECT_EQ(line[0].frame, 104); // three sevenths of the way from frame 102 to 106
    EXPECT_EQ(line[0].x, 100);
    EXPECT_EQ(line[0].in, 1);

    useRegion(square);
    const std::vector<Result> area = runOne(
        {{120, 250}, {130, 250}, {140, 250}, gone, gone, gone, {240, 250}, {250, 250}, {260, 250}});
    ASSERT_EQ(area.size(), 1u);
    EXPECT_EQ(area[0].frame, 105); // three fifths of the way
    EXPECT_EQ(area[0].x, 200);
    EXPECT_EQ(area[0].in, 1);
}

TEST_F(StrictCounting, TwoInsectsCrossingInTheSameFrameGiveTwoEvents)
{
    useRegion(downwardLine);
    Insect a(1), b(2);
    const std::vector<Result> events =
        run({&a, &b}, {{{90, 80}, {112, 120}}, {{110, 80}, {94, 120}}});
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].in, 1);
    EXPECT_EQ(events[1].out, 1);
    EXPECT_EQ(events[0].frame, events[1].frame);
}

TEST_F(StrictCounting, ABlobOfOverlappingInsectsCountsEachOfThem)
{
    useRegion(downwardLine);
    Insect pair(1);
    pair.t.insects = 2;
    const std::vector<Result> line = run({&pair}, {{{80, 100}}, {{90, 100}}, {{110, 100}}});
    ASSERT_EQ(line.size(), 2u);
    for (const Result& r : line)
        EXPECT_EQ(std::tie(r.frame, r.x, r.in, r.out), std::make_tuple(102, 110, 1, 0));

    engine.reset();
    useRegion(square);
    Insect trio(2);
    trio.t.insects = 3;
    const std::vector<Result> area =
        run({&trio}, {{{170, 250}}, {{180, 250}}, {{190, 250}}, {{210, 250}}, {{220, 250}}});
    ASSERT_EQ(area.size(), 3u);
    for (const Result& r : area)
        EXPECT_EQ(r.in, 1);
}

TEST_F(StrictCounting, AFastInsectCuttingACornerByAPixelCountsNothing)
{
    useRegion(square);
    // Its step from beside the area to above it passes a pixel inside the corner.
    EXPECT_TRUE(runOne({{324, 226}, {314, 216}, {304, 206}, {294, 196}, {284, 186}}).empty());
}

TEST_F(StrictCounting, AFastInsectInsideTheCornerForAFrameCountsItsEntryAndItsExit)
{
    useRegion(square);
    // A pixel deep for one frame: the band that hides a box's jitter must not hide it.
    const std::vector<Result> events =
        runOne({{329, 231}, {319, 221}, {309, 211}, {299, 201}, {289, 191}, {279, 181}});
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(std::tie(events[0].frame, events[0].in), std::make_tuple(103, 1));
    EXPECT_EQ(std::tie(events[1].frame, events[1].out), std::make_tuple(104, 1));
    // At rest, a pixel into the area and back is the box jittering.
    EXPECT_TRUE(runOne({{302, 205},
                        {302, 205},
                        {301, 205},
                        {299, 205},
                        {301, 205},
                        {299, 205},
                        {301, 205},
                        {302, 205}})
                    .empty());
}

// An insect first seen on the border (too fast or too faint to be seen before) and a stride
// inside at the next frame came in; one setting off slowly from there may have rested inside.
TEST_F(StrictCounting, AnInsectFirstSeenOnTheBorderCountsWhenItStridesOffIt)
{
    useRegion(square);
    const std::vector<Result> fast = runOne({{300, 250}, {277, 250}, {254, 250}});
    ASSERT_EQ(fast.size(), 1u);
    EXPECT_EQ(std::tie(fast[0].frame, fast[0].in, fast[0].x), std::make_tuple(100, 1, 300));
    EXPECT_TRUE(runOne({{300, 250}, {299, 250}, {297, 250}, {295, 250}, {290, 250}}).empty());
    useRegion(downwardLine);
    const std::vector<Result> line = runOne({{100, 100}, {90, 100}, {80, 100}});
    ASSERT_EQ(line.size(), 1u);
    EXPECT_EQ(line[0].out, 1);
}

TEST_F(StrictCounting, AnInsectVanishingIntoTheAreaCountsInOnce)
{
    useRegion(square);
    // Walks right towards the left border, is lost there and stays lost.
    const std::vector<Result> events =
        runOne({{160, 250}, {170, 250}, {180, 250}, {190, 250}, gone, gone, gone, gone, gone});
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].in, 1);
    EXPECT_EQ(events[0].out, 0);
    // Counted for the frame on which it vanished.
    EXPECT_EQ(events[0].frame, 104);
    EXPECT_EQ(events[0].x, 190);
    // Lost short of the border, its box not touching it, it did not go in.
    EXPECT_TRUE(
        runOne({{150, 250}, {160, 250}, {170, 250}, {180, 250}, gone, gone, gone, gone, gone})
            .empty());
}

TEST_F(StrictCounting, AShortGapIsNoEntryAndALossFarFromTheBorderIsNone)
{
    useRegion(square);
    EXPECT_TRUE(
        runOne({{150, 250}, {160, 250}, gone, gone, {175, 250}, {170, 250}, {160, 250}}).empty());
    EXPECT_TRUE(runOne({{50, 250}, {60, 250}, {70, 250}, gone, gone, gone, gone, gone}).empty());
    // Heading along the border, not across it.
    EXPECT_TRUE(runOne({{210, 180}, {220, 180}, {230, 180}, gone, gone, gone, gone}).empty());
}

TEST_F(StrictCounting, AnInsectAppearingFromTheAreaCountsOutOnce)
{
    useRegion(square);
    const std::vector<Result> events =
        runOne({{305, 250}, {312, 250}, {320, 250}, {330, 250}, {340, 250}, {350, 250}});
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].out, 1);
    EXPECT_EQ(events[0].in, 0);
    // Dated to the frame on which it appeared.
    EXPECT_EQ(events[0].frame, 100);
    // Resting where it appeared, it came out when it set off.
    const std::vector<Result> rested =
        runOne({{305, 250}, {306, 250}, {305, 250}, {306, 250}, {315, 250}, {325, 250}});
    ASSERT_EQ(rested.size(), 1u);
    EXPECT_EQ(rested[0].frame, 103);
    // Appearing near the border but walking towards it is no exit.
    EXPECT_TRUE(runOne({{340, 250}, {330, 250}, {320, 250}}).empty());
    // A fleck of texture by the border whose box jumps once and springs back, then fades, went
    // neither out nor in.
    Points fleck(5, {250, 195});
    fleck.push_back({250, 191});
    fleck.insert(fleck.end(), 5, {250, 195});
    fleck.insert(fleck.end(), 6, gone);
    EXPECT_TRUE(runOne(fleck).empty());
}

TEST_F(StrictCounting, ClassicModeStaysTheDefault)
{
    InsectDetect fresh;
    EXPECT_EQ(fresh.mode(), CountingMode::Classic);
    fresh.setMode(CountingMode::Classic);
    useRegion(downwardLine);
    Target t;
    t.id = 1;
    t.last = {90, 100};
    t.centroid = {100, 100};
    // Classic counts a step ending on the line, with both flags.
    const std::vector<Result> events = fresh.Detect({&t}, &regions, video, 5, 25, start);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].in, 1);
    EXPECT_EQ(events[0].out, 1);
}

TEST_F(StrictCounting, AnInsectRestingOnTheLineCountsOnlyItsCrossing)
{
    useRegion(downwardLine);
    // The box of a resting insect jitters by a pixel on either side of the line.
    const std::vector<Result> events = runOne({{80, 100},
                                               {90, 100},
                                               {99, 100},
                                               {101, 100},
                                               {99, 100},
                                               {100, 100},
                                               {101, 100},
                                               {120, 100}});
    ASSERT_EQ(events.size(), 1u);
    // It walked over at 103: the pixel its centre is off the line is a side while it walks on.
    EXPECT_EQ(events[0].frame, 103);
    EXPECT_EQ(events[0].in, 1);
}

// Walking along the line a pixel beside it, an insect that steps a pixel over and later back
// crossed it twice: its centre goes on, where a resting insect's box would jitter.
TEST_F(StrictCounting, AnInsectWalkingAlongTheLineCountsEachStepOver)
{
    useRegion(downwardLine);
    Points path;
    for (int i = 0; i < 12; ++i)
        path.push_back({i >= 4 && i < 8 ? 101 : 99, 60 + 3 * i});
    const std::vector<Result> events = runOne(path);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(std::tie(events[0].frame, events[0].in), std::make_tuple(104, 1));
    EXPECT_EQ(std::tie(events[1].frame, events[1].out), std::make_tuple(108, 1));
}

// A 16 px box whose centre swings 3 px either way once across: its legs and shadow come and go.
TEST_F(StrictCounting, AnInsectJitteringOnTheLineAfterCrossingItIsCountedOnce)
{
    useRegion(downwardLine);
    const std::vector<Result> jittering =
        runOne({{80, 100}, {90, 100}, {103, 100}, {97, 100}, {103, 100}, {97, 100}, {103, 100}});
    ASSERT_EQ(jittering.size(), 1u);
    EXPECT_EQ(jittering[0].in, 1);
    // Turning back clearly after crossing is a crossing back.
    const std::vector<Result> back = runOne({{80, 100}, {90, 100}, {103, 100}, {90, 100}});
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[1].out, 1);
}

// Out fast, back in two pixels inside the border, along it for a body length and more, and out
// again: three crossings, however close to the border it keeps.
TEST_F(StrictCounting, AnInsectWalkingBackInAlongTheBorderCountsEachCrossing)
{
    useRegion(square);
    // It turns while still walking, then slows down beside the border.
    const Points turn{{284, 230}, {288, 230}, {292, 230}, {296, 230}, {300, 230},
                      {304, 230}, {308, 230}, {309, 232}, {309, 234}, {308, 236},
                      {306, 238}, {304, 239}, {302, 240}, {301, 241}, {301, 242},
                      {301, 243}, {301, 244}, {301, 245}, {301, 246}};
    const auto checkThreeCrossings = [&](Points path, cv::Point in) {
        for (const cv::Point& p : {cv::Point(301, 271), cv::Point(305, 272), cv::Point(309, 273)})
            path.push_back(p);
        const std::vector<Result> events = runOne(path, 12);
        ASSERT_EQ(events.size(), 3u);
        EXPECT_EQ(std::tie(events[0].out, events[0].x), std::make_tuple(1, 304));
        EXPECT_EQ(std::tie(events[1].in, events[1].x, events[1].y), std::make_tuple(1, in.x, in.y));
        EXPECT_EQ(std::tie(events[2].out, events[2].x, events[2].y), std::make_tuple(1, 301, 271));
    };
    // Back in slowly, four pixels in three frames: the hold of its way out has ended.
    Points slow = turn;
    slow.push_back({299, 247});
    for (int i = 0; i <= 16; ++i)
        slow.push_back({298, 248 + i + i / 3});
    checkThreeCrossings(slow, {299, 247});
    // Stepping in sideways, then walking on along the border: it never gets farther from it.
    Points along = turn;
    for (int y = 246; y <= 270; y += 2)
        along.push_back({298, y});
    checkThreeCrossings(along, {298, 246});
}

TEST_F(StrictCounting, ATargetRelinkedAcrossTheAreaCountsTheEntryAndTheExit)
{
    useRegion(square);
    // Lost at the left border heading in; two frames later the tracker gives it the insect
    // coming out on the right.
    const std::vector<Result> events = runOne({{160, 250},
                                               {170, 250},
                                               {180, 250},
                                               {190, 250},
                                               gone,
                                               gone,
                                               {305, 250},
                                               {315, 250},
                                               {325, 250}});
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].in, 1);
    EXPECT_EQ(events[0].frame, 104);
    EXPECT_EQ(events[0].x, 190);
    EXPECT_EQ(events[1].out, 1);
    EXPECT_EQ(events[1].frame, 106);
}

TEST_F(StrictCounting, AnInsectSeenInsideTheAreaCountsWhenItsCentreCrossesTheBorder)
{
    useRegion(square);
    // In at 205, out at 295: each dated to its first frame on the new side, once.
    const std::vector<Result> events = runOne({{185, 250},
                                               {195, 250},
                                               {205, 250},
                                               {215, 250},
                                               {250, 250},
                                               {285, 250},
                                               {295, 250},
                                               {305, 250},
                                               {315, 250},
                                               gone,
                                               gone,
                                               gone,
                                               gone,
                                               gone});
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].in, 1);
    EXPECT_EQ(events[0].frame, 102);
    EXPECT_EQ(events[0].x, 205);
    EXPECT_EQ(events[1].out, 1);
    EXPECT_EQ(events[1].frame, 107);
    EXPECT_EQ(events[1].x, 305);
    // Resting on the border, a pixel either side of it, and back out: nothing.
    EXPECT_TRUE(runOne({{190, 250},
                        {199, 250},
                        {199, 250},
                        {199, 250},
                        {199, 250},
                        {201, 251},
                        {199, 251},
                        {201, 252},
                        {199, 252},
                        {199, 252},
                        {190, 252}})
                    .empty());
}
