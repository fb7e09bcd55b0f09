// Cost of the engine on a 1920 x 1080 frame pair with a few dozen moving blobs, beside the cost
// of decoding one 1080p H.264 frame, which bounds how fast a video can be analysed anyway.

#include "munkres.h"
#include "tracker.h"
#include "videogen.h"

#include <QByteArray>
#include <QDir>
#include <QLoggingCategory>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>
#include <random>

namespace
{

const cv::Size fullHd(1920, 1080);

videogen::ClipRecipe sceneRecipe(int frames)
{
    videogen::ClipRecipe recipe;
    recipe.size = fullHd;
    recipe.frames = frames;
    std::mt19937 random(3);
    std::uniform_real_distribution<double> x(100, 1820), y(100, 980), v(-8, 8);
    std::uniform_int_distribution<int> radius(8, 20);
    for (int i = 0; i < 36; ++i) {
        videogen::Blob b;
        b.start = {x(random), y(random)};
        b.velocity = {v(random), v(random)};
        b.radius = radius(random);
        recipe.blobs.push_back(b);
    }
    return recipe;
}

// Two consecutive frames of the scene, in colour or grey.
std::vector<cv::Mat> framePair(bool inColour)
{
    const videogen::ClipRecipe recipe = sceneRecipe(20);
    const cv::Mat background = videogen::background(recipe);
    std::vector<cv::Mat> frames(2);
    for (int i = 0; i < 2; ++i) {
        videogen::renderFrame(recipe, background, 10 + i, frames[i]);
        if (!inColour)
            cv::cvtColor(frames[i], frames[i], cv::COLOR_BGR2GRAY);
    }
    return frames;
}

// Most of the frame, less a margin and a counting area in the middle.
cv::Mat largeMask()
{
    cv::Mat mask = cv::Mat::zeros(fullHd, CV_8UC1);
    const std::vector<cv::Point> outline{{60, 40}, {1860, 60}, {1880, 1040}, {40, 1030}};
    cv::fillPoly(mask, std::vector<std::vector<cv::Point>>{outline}, cv::Scalar(255));
    cv::rectangle(mask, cv::Rect(860, 440, 200, 200), cv::Scalar(0), cv::FILLED);
    return mask;
}

void trackerProcess(benchmark::State& state, bool masked, bool inColour = false)
{
    std::vector<cv::Mat> frames = framePair(inColour);
    Tracker tracker;
    if (masked)
        tracker.detector.setMask(largeMask());
    const auto process = [&](cv::Mat& frame) {
        if (inColour)
            tracker.processColour(frame);
        else
            tracker.process(frame);
    };
    process(frames[0]);
    size_t i = 1;
    size_t detections = 0;
    for (auto _ : state) {
        process(frames[i++ % 2]);
        detections += static_cast<size_t>(tracker.tracked_targets.size());
    }
    state.counters["tracked"] =
        benchmark::Counter(static_cast<double>(detections), benchmark::Counter::kAvgIterations);
}

void BM_TrackerProcessMasked(benchmark::State& state)
{
    trackerProcess(state, true);
}
BENCHMARK(BM_TrackerProcessMasked)->Unit(benchmark::kMillisecond);

// What the analysis run does with each decoded frame: the grey conversion is part of it.
void BM_TrackerProcessColourMasked(benchmark::State& state)
{
    trackerProcess(state, true, true);
}
BENCHMARK(BM_TrackerProcessColourMasked)->Unit(benchmark::kMillisecond);

void BM_TrackerProcessWholeFrame(benchmark::State& state)
{
    trackerProcess(state, false);
}
BENCHMARK(BM_TrackerProcessWholeFrame)->Unit(benchmark::kMillisecond);

void BM_Munkres50x50(benchmark::State& state)
{
    std::mt19937 random(5);
    std::uniform_int_distribution<int> cost(1, 2200);
    cv::Mat_<int> costs(50, 50);
    for (int& c : costs)
        c = cost(random);
    cv::Mat_<int> work;
    for (auto _ : state) {
        costs.copyTo(work);
        Munkres solver;
        solver.solve(work);
        benchmark::DoNotOptimize(work.data);
    }
}
BENCHMARK(BM_Munkres50x50)->Unit(benchmark::kMicrosecond);

void BM_DecodeH264Frame1080p(benchmark::State& state)
{
    QTemporaryDir dir;
    const std::string path = QDir(dir.path()).filePath("bench.mp4").toStdString();
    std::string error;
    if (!dir.isValid() || !videogen::writeVideo(path, sceneRecipe(60), &error)) {
        state.SkipWithError(("cannot write the test video: " + error).c_str());
        return;
    }
    cv::VideoCapture capture(path, cv::CAP_FFMPEG);
    cv::Mat frame;
    if (!capture.read(frame)) {
        state.SkipWithError("cannot decode the test video");
        return;
    }
    for (auto _ : state) {
        if (!capture.read(frame)) {
            state.PauseTiming();
            capture.open(path, cv::CAP_FFMPEG);
            capture.read(frame); // the key frame is not what a running analysis mostly decodes
            state.ResumeTiming();
        }
        benchmark::DoNotOptimize(frame.data);
    }
}
BENCHMARK(BM_DecodeH264Frame1080p)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    // The per-frame debug lines cost as much to print as the work itself: measure the engine.
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
