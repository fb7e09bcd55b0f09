#include "vorldensity.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace
{

// Frame 200 x 100; the analysed region is rows 60..69, columns 50..149: 1000 pixels.
cv::Mat regionMask()
{
    cv::Mat mask(100, 200, CV_8UC1, cv::Scalar(0));
    mask(cv::Rect(50, 60, 100, 10)).setTo(cv::Scalar(255));
    return mask;
}

cv::Mat greyFrame()
{
    return cv::Mat(100, 200, CV_8UC3, cv::Scalar(128, 128, 128));
}

Target step(cv::Point last, cv::Point centroid)
{
    Target t;
    t.last = last;
    t.centroid = centroid;
    return t;
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QList<Target*> pointers(std::vector<Target>& targets)
{
    QList<Target*> list;
    for (Target& t : targets)
        list << &t;
    return list;
}

int countColour(const cv::Mat& image, const cv::Vec3b& colour)
{
    int n = 0;
    for (auto it = image.begin<cv::Vec3b>(); it != image.end<cv::Vec3b>(); ++it)
        n += *it == colour;
    return n;
}

} // namespace

TEST(VorlDensity, NoMovementSavesStartFrameAndZeroDensity)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString video = dir.path() + QStringLiteral("/nid d'abeilles/vidéo 3.mp4");
    VorlDensity map;
    map.init(greyFrame(), regionMask());
    ASSERT_TRUE(map.save(video));
    const QString base = dir.path() + QStringLiteral("/nid d'abeilles/exportCSV/vidéo 3");
    EXPECT_EQ(readAll(base + QStringLiteral("_vorl.txt")), QByteArray("Density: 0.0000"));
    const QByteArray jpeg = readAll(base + QStringLiteral("_vorl.jpg"));
    const cv::Mat image =
        cv::imdecode(std::vector<uchar>(jpeg.begin(), jpeg.end()), cv::IMREAD_COLOR);
    ASSERT_FALSE(image.empty());
    EXPECT_EQ(image.size(), cv::Size(200, 100));
}

TEST(VorlDensity, ShareOfCrossedRegionPixelsWithFourDecimals)
{
    VorlDensity map;
    map.init(greyFrame(), regionMask());
    Target a = step({60, 65}, {90, 65}); // 31 pixels
    map.addTrajectories({&a});
    map.compose();
    EXPECT_EQ(map.text(), QStringLiteral("Density: 0.0310"));
}

TEST(VorlDensity, PixelsCrossedTwiceCountOnce)
{
    VorlDensity map;
    map.init(greyFrame(), regionMask());
    Target a = step({60, 65}, {90, 65});
    Target b = step({75, 62}, {75, 68}); // 7 pixels, one of them shared
    Target again = step({90, 65}, {60, 65});
    map.addTrajectories({&a, &b});
    map.addTrajectories({&again});
    map.compose();
    EXPECT_EQ(map.text(), QStringLiteral("Density: 0.0370"));
}

TEST(VorlDensity, MaskValuesBetweenClearAndSetAreNeverCrossed)
{
    cv::Mat mask = regionMask();
    mask.setTo(cv::Scalar(7), mask == 0);
    VorlDensity map;
    map.init(greyFrame(), mask);
    Target outside = step({60, 90}, {140, 90});
    map.addTrajectories({&outside});
    const cv::Mat picture = map.snapshot();
    EXPECT_EQ(map.text(), QStringLiteral("Density: 0.0000"));
    EXPECT_EQ(picture.at<cv::Vec3b>(90, 100), cv::Vec3b(128, 128, 128));
}

TEST(VorlDensity, SegmentsOutsideTheRegionAndAbsentPositionsChangeNothing)
{
    VorlDensity map;
    map.init(greyFrame(), regionMask());
    Target outside = step({60, 90}, {140, 90});
    Target noLast = step({0, 65}, {90, 65});
    Target noCentroidX = step({60, 65}, {0, 65});
    map.addTrajectories({&outside, &noLast, &noCentroidX, nullptr});
    const cv::Mat picture = map.snapshot();
    EXPECT_EQ(map.text(), QStringLiteral("Density: 0.0000"));
    EXPECT_EQ(picture.at<cv::Vec3b>(90, 100), cv::Vec3b(128, 128, 128));
    EXPECT_EQ(picture.at<cv::Vec3b>(65, 70), cv::Vec3b(128, 128, 128));
}

