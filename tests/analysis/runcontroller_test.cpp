#include "analysissession.h"
#include "areacontour.h"
#include "framereader.h"
#include "framesource.h"
#include "resultwriter.h"
#include "runlock.h"
#include "testclips.h"
#include "videocapture.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSysInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <set>

using namespace testclips;

namespace
{

const cv::Size clipSize{320, 240};
const QByteArray header = "Frame;X;Y;In;Out;Timestamp\n";
// The blob crosses x = 160 between frames 114 and 115, 4 seconds after the start at 25 fps.
const QByteArray crossing = "114;162;120;1;1;2015-06-12_14:30:04\n";

// Frames drawn in memory and handed over as a decoder would; the frames in `unreadable` cannot
// be read, like a damaged stretch, and are passed over.
class GeneratedSource : public FrameSource
{
public:
    videogen::ClipRecipe recipe;
    std::set<int> unreadable;
    std::function<void()> onOpen;
    double declaredFrames = 0; // the container's frame count when not `recipe.frames`

    bool open(const QString&, int startFrame, cv::Mat& first, VideoProperties& props) override
    {
        if (onOpen)
            onOpen();
        background = videogen::background(recipe);
        props.opened = true;
        props.fps = recipe.fps;
        props.containerFrames = declaredFrames > 0 ? declaredFrames : recipe.frames;
        props.frameWidth = recipe.size.width;
        props.frameHeight = recipe.size.height;
        index = startFrame;
        skipped = 0;
        videogen::renderFrame(recipe, background, index, first);
        return true;
    }

    const Frame* next() override
    {
        ++index;
        for (; unreadable.count(index) != 0; ++index)
            ++skipped;
        if (index >= recipe.frames)
            return nullptr;
        videogen::renderFrame(recipe, background, index, frame.colour);
        frame.index = index;
        return &frame;
    }

    long unreadableFrames() const override { return skipped; }
    void close() override {}

private:
    cv::Mat background;
    Frame frame;
    int index = 0;
    long skipped = 0;
};

// A session reading the frames of a test.
class EngineRun
{
public:
    explicit EngineRun(FrameSource& source) : session(QStringLiteral("analysis_test"), source) {}

    AreaContour& regions() { return session.regions(); }
    QString start(const QStringList& queue) { return session.start(queue, clipSize, mode); }

    AnalysisSession session;
    CountingMode mode = CountingMode::Classic;
};

class RunControllerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        source.recipe.size = clipSize;
        source.recipe.frames = 130;
        source.recipe.blobs = {movingAlongRow(64, 120, 5, 95)};
        ASSERT_TRUE(saveRegions(video, {{160, 20}, {160, 220}}, box(5, 5, 315, 235)));
        run.regions().load_area(video);
        run.regions().load_mask(video);
    }

    QString videoNamed(const QString& name) const { return dir.path() + QLatin1Char('/') + name; }

    QVector<VideoOutcome> analyse(const QStringList& queue)
    {
        EXPECT_EQ(run.start(queue), QString());
        run.session.run();
        return run.session.outcomes();
    }

    QTemporaryDir dir;
    QString video = videoNamed("video_20150612_1430_01.mp4");
    GeneratedSource source;
    EngineRun run{source};
};

