#include "areacontour.h"
#include "csvfile.h"
#include "insectdetect.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <climits>

namespace
{

using Points = std::vector<cv::Point>;

QStringList debugMessages;

void captureMessages(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (type == QtDebugMsg)
        debugMessages << text;
}

const QDateTime start(QDate(2015, 6, 12), QTime(14, 3, 17));

Target target(int id, cv::Point last, cv::Point centroid, int age, int agemovement = 5)
{
    Target t;
    t.id = id;
    t.last = last;
    t.centroid = centroid;
    t.origin = centroid - cv::Point(2, 2);
    t.age = age;
    t.agemovement = agemovement;
    return t;
}

// Counting points are built the way an analysis builds them: every edge of `polyline` lies
// inside a mask covering the whole 640 x 480 frame, so each edge gives its two vertices.
void setCounting(AreaContour& regions, const Points& polyline)
{
    regions.area = polyline;
    regions.mask = {{0, 0}, {639, 0}, {639, 479}, {0, 479}, {0, 0}};
    regions.build_counting_points(cv::Size(640, 480), 0);
}

Result event(double frame, int x, int y, int in, int out, const char* time)
{
    Result r;
    r.frame = frame;
    r.x = x;
    r.y = y;
    r.in = in;
    r.out = out;
    r.timestamp = QLatin1String(time);
    return r;
}

class Counting : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        video = dir.path() + QStringLiteral("/serre n°2/ruche 7.mp4");
        ASSERT_TRUE(QDir().mkpath(dir.path() + QStringLiteral("/serre n°2")));
        debugMessages.clear();
        previousHandler = qInstallMessageHandler(captureMessages);
        QObject::connect(&engine, &InsectDetect::Add_Insect_detected, [this] { ++emitted; });
    }
    void TearDown() override
    {
        qInstallMessageHandler(previousHandler);
        EXPECT_EQ(emitted, 0);
        // The engine returns its events and leaves the files to the run.
        EXPECT_FALSE(QFileInfo::exists(CsvFile::resultPath(video)));
    }

    std::vector<Result> detect(const QList<Target*>& targets, int frame, int fps = 25)
    {
        std::vector<Result> events = engine.Detect(targets, &regions, video, frame, fps, start);
        counted.insert(counted.end(), events.begin(), events.end());
        return events;
    }

    // Every event counted so far, as the run writes it into the result file.
    QStringList countedLines() const
    {
        QStringList lines;
        for (const Result& e : counted)
            lines << CsvFile::recordLine(e.frame, e.x, e.y, e.in, e.out, e.timestamp).trimmed();
        return lines;
    }

    QTemporaryDir dir;
    QString video;
    AreaContour regions;
    InsectDetect engine;
    std::vector<Result> counted;
    int emitted = 0;
    QtMessageHandler previousHandler = nullptr;
};

} // namespace

TEST_F(Counting, LineCrossingCountsInAndOut)
{
    setCounting(regions, {{100, 50}, {100, 150}});
    Target t = target(7, {90, 100}, {110, 100}, 0);
    EXPECT_EQ(detect({&t}, 250),
              (std::vector<Result>{event(250, 110, 100, 1, 1, "2015-06-12_14:03:27")}));
    EXPECT_EQ(countedLines(), QStringList{QStringLiteral("250;110;100;1;1;2015-06-12_14:03:27")});
    EXPECT_EQ(debugMessages,
              (QStringList{QStringLiteral("targets input id =  7   seg = [ 90 @ 100 ][ 110 @ 100 ] "
                                          "age =  0"),
                           QStringLiteral("area seg = [ 100 @ 50 ][ 100 @ 150 ]")}));
}

