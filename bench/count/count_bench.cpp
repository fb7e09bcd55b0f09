// count_bench: how orvane-count's time compares with decoding alone, and how much memory it needs.
//
//   count_bench [--frames N] [--dir DIR] [--keep] [--video FILE] [--rounds N]
//
// Makes a 1920x1080 H.264 video of moving blobs (N frames, at least 1000), gives it a mask
// covering most of the frame and a counting box (or takes FILE with the regions saved beside it,
// e.g. footage made by orvane-makevideo --outdoor), then times in each round, one after the
// other: (i) a plain cv::VideoCapture decode of every frame, (ii) the orvane-count program next
// to this one with classic counting and (iii) with strict counting. It prints the median over the
// rounds (3 by default) of each ratio to (i), measured in the same round, so that a load that
// comes and goes on a shared machine weighs on both sides alike; then the peak memory of (ii)
// and (iii) and whether it stayed flat over the video, and the load average before and after.
#include "benchchild.h"
#include "benchvideo.h"
#include "exportpath.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace
{

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A field of /proc/PID/status in KiB ("VmRSS:" now, "VmHWM:" the peak so far), 0 when gone.
long statusKiB(pid_t pid, const char* field)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    const size_t length = std::strlen(field);
    while (std::getline(status, line)) {
        if (line.compare(0, length, field) == 0)
            return std::atol(line.c_str() + length);
    }
    return 0;
}

double ownCpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return benchchild::cpuSeconds(u);
}

struct ChildRun : benchchild::Run {
    long peakKiB = 0;
    std::vector<long> samples; // resident memory every 100 ms
};

ChildRun runCount(const std::string& program, const QString& video, const char* counting)
{
    ChildRun result;
    const std::vector<std::string> arguments{"--quiet", "--counting", counting,
                                             QFile::encodeName(video).toStdString()};
    static_cast<benchchild::Run&>(result) = benchchild::run(program, arguments, [&](pid_t pid) {
        // An ended child, not yet reaped, has no resident memory to show.
        if (const long resident = statusKiB(pid, "VmRSS:"))
            result.samples.push_back(resident);
        // The child's own peak: wait4's ru_maxrss would also count the parent's pages that the
        // child shared between spawning and exec.
        result.peakKiB = std::max(result.peakKiB, statusKiB(pid, "VmHWM:"));
    });
    return result;
}

