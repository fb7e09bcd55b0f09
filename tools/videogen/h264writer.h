#pragma once

// Writes BGR frames as an H.264 MP4 at a chosen bit rate, as a camera's encoder does: one
// keyframe every two seconds, no B-frames. The encoder runs on one thread with fixed settings, so
// the same frames always give the same bytes.
//
//   videogen::H264Writer writer;
//   if (!writer.open("/tmp/clip.mp4", {640, 480}, 25, 90, &error)) ...
//   writer.write(frame);   // for every frame
//   if (!writer.close(&error)) ...

#include <memory>
#include <opencv2/core.hpp>
#include <string>

namespace videogen
{

class H264Writer
{
public:
    H264Writer();
    ~H264Writer();
    H264Writer(const H264Writer&) = delete;
    H264Writer& operator=(const H264Writer&) = delete;

    // `kbitPerSecond` 0 asks for a constant, good quality instead of a bit rate. The frame size
    // must be even in both directions.
    bool open(const std::string& path, cv::Size size, double fps, double kbitPerSecond,
              std::string* error = nullptr);
    // A BGR frame of the size given to open().
    bool write(const cv::Mat& bgr);
    // Flushes the encoder and finishes the file; false when any frame or the file failed.
    bool close(std::string* error = nullptr);

private:
    struct Encoder;
    std::unique_ptr<Encoder> encoder;
};

} // namespace videogen
