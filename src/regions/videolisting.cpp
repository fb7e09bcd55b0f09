#include "videolisting.h"

#include "exportpath.h"

#include <QDirIterator>
#include <QFileInfo>

QVector<ListedVideo> listVideos(const QString& directory)
{
    QVector<ListedVideo> videos;
    if (directory.isEmpty())
        return videos;
    // Name filters match without regard to letter case unless told otherwise.
    QDirIterator it(directory, {QStringLiteral("*.mp4")}, QDir::Files | QDir::NoSymLinks);
    while (it.hasNext()) {
        it.next();
        videos.append(describeVideo(directory + QLatin1Char('/') + it.fileName()));
    }
    return videos;
}

ListedVideo describeVideo(const QString& path)
{
    const auto exists = [&](const char* suffix) {
        return QFileInfo::exists(ExportPath::file(path, QLatin1String(suffix)));
    };
    return {path, ExportPath::baseName(path),
            exists(ExportPath::areaSuffix) && exists(ExportPath::maskSuffix),
            exists(ExportPath::resultSuffix)};
}
