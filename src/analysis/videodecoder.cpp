#include "videodecoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <climits>
#include <cmath>
#include <thread>

namespace
{
// cv::VideoCapture's thresholds: a rate or duration below this is none.
constexpr double epsZero = 0.000025;
// Its limit on packets of other streams and failed decodes, together, while looking for a frame.
constexpr int maxAttempts = 1 << 9;
// Its decoder threads: one per processor, at most 16.
constexpr unsigned maxThreads = 16;
// Its row alignment of the BGR picture.
constexpr int bgrAlignment = 32;

double r2d(AVRational r)
{
    return r.num == 0 || r.den == 0 ? 0. : static_cast<double>(r.num) / r.den;
}

bool isRotated(const AVStream* stream)
{
    const AVDictionaryEntry* rotate = av_dict_get(stream->metadata, "rotate", nullptr, 0);
    if (rotate && std::atoi(rotate->value) % 180 != 0)
        return true;
    const uint8_t* matrix = av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, nullptr);
    if (!matrix)
        return false;
    const double angle = av_display_rotation_get(reinterpret_cast<const int32_t*>(matrix));
    return std::isfinite(angle) && std::lround(angle) % 180 != 0;
}
} // namespace

VideoDecoder::VideoDecoder() : stamp(AV_NOPTS_VALUE) {}

VideoDecoder::~VideoDecoder()
{
    close();
}

void VideoDecoder::close()
{
    avcodec_free_context(&codec);
    avformat_close_input(&format);
    av_frame_free(&decoded);
    av_packet_free(&packet);
    stream = -1;
    stamp = AV_NOPTS_VALUE;
    frameNumber = 0;
    firstFrameNumber = -1;
}

bool VideoDecoder::open(const std::string& path)
{
    close();
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0)
        return false;
    if (avformat_find_stream_info(format, nullptr) < 0) {
        close();
        return false;
    }
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVStream* s = format->streams[i];
        if (s->codecpar->codec_type != AVMEDIA_TYPE_VIDEO)
            continue;
        const AVCodec* decoder = avcodec_find_decoder(s->codecpar->codec_id);
        codec = decoder ? avcodec_alloc_context3(decoder) : nullptr;
        if (!codec || avcodec_parameters_to_context(codec, s->codecpar) < 0 || isRotated(s))
            break;
        codec->thread_count =
            static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, maxThreads));
        if (avcodec_open2(codec, decoder, nullptr) < 0)
            break;
        stream = static_cast<int>(i);
        decoded = av_frame_alloc();
        packet = av_packet_alloc();
        return decoded && packet;
    }
    close();
    return false;
}

VideoProperties VideoDecoder::properties() const
{
    VideoProperties p;
    if (!isOpen())
        return p;
    p.opened = true;
    p.frameWidth = format->streams[stream]->codecpar->width;
    p.frameHeight = format->streams[stream]->codecpar->height;
    p.fps = fps();
    p.containerFrames = static_cast<double>(totalFrames());
    return p;
}

cv::Size analysedFrameSize(const QString& path, int startFrame)
{
    VideoDecoder decoder;
    if (decoder.open(decoderPath(path))) {
        const VideoProperties p = decoder.properties();
        if (p.frameWidth > 0 && p.frameHeight > 0)
            return {p.frameWidth, p.frameHeight};
    }
    const std::unique_ptr<CaptureReader> capture = loadCaptureReader();
    cv::Mat frame;
    VideoProperties props;
    return capture && capture->open(path, startFrame, frame, props) ? frame.size() : cv::Size();
}

cv::Size VideoDecoder::codedSize() const
{
    return codec ? cv::Size(codec->coded_width, codec->coded_height) : cv::Size();
}

double VideoDecoder::fps() const
{
    const AVStream* s = format->streams[stream];
    double rate = r2d(s->avg_frame_rate);
    if (rate < epsZero)
        rate = r2d(av_guess_frame_rate(format, const_cast<AVStream*>(s), nullptr));
    if (rate < epsZero)
        rate = 1.0 / r2d(s->time_base);
    return rate;
}

double VideoDecoder::durationSeconds() const
{
    double seconds = static_cast<double>(format->duration) / AV_TIME_BASE;
    if (seconds < epsZero) {
        const AVStream* s = format->streams[stream];
        seconds = static_cast<double>(s->duration) * r2d(s->time_base);
    }
    return seconds;
}

int64_t VideoDecoder::totalFrames() const
{
    const int64_t frames = format->streams[stream]->nb_frames;
    if (frames != 0)
        return frames;
    return static_cast<int64_t>(std::floor(durationSeconds() * fps() + 0.5));
}

double VideoDecoder::secondsOf(int64_t at) const
{
    const AVStream* s = format->streams[stream];
    return static_cast<double>(at - s->start_time) * r2d(s->time_base);
}

int64_t VideoDecoder::frameNumberOf(int64_t at) const
{
    return static_cast<int64_t>(fps() * secondsOf(at) + 0.5);
}

double VideoDecoder::positionMs() const
{
    return !isOpen() || stamp == AV_NOPTS_VALUE ? 0 : secondsOf(stamp) * 1000;
}

