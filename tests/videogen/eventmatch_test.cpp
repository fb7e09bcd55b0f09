#include "eventmatch.h"

#include <gtest/gtest.h>

namespace
{

videogen::TrueEvent trueIn(int frame, cv::Point at, int touchFirst, int touchLast)
{
    videogen::TrueEvent e;
    e.frame = frame;
    e.at = at;
    e.in = 1;
    e.touchFirst = touchFirst;
    e.touchLast = touchLast;
    return e;
}

videogen::TrueEvent trueOut(int frame, cv::Point at)
{
    videogen::TrueEvent e = trueIn(frame, at, frame - 1, frame);
    e.in = 0;
    e.out = 1;
    return e;
}

const MatchTolerance tolerance{3, 40};

} // namespace

TEST(EventMatch, CountsWithinTheTouchingFramesAndToleranceMatch)
{
    const std::vector<videogen::TrueEvent> truth{trueIn(50, {100, 100}, 45, 52)};
    for (int frame : {42, 45, 50, 55}) {
        const MatchCounts m = matchEvents(truth, {{frame, {105, 100}, 1, 0}}, tolerance);
        EXPECT_EQ(m.matched, 1) << frame;
        EXPECT_EQ(m.precision(), 1.0);
        EXPECT_EQ(m.recall(), 1.0);
    }
    for (int frame : {41, 56}) {
        const MatchCounts m = matchEvents(truth, {{frame, {105, 100}, 1, 0}}, tolerance);
        EXPECT_EQ(m.matched, 0) << frame;
        EXPECT_EQ(m.missed, 1);
        EXPECT_EQ(m.extra, 1);
        EXPECT_EQ(m.doubles, 0);
    }
}

TEST(EventMatch, FarAwayOrWrongWayEventsDoNotMatch)
{
    const std::vector<videogen::TrueEvent> truth{trueIn(50, {100, 100}, 49, 50)};
    EXPECT_EQ(matchEvents(truth, {{50, {100, 141}, 1, 0}}, tolerance).matched, 0);
    EXPECT_EQ(matchEvents(truth, {{50, {100, 100}, 0, 1}}, tolerance).matched, 0);
    // An event flagged both ways stands for a crossing either way.
    EXPECT_EQ(matchEvents(truth, {{50, {100, 100}, 1, 1}}, tolerance).matched, 1);
}

TEST(EventMatch, ARepeatedCountIsADoubleAndSomethingElseIsAnExtra)
{
    const std::vector<videogen::TrueEvent> truth{trueIn(50, {100, 100}, 49, 50),
                                                 trueOut(80, {200, 100})};
    const std::vector<CountedEvent> counted{
        {50, {100, 100}, 1, 0}, {51, {104, 100}, 1, 0}, {120, {100, 100}, 1, 0}};
    std::vector<Verdict> verdicts;
    const MatchCounts m = matchEvents(truth, counted, tolerance, &verdicts);
    EXPECT_EQ(verdicts, (std::vector<Verdict>{Verdict::Matched, Verdict::Double, Verdict::Extra}));
    EXPECT_EQ(m.trueEvents, 2);
    EXPECT_EQ(m.trueIn, 1);
    EXPECT_EQ(m.trueOut, 1);
    EXPECT_EQ(m.countedEvents, 3);
    EXPECT_EQ(m.countedIn, 3);
    EXPECT_EQ(m.matched, 1);
    EXPECT_EQ(m.doubles, 1);
    EXPECT_EQ(m.extra, 1);
    EXPECT_EQ(m.missed, 1);
    EXPECT_DOUBLE_EQ(m.precision(), 1.0 / 3);
    EXPECT_DOUBLE_EQ(m.recall(), 0.5);
}

TEST(EventMatch, EachCountGoesToTheNearestFrameSoTwoCloseInsectsAreBothFound)
{
    // Two insects cross a few frames apart; the counts come in the opposite list order.
    const std::vector<videogen::TrueEvent> truth{trueIn(50, {100, 100}, 47, 52),
                                                 trueIn(52, {100, 110}, 49, 54)};
    const std::vector<CountedEvent> counted{{52, {100, 110}, 1, 0}, {50, {100, 100}, 1, 0}};
    const MatchCounts m = matchEvents(truth, counted, tolerance);
    EXPECT_EQ(m.matched, 2);
    EXPECT_EQ(m.doubles + m.extra + m.missed, 0);
}

TEST(EventMatch, SumsAndEmptyCases)
{
    const MatchCounts none = matchEvents({}, {}, tolerance);
    EXPECT_EQ(none.precision(), 1.0);
    EXPECT_EQ(none.recall(), 1.0);
    MatchCounts sum = matchEvents({trueIn(5, {1, 1}, 4, 5)}, {}, tolerance);
    sum += matchEvents({}, {{9, {1, 1}, 0, 1}}, tolerance);
    EXPECT_EQ(sum.trueEvents, 1);
    EXPECT_EQ(sum.countedEvents, 1);
    EXPECT_EQ(sum.missed, 1);
    EXPECT_EQ(sum.extra, 1);
    EXPECT_EQ(sum.precision(), 0.0);
}
