#include "activitycommand.h"

#include "activitycharts.h"
#include "activityexport.h"
#include "folderactivity.h"

namespace
{

void report(const FolderActivity& activity, std::ostream& err)
{
    for (const QString& problem : activity.problems)
        err << "orvane-activity: " << problem.toStdString() << '\n';
}

// Bins whose counts add results of both counting modes, named once with the first of them.
void reportMixedBins(const FolderActivity& activity, const ActivityTable& table, std::ostream& err)
{
    const QVector<qint64> mixed = binsMixingModes(activity, table);
    if (mixed.isEmpty())
        return;
    err << "orvane-activity: "
        << QStringLiteral("%1 bin(s) put together results of classic and strict counting, "
                          "which count by different rules; the first starts at %2")
               .arg(mixed.size())
               .arg(wallClockTime(mixed.first()).toString(QStringLiteral("yyyy-MM-ddThh:mm:ss")))
               .toStdString()
        << '\n';
}

// Each output file written in full or not at all; a failure is named and remembered.
bool writeOutput(const QString& path, const QString& text, std::ostream& err)
{
    if (path.isNull())
        return true;
    const QString error = ActivityExport::writeFile(path, text.toUtf8());
    if (!error.isEmpty())
        err << "orvane-activity: " << error.toStdString() << '\n';
    return error.isEmpty();
}

bool writePlot(const QString& path, const ActivityViews& views, int binSeconds, std::ostream& err)
{
    if (path.isNull())
        return true;
    const QString refused = ActivityCharts::plotProblem(views, binSeconds);
    if (!refused.isEmpty()) {
        err << "orvane-activity: --plot " << path.toStdString()
            << " not written: " << refused.toStdString() << '\n';
        return false;
    }
    const QString error = ActivityCharts::saveImage(views, path);
    if (!error.isEmpty())
        err << "orvane-activity: " << error.toStdString() << '\n';
    return error.isEmpty();
}

} // namespace

int runActivity(const ActivityOptions& options, std::ostream& out, std::ostream& err)
{
    const FolderActivity activity = readActivity(options.directories);
    report(activity, err);
    ActivityViews views;
    const QString error = buildViews(activity, options.binSeconds, options.from, options.to, views);
    if (!error.isEmpty()) {
        err << "orvane-activity: " << error.toStdString() << '\n';
        return ActivityUsage;
    }
    reportMixedBins(activity, views.table, err);
    const QString printed = options.profile ? ActivityExport::profileText(views.profile)
                                            : ActivityExport::tableText(views.table);
    out << printed.toStdString();
    if (!activity.modesText().isEmpty())
        out << "counting modes: " << activity.modesText().toStdString() << '\n';
    out.flush();
    const QString csv = options.profile ? ActivityExport::profileCsv(views.profile)
                                        : ActivityExport::tableCsv(views.table);
    bool written = writeOutput(options.csvPath, csv, err);
    written &= writeOutput(options.columnsPath, ActivityExport::columns(views.table), err);
    written &= writePlot(options.plotPath, views, options.binSeconds, err);
    if (!out)
        err << "orvane-activity: cannot write the table to standard output\n";
    if (!written || !out)
        return ActivityWriteFailed;
    return activity.complete() ? ActivityDone : ActivityIncomplete;
}

int activityMain(const QStringList& arguments, std::ostream& out, std::ostream& err)
{
    ActivityOptions options;
    const QString error = parseActivityArguments(arguments, options);
    if (!error.isEmpty()) {
        err << "orvane-activity: " << error.toStdString() << "\n\n"
            << activityUsage().toStdString();
        return ActivityUsage;
    }
    if (options.help) {
        out << activityUsage().toStdString() << std::flush;
        return out ? ActivityDone : ActivityWriteFailed;
    }
    return runActivity(options, out, err);
}
