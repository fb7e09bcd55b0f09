// Reading through FFmpeg directly must give what cv::VideoCapture gives: the same properties,
// frames, positions and unreadable stretches, the same BGR pixels (those converted at first and
// the whole picture) or, for the area converted at first, the very grey cv::cvtColor makes of
// them, and so byte-identical classic result files; or, asked for luma, the decoded luma itself.
#include "analysissession.h"
#include "framereader.h"
#include "framesource.h"
#include "outdoor.h"
#include "testclips.h"
#include "videocapture.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <opencv2/imgproc.hpp>

using namespace testclips;

namespace
{

struct Footage {
    cv::Size size;
    int frames;
    // A trap camera's footage (card, insect shapes, tremble, gusts, clouds, noise, a camera's
    // H.264 at a low bit rate); else plain blobs in the given codec (H.264 with B-frames).
    bool outdoor;
    videogen::Codec codec = videogen::Codec::H264;
};

std::string footageName(const ::testing::TestParamInfo<Footage>& info)
{
    const char* kind = info.param.outdoor                           ? "outdoor"
                       : info.param.codec == videogen::Codec::MJPEG ? "mjpeg"
                                                                    : "bframes";
    return std::string(kind) + std::to_string(info.param.size.width) + "x" +
           std::to_string(info.param.size.height);
}

// The middle band of rows, where the mask lies.
cv::Rect middleBand(cv::Size size)
{
    return cv::Rect(0, size.height / 3 + 1, size.width, size.height / 3);
}

// Insects crossing the middle band of the picture.
QString writeFootage(const QString& dir, const Footage& footage)
{
    videogen::ClipRecipe recipe;
    recipe.size = footage.size;
    recipe.frames = footage.frames;
    recipe.codec = footage.codec;
    recipe.noise = 2;
    // Three insects crossing the middle of the band from both sides while analysed, then more.
    const double speed = footage.size.width / 80.0;
    const cv::Rect band = middleBand(footage.size);
    for (int i = 0; i < 3; ++i) {
        const double y = band.y + band.height * (i + 1) / 4.0;
        const double direction = i % 2 == 0 ? 1 : -1;
        recipe.blobs.push_back(
            movingAlongRow(footage.size.width / 2 - direction * speed * (12 + 4 * i), y,
                           direction * speed, 92 + i));
        recipe.blobs.back().radius = std::max(4, footage.size.width / 160);
    }
    for (videogen::Blob blob : videogen::crossingInsects(footage.size, footage.frames, 4)) {
        blob.firstFrame += 92;
        recipe.blobs.push_back(blob);
    }
    const QString path = dir + "/video_20260601_0930_01.mp4";
    const std::string name = QFile::encodeName(path).toStdString();
    std::string error;
    const bool written =
        footage.outdoor ? videogen::writeOutdoorVideo(
                              name, recipe, videogen::OutdoorOptions::realistic(recipe), &error)
                        : videogen::writeVideo(name, recipe, &error);
    EXPECT_TRUE(written) << error;
    return path;
}

// A copy of `video` with its index at the front, cut short at nine tenths of its bytes: it
// opens, and promises more frames than it holds.
bool writeCutShort(const QString& video, const QString& cut)
{
    const QString whole = cut + ".whole.mp4";
    const int status = QProcess::execute("ffmpeg", {"-v", "error", "-y", "-i", video, "-c", "copy",
                                                    "-movflags", "+faststart", whole});
    const QByteArray bytes = contents(whole);
    QFile file(cut);
    return status == 0 && !bytes.isEmpty() && file.open(QIODevice::WriteOnly) &&
           file.write(bytes.left(bytes.size() * 9 / 10)) == bytes.size() * 9 / 10;
}

void expectSameProperties(const VideoProperties& a, const VideoProperties& b)
{
    EXPECT_EQ(a.opened, b.opened);
    EXPECT_EQ(a.fps, b.fps);
    EXPECT_EQ(a.containerFrames, b.containerFrames);
    EXPECT_EQ(a.frameWidth, b.frameWidth);
    EXPECT_EQ(a.frameHeight, b.frameHeight);
}

bool samePixels(const cv::Mat& a, const cv::Mat& b)
{
    return a.size() == b.size() && a.type() == b.type() && cv::norm(a, b, cv::NORM_INF) == 0;
}

// The band of `direct` as it was converted at first: BGR, or its grey, which must be what
// cvtColor makes of the BGR band of `plain`.
bool sameBand(const FrameSource::Frame& plain, const FrameSource::Frame& direct,
              const cv::Rect& band, int* greyFrames)
{
    if (direct.grey.empty())
        return samePixels(plain.colour(band), direct.colour(band));
    ++*greyFrames;
    cv::Mat grey;
    cv::cvtColor(plain.colour(band), grey, cv::COLOR_BGR2GRAY);
    return direct.greyArea == band && samePixels(grey, direct.grey);
}

// Reads `path` from frame 90 to its end through both readers; the frames compared. Without
// `pixels` only the positions are: what a picture shows where a damaged frame could not be
// decoded is whatever the decoder's buffer held, which depends on the buffers held elsewhere.
// `greyFrames` counts the frames whose band came as grey.
int compareReaders(const QString& path, const cv::Rect& band, bool pixels = true,
                   bool directly = true, int* greyFrames = nullptr)
{
    int greyCount = 0;
    if (!greyFrames)
        greyFrames = &greyCount;
    VideoCaptureReader capture;
    CaptureSource plain(capture);
    FrameReader direct;
    direct.analyseOnly(band);
    cv::Mat plainFirst, directFirst;
    VideoProperties plainProps, directProps;
    const bool plainRead = plain.open(path, 90, plainFirst, plainProps);
    EXPECT_EQ(direct.open(path, 90, directFirst, directProps), plainRead);
    if (plainProps.opened) {
        EXPECT_EQ(direct.readsDirectly(), directly);
    }
    expectSameProperties(plainProps, directProps);
    if (!plainRead)
        return 0;
    EXPECT_TRUE(samePixels(plainFirst, directFirst));
    int compared = 0;
    for (;;) {
        const FrameSource::Frame* a = plain.next();
        const FrameSource::Frame* b = direct.next();
        EXPECT_EQ(a == nullptr, b == nullptr) << "after " << compared << " frames";
        if (!a || !b)
            break;
        EXPECT_EQ(a->index, b->index);
        EXPECT_TRUE(!pixels || sameBand(*a, *b, band, greyFrames)) << "frame " << a->index;
        if (pixels && compared % 5 == 0) {
            EXPECT_TRUE(samePixels(a->colour, b->wholeColour())) << "frame " << a->index;
        }
        ++compared;
    }
    EXPECT_EQ(plain.unreadableFrames(), direct.unreadableFrames());
    return compared;
}

// The counting results of `video` read through `source`: the result file, then the density
// picture and figure.
QByteArray resultsOf(const QString& video, FrameSource& source, CountingMode mode,
                     QByteArray* density)
{
    AnalysisSession session(QStringLiteral("directreading_test"), source);
    session.regions().load_area(video);
    session.regions().load_mask(video);
    cv::VideoCapture probe(QFile::encodeName(video).toStdString());
    const cv::Size size(static_cast<int>(probe.get(cv::CAP_PROP_FRAME_WIDTH)),
                        static_cast<int>(probe.get(cv::CAP_PROP_FRAME_HEIGHT)));
    EXPECT_EQ(session.start({video}, size, mode), QString());
    session.run();
    EXPECT_EQ(session.count(VideoOutcome::Analysed), 1);
    *density = contents(exported(video, ExportPath::densityImageSuffix)) + "\n--\n" +
               contents(exported(video, ExportPath::densityTextSuffix));
    return contents(exported(video, ExportPath::resultSuffix));
}

// Each footage is made once for the tests that read it.
class DirectReading : public ::testing::TestWithParam<Footage>
{
protected:
    void SetUp() override
    {
        static std::map<std::string, std::unique_ptr<QTemporaryDir>> made;
        std::unique_ptr<QTemporaryDir>& folder = made[footageName({GetParam(), 0})];
        const bool fresh = !folder;
        if (fresh)
            folder = std::make_unique<QTemporaryDir>();
        ASSERT_TRUE(folder->isValid());
        dir = folder->path();
        video = dir + "/video_20260601_0930_01.mp4";
        if (!fresh)
            return;
        ASSERT_EQ(writeFootage(dir, GetParam()), video);
        const cv::Rect band = middleBand(GetParam().size);
        const int x = band.width / 2;
        ASSERT_TRUE(saveRegions(video, {{x, band.y + 10}, {x, band.br().y - 10}},
                                box(10, band.y + 5, band.width - 10, band.br().y - 5)));
    }

