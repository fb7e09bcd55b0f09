#include "framereader.h"

#include "videoinput.h"

FrameReader::FrameReader(int capacity) : buffers(static_cast<size_t>(capacity < 2 ? 2 : capacity))
{
}

FrameReader::~FrameReader()
{
    stop();
}

void FrameReader::start(cv::VideoCapture& source)
{
    stop();
    head = tail = count = 0;
    finished = stopping = false;
    capture = &source;
    thread = std::thread(&FrameReader::decode, this);
}

void FrameReader::decode()
{
    const int capacity = static_cast<int>(buffers.size());
    for (;;) {
        int slot;
        {
            std::unique_lock<std::mutex> lock(mutex);
            changed.wait(lock, [&] { return stopping || count < capacity; });
            if (stopping)
                break;
            slot = tail;
        }
        // The slot is neither queued nor being analysed, so it is ours without the lock.
        Frame& frame = buffers[static_cast<size_t>(slot)];
        const bool ok = readFrame(*capture, frame.colour);
        std::lock_guard<std::mutex> lock(mutex);
        if (!ok)
            break;
        tail = (tail + 1) % capacity;
        ++count;
        changed.notify_all();
    }
    std::lock_guard<std::mutex> lock(mutex);
    finished = true;
    changed.notify_all();
}

FrameReader::Frame* FrameReader::next()
{
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [&] { return count > 0 || finished; });
    if (count == 0)
        return nullptr;
    return &buffers[static_cast<size_t>(head)];
}

void FrameReader::release()
{
    std::lock_guard<std::mutex> lock(mutex);
    if (count == 0)
        return;
    head = (head + 1) % static_cast<int>(buffers.size());
    --count;
    changed.notify_all();
}

void FrameReader::stop()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
        changed.notify_all();
    }
    if (thread.joinable())
        thread.join();
    capture = nullptr;
}
