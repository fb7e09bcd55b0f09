// The --each-folder runner against stand-in children: small shell scripts that behave like a
// child orvane-count (records on standard output, messages on standard error, exit statuses,
// a stop signal), so that scheduling, statuses, stopping and the summary are tested without
// analysing videos.
#include "eachfolder.h"
#include "folderrecords.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <sstream>

namespace
{

// Behaviour by the folder's name: ok*, skip*, fail*, slow* (until a signal), killed*.
const char* const standInChild = R"(#!/bin/sh
for a; do folder=$a; done
name=$(basename "$folder")
echo "start $name" >> "$CHILD_LOG"
case "$name" in
ok*)
    printf 'progress\t1\t2\t100\t200\t50.0\tv1\n'
    printf 'video\tv1\tanalysed\t1\t109\t3\t1\t0.0100\t0.500\n'
    printf 'video\tv2\tanalysed\t1\t100\t2\t0\t0.0200\t0.250\n'
    sleep 0.3 ;;
skip*)
    echo "orvane-count: $name has no region files" >&2
    echo "end $name" >> "$CHILD_LOG"
    exit 2 ;;
fail*)
    printf 'video\tv1\tfailed: cannot write v1.csv: No space left on device\t0\t10\t1\t0\t\t0.1\n'
    echo "end $name" >> "$CHILD_LOG"
    exit 1 ;;
slow*)
    trap 'kill $sleeper; printf "video\tv1\tinterrupted\t0\t5\t0\t0\t\t0.1\n"; echo "end $name" >> "$CHILD_LOG"; exit 143' TERM
    sleep 20 & sleeper=$!
    wait ;;
killed*)
    kill -KILL $$ ;;
esac
echo "end $name" >> "$CHILD_LOG"
)";

class EachFolderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        program = dir.filePath(QStringLiteral("child.sh"));
        QFile script(program);
        ASSERT_TRUE(script.open(QIODevice::WriteOnly));
        script.write(standInChild);
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        log = dir.filePath(QStringLiteral("child.log"));
        qputenv("CHILD_LOG", QFile::encodeName(log));
    }

    int run(const QStringList& names, int jobs, const std::function<int()>& stop = {})
    {
        EachFolderOptions options;
        options.program = program;
        options.jobs = jobs;
        for (const QString& name : names) {
            QDir(dir.path()).mkdir(name);
            options.folders.append(dir.filePath(name));
        }
        return runEachFolder(options, out, err, stop, &outcomes);
    }

    // The most children that ran at once, from their start and end lines.
    int mostAtOnce() const
    {
        QFile file(log);
        if (!file.open(QIODevice::ReadOnly))
            return 0;
        int now = 0, most = 0;
        for (const QByteArray& line : file.readAll().split('\n')) {
            now += line.startsWith("start ") ? 1 : line.startsWith("end ") ? -1 : 0;
            most = std::max(most, now);
        }
        return most;
    }

    QTemporaryDir dir;
    QString program;
    QString log;
    std::ostringstream out;
    std::ostringstream err;
    QVector<FolderOutcome> outcomes;
};

TEST(FolderRecordsTest, RecordsCarryAnyNameAndRefuseGarbage)
{
    FolderRecords::Video video;
    video.name = QStringLiteral("cam\t1\\2\nä");
    video.status = QStringLiteral("skipped: frame 90 cannot be read");
    video.frames = 1234567;
    video.in = 5;
    video.out = 7;
    video.density = QStringLiteral("0.0312");
    video.seconds = 1.5;
    QByteArray line = FolderRecords::videoLine(video);
    ASSERT_TRUE(line.endsWith('\n'));
    EXPECT_EQ(line.count('\n'), 1);
    line.chop(1);
    FolderRecords::Video back;
    ASSERT_EQ(FolderRecords::parse(line, nullptr, &back), FolderRecords::VideoRecord);
    EXPECT_EQ(back.name, video.name);
    EXPECT_EQ(back.status, video.status);
    EXPECT_FALSE(back.analysed);
    EXPECT_EQ(back.frames, 1234567);
    EXPECT_EQ(back.in, 5);
    EXPECT_EQ(back.out, 7);
    EXPECT_EQ(back.density, video.density);
    EXPECT_DOUBLE_EQ(back.seconds, 1.5);

    FolderRecords::Progress progress{3, 9, 1500, 9000, 480.5, QStringLiteral("a b")};
    line = FolderRecords::progressLine(progress);
    line.chop(1);
    FolderRecords::Progress p;
    ASSERT_EQ(FolderRecords::parse(line, &p, nullptr), FolderRecords::ProgressRecord);
    EXPECT_EQ(p.video, 3);
    EXPECT_EQ(p.videos, 9);
    EXPECT_DOUBLE_EQ(p.frame, 1500);
    EXPECT_EQ(p.name, progress.name);

    for (const char* garbage : {"", "video", "progress\t1\t2", "video\ta\tb\t2\t1\t1\t1\t\t1",
                                "progress\tx\t2\t3\t4\t5\tn", "Video  Frames In Out"})
        EXPECT_EQ(FolderRecords::parse(garbage, &p, &back), FolderRecords::NoRecord) << garbage;
}

