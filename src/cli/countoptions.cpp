#include "countoptions.h"

#include "videofiles.h"
#include "videolisting.h"

#include <QCommandLineParser>
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
    if (breakLock) {
        if (eachFolder || onlyUnprocessed || !regionsVideo.isNull() || jobs != 0)
            return QStringLiteral("--break-lock takes only FOLDERs");
        for (const QString& path : paths) {
            if (!QFileInfo(path).isDir())
                return QStringLiteral("--break-lock: not a folder: %1").arg(path);
        }
        return {};
    }
    if (jobs != 0 && !eachFolder)
        return QStringLiteral("--jobs needs --each-folder");
    if (eachFolder) {
        if (!regionsVideo.isNull())
            return QStringLiteral("--each-folder cannot be combined with --regions: each folder "
                                  "uses its own regions");
        for (const QString& path : paths) {
            if (!QFileInfo(path).isDir())
                return QStringLiteral("--each-folder: not a folder: %1").arg(path);
        }
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
    QCommandLineParser parser;
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QString());
    const QCommandLineOption onlyUnprocessed(QStringLiteral("only-unprocessed"), QString());
    const QCommandLineOption quiet(QStringLiteral("quiet"), QString());
    const QCommandLineOption regions(QStringLiteral("regions"), QString(), QStringLiteral("VIDEO"));
    const QCommandLineOption eachFolder(QStringLiteral("each-folder"), QString());
    const QCommandLineOption breakLock(QStringLiteral("break-lock"), QString());
    const QCommandLineOption jobs(QStringLiteral("jobs"), QString(), QStringLiteral("N"));
    QCommandLineOption folderRecords(QStringLiteral("folder-records"), QString());
    folderRecords.setFlags(QCommandLineOption::HiddenFromHelp);
    const QCommandLineOption counting(QStringLiteral("counting"), QString(),
                                      QStringLiteral("MODE"));
    parser.addOptions({help, onlyUnprocessed, quiet, regions, eachFolder, jobs, folderRecords,
                       counting, breakLock});
    if (!parser.parse(QStringList{QStringLiteral("orvane-count")} + arguments)) {
        const QStringList unknown = parser.unknownOptionNames();
        if (!unknown.isEmpty()) {
            const QString& name = unknown.first();
            return QStringLiteral("unknown option %1%2")
                .arg(name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--"), name);
        }
        // Otherwise the last option lacks its value.
        if (arguments.last() == QLatin1String("--jobs"))
            return QStringLiteral("--jobs needs a number N");
        if (arguments.last() == QLatin1String("--counting"))
            return QStringLiteral("--counting needs classic or strict");
        return QStringLiteral("--regions needs a VIDEO");
    }
    if (parser.isSet(counting) && !countingModeFromName(parser.value(counting), options.counting))
        return QStringLiteral("--counting must be classic or strict, not '%1'")
            .arg(parser.value(counting));
    options.countingGiven = parser.isSet(counting);
    options.help = parser.isSet(help);
    options.onlyUnprocessed = parser.isSet(onlyUnprocessed);
    options.quiet = parser.isSet(quiet);
    // An empty VIDEO ("--regions=") is still given, and refused by check().
    if (parser.isSet(regions))
        options.regionsVideo =
            parser.value(regions).isNull() ? QStringLiteral("") : parser.value(regions);
    options.paths = parser.positionalArguments();
    options.eachFolder = parser.isSet(eachFolder);
    options.breakLock = parser.isSet(breakLock);
    options.folderRecords = parser.isSet(folderRecords);
    if (parser.isSet(jobs)) {
        bool ok = false;
        options.jobs = parser.value(jobs).toInt(&ok);
        if (!ok || options.jobs < 1 || options.jobs > maxJobs)
            return QStringLiteral("--jobs needs a number from 1 to %1, not '%2'")
                .arg(maxJobs)
                .arg(parser.value(jobs));
    }
    return {};
}

