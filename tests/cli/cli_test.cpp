#include "countcommand.h"
#include "resultrecord.h"
#include "testclips.h"
#include "videofiles.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QMap>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sstream>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <unistd.h>

using namespace testclips;

namespace
{

const cv::Size clipSize{320, 240};
const int clipFrames = 120; // frames 91 to 119 are analysed

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
    QVector<VideoOutcome> rows;
};

Outcome count(const QStringList& arguments)
{
    std::ostringstream out, err;
    Outcome o;
    CountOptions options;
    const QString problem = parseCountArguments(arguments, options);
    if (!problem.isEmpty()) {
        o.status = countMain(arguments, {out, err, false});
    } else {
        o.status = runCount(options, {out, err, false}, &o.rows);
    }
    o.out = out.str();
    o.err = err.str();
    return o;
}

// Every file under `dir` with its contents, to show that a run left them alone.
QMap<QString, QByteArray> snapshot(const QString& dir)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(dir, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files.insert(path, contents(path));
    }
    return files;
}

class CountCommand : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(root.isValid());
        videos = root.path() + "/videos";
        ASSERT_TRUE(QDir().mkpath(videos));
        first = clip(videos, "video_20150612_1430_01.mp4", {movingAlongRow(64, 120, 5, 95)});
        // The second insect goes the other way, so that the targets carried over from one video
        // into the other, in whichever order they are listed, make no extra crossing.
        second = clip(videos, "video_20150612_1500_02.mp4", {movingAlongRow(256, 60, -5, 97)});
        ASSERT_TRUE(saveRegions(first, {{160, 20}, {160, 220}}, box(5, 5, 315, 235)));
    }

    QString clip(const QString& dir, const QString& name, const std::vector<videogen::Blob>& blobs,
                 cv::Size size = clipSize)
    {
        const QString path = writeClip(dir, name, size, clipFrames, blobs);
        EXPECT_FALSE(path.isEmpty());
        return path;
    }

    // A result of `video` made before results kept a record; its path.
    static QString writeEarlierResult(const QString& video)
    {
        EXPECT_TRUE(QDir().mkpath(ExportPath::folder(video)));
        QFile done(exported(video, ExportPath::resultSuffix));
        EXPECT_TRUE(done.open(QIODevice::WriteOnly));
        done.write("Frame;X;Y;In;Out;Timestamp\n7;1;2;1;0;2015-06-12_15:00:00\n");
        return done.fileName();
    }

    QTemporaryDir root;
    QString videos, first, second;
};

// A folder without results is counted strictly: each crossing is an In or an Out.
TEST_F(CountCommand, AnalysesEveryListedVideoWithTheRegionsOfTheFirst)
{
    const Outcome o = count({videos});

    EXPECT_EQ(o.status, 0) << o.err;
    ASSERT_EQ(o.rows.size(), 2);
    for (const VideoOutcome& row : o.rows) {
        EXPECT_EQ(row.kind, VideoOutcome::Analysed) << row.reason.toStdString();
        EXPECT_EQ(row.frames, clipFrames - 91); // from frame 91 to the last
        EXPECT_EQ(row.in + row.out, 1);
    }
    for (const QString& video : {first, second}) {
        for (const char* suffix : {ExportPath::resultSuffix, ExportPath::densityImageSuffix,
                                   ExportPath::densityTextSuffix})
            EXPECT_TRUE(QFileInfo::exists(exported(video, suffix))) << suffix;
        EXPECT_EQ(ResultRecord::readMode(VideoFiles(video).record()), CountingMode::Strict);
    }
    EXPECT_NE(o.out.find("Counting mode: strict"), std::string::npos) << o.out;
    EXPECT_NE(o.out.find("video_20150612_1500_02"), std::string::npos);
    EXPECT_NE(o.out.find("Total"), std::string::npos);
    EXPECT_NE(o.err.find("[1/2] video_20150612_1"), std::string::npos) << o.err;
    EXPECT_NE(o.err.find("[2/2] video_20150612_1"), std::string::npos) << o.err;
}

