// Detection against the learnt background on outdoor-like frames made here: a textured sticky
// card with a printed grid whose fine detail flickers as under strong compression, sensor
// noise, a camera that jitters and is shaken by gusts, passing soft shadows.
#include "mvtdetector.h"
#include "targetpool.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>
#include <random>
#include <vector>

namespace
{

const cv::Size frameSize(160, 120);
constexpr int margin = 8; // the card is this much larger on each side, for the camera's shifts

// A card of glue with a printed grid, dirt and bubbles, slightly out of focus.
cv::Mat makeCard()
{
    cv::Mat card(frameSize.height + 2 * margin, frameSize.width + 2 * margin, CV_8UC1,
                 cv::Scalar(175));
    for (int x = 3; x < card.cols; x += 16)
        cv::line(card, {x, 0}, {x, card.rows - 1}, cv::Scalar(70), 1);
    for (int y = 5; y < card.rows; y += 16)
        cv::line(card, {0, y}, {card.cols - 1, y}, cv::Scalar(70), 1);
    std::mt19937 random(11);
    std::uniform_int_distribution<int> x(0, card.cols - 1), y(0, card.rows - 1), radius(1, 3),
        grey(90, 235);
    for (int i = 0; i < 80; ++i)
        cv::circle(card, {x(random), y(random)}, radius(random), cv::Scalar(grey(random)),
                   cv::FILLED);
    cv::GaussianBlur(card, card, cv::Size(0, 0), 0.7);
    return card;
}

// Another card, of sand about as bright as the first: grains of many grey levels.
cv::Mat makeSandCard()
{
    cv::Mat card(frameSize.height + 2 * margin, frameSize.width + 2 * margin, CV_8UC1);
    cv::RNG(5).fill(card, cv::RNG::UNIFORM, 95, 255);
    cv::GaussianBlur(card, card, cv::Size(0, 0), 0.5);
    return card;
}

struct Shadow {
    cv::Point2d centre;
    double depth = 0; // share of the light taken away at its centre
    double radius = 30;
    // 0: a Gaussian of `radius`; otherwise a disc of `radius` whose edge fades over this many
    // pixels, as a cloud's.
    double edge = 0;
};

struct Insect {
    cv::Point2d centre;
    bool present = false;
};

// What the camera sees when shifted by `shift` pixels: the card's fine detail flickering block
// by block, a soft shadow, an insect, sensor noise.
class Scene
{
public:
    explicit Scene(cv::Mat seen = makeCard()) : card(std::move(seen)) {}

    // `sharpen` adds that share of the fine detail everywhere, as a key frame of a low bit rate
    // does.
    cv::Mat frame(cv::Point2d shift, const Shadow& shadow = {}, const Insect& insect = {},
                  double sharpen = 0)
    {
        cv::Mat view;
        const cv::Mat move =
            (cv::Mat_<double>(2, 3) << 1, 0, shift.x - margin, 0, 1, shift.y - margin);
        cv::warpAffine(card, view, move, frameSize, cv::INTER_LINEAR, cv::BORDER_REPLICATE);
        if (insect.present)
            cv::ellipse(view, cv::Point(insect.centre), cv::Size(6, 3), 20, 0, 360, cv::Scalar(45),
                        cv::FILLED);
        cv::Mat light;
        view.convertTo(light, CV_32F);
        flicker(light, sharpen);
        if (shadow.depth > 0)
            darken(light, shadow);
        cv::Mat noise(frameSize, CV_32F);
        random.fill(noise, cv::RNG::NORMAL, 0, 2);
        light += noise;
        light.convertTo(view, CV_8U);
        return view;
    }

private:
    // The detail above a smooth copy, scaled by up to 40 % up or down in each 8 x 8 block.
    void flicker(cv::Mat& light, double sharpen)
    {
        cv::Mat smooth;
        cv::GaussianBlur(light, smooth, cv::Size(0, 0), 1.5);
        const cv::Mat detail = light - smooth;
        for (int by = 0; by < light.rows; by += 8)
            for (int bx = 0; bx < light.cols; bx += 8) {
                const cv::Rect block =
                    cv::Rect(bx, by, 8, 8) & cv::Rect(0, 0, light.cols, light.rows);
                light(block) += detail(block) * (sharpen + random.uniform(-0.4, 0.4));
            }
    }

    static void darken(cv::Mat& light, const Shadow& s)
    {
        for (int y = 0; y < light.rows; ++y)
            for (int x = 0; x < light.cols; ++x) {
                const double r2 = std::pow(x - s.centre.x, 2) + std::pow(y - s.centre.y, 2);
                const double cover = s.edge > 0
                                         ? 1 / (1 + std::exp((std::sqrt(r2) - s.radius) / s.edge))
                                         : std::exp(-r2 / (2 * s.radius * s.radius));
                light.at<float>(y, x) *= static_cast<float>(1 - s.depth * cover);
            }
    }

