#include "activitytable.h"

#include <algorithm>
#include <limits>

namespace
{

constexpr qint64 dayMs = qint64(BinWidth::day) * 1000;

qint64 floorTo(qint64 value, qint64 step)
{
    const qint64 q = value / step;
    return (value % step < 0 ? q - 1 : q) * step;
}

qint64 midnightMs(const QDate& date)
{
    return wallClockMs(QDateTime(date, QTime(0, 0), Qt::UTC));
}

// The first and the last millisecond with an event or a recording; false when there is none.
bool dataRange(const FolderActivity& activity, qint64& first, qint64& last)
{
    if (activity.events.isEmpty() && activity.spans.isEmpty())
        return false;
    first = std::numeric_limits<qint64>::max();
    last = std::numeric_limits<qint64>::min();
    for (const ActivityEvent& e : activity.events) {
        first = std::min(first, e.timeMs);
        last = std::max(last, e.timeMs);
    }
    for (const RecordedSpan& s : activity.spans) {
        first = std::min(first, s.beginMs);
        last = std::max(last, s.endMs - 1);
    }
    return true;
}

// Overlapping videos cover their common minutes once.
QVector<RecordedSpan> mergedSpans(QVector<RecordedSpan> spans)
{
    std::sort(spans.begin(), spans.end(),
              [](const RecordedSpan& a, const RecordedSpan& b) { return a.beginMs < b.beginMs; });
    QVector<RecordedSpan> merged;
    for (const RecordedSpan& s : spans) {
        if (!merged.isEmpty() && s.beginMs <= merged.last().endMs)
            merged.last().endMs = std::max(merged.last().endMs, s.endMs);
        else
            merged.append(s);
    }
    return merged;
}

void addCoverage(const QVector<RecordedSpan>& spans, qint64 binMs, ActivityTable& table)
{
    const qint64 origin = table.bins.first().startMs;
    const qint64 end = origin + binMs * table.bins.size();
    for (const RecordedSpan& s : mergedSpans(spans)) {
        const qint64 begin = std::max(s.beginMs, origin);
        const qint64 stop = std::min(s.endMs, end);
        for (qint64 t = begin; t < stop;) {
            const qint64 index = (t - origin) / binMs;
            const qint64 binEnd = origin + (index + 1) * binMs;
            const qint64 upTo = std::min(binEnd, stop);
            table.bins[int(index)].recordedMs += upTo - t;
            t = upTo;
        }
    }
}

void addEvents(const QVector<ActivityEvent>& events, qint64 binMs, ActivityTable& table)
{
    const qint64 origin = table.bins.first().startMs;
    for (const ActivityEvent& e : events) {
        if (e.timeMs < origin)
            continue;
        const qint64 index = (e.timeMs - origin) / binMs;
        if (index >= table.bins.size())
            continue;
        ActivityBin& bin = table.bins[int(index)];
        switch (e.kind) {
        case EventKind::In:
            ++bin.in;
            break;
        case EventKind::Out:
            ++bin.out;
            break;
        case EventKind::Crossing:
            ++bin.crossings;
            break;
        }
    }
}

} // namespace

const QVector<NamedBinWidth>& binWidths()
{
    static const QVector<NamedBinWidth> widths{{"10m", BinWidth::tenMinutes},
                                               {"15m", BinWidth::quarterHour},
                                               {"30m", BinWidth::halfHour},
                                               {"1h", BinWidth::hour},
                                               {"1d", BinWidth::day}};
    return widths;
}

int binWidthFromName(const QString& name)
{
    for (const NamedBinWidth& w : binWidths()) {
        if (name == QLatin1String(w.name))
            return w.seconds;
    }
    return 0;
}

QString binWidthName(int seconds)
{
    for (const NamedBinWidth& w : binWidths()) {
        if (w.seconds == seconds)
            return QLatin1String(w.name);
    }
    return QString::number(seconds) + QLatin1Char('s');
}