// A hand-edited line file at the limits of int: its ends are clamped when read, and the line
// through the frame still counts (without overflow under the sanitizers).
TEST_F(Counting, LineFromAFileAtTheIntLimitsCounts)
{
    const QString folder = dir.path() + QStringLiteral("/serre n°2/exportCSV");
    ASSERT_TRUE(QDir().mkpath(folder));
    QFile file(folder + QStringLiteral("/ruche 7_area.adv"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("-2147483648,-2147483648\n2147483647,2147483647\n");
    file.close();
    ASSERT_TRUE(regions.load_area(video));
    const int l = AreaContour::coordinateLimit;
    EXPECT_EQ(regions.area, (Points{{-l, -l}, {l, l}}));
    regions.build_counting_points(cv::Size(640, 480), 0);
    Target t = target(1, {100, 90}, {90, 100}, 0);
    EXPECT_EQ(detect({&t}, 30).size(), 1u);
}

TEST_F(Counting, LineTouchedByTheStepCounts)
{
    setCounting(regions, {{100, 50}, {100, 150}});
    Target t = target(1, {90, 100}, {100, 100}, 0);
    ASSERT_EQ(detect({&t}, 30, 30).size(), 1u);
    EXPECT_EQ(countedLines(), QStringList{QStringLiteral("30;100;100;1;1;2015-06-12_14:03:18")});
}

TEST_F(Counting, TwoLineCrossingsInOneFrameShareTheTime)
{
    setCounting(regions, {{100, 50}, {100, 150}});
    Target a = target(1, {90, 100}, {110, 100}, 0);
    Target missing = target(2, {90, 80}, {110, 80}, 1); // not matched in this frame
    Target b = target(3, {112, 60}, {95, 70}, 0);
    const std::vector<Result> events = detect({&a, &missing, &b}, 59, 30);
    EXPECT_EQ(events, (std::vector<Result>{event(59, 110, 100, 1, 1, "2015-06-12_14:03:18"),
                                           event(59, 95, 70, 1, 1, "2015-06-12_14:03:18")}));
    EXPECT_EQ(countedLines(), (QStringList{QStringLiteral("59;110;100;1;1;2015-06-12_14:03:18"),
                                           QStringLiteral("59;95;70;1;1;2015-06-12_14:03:18")}));
}

TEST_F(Counting, LineWithAnEndOnColumnZeroNeverCounts)
{
    setCounting(regions, {{0, 100}, {200, 100}});
    Target t = target(1, {50, 90}, {50, 110}, 0);
    EXPECT_TRUE(detect({&t}, 10).empty());
    EXPECT_TRUE(counted.empty());
}

TEST_F(Counting, LineCountsAgainWhileTheStepTouchesIt)
{
    setCounting(regions, {{100, 50}, {100, 150}});
    Target t = target(1, {100, 90}, {100, 110}, 0);
    EXPECT_EQ(detect({&t}, 10).size(), 1u);
    EXPECT_EQ(detect({&t}, 11).size(), 1u);
    EXPECT_EQ(countedLines().size(), 2);
}

TEST_F(Counting, TargetsWithoutPositionsAreSkipped)
{
    setCounting(regions, {{100, 50}, {100, 150}});
    Target noLast = target(1, {0, 100}, {110, 100}, 0);
    Target rowZero = target(2, {90, 100}, {110, 0}, 0);
    EXPECT_TRUE(detect({&noLast, &rowZero, nullptr}, 10).empty());
    EXPECT_TRUE(debugMessages.isEmpty());
}

TEST_F(Counting, InRuleDrawsTheLastStepOnFiveTimes)
{
    Target t = target(4, {92, 100}, {96, 100}, 1); // path (92,100)-(112,100)
    setCounting(regions, {{120, 10}, {120, 200}});
    EXPECT_TRUE(detect({&t}, 100).empty());
    setCounting(regions, {{110, 10}, {110, 200}, {300, 200}});
    EXPECT_EQ(detect({&t}, 100),
              (std::vector<Result>{event(100, 96, 100, 1, 0, "2015-06-12_14:03:21")}));
    EXPECT_EQ(countedLines(), QStringList{QStringLiteral("100;96;100;1;0;2015-06-12_14:03:21")});
}

TEST_F(Counting, OutRuleDrawsTheFirstStepBackThreeTimes)
{
    Target t = target(5, {104, 100}, {108, 100}, 0, 2); // path (104,100)-(92,100)
    setCounting(regions, {{95, 10}, {95, 200}, {300, 200}});
    EXPECT_EQ(detect({&t}, 75),
              (std::vector<Result>{event(75, 108, 100, 0, 1, "2015-06-12_14:03:20")}));
    EXPECT_EQ(countedLines(), QStringList{QStringLiteral("75;108;100;0;1;2015-06-12_14:03:20")});
}

TEST_F(Counting, OutRuleOnlyAtTheSecondMatch)
{
    setCounting(regions, {{95, 10}, {95, 200}, {300, 200}});
    for (int agemovement : {0, 1, 3, 10}) {
        Target t = target(5, {104, 100}, {108, 100}, 0, agemovement);
        EXPECT_TRUE(detect({&t}, 75).empty()) << agemovement;
    }
    Target gone = target(5, {104, 100}, {108, 100}, 2, 2);
    EXPECT_TRUE(detect({&gone}, 75).empty());
}

TEST_F(Counting, SegmentWithAZeroCoordinateIsNeverTested)
{
    Target t = target(4, {92, 100}, {96, 100}, 1); // path crosses x = 100
    setCounting(regions, {{100, 0}, {100, 200}, {400, 200}});
    EXPECT_TRUE(detect({&t}, 100).empty());
    setCounting(regions, {{100, 10}, {100, 200}, {400, 200}});
    EXPECT_EQ(detect({&t}, 100).size(), 1u);
}

TEST_F(Counting, RepeatAtTheSameSpotWithinFourFramesIsSuppressed)
{
    setCounting(regions, {{210, 10}, {210, 400}, {400, 400}});
    Target first = target(1, {196, 300}, {200, 300}, 1);
    Target second = target(2, {196, 300}, {200, 300}, 1);
    Target elsewhere = target(3, {197, 301}, {201, 301}, 1);
    EXPECT_EQ(detect({&first}, 40).size(), 1u);
    EXPECT_TRUE(detect({&second}, 44).empty());
    EXPECT_EQ(detect({&second}, 45).size(), 1u);
    EXPECT_EQ(detect({&elsewhere}, 46).size(), 1u);
    EXPECT_EQ(countedLines(), (QStringList{QStringLiteral("40;200;300;1;0;2015-06-12_14:03:18"),
                                           QStringLiteral("45;200;300;1;0;2015-06-12_14:03:18"),
                                           QStringLiteral("46;201;301;1;0;2015-06-12_14:03:18")}));
    engine.reset();
    EXPECT_EQ(engine.lastCountX, 0);
    EXPECT_EQ(engine.lastCountFrame, 0);
    EXPECT_EQ(detect({&second}, 40).size(), 1u);
}

TEST_F(Counting, OneEventPerTargetForTheFirstSegmentCrossed)
{
    // Both x = 110 and the diagonal back to (105, 10) cross the path (92,100)-(112,100).
    setCounting(regions, {{110, 10}, {110, 200}, {105, 10}});
    Target t = target(4, {92, 100}, {96, 100}, 1);
    EXPECT_EQ(detect({&t}, 100).size(), 1u);
    EXPECT_EQ(countedLines().size(), 1);
}

TEST_F(Counting, AreaModeLogsEveryTargetAndTheListSize)
{
    setCounting(regions, {{110, 10}, {110, 200}, {300, 200}});
    EXPECT_TRUE(detect({}, 10).empty());
    EXPECT_EQ(debugMessages, QStringList{QStringLiteral("targets.size =  0")});
    debugMessages.clear();
    Target t = target(3, {20, 30}, {24, 33}, 2, 1);
    t.origin = {22, 31};
    detect({&t}, 10);
    EXPECT_EQ(debugMessages,
              (QStringList{QStringLiteral("targets.size =  1"),
                           QStringLiteral("targets id =  3   centroid=[ 24 @ 33 ] last=[ 20 @ 30 ] "
                                          "origine=[ 22 @ 31 ] age =  2  agemovement =  1")}));
}

TEST_F(Counting, LineModeWithEmptyListLogsNothing)
{
    setCounting(regions, {{110, 10}, {110, 200}});
    EXPECT_TRUE(detect({}, 10).empty());
    EXPECT_TRUE(debugMessages.isEmpty());
}

TEST_F(Counting, TwoPointsNeverSelectAreaCounting)
{
    setCounting(regions, {{110, 10}, {110, 200}});
    Target vanished = target(4, {92, 100}, {96, 100}, 1); // would be an In in area mode
    EXPECT_TRUE(detect({&vanished}, 10).empty());
}

TEST_F(Counting, FewerThanTwoCountingPointsGiveNothing)
{
    Target t = target(1, {90, 100}, {110, 100}, 0);
    EXPECT_TRUE(detect({&t}, 10).empty());
    EXPECT_TRUE(engine.Detect({&t}, nullptr, video, 10, 25, start).empty());
    EXPECT_TRUE(debugMessages.isEmpty());
}

TEST_F(Counting, FpsBelowOneGivesTheStartTime)
{
    setCounting(regions, {{100, 50}, {100, 150}});
    Target t = target(1, {90, 100}, {110, 100}, 0);
    const std::vector<Result> events = detect({&t}, 5000, 0);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].timestamp, QStringLiteral("2015-06-12_14:03:17"));
}

