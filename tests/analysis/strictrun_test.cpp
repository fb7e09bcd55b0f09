// Strict counting through the run, on frames drawn in seconds: the same scene at any frame rate,
// fast and motion-blurred insects, regions that touch the frame's edge.

#include "analysisrun.h"
#include "areacontour.h"
#include "insectdetect.h"
#include "testclips.h"
#include "tracker.h"
#include "vorldensity.h"

#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

using namespace testclips;

namespace
{

const cv::Size frameSize{320, 240};
const QDateTime start(QDate(2026, 6, 1), QTime(9, 30, 0));

// A dark insect, longer than wide, walking straight; drawn while it is in sight.
struct Walker {
    cv::Point2d from;     // centre at `appears`
    cv::Point2d velocity; // pixels a second
    double appears = 0;   // seconds
    double leaves = 1e9;
    double length = 12;
    // Hidden (under a leaf, say) from `hiddenFrom` to `hiddenTo` seconds.
    double hiddenFrom = -1, hiddenTo = -1;

    cv::Point2d at(double t) const { return from + velocity * (t - appears); }
    bool seenAt(double t) const
    {
        return t >= appears && t <= leaves && !(t >= hiddenFrom && t < hiddenTo);
    }
};

struct Scene {
    std::vector<Walker> walkers;
    double seconds = 4;
    // The camera's shutter is open this share of each frame: the insect is blurred along the
    // way it went meanwhile.
    double exposure = 0;
};

void drawWalker(cv::Mat& frame, const Walker& w, cv::Point2d centre)
{
    const double angle = std::atan2(w.velocity.y, w.velocity.x) * 180 / CV_PI;
    cv::ellipse(frame,
                cv::RotatedRect(cv::Point2f(centre), cv::Size2f(w.length, w.length / 3), angle),
                cv::Scalar(35, 35, 35), cv::FILLED, cv::LINE_AA);
}

// Frame at time t, blurred over the exposure by averaging the pictures along it.
void render(const Scene& scene, const cv::Mat& background, double t, double fps, cv::Mat& out)
{
    constexpr int blurSamples = 8;
    const int samples = scene.exposure > 0 ? blurSamples : 1;
    cv::Mat sum(background.size(), CV_32FC3, cv::Scalar::all(0)), one;
    for (int s = 0; s < samples; ++s) {
        const double ts = t - scene.exposure / fps * s / std::max(1, samples - 1);
        background.copyTo(one);
        for (const Walker& w : scene.walkers)
            if (w.seenAt(t))
                drawWalker(one, w, w.at(ts));
        cv::accumulate(one, sum);
    }
    sum.convertTo(out, CV_8UC3, 1.0 / samples);
}

struct Counted {
    double seconds; // since the first analysed frame
    int in, out;
};

// Runs the scene through a strict (or classic) run at `fps`, with the counting region `area`.
class SceneRun
{
public:
    SceneRun() : run(tracker, insectDetect, regions, density) {}

    std::vector<Counted> count(const Scene& scene, double fps, const Polygon& area,
                               CountingMode mode = CountingMode::Strict)
    {
        videogen::ClipRecipe recipe;
        recipe.size = frameSize;
        const cv::Mat background = videogen::background(recipe);
        regions.area = area;
        // The whole frame, so that regions on its edge are counted on it.
        regions.mask = box(0, 0, frameSize.width - 1, frameSize.height - 1);
        run.start(frameSize, mode);
        cv::Mat frame;
        render(scene, background, 0, fps, frame);
        run.beginVideo(QStringLiteral("/nonexistent/video_20260601_0930_01.mp4"), frame, fps,
                       start);
        std::vector<Counted> counted;
        const int frames = static_cast<int>(scene.seconds * fps);
        for (int f = 0; f < frames; ++f) {
            render(scene, background, f / fps, fps, frame);
            for (const Result& r : run.analyseFrame(frame, f))
                counted.push_back({r.frame / fps, r.in, r.out});
        }
        for (const Result& r : run.finalEvents())
            counted.push_back({r.frame / fps, r.in, r.out});
        // A crossing is written once confirmed, which takes more frames at a higher rate.
        std::stable_sort(counted.begin(), counted.end(),
                         [](const Counted& a, const Counted& b) { return a.seconds < b.seconds; });
        return counted;
    }

    Tracker tracker;
    InsectDetect insectDetect;
    AreaContour regions;
    VorlDensity density;
    AnalysisRun run;
};

int total(const std::vector<Counted>& events, int Counted::*field)
{
    int n = 0;
    for (const Counted& e : events)
        n += e.*field;
    return n;
}

const Polygon downwardLine{{160, 10}, {160, 230}};
const Polygon square = box(190, 60, 290, 160);

// Line: a and c cross it rightwards (In), b leftwards (Out) while hidden for half a second, d
// walks by. Square: c walks in while hidden for 0.4 s and vanishes inside, d walks out of it, a
// and b pass by.
Scene busyScene()
{
    Scene s;
    s.seconds = 4;
    Walker a;
    a.from = {40, 40};
    a.velocity = {100, 0};
    a.appears = 0.2;
    Walker b;
    b.from = {300, 200};
    b.velocity = {-150, 0};
    b.appears = 0.3;
    b.hiddenFrom = 0.8;
    b.hiddenTo = 1.3;
    Walker c;
    c.from = {120, 110};
    c.velocity = {60, 0};
    c.appears = 0.5;
    c.leaves = 3.0;
    c.hiddenFrom = 1.3;
    c.hiddenTo = 1.7;
    Walker d;
    d.from = {240, 130};
    d.velocity = {0, -80};
    d.appears = 0.4;
    d.length = 16;
    s.walkers = {a, b, c, d};
    return s;
}

} // namespace