TEST_F(RunControllerTest, ResultFileGetsItsNameOnlyOnceTheVideoIsComplete)
{
    int framesSeen = 0;
    run.session.callbacks.frameAnalysed = [&](const RunProgress& p, const FrameSource::Frame&,
                                              const std::vector<Result>&) {
        ++framesSeen;
        EXPECT_EQ(p.frame, 90 + framesSeen);
        EXPECT_TRUE(QFileInfo::exists(exported(video, ExportPath::partialResultSuffix)));
        EXPECT_FALSE(QFileInfo::exists(exported(video, ExportPath::resultSuffix)));
        EXPECT_FALSE(QFileInfo::exists(exported(video, ExportPath::recordSuffix)));
    };
    const QVector<VideoOutcome> outcomes = analyse({video});

    ASSERT_EQ(outcomes.size(), 1);
    const VideoOutcome& o = outcomes.front();
    EXPECT_EQ(o.status(), "analysed");
    EXPECT_EQ(o.frames, 130 - 91);
    EXPECT_EQ(framesSeen, 130 - 91);
    EXPECT_EQ(o.in, 1);
    EXPECT_EQ(o.out, 1);
    EXPECT_EQ(contents(exported(video, ExportPath::resultSuffix)), header + crossing);
    EXPECT_FALSE(QFileInfo::exists(exported(video, ExportPath::partialResultSuffix)));
    EXPECT_TRUE(QFileInfo::exists(exported(video, ExportPath::densityImageSuffix)));
    EXPECT_EQ(o.density,
              QString(contents(exported(video, ExportPath::densityTextSuffix))).section(' ', -1));
    EXPECT_FALSE(QFileInfo::exists(ExportPath::folder(video) + "/" + RunLock::fileName));
    EXPECT_FALSE(run.session.step()); // over

    ResultRecord record;
    ASSERT_TRUE(ResultRecord::read(exported(video, ExportPath::recordSuffix), record));
    EXPECT_EQ(record.program, "analysis_test");
    EXPECT_EQ(record.mode, CountingMode::Classic);
    EXPECT_EQ(record.area, run.regions().area);
    EXPECT_EQ(record.mask, run.regions().mask);
    EXPECT_EQ(record.frameSize, clipSize);
    EXPECT_EQ(record.fps, 25);
    EXPECT_EQ(record.firstFrame, 90);
    EXPECT_EQ(record.lastFrame, 129);
    EXPECT_EQ(record.unreadableFrames, 0);
    EXPECT_TRUE(record.started.isValid());
    EXPECT_LE(record.started, record.ended);
}

TEST_F(RunControllerTest, RecordNamesTheModeAndTheFramesPassedOver)
{
    run.mode = CountingMode::Strict;
    source.unreadable = {100, 101};
    ASSERT_EQ(analyse({video}).front().kind, VideoOutcome::Analysed);
    ResultRecord record;
    ASSERT_TRUE(ResultRecord::read(exported(video, ExportPath::recordSuffix), record));
    EXPECT_EQ(record.mode, CountingMode::Strict);
    EXPECT_EQ(record.unreadableFrames, 2);
}

TEST_F(RunControllerTest, StopEndsTheVideoAsInterruptedAndLeavesTheEarlierResultAlone)
{
    const QByteArray earlier = header + "7;1;2;1;0;2015-06-12_14:00:00\n";
    QFile done(exported(video, ExportPath::resultSuffix));
    ASSERT_TRUE(done.open(QIODevice::WriteOnly));
    done.write(earlier);
    done.close();
    run.session.callbacks.frameAnalysed = [&](const RunProgress& p, const FrameSource::Frame&,
                                              const std::vector<Result>&) {
        if (p.frame == 120) // after the crossing
            run.session.cancel();
    };
    const QVector<VideoOutcome> outcomes = analyse({video, videoNamed("second.mp4")});

    ASSERT_EQ(outcomes.size(), 1); // the second video was never started
    EXPECT_EQ(outcomes.front().status(), "interrupted");
    EXPECT_EQ(outcomes.front().frames, 120 - 90);
    EXPECT_EQ(contents(exported(video, ExportPath::resultSuffix)), earlier);
    EXPECT_EQ(contents(exported(video, ExportPath::partialResultSuffix)), header + crossing);
    EXPECT_FALSE(QFileInfo::exists(exported(video, ExportPath::densityTextSuffix)));
    // The earlier result, made before records were kept, gets none from an unfinished run.
    EXPECT_FALSE(QFileInfo::exists(exported(video, ExportPath::recordSuffix)));
    // The next analysis starts the .part file afresh and completes it.
    run.session.callbacks.frameAnalysed = nullptr;
    EXPECT_EQ(analyse({video}).front().kind, VideoOutcome::Analysed);
    EXPECT_EQ(contents(exported(video, ExportPath::resultSuffix)), header + crossing);
    EXPECT_FALSE(QFileInfo::exists(exported(video, ExportPath::partialResultSuffix)));
    EXPECT_TRUE(QFileInfo::exists(exported(video, ExportPath::recordSuffix)));
}

struct FailureCase {
    const char* name;
    const char* blockedSuffix; // a folder is put where this file goes
    const char* reason;
};