    cv::Mat card;
    cv::RNG random{7};
};

class StrictDetection : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TargetPool::destroyInstance();
        TargetPool::instance()->resize(1000);
        detector.setReference(MvtDetector::Reference::Background);
        detector.setMorphology(BlobMorphology::forBackground());
        detector.setFrameRate(25);
    }
    void TearDown() override { TargetPool::destroyInstance(); }

    // The centres of the blobs found in the frame.
    std::vector<cv::Point> detect(cv::Mat frame)
    {
        QList<Target*> found;
        detector.detect(frame, found);
        std::vector<cv::Point> centres;
        for (Target* t : found) {
            centres.push_back(t->centroid);
            TargetPool::instance()->release(t);
        }
        return centres;
    }

    // Counts the blobs found in `frame` within 4 px of the insect, and those found elsewhere.
    void tally(cv::Mat frame, const Insect& insect, int& found, int& elsewhere)
    {
        for (const cv::Point& c : detect(frame)) {
            if (cv::norm(cv::Point2d(c) - insect.centre) <= 4)
                ++found;
            else
                ++elsewhere;
        }
    }

    // A camera that jitters by a quarter of a pixel, shaken by a gust of a pixel or more for 0.8 s
    // (20 frames) from frame 40 on and again from frame 100.
    cv::Point2d cameraAt(int f)
    {
        cv::Point2d shift(jitter(random), jitter(random));
        if ((f >= 40 && f < 60) || (f >= 100 && f < 120))
            shift += f < 100 ? cv::Point2d(1, -1) : cv::Point2d(-1.4, 0.6);
        return shift;
    }

    MvtDetector detector;
    Scene scene;
    std::mt19937 random{3};
    std::uniform_real_distribution<double> jitter{-0.25, 0.25};
};

} // namespace

// Every 50th frame is a key frame that sharpens the card's grid and dots.
TEST_F(StrictDetection, AShakenTexturedCardWithoutInsectGivesNoBlob)
{
    detect(scene.frame({}));
    int blobs = 0;
    for (int f = 1; f < 150; ++f) {
        const double sharpen = f % 50 == 0 ? 0.8 : 0;
        blobs += static_cast<int>(detect(scene.frame(cameraAt(f), {}, {}, sharpen)).size());
    }
    EXPECT_EQ(blobs, 0);
}

TEST_F(StrictDetection, APassingSoftShadowGivesNoBlob)
{
    detect(scene.frame({}));
    int blobs = 0;
    for (int f = 1; f < 120; ++f) {
        // A cloud's shadow taking 40 % of the light, crossing the card in about five seconds.
        const Shadow shadow{{-40 + 1.5 * f, 50 + 0.3 * f}, std::min(0.4, f * 0.02), 50};
        blobs += static_cast<int>(detect(scene.frame(cameraAt(f), shadow)).size());
    }
    EXPECT_EQ(blobs, 0);
}

TEST_F(StrictDetection, ACloudsShadowWithAFirmEdgeGivesNoBlob)
{
    detect(scene.frame({}));
    int blobs = 0;
    for (int f = 1; f < 100; ++f) {
        // 40 % of the light, its edge fading over a few pixels, sweeping the card at 60 px/s.
        const Shadow cloud{{-70 + 2.4 * f, 40}, 0.4, 70, 3};
        blobs += static_cast<int>(detect(scene.frame(cameraAt(f), cloud)).size());
    }
    EXPECT_EQ(blobs, 0);
}

TEST_F(StrictDetection, AnInsectWalkingOnAShakenCardIsFoundInEveryFrame)
{
    detect(scene.frame({}));
    for (int f = 1; f < 30; ++f) // the card's variation is learnt before the insect comes
        detect(scene.frame(cameraAt(f)));
    int found = 0, elsewhere = 0;
    for (int f = 30; f < 130; ++f) {
        const Insect insect{{10 + 1.4 * (f - 30), 30 + 0.6 * (f - 30)}, true};
        tally(scene.frame(cameraAt(f), {}, insect), insect, found, elsewhere);
    }
    EXPECT_GE(found, 98);
    EXPECT_EQ(elsewhere, 0);
}