TEST_F(CountCommand, OnlyUnprocessedLeavesAnalysedVideosAlone)
{
    const QString done = writeEarlierResult(second);
    const QByteArray before = contents(done);

    const Outcome o = count({"--only-unprocessed", "--quiet", videos});

    EXPECT_EQ(o.status, 0) << o.err;
    ASSERT_EQ(o.rows.size(), 1);
    EXPECT_EQ(o.rows.front().path, first);
    EXPECT_EQ(contents(done), before);
    EXPECT_FALSE(QFileInfo::exists(exported(second, ExportPath::densityTextSuffix)));
    EXPECT_TRUE(o.err.empty()) << o.err;
}

// A result made before records were kept makes the folder classic; once a strict result joins
// it, the folder needs --counting, and nothing is written until it is given.
TEST_F(CountCommand, FolderKeepsTheModeOfItsResultsAndMixedOnesNeedAChoice)
{
    writeEarlierResult(second);

    const Outcome classic = count({"--only-unprocessed", "--quiet", videos});
    ASSERT_EQ(classic.status, 0) << classic.err;
    EXPECT_EQ(classic.rows.front().in, 1); // a classic line crossing is In and Out
    EXPECT_EQ(classic.rows.front().out, 1);
    EXPECT_NE(classic.out.find("Counting mode: classic"), std::string::npos) << classic.out;
    EXPECT_EQ(ResultRecord::readMode(VideoFiles(first).record()), CountingMode::Classic);

    ASSERT_EQ(count({"--counting", "strict", "--quiet", first}).status, 0);
    const QMap<QString, QByteArray> before = snapshot(videos);
    const Outcome mixed = count({"--quiet", videos});
    EXPECT_EQ(mixed.status, int(ExitUsage));
    EXPECT_NE(mixed.err.find(videos.toStdString()), std::string::npos) << mixed.err;
    EXPECT_NE(mixed.err.find("--counting"), std::string::npos) << mixed.err;
    EXPECT_EQ(snapshot(videos), before);

    const Outcome chosen = count({"--counting", "strict", "--quiet", videos});
    EXPECT_EQ(chosen.status, 0) << chosen.err;
    EXPECT_NE(chosen.out.find("Counting mode: strict"), std::string::npos) << chosen.out;
}

TEST_F(CountCommand, SkipsVideosThatCannotBeAnalysedAndGoesOn)
{
    const QString small = clip(videos, "video_20150612_1600_03.mp4", {}, {160, 120});
    const QString corrupt = videos + "/video_20150612_1700_04.mp4";
    QFile garbage(corrupt);
    ASSERT_TRUE(garbage.open(QIODevice::WriteOnly));
    garbage.write(QByteArray(4096, 'x'));
    garbage.close();

    const Outcome o = count({"--quiet", videos});

    EXPECT_EQ(o.status, 2);
    EXPECT_NE(o.err.find("skipped " + small.toStdString() + ": frame size 160x120"),
              std::string::npos)
        << o.err;
    EXPECT_NE(o.err.find("skipped " + corrupt.toStdString()), std::string::npos) << o.err;
    for (const QString& video : {small, corrupt}) {
        EXPECT_FALSE(QFileInfo::exists(exported(video, ExportPath::resultSuffix)));
        EXPECT_FALSE(QFileInfo::exists(exported(video, ExportPath::densityTextSuffix)));
    }
    EXPECT_TRUE(QFileInfo::exists(exported(first, ExportPath::densityTextSuffix)));
    EXPECT_TRUE(QFileInfo::exists(exported(second, ExportPath::densityTextSuffix)));
}

// An output that cannot be written fails the video, which is worse than a skip: exit 1.
TEST_F(CountCommand, FailsVideoWhoseExportFolderCannotBeCreated)
{
    const QString other = root.path() + "/other";
    ASSERT_TRUE(QDir().mkpath(other));
    const QString third = clip(other, "video_20150612_1800_05.mp4", {});
    QFile blocker(other + "/exportCSV"); // a file where the folder should be
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();

    const Outcome o = count({"--quiet", "--regions", first, third});

    EXPECT_EQ(o.status, int(ExitFailed));
    EXPECT_NE(o.err.find("failed " + third.toStdString() + ": cannot create the folder " +
                         (other + "/exportCSV").toStdString()),
              std::string::npos)
        << o.err;
    EXPECT_EQ(contents(other + "/exportCSV"), QByteArray());
}