QString countUsage()
{
    return QStringLiteral(
               "Usage: orvane-count [--only-unprocessed] [--regions VIDEO] [--quiet] PATH...\n"
               "       orvane-count --each-folder [--jobs N] [--only-unprocessed] [--quiet] "
               "FOLDER...\n"
               "       (both also take --counting MODE)\n"
               "       orvane-count --break-lock FOLDER...\n"
               "\n"
               "Counts the insects in videos without a display, exactly as the window's "
               "\"Process\"\n"
               "does, and writes the same files beside each video, in its folder exportCSV:\n"
               "NAME.csv (the counted events), NAME_vorl.jpg and NAME_vorl.txt (the density map),\n"
               "and NAME_run.json, a record of how NAME.csv was made (program, version, counting\n"
               "mode, regions, frames, times).\n"
               "\n"
               "Each PATH is a video or a directory; a directory's *.mp4 videos are taken in the\n"
               "order of their names, as the window's file table lists them. The videos are "
               "analysed\n"
               "one after another with one tracker, like one run of the window.\n"
               "\n"
               "While a video is analysed its events go to NAME.csv.part; only a video analysed "
               "to\n"
               "its end, with its density files and record written, gets NAME.csv. A video that\n"
               "failed or was interrupted keeps its NAME.csv.part and counts as not processed.\n"
               "\n"
               "Options:\n"
               "  --only-unprocessed  analyse only the videos without a result file (NAME.csv)\n"
               "  --regions VIDEO     use the counting area and mask drawn on VIDEO (default: the\n"
               "                      first listed video that has both NAME_area.adv and\n"
               "                      NAME_mask.adv); every video must have VIDEO's frame size\n"
               "  --counting MODE     classic or strict: strict counting follows each tracked\n"
               "                      insect and counts every line crossing (In one way, Out the\n"
               "                      other), entry and exit once, and finds insects that move\n"
               "                      slowly; the result files keep their format. Without it a\n"
               "                      folder keeps the mode its results were made with (classic\n"
               "                      for results made before NAME_run.json records were kept),\n"
               "                      and a folder without results is counted strictly; a folder\n"
               "                      whose results mix the modes needs --counting\n"
               "  --quiet             no progress on standard error\n"
               "  --each-folder       analyse each FOLDER as a run of its own, with its own "
               "regions\n"
               "                      (those of its first listed video that has both region "
               "files),\n"
               "                      each in a child orvane-count; one summary with a Folder "
               "column\n"
               "  --jobs N            with --each-folder: up to N folders at once (default 1)\n"
               "  --break-lock        remove the locks that runs killed elsewhere left on FOLDERs\n"
               "  -h, --help          show this help\n"
               "\n"
               "Progress goes to standard error (a live line on a terminal, a line every few\n"
               "seconds otherwise); a summary table goes to standard output: per video the frames\n"
               "analysed, In, Out, density and seconds, or why it was skipped or failed, then the\n"
               "totals.\n"
               "\n"
               "A video that cannot be opened or read, has another frame size than the regions'\n"
               "video, has no frame after frame %1, or shares its result file with another queued\n"
               "video is skipped and named on standard error; nothing is written for it. A video\n"
               "whose files cannot be written (a full disk, no permission) fails, naming the file\n"
               "and the reason. The other videos go on. Frames that cannot be read in a damaged\n"
               "stretch are passed over and counted.\n"
               "\n"
               "One run per folder: a run on a folder that another run is working in is refused,\n"
               "naming the machine and process that hold its lock. A run killed on this machine\n"
               "leaves a lock that the next run takes over. One killed on another machine (a "
               "failed\n"
               "cluster node, the out-of-memory killer) leaves a lock that only --break-lock "
               "FOLDER\n"
               "removes, after saying whose it was; a lock held by a run still alive on this "
               "machine\n"
               "is kept. Make sure that run is gone first.\n"
               "On SIGINT, SIGTERM or SIGHUP the run stops after the current frame and prints its\n"
               "summary, also after a second signal; a third signal ends it at once.\n"
               "\n"
               "Exit status:\n"
               "   0  every selected video was analysed\n"
               "   1  some video failed, or the summary could not be written\n"
               "   2  some videos were skipped, or nothing could be analysed (no video, no "
               "regions,\n"
               "      an unreadable region file or regions video, another run on the folder)\n"
               "  64  usage error (unknown option, missing PATH, a PATH that does not exist, a\n"
               "      folder whose results mix the counting modes without --counting)\n"
               "  128+N  stopped by signal N\n"
               "With --each-folder the status is the worst folder's, and a signal stops every "
               "folder\n"
               "after its current frame; --only-unprocessed then resumes each folder.\n")
        .arg(VideoFiles::firstAnalysedFrame);
}
