#include "makevideo.h"
#include "outdoor.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

namespace
{

QByteArray contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString make(QStringList arguments)
{
    MakeVideoOptions options;
    arguments.prepend(QStringLiteral("orvane-makevideo"));
    const QString problem = parseMakeVideoArguments(arguments, options);
    return problem.isEmpty() ? makeVideo(options) : QStringLiteral("usage: ") + problem;
}

struct Event {
    int insect;
    bool in;
    double seconds; // after the scene's start
};

std::vector<Event> eventsIn(const QString& path, double fps)
{
    std::vector<Event> events;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return events;
    QTextStream in(&f);
    in.readLine();
    while (!in.atEnd()) {
        const QStringList v = in.readLine().split(QLatin1Char(';'));
        if (v.size() >= 6)
            events.push_back({v[1].toInt(), v[4] == QLatin1String("1"), (v[0].toInt() - 92) / fps});
    }
    // Insects crossing at about the same time may come in either order.
    std::sort(events.begin(), events.end(), [](const Event& a, const Event& b) {
        return a.insect != b.insect ? a.insect < b.insect : a.seconds < b.seconds;
    });
    return events;
}

// A scene on a sticky card with one dark insect standing still at (80, 60).
videogen::ClipRecipe stillInsect()
{
    videogen::ClipRecipe r;
    r.size = {160, 120};
    r.fps = 25;
    r.frames = 60;
    videogen::Blob b;
    b.start = {80, 60};
    b.velocity = {0, 0};
    b.radius = 6;
    r.blobs.push_back(b);
    return r;
}

cv::Mat grey(videogen::OutdoorScene& scene, int index)
{
    cv::Mat frame, g;
    scene.render(index, frame);
    cv::cvtColor(frame, g, cv::COLOR_BGR2GRAY);
    g.convertTo(g, CV_32F);
    return g;
}

} // namespace

TEST(OutdoorVideo, TheSameSeedGivesTheSameBytesTwiceInOneProcessAndAnotherSeedOthers)
{
    QTemporaryDir dir;
    const QStringList common{
        QStringLiteral("--outdoor"), QStringLiteral("--size"),  QStringLiteral("160x120"),
        QStringLiteral("--frames"),  QStringLiteral("40"),      QStringLiteral("--blob"),
        QStringLiteral("10,60,3,0"), QStringLiteral("--gusts"), QStringLiteral("2")};
    const QString a = dir.filePath(QStringLiteral("a.mp4")),
                  b = dir.filePath(QStringLiteral("b.mp4")),
                  c = dir.filePath(QStringLiteral("c.mp4"));
    ASSERT_EQ(make(QStringList{a, QStringLiteral("--seed"), QStringLiteral("4")} + common),
              QString());
    ASSERT_EQ(make(QStringList{b, QStringLiteral("--seed"), QStringLiteral("4")} + common),
              QString());
    ASSERT_EQ(make(QStringList{c, QStringLiteral("--seed"), QStringLiteral("5")} + common),
              QString());
    const QByteArray first = contents(a);
    EXPECT_GT(first.size(), 1000);
    EXPECT_EQ(first, contents(b));
    EXPECT_NE(first, contents(c));
}

TEST(OutdoorVideo, TheSameSceneAtTenTwentyFiveAndNinetyFramesPerSecondHasTheSameEvents)
{
    QTemporaryDir dir;
    std::vector<std::vector<Event>> perRate;
    for (int fps : {10, 25, 90}) {
        const QString name = dir.filePath(QStringLiteral("r%1").arg(fps));
        ASSERT_EQ(
            make({name + QStringLiteral(".mp4"), QStringLiteral("--size"),
                  QStringLiteral("160x120"), QStringLiteral("--fps"), QString::number(fps),
                  QStringLiteral("--line"), QStringLiteral("80,5,80,115"),
                  QStringLiteral("--insects"), QStringLiteral("4"), QStringLiteral("--per-second"),
                  QStringLiteral("--speeds"), QStringLiteral("60,160"), QStringLiteral("--codec"),
                  QStringLiteral("mjpeg"), QStringLiteral("--truth"), name + QStringLiteral(".csv"),
                  QStringLiteral("--seed"), QStringLiteral("9")}),
            QString());
        perRate.push_back(eventsIn(name + QStringLiteral("_events.csv"), fps));
    }
    ASSERT_EQ(perRate[0].size(), 4u);
    for (size_t r = 1; r < perRate.size(); ++r) {
        ASSERT_EQ(perRate[r].size(), perRate[0].size());
        for (size_t i = 0; i < perRate[0].size(); ++i) {
            EXPECT_EQ(perRate[r][i].insect, perRate[0][i].insect);
            EXPECT_EQ(perRate[r][i].in, perRate[0][i].in);
            // Within a frame of the slowest rate.
            EXPECT_NEAR(perRate[r][i].seconds, perRate[0][i].seconds, 0.1 + 1e-9);
        }
    }
}

