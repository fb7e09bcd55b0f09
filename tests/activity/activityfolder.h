#pragma once

// Folders of result files written by hand, with the videos' properties already in the cache, so
// that a test controls every recorded minute without decoding anything.

#include "exportpath.h"
#include "videopropertycache.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>

namespace activityfolder
{

inline bool writeText(const QString& path, const QByteArray& text)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(text) == text.size();
}

inline QString exportDir(const QString& dir)
{
    QDir().mkpath(dir + "/exportCSV");
    return dir + "/exportCSV";
}

// One event line; in and out as in the result file.
inline QByteArray row(const QString& timestamp, int in, int out)
{
    return QStringLiteral("100;10;20;%1;%2;%3\n").arg(in).arg(out).arg(timestamp).toUtf8();
}

inline bool writeResults(const QString& dir, const QString& baseName, const QByteArray& rows)
{
    return writeText(exportDir(dir) + "/" + baseName + ".csv",
                     "Frame;X;Y;In;Out;Timestamp\n" + rows);
}

// A placeholder video and a cache line saying it holds `frames` frames at `fps`.
inline bool addVideo(const QString& dir, const QString& baseName, double fps, double frames)
{
    const QString video = dir + "/" + baseName + ".mp4";
    if (!writeText(video, "not decoded"))
        return false;
    const QFileInfo info(video);
    QFile cache(exportDir(dir) + "/" + VideoPropertyCache::fileName);
    if (!cache.open(QIODevice::Append))
        return false;
    cache.write(QStringLiteral("%1\t%2\t%3\t%4\t%5\n")
                    .arg(info.fileName())
                    .arg(info.size())
                    .arg(info.lastModified().toMSecsSinceEpoch())
                    .arg(fps)
                    .arg(frames)
                    .toUtf8());
    return true;
}

// A video named after `start` ("yyyyMMdd_hhmm") whose analysed frames cover `seconds` from one
// minute after the start on (its first analysed frame, at 1.5 frames per second).
inline bool addRecording(const QString& dir, const QString& start, int seconds,
                         const QByteArray& rows)
{
    const QString name = "video_" + start + "_01";
    return addVideo(dir, name, 1.5, 90 + seconds * 1.5) && writeResults(dir, name, rows);
}

} // namespace activityfolder
