#include "messagecapture.h"
#include "mvtdetector.h"
#include "targetpool.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>
#include <random>
#include <vector>

namespace
{

const cv::Size frameSize(200, 150);
const uchar background = 100;

cv::Mat plainFrame(cv::Size size = frameSize)
{
    return cv::Mat(size, CV_8UC1, cv::Scalar(background));
}

// A 3 x 3 change survives the first erosion as one pixel and grows to a 31 x 31 square.
void paintSquare(cv::Mat& frame, cv::Point topLeft, int value)
{
    frame(cv::Rect(topLeft, cv::Size(3, 3))).setTo(cv::Scalar::all(value));
}

// Two squares placed diagonally: their blobs overlap in a step shape, one contour of 8 points.
void paintStep(cv::Mat& frame, cv::Point topLeft, int value = background + 50)
{
    paintSquare(frame, topLeft, value);
    paintSquare(frame, topLeft + cv::Point(10, 10), value);
}

struct Box {
    cv::Rect rect;
    cv::Point centroid;
    bool operator==(const Box& o) const { return rect == o.rect && centroid == o.centroid; }
};

std::ostream& operator<<(std::ostream& os, const Box& b)
{
    return os << b.rect << " @ " << b.centroid;
}

std::vector<Box> boxesOf(const QList<Target*>& targets)
{
    std::vector<Box> out;
    for (const Target* t : targets)
        out.push_back({cv::Rect(t->origin.x, t->origin.y, t->width, t->height), t->centroid});
    return out;
}

// The detections as boxes, their targets handed back to the pool.
std::vector<Box> takeBoxes(const QList<Target*>& found)
{
    std::vector<Box> boxes = boxesOf(found);
    for (Target* t : found)
        TargetPool::instance()->release(t);
    return boxes;
}

// The plain whole-frame algorithm, without any working box or buffer reuse.
std::vector<Box> referenceBoxes(const cv::Mat& previousFrame, const cv::Mat& frame,
                                const cv::Mat& mask)
{
    cv::Mat before = cv::Mat::zeros(frame.size(), CV_8UC1);
    cv::Mat now = cv::Mat::zeros(frame.size(), CV_8UC1);
    if (mask.empty()) {
        previousFrame.copyTo(before);
        frame.copyTo(now);
    } else {
        previousFrame.copyTo(before, mask);
        frame.copyTo(now, mask);
    }
    cv::Mat diff;
    cv::absdiff(before, now, diff);
    cv::threshold(diff, diff, 6, 255, cv::THRESH_BINARY);
    const cv::Point anchor(-1, -1);
    cv::erode(diff, diff, cv::Mat(), anchor, 1, cv::BORDER_REPLICATE, cv::Scalar::all(1));
    cv::dilate(diff, diff, cv::Mat(), anchor, 20, cv::BORDER_REPLICATE, cv::Scalar::all(1));
    cv::erode(diff, diff, cv::Mat(), anchor, 5, cv::BORDER_REPLICATE, cv::Scalar::all(1));
    std::vector<std::vector<cv::Point>> contours;
    cv::findContours(diff, contours, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_SIMPLE);
    std::vector<Box> out;
    for (const auto& contour : contours) {
        if (contour.size() < 5)
            continue;
        std::vector<cv::Point> polygon;
        cv::approxPolyDP(contour, polygon, 3.0, true);
        const cv::Rect r = cv::boundingRect(polygon);
        out.push_back({r, cv::Point(r.x + r.width / 2, r.y + r.height / 2)});
    }
    return out;
}

class MvtDetectorTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TargetPool::destroyInstance();
        TargetPool::instance()->resize(1000);
        MessageCapture::clear();
    }
    void TearDown() override { TargetPool::destroyInstance(); }

    // Runs one frame and hands the detections back to the pool.
    std::vector<Box> run(cv::Mat frame)
    {
        QList<Target*> found;
        detector.detect(frame, found);
        return takeBoxes(found);
    }

    MessageCapture capture;
    MvtDetector detector;
};

} // namespace

