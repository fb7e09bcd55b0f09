// The transport's rules on a generated video: the start frame, the usable end, steps, jumps,
// seeks, events of the result table, and what a failed open leaves.
#include "playback.h"
#include "videofiles.h"
#include "videogen.h"

#include <QFile>
#include <QTemporaryDir>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <memory>
#include <opencv2/videoio.hpp>

namespace
{
// 130 frames at 25 fps: the usable count is 125.
constexpr int clipFrames = 130;

class PlaybackTest : public testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        dir = std::make_unique<QTemporaryDir>();
        clip = dir->filePath(QStringLiteral("clip.mp4"));
        videogen::ClipRecipe recipe;
        recipe.size = {160, 120};
        recipe.frames = clipFrames;
        recipe.fps = 25;
        recipe.blobs = {{{10, 60}, {1, 0}, 8}};
        ASSERT_TRUE(videogen::writeVideo(QFile::encodeName(clip).toStdString(), recipe));
        // Every frame decoded in order, to tell which one the playback holds.
        cv::VideoCapture capture(QFile::encodeName(clip).toStdString());
        cv::Mat frame;
        while (capture.read(frame))
            frames.push_back(frame.clone());
        ASSERT_EQ(int(frames.size()), clipFrames);
    }
    static void TearDownTestSuite()
    {
        frames.clear();
        dir.reset();
    }

    // The playback holds frame `index` and reports it as its position.
    static void expectAt(const Playback& playback, int index)
    {
        EXPECT_EQ(playback.position(), index);
        ASSERT_FALSE(playback.frame().empty());
        EXPECT_EQ(cv::norm(playback.frame(), frames.at(index), cv::NORM_INF), 0.0)
            << "frame " << index;
    }

    // Opened, then at `index` by seeking as the slider does.
    static void openAt(Playback& playback, int index)
    {
        ASSERT_TRUE(playback.open(clip));
        playback.seek(index);
        playback.tick();
    }

    static std::unique_ptr<QTemporaryDir> dir;
    static QString clip;
    static std::vector<cv::Mat> frames;
};

std::unique_ptr<QTemporaryDir> PlaybackTest::dir;
QString PlaybackTest::clip;
std::vector<cv::Mat> PlaybackTest::frames;
} // namespace

TEST_F(PlaybackTest, OpensAtTheStartFrameWithTheUsableCount)
{
    Playback playback;
    ASSERT_TRUE(playback.open(clip));
    EXPECT_TRUE(playback.isOpen());
    expectAt(playback, VideoFiles::firstAnalysedFrame);
    EXPECT_EQ(playback.properties().frameWidth, 160);
    EXPECT_EQ(playback.properties().frameHeight, 120);
    EXPECT_EQ(playback.usableFrames(), clipFrames - 5);
    EXPECT_EQ(playback.interval(), 20); // half of 40 ms
    EXPECT_EQ(playback.mode(), Playback::Pause);
}

// Each row: the position before, the move, and the position after; a move that cannot be made
// leaves the position and pauses all the same.
struct MoveCase {
    int start;
    Playback::Mode move;
    int expected;
};

class PlaybackMoves : public PlaybackTest, public testing::WithParamInterface<MoveCase>
{
};

TEST_P(PlaybackMoves, EndsPausedAtTheExpectedFrame)
{
    const MoveCase c = GetParam();
    Playback playback;
    openAt(playback, c.start);
    expectAt(playback, c.start);
    playback.togglePlay(); // a move while playing still ends paused
    playback.request(c.move);
    EXPECT_TRUE(playback.tick());
    EXPECT_EQ(playback.mode(), Playback::Pause);
    expectAt(playback, c.expected);
}

INSTANTIATE_TEST_SUITE_P(Boundaries, PlaybackMoves,
                         testing::Values(MoveCase{100, Playback::FastForward, 110},
                                         MoveCase{115, Playback::FastForward, 115},
                                         MoveCase{114, Playback::FastForward, 124},
                                         MoveCase{123, Playback::StepForward, 124},
                                         MoveCase{30, Playback::FastBackward, 20},
                                         MoveCase{10, Playback::FastBackward, 0},
                                         MoveCase{9, Playback::FastBackward, 9},
                                         MoveCase{1, Playback::StepBackward, 0},
                                         MoveCase{0, Playback::StepBackward, 0}));