QDate ActivityTable::firstDay() const
{
    return bins.isEmpty() ? QDate() : wallClockTime(bins.first().startMs).date();
}

bool ActivityTable::hasCrossings() const
{
    return std::any_of(bins.begin(), bins.end(), [](const ActivityBin& b) { return b.crossings; });
}

QString binActivity(const FolderActivity& activity, int binSeconds, const QDate& from,
                    const QDate& to, ActivityTable& table)
{
    table = ActivityTable();
    if (binSeconds <= 0 || BinWidth::day % binSeconds != 0)
        return QStringLiteral("a bin width must divide a day");
    table.binSeconds = binSeconds;
    qint64 first = 0, last = 0;
    if (!dataRange(activity, first, last) && (!from.isValid() || !to.isValid()))
        return {}; // nothing to show, and no range asked for
    if (from.isValid() && to.isValid() && from > to)
        return QStringLiteral("the first day comes after the last");
    const qint64 begin = from.isValid() ? midnightMs(from) : floorTo(first, dayMs);
    const qint64 end = to.isValid() ? midnightMs(to) + dayMs : floorTo(last, dayMs) + dayMs;
    if (end <= begin)
        return {}; // everything lies outside the days asked for
    const qint64 binMs = qint64(binSeconds) * 1000;
    if ((end - begin) / binMs > maxBins)
        return QStringLiteral("%1 days in bins of %2 are too many: choose a shorter date range "
                              "or wider bins")
            .arg((end - begin) / dayMs)
            .arg(binWidthName(binSeconds));
    table.bins.resize(int((end - begin) / binMs));
    for (int i = 0; i < table.bins.size(); ++i)
        table.bins[i].startMs = begin + i * binMs;
    addCoverage(activity.spans, binMs, table);
    addEvents(activity.events, binMs, table);
    return {};
}

QVector<qint64> binsMixingModes(const FolderActivity& activity, const ActivityTable& table)
{
    QVector<qint64> mixed;
    if (table.bins.isEmpty() || activity.classicResults == 0 || activity.strictResults == 0)
        return mixed;
    const qint64 binMs = qint64(table.binSeconds) * 1000;
    const qint64 begin = table.bins.first().startMs;
    QVector<int> modes(table.bins.size(), 0); // bit 1: classic, bit 2: strict
    for (const RecordedSpan& s : activity.spans) {
        const qint64 first = std::max<qint64>(0, (s.beginMs - begin) / binMs);
        const qint64 last = std::min<qint64>(table.bins.size() - 1, (s.endMs - 1 - begin) / binMs);
        for (qint64 i = first; i <= last && s.endMs > begin; ++i)
            modes[int(i)] |= s.mode == CountingMode::Strict ? 2 : 1;
    }
    for (int i = 0; i < modes.size(); ++i) {
        if (modes[i] == 3)
            mixed << table.bins[i].startMs;
    }
    return mixed;
}

QVector<ProfileSlot> dailyProfile(const ActivityTable& table)
{
    QVector<ProfileSlot> timesOfDay(table.binsPerDay());
    for (int i = 0; i < timesOfDay.size(); ++i)
        timesOfDay[i].secondOfDay = i * table.binSeconds;
    for (int i = 0; i < table.bins.size(); ++i) {
        const ActivityBin& bin = table.bins.at(i);
        ProfileSlot& slot = timesOfDay[i % timesOfDay.size()];
        slot.in += bin.in;
        slot.out += bin.out;
        slot.crossings += bin.crossings;
        slot.recordedMs += bin.recordedMs;
    }
    return timesOfDay;
}

QString buildViews(const FolderActivity& activity, int binSeconds, const QDate& from,
                   const QDate& to, ActivityViews& views)
{
    views = ActivityViews();
    QString error = binActivity(activity, binSeconds, from, to, views.table);
    if (error.isEmpty())
        error = binActivity(activity, std::min(binSeconds, int(BinWidth::hour)), from, to,
                            views.withinDay);
    if (error.isEmpty())
        views.profile = dailyProfile(views.withinDay);
    return error;
}
