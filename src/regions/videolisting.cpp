#include "videolisting.h"

#include "exportpath.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <algorithm>

#ifdef Q_OS_UNIX
#include <dirent.h>
#include <sys/stat.h>
#endif

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

QString unreadableNameWarning(const QString& path)
{
    return QStringLiteral("%1 cannot be read: its name is not valid in the system's encoding")
        .arg(path);
}

#ifdef Q_OS_UNIX
namespace
{
bool isMp4Name(const QByteArray& name)
{
    return name.toLower().endsWith(".mp4");
}

// A name that does not come back from its decoded form names another file, or none.
bool representable(const QByteArray& name)
{
    return QFile::encodeName(QFile::decodeName(name)) == name;
}

bool isRegularFile(const QByteArray& path)
{
    struct stat info {
    };
    return lstat(path.constData(), &info) == 0 && S_ISREG(info.st_mode);
}
} // namespace

// Qt only sees decoded names, so the raw names are read from the directory itself.
QStringList unreadableVideoNames(const QString& directory)
{
    QStringList warnings;
    for (const QString& path : unreadableVideoPaths(directory))
        warnings << unreadableNameWarning(path);
    return warnings;
}

QStringList unreadableVideoPaths(const QString& directory)
{
    QStringList warnings;
    const QByteArray folder = QFile::encodeName(directory);
    DIR* dir = directory.isEmpty() ? nullptr : opendir(folder.constData());
    if (!dir)
        return warnings;
    while (const dirent* entry = readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (isMp4Name(name) && !representable(name) && isRegularFile(folder + '/' + name))
            warnings << directory + QLatin1Char('/') + QFile::decodeName(name);
    }
    closedir(dir);
    warnings.sort();
    return warnings;
}
#else
// Names there are stored in UTF-16, which every QString holds.
QStringList unreadableVideoNames(const QString&)
{
    return {};
}

QStringList unreadableVideoPaths(const QString&)
{
    return {};
}
#endif
