// "Save image" without a window: the name it writes, what it writes, and one report per failure.
#include "picturesaving.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

namespace
{
cv::Mat picture()
{
    cv::Mat m(48, 64, CV_8UC3);
    for (int y = 0; y < m.rows; ++y)
        for (int x = 0; x < m.cols; ++x)
            m.at<cv::Vec3b>(y, x) = cv::Vec3b(uchar(x * 4), uchar(y * 5), 128);
    return m;
}
} // namespace

TEST(PictureSavingTest, JpegSuffixIsAddedOnlyWhenMissing)
{
    EXPECT_EQ(PictureSaving::withJpegSuffix("/tmp/shot"), "/tmp/shot.jpg");
    EXPECT_EQ(PictureSaving::withJpegSuffix("/tmp/shot.png"), "/tmp/shot.png.jpg");
    EXPECT_EQ(PictureSaving::withJpegSuffix("/tmp/shot.JPG"), "/tmp/shot.JPG");
    EXPECT_EQ(PictureSaving::withJpegSuffix("/tmp/shot.jpeg"), "/tmp/shot.jpeg");
    EXPECT_EQ(PictureSaving::withJpegSuffix("/tmp/a.jpg.d/shot"), "/tmp/a.jpg.d/shot.jpg");
}

TEST(PictureSavingTest, WritesOnlyWhileOnAndReplacesALinkInsteadOfFollowingIt)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("shot ü.jpg");
    PictureSaving saving;
    EXPECT_TRUE(saving.write(picture()).isEmpty());
    EXPECT_FALSE(QFileInfo::exists(file)); // never started

    const QString target = dir.filePath("elsewhere.txt");
    QFile elsewhere(target);
    ASSERT_TRUE(elsewhere.open(QIODevice::WriteOnly) && elsewhere.write("keep") == 4);
    elsewhere.close();
    ASSERT_TRUE(QFile::link(target, file));

    saving.start(file);
    EXPECT_TRUE(saving.write(picture()).isEmpty());
    const cv::Mat written = cv::imread(QFile::encodeName(file).toStdString());
    ASSERT_FALSE(written.empty());
    EXPECT_LT(cv::norm(written, picture(), cv::NORM_L1) / written.total(), 10.0);
    EXPECT_FALSE(QFileInfo(file).isSymLink());
    ASSERT_TRUE(elsewhere.open(QIODevice::ReadOnly));
    EXPECT_EQ(elsewhere.readAll(), QByteArray("keep"));

    saving.stop();
    ASSERT_TRUE(QFile::remove(file));
    EXPECT_TRUE(saving.write(picture()).isEmpty());
    EXPECT_FALSE(QFileInfo::exists(file));
}

TEST(PictureSavingTest, AFailureIsReportedOncePerStart)
{
    QTemporaryDir dir;
    PictureSaving saving;
    saving.start(dir.filePath("missing/folder/shot.jpg"));
    const QString first = saving.write(picture());
    EXPECT_TRUE(first.contains("missing/folder/shot.jpg")) << first.toStdString();
    EXPECT_TRUE(saving.write(picture()).isEmpty());
    EXPECT_TRUE(saving.write(picture()).isEmpty());
    saving.start(dir.filePath("missing/folder/shot.jpg"));
    EXPECT_FALSE(saving.write(picture()).isEmpty());

    ASSERT_TRUE(QDir(dir.path()).mkpath("missing/folder"));
    EXPECT_TRUE(saving.write(picture()).isEmpty());
    EXPECT_TRUE(QFileInfo::exists(dir.filePath("missing/folder/shot.jpg")));
}