TEST(OutdoorScene, GustsAndTrembleMoveThePictureByFractionsOfAPixelButNotTheInsects)
{
    videogen::ClipRecipe recipe = stillInsect();
    videogen::OutdoorOptions calm;
    calm.backdrop = videogen::Backdrop::Card;
    calm.insectShapes = true;
    videogen::OutdoorOptions shaken = calm;
    shaken.jitter = 0.25;
    shaken.gusts = 1;
    videogen::OutdoorScene still(recipe, calm), moving(recipe, shaken);
    const std::vector<videogen::FrameSpan> gusts = moving.gustFrames();
    ASSERT_EQ(gusts.size(), 1u);
    ASSERT_EQ(gusts[0].second - gusts[0].first + 1, 20); // 0.8 s at 25 fps
    double strongest = 0;
    for (int i = 0; i < recipe.frames; ++i) {
        const double shift = cv::norm(moving.cameraShift(i));
        const bool inGust = i >= gusts[0].first && i <= gusts[0].second;
        EXPECT_LE(shift, inGust ? 1.0 + std::sqrt(2) * 0.25 : std::sqrt(2) * 0.25 + 1e-9) << i;
        strongest = std::max(strongest, inGust ? shift : 0.0);
        EXPECT_EQ(cv::norm(still.cameraShift(i)), 0);
    }
    EXPECT_GT(strongest, 0.8);

    // The picture moves as the shift says, by fractions of a pixel.
    const int peak = (gusts[0].first + gusts[0].second) / 2;
    const cv::Point2d expected = moving.cameraShift(peak);
    const cv::Point2d measured = cv::phaseCorrelate(grey(still, peak), grey(moving, peak));
    EXPECT_NEAR(measured.x, expected.x, 0.2);
    EXPECT_NEAR(measured.y, expected.y, 0.2);

    // Without shake the insect is drawn where its true centre says: the darkest spot.
    cv::Mat g = grey(still, 10);
    cv::GaussianBlur(g, g, cv::Size(0, 0), 2);
    cv::Point darkest;
    cv::minMaxLoc(g, nullptr, nullptr, &darkest);
    EXPECT_LE(cv::norm(darkest - cv::Point(80, 60)), 3);
}

TEST(OutdoorScene, TheSwayingLeafAndItsShadowStayClearOfTheRegions)
{
    videogen::ClipRecipe recipe = stillInsect();
    recipe.blobs.clear();
    recipe.frames = 50;
    videogen::OutdoorOptions calm;
    calm.backdrop = videogen::Backdrop::Soil;
    videogen::OutdoorOptions swaying = calm;
    swaying.sway = true;
    swaying.gusts = 1;
    swaying.gustShift = 0; // a gust that only moves the leaf
    swaying.gustSeconds = 1;
    const cv::Rect region(50, 30, 60, 60);
    swaying.keepClear = {region};
    videogen::OutdoorScene without(recipe, calm), with(recipe, swaying);
    cv::Mat changed = cv::Mat::zeros(recipe.size, CV_8U);
    for (int i = 0; i < recipe.frames; i += 2) {
        cv::Mat difference = cv::abs(grey(without, i) - grey(with, i)) > 1;
        changed |= difference;
    }
    EXPECT_GT(cv::countNonZero(changed), 100); // there is a leaf
    EXPECT_EQ(cv::countNonZero(changed(region)), 0);
}

TEST(OutdoorVideo, WrongOutdoorOptionsAreUsageErrors)
{
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("x.mp4"));
    const QList<QStringList> wrong{
        {out, QStringLiteral("--background"), QStringLiteral("sand")},
        {out, QStringLiteral("--gusts"), QStringLiteral("1.5")},
        {out, QStringLiteral("--gusts"), QStringLiteral("1,2,0")},
        {out, QStringLiteral("--jitter"), QStringLiteral("-1")},
        {out, QStringLiteral("--light-drift"), QStringLiteral("2")},
        {out, QStringLiteral("--outdoor"), QStringLiteral("--codec"), QStringLiteral("mpeg4")},
        {out, QStringLiteral("--outdoor"), QStringLiteral("--size"), QStringLiteral("161x120")}};
    for (const QStringList& arguments : wrong)
        EXPECT_TRUE(make(arguments).startsWith(QLatin1String("usage: ")))
            << qPrintable(arguments.join(QLatin1Char(' ')));
    EXPECT_FALSE(QFile::exists(out));
}
