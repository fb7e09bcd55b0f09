// orvane-makevideo: writes a synthetic insect video for trying out or testing Orvane.
#include "videogen.h"

#include <cstdio>
#include <cstring>
#include <string>

static void usage()
{
    std::fprintf(
        stderr,
        "usage: orvane-makevideo OUTPUT.mp4 [--size WxH] [--fps F] [--frames N]\n"
        "                        [--insects K] [--blob X,Y,DX,DY[,RADIUS[,FIRST[,LAST]]]]...\n"
        "                        [--codec h264|mpeg4|mjpeg]\n"
        "Dark blobs move over a fixed textured background along straight paths.\n"
        "Without --blob, K insects (default 4) cross the picture.\n");
}

int main(int argc, char** argv)
{
    videogen::ClipRecipe recipe;
    std::string output;
    int insects = 4;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if ((arg == "--size" || arg == "--fps" || arg == "--frames" || arg == "--insects" ||
             arg == "--blob" || arg == "--codec") &&
            !value) {
            usage();
            return 64;
        }
        if (arg == "--size") {
            if (std::sscanf(value, "%dx%d", &recipe.size.width, &recipe.size.height) != 2 ||
                recipe.size.width < 16 || recipe.size.height < 16) {
                usage();
                return 64;
            }
        } else if (arg == "--fps") {
            recipe.fps = std::atof(value);
        } else if (arg == "--frames") {
            recipe.frames = std::atoi(value);
        } else if (arg == "--insects") {
            insects = std::atoi(value);
        } else if (arg == "--codec") {
            const std::string c = value;
            recipe.codec = c == "mjpeg"   ? videogen::Codec::MJPEG
                           : c == "mpeg4" ? videogen::Codec::MPEG4
                                          : videogen::Codec::H264;
        } else if (arg == "--blob") {
            videogen::Blob b;
            double x, y, dx, dy;
            const int n = std::sscanf(value, "%lf,%lf,%lf,%lf,%d,%d,%d", &x, &y, &dx, &dy,
                                      &b.radius, &b.firstFrame, &b.lastFrame);
            if (n < 4) {
                usage();
                return 64;
            }
            b.start = {x, y};
            b.velocity = {dx, dy};
            recipe.blobs.push_back(b);
        } else if (arg == "-h" || arg == "--help") {
            usage();
            return 0;
        } else if (!arg.empty() && arg[0] != '-' && output.empty()) {
            output = arg;
            continue;
        } else {
            usage();
            return 64;
        }
        ++i;
    }
    if (output.empty() || recipe.fps <= 0 || recipe.frames <= 0) {
        usage();
        return 64;
    }
    if (recipe.blobs.empty())
        recipe.blobs = videogen::crossingInsects(recipe.size, recipe.frames, insects);
    std::string error;
    if (!videogen::writeVideo(output, recipe, &error)) {
        std::fprintf(stderr, "orvane-makevideo: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
