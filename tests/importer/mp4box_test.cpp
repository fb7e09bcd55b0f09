#include "importtestsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <vector>

namespace
{

struct ToolRun {
    int exitCode = -1;
    QString out;
    QString err;
};

ToolRun runTool(const QStringList& args)
{
    QProcess tool;
    tool.start(binDir() + "/mp4box", args);
    ToolRun run;
    if (!tool.waitForFinished(-1) || tool.exitStatus() != QProcess::NormalExit)
        return run;
    run.exitCode = tool.exitCode();
    run.out = QString::fromUtf8(tool.readAllStandardOutput());
    run.err = QString::fromUtf8(tool.readAllStandardError());
    return run;
}

class Mp4boxTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QString path(const QString& name) const { return dir.filePath(name); }
    QStringList files() const { return QDir(dir.path()).entryList(QDir::Files, QDir::Name); }
    QMap<QString, QByteArray> contents() const
    {
        QMap<QString, QByteArray> all;
        for (const QString& name : files())
            all.insert(name, readFile(path(name)));
        return all;
    }

    QTemporaryDir dir;
};

TEST_F(Mp4boxTest, PrintsBothPhasesInTheFormTheWorkerParses)
{
    ASSERT_TRUE(makeRawH264(path("in.h264"), 30));

    const ToolRun run = runTool({"-fps", "90", "-add", path("in.h264"), path("out.mp4")});

    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.err.isEmpty());
    EXPECT_EQ(files(), (QStringList{"in.h264", "out.mp4"}));
    const QStringList lines = run.out.split('\n', Qt::SkipEmptyParts);
    const QRegularExpression form(
        R"(^(Importing AVC-H264|ISO File Writing): \|=* *\| \((\d+)/100\)$)");
    for (const QString& line : lines)
        EXPECT_TRUE(form.match(line).hasMatch()) << line.toStdString();
    ASSERT_GE(lines.size(), 4);
    EXPECT_EQ(lines.first(), "Importing AVC-H264: |          | (0/100)");
    EXPECT_TRUE(lines.contains("Importing AVC-H264: |==========| (100/100)"));
    EXPECT_EQ(lines.last(), "ISO File Writing: |==========| (100/100)");
}

// Streams with B-frames are presented in another order than they are decoded; every picture
// must still get its own time, one frame apart, in presentation order.
TEST_F(Mp4boxTest, ReorderedFramesKeepTheirPresentationOrder)
{
    const int frames = 30;
    ASSERT_TRUE(makeVideo(path("b.h264"), frames, {"-c:v", "libx264", "-bf", "3", "-f", "h264"}));
    ASSERT_EQ(runTool({"-fps", "90", "-add", path("b.h264"), path("b.mp4")}).exitCode, 0);

    QProcess probe;
    probe.start("ffprobe", {"-v", "error", "-select_streams", "v", "-show_entries", "frame=pts",
                            "-of", "csv=p=0", path("b.mp4")});
    ASSERT_TRUE(probe.waitForFinished(-1));
    // One "pts" per frame, sometimes followed by a comma and an empty line for side data.
    std::vector<qint64> times;
    for (const QString& line : QString::fromUtf8(probe.readAllStandardOutput()).split('\n')) {
        if (!line.trimmed().isEmpty())
            times.push_back(line.section(',', 0, 0).toLongLong());
    }
    ASSERT_EQ(times.size(), static_cast<size_t>(frames));
    const qint64 step = times[1] - times[0];
    EXPECT_GT(step, 0);
    for (size_t i = 1; i < times.size(); ++i)
        EXPECT_EQ(times[i] - times[i - 1], step) << i;
}

class Mp4boxSignalTest : public Mp4boxTest, public ::testing::WithParamInterface<int>
{
};

TEST_F(Mp4boxTest, AStrayPartFileIsLeftAlone)
{
    ASSERT_TRUE(makeRawH264(path("in.h264"), 5));
    ASSERT_TRUE(writeFile(path("out.mp4.part"), "someone else's"));

    EXPECT_EQ(runTool({"-fps", "25", "-add", path("in.h264"), path("out.mp4")}).exitCode, 0);

    EXPECT_EQ(files(), (QStringList{"in.h264", "out.mp4", "out.mp4.part"}));
    EXPECT_EQ(readFile(path("out.mp4.part")), "someone else's");
    EXPECT_EQ(QFileInfo(path("out.mp4")).permissions() & QFileDevice::ReadOther,
              QFileInfo(path("in.h264")).permissions() & QFileDevice::ReadOther);
}

// A FIFO would block a writer, and as root any special file would be replaced.
TEST_F(Mp4boxTest, AFifoAsOutputIsRefusedWithoutBlocking)
{
    ASSERT_TRUE(makeRawH264(path("in.h264"), 5));
    ASSERT_EQ(mkfifo(QFile::encodeName(path("out.mp4")).constData(), 0600), 0);

    const ToolRun run = runTool({"-fps", "25", "-add", path("in.h264"), path("out.mp4")});

    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains("exists and is not a regular file")) << run.err.toStdString();
    EXPECT_FALSE(QFileInfo(path("out.mp4")).isFile());
}