TEST(StrictRun, TheSameSceneAtTenTwentyFiveAndNinetyFramesASecondGivesTheSameEvents)
{
    const Scene scene = busyScene();
    for (const Polygon& region : {downwardLine, square}) {
        std::vector<std::vector<Counted>> byRate;
        for (double fps : {10.0, 25.0, 90.0}) {
            SceneRun run;
            byRate.push_back(run.count(scene, fps, region));
        }
        const std::vector<Counted>& reference = byRate[1];
        EXPECT_EQ(total(reference, &Counted::in), region == square ? 1 : 2);
        EXPECT_EQ(total(reference, &Counted::out), 1);
        for (const std::vector<Counted>& events : byRate) {
            ASSERT_EQ(events.size(), reference.size())
                << "region of " << region.size() << " points";
            for (size_t i = 0; i < events.size(); ++i) {
                EXPECT_EQ(events[i].in, reference[i].in);
                EXPECT_EQ(events[i].out, reference[i].out);
                // Dated to the first frame on the new side: a frame apart at 10 frames a second.
                EXPECT_NEAR(events[i].seconds, reference[i].seconds, 0.15);
            }
        }
    }
}

// One clean insect walking fast: at the first analysed frame 40 px before the line, or first
// seen a frame before it in the middle of the video.
class FastInsect : public ::testing::TestWithParam<double>
{
};

TEST_P(FastInsect, SeenOnceBeforeTheLineOrTheBorderItCounts)
{
    const double perFrame = GetParam();
    constexpr double fps = 25;
    for (double appears : {0.0, 1.0}) {
        Scene scene;
        scene.seconds = 2.5;
        Walker w;
        w.from = {120 - (appears > 0 ? perFrame / 2 : 40), 120};
        w.velocity = {perFrame * fps, 0};
        w.appears = appears;
        w.length = 10;
        scene.walkers = {w};
        SceneRun line;
        const std::vector<Counted> crossed = line.count(scene, fps, {{120, 20}, {120, 220}});
        EXPECT_EQ(crossed.size(), 1u) << "appearing at " << appears << " s";
        EXPECT_EQ(total(crossed, &Counted::in), 1) << "appearing at " << appears << " s";
        SceneRun area;
        const std::vector<Counted> entered = area.count(scene, fps, box(120, 60, 200, 180));
        EXPECT_EQ(total(entered, &Counted::in), 1) << "appearing at " << appears << " s";
    }
}

INSTANTIATE_TEST_SUITE_P(PixelsAFrame, FastInsect, ::testing::Values(16.0, 24.0, 30.0));

TEST(StrictRun, ABlurredFastInsectCrossingOnceGivesOneEvent)
{
    for (double length : {8.0, 12.0, 20.0}) {
        Scene scene;
        scene.seconds = 2.5;
        scene.exposure = 0.8;
        Walker w;
        w.from = {20, 100};
        w.velocity = {600, 60}; // 24 px a frame, slightly downwards
        w.length = length;
        w.appears = 1.2;
        // Others walking on their own meanwhile, at 1.6 to 2 px a frame, so that one insect's
        // usual size is known by then, taken from insects too slow to show their smear.
        Walker slow;
        slow.from = {300, 200};
        slow.velocity = {-40, 0};
        slow.length = 12;
        Walker walking1;
        walking1.from = {20, 200};
        walking1.velocity = {50, 0};
        Walker walking2;
        walking2.from = {130, 225};
        walking2.velocity = {-50, 0};
        walking2.length = 16;
        scene.walkers = {slow, walking1, walking2, w};
        SceneRun line;
        const std::vector<Counted> crossed = line.count(scene, 25, downwardLine);
        EXPECT_EQ(total(crossed, &Counted::in), 1) << length << " px long";
        EXPECT_EQ(total(crossed, &Counted::out), 0) << length << " px long";
        SceneRun area;
        const std::vector<Counted> passed = area.count(scene, 25, square);
        EXPECT_EQ(total(passed, &Counted::in), 1) << length << " px long";
        EXPECT_EQ(total(passed, &Counted::out), 1) << length << " px long";
    }
}

// A line drawn from the frame's top edge, and an area whose corner lies on the left edge: a zero
// coordinate is a place like any other to strict counting. Classic counting keeps reading it as
// "absent", as its stored results do.
TEST(StrictRun, RegionsWithAZeroCoordinateCount)
{
    Scene across;
    across.seconds = 2;
    Walker w;
    w.from = {190, 120};
    w.velocity = {-100, 0};
    w.appears = 0.1;
    across.walkers = {w};
    const Polygon fromTheTop{{160, 0}, {160, 239}};
    SceneRun strictLine;
    EXPECT_EQ(total(strictLine.count(across, 25, fromTheTop), &Counted::out), 1);
    SceneRun classicLine;
    EXPECT_TRUE(classicLine.count(across, 25, fromTheTop, CountingMode::Classic).empty());

    // Into a dark trap over the border from (0, 60): it vanishes there, heading in.
    Scene intoTrap;
    intoTrap.seconds = 2;
    Walker down;
    down.from = {60, 20};
    down.velocity = {0, 100};
    down.appears = 0.1;
    down.leaves = 0.1 + 0.38;
    intoTrap.walkers = {down};
    SceneRun strictArea;
    const std::vector<Counted> entered = strictArea.count(intoTrap, 25, box(0, 60, 120, 180));
    EXPECT_EQ(total(entered, &Counted::in), 1);
    EXPECT_EQ(total(entered, &Counted::out), 0);
}
