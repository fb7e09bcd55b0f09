#pragma once

#include "activitytable.h"

#include <QByteArray>
#include <QString>

// The tables as text, shared by orvane-activity and the window's "Export CSV…". Unrecorded bins
// keep their counts empty, so that nobody reads them as hours without insects.
namespace ActivityExport
{

// Bin start (ISO 8601), In, Out, crossings and minutes recorded, in aligned columns.
QString tableText(const ActivityTable& table);
// The same, ';'-separated like the result files, with a header line.
QString tableCsv(const ActivityTable& table);
// Time of day, events per recorded hour for In, Out and crossings, hours recorded.
QString profileText(const QVector<ProfileSlot>& profile);
QString profileCsv(const QVector<ProfileSlot>& profile);
// One line per bin, tab-separated counts of In, Out and crossings, empty when unrecorded: the
// plain layout that actogram programs open.
QString columns(const ActivityTable& table);

// Writes `bytes` under a temporary name and renames it: a failure leaves no half file behind.
// An empty text on success, otherwise the reason.
QString writeFile(const QString& path, const QByteArray& bytes);

} // namespace ActivityExport
