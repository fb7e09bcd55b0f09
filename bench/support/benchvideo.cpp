#include "benchvideo.h"

#include "areacontour.h"
#include "exportpath.h"
#include "videogen.h"

#include <QFile>
#include <QFileInfo>
#include <cstdio>
#include <opencv2/videoio.hpp>
#include <string>
#include <vector>

namespace benchvideo
{

bool makeVideo(const QString& path, int frames, const char* program)
{
    videogen::ClipRecipe recipe;
    recipe.size = {1920, 1080};
    recipe.fps = 25;
    recipe.frames = frames;
    recipe.blobs = videogen::crossingInsects(recipe.size, 400, 8);
    // The insects of the first crossing come back every 400 frames, so the whole video moves.
    const std::vector<videogen::Blob> wave = recipe.blobs;
    for (int start = 400; start < frames; start += 400) {
        for (videogen::Blob b : wave) {
            b.firstFrame += start;
            recipe.blobs.push_back(b);
        }
    }
    std::string error;
    if (!videogen::writeVideo(QFile::encodeName(path).toStdString(), recipe, &error)) {
        std::fprintf(stderr, "%s: %s\n", program, error.c_str());
        return false;
    }
    return true;
}

bool saveRegions(const QString& video)
{
    AreaContour regions;
    regions.mask = {{40, 40}, {1880, 40}, {1880, 1040}, {40, 1040}, {40, 40}};
    regions.area = {{760, 340}, {1160, 340}, {1160, 740}, {760, 740}, {760, 340}};
    return ExportPath::ensureFolder(video) && regions.save_mask(video) && regions.save_area(video);
}

bool prepare(const QString& video, int frames, const char* program)
{
    if (!QFileInfo::exists(video)) {
        std::printf("Writing a 1920x1080 H.264 video of %d frames to %s ...\n", frames,
                    qPrintable(video));
        std::fflush(stdout);
        if (!makeVideo(video, frames, program))
            return false;
    }
    return saveRegions(video);
}

long plainDecode(const QString& path)
{
    cv::VideoCapture capture(QFile::encodeName(path).toStdString());
    cv::Mat frame;
    long frames = 0;
    while (capture.read(frame))
        ++frames;
    return frames;
}

} // namespace benchvideo
