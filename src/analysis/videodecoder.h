#pragma once

#include "videoinput.h"

#include <cstdint>
#include <opencv2/core.hpp>
#include <string>

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct SwsContext;

// Reads a video through FFmpeg's libraries, frame for frame as cv::VideoCapture's FFmpeg back end
// does (the same properties, seeking, time stamps, end and error handling), without copying or
// converting the decoded pictures: they stay in the decoder's own buffers until BgrPicture turns
// what is needed of them into BGR with the very call cv::VideoCapture makes.
//
//   VideoDecoder decoder;
//   if (decoder.open(path) && decoder.seek(90) && decoder.grab())
//       bgr.convert(decoder.picture(), decoder.codedSize(), top, bottom);
//
// A file that this reader declines (see open) is read through cv::VideoCapture instead.
class VideoDecoder
{
public:
    VideoDecoder();
    ~VideoDecoder();
    VideoDecoder(const VideoDecoder&) = delete;
    VideoDecoder& operator=(const VideoDecoder&) = delete;

    // False when the file cannot be opened, or when cv::VideoCapture would do something this
    // reader does not (a picture turned by the container's rotation).
    bool open(const std::string& path);
    void close();
    bool isOpen() const { return codec != nullptr; }
    // As cv::VideoCapture reports them.
    VideoProperties properties() const;
    // Positions the reading so that the next grab gives frame `frame` (CAP_PROP_POS_FRAMES).
    void seek(int64_t frame);
    // The next frame into picture(); false at the end or when it cannot be decoded.
    bool grab();
    const AVFrame* picture() const { return decoded; }
    cv::Size codedSize() const;
    // Time stamp of the frame last grabbed (CAP_PROP_POS_MSEC).
    double positionMs() const;

private:
    double fps() const;
    int64_t totalFrames() const;
    double durationSeconds() const;
    double secondsOf(int64_t stamp) const;
    int64_t frameNumberOf(int64_t stamp) const;
    bool receive();

    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    AVFrame* decoded = nullptr;
    AVPacket* packet = nullptr;
    int stream = -1;
    int64_t stamp;
    int64_t frameNumber = 0;
    int64_t firstFrameNumber = -1;
};

// A BGR picture converted from decoded frames by swscale exactly as cv::VideoCapture converts
// them (its flags, its size and its row alignment), in a buffer reused from frame to frame.
// Rows may be converted on their own: planar 4:2:0 pictures convert in pairs of rows that do not
// depend on each other, so a band of rows comes out as it would in the whole picture. Other
// formats are converted whole whatever is asked.
class BgrPicture
{
public:
    BgrPicture() = default;
    ~BgrPicture();
    BgrPicture(const BgrPicture&) = delete;
    BgrPicture& operator=(const BgrPicture&) = delete;

    // Converts rows [top, bottom) of `frame` (of the video's `coded` size), or all of it; true
    // when all of it was. The picture has the frame's own size.
    bool convert(const AVFrame* frame, cv::Size coded, int top, int bottom);
    // Readies the buffer for pictures like `frame` without converting anything; false when it
    // cannot be had.
    bool prepare(const AVFrame* frame, cv::Size coded);
    // The picture: a header on the buffer, valid until the next convert() of another size.
    const cv::Mat& mat() const { return picture; }

private:
    bool convertBand(const AVFrame* frame, int top, int bottom);

    AVFrame* bgr = nullptr;
    SwsContext* whole = nullptr;
    SwsContext* band = nullptr;
    int bandTop = -1;
    int bandRows = 0;
    int format = -1;
    cv::Size codedSize;
    cv::Mat picture;
};

// The size of the frames a run analyses in the video at `path`: from its stream's header where
// VideoDecoder takes the file, which decodes nothing; else that of its frame `startFrame` read
// through cv::VideoCapture. Empty when neither can be had.
cv::Size analysedFrameSize(const QString& path, int startFrame);
