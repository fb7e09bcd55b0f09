#include "framereader.h"

FrameReader::FrameReader(int capacity) : buffers(static_cast<size_t>(capacity < 2 ? 2 : capacity))
{
}

FrameReader::~FrameReader()
{
    close();
}

bool FrameReader::open(const QString& path, int startFrame, cv::Mat& first, VideoProperties& props)
{
    close();
    const bool read = openVideoAt(capture, path, startFrame, first, &props);
    cursor.reset(startFrame + 1, props);
    unreadable = 0;
    if (read)
        start();
    return read;
}

void FrameReader::start()
{
    head = tail = count = 0;
    holding = finished = stopping = false;
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
        const bool ok = cursor.read(capture, frame);
        std::lock_guard<std::mutex> lock(mutex);
        unreadable = cursor.unreadable();
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

const FrameSource::Frame* FrameReader::next()
{
    release();
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [&] { return count > 0 || finished; });
    if (count == 0)
        return nullptr;
    holding = true;
    return &buffers[static_cast<size_t>(head)];
}

void FrameReader::release()
{
    std::lock_guard<std::mutex> lock(mutex);
    if (!holding || count == 0)
        return;
    holding = false;
    head = (head + 1) % static_cast<int>(buffers.size());
    --count;
    changed.notify_all();
}

long FrameReader::unreadableFrames() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return unreadable;
}

void FrameReader::close()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
        changed.notify_all();
    }
    if (thread.joinable())
        thread.join();
    capture.release();
}