// Under an insect that rests, the background cannot learn from the pixels it covers; it still
// follows the light that the pixels around it show, so that where the insect rested while a
// cloud's shadow came, no ghost of the lighter card stays once it walks off.
TEST_F(StrictDetection, AnInsectRestingWhileAShadowComesLeavesNoGhost)
{
    detect(scene.frame({}));
    for (int f = 1; f < 30; ++f)
        detect(scene.frame(cameraAt(f)));
    const Insect resting{{80, 60}, true};
    int found = 0, elsewhere = 0;
    for (int f = 30; f < 110; ++f) {
        // From frame 40, 35 % of the light goes within a second and a half, and stays away.
        const Shadow shadow{{70, 50}, std::clamp((f - 40) * 0.01, 0.0, 0.35), 60};
        tally(scene.frame(cameraAt(f), shadow, resting), resting, found, elsewhere);
    }
    EXPECT_GE(found, 78);
    EXPECT_EQ(elsewhere, 0);
    const Shadow stayed{{70, 50}, 0.35, 60};
    const Insect gone{{130, 100}, true};
    for (int f = 110; f < 115; ++f)
        tally(scene.frame(cameraAt(f), stayed, gone), gone, found, elsewhere);
    EXPECT_EQ(elsewhere, 0);
}

// What was known of the old background (its detail, how still the camera was against it) must
// not be used to align frames on the new one: a shaken frame left unaligned would change
// everywhere, be taken for a disturbance, and hide the insect.
TEST_F(StrictDetection, AShakeRightAfterTheBackgroundIsReplacedIsUndone)
{
    detect(scene.frame({}));
    for (int f = 1; f < 30; ++f)
        detect(scene.frame(cameraAt(f)));
    // Another card: the whole picture changes, and becomes the background.
    Scene sand(makeSandCard());
    EXPECT_TRUE(detect(sand.frame({})).empty());
    int found = 0, elsewhere = 0;
    for (int f = 0; f < 10; ++f) {
        const Insect insect{{60 + 2.0 * f, 50}, true};
        tally(sand.frame({1.2, -0.9}, {}, insect), insect, found, elsewhere);
    }
    EXPECT_EQ(found, 10);
    EXPECT_EQ(elsewhere, 0);
}

// A wing or a shadow that shows apart from the body is part of the insect, and does not move its
// centre off the body; a neighbour of about its size, as close, is another insect.
TEST_F(StrictDetection, AFragmentJoinsItsBodyButANeighbourStaysApart)
{
    const cv::Mat plain(120, 160, CV_8UC1, cv::Scalar(170));
    detect(plain);
    cv::Mat frame = plain.clone();
    cv::ellipse(frame, {50, 60}, {8, 4}, 0, 0, 360, cv::Scalar(40), cv::FILLED);
    cv::rectangle(frame, cv::Rect(62, 57, 3, 3), cv::Scalar(110), cv::FILLED); // a wing, 4 px off
    cv::ellipse(frame, {110, 60}, {8, 4}, 0, 0, 360, cv::Scalar(40), cv::FILLED);
    cv::ellipse(frame, {128, 60}, {8, 4}, 0, 0, 360, cv::Scalar(40), cv::FILLED);
    std::vector<cv::Point> blobs = detect(frame);
    ASSERT_EQ(blobs.size(), 3u);
    std::sort(blobs.begin(), blobs.end(), [](cv::Point a, cv::Point b) { return a.x < b.x; });
    // The insect with its wing: one blob, whose centre stays on the body.
    EXPECT_NEAR(blobs[0].x, 50, 1);
}

// In a crowd, a blob of several overlapping insects is far larger than one insect beside it,
// which is no fragment of it once the usual area of one insect is known; a wing still is.
TEST_F(StrictDetection, AnInsectBesideAClumpStaysApartOnceTheUsualAreaIsKnown)
{
    // Large enough that the clump, a few insects long, is no change of light.
    const cv::Mat plain(240, 320, CV_8UC1, cv::Scalar(170));
    detect(plain);
    cv::Mat frame = plain.clone();
    for (int i = 0; i < 6; ++i) // a clump of six, overlapping too much to be split
        cv::ellipse(frame, {40 + 4 * i, 60 + 2 * (i % 2)}, {8, 4}, 0, 0, 360, cv::Scalar(40),
                    cv::FILLED);
    cv::ellipse(frame, {80, 60}, {8, 4}, 0, 0, 360, cv::Scalar(40), cv::FILLED);
    cv::ellipse(frame, {120, 60}, {8, 4}, 0, 0, 360, cv::Scalar(40), cv::FILLED);
    cv::rectangle(frame, cv::Rect(132, 57, 3, 3), cv::Scalar(110), cv::FILLED); // its wing
    EXPECT_EQ(detect(frame).size(), 2u); // the clump takes in its neighbour
    detector.setUsualArea(110);
    EXPECT_EQ(detect(frame).size(), 3u);
}

