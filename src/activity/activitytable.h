#pragma once

#include "folderactivity.h"

#include <QDate>
#include <QString>
#include <QVector>

// Events and recorded minutes per time bin, over whole days from the first midnight to the last:
//
//   ActivityTable table;
//   QString error = binActivity(activity, BinWidth::hour, QDate(), QDate(), table);
//   for (const ActivityBin& bin : table.bins) if (!bin.recorded()) ...   // nobody recorded
//
// A bin that analysed video covered, even without any event, is recorded and counts 0; a bin
// that no video covered is unrecorded, which is not the same as no insects.
namespace BinWidth
{
inline constexpr int tenMinutes = 600;
inline constexpr int quarterHour = 900;
inline constexpr int halfHour = 1800;
inline constexpr int hour = 3600;
inline constexpr int day = 86400;
} // namespace BinWidth

// The widths offered, with their names on the command line ("10m", "15m", "30m", "1h", "1d").
struct NamedBinWidth {
    const char* name;
    int seconds;
};
const QVector<NamedBinWidth>& binWidths();
// 0 for a name that is none of them.
int binWidthFromName(const QString& name);
QString binWidthName(int seconds);

struct ActivityBin {
    qint64 startMs = 0;
    int in = 0;
    int out = 0;
    int crossings = 0;
    qint64 recordedMs = 0; // analysed video within the bin, overlapping videos counted once

    int events() const { return in + out + crossings; }
    // Events prove a recording even where the video's length is unknown.
    bool recorded() const { return recordedMs > 0 || events() > 0; }
    double recordedMinutes() const { return recordedMs / 60000.0; }
};

struct ActivityTable {
    int binSeconds = BinWidth::hour;
    QVector<ActivityBin> bins; // consecutive, whole days

    int binsPerDay() const { return BinWidth::day / binSeconds; }
    int days() const { return bins.isEmpty() ? 0 : bins.size() / binsPerDay(); }
    QDate firstDay() const;
    bool hasCrossings() const;
};

// Beyond this a table would take memory out of all proportion: years in ten-minute bins.
inline constexpr int maxBins = 1000000;

// Fills `table` with the days from `from` to `to` (both included; invalid: the first and last
// day with events or recordings). An empty text on success, otherwise why no table was made.
QString binActivity(const FolderActivity& activity, int binSeconds, const QDate& from,
                    const QDate& to, ActivityTable& table);

// The start of every bin of the table that holds recordings counted with both counting modes:
// their counts add insects counted by different rules.
QVector<qint64> binsMixingModes(const FolderActivity& activity, const ActivityTable& table);

// The mean activity per time of day: every slot of the day summed over all days and divided by
// the hours recorded in that slot, so that days with gaps do not pull the mean down.
struct ProfileSlot {
    int secondOfDay = 0;
    int in = 0;
    int out = 0;
    int crossings = 0;
    qint64 recordedMs = 0;

    bool recorded() const { return recordedMs > 0; }
    double hoursRecorded() const { return recordedMs / 3600000.0; }
    // Events per recorded hour; 0 when the slot was never recorded.
    double perHour(int count) const { return recorded() ? count / hoursRecorded() : 0.0; }
};

// Slots of the table's width; a table of whole days gives one slot.
QVector<ProfileSlot> dailyProfile(const ActivityTable& table);

// Everything the front ends show for one choice of width and days: the table at that width, and
// for the views across the day (actogram, profile) the same days at most an hour wide.
struct ActivityViews {
    ActivityTable table;
    ActivityTable withinDay;
    QVector<ProfileSlot> profile;
};
QString buildViews(const FolderActivity& activity, int binSeconds, const QDate& from,
                   const QDate& to, ActivityViews& views);
