#include "folderactivity.h"

#include "csvfile.h"
#include "exportpath.h"
#include "resultrecord.h"
#include "videofiles.h"
#include "videolisting.h"
#include "videopropertycache.h"
#include "videostart.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>

#include <algorithm>

namespace
{

// The result files of a folder in the order the videos are listed, the unfinished ".part"
// files left out by the filter itself.
QStringList resultBaseNames(const QString& directory)
{
    QDir exportDir(ExportPath::folder(directory + QStringLiteral("/x.mp4")));
    exportDir.setSorting(QDir::Unsorted);
    QStringList names;
    for (const QString& file : exportDir.entryList({QStringLiteral("*.csv")}, QDir::Files)) {
        if (file.endsWith(QLatin1String(ExportPath::resultSuffix)))
            names.append(file.chopped(int(qstrlen(ExportPath::resultSuffix))));
    }
    std::sort(names.begin(), names.end(), videoNameBefore);
    return names;
}

// The recording start carried by a video's name; invalid when the name carries none (the
// shared helper then answers with the time of opening).
QDateTime recordingStart(const QString& baseName)
{
    if (!baseName.contains(QLatin1String("video_")))
        return {};
    return startTimeFromFileName(baseName + QStringLiteral(".mp4"));
}

// Digits at `pos`, or -1 when any of them is no digit.
int number(const QString& text, int pos, int digits)
{
    int value = 0;
    for (int i = pos; i < pos + digits; ++i) {
        const QChar c = text.at(i);
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return -1;
        value = value * 10 + (c.unicode() - '0');
    }
    return value;
}

// "yyyy-MM-dd_hh:mm:ss" as wall-clock milliseconds; false when it is no such time. Read by hand:
// the format parser of the date classes costs more than everything else here together, and a
// time zone has no say in a wall-clock time.
bool eventTime(const QString& text, qint64& ms)
{
    if (text.size() != 19 || text.at(4) != QLatin1Char('-') || text.at(7) != QLatin1Char('-') ||
        text.at(10) != QLatin1Char('_') || text.at(13) != QLatin1Char(':') ||
        text.at(16) != QLatin1Char(':'))
        return false;
    const int year = number(text, 0, 4), month = number(text, 5, 2), day = number(text, 8, 2);
    const int hour = number(text, 11, 2), minute = number(text, 14, 2),
              second = number(text, 17, 2);
    if (!QDate::isValid(year, month, day) || !QTime::isValid(hour, minute, second))
        return false;
    static const qint64 epochDay = QDate(1970, 1, 1).toJulianDay();
    const qint64 days = QDate(year, month, day).toJulianDay() - epochDay;
    ms = (days * 86400 + hour * 3600 + minute * 60 + second) * 1000;
    return true;
}

struct FileReading {
    QVector<ActivityEvent> events;
    int garbageRows = 0;
};

bool toEvent(int in, int out, const QString& timestamp, ActivityEvent& event)
{
    qint64 timeMs = 0;
    if (!eventTime(timestamp, timeMs) || (in != 1 && out != 1))
        return false;
    const EventKind kind = in == 1 && out == 1 ? EventKind::Crossing
                           : in == 1           ? EventKind::In
                                               : EventKind::Out;
    event = {timeMs, kind};
    return true;
}

// Reads with the window's own reader; a line it refuses is counted and passed over instead of
// ending the file, so that one damaged line does not hide the events after it.
bool readEvents(const QString& videoPath, FileReading& reading)
{
    CsvFile csv;
    if (csv.open(videoPath, CsvMode::Read) != 1)
        return false;
    double frame;
    int x, y, in, out;
    QString timestamp;
    while (!csv.atEnd()) {
        ActivityEvent event;
        if (csv.readResult(frame, x, y, in, out, timestamp) == 1 &&
            toEvent(in, out, timestamp, event))
            reading.events.append(event);
        else
            ++reading.garbageRows;
    }
    csv.close();
    return true;
}

class FolderReader
{
public:
    FolderReader(const QString& directory, FolderActivity& into)
        : directory(directory), cache(directory), activity(into)
    {
        for (const ListedVideo& video : listVideos(directory))
            videos.insert(video.baseName, video.path);
    }