// Coordinates that are not whole numbers are read as 0, as they always were, but told once.
TEST_F(CountCommand, WarnsOfRegionLinesReadAsZero)
{
    QFile area(exported(first, ExportPath::areaSuffix));
    ASSERT_TRUE(area.open(QIODevice::WriteOnly));
    area.write("160,20\nnan,220\n");
    area.close();

    const Outcome o = count({"--quiet", first});

    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_NE(o.err.find("orvane-count: the region file " + area.fileName().toStdString() +
                         " has 1 line(s) whose coordinates are not whole numbers, read as 0"),
              std::string::npos)
        << o.err;
}

#ifndef Q_OS_WIN
// Outside Windows a backslash is an ordinary character of a file name.
TEST_F(CountCommand, AnalysesAVideoWithABackslashInItsName)
{
    const QString odd = clip(videos, "trap\\1.mp4", {movingAlongRow(64, 120, 5, 95)});

    const Outcome o = count({"--quiet", "--regions", first, odd});

    EXPECT_EQ(o.status, 0) << o.err;
    ASSERT_EQ(o.rows.size(), 1);
    EXPECT_EQ(o.rows.front().in, 1);
    EXPECT_TRUE(QFileInfo::exists(videos + "/exportCSV/trap\\1.csv"));
}
#endif

#ifdef Q_OS_UNIX
// Latin-1 "ä" in a name under a UTF-8 system cannot be represented: it is named, in a listing
// and when given by name, rather than left out or called missing, and a listed one is a
// skipped video of the summary and the exit status.
TEST_F(CountCommand, TellsOfNamesNotValidInTheEncoding)
{
    const QByteArray raw("K\xe4"
                         "fer.mp4");
    if (QFile::encodeName(QFile::decodeName(raw)) == raw)
        GTEST_SKIP() << "every byte is valid in this system's encoding";
    const QByteArray rawPath = QFile::encodeName(videos) + '/' + raw;
    QFile::copy(first, videos + "/tmp.mp4");
    ASSERT_EQ(::rename(QFile::encodeName(videos + "/tmp.mp4").constData(), rawPath.constData()), 0);
    // QTemporaryDir could not remove what it cannot name.
    const std::unique_ptr<const char, int (*)(const char*)> removal(rawPath.constData(), ::unlink);
    const std::string told = (videos + "/" + QFile::decodeName(raw)).toStdString() +
                             " cannot be read: its name is not valid in the system's encoding";

    const Outcome listed = count({"--quiet", videos});
    EXPECT_EQ(listed.status, ExitSkipped) << listed.err;
    ASSERT_EQ(listed.rows.size(), 3);
    EXPECT_EQ(listed.rows.front().kind, VideoOutcome::Skipped);
    EXPECT_TRUE(listed.rows.front().reason.contains("not valid in the system's encoding"));
    EXPECT_EQ(std::count_if(listed.rows.begin(), listed.rows.end(),
                            [](const VideoOutcome& o) { return o.kind == VideoOutcome::Analysed; }),
              2);
    EXPECT_NE(listed.err.find(told), std::string::npos) << listed.err;
    EXPECT_NE(listed.out.find("2 of 3 videos analysed"), std::string::npos) << listed.out;

    const Outcome named = count({"--quiet", videos + "/" + QFile::decodeName(raw)});
    EXPECT_EQ(named.status, ExitUsage);
    EXPECT_NE(named.err.find(told), std::string::npos) << named.err;
}
#endif

struct FailureCase {
    const char* name;
    QStringList (*arguments)(const QString& videos, const QString& first);
    void (*prepare)(const QString& videos, const QString& first);
    int status;
    const char* message;
};

class CountFailure : public CountCommand, public ::testing::WithParamInterface<FailureCase>
{
};

// Nothing is written, and the files already there stay as they were.
TEST_P(CountFailure, ReportsAndLeavesFilesAlone)
{
    const FailureCase& c = GetParam();
    if (c.prepare)
        c.prepare(videos, first);
    const auto before = snapshot(root.path());

    const Outcome o = count(c.arguments(videos, first));

    EXPECT_EQ(o.status, c.status);
    EXPECT_NE(o.err.find(c.message), std::string::npos) << o.err;
    EXPECT_EQ(snapshot(root.path()), before);
}

void removeRegions(const QString&, const QString& first)
{
    QFile::remove(exported(first, ExportPath::maskSuffix));
}