// A frame may wait in the decoder from the packet before (it then has no time stamp, as with
// cv::VideoCapture); else packets are read and sent until one comes out. At the end of the file
// an empty packet drains the decoder.
bool VideoDecoder::grab()
{
    if (!isOpen())
        return false;
    const int64_t declared = format->streams[stream]->nb_frames;
    if (declared > 0 && frameNumber > declared)
        return false;
    stamp = AV_NOPTS_VALUE;
    bool valid = avcodec_receive_frame(codec, decoded) >= 0;
    int errors = 0;
    while (!valid) {
        av_packet_unref(packet);
        int ret = av_read_frame(format, packet);
        if (ret == AVERROR(EAGAIN))
            continue;
        if (ret == AVERROR_EOF) {
            packet->data = nullptr;
            packet->size = 0;
            packet->stream_index = stream;
        }
        if (packet->stream_index != stream) {
            av_packet_unref(packet);
            if (++errors > maxAttempts)
                break;
            continue;
        }
        if (avcodec_send_packet(codec, packet) < 0)
            break;
        ret = avcodec_receive_frame(codec, decoded);
        if (ret >= 0) {
            stamp = decoded->pts != AV_NOPTS_VALUE && decoded->pts != 0 ? decoded->pts
                                                                        : decoded->pkt_dts;
            valid = true;
        } else if (ret != AVERROR(EAGAIN) && ++errors > maxAttempts) {
            break;
        }
    }
    if (!valid)
        return false;
    ++frameNumber;
    if (firstFrameNumber < 0)
        firstFrameNumber = frameNumberOf(stamp);
    return true;
}

// Seeks to a key frame some way before the frame, by time, then reads up to it; when the key
// frame found lies past it, seeks farther back.
void VideoDecoder::seek(int64_t target)
{
    if (!isOpen())
        return;
    target = std::min(target, totalFrames());
    int64_t delta = 16;
    if (firstFrameNumber < 0 && totalFrames() > 1)
        grab();
    const AVStream* s = format->streams[stream];
    for (;;) {
        const int64_t from = std::max<int64_t>(target - delta, 0);
        const double seconds = static_cast<double>(from) / fps();
        const int64_t at = s->start_time + static_cast<int64_t>(seconds / r2d(s->time_base) + 0.5);
        if (totalFrames() > 1)
            av_seek_frame(format, stream, at, AVSEEK_FLAG_BACKWARD);
        avcodec_flush_buffers(codec);
        if (target <= 0) {
            frameNumber = 0;
            break;
        }
        grab();
        if (target == 1) {
            frameNumber = 1;
            break;
        }
        frameNumber = frameNumberOf(stamp) - firstFrameNumber;
        if (frameNumber < 0 || frameNumber > target - 1) {
            if (from == 0 || delta >= INT_MAX / 4)
                break;
            delta = delta < 16 ? delta * 2 : delta * 3 / 2;
            continue;
        }
        while (frameNumber < target - 1) {
            if (!grab())
                break;
        }
        ++frameNumber;
        break;
    }
    stamp = target;
}

BgrPicture::~BgrPicture()
{
    sws_freeContext(whole);
    sws_freeContext(band);
    av_frame_free(&bgr);
}

// The converter and buffer of cv::VideoCapture: the coded size (a multiple of the macroblock),
// bicubic flags, rows aligned to 32 bytes; the picture shows the frame's own size.
bool BgrPicture::prepare(const AVFrame* frame, cv::Size coded)
{
    if (whole && bgr && frame->format == format && coded == codedSize)
        return true;
    picture.release();
    sws_freeContext(band);
    band = nullptr;
    bandRows = 0;
    format = frame->format;
    codedSize = coded;
    const auto pixels = static_cast<AVPixelFormat>(format);
    whole =
        sws_getCachedContext(whole, coded.width, coded.height, pixels, coded.width, coded.height,
                             AV_PIX_FMT_BGR24, SWS_BICUBIC, nullptr, nullptr, nullptr);
    av_frame_free(&bgr);
    bgr = av_frame_alloc();
    if (!whole || !bgr)
        return false;
    bgr->format = AV_PIX_FMT_BGR24;
    bgr->width = coded.width;
    bgr->height = coded.height;
    if (av_frame_get_buffer(bgr, bgrAlignment) != 0) {
        av_frame_free(&bgr);
        return false;
    }
    picture = cv::Mat(std::min(frame->height, coded.height), std::min(frame->width, coded.width),
                      CV_8UC3, bgr->data[0], static_cast<size_t>(bgr->linesize[0]));
    return true;
}

bool BgrPicture::convert(const AVFrame* frame, cv::Size coded, int top, int bottom)
{
    if (!frame || !prepare(frame, coded))
        return true;
    const bool pairsOfRows =
        (format == AV_PIX_FMT_YUV420P || format == AV_PIX_FMT_YUVJ420P) && coded.height % 2 == 0;
    top = std::max(0, top) & ~1;
    bottom = std::min(coded.height, (bottom + 1) & ~1);
    if (pairsOfRows && top < bottom && bottom - top < coded.height &&
        convertBand(frame, top, bottom))
        return false;
    sws_scale(whole, frame->data, frame->linesize, 0, coded.height, bgr->data, bgr->linesize);
    return true;
}

// A converter of its own for the band, of the full width, fed the planes from the band's first
// row on; the chroma rows follow the luma rows two by two as in the whole picture.
bool BgrPicture::convertBand(const AVFrame* frame, int top, int bottom)
{
    const int rows = bottom - top;
    if (!band || bandRows != rows) {
        band = sws_getCachedContext(band, codedSize.width, rows, static_cast<AVPixelFormat>(format),
                                    codedSize.width, rows, AV_PIX_FMT_BGR24, SWS_BICUBIC, nullptr,
                                    nullptr, nullptr);
        bandRows = band ? rows : 0;
    }
    if (!band)
        return false;
    const uint8_t* source[4] = {frame->data[0] + top * frame->linesize[0],
                                frame->data[1] + top / 2 * frame->linesize[1],
                                frame->data[2] + top / 2 * frame->linesize[2], nullptr};
    uint8_t* target[4] = {bgr->data[0] + top * bgr->linesize[0], nullptr, nullptr, nullptr};
    sws_scale(band, source, frame->linesize, 0, rows, target, bgr->linesize);
    return true;
}