TEST_F(MvtDetectorTest, FirstFrameIdenticalFramesAndThinChangesGiveNothing)
{
    cv::Mat frame = plainFrame();
    EXPECT_TRUE(run(frame).empty()); // reference
    EXPECT_TRUE(run(frame).empty());

    cv::Mat pixel = plainFrame();
    pixel.at<uchar>(70, 80) = 255;
    EXPECT_TRUE(run(pixel).empty());

    cv::Mat square = plainFrame();
    paintSquare(square, {90, 60}, 255); // a rectangular blob: only 4 contour points
    EXPECT_TRUE(run(plainFrame()).empty());
    EXPECT_TRUE(run(square).empty());
    EXPECT_TRUE(MessageCapture::warnings().isEmpty());
}

TEST_F(MvtDetectorTest, StepShapedPairGivesOneTargetEnclosingBoth)
{
    run(plainFrame());
    cv::Mat frame = plainFrame();
    paintStep(frame, {50, 40});
    QList<Target*> found;
    Target::resetIdCounter();
    detector.detect(frame, found);
    ASSERT_EQ(found.size(), 1);
    const Target* t = found.first();
    // Surviving pixels (51, 41) and (61, 51), each grown by 15 on every side.
    EXPECT_EQ(t->origin, cv::Point(36, 26));
    EXPECT_EQ(t->width, 41);
    EXPECT_EQ(t->height, 41);
    EXPECT_EQ(t->centroid, cv::Point(56, 46));
    EXPECT_EQ(t->id, 0);
    EXPECT_EQ(t->age, 0);
    EXPECT_EQ(TargetPool::instance()->usedList().size(), 1);
}

class MvtDetectorThreshold : public MvtDetectorTest, public ::testing::WithParamInterface<int>
{
};

