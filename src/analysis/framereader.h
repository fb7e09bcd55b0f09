#pragma once

#include "framesource.h"
#include "videodecoder.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <opencv2/core.hpp>
#include <thread>
#include <vector>

// A frame source that decodes ahead on a thread of its own into a small ring of reused frame
// buffers, so that the analysis of one frame overlaps the decoding of the next ones. Memory stays
// at `capacity` frames however long the video is. Only the decoder runs on the thread; the engine,
// which turns into grey just the pixels it analyses, does not.
//
// Videos are read through FFmpeg directly (VideoDecoder), giving the frames cv::VideoCapture gives,
// without its copy of each frame. Of the frames after the first only the area given to
// analyseOnly() is converted: into grey straight from the decoded picture where YuvGrey can
// (the frame's `grey`; or, asked for luma, that area of the decoded luma plane itself, uncopied),
// else into BGR, its rows only; wholeColour() converts the rest of a frame
// that is shown. A file the direct reader declines is read through cv::VideoCapture, loaded then
// (see CaptureReader).
//
//   FrameReader reader;
//   reader.analyseOnly(box);
//   if (reader.open(path, 90, first, props))       // frame 90 read whole on the caller's thread
//       while (const FrameSource::Frame* frame = reader.next())
//           analyse(frame->colour);                 // valid until the next call of next()
//   reader.close();                                 // stops the thread
class FrameReader : public FrameSource
{
public:
    explicit FrameReader(int capacity = 3);
    ~FrameReader() override;
    FrameReader(const FrameReader&) = delete;
    FrameReader& operator=(const FrameReader&) = delete;

    bool open(const QString& path, int startFrame, cv::Mat& first, VideoProperties& props) override;
    const Frame* next() override;
    long unreadableFrames() const override;
    void close() override;
    void analyseOnly(const cv::Rect& area, Brightness kind = Brightness::Grey) override
    {
        analysed = area;
        brightness = kind;
    }
    // Whether the open video is read through the direct decoder (else through cv::VideoCapture).
    bool readsDirectly() const { return input == &directInput; }

private:
    // A decoded picture held for a frame of the ring, and its BGR conversion or grey area.
    struct Slot {
        Slot();
        ~Slot();
        Slot(const Slot&) = delete;
        Slot& operator=(const Slot&) = delete;
        bool take(const VideoDecoder& decoder, const cv::Rect& area, Brightness brightness,
                  FrameSource::Frame& frame);
        bool takeArea(const cv::Rect& area, Brightness brightness, FrameSource::Frame& frame);
        void complete();
        void drop();

        AVFrame* decoded;
        cv::Size coded;
        BgrPicture bgr;
        cv::Mat grey; // the grey area converted, which the frame's `grey` shows
        bool whole = true;
        bool lumaShown = false; // the frame's `grey` is a view of `decoded`
    };
    class DirectInput : public FrameInput
    {
    public:
        explicit DirectInput(FrameReader& reader) : reader(reader) {}
        bool read(FrameSource::Frame& frame) override;
        double positionMs() override { return reader.decoder.positionMs(); }

    private:
        FrameReader& reader;
    };

    bool openDirect(int startFrame, cv::Mat& first, VideoProperties& props);
    bool openCapture(const QString& path, int startFrame, cv::Mat& first, VideoProperties& props);
    void start();
    void decode();
    // Returns the frame given by the last next() to the decoder.
    void release();

    std::unique_ptr<CaptureReader> capture; // loaded for the first file that needs it
    CaptureInput captureInput;
    VideoDecoder decoder;
    DirectInput directInput{*this};
    FrameInput* input = nullptr;
    cv::Rect analysed;
    Brightness brightness = Brightness::Grey;
    FrameCursor cursor; // used by the decoding thread only while it runs
    std::vector<Frame> buffers;
    std::vector<std::unique_ptr<Slot>> pictures; // one per buffer
    int head = 0;                                // oldest frame not yet released
    int tail = 0;                                // slot the decoder fills next
    int count = 0;        // frames decoded and not yet released, including the one being analysed
    bool holding = false; // the caller holds the frame at `head`
    bool finished = false;
    bool stopping = false;
    long unreadable = 0; // the cursor's count, published by the decoder
    mutable std::mutex mutex;
    std::condition_variable changed;
    std::thread thread;
};