    void read()
    {
        for (const QString& name : resultBaseNames(directory))
            readResultFile(name);
        cache.save(); // a cache that cannot be written only costs time next time
    }

private:
    void problem(const QString& name, const QString& what)
    {
        activity.problems.append(QStringLiteral("%1: %2").arg(resultPath(name), what));
    }

    QString resultPath(const QString& name) const
    {
        return CsvFile::resultPath(directory + QLatin1Char('/') + name + QStringLiteral(".mp4"));
    }

    void readResultFile(const QString& name)
    {
        ++activity.resultFiles;
        const QString videoPath =
            videos.value(name, directory + QLatin1Char('/') + name + QStringLiteral(".mp4"));
        FileReading reading;
        if (!readEvents(videoPath, reading)) {
            ++activity.unreadableFiles;
            problem(name, QStringLiteral("cannot be read"));
            return;
        }
        if (reading.garbageRows > 0) {
            activity.garbageRows += reading.garbageRows;
            problem(
                name,
                QStringLiteral("%1 line(s) that are no event skipped").arg(reading.garbageRows));
        }
        const QDateTime start = recordingStart(name);
        if (!start.isValid()) {
            ++activity.untimedFiles;
            activity.untimedEvents += reading.events.size();
            problem(name, QStringLiteral("no recording time in the video's name: its %1 "
                                         "event(s) are left out")
                              .arg(reading.events.size()));
            return;
        }
        activity.events += reading.events;
        addSpan(name, start, ResultRecord::readMode(VideoFiles(videoPath).record()));
    }

    void addSpan(const QString& name, const QDateTime& start, CountingMode mode)
    {
        (mode == CountingMode::Strict ? activity.strictResults : activity.classicResults) += 1;
        if (!videos.contains(name)) {
            ++activity.unknownSpans;
            problem(name, QStringLiteral("its video is missing: recording time unknown"));
            return;
        }
        const VideoFacts facts = cache.facts(videos.value(name));
        if (!facts.usable()) {
            ++activity.unknownSpans;
            problem(name, QStringLiteral("its video cannot be read: recording time unknown"));
            return;
        }
        const qint64 startMs = wallClockMs(start);
        const auto offsetMs = [&](double frame) { return qint64(frame / facts.fps * 1000.0); };
        const RecordedSpan span{startMs + offsetMs(VideoFiles::firstAnalysedFrame),
                                startMs + offsetMs(facts.frames), mode};
        if (span.endMs > span.beginMs)
            activity.spans.append(span);
    }

    QString directory;
    VideoPropertyCache cache;
    FolderActivity& activity;
    QHash<QString, QString> videos; // base name -> path
};

} // namespace

QString FolderActivity::modesText() const
{
    QStringList modes;
    const auto name = [&](CountingMode mode, int results) {
        if (results > 0)
            modes << QStringLiteral("%1 (%2 result%3)")
                         .arg(countingModeName(mode))
                         .arg(results)
                         .arg(results == 1 ? "" : "s");
    };
    name(CountingMode::Classic, classicResults);
    name(CountingMode::Strict, strictResults);
    return modes.join(QStringLiteral(", "));
}

qint64 wallClockMs(const QDateTime& time)
{
    return QDateTime(time.date(), time.time(), Qt::UTC).toMSecsSinceEpoch();
}

QDateTime wallClockTime(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
}

FolderActivity readActivity(const QStringList& directories)
{
    FolderActivity activity;
    for (const QString& directory : directories) {
        if (!QFileInfo(directory).isDir()) {
            ++activity.unreadableFiles;
            activity.problems.append(QStringLiteral("%1: not a folder").arg(directory));
            continue;
        }
        FolderReader(QDir::cleanPath(directory), activity).read();
    }
    return activity;
}