void unreadableArea(const QString&, const QString& first)
{
    // A directory in place of the area file exists but cannot be read.
    const QString area = exported(first, ExportPath::areaSuffix);
    QFile::remove(area);
    QDir().mkpath(area);
}

void oversizedArea(const QString&, const QString& first)
{
    QFile area(exported(first, ExportPath::areaSuffix));
    area.open(QIODevice::WriteOnly);
    for (int i = 0; i < 10001; ++i)
        area.write("10,10\n");
}

INSTANTIATE_TEST_SUITE_P(
    Errors, CountFailure,
    ::testing::Values(
        FailureCase{"NoPath", [](const QString&, const QString&) { return QStringList{}; }, nullptr,
                    ExitUsage, "no PATH given"},
        FailureCase{"UnknownOption",
                    [](const QString& v, const QString&) {
                        return QStringList{"--fast", v};
                    },
                    nullptr, ExitUsage, "unknown option --fast"},
        FailureCase{"RegionsWithoutVideo",
                    [](const QString&, const QString&) { return QStringList{"--regions"}; },
                    nullptr, ExitUsage, "--regions needs a VIDEO"},
        FailureCase{"MisspelledCountingMode",
                    [](const QString& v, const QString&) {
                        return QStringList{"--counting", "strikt", v};
                    },
                    nullptr, ExitUsage, "--counting must be classic or strict, not 'strikt'"},
        FailureCase{"CountingWithoutMode",
                    [](const QString&, const QString&) { return QStringList{"--counting"}; },
                    nullptr, ExitUsage, "--counting needs classic or strict"},
        FailureCase{"MissingPath",
                    [](const QString& v, const QString&) {
                        return QStringList{v, v + "/missing.mp4"};
                    },
                    nullptr, ExitUsage, "no such file or directory:"},
        FailureCase{"MissingRegionsVideo",
                    [](const QString& v, const QString&) {
                        return QStringList{"--regions", v + "/gone.mp4", v};
                    },
                    nullptr, ExitUsage, "--regions: no such video"},
        FailureCase{"NoVideoWithRegions",
                    [](const QString& v, const QString&) { return QStringList{v}; }, removeRegions,
                    ExitSkipped, "no listed video has both region files"},
        FailureCase{"RegionsVideoWithoutRegions",
                    [](const QString& v, const QString& f) {
                        return QStringList{"--regions", f, v};
                    },
                    removeRegions, ExitSkipped, "has no region files"},
        FailureCase{"UnreadableRegionFile",
                    [](const QString& v, const QString&) { return QStringList{v}; }, unreadableArea,
                    ExitSkipped, "is not a regular file"},
        FailureCase{"OversizedRegionFile",
                    [](const QString& v, const QString&) { return QStringList{v}; }, oversizedArea,
                    ExitSkipped, "has 10001 vertices, more than the 10000"},
        FailureCase{"EmptyDirectory",
                    [](const QString& v, const QString&) { return QStringList{v + "/exportCSV"}; },
                    nullptr, ExitSkipped, "no video found"}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return info.param.name; });

TEST(CountHelp, DescribesUsageAndExitStatus)
{
    const Outcome o = count({"--help"});
    EXPECT_EQ(o.status, 0);
    for (const char* text : {"Usage: orvane-count [--only-unprocessed] [--regions VIDEO] [--quiet]",
                             "Exit status", "64", "--only-unprocessed"})
        EXPECT_NE(o.out.find(text), std::string::npos) << text;
}

TEST(CountArguments, OptionsEndAtDoubleDash)
{
    CountOptions options;
    EXPECT_TRUE(
        parseCountArguments({"--quiet", "--regions=r.mp4", "a", "--", "--b"}, options).isEmpty());
    EXPECT_TRUE(options.quiet);
    EXPECT_FALSE(options.onlyUnprocessed);
    EXPECT_EQ(options.regionsVideo, "r.mp4");
    EXPECT_EQ(options.paths, (QStringList{"a", "--b"}));
    EXPECT_EQ(options.counting, CountingMode::Classic);
    EXPECT_TRUE(parseCountArguments({"--counting=strict", "a"}, options).isEmpty());
    EXPECT_EQ(options.counting, CountingMode::Strict);
}

} // namespace