// Flat: the resident memory over the last three quarters of the run grows by less than 32 MiB
// beyond what it was at the end of the first quarter.
bool flat(const std::vector<long>& samples, long* early, long* late)
{
    const size_t n = samples.size();
    if (n < 8)
        return true;
    *early = samples[n / 4];
    *late = 0;
    for (size_t i = n / 4; i < n; ++i)
        *late = std::max(*late, samples[i]);
    return *late - *early < 32 * 1024;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

std::string loadAverage()
{
    std::ifstream in("/proc/loadavg");
    std::string one, five, fifteen;
    in >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

struct Timed {
    double seconds = 0;
    double cpu = 0;
};

Timed timeDecode(const QString& video, long* frames)
{
    const double cpuBefore = ownCpuSeconds();
    const auto start = Clock::now();
    *frames = benchvideo::plainDecode(video);
    return {secondsSince(start), ownCpuSeconds() - cpuBefore};
}

// One mode's runs: elapsed and processor ratios to the decode of the same round, and memory.
struct ModeRuns {
    const char* name;
    const char* aim;
    std::vector<double> ratios, cpuRatios, seconds;
    long peakKiB = 0;
    bool isFlat = true;
    long early = 0, late = 0;
};

bool timeMode(const std::string& program, const QString& video, const Timed& decode, ModeRuns& mode)
{
    const ChildRun run = runCount(program, video, mode.name);
    if (run.exitStatus != 0) {
        std::fprintf(stderr, "count_bench: %s --counting %s failed with status %d\n",
                     program.c_str(), mode.name, run.exitStatus);
        return false;
    }
    mode.ratios.push_back(run.seconds / decode.seconds);
    mode.cpuRatios.push_back(run.cpu / decode.cpu);
    mode.seconds.push_back(run.seconds);
    mode.peakKiB = std::max(mode.peakKiB, run.peakKiB);
    long early = 0, late = 0;
    const bool wasFlat = flat(run.samples, &early, &late);
    if (mode.isFlat || !wasFlat) { // the figures of a run that was not flat are kept
        mode.early = early;
        mode.late = late;
    }
    mode.isFlat = mode.isFlat && wasFlat;
    std::printf("  %-8s %6.2f s, %6.2f s of CPU: %.2f x decode (%.2f x its CPU)\n", mode.name,
                run.seconds, run.cpu, mode.ratios.back(), mode.cpuRatios.back());
    return true;
}

void printMode(const ModeRuns& mode, long frames)
{
    std::printf("%-8s median %.2f x plain decode (aim: at most %s), %.2f x its CPU; %.1f "
                "frames/s\n",
                mode.name, median(mode.ratios), mode.aim, median(mode.cpuRatios),
                frames / median(mode.seconds));
    std::printf("         peak memory %.1f MiB; memory flat: %s (%.1f MiB after the first "
                "quarter, at most %.1f MiB afterwards)\n",
                mode.peakKiB / 1024.0, mode.isFlat ? "yes" : "no", mode.early / 1024.0,
                mode.late / 1024.0);
}

} // namespace

int main(int argc, char** argv)
{
    int frames = 1000;
    int rounds = 3;
    QString dirArg, videoArg;
    bool keep = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--frames" && i + 1 < argc)
            frames = std::max(1000, std::atoi(argv[++i]));
        else if (arg == "--dir" && i + 1 < argc)
            dirArg = QString::fromLocal8Bit(argv[++i]);
        else if (arg == "--video" && i + 1 < argc)
            videoArg = QString::fromLocal8Bit(argv[++i]);
        else if (arg == "--rounds" && i + 1 < argc)
            rounds = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--keep")
            keep = true;
        else {
            std::fprintf(stderr, "usage: count_bench [--frames N] [--dir DIR] [--keep] "
                                 "[--video FILE] [--rounds N]\n");
            return 64;
        }
    }
    QTemporaryDir temporary;
    temporary.setAutoRemove(!keep);
    const QString dir = dirArg.isEmpty() ? temporary.path() : dirArg;
    QDir().mkpath(dir);
    const QString video =
        videoArg.isEmpty() ? dir + QStringLiteral("/video_20260601_0930_01.mp4") : videoArg;
    const std::string program =
        QFileInfo(QString::fromLocal8Bit(argv[0])).absolutePath().toStdString() + "/orvane-count";

    if (videoArg.isEmpty() && !benchvideo::prepare(video, frames, "count_bench"))
        return 1;

    std::printf("load average before: %s\n", loadAverage().c_str());
    long decoded = 0;
    benchvideo::plainDecode(video); // warms the file cache and the decoder's libraries
    ModeRuns classic{"classic", "1.0", {}, {}, {}};
    ModeRuns strict{"strict", "0.9", {}, {}, {}};
    std::vector<double> decodeSeconds;
    for (int round = 1; round <= rounds; ++round) {
        const Timed decode = timeDecode(video, &decoded);
        decodeSeconds.push_back(decode.seconds);
        std::printf("round %d: plain decode %ld frames in %.2f s, %.2f s of CPU\n", round, decoded,
                    decode.seconds, decode.cpu);
        std::fflush(stdout);
        if (!timeMode(program, video, decode, classic) || !timeMode(program, video, decode, strict))
            return 1;
        std::fflush(stdout);
    }
    std::printf("plain decode: median %.2f s (%.1f frames/s)\n", median(decodeSeconds),
                decoded / median(decodeSeconds));
    printMode(classic, decoded);
    printMode(strict, decoded);
    std::printf("load average after: %s\n", loadAverage().c_str());
    return 0;
}