struct IntersectCase {
    const char* name;
    cv::Point p1, q1, p2, q2;
    bool expected;
};

class SegmentsIntersect : public ::testing::TestWithParam<IntersectCase>
{
};

TEST_P(SegmentsIntersect, SharesAPoint)
{
    const IntersectCase& c = GetParam();
    EXPECT_EQ(InsectDetect::segments_intersect(c.p1, c.q1, c.p2, c.q2), c.expected);
    EXPECT_EQ(InsectDetect::segments_intersect(c.p2, c.q2, c.p1, c.q1), c.expected);
    EXPECT_EQ(InsectDetect::segments_intersect(c.q1, c.p1, c.q2, c.p2), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SegmentsIntersect,
    ::testing::Values(
        IntersectCase{"Crossing", {0, 0}, {10, 10}, {0, 10}, {10, 0}, true},
        IntersectCase{"EndTouches", {90, 100}, {100, 100}, {100, 50}, {100, 150}, true},
        IntersectCase{"TJunction", {0, 5}, {5, 5}, {5, 0}, {5, 10}, true},
        IntersectCase{"ShortOfTheLine", {90, 100}, {99, 100}, {100, 50}, {100, 150}, false},
        IntersectCase{"Parallel", {0, 0}, {10, 0}, {0, 1}, {10, 1}, false},
        IntersectCase{"CollinearOverlap", {0, 0}, {10, 0}, {5, 0}, {20, 0}, true},
        IntersectCase{"CollinearApart", {0, 0}, {4, 0}, {5, 0}, {20, 0}, false},
        IntersectCase{"PointOnSegment", {3, 3}, {3, 3}, {0, 0}, {6, 6}, true},
        IntersectCase{"FarCoordinates", {-70000, 0}, {70000, 1}, {0, -70000}, {1, 70000}, true},
        IntersectCase{"FarApart", {-70000, 60000}, {70000, 60001}, {0, -70000}, {1, 50000}, false},
        // Products of differences across the whole int range overflow 64 bits.
        IntersectCase{"IntLimitsCrossing",
                      {INT_MIN, INT_MIN},
                      {INT_MAX, INT_MAX},
                      {INT_MIN, INT_MAX},
                      {INT_MAX, INT_MIN},
                      true},
        IntersectCase{"IntLimitsParallel",
                      {INT_MIN, INT_MIN},
                      {INT_MAX, INT_MAX - 1},
                      {INT_MIN, INT_MIN + 1},
                      {INT_MAX, INT_MAX},
                      false}),
    [](const auto& info) { return std::string(info.param.name); });
