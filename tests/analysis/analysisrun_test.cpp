#include "analysissession.h"
#include "areacontour.h"
#include "csvfile.h"
#include "testclips.h"
#include "videocapture.h"
#include "videofiles.h"
#include "videoinput.h"
#include "videostart.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace testclips;

namespace
{

const cv::Size clipSize{320, 240};
// The blob's centre passes x = 160 between frames 114 and 115; the event of frame 115 carries
// the number of the frame before it.
const double expectedLineFrame = 114;

struct Analysed {
    std::vector<Result> events;
    QStringList refused;
    QVector<VideoOutcome> outcomes;
};

// A run over whole videos with the regions of `regionsVideo`, at the frame size of its frame 90.
class DrivenRun
{
public:
    DrivenRun()
    {
        session.callbacks.frameAnalysed = [this](const RunProgress&, const FrameSource::Frame&,
                                                 const std::vector<Result>& frameEvents) {
            events.insert(events.end(), frameEvents.begin(), frameEvents.end());
        };
    }

    bool start(const QString& regionsVideo)
    {
        cv::VideoCapture regionsCapture;
        cv::Mat frame;
        AreaContour& regions = session.regions();
        if (!regions.load_area(regionsVideo) || !regions.load_mask(regionsVideo) ||
            !openVideoAt(regionsCapture, regionsVideo, VideoFiles::firstAnalysedFrame, frame))
            return false;
        frameSize = frame.size();
        return true;
    }

    Analysed analyse(const QStringList& videos)
    {
        events.clear();
        Analysed out;
        EXPECT_EQ(session.start(videos, frameSize, CountingMode::Classic), QString());
        session.run();
        out.events = events;
        out.outcomes = session.outcomes();
        for (const VideoOutcome& o : out.outcomes) {
            if (o.kind != VideoOutcome::Analysed)
                out.refused.append(o.path);
        }
        return out;
    }

    VideoCaptureReader capture;
    CaptureSource source{capture};
    AnalysisSession session{QStringLiteral("analysis_test"), source};
    cv::Size frameSize;
    std::vector<Result> events;
};

class AnalysisRunTest : public ::testing::Test
{
protected:
    QString clip(const QString& name, int frames, const std::vector<videogen::Blob>& blobs,
                 cv::Size size = clipSize)
    {
        const QString path = writeClip(dir.path(), name, size, frames, blobs);
        EXPECT_FALSE(path.isEmpty()) << "cannot write " << name.toStdString();
        return path;
    }

