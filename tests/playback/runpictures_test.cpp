// The window's run: a session on a thread of its own with its pictures prepared there. What it
// writes and what it hands over must not depend on how often the display is refreshed, and a
// stop ends the video as interrupted.
#include "analysissession.h"
#include "resultlist.h"
#include "runpictures.h"
#include "testclips.h"

#include <QFileInfo>
#include <QMap>
#include <QTemporaryDir>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

using namespace testclips;

namespace
{
const cv::Size clipSize{320, 240};
const cv::Size densityArea{100, 80};
const char* const outputSuffixes[] = {ExportPath::resultSuffix, ExportPath::densityImageSuffix,
                                      ExportPath::densityTextSuffix};

// A session with the regions of `regionsVideo`, as the window builds it.
struct Engine {
    explicit Engine(const QString& regionsVideo) : session(QStringLiteral("playback_test"))
    {
        session.regions().load_area(regionsVideo);
        session.regions().load_mask(regionsVideo);
    }
    QString start(const QStringList& queue)
    {
        return session.start(queue, clipSize, CountingMode::Classic);
    }

    AnalysisSession session;
};

// What the window keeps of a run: its result list, the outcomes and how many pictures it got.
struct Shown {
    ResultList list;
    QVector<VideoOutcome> outcomes;
    int pictures = 0;
    int startedVideos = 0;
};

void apply(const RunPictures::Update& picture, const AnalysisSession::Update& update, Shown& shown,
           bool withDensity = true)
{
    for (const AnalysisSession::Note& note : update.notes) {
        if (note.kind == AnalysisSession::Note::VideoStarted) {
            shown.list.clear();
            ++shown.startedVideos;
        } else if (note.kind == AnalysisSession::Note::FrameEvents) {
            shown.list.addFrameEvents(note.events);
        } else {
            shown.outcomes << note.outcome;
        }
    }
    if (!picture.newPicture)
        return;
    ++shown.pictures;
    // Rendered as the view shows a 320 x 240 video, and the map shrunk by 4 to fit its area.
    EXPECT_EQ(picture.picture.size(), cv::Size(640, 480));
    EXPECT_EQ(picture.density.empty(), !withDensity);
    if (withDensity) {
        EXPECT_EQ(picture.density.size(), cv::Size(80, 60));
        EXPECT_EQ(picture.density.type(), CV_8UC4);
        EXPECT_EQ(picture.densityFrame, clipSize);
    }
}

// Polls as the window's refresh does until the run has finished: the picture, then the notes.
Shown follow(AnalysisSession& session, RunPictures& pictures)
{
    Shown shown;
    RunPictures::Update picture;
    AnalysisSession::Update update;
    do {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        pictures.take(picture);
        session.take(update);
        apply(picture, update, shown);
    } while (!update.finished);
    session.wait();
    pictures.take(picture);
    session.take(update);
    apply(picture, update, shown);
    return shown;
}

class RunPicturesTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        const std::vector<std::vector<videogen::Blob>> insects = {
            {movingAlongRow(64, 120, 5, 95), movingAlongRow(256, 60, -5, 97)},
            {movingAlongRow(40, 190, 4, 100), movingAlongRow(70, 100, 6, 96)}};
        for (size_t i = 0; i < insects.size(); ++i) {
            const QString name = QStringLiteral("video_20150612_14%1_01.mp4").arg(i * 10 + 10);
            videos << writeClip(dir.path(), name, clipSize, 160, insects[i]);
            ASSERT_FALSE(videos.last().isEmpty());
        }
        ASSERT_TRUE(saveRegions(videos.first(), {{160, 20}, {160, 220}}, box(5, 5, 315, 235)));
    }

    QMap<QString, QByteArray> outputs() const
    {
        QMap<QString, QByteArray> files;
        for (const QString& video : videos) {
            for (const char* suffix : outputSuffixes)
                files[exported(video, suffix)] = contents(exported(video, suffix));
        }
        return files;
    }

    void removeOutputs() const
    {
        for (const QString& video : videos) {
            for (const char* suffix : outputSuffixes)
                QFile::remove(exported(video, suffix));
        }
    }

    QTemporaryDir dir;
    QStringList videos;
};
} // namespace

// The same files and the same result list whether every frame is shown or only the first one,
// and the same files as the run stepped in place.
TEST_F(RunPicturesTest, FilesAndEventsDoNotDependOnTheRefreshInterval)
{
    {
        Engine engine(videos.first());
        ASSERT_EQ(engine.start(videos), QString());
        engine.session.run();
    }
    const QMap<QString, QByteArray> inPlace = outputs();
    ASSERT_NE(inPlace.value(exported(videos.last(), ExportPath::resultSuffix)).count('\n'), 1)
        << "the clips must produce events";

    QVector<Shown> runs;
    for (DisplayPacing::Clock::duration interval :
         {DisplayPacing::Clock::duration::zero(),
          std::chrono::duration_cast<DisplayPacing::Clock::duration>(std::chrono::hours(1))}) {
        removeOutputs();
        Engine engine(videos.first());
        RunPictures pictures(engine.session);
        pictures.setRefreshInterval(interval);
        RunPictures::View view;
        view.density = true;
        view.densityArea = densityArea;
        pictures.setView(view);
        ASSERT_EQ(engine.start(videos), QString());
        pictures.start();
        runs << follow(engine.session, pictures);
        EXPECT_EQ(outputs(), inPlace);
    }
    EXPECT_EQ(runs[0].list.all(), runs[1].list.all());
    EXPECT_GT(runs[0].list.size(), 0);
    for (const Shown& shown : runs) {
        EXPECT_EQ(shown.startedVideos, 2);
        ASSERT_EQ(shown.outcomes.size(), 2);
        for (const VideoOutcome& outcome : shown.outcomes)
            EXPECT_EQ(outcome.kind, VideoOutcome::Analysed) << qPrintable(outcome.reason);
        EXPECT_GE(shown.pictures, 1);
    }
}

TEST_F(RunPicturesTest, StopEndsTheVideoAsInterrupted)
{
    const QString longer = writeClip(dir.path(), QStringLiteral("long.mp4"), clipSize, 600,
                                     {movingAlongRow(64, 120, 1, 95)});
    ASSERT_FALSE(longer.isEmpty());
    ASSERT_TRUE(saveRegions(longer, {{160, 20}, {160, 220}}, box(5, 5, 315, 235)));
    Engine engine(longer);
    RunPictures pictures(engine.session);
    ASSERT_EQ(engine.start({longer}), QString());
    pictures.start();
    AnalysisSession::Update update;
    do {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        engine.session.take(update);
    } while (update.progress.frame < 100 && !update.finished);
    pictures.stop();
    EXPECT_FALSE(engine.session.isActive());

    Shown shown;
    RunPictures::Update picture;
    pictures.take(picture);
    engine.session.take(update);
    apply(picture, update, shown, false);
    ASSERT_EQ(engine.session.outcomes().size(), 1);
    const VideoOutcome& outcome = engine.session.outcomes().first();
    EXPECT_EQ(outcome.kind, VideoOutcome::Interrupted);
    EXPECT_LT(outcome.frames, 400);
    EXPECT_FALSE(QFileInfo::exists(exported(longer, ExportPath::resultSuffix)));
    EXPECT_TRUE(QFileInfo::exists(exported(longer, ExportPath::resultSuffix) + ".part"));
}
