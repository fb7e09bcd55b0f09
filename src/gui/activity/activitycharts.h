#pragma once

#include "activitytable.h"

#include <QString>
#include <QtCharts/QChart>

// The three activity charts, built from the module's tables, for the window's Activity view and
// for the pictures of orvane-activity. Each function returns a new chart owned by the caller.
//
//   ActivityViews views;
//   buildViews(readActivity({dir}), BinWidth::hour, {}, {}, views);
//   QString error = ActivityCharts::saveImage(views, "/tmp/activity.png");
namespace ActivityCharts
{

// The names of the series, by which tests and the hover text find them.
inline const char* const inName = "In";
inline const char* const outName = "Out";
inline const char* const crossingsName = "Crossings";
inline const char* const unrecordedName = "no recording";
// The mark above profile slots recorded for less than an hour in all: their events per hour are
// scaled up from a short recording.
inline const char* const scaledUpName = "scaled up from less than 1 h recorded";

// In, Out (and crossings, when there are any) per bin as bars; bins that nobody recorded are
// shaded instead of drawn as 0; each day starts at a labelled mark of the time axis, with hours
// between them where they fit. Hovering a bar shows its figures.
QtCharts::QChart* timeSeries(const ActivityTable& table);
// One row per day, one column per bin of the day, the colour giving the count (recorded bins
// without events in a colour of their own); unrecorded cells blank. Double-plotted rows show 48
// hours.
QtCharts::QChart* actogram(const ActivityTable& withinDay, bool doublePlotted);
// Events per recorded hour at each time of day; slots recorded for less than an hour are marked.
QtCharts::QChart* dailyProfile(const QVector<ProfileSlot>& profile);

// The three charts one above the other in a PNG or SVG file (by its suffix). An empty text on
// success, otherwise the reason. Needs a QApplication, but no display.
QString saveImage(const ActivityViews& views, const QString& path, bool doublePlotted = false);

// Why saveImage() would not give a readable picture of `views` (binned at `binSeconds`): more
// bins than the image has columns of pixels, or more days than the actogram has rows; the text
// suggests a wider bin or a shorter range. Empty when the charts can show it all.
QString plotProblem(const ActivityViews& views, int binSeconds);

} // namespace ActivityCharts
