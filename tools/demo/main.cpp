// orvane-demo: prepares a first working directory for a new user, so that the window opens on a
// video that can be analysed at once. It does nothing when a working directory is already stored.
#include "areacontour.h"
#include "exportpath.h"
#include "settingsstore.h"
#include "videogen.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <cstdio>

namespace
{

const char* const videoName = "video_20260601_0930_01.mp4";

bool makeVideo(const QString& path)
{
    if (QFileInfo::exists(path))
        return true;
    videogen::ClipRecipe recipe;
    recipe.size = {1280, 720};
    recipe.fps = 25;
    recipe.frames = 400;
    recipe.blobs = videogen::crossingInsects(recipe.size, recipe.frames, 6);
    // Written under a hidden temporary name, so an interrupted run never leaves a truncated
    // video in the listing.
    const QFileInfo info(path);
    const QString partial = info.path() + QStringLiteral("/.") + info.fileName();
    std::string error;
    if (!videogen::writeVideo(QFile::encodeName(partial).toStdString(), recipe, &error)) {
        std::fprintf(stderr, "orvane-demo: %s\n", error.c_str());
        QFile::remove(partial);
        return false;
    }
    return QFile::rename(partial, path);
}

// A mask over most of the picture and a counting box in its middle.
bool saveRegions(const QString& video)
{
    AreaContour regions;
    regions.mask = {{40, 40}, {1240, 40}, {1240, 680}, {40, 680}, {40, 40}};
    regions.area = {{440, 200}, {840, 200}, {840, 520}, {440, 520}, {440, 200}};
    return ExportPath::ensureFolder(video) && regions.save_mask(video) && regions.save_area(video);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QSettings settings = openSettings();
    const QString stored = settings.value(QStringLiteral("currentPath")).toString();
    if (!stored.isEmpty())
        return 0;

    const QString dir = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                        QStringLiteral("/Orvane/demo");
    if (!QDir().mkpath(dir)) {
        std::fprintf(stderr, "orvane-demo: cannot create %s\n", qPrintable(dir));
        return 1;
    }
    const QString video = dir + QLatin1Char('/') + QLatin1String(videoName);
    std::printf("Preparing a demo folder in %s ...\n", qPrintable(dir));
    std::fflush(stdout);
    if (!makeVideo(video) || !saveRegions(video)) {
        std::fprintf(stderr, "orvane-demo: cannot write the demo video and its regions in %s\n",
                     qPrintable(dir));
        return 1;
    }
    settings.setValue(QStringLiteral("currentPath"), dir);
    settings.sync();
    if (settings.status() != QSettings::NoError) {
        std::fprintf(stderr, "orvane-demo: cannot store the working directory\n");
        return 1;
    }
    std::printf("Working directory set to %s: select the video and press \"Process\".\n",
                qPrintable(dir));
    return 0;
}
