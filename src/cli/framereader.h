#pragma once

#include <condition_variable>
#include <mutex>
#include <opencv2/core.hpp>
#include <opencv2/videoio.hpp>
#include <thread>
#include <vector>

// Decodes ahead on a thread of its own into a small ring of reused frame buffers, so that the
// analysis of one frame overlaps the decoding of the next ones. Memory stays at `capacity`
// frames however long the video is. Only the decoder runs on the thread; the engine, which
// turns into grey just the pixels it analyses, does not.
//
//   FrameReader reader;
//   reader.start(capture);                    // capture positioned after the start frame
//   while (FrameReader::Frame* frame = reader.next()) {
//       analyse(frame->colour);
//       reader.release();                     // hands the buffer back to the decoder
//   }
class FrameReader
{
public:
    struct Frame {
        cv::Mat colour;
    };

    explicit FrameReader(int capacity = 3);
    ~FrameReader();
    FrameReader(const FrameReader&) = delete;
    FrameReader& operator=(const FrameReader&) = delete;

    // Reads from `capture` until it fails; the capture must outlive the reading (stop or end).
    void start(cv::VideoCapture& capture);
    // The next decoded frame, waiting for it; null once the decoder has no further frame.
    Frame* next();
    // Returns the frame given by the last next() to the decoder.
    void release();
    // Ends the reading early and waits for the thread.
    void stop();

private:
    void decode();

    std::vector<Frame> buffers;
    int head = 0;  // oldest frame not yet released
    int tail = 0;  // slot the decoder fills next
    int count = 0; // frames decoded and not yet released, including the one being analysed
    bool finished = false;
    bool stopping = false;
    cv::VideoCapture* capture = nullptr;
    std::mutex mutex;
    std::condition_variable changed;
    std::thread thread;
};