class OutputFailure : public RunControllerTest, public ::testing::WithParamInterface<FailureCase>
{
};

// A video whose files cannot be written completely fails with the file and the reason; it
// never gets a NAME.csv, and its counts are not reported as analysed.
TEST_P(OutputFailure, FailsTheVideoAndGoesOn)
{
    const FailureCase& c = GetParam();
    ASSERT_TRUE(QDir().mkpath(exported(video, c.blockedSuffix)));
    const QString second = videoNamed("video_20150612_1430_02.mp4");

    const QVector<VideoOutcome> outcomes = analyse({video, second});

    ASSERT_EQ(outcomes.size(), 2);
    EXPECT_EQ(outcomes[0].kind, VideoOutcome::Failed);
    EXPECT_TRUE(outcomes[0].reason.contains(c.reason)) << outcomes[0].reason.toStdString();
    EXPECT_TRUE(outcomes[0].reason.contains(exported(video, c.blockedSuffix)))
        << outcomes[0].reason.toStdString();
    EXPECT_FALSE(QFileInfo(exported(video, ExportPath::resultSuffix)).isFile());
    EXPECT_FALSE(QFileInfo(exported(video, ExportPath::recordSuffix)).isFile());
    EXPECT_EQ(outcomes[1].kind, VideoOutcome::Analysed);
    EXPECT_EQ(run.session.count(VideoOutcome::Analysed), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Files, OutputFailure,
    ::testing::Values(FailureCase{"PartFile", ExportPath::partialResultSuffix, "cannot create"},
                      FailureCase{"DensityPicture", ExportPath::densityImageSuffix,
                                  "cannot write the density files"},
                      FailureCase{"Record", ExportPath::recordSuffix, "cannot write the record"},
                      FailureCase{"ResultInTheWay", ExportPath::resultSuffix,
                                  "in the way of the result file"}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return info.param.name; });

TEST_F(RunControllerTest, SecondRunOnALockedFolderIsRefusedUntilTheFirstEnds)
{
    ASSERT_EQ(run.start({video}), QString());
    ASSERT_TRUE(run.session.step()); // the video has started
    const QString other = videoNamed("video_20150612_1430_02.mp4");
    GeneratedSource otherSource;
    otherSource.recipe = source.recipe;
    EngineRun second(otherSource);

    const QString refused = second.start({other});

    EXPECT_TRUE(
        refused.contains(QStringLiteral("process %1").arg(QCoreApplication::applicationPid())))
        << refused.toStdString();
    EXPECT_TRUE(refused.contains(ExportPath::folder(video))) << refused.toStdString();
    EXPECT_FALSE(second.session.step());
    EXPECT_TRUE(second.session.outcomes().isEmpty());
    run.session.run();
    EXPECT_EQ(contents(exported(video, ExportPath::resultSuffix)), header + crossing);
    EXPECT_FALSE(QFileInfo::exists(exported(other, ExportPath::partialResultSuffix)));
    EXPECT_EQ(second.start({other}), QString());
}

// The lock of a run that was killed names a process that no longer exists.
TEST_F(RunControllerTest, LockOfADeadRunIsTakenOver)
{
    QFile stale(ExportPath::folder(video) + "/" + RunLock::fileName);
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.write("4194303\norvane-count\n" + QSysInfo::machineHostName().toUtf8() + "\n");
    stale.close();

    const QVector<VideoOutcome> outcomes = analyse({video});

    ASSERT_EQ(outcomes.size(), 1);
    EXPECT_EQ(outcomes.front().kind, VideoOutcome::Analysed);
}

// A lock left by a run on another machine cannot be judged from here: the refusal names its
// holder and the way to take the folder over, and breakLock() removes it after saying whose it
// was. A lock of a run alive on this machine is never broken.
TEST_F(RunControllerTest, LockOfARunOnAnotherMachineIsKeptUntilBroken)
{
    const QString lockPath = ExportPath::folder(video) + "/" + RunLock::fileName;
    QFile foreign(lockPath);
    ASSERT_TRUE(foreign.open(QIODevice::WriteOnly));
    foreign.write("4242\norvane-count\nnode7-of-another-cluster\n");
    foreign.close();

    const QString refused = run.start({video});
    EXPECT_TRUE(refused.contains("process 4242 on node7-of-another-cluster"))
        << refused.toStdString();
    EXPECT_TRUE(refused.contains("orvane-count --break-lock " + dir.path()))
        << refused.toStdString();

    QString report;
    EXPECT_TRUE(RunLock::breakLock(dir.path(), report));
    EXPECT_TRUE(report.contains("node7-of-another-cluster")) << report.toStdString();
    EXPECT_FALSE(QFileInfo::exists(lockPath));
    EXPECT_FALSE(RunLock::breakLock(dir.path(), report)); // nothing left to remove

    ASSERT_EQ(run.start({video}), QString());
    EXPECT_FALSE(RunLock::breakLock(dir.path(), report)) << "broke the lock of a live run";
    EXPECT_TRUE(QFileInfo::exists(lockPath));
    run.session.run();
    EXPECT_EQ(run.session.outcomes().front().kind, VideoOutcome::Analysed);
}

// Someone who may write into the export folder plants links where the run's files go: each is
// replaced by the run's own file, and the files they point to stay as they were.
TEST_F(RunControllerTest, LinksWhereTheFilesGoAreReplacedNeverWrittenThrough)
{
    QTemporaryDir elsewhere;
    const QByteArray precious = "another user's file\n";
    const char* const suffixes[] = {ExportPath::partialResultSuffix, ExportPath::resultSuffix,
                                    ExportPath::densityImageSuffix, ExportPath::densityTextSuffix};
    QStringList victims;
    for (const char* suffix : suffixes) {
        victims << elsewhere.path() + "/victim" + suffix;
        QFile victim(victims.last());
        ASSERT_TRUE(victim.open(QIODevice::WriteOnly));
        victim.write(precious);
        victim.close();
        ASSERT_TRUE(QFile::link(victims.last(), exported(video, suffix)));
    }
    // One dangling link too: nothing may appear at its target.
    QFile::remove(exported(video, ExportPath::densityTextSuffix));
    ASSERT_TRUE(QFile::link(elsewhere.path() + "/nothing.txt",
                            exported(video, ExportPath::densityTextSuffix)));

    ASSERT_EQ(analyse({video}).front().kind, VideoOutcome::Analysed);

    for (const QString& victim : victims)
        EXPECT_EQ(contents(victim), precious) << victim.toStdString();
    EXPECT_FALSE(QFileInfo::exists(elsewhere.path() + "/nothing.txt"));
    EXPECT_EQ(contents(exported(video, ExportPath::resultSuffix)), header + crossing);
    for (const char* suffix :
         {ExportPath::resultSuffix, ExportPath::densityImageSuffix, ExportPath::densityTextSuffix})
        EXPECT_FALSE(QFileInfo(exported(video, suffix)).isSymLink()) << suffix;
}

// A file cut short (a copy that stopped) has a container promising far more frames than it
// holds: the video is analysed as far as it goes, and the missing part is told.
TEST_F(RunControllerTest, VideoEndingBeforeItsDeclaredFramesIsReported)
{
    source.declaredFrames = 795;
    const QVector<VideoOutcome> outcomes = analyse({video});
    ASSERT_EQ(outcomes.size(), 1);
    EXPECT_EQ(outcomes.front().kind, VideoOutcome::Analysed);
    EXPECT_EQ(outcomes.front().shortEnd(), "ends at frame 129 of 795: 665 frames missing");
    EXPECT_TRUE(outcomes.front().status().contains("ends at frame 129 of 795"));

    source.declaredFrames = 0; // a clean video says nothing of the kind
    EXPECT_EQ(analyse({video}).front().shortEnd(), QString());
}

TEST_F(RunControllerTest, VideosThatWouldShareAResultFileAreBothSkipped)
{
    const QString lower = videoNamed("trap.mp4"), upper = videoNamed("trap.MP4");
    const QVector<VideoOutcome> outcomes = analyse({lower, video, upper});

    ASSERT_EQ(outcomes.size(), 3);
    for (const VideoOutcome& o : {outcomes[0], outcomes[2]}) {
        EXPECT_EQ(o.kind, VideoOutcome::Skipped);
        for (const QString& named : {lower, upper, exported(lower, ExportPath::resultSuffix)})
            EXPECT_TRUE(o.reason.contains(named)) << o.reason.toStdString();
    }
    EXPECT_EQ(outcomes[1].kind, VideoOutcome::Analysed);
    EXPECT_FALSE(QFileInfo::exists(exported(lower, ExportPath::resultSuffix)));
    EXPECT_FALSE(QFileInfo::exists(exported(lower, ExportPath::partialResultSuffix)));
}

// Frames passed over keep their place: the events carry their real frame numbers and times.
TEST_F(RunControllerTest, FramesAfterAnUnreadableStretchKeepTheirPositions)
{
    source.unreadable = {92, 93, 94, 100, 101};
    const QVector<VideoOutcome> outcomes = analyse({video});

    ASSERT_EQ(outcomes.size(), 1);
    EXPECT_EQ(outcomes.front().status(), "analysed (5 frames could not be read)");
    EXPECT_EQ(outcomes.front().frames, 130 - 91 - 5);
    EXPECT_EQ(contents(exported(video, ExportPath::resultSuffix)), header + crossing);
}

// A still image named like a video: frame 90 reads (it is the only frame), nothing after it.
TEST(RunControllerVideo, VideoWithoutAFrameAfterFrame90IsSkippedWithoutFiles)
{
    QTemporaryDir dir;
    const QString regionsVideo = writeClip(dir.path(), "clip.mp4", clipSize, 120, {});
    ASSERT_FALSE(regionsVideo.isEmpty());
    ASSERT_TRUE(saveRegions(regionsVideo, {{160, 20}, {160, 220}}, box(5, 5, 315, 235)));
    const QString still = dir.path() + "/still.mp4";
    std::vector<uchar> jpeg;
    ASSERT_TRUE(cv::imencode(".jpg", cv::Mat(clipSize, CV_8UC3, cv::Scalar(90, 120, 150)), jpeg));
    QFile file(still);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(reinterpret_cast<const char*>(jpeg.data()), static_cast<qint64>(jpeg.size()));
    file.close();
    VideoCaptureReader capture;
    CaptureSource source(capture);
    EngineRun run(source);
    run.regions().load_area(regionsVideo);
    run.regions().load_mask(regionsVideo);

    ASSERT_EQ(run.start({still, regionsVideo}), QString());
    run.session.run();

    const QVector<VideoOutcome>& outcomes = run.session.outcomes();
    ASSERT_EQ(outcomes.size(), 2);
    EXPECT_EQ(outcomes[0].kind, VideoOutcome::Skipped);
    EXPECT_TRUE(outcomes[0].reason.contains("frame 90")) << outcomes[0].reason.toStdString();
    for (const char* suffix : {ExportPath::resultSuffix, ExportPath::partialResultSuffix,
                               ExportPath::densityImageSuffix, ExportPath::densityTextSuffix})
        EXPECT_FALSE(QFileInfo::exists(exported(still, suffix))) << suffix;
    EXPECT_EQ(outcomes[1].kind, VideoOutcome::Analysed);
}

// Runs one real video through the decode-ahead reader; the events it counted.
std::vector<Result> analyseVideo(const QString& video, QVector<VideoOutcome>& outcomes)
{
    FrameReader reader;
    EngineRun run(reader);
    run.regions().load_area(video);
    run.regions().load_mask(video);
    std::vector<Result> events;
    run.session.callbacks.frameAnalysed = [&](const RunProgress&, const FrameSource::Frame&,
                                              const std::vector<Result>& e) {
        events.insert(events.end(), e.begin(), e.end());
    };
    EXPECT_EQ(run.start({video}), QString());
    run.session.run();
    outcomes = run.session.outcomes();
    return events;
}

// A damaged stretch in the middle of a video (its bytes zeroed) is passed over: the frames
// after it are analysed, and an insect crossing after it keeps its real frame number.
TEST(RunControllerVideo, DamagedStretchIsPassedOverAndLaterEventsKeepTheirFrames)
{
    QTemporaryDir clean, damaged;
    videogen::ClipRecipe recipe;
    recipe.size = clipSize;
    recipe.frames = 300;
    recipe.codec = videogen::Codec::MJPEG; // one frame per packet: the damage stays local
    recipe.blobs = {movingAlongRow(64, 120, 5, 200)};
    QStringList videos;
    for (const QTemporaryDir* dir : {&clean, &damaged}) {
        videos << dir->path() + "/video_20150612_1430_01.mp4";
        ASSERT_TRUE(videogen::writeVideo(QFile::encodeName(videos.last()).toStdString(), recipe));
        ASSERT_TRUE(saveRegions(videos.last(), {{160, 20}, {160, 220}}, box(5, 5, 315, 235)));
    }
    QFile file(videos[1]);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    const qint64 size = file.size();
    ASSERT_TRUE(file.seek(size * 45 / 100));
    file.write(QByteArray(static_cast<int>(size / 10), '\0'));
    file.close();

    QVector<VideoOutcome> cleanOutcome, damagedOutcome;
    const std::vector<Result> expected = analyseVideo(videos[0], cleanOutcome);
    const std::vector<Result> events = analyseVideo(videos[1], damagedOutcome);

    ASSERT_EQ(damagedOutcome.size(), 1);
    const VideoOutcome& o = damagedOutcome.front();
    EXPECT_EQ(o.kind, VideoOutcome::Analysed);
    EXPECT_GT(o.unreadableFrames, 10);
    EXPECT_EQ(o.frames + o.unreadableFrames, 300 - 91);
    EXPECT_TRUE(
        o.status().contains(QStringLiteral("%1 frames could not be read").arg(o.unreadableFrames)));
    // The frames torn at the edges of the stretch may add an event of their own.
    ASSERT_EQ(expected.size(), 1u);
    EXPECT_NE(std::find(events.begin(), events.end(), expected.front()), events.end());
}

TEST(ResultWriter, CommitReplacesTheResultFileAndAbandonKeepsThePart)
{
    QTemporaryDir dir;
    const QString video = dir.path() + "/v.mp4";
    ASSERT_TRUE(ExportPath::ensureFolder(video));
    ResultWriter writer;
    Result event;
    event.frame = 1234567;
    event.x = 3;
    event.in = 1;
    event.timestamp = "2015-06-12_14:30:04";

    ASSERT_TRUE(writer.begin(video));
    ASSERT_TRUE(writer.append(event));
    writer.abandon();
    EXPECT_EQ(contents(exported(video, ExportPath::partialResultSuffix)),
              header + "1234567;3;0;1;0;2015-06-12_14:30:04\n");
    EXPECT_FALSE(writer.append(event));
    EXPECT_TRUE(writer.errorText().contains("not open"));

    ASSERT_TRUE(writer.begin(video)); // starts afresh
    ASSERT_TRUE(writer.commit());
    EXPECT_EQ(contents(exported(video, ExportPath::resultSuffix)), header);
    EXPECT_FALSE(QFileInfo::exists(exported(video, ExportPath::partialResultSuffix)));
}

} // namespace

// A strict crossing made in the last frames is settled by the video's end: it is in the file, in
// the outcome's counts and handed to the front ends, like any other.
TEST_F(RunControllerTest, StrictCrossingsSettledAtTheEndReachTheFileAndTheFrontEnds)
{
    run.mode = CountingMode::Strict;
    // Seen first 12 px before the line two frames before the end, across it in the last frame.
    source.recipe.blobs = {movingAlongRow(148, 120, 14, 127)};
    std::vector<Result> shown;
    run.session.callbacks.frameAnalysed = [&](const RunProgress&, const FrameSource::Frame&,
                                              const std::vector<Result>& events) {
        shown.insert(shown.end(), events.begin(), events.end());
    };
    run.session.callbacks.eventsAtEnd = [&](const RunProgress&, const std::vector<Result>& events) {
        shown.insert(shown.end(), events.begin(), events.end());
    };
    const QVector<VideoOutcome> outcomes = analyse({video});
    ASSERT_EQ(outcomes.size(), 1);
    EXPECT_EQ(outcomes[0].in + outcomes[0].out, 1);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(contents(exported(video, ExportPath::resultSuffix)).count(QByteArrayLiteral("\n")),
              2);
}