    QString dir;
    QString video;
};

TEST_P(DirectReading, GivesTheFramesOfVideoCapture)
{
    const cv::Rect band = middleBand(GetParam().size);
    int greyFrames = 0;
    EXPECT_EQ(compareReaders(video, band, true, true, &greyFrames), GetParam().frames - 91);
    // H.264 decodes to 4:2:0, whose grey is made without BGR.
    if (GetParam().codec == videogen::Codec::H264) {
        EXPECT_EQ(greyFrames, GetParam().frames - 91);
    }

    // A copy with a stretch of its bytes zeroed, and one cut short.
    QByteArray zeroed = contents(video);
    zeroed.replace(zeroed.size() * 85 / 100, zeroed.size() / 20,
                   QByteArray(zeroed.size() / 20, '\0'));
    const QString damaged = dir + "/damaged.mp4";
    QFile damagedFile(damaged);
    ASSERT_TRUE(damagedFile.open(QIODevice::WriteOnly));
    ASSERT_EQ(damagedFile.write(zeroed), zeroed.size());
    damagedFile.close();
    // Their frames and positions, not their pixels: a JPEG decoder leaves what it cannot decode as
    // the buffer was, and what H.264's decoder conceals there depends on its threads' timing (on a
    // loaded machine the two readers' pictures of a damaged stretch differed outside the band).
    EXPECT_GT(compareReaders(damaged, band, false), 5);
    const QString cut = dir + "/cut.mp4";
    ASSERT_TRUE(writeCutShort(video, cut));
    EXPECT_GT(compareReaders(cut, band, false), 5);
}

// A picture turned by its container is turned by cv::VideoCapture: such a file is read through it.
TEST(DirectReadingFallback, RotatedVideoIsReadThroughVideoCapture)
{
    QTemporaryDir dir;
    const QString video = writeFootage(dir.path(), Footage{{320, 240}, 120, false});
    const QString rotated = dir.path() + "/rotated.mp4";
    ASSERT_EQ(QProcess::execute("ffmpeg", {"-v", "error", "-y", "-i", video, "-c", "copy",
                                           "-metadata:s:v:0", "rotate=90", rotated}),
              0);
    EXPECT_EQ(compareReaders(rotated, cv::Rect(0, 100, 240, 60), true, false), 120 - 91);
    EXPECT_EQ(analysedFrameSize(rotated, 90), cv::Size(240, 320));
}

// The size a run's frames have, read from the stream's header, is that of the frames decoded; a
// file that is no video has none.
TEST_P(DirectReading, AnalysedFrameSizeIsThatOfTheFramesDecoded)
{
    cv::VideoCapture capture;
    cv::Mat frame;
    ASSERT_TRUE(openVideoAt(capture, video, 90, frame));
    EXPECT_EQ(analysedFrameSize(video, 90), frame.size());
    const QString garbage = dir + "/garbage.mp4";
    QFile file(garbage);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(QByteArray(4096, 'x')), 4096);
    file.close();
    EXPECT_TRUE(analysedFrameSize(garbage, 90).empty());
}

