// orvane-count as a user runs it: a child process that is killed, stopped by a signal, started
// twice on one folder, or given no room for its files.
#include "countcommand.h"
#include "runlock.h"
#include "testclips.h"
#include "videolisting.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/resource.h>

using namespace testclips;

namespace
{

const cv::Size clipSize{320, 240};
const int clipFrames = 900;

QString countProgram()
{
    QString dir = qEnvironmentVariable("ORVANE_BIN_DIR");
    if (dir.isEmpty())
        dir = QCoreApplication::applicationDirPath() + "/../bin";
    return dir + "/orvane-count";
}

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

// Lets the stopped process `pid` run in short slices until `path` exists, and leaves it stopped
// there; false after `ms` milliseconds. A child left to run freely can finish its whole video
// while a busy machine keeps the test from looking, so it never gets more than a slice.
// kill() returns before the process has stopped: waits until its state in /proc says so.
bool waitUntilStopped(pid_t pid)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 60000) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            return false;
        const QByteArray line = stat.readAll();
        const int afterName = line.lastIndexOf(')');
        if (afterName > 0 && line.mid(afterName + 2, 1) == "T")
            return true;
        QThread::usleep(100);
    }
    return false;
}

bool runInSlicesUntilFile(pid_t pid, const QString& path, int ms = 60000)
{
    QElapsedTimer clock;
    clock.start();
    while (!QFileInfo::exists(path)) {
        if (clock.elapsed() > ms)
            return false;
        ::kill(pid, SIGCONT);
        QThread::usleep(300);
        ::kill(pid, SIGSTOP);
    }
    return waitUntilStopped(pid);
}

class CountProcess : public ::testing::Test
{
protected:
    // One long video with many crossings, analysed once in-process for the reference result.
    static void SetUpTestSuite()
    {
        shared = new QTemporaryDir;
        const QString path =
            writeClip(shared->path(), "video_20150613_0900_01.mp4", clipSize, clipFrames,
                      videogen::crossingInsects(clipSize, clipFrames, 8));
        ASSERT_FALSE(path.isEmpty());
        ASSERT_TRUE(saveRegions(path, {{160, 10}, {160, 230}}, box(5, 5, 315, 235)));
        // Classic counting counts a crossing insect more often than strict counting does.
        CountOptions options;
        options.quiet = true;
        options.counting = CountingMode::Classic;
        options.countingGiven = true;
        options.paths = QStringList{shared->path()};
        std::ostringstream out, err;
        ASSERT_EQ(runCount(options, {out, err, false}), int(ExitAnalysed)) << err.str();
        reference = contents(exported(path, ExportPath::resultSuffix));
        ASSERT_GT(reference.count('\n'), 10); // enough events to fill a small file limit
        for (const char* suffix : {ExportPath::resultSuffix, ExportPath::densityImageSuffix,
                                   ExportPath::densityTextSuffix})
            QFile::remove(exported(path, suffix));
    }
    static void TearDownTestSuite() { delete shared; }

    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        video = dir.path() + "/video_20150613_0900_01.mp4";
        ASSERT_TRUE(QFile::copy(shared->path() + "/video_20150613_0900_01.mp4", video));
        ASSERT_TRUE(ExportPath::ensureFolder(video));
        for (const char* suffix : {ExportPath::areaSuffix, ExportPath::maskSuffix})
            ASSERT_TRUE(
                QFile::copy(exported(shared->path() + "/video_20150613_0900_01.mp4", suffix),
                            exported(video, suffix)));
    }

    void start(QProcess& child, const QStringList& extra = {})
    {
        child.start(countProgram(),
                    extra + QStringList{"--counting", "classic", "--quiet", dir.path()});
        ASSERT_TRUE(child.waitForStarted());
    }

    // Started and caught in the middle of its video: its events go to the .part file.
    void startAndPause(QProcess& child)
    {
        start(child);
        const pid_t pid = static_cast<pid_t>(child.processId());
        ::kill(pid, SIGSTOP);
        ASSERT_TRUE(runInSlicesUntilFile(pid, part()));
        ASSERT_FALSE(QFileInfo::exists(result()));
    }

    QString part() const { return exported(video, ExportPath::partialResultSuffix); }
    QString result() const { return exported(video, ExportPath::resultSuffix); }

    static QTemporaryDir* shared;
    static QByteArray reference;
    QTemporaryDir dir;
    QString video;
};

