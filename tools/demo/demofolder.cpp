#include "demofolder.h"

#include "areacontour.h"
#include "exportpath.h"
#include "videogen.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace
{

const char* const videoName = "video_20260601_0930_01.mp4";

QString makeVideo(const QString& path)
{
    if (QFileInfo::exists(path))
        return QString();
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
        QFile::remove(partial);
        return QString::fromStdString(error);
    }
    if (!QFile::rename(partial, path))
        return QStringLiteral("cannot rename %1 to %2").arg(partial, path);
    return QString();
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

QString DemoFolder::location()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Orvane/demo");
}

QString DemoFolder::prepare()
{
    const QString dir = location();
    if (!QDir().mkpath(dir))
        return QStringLiteral("cannot create %1").arg(dir);
    const QString video = dir + QLatin1Char('/') + QLatin1String(videoName);
    const QString problem = makeVideo(video);
    if (!problem.isEmpty())
        return QStringLiteral("cannot write the demo video in %1: %2").arg(dir, problem);
    if (!saveRegions(video))
        return QStringLiteral("cannot write the regions of the demo video in %1").arg(dir);
    return QString();
}
