#include "activityoptions.h"

#include "activitytable.h"

#include <QCommandLineParser>

namespace
{

QString readDate(const QCommandLineParser& parser, const QString& name, QDate& date)
{
    if (!parser.isSet(name))
        return {};
    date = QDate::fromString(parser.value(name), Qt::ISODate);
    return date.isValid() ? QString()
                          : QStringLiteral("--%1 needs a date such as 2015-06-12, not '%2'")
                                .arg(name, parser.value(name));
}

QString checkPlotPath(const QString& path)
{
    if (path.isNull())
        return {};
    const QString lower = path.toLower();
    if (lower.endsWith(QLatin1String(".png")) || lower.endsWith(QLatin1String(".svg")))
        return {};
    return QStringLiteral("--plot needs a file name ending in .png or .svg, not '%1'").arg(path);
}

QString checkOptions(const ActivityOptions& options)
{
    if (options.help)
        return {};
    if (options.directories.isEmpty())
        return QStringLiteral("no DIR given");
    if (options.from.isValid() && options.to.isValid() && options.from > options.to)
        return QStringLiteral("--from comes after --to");
    for (const QString* path : {&options.csvPath, &options.columnsPath, &options.plotPath}) {
        if (!path->isNull() && path->isEmpty())
            return QStringLiteral("an output file name is empty");
    }
    return checkPlotPath(options.plotPath);
}

} // namespace

QString parseActivityArguments(const QStringList& arguments, ActivityOptions& options)
{
    options = ActivityOptions();
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QString());
    parser.addOptions({help,
                       {QStringLiteral("bin"), QString(), QStringLiteral("WIDTH")},
                       {QStringLiteral("from"), QString(), QStringLiteral("DATE")},
                       {QStringLiteral("to"), QString(), QStringLiteral("DATE")},
                       {QStringLiteral("csv"), QString(), QStringLiteral("FILE")},
                       {QStringLiteral("columns"), QString(), QStringLiteral("FILE")},
                       {QStringLiteral("plot"), QString(), QStringLiteral("FILE")},
                       {QStringLiteral("profile"), QString()}});
    if (!parser.parse(QStringList{QStringLiteral("orvane-activity")} + arguments))
        return parser.errorText();
    options.help = parser.isSet(help);
    if (parser.isSet(QStringLiteral("bin"))) {
        options.binSeconds = binWidthFromName(parser.value(QStringLiteral("bin")));
        if (options.binSeconds == 0)
            return QStringLiteral("--bin takes 10m, 15m, 30m, 1h or 1d, not '%1'")
                .arg(parser.value(QStringLiteral("bin")));
    }
    for (const QString& name : {QStringLiteral("from"), QStringLiteral("to")}) {
        const QString error =
            readDate(parser, name, name == QLatin1String("from") ? options.from : options.to);
        if (!error.isEmpty())
            return error;
    }
    const auto path = [&](const char* name) {
        return parser.isSet(QLatin1String(name)) ? parser.value(QLatin1String(name)) : QString();
    };
    options.csvPath = path("csv");
    options.columnsPath = path("columns");
    options.plotPath = path("plot");
    options.profile = parser.isSet(QStringLiteral("profile"));
    options.directories = parser.positionalArguments();
    return checkOptions(options);
}

QString activityUsage()
{
    return QStringLiteral(
        "Usage: orvane-activity [--bin 10m|15m|30m|1h|1d] [--from DATE] [--to DATE]\n"
        "                       [--profile] [--csv FILE] [--columns FILE]\n"
        "                       [--plot FILE.png|FILE.svg] DIR...\n"
        "\n"
        "Puts the counted events of every analysed video of the folders DIR (their result\n"
        "files exportCSV/NAME.csv) into time bins, and prints per bin its start, the In, Out\n"
        "and crossing events, and the minutes of analysed video behind it. A bin that no\n"
        "video covered has no counts ('-'): nobody recorded it, which is not the same as no\n"
        "insects. Times come from the videos' names (video_yyyyMMdd_hhmm_NN.mp4); the events\n"
        "of videos named otherwise are left out and counted.\n"
        "\n"
        "Options:\n"
        "  --bin WIDTH     bin width: 10m, 15m, 30m, 1h (default) or 1d\n"
        "  --from DATE     first day (yyyy-MM-dd), default the first day with data\n"
        "  --to DATE       last day, included; default the last day with data\n"
        "  --profile       print the daily profile instead: per time of day, the events per\n"
        "                  recorded hour, over all days, and the hours recorded\n"
        "  --csv FILE      also write what is printed as a ';'-separated file\n"
        "  --columns FILE  write one line per bin with the In, Out and crossing counts in\n"
        "                  tab-separated columns, unrecorded bins empty (for actogram tools)\n"
        "  --plot FILE     draw the time series, the actogram and the daily profile into a\n"
        "                  PNG or SVG picture (no display needed); refused for more bins\n"
        "                  or days than a chart can show, with a wider bin to use\n"
        "  -h, --help      show this help\n"
        "\n"
        "Exit status: 0 when every file was read; 2 when some result files or videos could\n"
        "not be read (they are named on standard error; the rest is still reported); 1 when\n"
        "an output (a file, the picture, standard output) could not be written in full;\n"
        "64 for a usage error.\n");
}
