#include "h264writer.h"

#include <opencv2/imgproc.hpp>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
}

namespace videogen
{

namespace
{
constexpr double keyframeSeconds = 2;
constexpr const char* preset = "veryfast";
constexpr const char* steadyQuality = "20"; // x264's constant rate factor without a bit rate
} // namespace

struct H264Writer::Encoder {
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    AVStream* stream = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    cv::Mat yuv;
    int64_t next = 0;
    bool failed = false;
    std::string path;

    ~Encoder()
    {
        av_packet_free(&packet);
        av_frame_free(&frame);
        avcodec_free_context(&codec);
        if (format && format->pb)
            avio_closep(&format->pb);
        avformat_free_context(format);
    }

    bool fail(const std::string& what, std::string* error)
    {
        failed = true;
        if (error)
            *error = what + " " + path;
        return false;
    }

    // Hands every packet the encoder has ready to the file.
    bool drain()
    {
        for (;;) {
            const int got = avcodec_receive_packet(codec, packet);
            if (got == AVERROR(EAGAIN) || got == AVERROR_EOF)
                return true;
            if (got < 0)
                return false;
            av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
            packet->stream_index = stream->index;
            if (av_interleaved_write_frame(format, packet) < 0)
                return false;
        }
    }

    bool openCodec(cv::Size size, double fps, double kbit)
    {
        const AVCodec* x264 = avcodec_find_encoder_by_name("libx264");
        if (!x264)
            return false;
        codec = avcodec_alloc_context3(x264);
        if (!codec)
            return false;
        codec->width = size.width;
        codec->height = size.height;
        codec->pix_fmt = AV_PIX_FMT_YUV420P;
        codec->framerate = av_d2q(fps, 100000);
        codec->time_base = av_inv_q(codec->framerate);
        codec->gop_size = std::max(1, static_cast<int>(std::lround(keyframeSeconds * fps)));
        codec->max_b_frames = 0;
        // One thread: x264's output then depends on nothing but the frames and these settings.
        codec->thread_count = 1;
        codec->flags |= AV_CODEC_FLAG_BITEXACT;
        if (format->oformat->flags & AVFMT_GLOBALHEADER)
            codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        av_opt_set(codec->priv_data, "preset", preset, 0);
        if (kbit > 0)
            codec->bit_rate = static_cast<int64_t>(kbit * 1000);
        else
            av_opt_set(codec->priv_data, "crf", steadyQuality, 0);
        return avcodec_open2(codec, x264, nullptr) >= 0;
    }
};

H264Writer::H264Writer() = default;
H264Writer::~H264Writer() = default;

bool H264Writer::open(const std::string& path, cv::Size size, double fps, double kbitPerSecond,
                      std::string* error)
{
    // The encoder's statistics would drown a tool's or a test's own output.
    av_log_set_level(AV_LOG_ERROR);
    encoder = std::make_unique<Encoder>();
    Encoder& e = *encoder;
    e.path = path;
    if (size.width % 2 != 0 || size.height % 2 != 0 || size.width <= 0 || size.height <= 0)
        return e.fail("H.264 needs an even frame size to write", error);
    if (avformat_alloc_output_context2(&e.format, nullptr, "mp4", path.c_str()) < 0)
        return e.fail("cannot prepare", error);
    e.format->flags |= AVFMT_FLAG_BITEXACT;
    if (!e.openCodec(size, fps, kbitPerSecond))
        return e.fail("no H.264 encoder (libx264) for", error);
    e.stream = avformat_new_stream(e.format, nullptr);
    e.frame = av_frame_alloc();
    e.packet = av_packet_alloc();
    if (!e.stream || !e.frame || !e.packet ||
        avcodec_parameters_from_context(e.stream->codecpar, e.codec) < 0)
        return e.fail("cannot prepare", error);
    e.stream->time_base = e.codec->time_base;
    e.frame->format = AV_PIX_FMT_YUV420P;
    e.frame->width = size.width;
    e.frame->height = size.height;
    if (av_frame_get_buffer(e.frame, 0) < 0 ||
        avio_open(&e.format->pb, path.c_str(), AVIO_FLAG_WRITE) < 0 ||
        avformat_write_header(e.format, nullptr) < 0)
        return e.fail("cannot write video", error);
    return true;
}

bool H264Writer::write(const cv::Mat& bgr)
{
    if (!encoder || encoder->failed)
        return false;
    Encoder& e = *encoder;
    if (bgr.type() != CV_8UC3 || bgr.cols != e.codec->width || bgr.rows != e.codec->height)
        return e.fail("wrong frame for", nullptr);
    cv::cvtColor(bgr, e.yuv, cv::COLOR_BGR2YUV_I420);
    if (av_frame_make_writable(e.frame) < 0)
        return e.fail("cannot write video", nullptr);
    const int w = bgr.cols, h = bgr.rows;
    const uchar* plane[3] = {e.yuv.data, e.yuv.data + w * h,
                             e.yuv.data + w * h + (w / 2) * (h / 2)};
    const int width[3] = {w, w / 2, w / 2}, height[3] = {h, h / 2, h / 2};
    for (int p = 0; p < 3; ++p)
        for (int y = 0; y < height[p]; ++y)
            std::copy_n(plane[p] + y * width[p], width[p],
                        e.frame->data[p] + y * e.frame->linesize[p]);
    e.frame->pts = e.next++;
    if (avcodec_send_frame(e.codec, e.frame) < 0 || !e.drain())
        return e.fail("cannot write video", nullptr);
    return true;
}

bool H264Writer::close(std::string* error)
{
    if (!encoder)
        return false;
    Encoder& e = *encoder;
    bool ok = !e.failed && avcodec_send_frame(e.codec, nullptr) >= 0 && e.drain() &&
              av_write_trailer(e.format) >= 0;
    if (e.format->pb)
        ok = avio_closep(&e.format->pb) >= 0 && ok;
    const std::string path = e.path;
    encoder.reset();
    if (!ok && error)
        *error = "cannot write video " + path;
    return ok;
}

} // namespace videogen
