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
        const QString path = directory + QLatin1Char('/') + it.fileName();
        const auto exists = [&](const char* suffix) {
            return QFileInfo::exists(ExportPath::file(path, QLatin1String(suffix)));
        };
        videos.append({path, ExportPath::baseName(path),
                       exists(ExportPath::areaSuffix) && exists(ExportPath::maskSuffix),
                       exists(ExportPath::resultSuffix)});
    }
    return videos;
}
