// count_bench: how much slower orvane-count is than decoding alone, and how much memory it needs.
//
//   count_bench [--frames N] [--dir DIR] [--keep]
//
// Makes a 1920x1080 H.264 video of moving blobs (N frames, at least 1000), gives it a mask
// covering most of the frame and a counting box, then times (i) a plain cv::VideoCapture decode
// of the whole video and (ii) the orvane-count program next to this one analysing it, and prints
// the ratio (ii)/(i), the peak memory of (ii) and whether its memory stayed flat. Then (iii) the
// same analysis with strict counting, and the ratio (iii)/(ii).
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
        result.samples.push_back(statusKiB(pid, "VmRSS:"));
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

} // namespace

int main(int argc, char** argv)
{
    int frames = 1000;
    QString dirArg;
    bool keep = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--frames" && i + 1 < argc)
            frames = std::max(1000, std::atoi(argv[++i]));
        else if (arg == "--dir" && i + 1 < argc)
            dirArg = QString::fromLocal8Bit(argv[++i]);
        else if (arg == "--keep")
            keep = true;
        else {
            std::fprintf(stderr, "usage: count_bench [--frames N] [--dir DIR] [--keep]\n");
            return 64;
        }
    }
    QTemporaryDir temporary;
    temporary.setAutoRemove(!keep);
    const QString dir = dirArg.isEmpty() ? temporary.path() : dirArg;
    QDir().mkpath(dir);
    const QString video = dir + QStringLiteral("/video_20260601_0930_01.mp4");
    const std::string program =
        QFileInfo(QString::fromLocal8Bit(argv[0])).absolutePath().toStdString() + "/orvane-count";

    if (!QFileInfo::exists(video)) {
        std::printf("Writing a 1920x1080 H.264 video of %d frames to %s ...\n", frames,
                    qPrintable(video));
        std::fflush(stdout);
        if (!benchvideo::makeVideo(video, frames, "count_bench"))
            return 1;
    }
    if (!benchvideo::saveRegions(video))
        return 1;

    benchvideo::plainDecode(video); // warms the file cache and the decoder's libraries
    const double cpuBefore = ownCpuSeconds();
    auto start = Clock::now();
    const long decoded = benchvideo::plainDecode(video);
    const double decodeSeconds = secondsSince(start);
    const double decodeCpu = ownCpuSeconds() - cpuBefore;

    const ChildRun count = runCount(program, video, "classic");
    if (count.exitStatus != 0) {
        std::fprintf(stderr, "count_bench: %s failed with status %d\n", program.c_str(),
                     count.exitStatus);
        return 1;
    }
    long early = 0, late = 0;
    const bool isFlat = flat(count.samples, &early, &late);
    std::printf("(i)  plain decode:   %ld frames in %.2f s (%.1f frames/s), %.2f s of CPU\n",
                decoded, decodeSeconds, decoded / decodeSeconds, decodeCpu);
    std::printf("(ii) orvane-count:   %.2f s (%.1f frames/s), %.2f s of CPU\n", count.seconds,
                decoded / count.seconds, count.cpu);
    std::printf("ratio (ii)/(i):      %.2f  (aim: at most 1.25)\n", count.seconds / decodeSeconds);
    std::printf("peak memory of (ii): %.1f MiB (peak resident set, sampled every 100 ms)\n",
                count.peakKiB / 1024.0);
    std::printf("memory flat:         %s (%.1f MiB after the first quarter, at most %.1f MiB "
                "afterwards)\n",
                isFlat ? "yes" : "no", early / 1024.0, late / 1024.0);

    const ChildRun strict = runCount(program, video, "strict");
    if (strict.exitStatus != 0) {
        std::fprintf(stderr, "count_bench: %s --counting strict failed with status %d\n",
                     program.c_str(), strict.exitStatus);
        return 1;
    }
    std::printf("(iii) --counting strict: %.2f s (%.1f frames/s), %.2f s of CPU\n", strict.seconds,
                decoded / strict.seconds, strict.cpu);
    std::printf("ratio (iii)/(ii):    %.2f elapsed, %.2f CPU  (aim: at most 1.1)\n",
                strict.seconds / count.seconds, strict.cpu / count.cpu);
    return 0;
}