TEST_F(PlaybackTest, StepForwardStopsAtTheUsableEnd)
{
    Playback playback;
    openAt(playback, 123);
    for (int i = 0; i < 4; ++i) {
        playback.request(Playback::StepForward);
        playback.tick();
    }
    expectAt(playback, 125);
}

TEST_F(PlaybackTest, PlayingStopsAtTheUsableEndAndStaysPlaying)
{
    Playback playback;
    openAt(playback, 122);
    playback.togglePlay();
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(playback.tick());
    expectAt(playback, 125);
    EXPECT_FALSE(playback.tick()); // nothing new to show
    EXPECT_EQ(playback.mode(), Playback::Play);
    expectAt(playback, 125);
    playback.togglePlay();
    EXPECT_EQ(playback.mode(), Playback::Pause);
}

// The slider's value is kept even where no frame is sought, so the label shows it while the
// picture keeps the previous frame.
TEST_F(PlaybackTest, SeekOutsideTheSoughtRangeKeepsTheFrame)
{
    Playback playback;
    openAt(playback, 100);
    for (double outside : {124.0, 200.0, -1.0}) {
        playback.seek(outside);
        playback.tick();
        EXPECT_EQ(playback.position(), outside);
        EXPECT_EQ(cv::norm(playback.frame(), frames.at(100), cv::NORM_INF), 0.0);
        EXPECT_EQ(playback.mode(), Playback::Pause);
    }
}

TEST_F(PlaybackTest, AnEventShowsItsFrameOnTheNextTick)
{
    Playback playback;
    ASSERT_TRUE(playback.open(clip));
    ASSERT_TRUE(playback.showFrameAt(117));
    EXPECT_EQ(playback.mode(), Playback::ShowOne);
    playback.tick();
    EXPECT_EQ(playback.mode(), Playback::Pause);
    expectAt(playback, 117);
}

TEST_F(PlaybackTest, EventFramesNoFrameCanHaveAreRefused)
{
    Playback playback;
    ASSERT_TRUE(playback.open(clip));
    for (double bad : {-3.0, 1e12, std::numeric_limits<double>::infinity(),
                       std::numeric_limits<double>::quiet_NaN()}) {
        EXPECT_FALSE(playback.showFrameAt(bad)) << bad;
        EXPECT_EQ(playback.mode(), Playback::Pause);
        expectAt(playback, VideoFiles::firstAnalysedFrame);
    }
}

// An analysis reads on from the start frame; the position follows only when told.
TEST_F(PlaybackTest, ReadNextKeepsTheFrameAndAdvanceMovesOn)
{
    Playback playback;
    ASSERT_TRUE(playback.open(clip));
    cv::Mat frame;
    ASSERT_TRUE(playback.readNext(frame));
    EXPECT_EQ(playback.position(), VideoFiles::firstAnalysedFrame);
    EXPECT_EQ(cv::norm(frame, frames.at(91), cv::NORM_INF), 0.0);
    EXPECT_EQ(cv::norm(playback.frame(), frames.at(91), cv::NORM_INF), 0.0);
    playback.advance();
    expectAt(playback, 91);
    int read = 0;
    while (playback.readNext(frame))
        ++read;
    EXPECT_EQ(read, clipFrames - 92); // the analysis reads past the usable end
}

TEST_F(PlaybackTest, AFileThatDoesNotOpenKeepsThePreviousVideo)
{
    Playback playback;
    openAt(playback, 100);
    EXPECT_FALSE(playback.open(dir->filePath(QStringLiteral("missing.mp4"))));
    EXPECT_FALSE(playback.isOpen());
    EXPECT_EQ(playback.properties().frameWidth, 160);
    expectAt(playback, 100);
}

TEST_F(PlaybackTest, NoUsableFrameRateGivesTheDefaultInterval)
{
    Playback playback;
    EXPECT_FALSE(playback.isOpen());
    EXPECT_EQ(playback.interval(), 40);
    EXPECT_FALSE(playback.tick()); // paused: nothing new to show
    playback.request(Playback::StepForward);
    playback.tick();
    EXPECT_EQ(playback.position(), 0);
    EXPECT_TRUE(playback.frame().empty());
}