TEST_F(StrictDetection, AnExplodingFrameGivesNoBlobAndTheBackgroundIsLearntAgain)
{
    detect(scene.frame({}));
    for (int f = 1; f < 30; ++f)
        detect(scene.frame(cameraAt(f)));
    // About two hundred separate specks on a tenth of the picture, dark and bright in turn so
    // that they do not look like a change of light: far more blobs than insects.
    cv::Mat specks = scene.frame({});
    for (int y = 4; y + 3 <= frameSize.height; y += 10)
        for (int x = 4; x + 3 <= frameSize.width; x += 10)
            specks(cv::Rect(x, y, 3, 3)).setTo((x + y) % 20 == 8 ? 10 : 255);
    EXPECT_TRUE(detect(specks).empty());
    EXPECT_TRUE(TargetPool::instance()->usedList().isEmpty());
    // The specks stay: they are the background now.
    EXPECT_TRUE(detect(specks).empty());
    // Light switched off by half: more than half of the picture changes at once.
    cv::Mat dark = specks / 2;
    EXPECT_TRUE(detect(dark).empty());
    EXPECT_TRUE(detect(dark).empty());
    // And detection goes on afterwards.
    cv::Mat withInsect = dark.clone();
    cv::ellipse(withInsect, cv::Point(80, 60), cv::Size(6, 3), 0, 0, 360, cv::Scalar(20),
                cv::FILLED);
    EXPECT_EQ(detect(withInsect).size(), 1u);
}

// An insect being followed when a frame is disturbed does not become background: once it walks
// on, no ghost of it stays where it was.
TEST_F(StrictDetection, ADisturbedFrameLeavesNoGhostOfTheInsectsFollowed)
{
    const cv::Mat plain(120, 160, CV_8UC1, cv::Scalar(170));
    const auto withInsectAt = [](cv::Mat frame, cv::Point centre) {
        cv::ellipse(frame, centre, cv::Size(6, 3), 0, 0, 360, cv::Scalar(40), cv::FILLED);
        return frame;
    };
    for (int f = 0; f < 10; ++f)
        detect(plain);
    ASSERT_EQ(detect(withInsectAt(plain.clone(), {60, 60})).size(), 1u);
    Target insect; // followed where it stands
    insect.init();
    insect.setBox(cv::Rect(54, 57, 12, 6));
    QList<Target*> followed{&insect};
    detector.setFollowedInsects(&followed);
    const cv::Rect nearInsect(44, 46, 32, 28); // beyond the background kept for it
    cv::Mat specks = plain.clone();
    for (int y = 4; y + 3 <= specks.rows; y += 10)
        for (int x = 4; x + 3 <= specks.cols; x += 10)
            if ((cv::Rect(x, y, 3, 3) & nearInsect).empty())
                specks(cv::Rect(x, y, 3, 3)).setTo((x + y) % 20 == 8 ? 10 : 255);
    ASSERT_TRUE(detect(withInsectAt(specks.clone(), {60, 60})).empty());
    const std::vector<cv::Point> after = detect(withInsectAt(specks.clone(), {110, 60}));
    ASSERT_EQ(after.size(), 1u);
    EXPECT_NEAR(after[0].x, 110, 3);

    // A track as large as the picture follows a disturbance, not an insect: the frame is learnt
    // under it too, and the next insect is found at once.
    insect.setBox(cv::Rect(0, 0, plain.cols, plain.rows));
    cv::Mat moreSpecks = specks.clone();
    for (int y = 9; y + 3 <= specks.rows; y += 10)
        for (int x = 9; x + 3 <= specks.cols; x += 10)
            moreSpecks(cv::Rect(x, y, 3, 3)).setTo((x + y) % 20 == 18 ? 10 : 255);
    ASSERT_TRUE(detect(moreSpecks).empty());
    EXPECT_EQ(detect(withInsectAt(moreSpecks.clone(), {80, 30})).size(), 1u);
}

// What stays is taken in after the same time, in seconds, whatever the frame rate.
class StrictDetectionRate : public StrictDetection, public ::testing::WithParamInterface<double>
{
};

TEST_P(StrictDetectionRate, WhatStaysTenSecondsIsTakenIn)
{
    const double fps = GetParam();
    detector.setFrameRate(fps);
    cv::Mat plain(60, 80, CV_8UC1, cv::Scalar(120));
    detect(plain);
    cv::Mat stone = plain.clone();
    cv::circle(stone, {40, 30}, 5, cv::Scalar(40), cv::FILLED);
    const int tenSeconds = static_cast<int>(10 * fps);
    for (int f = 0; f < tenSeconds - 2; ++f)
        ASSERT_EQ(detect(stone).size(), 1u) << "frame " << f << " at " << fps << " fps";
    for (int f = 0; f < 3; ++f)
        detect(stone);
    EXPECT_TRUE(detect(stone).empty());
}

INSTANTIATE_TEST_SUITE_P(FrameRates, StrictDetectionRate, ::testing::Values(10.0, 25.0, 90.0));
