#pragma once

#include "videoinput.h"

#include <QString>
#include <functional>
#include <opencv2/core.hpp>

// Where a run's frames come from. The run opens each queued video through it and then asks for
// frames until there is none left; it never touches a decoder itself. CaptureSource reads on the
// caller's thread, DecodeAheadSource (framereader.h) decodes ahead on a thread of its own, and
// tests may hand in frames of their own. A source is used from one thread at a time.
class FrameSource
{
public:
    // What the analysis reads of a frame: grey as cv::cvtColor(COLOR_BGR2GRAY) makes it of the
    // BGR picture, or, of a picture coded as luma and chroma, its luma as decoded, which costs no
    // conversion at all (a source that cannot give it gives grey).
    enum class Brightness { Grey, Luma };

    struct Frame {
        // 8-bit BGR; a source told analyseOnly() may convert only the rows of that area at first,
        // or none of them when it gives `grey`.
        cv::Mat colour;
        // The area given to analyseOnly() in grey, as cv::cvtColor(COLOR_BGR2GRAY) makes it of
        // `colour`, when the source computes it straight from the decoded picture, or the
        // picture's own luma where Brightness::Luma was asked and the picture has it; else empty.
        cv::Mat grey;
        cv::Rect greyArea;
        double index = 0; // position of the frame in the video, counted from 0
        // Set by such a source: converts the rest of `colour`. Called on the frame's holder's
        // thread while the frame is valid.
        std::function<void()> completeColour;

        // The whole picture in colour, for showing it.
        const cv::Mat& wholeColour() const
        {
            if (completeColour)
                completeColour();
            return colour;
        }
    };

    virtual ~FrameSource() = default;

    // Opens `path` and reads its frame `startFrame` into `first`; false when the video cannot be
    // opened or that frame cannot be read. `props` is filled as far as the decoder got.
    virtual bool open(const QString& path, int startFrame, cv::Mat& first,
                      VideoProperties& props) = 0;
    // The next frame that reads, past a damaged stretch of bounded length; null at the end.
    // The frame stays valid until the next call of next() or close().
    virtual const Frame* next() = 0;
    // Frames passed over because they could not be read, since open().
    virtual long unreadableFrames() const = 0;
    // Ends the reading; the video may stay open for its owner.
    virtual void close() = 0;
    // The part of the frames that the analysis reads, for the frames after the first: a source
    // may leave the rest of their colour pictures unconverted until wholeColour() is asked.
    virtual void analyseOnly(const cv::Rect& area, Brightness brightness = Brightness::Grey)
    {
        (void)area, (void)brightness;
    }
};

// What FrameCursor reads from: a CaptureReader, or the direct decoder.
class FrameInput
{
public:
    virtual ~FrameInput() = default;
    // The next frame; false at the end or when it cannot be read.
    virtual bool read(FrameSource::Frame& frame) = 0;
    // The time stamp of the frame last read, as CAP_PROP_POS_MSEC gives it.
    virtual double positionMs() = 0;
};

class CaptureInput : public FrameInput
{
public:
    explicit CaptureInput(CaptureReader* capture = nullptr) : capture(capture) {}
    void readFrom(CaptureReader* reader) { capture = reader; }
    bool read(FrameSource::Frame& frame) override { return capture->read(frame.colour); }
    double positionMs() override { return capture->positionMs(); }

private:
    CaptureReader* capture;
};

// Reads the frames of an opened capture in order. A frame that cannot be read before the
// container's frame count is reached does not end the video: the following ones are tried, up to
// maxUnreadableSeconds' worth in a row, and the reading goes on from the first one that reads.
// Each frame carries its real position in the video, also after such a stretch.
class FrameCursor
{
public:
    static constexpr double maxUnreadableSeconds = 2;
    static constexpr int maxUnreadableWithoutRate = 50;

    // After the frame `index` - 1 has been read.
    void reset(double index, const VideoProperties& props);
    bool read(FrameInput& input, FrameSource::Frame& frame);
    long unreadable() const { return skipped; }

private:
    double stampedIndex(FrameInput& input) const;

    double nextIndex = 0;
    double containerFrames = 0;
    double fps = 0;
    int maxInARow = maxUnreadableWithoutRate;
    long skipped = 0;
};

// The plain source: each frame is decoded when it is asked for, into a reused buffer. The capture
// is the caller's, and stays open and positioned after the last frame read.
class CaptureSource : public FrameSource
{
public:
    explicit CaptureSource(CaptureReader& capture) : input(&capture), capture(capture) {}

    bool open(const QString& path, int startFrame, cv::Mat& first, VideoProperties& props) override;
    const Frame* next() override;
    long unreadableFrames() const override { return cursor.unreadable(); }
    void close() override {}

private:
    CaptureInput input;
    CaptureReader& capture;
    FrameCursor cursor;
    Frame frame;
};