QTemporaryDir* CountProcess::shared = nullptr;
QByteArray CountProcess::reference;

TEST_F(CountProcess, KilledRunLeavesOnlyThePartFileAndAResumeCompletesIt)
{
    QProcess child;
    startAndPause(child);
    ::kill(static_cast<pid_t>(child.processId()), SIGKILL);
    ASSERT_TRUE(child.waitForFinished());

    EXPECT_TRUE(QFileInfo::exists(part()));
    EXPECT_FALSE(QFileInfo::exists(result()));
    EXPECT_FALSE(listVideos(dir.path()).front().done);

    QProcess resume;
    start(resume, {"--only-unprocessed"});
    ASSERT_TRUE(resume.waitForFinished(120000));
    EXPECT_EQ(resume.exitCode(), 0) << resume.readAllStandardError().toStdString();
    EXPECT_EQ(contents(result()), reference);
    EXPECT_FALSE(QFileInfo::exists(part()));
    EXPECT_TRUE(listVideos(dir.path()).front().done);
}

class StopSignal : public CountProcess, public ::testing::WithParamInterface<int>
{
};

TEST_P(StopSignal, EndsAfterTheCurrentFrameWithTheSummary)
{
    const int signal = GetParam();
    QProcess child;
    startAndPause(child);
    const pid_t pid = static_cast<pid_t>(child.processId());
    ::kill(pid, signal);
    ::kill(pid, SIGCONT);
    ASSERT_TRUE(child.waitForFinished(60000));

    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(child.exitCode(), 128 + signal);
    const std::string out = child.readAllStandardOutput().toStdString();
    EXPECT_NE(out.find("interrupted"), std::string::npos) << out;
    EXPECT_NE(out.find("0 of 1 videos analysed"), std::string::npos) << out;
    EXPECT_TRUE(QFileInfo::exists(part()));
    EXPECT_FALSE(QFileInfo::exists(result()));
    EXPECT_FALSE(QFileInfo::exists(ExportPath::folder(video) + "/" + RunLock::fileName));
}

INSTANTIATE_TEST_SUITE_P(Signals, StopSignal, ::testing::Values(SIGINT, SIGTERM, SIGHUP));

TEST_F(CountProcess, SecondRunOnTheFolderIsRefusedAndTheFirstGoesOn)
{
    QProcess first;
    startAndPause(first);
    const auto before = snapshot(dir.path());

    QProcess second;
    start(second);
    ASSERT_TRUE(second.waitForFinished(60000));
    // Compared while the first is still stopped: it may have been stopped between creating its
    // .part file and writing the header, which it writes as soon as it goes on.
    EXPECT_EQ(snapshot(dir.path()), before);
    ::kill(static_cast<pid_t>(first.processId()), SIGCONT);

    EXPECT_EQ(second.exitCode(), int(ExitSkipped));
    const std::string err = second.readAllStandardError().toStdString();
    EXPECT_NE(
        err.find(QStringLiteral("orvane-count, process %1").arg(first.processId()).toStdString()),
        std::string::npos)
        << err;
    ASSERT_TRUE(first.waitForFinished(120000));
    EXPECT_EQ(first.exitCode(), 0);
    EXPECT_EQ(contents(result()), reference);
}

// A full disk, without root: a file size limit that the child inherits, with SIGXFSZ ignored so
// that writing past it fails instead of ending the process.
TEST_F(CountProcess, ResultFileThatCannotBeWrittenFailsTheVideo)
{
    struct rlimit before = {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
    struct rlimit limited = before;
    limited.rlim_cur = 150; // the header and a few events
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    QProcess child;
    child.start(countProgram(), {"--counting", "classic", "--quiet", dir.path()});
    const bool started = child.waitForStarted();
    setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, previous);
    ASSERT_TRUE(started);
    ASSERT_TRUE(child.waitForFinished(120000));

    EXPECT_EQ(child.exitCode(), int(ExitFailed));
    const std::string err = child.readAllStandardError().toStdString();
    EXPECT_NE(err.find("failed " + video.toStdString() + ": cannot write the result file " +
                       part().toStdString() + ": File too large"),
              std::string::npos)
        << err;
    const std::string out = child.readAllStandardOutput().toStdString();
    EXPECT_NE(out.find("0 of 1 videos analysed"), std::string::npos) << out;
    EXPECT_FALSE(QFileInfo::exists(result()));
    EXPECT_TRUE(QFileInfo::exists(part()));
}

} // namespace
