#include "videolisting.h"

#include "exportpath.h"

#include <QDirIterator>
#include <QFileInfo>
#include <algorithm>

QVector<ListedVideo> listVideos(const QString& directory)
{
    QVector<ListedVideo> videos;
    if (directory.isEmpty())
        return videos;
    // Name filters match without regard to letter case unless told otherwise.
    QDirIterator it(directory, {QStringLiteral("*.mp4")}, QDir::Files | QDir::NoSymLinks);
    QStringList names;
    while (it.hasNext()) {
        it.next();
        names.append(it.fileName());
    }
    std::sort(names.begin(), names.end(), videoNameBefore);
    for (const QString& name : names)
        videos.append(describeVideo(directory + QLatin1Char('/') + name));
    return videos;
}

// Consecutive recordings video_YYYYMMDD_HHMM_NN.mp4 must follow each other: the tracker carries
// insects from one video into the next. Letter case decides only between names equal without it.
bool videoNameBefore(const QString& a, const QString& b)
{
    const int folded = a.compare(b, Qt::CaseInsensitive);
    return folded != 0 ? folded < 0 : a < b;
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