TEST_F(EachFolderTest, NeverRunsMoreFoldersAtOnceThanAskedAndRunsThemAll)
{
    EXPECT_EQ(run({"ok1", "ok2", "ok3", "ok4", "ok5"}, 2), 0);
    EXPECT_EQ(mostAtOnce(), 2);
    ASSERT_EQ(outcomes.size(), 5);
    for (const FolderOutcome& o : outcomes) {
        EXPECT_TRUE(o.started);
        EXPECT_EQ(o.videos.size(), 2);
    }
    QFile::remove(log);
    EXPECT_EQ(run({"ok1", "ok2", "ok3"}, 1), 0);
    EXPECT_EQ(mostAtOnce(), 1);
}

TEST_F(EachFolderTest, StatusIsTheWorstFoldersAndTheSummaryNamesEveryFolder)
{
    EXPECT_EQ(run({"ok", "skip", "ok2"}, 2), 2);
    EXPECT_EQ(run({"ok", "fail", "skip"}, 3), 2);
    EXPECT_EQ(run({"ok", "killed", "fail"}, 2), 128 + SIGKILL);

    out.str({});
    err.str({});
    EXPECT_EQ(run({"ok", "skip", "fail"}, 2), 2);
    const std::string summary = out.str();
    EXPECT_NE(summary.find("Folder"), std::string::npos);
    EXPECT_NE(summary.find("not analysed: skip has no region files"), std::string::npos) << summary;
    EXPECT_NE(summary.find("failed: cannot write v1.csv: No space left on device"),
              std::string::npos);
    // Only analysed videos count in the totals: 109 + 100 frames, 3 + 2 In, 1 Out.
    EXPECT_NE(summary.find("Total"), std::string::npos);
    EXPECT_NE(summary.find("209        5        1"), std::string::npos) << summary;
    EXPECT_NE(summary.find("2 of 3 videos analysed in 3 folders"), std::string::npos) << summary;
    // The child's message reaches standard error with its folder, without the child's prefix.
    EXPECT_NE(err.str().find(dir.filePath("skip").toStdString() + ": skip has no region files"),
              std::string::npos)
        << err.str();
}

TEST_F(EachFolderTest, AStopReachesEveryRunningChildAndStartsNoOtherFolder)
{
    QElapsedTimer clock;
    clock.start();
    const auto stopSoon = [&clock] { return clock.elapsed() > 500 ? SIGTERM : 0; };
    EXPECT_EQ(run({"slow1", "slow2", "slow3"}, 2, stopSoon), 128 + SIGTERM);
    ASSERT_EQ(outcomes.size(), 3);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(outcomes[i].exitStatus, 128 + SIGTERM);
        ASSERT_EQ(outcomes[i].videos.size(), 1);
        EXPECT_EQ(outcomes[i].videos[0].status, QStringLiteral("interrupted"));
    }
    EXPECT_FALSE(outcomes[2].started);
    EXPECT_NE(out.str().find("not started"), std::string::npos);
}

TEST_F(EachFolderTest, AProgramThatCannotStartFailsItsFolders)
{
    program = dir.filePath(QStringLiteral("missing"));
    EXPECT_NE(run({"ok"}, 1), 0);
    EXPECT_NE(out.str().find("failed:"), std::string::npos) << out.str();
}

} // namespace