TEST(VorlDensity, CrossedPixelsTurnBlackAndLegendIsRedAndYellowTopLeft)
{
    VorlDensity map;
    map.init(greyFrame(), regionMask());
    Target a = step({60, 65}, {90, 65});
    map.addTrajectories({&a});
    cv::Mat picture = map.snapshot();
    EXPECT_EQ(picture.at<cv::Vec3b>(65, 75), cv::Vec3b(0, 0, 0));
    EXPECT_EQ(picture.at<cv::Vec3b>(65, 95), cv::Vec3b(128, 128, 128));
    const cv::Mat legend = picture(cv::Rect(0, 0, 150, 30));
    EXPECT_GT(countColour(legend, {0, 0, 255}), 0);
    EXPECT_GT(countColour(legend, {0, 255, 255}), 0);
    EXPECT_EQ(countColour(picture, {0, 0, 255}), countColour(legend, {0, 0, 255}));

    picture.setTo(cv::Scalar(1, 2, 3)); // a snapshot is the caller's own copy
    EXPECT_EQ(map.snapshot().at<cv::Vec3b>(65, 95), cv::Vec3b(128, 128, 128));
}

// A counting area covering the whole mask: no pixel to measure, a density of 0, never "nan".
TEST(VorlDensity, RegionWithoutPixelsGivesZero)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    VorlDensity map;
    map.init(greyFrame(), cv::Mat(100, 200, CV_8UC1, cv::Scalar(0)));
    Target a = step({60, 65}, {90, 65});
    map.addTrajectories({&a});
    EXPECT_TRUE(map.save(dir.path() + QStringLiteral("/v.mp4")));
    EXPECT_EQ(map.text(), QStringLiteral("Density: 0.0000"));
    EXPECT_EQ(readAll(dir.path() + QStringLiteral("/exportCSV/v_vorl.txt")),
              QByteArray("Density: 0.0000"));
}

TEST(VorlDensity, MismatchedOrMissingInputsDoNotCrash)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    VorlDensity map;
    Target a = step({60, 65}, {90, 65});
    map.addTrajectories({&a}); // before any init
    EXPECT_TRUE(map.snapshot().empty());
    map.init(greyFrame(), cv::Mat(50, 50, CV_8UC1, cv::Scalar(255)));
    map.addTrajectories({&a});
    EXPECT_FALSE(map.save(dir.path() + QStringLiteral("/v.mp4")));
    map.init(cv::Mat(), regionMask());
    map.compose();
}

TEST(VorlDensity, InitStartsAFreshMap)
{
    VorlDensity map;
    map.init(greyFrame(), regionMask());
    Target a = step({60, 65}, {90, 65});
    map.addTrajectories({&a});
    map.compose();
    map.init(greyFrame(), regionMask());
    map.compose();
    EXPECT_EQ(map.text(), QStringLiteral("Density: 0.0000"));
}

// The preview, brought up to date piece by piece while segments come in, is at every moment the
// picture and figure that composing the whole map would give; showing it changes nothing saved.
TEST(VorlDensity, PreviewEqualsTheComposedMapAndLeavesTheSavedFilesAlone)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    cv::Mat mask = regionMask();
    mask(cv::Rect(0, 0, 40, 30)).setTo(cv::Scalar(255)); // under the legend too
    cv::Mat frame(100, 200, CV_8UC3);
    cv::randu(frame, 0, 256);
    cv::RNG rng(7);
    const auto randomStep = [&rng] {
        const cv::Point last(rng.uniform(1, 200), rng.uniform(1, 100));
        return step(last, last + cv::Point(rng.uniform(-30, 31), rng.uniform(-20, 21)));
    };

    VorlDensity shown;
    VorlDensity unseen;
    shown.init(frame, mask);
    unseen.init(frame, mask);
    std::vector<Target> all;
    int compared = 0;
    for (int round = 0; round < 200; ++round) {
        // Up to 80 segments between two previews: more than the pending rectangles kept apart.
        std::vector<Target> targets;
        for (int i = rng.uniform(0, 80); i > 0; --i)
            targets.push_back(randomStep());
        all.insert(all.end(), targets.begin(), targets.end());
        shown.addTrajectories(pointers(targets));
        unseen.addTrajectories(pointers(targets));
        if (rng.uniform(0, 4) != 0)
            continue;
        const cv::Mat preview = shown.snapshot();
        VorlDensity whole;
        whole.init(frame, mask);
        whole.addTrajectories(pointers(all));
        whole.compose();
        ASSERT_EQ(shown.text(), whole.text()) << "round " << round;
        ASSERT_EQ(cv::norm(preview, whole.composed(), cv::NORM_INF), 0.0) << "round " << round;
        ++compared;
    }
    EXPECT_GT(compared, 30);

    ASSERT_TRUE(shown.save(dir.filePath(QStringLiteral("a.mp4"))));
    ASSERT_TRUE(unseen.save(dir.filePath(QStringLiteral("b.mp4"))));
    EXPECT_EQ(readAll(dir.filePath(QStringLiteral("exportCSV/a_vorl.jpg"))),
              readAll(dir.filePath(QStringLiteral("exportCSV/b_vorl.jpg"))));
    EXPECT_EQ(readAll(dir.filePath(QStringLiteral("exportCSV/a_vorl.txt"))),
              readAll(dir.filePath(QStringLiteral("exportCSV/b_vorl.txt"))));
}
