#include "h264wrapper.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
}

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace
{

std::string describe(int averror)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(averror, text, sizeof text);
    return text;
}

// Prints one progress line, e.g. `Importing AVC-H264: |=====     | (45/100)`.
class Progress
{
public:
    explicit Progress(const char* phase) : phase(phase) {}

    void report(int64_t done, int64_t total)
    {
        const int percent = total > 0 ? static_cast<int>(done * 100 / total) : 100;
        if (percent == last || percent < 0 || percent > 100)
            return;
        last = percent;
        const int filled = (percent + 5) / 10;
        std::printf("%s: |%.*s%.*s| (%d/100)\n", phase, filled, "==========", 10 - filled,
                    "          ", percent);
        std::fflush(stdout);
    }

private:
    const char* phase;
    int last = -1;
};

struct InputCloser {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
using Input = std::unique_ptr<AVFormatContext, InputCloser>;

struct OutputCloser {
    void operator()(AVFormatContext* context) const
    {
        if (context->pb)
            avio_closep(&context->pb);
        avformat_free_context(context);
    }
};
using Output = std::unique_ptr<AVFormatContext, OutputCloser>;

struct PacketFree {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
using Packet = std::unique_ptr<AVPacket, PacketFree>;

bool checkReadable(const std::string& path, struct stat& info, std::string& error)
{
    if (stat(path.c_str(), &info) != 0) {
        error = "cannot find input file '" + path + "'";
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        error = "input '" + path + "' is not a regular file";
        return false;
    }
    if (access(path.c_str(), R_OK) != 0) {
        error = "cannot read input file '" + path + "' (permission denied)";
        return false;
    }
    return true;
}

// The output replaces only a regular file, and never the input itself (by any of its names):
// a device or a FIFO would otherwise be swapped for a regular file, the input lost.
bool checkWritable(const std::string& path, const struct stat& input, std::string& error)
{
    struct stat info {
    };
    if (stat(path.c_str(), &info) != 0)
        return true; // nothing there yet (a missing folder is told when writing)
    if (info.st_dev == input.st_dev && info.st_ino == input.st_ino) {
        error = "output '" + path + "' is the input file";
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        error = "output '" + path + "' exists and is not a regular file";
        return false;
    }
    return true;
}

// The temporary file being written, removed by the signal handler; a fixed buffer, since the
// handler may use nothing else.
char partialPath[4096] = {};

void removePartialAndDie(int signal)
{
    if (partialPath[0] != '\0')
        unlink(partialPath);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// The signals that end the program with its partial file removed: Ctrl-C, kill, a closed terminal.
constexpr int interruptions[] = {SIGINT, SIGTERM, SIGHUP};

// Holds SIGINT, SIGTERM and SIGHUP back for its lifetime, so that the file and its name for the
// handler come into being together.
class InterruptionsHeld
{
public:
    InterruptionsHeld()
    {
        sigset_t held;
        sigemptyset(&held);
        for (const int signal : interruptions)
            sigaddset(&held, signal);
        sigprocmask(SIG_BLOCK, &held, &previous);
    }
    ~InterruptionsHeld() { sigprocmask(SIG_SETMASK, &previous, nullptr); }

private:
    sigset_t previous;
};

// The partial file stays open, locked, while it is written: the lock marks it as in use, and
// the system drops it when the program ends however it ends (kill -9 included).
int partialHandle = -1;

bool isPartialOf(const std::string& output, const std::string& name)
{
    const std::string base = output.substr(output.find_last_of('/') + 1);
    const std::string suffix = ".part";
    constexpr std::size_t tagLength = 6; // mkstemps' XXXXXX
    return name.size() == base.size() + 1 + tagLength + suffix.size() &&
           name.compare(0, base.size() + 1, base + ".") == 0 &&
           name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool inUse(const std::string& path)
{
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return true;
    const bool held = flock(fd, LOCK_EX | LOCK_NB) != 0;
    close(fd);
    return held;
}

// The partial files of this output that a killed run left (SIGKILL, a power cut): older than
// this run and not in use by a live one.
void removeLeftovers(const std::string& output, time_t runStart)
{
    const std::size_t slash = output.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : output.substr(0, slash + 1);
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return;
    while (const dirent* entry = readdir(dir)) {
        const std::string path = (slash == std::string::npos ? "" : folder) + entry->d_name;
        struct stat info {
        };
        if (isPartialOf(output, entry->d_name) && lstat(path.c_str(), &info) == 0 &&
            S_ISREG(info.st_mode) && info.st_mtime < runStart && !inUse(path))
            unlink(path.c_str());
    }
    closedir(dir);
}

// A file beside the output with a name of its own ("OUT.XXXXXX.part"), so that no other file,
// a stray .part left by someone else included, is ever overwritten. Interrupting the program
// removes it.
bool createPartial(const std::string& output, std::string& partial, std::string& error)
{
    std::string name = output + ".XXXXXX.part";
    if (name.size() >= sizeof partialPath) {
        error = "output path too long: '" + output + "'";
        return false;
    }
    InterruptionsHeld held;
    const int fd = mkstemps(name.data(), 5);
    if (fd < 0) {
        error = "cannot write '" + output + "': " + std::strerror(errno);
        return false;
    }
    std::memcpy(partialPath, name.c_str(), name.size() + 1);
    for (const int signal : interruptions)
        std::signal(signal, removePartialAndDie);
    // mkstemps makes the file private; the result gets the usual permissions.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    flock(fd, LOCK_SH);
    partialHandle = fd;
    partial = name;
    return true;
}

// The partial file by its open handle where the system offers one: whatever someone puts at its
// name meanwhile (a link to another file), the writer opens the file created above.
std::string heldPartial(const std::string& partial)
{
    const std::string held = "/proc/self/fd/" + std::to_string(partialHandle);
    struct stat byHandle {
    }, byName{};
    if (partialHandle >= 0 && fstat(partialHandle, &byHandle) == 0 &&
        stat(held.c_str(), &byName) == 0 && byName.st_ino == byHandle.st_ino &&
        byName.st_dev == byHandle.st_dev)
        return held;
    return partial;
}

// The written file reaches the disk before it takes the output's name.
bool syncPartial(std::string& error, const std::string& output)
{
    if (fsync(partialHandle) == 0)
        return true;
    error = "cannot write '" + output + "': " + std::strerror(errno);
    return false;
}

// Once the file is renamed into place, or removed, an interruption has nothing to clean up.
void forgetPartial()
{
    for (const int signal : interruptions)
        std::signal(signal, SIG_DFL);
    partialPath[0] = '\0';
    close(partialHandle);
    partialHandle = -1;
}

// Opens the file with the raw H.264 demuxer, which numbers the frames at `fps`.
Input openInput(const Options& options, std::string& error)
{
    AVFormatContext* context = nullptr;
    AVDictionary* demuxerOptions = nullptr;
    av_dict_set_int(&demuxerOptions, "framerate", options.fps, 0);
    const int result = avformat_open_input(&context, options.input.c_str(),
                                           av_find_input_format("h264"), &demuxerOptions);
    av_dict_free(&demuxerOptions);
    if (result < 0) {
        error = "cannot read input file '" + options.input + "': " + describe(result);
        return nullptr;
    }
    Input input(context);
    const AVCodecParameters* codec = nullptr;
    if (avformat_find_stream_info(context, nullptr) >= 0 && context->nb_streams == 1)
        codec = context->streams[0]->codecpar;
    if (!codec || codec->codec_id != AV_CODEC_ID_H264 || codec->width <= 0 || codec->height <= 0) {
        error = "'" + options.input + "' is not a raw H.264 stream";
        return nullptr;
    }
    return input;
}

// What the first phase learns about the stream.
struct StreamIndex {
    int64_t frames = 0;
    // Presentation time of each frame in decoding order, in frames; empty when the stream has
    // no reordered frames, whose presentation order is then the decoding order.
    std::vector<int64_t> presentation;
};

struct DecoderFree {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
using Decoder = std::unique_ptr<AVCodecContext, DecoderFree>;

struct FrameFree {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};

// Learns the presentation order of a stream with reordered (B-) frames by decoding it: each
// packet carries its decoding index as timestamp, and the decoder hands the pictures back in
// presentation order. Nothing decoded is kept.
class FrameOrder
{
public:
    bool open(const AVCodecParameters* codec)
    {
        const AVCodec* h264 = avcodec_find_decoder(AV_CODEC_ID_H264);
        decoder.reset(h264 ? avcodec_alloc_context3(h264) : nullptr);
        return decoder && avcodec_parameters_to_context(decoder.get(), codec) >= 0 &&
               avcodec_open2(decoder.get(), h264, nullptr) >= 0;
    }

    void add(AVPacket* packet, int64_t index)
    {
        packet->pts = index;
        packet->dts = AV_NOPTS_VALUE;
        ranks.push_back(-1);
        if (avcodec_send_packet(decoder.get(), packet) >= 0)
            drain();
    }

    // Presentation times, shifted so that no frame is presented before it is decoded.
    std::vector<int64_t> finish()
    {
        avcodec_send_packet(decoder.get(), nullptr);
        drain();
        int64_t shift = 0;
        for (size_t i = 0; i < ranks.size(); ++i)
            if (ranks[i] >= 0 && static_cast<int64_t>(i) - ranks[i] > shift)
                shift = static_cast<int64_t>(i) - ranks[i];
        std::vector<int64_t> presentation(ranks.size());
        for (size_t i = 0; i < ranks.size(); ++i)
            presentation[i] = (ranks[i] >= 0 ? ranks[i] : static_cast<int64_t>(i)) + shift;
        return presentation;
    }

private:
    void drain()
    {
        while (avcodec_receive_frame(decoder.get(), frame.get()) >= 0) {
            // The packet's own timestamp; the best-effort one may fall back to other guesses.
            const int64_t index = frame->pts;
            if (index >= 0 && index < static_cast<int64_t>(ranks.size()))
                ranks[index] = shown++;
            av_frame_unref(frame.get());
        }
    }

    Decoder decoder;
    std::unique_ptr<AVFrame, FrameFree> frame{av_frame_alloc()};
    std::vector<int64_t> ranks;
    int64_t shown = 0;
};

// First phase: reads the whole stream once to count its frames, check that it holds some and,
// when its frames are reordered, learn their presentation order.
bool indexStream(AVFormatContext* input, int64_t fileSize, StreamIndex& index, std::string& error)
{
    Progress progress("Importing AVC-H264");
    progress.report(0, fileSize);
    FrameOrder order;
    const bool reordered = input->streams[0]->codecpar->video_delay > 0;
    if (reordered && !order.open(input->streams[0]->codecpar)) {
        error = "cannot open an H.264 decoder to order the frames";
        return false;
    }
    Packet packet(av_packet_alloc());
    int result = 0;
    while ((result = av_read_frame(input, packet.get())) >= 0) {
        if (reordered)
            order.add(packet.get(), index.frames);
        ++index.frames;
        av_packet_unref(packet.get());
        progress.report(avio_tell(input->pb), fileSize);
    }
    if (result != AVERROR_EOF) {
        error = "error while reading the input: " + describe(result);
        return false;
    }
    if (index.frames == 0) {
        error = "the input holds no H.264 frames";
        return false;
    }
    if (reordered)
        index.presentation = order.finish();
    progress.report(fileSize, fileSize);
    return true;
}

Output openOutput(const std::string& path, const std::string& shownPath, const AVStream* source,
                  int fps, std::string& error)
{
    AVFormatContext* context = nullptr;
    const int allocated = avformat_alloc_output_context2(&context, nullptr, "mp4", path.c_str());
    if (allocated < 0 || !context) {
        error = "cannot create an MP4 writer: " + describe(allocated);
        return nullptr;
    }
    Output output(context);
    AVStream* stream = avformat_new_stream(context, nullptr);
    if (!stream || avcodec_parameters_copy(stream->codecpar, source->codecpar) < 0) {
        error = "cannot set up the MP4 video track";
        return nullptr;
    }
    stream->codecpar->codec_tag = 0;
    stream->time_base = AVRational{1, fps};
    stream->avg_frame_rate = AVRational{fps, 1};
    stream->r_frame_rate = AVRational{fps, 1};
    const int opened = avio_open(&context->pb, path.c_str(), AVIO_FLAG_WRITE);
    if (opened < 0) {
        error = "cannot write '" + shownPath + "': " + describe(opened);
        return nullptr;
    }
    return output;
}

// Gives frame `index` (in decoding order) its decoding and presentation time, in frames.
void stampPacket(AVPacket* packet, int64_t index, const StreamIndex& stream)
{
    packet->dts = index;
    packet->pts = stream.presentation.empty() ? index : stream.presentation[index];
    packet->duration = 1;
    packet->stream_index = 0;
    packet->pos = -1;
}

// Second phase: copies every frame into the MP4 file at `path`.
bool writeStream(AVFormatContext* input, const std::string& path, const std::string& shownPath,
                 int fps, const StreamIndex& stream, std::string& error)
{
    Output output = openOutput(path, shownPath, input->streams[0], fps, error);
    if (!output)
        return false;
    int result = avformat_write_header(output.get(), nullptr);
    if (result < 0) {
        error = "cannot write the MP4 header: " + describe(result);
        return false;
    }
    Progress progress("ISO File Writing");
    const int64_t frames = stream.frames;
    progress.report(0, frames);
    Packet packet(av_packet_alloc());
    const AVRational frameTime{1, fps};
    int64_t index = 0;
    while ((result = av_read_frame(input, packet.get())) >= 0) {
        // A stream that grew since it was indexed is cut at the frames counted then.
        if (index >= frames) {
            av_packet_unref(packet.get());
            break;
        }
        stampPacket(packet.get(), index, stream);
        av_packet_rescale_ts(packet.get(), frameTime, output->streams[0]->time_base);
        result = av_interleaved_write_frame(output.get(), packet.get());
        if (result < 0) {
            error = "cannot write '" + shownPath + "': " + describe(result);
            return false;
        }
        progress.report(++index, frames);
    }
    if (result < 0 && result != AVERROR_EOF) {
        error = "error while reading the input: " + describe(result);
        return false;
    }
    result = av_write_trailer(output.get());
    if (result >= 0)
        result = avio_closep(&output->pb);
    if (result < 0) {
        error = "cannot finish '" + shownPath + "': " + describe(result);
        return false;
    }
    progress.report(frames, frames);
    return true;
}

// Both phases, the output going to `partial`.
bool wrapInto(const Options& options, int64_t fileSize, const std::string& partial,
              std::string& error)
{
    StreamIndex stream;
    {
        Input input = openInput(options, error);
        if (!input || !indexStream(input.get(), fileSize, stream, error))
            return false;
    }
    // The stream is read again from its start for writing, so memory use stays flat however
    // long the recording is.
    Input input = openInput(options, error);
    return input && writeStream(input.get(), heldPartial(partial), options.output, options.fps,
                                stream, error);
}

} // namespace

bool wrapH264(const Options& options, std::string& error)
{
    av_log_set_level(AV_LOG_QUIET);
    struct stat input {
    };
    if (!checkReadable(options.input, input, error) || !checkWritable(options.output, input, error))
        return false;
    removeLeftovers(options.output, time(nullptr));
    std::string partial;
    if (!createPartial(options.output, partial, error))
        return false;
    bool written =
        wrapInto(options, input.st_size, partial, error) && syncPartial(error, options.output);
    InterruptionsHeld held; // the file goes, renamed or removed, with its name for the handler
    if (written && std::rename(partial.c_str(), options.output.c_str()) != 0) {
        error = "cannot write '" + options.output + "': " + std::strerror(errno);
        written = false;
    }
    if (!written)
        std::remove(partial.c_str());
    forgetPartial();
    return written;
}