TEST_P(DirectReading, ClassicResultsAreByteIdenticalToVideoCapture)
{
    VideoCaptureReader capture;
    CaptureSource plain(capture);
    QByteArray expectedDensity, density;
    const QByteArray expected = resultsOf(video, plain, CountingMode::Classic, &expectedDensity);
    FrameReader direct;
    EXPECT_EQ(resultsOf(video, direct, CountingMode::Classic, &density), expected);
    EXPECT_EQ(density, expectedDensity);
    EXPECT_TRUE(direct.readsDirectly());
    EXPECT_GE(expected.count('\n'), 4) << expected.toStdString(); // not vacuous: events
}

// Strict counting reads the band as the decoder gave its luma, which FFmpeg's own tool extracts.
TEST_P(DirectReading, LumaAskedForIsTheDecodedLumaOfTheBand)
{
    const cv::Rect band = middleBand(GetParam().size);
    const QString raw = dir + "/luma.raw";
    const QString planeOfBand = QStringLiteral("extractplanes=y,crop=%1:%2:%3:%4")
                                    .arg(band.width)
                                    .arg(band.height)
                                    .arg(band.x)
                                    .arg(band.y);
    ASSERT_EQ(QProcess::execute("ffmpeg", {"-v", "error", "-y", "-i", video, "-vf", planeOfBand,
                                           "-f", "rawvideo", "-pix_fmt", "gray", raw}),
              0);
    const QByteArray planes = contents(raw);
    FrameReader reader;
    reader.analyseOnly(band, FrameSource::Brightness::Luma);
    cv::Mat first;
    VideoProperties props;
    ASSERT_TRUE(reader.open(video, 90, first, props));
    int compared = 0;
    while (const FrameSource::Frame* frame = reader.next()) {
        // Showing the frame, as the window does, keeps its luma valid.
        EXPECT_EQ(frame->wholeColour().size(), GetParam().size);
        const qsizetype offset = static_cast<qsizetype>(frame->index) * band.area();
        ASSERT_LE(offset + band.area(), planes.size());
        const cv::Mat expected(band.size(), CV_8UC1,
                               const_cast<char*>(planes.constData()) + offset);
        ASSERT_EQ(frame->greyArea, band);
        EXPECT_TRUE(samePixels(frame->grey, expected)) << frame->index;
        ++compared;
    }
    EXPECT_EQ(compared, GetParam().frames - 91);
}

INSTANTIATE_TEST_SUITE_P(TwoSizes, DirectReading,
                         ::testing::Values(Footage{{1920, 1080}, 130, true},
                                           Footage{{330, 246}, 260, true},
                                           Footage{{640, 480}, 200, false},
                                           Footage{{320, 240}, 200, false, videogen::Codec::MJPEG}),
                         footageName);

} // namespace