// Interrupted while it works, it leaves only what was there before. A busy machine may let a
// short run end before it is seen at work, so the stream grows until the signal comes in time.
TEST_P(Mp4boxSignalTest, RemovesItsTemporaryFile)
{
    bool interrupted = false;
    for (int frames = 400; !interrupted && frames <= 12800; frames *= 4) {
        QFile::remove(path("out.mp4"));
        // Reordered frames are decoded while indexing, which makes the run long enough.
        ASSERT_TRUE(
            makeVideo(path("in.h264"), frames, {"-c:v", "libx264", "-bf", "3", "-f", "h264"}));
        QProcess tool;
        tool.start(binDir() + "/mp4box", {"-fps", "25", "-add", path("in.h264"), path("out.mp4")});
        ASSERT_TRUE(tool.waitForStarted());
        const QStringList partial{"out.mp4.*.part"};
        while (QDir(dir.path()).entryList(partial, QDir::Files).isEmpty() &&
               !tool.waitForFinished(1)) {
        }
        if (tool.state() == QProcess::Running) {
            ::kill(static_cast<pid_t>(tool.processId()), GetParam());
            ASSERT_TRUE(tool.waitForFinished(60000));
            interrupted = tool.exitStatus() == QProcess::CrashExit;
        }
        ASSERT_TRUE(interrupted || tool.exitCode() == 0);
    }
    EXPECT_TRUE(interrupted);
    EXPECT_EQ(files(), QStringList{"in.h264"});
}

INSTANTIATE_TEST_SUITE_P(Signals, Mp4boxSignalTest, ::testing::Values(SIGINT, SIGTERM));

struct FailureCase {
    const char* name;
    QStringList args; // %in and %out are replaced by paths in the test folder
    int exitCode;
};

class Mp4boxFailureTest : public Mp4boxTest, public ::testing::WithParamInterface<FailureCase>
{
};

// Every refusal explains itself on standard error and leaves no output, not even a partial one;
// a file already at the output path stays as it was.
TEST_P(Mp4boxFailureTest, ExplainsAndLeavesNoOutput)
{
    ASSERT_TRUE(makeRawH264(path("good.h264"), 5));
    ASSERT_TRUE(writeFile(path("garbage.h264"), patternBytes(20000)));
    ASSERT_TRUE(writeFile(path("empty.h264"), {}));
    ASSERT_TRUE(makeVideo(path("movie.mp4"), 5, {"-c:v", "libx264"}));
    ASSERT_TRUE(writeFile(path("out.mp4"), "old"));
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.mp4"));
    const QMap<QString, QByteArray> before = contents();
    QStringList args = GetParam().args;
    args.replaceInStrings("%dir", dir.path());

    const ToolRun run = runTool(args);

    EXPECT_EQ(run.exitCode, GetParam().exitCode);
    EXPECT_FALSE(run.err.isEmpty());
    EXPECT_EQ(contents(), before);
    EXPECT_TRUE(QFileInfo(path("folder.mp4")).isDir());
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, Mp4boxFailureTest,
    ::testing::Values(
        FailureCase{"MissingInput", {"-fps", "90", "-add", "%dir/none.h264", "%dir/out.mp4"}, 1},
        FailureCase{"FolderAsInput", {"-fps", "90", "-add", "%dir", "%dir/out.mp4"}, 1},
        FailureCase{"Garbage", {"-fps", "90", "-add", "%dir/garbage.h264", "%dir/out.mp4"}, 1},
        FailureCase{"Empty", {"-fps", "90", "-add", "%dir/empty.h264", "%dir/out.mp4"}, 1},
        FailureCase{"Mp4NotRaw", {"-fps", "90", "-add", "%dir/movie.mp4", "%dir/out.mp4"}, 1},
        FailureCase{
            "OutputFolderMissing", {"-fps", "90", "-add", "%dir/good.h264", "%dir/no/out.mp4"}, 1},
        FailureCase{"OutputIsInput", {"-fps", "90", "-add", "%dir/good.h264", "%dir/good.h264"}, 1},
        FailureCase{"OutputIsInputByAnotherName",
                    {"-fps", "90", "-add", "%dir/good.h264", "%dir/./good.h264"},
                    1},
        FailureCase{
            "OutputIsAFolder", {"-fps", "90", "-add", "%dir/good.h264", "%dir/folder.mp4"}, 1},
        FailureCase{"OutputIsADevice", {"-fps", "90", "-add", "%dir/good.h264", "/dev/null"}, 1},
        FailureCase{
            "UnknownOption", {"-fps", "90", "-add", "%dir/good.h264", "%dir/out.mp4", "-new"}, 2},
        FailureCase{"NoFps", {"-add", "%dir/good.h264", "%dir/out.mp4"}, 2},
        FailureCase{"ZeroFps", {"-fps", "0", "-add", "%dir/good.h264", "%dir/out.mp4"}, 2},
        FailureCase{"NoOutput", {"-fps", "90", "-add", "%dir/good.h264"}, 2},
        FailureCase{
            "TwoOutputs", {"-fps", "90", "-add", "%dir/good.h264", "%dir/a.mp4", "%dir/b.mp4"}, 2}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return info.param.name; });

} // namespace
