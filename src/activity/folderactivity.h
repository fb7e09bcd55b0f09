#pragma once

#include "countingmode.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVector>

// The counting events and recorded spans of every analysed video of one or more folders, read
// from their result files "exportCSV/NAME.csv" (unfinished ".part" files are not results).
//
//   FolderActivity activity = readActivity({"/rec/week1", "/rec/week2"});
//   ActivityTable table = binActivity(activity, 3600, {}, {});
//
// Times are wall-clock times as the file names and timestamps give them, held as milliseconds
// since 1970-01-01 00:00 read as if it were UTC: a day is always 24 h, so bins stay aligned to
// local midnight whatever the clocks did on the recording site.
enum class EventKind { In, Out, Crossing };

struct ActivityEvent {
    qint64 timeMs;
    EventKind kind;
};

struct RecordedSpan {
    qint64 beginMs;
    qint64 endMs;
    CountingMode mode = CountingMode::Classic; // that of the video's result
};

struct FolderActivity {
    QVector<ActivityEvent> events;
    QVector<RecordedSpan> spans; // one per video whose properties are known; may overlap

    int resultFiles = 0;     // result files found
    int unreadableFiles = 0; // result files that could not be opened
    int garbageRows = 0;     // lines that are no event: short, unreadable time, neither In nor Out
    int untimedFiles = 0;    // result files whose video name carries no recording start
    int untimedEvents = 0;   // their events, left out of every bin
    int unknownSpans = 0;    // videos missing or unreadable: their recording time is unknown
    int classicResults = 0;  // result files read, by the counting mode that made them
    int strictResults = 0;
    QStringList problems; // one line per file that was not read as a whole

    bool complete() const { return unreadableFiles == 0 && unknownSpans == 0; }
    // The counting modes of the results put together, e.g. "classic (3 results), strict (1
    // result)"; empty without results.
    QString modesText() const;
};

FolderActivity readActivity(const QStringList& directories);

// Wall-clock conversions of the times above; the date-time returned carries the wall-clock
// date and time in its UTC fields.
qint64 wallClockMs(const QDateTime& time);
QDateTime wallClockTime(qint64 ms);
