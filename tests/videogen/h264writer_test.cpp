#include "h264writer.h"
#include "motion.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <opencv2/videoio.hpp>

// Every frame written is read back, at the frame rate given, and wrong input is refused with a
// message rather than written.
TEST(H264Writer, EveryFrameComesBackAtTheRateGivenAndWrongInputIsRefused)
{
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("w.mp4")).toStdString();
    videogen::H264Writer writer;
    std::string error;
    ASSERT_TRUE(writer.open(path, {64, 48}, 10, 20, &error)) << error;
    cv::Mat frame(48, 64, CV_8UC3);
    for (int i = 0; i < 23; ++i) {
        frame.setTo(cv::Scalar::all(8 * i));
        ASSERT_TRUE(writer.write(frame));
    }
    EXPECT_FALSE(writer.write(cv::Mat(40, 64, CV_8UC3, cv::Scalar::all(0))));
    EXPECT_FALSE(writer.close(&error)); // a refused frame fails the file
    ASSERT_TRUE(writer.open(path, {64, 48}, 10, 20, &error)) << error;
    for (int i = 0; i < 23; ++i) {
        frame.setTo(cv::Scalar::all(8 * i));
        ASSERT_TRUE(writer.write(frame));
    }
    ASSERT_TRUE(writer.close(&error)) << error;

    cv::VideoCapture read(path, cv::CAP_FFMPEG);
    ASSERT_TRUE(read.isOpened());
    EXPECT_NEAR(read.get(cv::CAP_PROP_FPS), 10, 1e-6);
    int frames = 0;
    cv::Mat got;
    while (read.read(got)) {
        EXPECT_NEAR(cv::mean(got)[0], 8 * frames, 6) << frames;
        ++frames;
    }
    EXPECT_EQ(frames, 23);

    error.clear();
    EXPECT_FALSE(writer.open(path, {63, 48}, 10, 20, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(writer.open(dir.filePath(QStringLiteral("no/such/w.mp4")).toStdString(), {64, 48},
                             10, 20, &error));
}

// Paths made at 25 steps a second and filmed at another rate: frame firstFrame + k shows where
// the insect is k / fps seconds after step 0, from its first step to its last.
TEST(Retimed, FramesShowThePathAtTheirTimeBetweenItsFirstAndLastStep)
{
    videogen::Blob walker;
    walker.firstFrame = 5; // its step 0 is 0.2 s after the path's
    for (int x = 0; x <= 100; x += 4)
        walker.path.emplace_back(x, 10); // 100 px/s, for one second
    videogen::Blob straight;
    straight.start = {0, 0};
    straight.velocity = {2, 0}; // 50 px/s
    straight.firstFrame = 25;   // from 1 s on
    const std::vector<videogen::Blob> at10 = videogen::retimed({walker, straight}, 25, 10, 92);

    const videogen::Blob& w = at10[0];
    EXPECT_EQ(w.firstFrame, 92 + 2); // 0.2 s
    EXPECT_EQ(w.positionAt(94), cv::Point(0, 10));
    EXPECT_EQ(w.positionAt(95), cv::Point(10, 10));
    EXPECT_EQ(w.positionAt(104), cv::Point(100, 10)); // 1.2 s: the last step
    EXPECT_TRUE(w.visibleAt(104));
    EXPECT_FALSE(w.visibleAt(105));
    EXPECT_FALSE(w.visibleAt(93));

    const videogen::Blob& s = at10[1];
    EXPECT_EQ(s.firstFrame, 92 + 10);
    EXPECT_EQ(s.positionAt(102), cv::Point(0, 0));
    EXPECT_EQ(s.positionAt(112), cv::Point(50, 0)); // one second later
}
