#include "countoptions.h"

#include "videolisting.h"

#include <QFileInfo>

namespace
{
// A name that is not valid in the system's encoding reaches us with replacement characters
// and so names no file; saying "no such file" would send the user looking for a typing error.
QString missingPath(const QString& path, const char* what = "no such file or directory")
{
    if (path.contains(QChar::ReplacementCharacter))
        return unreadableNameWarning(path);
    return QStringLiteral("%1: %2").arg(QLatin1String(what), path);
}
} // namespace

QString CountOptions::check() const
{
    if (help)
        return {};
    if (paths.isEmpty())
        return QStringLiteral("no PATH given");
    for (const QString& path : paths) {
        if (path.isEmpty() || !QFileInfo::exists(path))
            return missingPath(path);
    }
    if (!regionsVideo.isNull()) {
        const QFileInfo info(regionsVideo);
        if (regionsVideo.isEmpty() || !info.exists())
            return QStringLiteral("--regions: ") + missingPath(regionsVideo, "no such video");
        if (!info.isFile())
            return QStringLiteral("--regions: not a video file: %1").arg(regionsVideo);
    }
    return {};
}

QString parseCountArguments(const QStringList& arguments, CountOptions& options)
{
    options = CountOptions();
    bool optionsEnded = false;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& arg = arguments.at(i);
        if (optionsEnded || !arg.startsWith(QLatin1Char('-')) || arg == QLatin1String("-")) {
            options.paths.append(arg);
        } else if (arg == QLatin1String("--")) {
            optionsEnded = true;
        } else if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            options.help = true;
        } else if (arg == QLatin1String("--only-unprocessed")) {
            options.onlyUnprocessed = true;
        } else if (arg == QLatin1String("--quiet")) {
            options.quiet = true;
        } else if (arg == QLatin1String("--regions")) {
            if (i + 1 >= arguments.size())
                return QStringLiteral("--regions needs a VIDEO");
            options.regionsVideo = arguments.at(++i);
        } else if (arg.startsWith(QLatin1String("--regions="))) {
            options.regionsVideo = arg.mid(int(qstrlen("--regions=")));
        } else {
            return QStringLiteral("unknown option %1").arg(arg);
        }
    }
    return {};
}

QString countUsage()
{
    return QStringLiteral(
        "Usage: orvane-count [--only-unprocessed] [--regions VIDEO] [--quiet] PATH...\n"
        "\n"
        "Counts the insects in videos without a display, exactly as the window's \"Process\"\n"
        "does, and writes the same files beside each video, in its folder exportCSV:\n"
        "NAME.csv (the counted events), NAME_vorl.jpg and NAME_vorl.txt (the density map).\n"
        "\n"
        "Each PATH is a video or a directory; a directory's *.mp4 videos are taken in the\n"
        "order the window's file table lists them. The videos are analysed one after another\n"
        "with one tracker, like one run of the window.\n"
        "\n"
        "Options:\n"
        "  --only-unprocessed  analyse only the videos without a result file (NAME.csv)\n"
        "  --regions VIDEO     use the counting area and mask drawn on VIDEO (default: the\n"
        "                      first listed video that has both NAME_area.adv and\n"
        "                      NAME_mask.adv); every video must have VIDEO's frame size\n"
        "  --quiet             no progress on standard error\n"
        "  -h, --help          show this help\n"
        "\n"
        "Progress goes to standard error (a live line on a terminal, a line every few\n"
        "seconds otherwise); a summary table goes to standard output: per video the frames\n"
        "analysed, In, Out, density and seconds, then the totals.\n"
        "\n"
        "A video that cannot be opened or read, has another frame size than the regions'\n"
        "video, or whose result file cannot be written is skipped and named on standard\n"
        "error; nothing is written for it and the other videos go on.\n"
        "\n"
        "Exit status:\n"
        "   0  every selected video was analysed\n"
        "   2  some videos were skipped, or nothing could be analysed (no video, no regions,\n"
        "      an unreadable region file or regions video)\n"
        "  64  usage error (unknown option, missing PATH, a PATH that does not exist)\n");
}
