// mp4box: `mp4box -fps N -add INPUT.h264 OUTPUT.mp4` wraps a raw H.264 elementary stream into an
// MP4 file at N frames per second without re-encoding, printing its progress on standard output.
#include "h264wrapper.h"
#include "options.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv)
{
    Options options;
    std::string error;
    if (!parseArguments(argc - 1, argv + 1, options, error)) {
        std::fprintf(stderr, "mp4box: %s\n%s", error.c_str(), usageText());
        return 2;
    }
    if (!wrapH264(options, error)) {
        std::fprintf(stderr, "mp4box: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
