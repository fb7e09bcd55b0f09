#include "exportpath.h"

#include <QDir>

namespace ExportPath
{

namespace
{
// A backslash separates folders on Windows only; elsewhere it may be part of a file name.
int lastSeparator(const QString& path)
{
#ifdef Q_OS_WIN
    return std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
#else
    return path.lastIndexOf(QLatin1Char('/'));
#endif
}
} // namespace

QString directory(const QString& videoPath)
{
    return videoPath.left(lastSeparator(videoPath) + 1);
}

QString baseName(const QString& videoPath)
{
    const QString name = videoPath.mid(lastSeparator(videoPath) + 1);
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? name : name.left(dot);
}

QString folder(const QString& videoPath)
{
    return directory(videoPath) + QStringLiteral("exportCSV");
}

QString file(const QString& videoPath, const QString& suffix)
{
    return folder(videoPath) + QLatin1Char('/') + baseName(videoPath) + suffix;
}

bool ensureFolder(const QString& videoPath)
{
    const QString dir = folder(videoPath);
    return QDir().mkpath(dir.isEmpty() ? QStringLiteral(".") : dir);
}

} // namespace ExportPath
