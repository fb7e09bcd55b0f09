#include "framereader.h"

#include "yuvgrey.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixdesc.h>
}

FrameReader::FrameReader(int capacity) : buffers(static_cast<size_t>(capacity < 2 ? 2 : capacity))
{
    for (Frame& frame : buffers) {
        pictures.push_back(std::make_unique<Slot>());
        Slot* slot = pictures.back().get();
        frame.completeColour = [slot] { slot->complete(); };
    }
}

FrameReader::Slot::Slot() : decoded(av_frame_alloc()) {}

FrameReader::Slot::~Slot()
{
    av_frame_free(&decoded);
}

// Holds the decoder's picture (a reference, not a copy) and converts the analysed area of it.
bool FrameReader::Slot::take(const VideoDecoder& decoder, const cv::Rect& area,
                             Brightness brightness, FrameSource::Frame& frame)
{
    const AVFrame* picture = decoder.picture();
    av_frame_unref(decoded);
    lumaShown = false;
    if (!decoded || !picture->data[0] || av_frame_ref(decoded, picture) < 0)
        return false;
    coded = decoder.codedSize();
    if (takeArea(area, brightness, frame))
        return true;
    frame.grey.release();
    frame.greyArea = cv::Rect();
    whole = bgr.convert(decoded, coded, area.empty() ? 0 : area.y,
                        area.empty() ? coded.height : area.br().y);
    // Held only while needed: a damaged frame may show what its buffer held before, and the
    // decoder then reuses its buffers in the order cv::VideoCapture sees.
    if (whole)
        av_frame_unref(decoded);
    frame.colour = bgr.mat();
    return !frame.colour.empty();
}

namespace
{
// Whether the first plane of pictures of `format` holds the luma, one byte a pixel.
bool hasLumaPlane(int format)
{
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(format));
    return d &&
           !(d->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_BITSTREAM |
                         AV_PIX_FMT_FLAG_HWACCEL)) &&
           d->nb_components >= 1 && d->comp[0].plane == 0 && d->comp[0].step == 1 &&
           d->comp[0].depth == 8 && d->comp[0].shift == 0 && d->comp[0].offset == 0;
}
} // namespace

// The area as the frame's grey, the BGR picture left to complete(): asked for luma, the area of
// the decoded luma plane itself, held with the picture; else grey made straight from the planes
// where YuvGrey can. False when the picture gives neither.
bool FrameReader::Slot::takeArea(const cv::Rect& area, Brightness brightness,
                                 FrameSource::Frame& frame)
{
    const cv::Rect picture(0, 0, decoded->width, decoded->height);
    if (area.empty() || (area & picture) != area)
        return false;
    const bool luma =
        brightness == Brightness::Luma && hasLumaPlane(decoded->format) && decoded->linesize[0] > 0;
    const YuvGrey* converter = luma ? nullptr : YuvGrey::forPictures(decoded->format, coded);
    if ((!luma && !converter) || !bgr.prepare(decoded, coded) || bgr.mat().empty())
        return false;
    if (luma) {
        const size_t stride = static_cast<size_t>(decoded->linesize[0]);
        frame.grey =
            cv::Mat(area.height, area.width, CV_8UC1,
                    decoded->data[0] + static_cast<size_t>(area.y) * stride + area.x, stride);
    } else {
        converter->convert(decoded, area, grey);
        frame.grey = grey;
    }
    lumaShown = luma;
    frame.greyArea = area;
    frame.colour = bgr.mat();
    whole = false;
    return true;
}

void FrameReader::Slot::complete()
{
    if (whole)
        return;
    bgr.convert(decoded, coded, 0, coded.height);
    // A frame's luma is read from the picture itself, which is held until the slot is reused.
    if (!lumaShown)
        av_frame_unref(decoded);
    whole = true;
}

void FrameReader::Slot::drop()
{
    av_frame_unref(decoded);
    whole = true;
}

bool FrameReader::DirectInput::read(FrameSource::Frame& frame)
{
    const size_t slot = static_cast<size_t>(&frame - reader.buffers.data());
    return reader.decoder.grab() &&
           reader.pictures[slot]->take(reader.decoder, reader.analysed, reader.brightness, frame);
}

FrameReader::~FrameReader()
{
    close();
}

bool FrameReader::open(const QString& path, int startFrame, cv::Mat& first, VideoProperties& props)
{
    close();
    for (Frame& frame : buffers) {
        frame.colour.release();
        frame.grey.release();
    }
    bool read = false;
    if (!path.isEmpty() && decoder.open(decoderPath(path))) {
        input = &directInput;
        read = openDirect(startFrame, first, props);
    } else {
        read = openCapture(path, startFrame, first, props);
    }
    cursor.reset(startFrame + 1, props);
    unreadable = 0;
    if (read)
        start();
    return read;
}

bool FrameReader::openCapture(const QString& path, int startFrame, cv::Mat& first,
                              VideoProperties& props)
{
    props = VideoProperties();
    if (!capture)
        capture = loadCaptureReader();
    captureInput.readFrom(capture.get());
    input = &captureInput;
    return capture && capture->open(path, startFrame, first, props);
}

// The first frame is converted whole, into the caller's picture.
bool FrameReader::openDirect(int startFrame, cv::Mat& first, VideoProperties& props)
{
    props = decoder.properties();
    decoder.seek(startFrame);
    Slot& slot = *pictures.front();
    if (!decoder.grab() || !slot.take(decoder, cv::Rect(), brightness, buffers.front()))
        return false;
    buffers.front().colour.copyTo(first);
    return !first.empty();
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
        const bool ok = cursor.read(*input, frame);
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
    if (capture)
        capture->release();
    for (auto& slot : pictures)
        slot->drop();
    decoder.close();
}
