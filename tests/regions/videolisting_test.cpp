#include "videolisting.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <map>
#include <memory>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

namespace
{

void touch(const QString& path)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
}

std::map<QString, ListedVideo> byName(const QVector<ListedVideo>& videos)
{
    std::map<QString, ListedVideo> map;
    for (const ListedVideo& v : videos)
        map[v.baseName] = v;
    return map;
}

} // namespace

TEST(VideoListing, ListsMp4FilesOfAnyCaseAndNothingElse)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString dir = tmp.path() + QStringLiteral("/récoltes 2015");
    ASSERT_TRUE(QDir().mkpath(dir + QStringLiteral("/x.mp4")));
    ASSERT_TRUE(QDir().mkpath(dir + QStringLiteral("/sub")));
    touch(dir + QStringLiteral("/a.mp4"));
    touch(dir + QStringLiteral("/clip.MP4"));
    touch(dir + QStringLiteral("/notes.txt"));
    touch(dir + QStringLiteral("/a.mp4.bak"));
    touch(dir + QStringLiteral("/sub/deep.mp4"));
    ASSERT_TRUE(QFile::link(dir + QStringLiteral("/a.mp4"), dir + QStringLiteral("/link.mp4")));

    const auto videos = byName(listVideos(dir));
    ASSERT_EQ(videos.size(), 2u);
    ASSERT_EQ(videos.count(QStringLiteral("a")), 1u);
    ASSERT_EQ(videos.count(QStringLiteral("clip")), 1u);
    EXPECT_EQ(videos.at(QStringLiteral("clip")).path, dir + QStringLiteral("/clip.MP4"));
}

TEST(VideoListing, StatusesFollowFileExistenceAlone)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString dir = tmp.path();
    const QString exportDir = dir + QStringLiteral("/exportCSV/");
    ASSERT_TRUE(QDir().mkpath(exportDir));
    for (const char* name : {"both", "areaonly", "maskonly", "none", "vidéo 1"})
        touch(dir + QLatin1Char('/') + QString::fromUtf8(name) + QStringLiteral(".mp4"));
    for (const char* file : {"both_area.adv", "both_mask.adv", "both.csv", "areaonly_area.adv",
                             "maskonly_mask.adv", "vidéo 1_area.adv", "vidéo 1_mask.adv"})
        touch(exportDir + QString::fromUtf8(file)); // empty files count as present

    const auto videos = byName(listVideos(dir));
    ASSERT_EQ(videos.size(), 5u);
    EXPECT_TRUE(videos.at(QStringLiteral("both")).hasRegions);
    EXPECT_TRUE(videos.at(QStringLiteral("both")).done);
    EXPECT_FALSE(videos.at(QStringLiteral("areaonly")).hasRegions);
    EXPECT_FALSE(videos.at(QStringLiteral("maskonly")).hasRegions);
    EXPECT_FALSE(videos.at(QStringLiteral("none")).hasRegions);
    EXPECT_FALSE(videos.at(QStringLiteral("none")).done);
    EXPECT_TRUE(videos.at(QString::fromUtf8("vidéo 1")).hasRegions);
    EXPECT_FALSE(videos.at(QString::fromUtf8("vidéo 1")).done);
    EXPECT_EQ(statusText(true), QStringLiteral("Y"));
    EXPECT_EQ(statusText(false), QStringLiteral("N"));
}

TEST(VideoListing, MissingOrEmptyDirectoryListsNothing)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    EXPECT_TRUE(listVideos(tmp.path() + QStringLiteral("/absent")).isEmpty());
    EXPECT_TRUE(listVideos(tmp.path()).isEmpty());
    EXPECT_TRUE(listVideos(QString()).isEmpty());
}

#ifdef Q_OS_UNIX
// A name holding a byte that is not valid in the system's encoding (Latin-1 "ä" under UTF-8)
// is either listed or named in a warning, never left out unsaid.
TEST(VideoListing, NamesNotValidInTheEncodingAreTold)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QByteArray raw("K\xe4"
                         "fer.mp4");
    const QByteArray rawPath = QFile::encodeName(tmp.path()) + '/' + raw;
    const int fd = ::open(rawPath.constData(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ::close(fd);
    // QTemporaryDir could not remove what it cannot name.
    const std::unique_ptr<const char, int (*)(const char*)> removal(rawPath.constData(), ::unlink);
    touch(tmp.path() + QStringLiteral("/fine.mp4"));

    const QVector<ListedVideo> videos = listVideos(tmp.path());
    const QStringList warnings = unreadableVideoNames(tmp.path());
    if (QFile::encodeName(QFile::decodeName(raw)) == raw) {
        EXPECT_EQ(videos.size(), 2);
        EXPECT_TRUE(warnings.isEmpty());
        return;
    }
    ASSERT_EQ(videos.size(), 1);
    EXPECT_EQ(videos.front().baseName, QStringLiteral("fine"));
    ASSERT_EQ(warnings.size(), 1);
    EXPECT_EQ(warnings.front(),
              tmp.path() + QStringLiteral("/K\uFFFDfer.mp4 cannot be read: its name is not valid "
                                          "in the system's encoding"));
}
#endif

#ifndef Q_OS_WIN
TEST(VideoListing, ABackslashIsPartOfTheNameOutsideWindows)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    touch(tmp.path() + QStringLiteral("/trap\\1.mp4"));
    const QVector<ListedVideo> videos = listVideos(tmp.path());
    ASSERT_EQ(videos.size(), 1);
    EXPECT_EQ(videos.front().baseName, QStringLiteral("trap\\1"));
    EXPECT_TRUE(unreadableVideoNames(tmp.path()).isEmpty());
}
#endif

// Consecutive recordings must follow each other whatever order the file system keeps them in.
TEST(VideoListing, ListsByNameWithLetterCaseDecidingOnlyTies)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QStringList names{"video_20150613_1000_01.mp4",
                            "video_20150613_0900_01.mp4",
                            "Video_20150613_0930_01.mp4",
                            "b.MP4",
                            "B.mp4",
                            "video_20150612_2300_02.mp4",
                            "a.mp4"};
    for (const QString& name : names)
        touch(tmp.path() + QLatin1Char('/') + name);
    // A finished analysis is done; one cut short (only its .part file) is not.
    ASSERT_TRUE(QDir().mkpath(tmp.path() + QStringLiteral("/exportCSV")));
    touch(tmp.path() + QStringLiteral("/exportCSV/a.csv.part"));

    QStringList listed;
    const QVector<ListedVideo> videos = listVideos(tmp.path());
    for (const ListedVideo& v : videos)
        listed << QFileInfo(v.path).fileName();
    EXPECT_EQ(listed, (QStringList{"a.mp4", "B.mp4", "b.MP4", "video_20150612_2300_02.mp4",
                                   "video_20150613_0900_01.mp4", "Video_20150613_0930_01.mp4",
                                   "video_20150613_1000_01.mp4"}));
    EXPECT_FALSE(videos.front().done);
}