TEST_P(MvtDetectorThreshold, OnlyDifferencesAboveSixAreMotion)
{
    const int difference = GetParam();
    run(plainFrame());
    cv::Mat frame = plainFrame();
    paintStep(frame, {50, 40}, background - difference);
    EXPECT_EQ(run(frame).size(), difference > 6 ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(Differences, MvtDetectorThreshold, ::testing::Values(5, 6, 7, 8));

TEST_F(MvtDetectorTest, MotionOutsideTheMaskIsIgnored)
{
    cv::Mat mask = cv::Mat::zeros(frameSize, CV_8UC1);
    mask(cv::Rect(0, 0, 100, 150)).setTo(255);
    detector.setMask(mask);
    run(plainFrame());
    cv::Mat outside = plainFrame();
    outside(cv::Rect(110, 20, 80, 100)).setTo(0);
    EXPECT_TRUE(run(outside).empty());
    cv::Mat inside = plainFrame();
    paintStep(inside, {30, 40});
    EXPECT_EQ(run(inside).size(), 1u);
}

TEST_F(MvtDetectorTest, SetMaskMakesTheNextFrameTheReference)
{
    run(plainFrame());
    detector.setMask(cv::Mat());
    cv::Mat moved = plainFrame();
    paintStep(moved, {50, 40});
    EXPECT_TRUE(run(moved).empty());
    EXPECT_TRUE(run(moved).empty()); // compared with itself now
    EXPECT_EQ(run(plainFrame()).size(), 1u);
}

TEST_F(MvtDetectorTest, NonEmptyTargetListKeepsTheReference)
{
    run(plainFrame());
    cv::Mat moved = plainFrame();
    paintStep(moved, {50, 40});
    Target* placeholder = TargetPool::instance()->acquire();
    QList<Target*> list{placeholder};
    detector.detect(moved, list);
    EXPECT_EQ(list.size(), 2);
    EXPECT_TRUE(run(plainFrame()).empty()); // still against the first frame
}

TEST_F(MvtDetectorTest, FullPoolKeepsTheFirstBlobsAndWarnsOnce)
{
    TargetPool::instance()->resize(2);
    run(plainFrame());
    cv::Mat frame = plainFrame();
    paintStep(frame, {20, 20});
    paintStep(frame, {120, 20});
    paintStep(frame, {20, 100});
    paintStep(frame, {120, 100});
    const std::vector<Box> all = referenceBoxes(plainFrame(), frame, cv::Mat());
    ASSERT_EQ(all.size(), 4u);

    QList<Target*> found;
    detector.detect(frame, found);
    EXPECT_EQ(boxesOf(found), std::vector<Box>(all.begin(), all.begin() + 2));
    EXPECT_EQ(MessageCapture::warnings(), QStringList{"No more target in the pool"});
}

TEST_F(MvtDetectorTest, FrameNotMatchingTheMaskIsRefusedAndChangesNothing)
{
    detector.setMask(cv::Mat(frameSize, CV_8UC1, cv::Scalar(255)));
    run(plainFrame());
    cv::Mat bigger = plainFrame(cv::Size(320, 240));
    EXPECT_TRUE(run(bigger).empty());
    cv::Mat colour(frameSize, CV_8UC3, cv::Scalar::all(background));
    EXPECT_TRUE(run(colour).empty());
    EXPECT_TRUE(run(cv::Mat()).empty());
    EXPECT_EQ(MessageCapture::warnings().size(), 3);

    cv::Mat moved = plainFrame();
    paintStep(moved, {50, 40});
    EXPECT_EQ(run(moved).size(), 1u); // the reference is still the first frame
}

TEST_F(MvtDetectorTest, NewFrameSizeWithoutMaskBecomesTheReference)
{
    run(plainFrame());
    cv::Mat bigger = plainFrame(cv::Size(320, 240));
    EXPECT_TRUE(run(bigger).empty());
    paintStep(bigger, {250, 180});
    EXPECT_EQ(run(bigger).size(), 1u);
    EXPECT_TRUE(MessageCapture::warnings().isEmpty());
}

// The working box must not change a single detection: blobs straddle the box's and the
// image's borders, and the masks reach the image's edges or stay away from them.
enum class Shape { Rect, RectWithHole, Ring };

struct MaskCase {
    const char* name;
    cv::Size size;
    cv::Rect rect; // empty: no mask
    Shape shape;
};

// Any non-zero value selects the pixel; a ring gives two runs on most of its rows.
cv::Mat makeMask(const MaskCase& c)
{
    cv::Mat mask = cv::Mat::zeros(c.size, CV_8UC1);
    if (c.shape == Shape::Ring) {
        const cv::Point centre = (c.rect.tl() + c.rect.br()) / 2;
        const cv::Size axes(c.rect.width / 2, c.rect.height / 2);
        cv::ellipse(mask, centre, axes, 0, 0, 360, cv::Scalar(200), cv::FILLED);
        cv::ellipse(mask, centre, axes / 3, 0, 0, 360, cv::Scalar(0), cv::FILLED);
        return mask;
    }
    mask(c.rect).setTo(200);
    if (c.shape == Shape::RectWithHole) {
        const std::vector<cv::Point> hole{{100, 60}, {140, 70}, {110, 110}};
        cv::fillConvexPoly(mask, hole, cv::Scalar(0));
    }
    return mask;
}

// Scattered specks of 1 to 3 pixels: most vanish in the first erosion, some survive.
void sprinkle(cv::Mat& frame, std::mt19937& random)
{
    std::uniform_int_distribution<int> x(0, frame.cols - 1), y(0, frame.rows - 1), side(1, 3);
    std::uniform_int_distribution<int> count(0, 40), grey(0, 255);
    for (int i = count(random); i > 0; --i) {
        const cv::Rect r = cv::Rect(x(random), y(random), side(random), side(random)) &
                           cv::Rect(cv::Point(), frame.size());
        frame(r).setTo(cv::Scalar(grey(random), grey(random), grey(random)));
    }
}

void PrintTo(const MaskCase& c, std::ostream* os)
{
    *os << c.name;
}

// Each frame goes to one detector in grey and to another in colour.
class MvtDetectorIdentity : public MvtDetectorTest, public ::testing::WithParamInterface<MaskCase>
{
protected:
    std::vector<Box> runColour(const cv::Mat& frame)
    {
        QList<Target*> found;
        colourDetector.detectColour(frame, found);
        return takeBoxes(found);
    }

    MvtDetector colourDetector;
};

TEST_P(MvtDetectorIdentity, MatchesTheWholeFrameAlgorithm)
{
    const cv::Size size = GetParam().size;
    cv::Mat mask;
    if (!GetParam().rect.empty()) {
        mask = makeMask(GetParam());
        detector.setMask(mask);
        colourDetector.setMask(mask);
    }
    std::mt19937 random(static_cast<unsigned>(GetParam().rect.x * 31 + GetParam().rect.y + 7));
    std::uniform_int_distribution<int> x(-20, size.width + 20), y(-20, size.height + 20);
    std::uniform_int_distribution<int> extent(1, 25), grey(0, 255), count(0, 12);

    const cv::Scalar backgroundColour(90, 110, 100);
    cv::Mat previousFrame;
    cv::Mat frame(size, CV_8UC3, backgroundColour);
    cv::cvtColor(frame, previousFrame, cv::COLOR_BGR2GRAY);
    run(previousFrame);
    runColour(frame);
    int compared = 0;
    for (int frameIndex = 0; frameIndex < 60; ++frameIndex) {
        frame.setTo(backgroundColour);
        const int blobs = count(random);
        for (int b = 0; b < blobs; ++b) {
            const cv::Rect r = cv::Rect(x(random), y(random), extent(random), extent(random)) &
                               cv::Rect(cv::Point(), size);
            if (!r.empty())
                frame(r).setTo(cv::Scalar(grey(random), grey(random), grey(random)));
        }
        sprinkle(frame, random);
        // Now and then a change of light over most of the image.
        if (frameIndex % 9 == 4)
            frame(cv::Rect(0, 0, size.width * 4 / 5, size.height)) += cv::Scalar::all(30);
        // Every other frame, motion on the image's corners and near the mask's edges.
        if (frameIndex % 2 == 0) {
            paintStep(frame, {0, 0});
            paintStep(frame, {size.width - 13, size.height - 13});
        }
        // A step of two squares spans 13 pixels.
        const auto onImage = [&](int px, int py) {
            return cv::Point(std::clamp(px, 0, size.width - 13),
                             std::clamp(py, 0, size.height - 13));
        };
        const cv::Rect m = GetParam().rect;
        if (!mask.empty() && frameIndex % 2 == 1) {
            paintStep(frame, onImage(m.x - 20, m.y + 10));
            paintStep(frame, onImage(m.br().x + 5, m.y));
        }
        if (!mask.empty() && frameIndex % 2 == 0) { // inside, on the mask's edges
            paintStep(frame, onImage(m.x, m.y + m.height / 2));
            paintStep(frame, onImage(m.br().x - 13, m.br().y - 13));
        }
        // Pairs of blobs around the distance at which separate clusters are traced apart.
        const int gap = 30 + frameIndex % 40;
        const cv::Point pair(size.width / 3, size.height / 2);
        paintStep(frame, pair + cv::Point(0, frameIndex % 2 ? 0 : 3));
        paintStep(frame, pair + cv::Point(13 + gap, frameIndex % 3));
        cv::Mat grey;
        cv::cvtColor(frame, grey, cv::COLOR_BGR2GRAY);
        const std::vector<Box> expected = referenceBoxes(previousFrame, grey, mask);
        EXPECT_EQ(run(grey), expected) << "frame " << frameIndex;
        EXPECT_EQ(runColour(frame), expected) << "colour frame " << frameIndex;
        compared += static_cast<int>(expected.size());
        previousFrame = grey;
    }
    EXPECT_GT(compared, 30);
    EXPECT_TRUE(MessageCapture::warnings().isEmpty());
}

const cv::Size small(240, 180), large(640, 480);
INSTANTIATE_TEST_SUITE_P(
    Masks, MvtDetectorIdentity,
    ::testing::Values(MaskCase{"noMask", small, {}, Shape::Rect},
                      MaskCase{"interior", small, {60, 40, 110, 90}, Shape::Rect},
                      MaskCase{"interiorWithHole", small, {60, 40, 110, 90}, Shape::RectWithHole},
                      MaskCase{"nearEdges", small, {10, 8, 200, 150}, Shape::Rect},
                      MaskCase{"topLeftCorner", small, {0, 0, 120, 100}, Shape::Rect},
                      MaskCase{"bottomRight", small, {150, 110, 90, 70}, Shape::RectWithHole},
                      MaskCase{"whole", small, {0, 0, 240, 180}, Shape::Rect},
                      MaskCase{"ring", small, {20, 10, 200, 160}, Shape::Ring},
                      MaskCase{"ringOverTheEdges", small, {-40, -30, 320, 240}, Shape::Ring},
                      MaskCase{"largeNoMask", large, {}, Shape::Rect},
                      MaskCase{"largeInterior", large, {90, 70, 420, 330}, Shape::RectWithHole},
                      MaskCase{"largeTopRight", large, {300, 0, 340, 260}, Shape::Rect},
                      MaskCase{"largeRing", large, {50, 30, 540, 420}, Shape::Ring}),
    [](const ::testing::TestParamInfo<MaskCase>& info) { return info.param.name; });

namespace
{
// A dark 8 x 6 insect on the plain background.
cv::Mat insectAt(cv::Point centre)
{
    cv::Mat frame = plainFrame();
    cv::ellipse(frame, centre, cv::Size(4, 3), 0, 0, 360, cv::Scalar(20), cv::FILLED);
    return frame;
}
} // namespace

TEST_F(MvtDetectorTest, AgainstTheBackgroundAnInsectOfOnePixelPerFrameStaysFoundWithoutTrail)
{
    MvtDetector classic;
    detector.setReference(MvtDetector::Reference::Background);
    run(plainFrame());
    cv::Mat first = plainFrame();
    QList<Target*> none;
    classic.detect(first, none);
    int classicFound = 0;
    for (int f = 0; f < 40; ++f) {
        const cv::Point centre(60 + f, 75);
        cv::Mat frame = insectAt(centre);
        QList<Target*> classicTargets;
        classic.detect(frame, classicTargets);
        classicFound += static_cast<int>(takeBoxes(classicTargets).size());
        const std::vector<Box> boxes = run(frame);
        ASSERT_EQ(boxes.size(), 1u) << "frame " << f;
        // The box is the insect widened by the morphology, with no trail behind.
        EXPECT_LE(std::abs(boxes[0].centroid.x - centre.x), 2) << "frame " << f;
        EXPECT_LE(boxes[0].rect.width, 8 + 2 * 16) << "frame " << f;
    }
    // Between neighbouring frames only slivers change, which the erosion removes.
    EXPECT_LT(classicFound, 40);
    // Resting, it is still found.
    for (int f = 0; f < 30; ++f)
        ASSERT_EQ(run(insectAt({100, 75})).size(), 1u) << "resting frame " << f;
}

TEST_F(MvtDetectorTest, AgainstTheBackgroundALightChangeBecomesTheNewBackground)
{
    detector.setReference(MvtDetector::Reference::Background);
    run(plainFrame());
    cv::Mat brighter = plainFrame() + cv::Scalar(30);
    run(brighter); // the change itself
    // Without the reset every pixel would stay changed for hundreds of frames.
    EXPECT_TRUE(run(brighter).empty());
    EXPECT_TRUE(run(brighter).empty());
}

TEST_F(MvtDetectorTest, AgainstTheBackgroundARestingInsectLeavesNoGhostWhenItGoes)
{
    detector.setReference(MvtDetector::Reference::Background);
    detector.setMorphology(BlobMorphology::forBackground());
    run(plainFrame());
    for (int f = 0; f < 60; ++f)
        ASSERT_EQ(run(insectAt({60, 75})).size(), 1u) << "resting frame " << f;
    // Gone from its resting place: nothing of it may stay behind there.
    for (int f = 0; f < 5; ++f) {
        const std::vector<Box> boxes = run(insectAt({150, 75}));
        ASSERT_EQ(boxes.size(), 1u) << "frame " << f;
        EXPECT_EQ(boxes[0].centroid, cv::Point(150, 75));
    }
}

TEST_F(MvtDetectorTest, AgainstTheBackgroundNeighboursStayApartAndBoxesFitTheBody)
{
    detector.setReference(MvtDetector::Reference::Background);
    detector.setMorphology(BlobMorphology::forBackground());
    run(plainFrame());
    cv::Mat two = insectAt({60, 75});
    cv::ellipse(two, cv::Point(74, 75), cv::Size(4, 3), 0, 0, 360, cv::Scalar(20), cv::FILLED);
    std::vector<Box> boxes = run(two);
    ASSERT_EQ(boxes.size(), 2u);
    std::sort(boxes.begin(), boxes.end(),
              [](const Box& a, const Box& b) { return a.centroid.x < b.centroid.x; });
    EXPECT_EQ(boxes[0].centroid, cv::Point(60, 75));
    EXPECT_EQ(boxes[1].centroid, cv::Point(74, 75));
    EXPECT_LE(boxes[0].rect.width, 10);
    // The frame difference's wide dilation joins them into one.
    MvtDetector classic;
    QList<Target*> targets;
    cv::Mat first = plainFrame();
    classic.detect(first, targets);
    classic.detect(two, targets);
    EXPECT_EQ(takeBoxes(targets).size(), 1u);
}
