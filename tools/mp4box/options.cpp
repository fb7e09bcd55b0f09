#include "options.h"

#include <cerrno>
#include <cstdlib>

namespace
{

// Frame rates beyond this are certainly a typing error.
constexpr long maxFps = 1000;

bool parseFps(const std::string& text, int& fps)
{
    if (text.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || value <= 0 || value > maxFps)
        return false;
    fps = static_cast<int>(value);
    return true;
}

} // namespace

const char* usageText()
{
    return "usage: mp4box -fps N -add INPUT.h264 OUTPUT.mp4\n"
           "Wraps a raw H.264 elementary stream into an MP4 file at N frames per second,\n"
           "without re-encoding.\n";
}

std::string Options::check() const
{
    if (fps <= 0)
        return "missing or invalid -fps (a whole number from 1 to 1000)";
    if (input.empty())
        return "missing -add INPUT";
    if (output.empty())
        return "missing OUTPUT";
    return {};
}

bool parseArguments(int argc, const char* const* argv, Options& options, std::string& error)
{
    bool haveFps = false;
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "-fps") {
            if (haveFps || !hasValue || !parseFps(argv[i + 1], options.fps)) {
                error = "-fps needs one whole number from 1 to 1000";
                return false;
            }
            haveFps = true;
            ++i;
        } else if (arg == "-add") {
            if (!options.input.empty() || !hasValue || argv[i + 1][0] == '\0') {
                error = "-add needs exactly one input file";
                return false;
            }
            options.input = argv[++i];
        } else if (!arg.empty() && arg[0] == '-') {
            error = "unknown option " + arg;
            return false;
        } else if (options.output.empty() && !arg.empty()) {
            options.output = arg;
        } else {
            error = "unexpected argument '" + arg + "'";
            return false;
        }
    }
    error = options.check();
    return error.empty();
}
