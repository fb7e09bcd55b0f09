#include "videopropertycache.h"

#include "exportpath.h"
#include "safefile.h"
#include "videoinput.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include <cmath>
#include <opencv2/videoio.hpp>

const char* const VideoPropertyCache::fileName = "videoproperties.cache";

namespace
{

const QChar separator = QLatin1Char('\t');

qint64 modifiedMs(const QFileInfo& info)
{
    return info.lastModified().toMSecsSinceEpoch();
}

} // namespace

VideoFacts probeVideo(const QString& videoPath)
{
    VideoFacts facts;
    try {
        cv::VideoCapture capture(decoderPath(videoPath), cv::CAP_FFMPEG);
        if (!capture.isOpened())
            return facts;
        facts.fps = capture.get(cv::CAP_PROP_FPS);
        facts.frames = capture.get(cv::CAP_PROP_FRAME_COUNT);
    } catch (const cv::Exception&) {
        return {};
    }
    if (!std::isfinite(facts.fps) || !std::isfinite(facts.frames))
        return {};
    return facts;
}

VideoPropertyCache::VideoPropertyCache(const QString& directory) : directory(directory)
{
    load();
}

QString VideoPropertyCache::filePath() const
{
    return directory + QStringLiteral("/exportCSV/") + QLatin1String(fileName);
}

// Only a regular file of a cache's size is read: a FIFO or a device under the cache's name would
// block the reading or never end. Such a cache is ignored and replaced when saved.
void VideoPropertyCache::load()
{
    constexpr qint64 maxCacheBytes = 64 << 20;
    const QFileInfo info(filePath());
    if (!info.isFile() || info.size() > maxCacheBytes)
        return;
    QFile file(filePath());
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return;
    QTextStream in(&file);
    in.setCodec("UTF-8");
    while (!in.atEnd()) {
        const QStringList fields = in.readLine().split(separator);
        if (fields.size() != 5)
            continue;
        bool ok[4] = {};
        Entry e;
        e.size = fields[1].toLongLong(&ok[0]);
        e.modifiedMs = fields[2].toLongLong(&ok[1]);
        e.facts.fps = fields[3].toDouble(&ok[2]);
        e.facts.frames = fields[4].toDouble(&ok[3]);
        if (ok[0] && ok[1] && ok[2] && ok[3])
            entries.insert(fields[0], e);
    }
}

VideoFacts VideoPropertyCache::facts(const QString& videoPath)
{
    const QFileInfo info(videoPath);
    const auto found = entries.constFind(info.fileName());
    if (found != entries.constEnd() && found->size == info.size() &&
        found->modifiedMs == modifiedMs(info))
        return found->facts;
    Entry e{info.size(), modifiedMs(info), probeVideo(videoPath)};
    entries.insert(info.fileName(), e);
    ++probedCount;
    dirty = true;
    return e.facts;
}

bool VideoPropertyCache::save()
{
    if (!dirty)
        return true;
    // A folder without its exportCSV folder has no results to describe: nothing is created.
    if (!QFileInfo(ExportPath::folder(directory + QStringLiteral("/x.mp4"))).isDir())
        return false;
    SafeFile file(filePath());
    if (!file.open())
        return false;
    QTextStream out(file.device());
    out.setCodec("UTF-8");
    for (auto it = entries.constBegin(); it != entries.constEnd(); ++it) {
        // A tab or line break in a name would break the line apart: such a video is probed anew.
        if (it.key().contains(separator) || it.key().contains(QLatin1Char('\n')))
            continue;
        out << it.key() << separator << it->size << separator << it->modifiedMs << separator
            << QString::number(it->facts.fps, 'g', 17) << separator
            << QString::number(it->facts.frames, 'g', 17) << '\n';
    }
    out.flush();
    if (out.status() != QTextStream::Ok || !file.commit())
        return false;
    dirty = false;
    return true;
}
