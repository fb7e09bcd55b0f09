#include "videogen.h"

#include "h264writer.h"

#include <algorithm>
#include <cmath>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

namespace videogen
{

cv::Point Blob::positionAt(int frame) const
{
    if (!path.empty())
        return path[static_cast<size_t>(std::clamp(frame - firstFrame, 0, int(path.size()) - 1))];
    const double t = frame - firstFrame;
    return cv::Point(static_cast<int>(std::lround(start.x + velocity.x * t)),
                     static_cast<int>(std::lround(start.y + velocity.y * t)));
}

bool Blob::visibleAt(int frame) const
{
    if (frame < firstFrame || frame > lastFrame)
        return false;
    return path.empty() || frame - firstFrame < static_cast<int>(path.size());
}

cv::Mat background(const ClipRecipe& recipe)
{
    // Coarse noise blown up and blurred: leaves texture for the eye but no sharp edges that
    // compression could make flicker.
    cv::RNG rng(recipe.seed);
    cv::Mat coarse(std::max(2, recipe.size.height / 16), std::max(2, recipe.size.width / 16),
                   CV_8UC3);
    rng.fill(coarse, cv::RNG::UNIFORM, cv::Scalar(150, 165, 140), cv::Scalar(200, 215, 190));
    cv::Mat bg;
    cv::resize(coarse, bg, recipe.size, 0, 0, cv::INTER_CUBIC);
    cv::GaussianBlur(bg, bg, cv::Size(0, 0), 3);
    return bg;
}

// Flicker: the whole frame brightens and darkens with an irregular rhythm, like a lamp beating
// against the camera's frame rate. Noise: independent per pixel and frame. Both are drawn from
// the recipe's seed and the frame index, so a frame looks the same however often it is rendered.
static void addLightAndNoise(const ClipRecipe& recipe, int index, cv::Mat& frame)
{
    if (recipe.flicker <= 0 && recipe.noise <= 0)
        return;
    cv::RNG rng(recipe.seed * 7919u + static_cast<unsigned>(index) * 104729u + 1);
    double shift = 0;
    if (recipe.flicker > 0)
        shift = recipe.flicker * (0.7 * std::sin(index * 0.9) + 0.3 * rng.uniform(-1.0, 1.0));
    if (recipe.noise <= 0) {
        frame.convertTo(frame, -1, 1, shift);
        return;
    }
    cv::Mat noise(frame.size(), CV_16SC3);
    rng.fill(noise, cv::RNG::NORMAL, cv::Scalar::all(shift), cv::Scalar::all(recipe.noise));
    cv::Mat sum;
    frame.convertTo(sum, CV_16SC3);
    sum += noise;
    sum.convertTo(frame, CV_8UC3);
}

void renderFrame(const ClipRecipe& recipe, const cv::Mat& bg, int index, cv::Mat& out)
{
    bg.copyTo(out);
    for (const Blob& b : recipe.blobs) {
        if (!b.visibleAt(index))
            continue;
        const cv::Point c = b.positionAt(index);
        cv::ellipse(out, c, cv::Size(b.radius, b.radius * 2 / 3), 0, 0, 360,
                    cv::Scalar(b.grey, b.grey, b.grey), cv::FILLED, cv::LINE_AA);
    }
    addLightAndNoise(recipe, index, out);
}

static int fourccOf(Codec codec)
{
    return codec == Codec::MJPEG ? cv::VideoWriter::fourcc('M', 'J', 'P', 'G')
                                 : cv::VideoWriter::fourcc('m', 'p', '4', 'v');
}

// H.264 goes through our own one-thread encoder: OpenCV's writer lets x264 pick its thread count
// from the machine, and x264's frame threads then make the bytes depend on how fast frames
// arrive, so the first video of a process differed from the next one made from the same frames.
static bool writeH264(const std::string& path, const ClipRecipe& recipe, const cv::Mat& bg,
                      std::string* error)
{
    H264Writer writer;
    writer.setStyle(H264Writer::Style::EncoderDefaults);
    if (!writer.open(path, recipe.size, recipe.fps, 0, error))
        return false;
    cv::Mat frame;
    for (int i = 0; i < recipe.frames; ++i) {
        renderFrame(recipe, bg, i, frame);
        writer.write(frame);
    }
    return writer.close(error);
}

bool writeVideo(const std::string& path, const ClipRecipe& recipe, std::string* error)
{
    const cv::Mat bg = background(recipe);
    if (recipe.codec == Codec::H264)
        return writeH264(path, recipe, bg, error);
    cv::VideoWriter writer(path, cv::CAP_FFMPEG, fourccOf(recipe.codec), recipe.fps, recipe.size);
    if (!writer.isOpened()) {
        if (error)
            *error = "cannot write video " + path;
        return false;
    }
    cv::Mat frame;
    for (int i = 0; i < recipe.frames; ++i) {
        renderFrame(recipe, bg, i, frame);
        writer.write(frame);
    }
    writer.release();
    return true;
}

std::vector<Blob> crossingInsects(cv::Size size, int frames, int count)
{
    std::vector<Blob> blobs;
    const double w = size.width, h = size.height;
    for (int i = 0; i < count; ++i) {
        Blob b;
        const double lane = (i + 1.0) / (count + 1.0);
        const bool horizontal = i % 2 == 0;
        const double speed = std::max(w, h) / std::max(30.0, frames * 0.6);
        b.start = horizontal ? cv::Point2d(i % 4 == 0 ? 10 : w - 10, h * lane)
                             : cv::Point2d(w * lane, i % 4 == 1 ? 10 : h - 10);
        b.velocity = horizontal
                         ? cv::Point2d(i % 4 == 0 ? speed : -speed, 0.3 * speed * (lane - 0.5))
                         : cv::Point2d(0.3 * speed * (lane - 0.5), i % 4 == 1 ? speed : -speed);
        b.radius = std::max(6, size.width / 80);
        b.firstFrame = (i * frames) / (count * 3);
        blobs.push_back(b);
    }
    return blobs;
}

} // namespace videogen