    QTemporaryDir dir;
};

TEST_F(AnalysisRunTest, BlobCrossingCountingLineGivesOneEventWithInAndOut)
{
    const QString video = clip("video_20150612_1430_01.mp4", 150, {movingAlongRow(64, 120, 5, 95)});
    ASSERT_TRUE(saveRegions(video, {{160, 20}, {160, 220}}, box(5, 5, 315, 235)));
    DrivenRun run;
    ASSERT_TRUE(run.start(video));
    const Analysed a = run.analyse({video});

    ASSERT_EQ(a.events.size(), 1u);
    const Result& e = a.events.front();
    EXPECT_EQ(e.in, 1);
    EXPECT_EQ(e.out, 1);
    EXPECT_EQ(e.frame, expectedLineFrame);
    EXPECT_EQ(e.timestamp, "2015-06-12_14:30:04"); // 25 frames per second
    // The same event is the one line after the header in the result file.
    const QByteArray csv = contents(exported(video, ExportPath::resultSuffix));
    EXPECT_EQ(csv, QByteArray("Frame;X;Y;In;Out;Timestamp\n") +
                       QString("%1;%2;%3;1;1;2015-06-12_14:30:04\n")
                           .arg(e.frame)
                           .arg(e.x)
                           .arg(e.y)
                           .toLatin1());
}

TEST_F(AnalysisRunTest, BlobsEnteringAndLeavingCountingAreaGiveInAndOut)
{
    // One insect walks into the box and stays there; another appears inside it and walks out.
    const QString video =
        clip("video_20150612_1430_02.mp4", 170,
             {movingAlongRow(30, 120, 4, 95, 135), {{160, 120}, {0, 4}, 12, 140, INT_MAX, 25}});
    ASSERT_TRUE(saveRegions(video, box(120, 80, 200, 160), box(5, 5, 315, 235)));
    DrivenRun run;
    ASSERT_TRUE(run.start(video));
    const Analysed a = run.analyse({video});

    int in = 0, out = 0;
    for (const Result& r : a.events) {
        in += r.in;
        out += r.out;
    }
    EXPECT_EQ(in, 1);
    EXPECT_EQ(out, 1);
}

TEST_F(AnalysisRunTest, VideoWithoutMovementHasZeroDensity)
{
    const QString video = clip("video_20150612_1430_03.mp4", 120, {});
    ASSERT_TRUE(saveRegions(video, box(120, 80, 200, 160), box(5, 5, 315, 235)));
    DrivenRun run;
    ASSERT_TRUE(run.start(video));
    const Analysed a = run.analyse({video});

    EXPECT_TRUE(a.events.empty());
    EXPECT_EQ(a.outcomes.front().density, "0.0000");
    EXPECT_EQ(contents(exported(video, ExportPath::densityTextSuffix)), "Density: 0.0000");
    EXPECT_TRUE(QFileInfo::exists(exported(video, ExportPath::densityImageSuffix)));
    EXPECT_EQ(contents(exported(video, ExportPath::resultSuffix)), "Frame;X;Y;In;Out;Timestamp\n");
}

TEST_F(AnalysisRunTest, VideoOfAnotherSizeIsRefusedWithoutWritingAnything)
{
    const QString regionsVideo = clip("video_20150612_1430_04.mp4", 100, {});
    const QString other = clip("video_20150612_1430_05.mp4", 100, {}, {160, 120});
    ASSERT_TRUE(saveRegions(regionsVideo, box(120, 80, 200, 160), box(5, 5, 315, 235)));
    DrivenRun run;
    ASSERT_TRUE(run.start(regionsVideo));
    const Analysed a = run.analyse({other});

    EXPECT_EQ(a.refused, QStringList{other});
    EXPECT_EQ(a.outcomes.front().status(),
              "skipped: frame size 160x120 differs from the regions' 320x240");
    EXPECT_TRUE(run.analyse({regionsVideo}).refused.isEmpty());
    for (const char* suffix :
         {ExportPath::resultSuffix, ExportPath::densityImageSuffix, ExportPath::densityTextSuffix})
        EXPECT_FALSE(QFileInfo::exists(exported(other, suffix))) << suffix;
    EXPECT_TRUE(QFileInfo::exists(exported(regionsVideo, ExportPath::resultSuffix)));
}

TEST_F(AnalysisRunTest, EarlierResultThatCannotBeReplacedFailsTheVideo)
{
    const QString video = clip("video_20150612_1430_06.mp4", 100, {});
    ASSERT_TRUE(saveRegions(video, box(120, 80, 200, 160), box(5, 5, 315, 235)));
    // A directory in place of the result file cannot be removed as a file.
    ASSERT_TRUE(QDir().mkpath(exported(video, ExportPath::resultSuffix) + "/keep"));
    DrivenRun run;
    ASSERT_TRUE(run.start(video));
    const Analysed a = run.analyse({video});

    EXPECT_EQ(a.refused, QStringList{video});
    EXPECT_EQ(a.outcomes.front().kind, VideoOutcome::Failed);
    EXPECT_TRUE(QFileInfo::exists(exported(video, ExportPath::resultSuffix) + "/keep"));
    EXPECT_FALSE(QFileInfo::exists(exported(video, ExportPath::densityTextSuffix)));
}

TEST(AnalysisRunStart, RefusesEveryFrameBeforeTheRunStarts)
{
    AnalysisSession session(QStringLiteral("analysis_test"));
    AnalysisRun& run = session.analysis();
    const cv::Mat frame(240, 320, CV_8UC3, cv::Scalar::all(128));
    EXPECT_FALSE(run.accepts(frame));
    EXPECT_EQ(run.frameProblem(frame), "the run has not been started");
    run.start(frame.size());
    EXPECT_TRUE(run.accepts(frame));
    EXPECT_FALSE(run.accepts(cv::Mat(240, 320, CV_8UC1, cv::Scalar(0))));
}

struct SelectionCase {
    AnalysisSession::Selection selection;
    std::vector<bool> done;
    QString current;
    QStringList expected;
};

class SelectQueue : public ::testing::TestWithParam<SelectionCase>
{
};

TEST_P(SelectQueue, TakesTheVideosOfTheSelection)
{
    const SelectionCase& c = GetParam();
    QVector<ListedVideo> videos;
    for (std::size_t i = 0; i < c.done.size(); ++i) {
        const QString name = QString(QChar('a' + static_cast<int>(i)));
        videos.append({"/v/" + name + ".mp4", name, true, c.done[i]});
    }
    EXPECT_EQ(AnalysisSession::select(c.selection, videos, c.current), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Selections, SelectQueue,
    ::testing::Values(SelectionCase{AnalysisSession::OnlyUnprocessed,
                                    {false, true, false},
                                    "/v/b.mp4",
                                    {"/v/a.mp4", "/v/c.mp4"}},
                      SelectionCase{AnalysisSession::OnlyUnprocessed, {false}, "", {"/v/a.mp4"}},
                      SelectionCase{AnalysisSession::OnlyUnprocessed, {true, true, true}, "", {}},
                      SelectionCase{
                          AnalysisSession::OnlyOne, {true, true}, "/v/b.mp4", {"/v/b.mp4"}},
                      SelectionCase{AnalysisSession::OnlyOne, {false, false}, "", {}},
                      SelectionCase{AnalysisSession::All,
                                    {true, false, true},
                                    "/v/b.mp4",
                                    {"/v/a.mp4", "/v/b.mp4", "/v/c.mp4"}}));

struct StartTimeCase {
    const char* path;
    QDateTime expected;
};

class StartTime : public ::testing::TestWithParam<StartTimeCase>
{
};

TEST_P(StartTime, ReadsTheRecordingStartFromTheName)
{
    EXPECT_EQ(startTimeFromFileName(GetParam().path), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Names, StartTime,
    ::testing::Values(
        StartTimeCase{"/rec/video_20150612_1430_01.mp4",
                      QDateTime(QDate(2015, 6, 12), QTime(14, 30))},
#ifdef Q_OS_WIN
        StartTimeCase{"C:\\rec\\video_20150612_1430_01.mp4",
                      QDateTime(QDate(2015, 6, 12), QTime(14, 30))},
#endif
        // Text around the marker stays and spoils the date.
        StartTimeCase{"/rec/trap_video_20160101_0005_99.mp4", QDateTime()},
        StartTimeCase{"/rec/video_2015_bad_01.mp4", QDateTime()},
        // "video_" in a folder name still switches the rule on, and the base name has no date.
        StartTimeCase{"/video_rec/clip0001.mp4", QDateTime()}));

TEST(StartTimeNow, NameWithoutVideoMarkerGivesTheCurrentTime)
{
    const QDateTime before = QDateTime::currentDateTime();
    const QDateTime t = startTimeFromFileName("/rec/Video_20150612_1430_01.mp4");
    EXPECT_GE(t, before);
    EXPECT_LE(t, QDateTime::currentDateTime());
}

} // namespace
