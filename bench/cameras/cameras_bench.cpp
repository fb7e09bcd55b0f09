// cameras_bench: how much faster several camera folders are analysed two at a time than one
// after another on this machine, and what that means for a lab's recordings.
//
//   cameras_bench [--frames N] [--dir DIR] [--keep]
//
// Makes four camera folders, each holding two copies of one generated 1280x720 video (N frames,
// at least 300) under recording names and regions of its own, then runs the orvane-count next
// to this program over them with one and with two folders at a time, and prints the wall time,
// frames per second and speed-up. From the frames analysed per second of CPU it also prints how
// many hours of 25 frames/s recording 1, 8 and 64 cores analyse per hour.
#include "areacontour.h"
#include "benchchild.h"
#include "exportpath.h"
#include "videofiles.h"
#include "videogen.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace
{

const int folderCount = 4;
const int videosPerFolder = 2;
const double recordingFps = 25;
const cv::Size frameSize{1280, 720};

bool makeVideo(const QString& path, int frames)
{
    videogen::ClipRecipe recipe;
    recipe.size = frameSize;
    recipe.fps = recordingFps;
    recipe.frames = frames;
    recipe.blobs = videogen::crossingInsects(recipe.size, frames, 6);
    std::string error;
    if (!videogen::writeVideo(QFile::encodeName(path).toStdString(), recipe, &error)) {
        std::fprintf(stderr, "cameras_bench: %s\n", error.c_str());
        return false;
    }
    return true;
}

// Each folder counts with a box of its own, as each trap has its own view.
bool saveRegions(const QString& video, int folder)
{
    AreaContour regions;
    const int left = 240 + 160 * folder;
    regions.mask = {{40, 40}, {1240, 40}, {1240, 680}, {40, 680}, {40, 40}};
    regions.area = {{left, 200}, {left + 320, 200}, {left + 320, 520}, {left, 520}, {left, 200}};
    return ExportPath::ensureFolder(video) && regions.save_mask(video) && regions.save_area(video);
}

QStringList makeCameras(const QString& dir, const QString& source)
{
    QStringList folders;
    for (int f = 0; f < folderCount; ++f) {
        const QString folder = dir + QStringLiteral("/trap-%1").arg(f + 1);
        QDir().mkpath(folder);
        for (int v = 0; v < videosPerFolder; ++v) {
            const QString video = folder + QStringLiteral("/video_20260601_%1_01.mp4")
                                               .arg(900 + 100 * v, 4, 10, QLatin1Char('0'));
            if (!QFileInfo::exists(video) && !QFile::copy(source, video))
                return {};
            if (v == 0 && !saveRegions(video, f))
                return {};
        }
        folders.append(folder);
    }
    return folders;
}

// Removes the results of an earlier round, so that every round analyses everything.
void removeResults(const QStringList& folders)
{
    for (const QString& folder : folders) {
        QDir exportDir(folder + QStringLiteral("/exportCSV"));
        const QStringList names = exportDir.entryList(QDir::Files);
        for (const QString& name : names) {
            if (!name.endsWith(QLatin1String(ExportPath::areaSuffix)) &&
                !name.endsWith(QLatin1String(ExportPath::maskSuffix)))
                exportDir.remove(name);
        }
    }
}

// Runs `orvane-count --quiet --each-folder --jobs N FOLDER...` with its summary discarded. The
// children's CPU counts too: wait4 gives the totals of the waited-for descendants.
benchchild::Run runRound(const std::string& program, const QStringList& folders, int jobs)
{
    std::vector<std::string> arguments{"--quiet", "--each-folder", "--jobs", std::to_string(jobs)};
    for (const QString& folder : folders)
        arguments.push_back(QFile::encodeName(folder).toStdString());
    return benchchild::run(program, arguments);
}

void printSizing(double framesPerCoreSecond)
{
    std::printf("\nHours of %.0f frames/s recording analysed per hour of wall time, at %.1f "
                "frames per second of CPU:\n",
                recordingFps, framesPerCoreSecond);
    std::printf("| Cores | Hours of recording per hour | One day of 20 traps x 12 h takes |\n");
    std::printf("| ---: | ---: | ---: |\n");
    for (int cores : {1, 8, 64}) {
        const double hoursPerHour = framesPerCoreSecond * cores / recordingFps;
        // 20 traps x 12 h = 240 h of recording a day
        std::printf("| %d | %.1f | %.1f h |\n", cores, hoursPerHour, 240.0 / hoursPerHour);
    }
}

} // namespace

int main(int argc, char** argv)
{
    int frames = 600;
    QString dirArg;
    bool keep = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--frames" && i + 1 < argc)
            frames = std::max(300, std::atoi(argv[++i]));
        else if (arg == "--dir" && i + 1 < argc)
            dirArg = QString::fromLocal8Bit(argv[++i]);
        else if (arg == "--keep")
            keep = true;
        else {
            std::fprintf(stderr, "usage: cameras_bench [--frames N] [--dir DIR] [--keep]\n");
            return 64;
        }
    }
    QTemporaryDir temporary;
    temporary.setAutoRemove(!keep && dirArg.isEmpty());
    const QString dir = dirArg.isEmpty() ? temporary.path() : dirArg;
    QDir().mkpath(dir);
    const std::string program =
        QFileInfo(QString::fromLocal8Bit(argv[0])).absolutePath().toStdString() + "/orvane-count";

    const QString source = dir + QStringLiteral("/source.mp4");
    if (!QFileInfo::exists(source)) {
        std::printf("Writing a %dx%d video of %d frames to %s ...\n", frameSize.width,
                    frameSize.height, frames, qPrintable(source));
        std::fflush(stdout);
        if (!makeVideo(source, frames))
            return 1;
    }
    const QStringList folders = makeCameras(dir, source);
    if (folders.isEmpty()) {
        std::fprintf(stderr, "cameras_bench: cannot make the camera folders in %s\n",
                     qPrintable(dir));
        return 1;
    }
    const long analysed = long(folderCount) * videosPerFolder *
                          std::max(0, frames - VideoFiles::firstAnalysedFrame - 1);
    std::printf("%d folders x %d videos, %ld frames to analyse per round, %ld cores here\n",
                folderCount, videosPerFolder, analysed, sysconf(_SC_NPROCESSORS_ONLN));
    std::fflush(stdout);

    benchchild::Run rounds[2];
    for (int jobs = 1; jobs <= 2; ++jobs) {
        removeResults(folders);
        benchchild::Run& round = rounds[jobs - 1];
        round = runRound(program, folders, jobs);
        if (round.exitStatus != 0) {
            std::fprintf(stderr, "cameras_bench: --jobs %d ended with status %d\n", jobs,
                         round.exitStatus);
            return 1;
        }
        std::printf("--jobs %d: %6.2f s wall, %7.1f frames/s, %6.2f s of CPU\n", jobs,
                    round.seconds, analysed / round.seconds, round.cpu);
    }
    std::printf("speed-up of --jobs 2 over --jobs 1: %.2f\n",
                rounds[0].seconds / rounds[1].seconds);
    printSizing(analysed / rounds[1].cpu);
    return 0;
}
