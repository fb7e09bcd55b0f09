#include "importoptions.h"

#include <QCommandLineParser>
#include <QFileInfo>

QString ImportOptions::check() const
{
    if (help)
        return {};
    const QFileInfo from(source);
    if (source.isEmpty() || !from.exists())
        return QStringLiteral("no such folder: %1").arg(source);
    if (!from.isDir())
        return QStringLiteral("not a folder: %1").arg(source);
    const QFileInfo to(destination);
    if (destination.isEmpty())
        return QStringLiteral("no DEST_DIR given");
    if (to.exists() && !to.isDir())
        return QStringLiteral("not a folder: %1").arg(destination);
    return {};
}

QString parseImportArguments(const QStringList& arguments, ImportOptions& options)
{
    options = ImportOptions();
    QCommandLineParser parser;
    const QCommandLineOption quiet(QStringLiteral("quiet"));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption fps(QStringLiteral("fps"), QString(), QStringLiteral("N"));
    parser.addOption(quiet);
    parser.addOption(help);
    parser.addOption(fps);
    parser.addPositionalArgument(QStringLiteral("SOURCE_DIR"), QString());
    parser.addPositionalArgument(QStringLiteral("DEST_DIR"), QString());
    if (!parser.parse(QStringList{QStringLiteral("orvane-import")} + arguments))
        return parser.errorText();
    options.quiet = parser.isSet(quiet);
    options.help = parser.isSet(help);
    if (parser.isSet(fps)) {
        bool number = false;
        options.streamFrameRate = parser.value(fps).toInt(&number);
        if (!number || options.streamFrameRate < 1 ||
            options.streamFrameRate > Process_Import::MaxStreamFrameRate)
            return QStringLiteral("--fps needs a whole number from 1 to %1, not \"%2\"")
                .arg(Process_Import::MaxStreamFrameRate)
                .arg(parser.value(fps));
    }
    const QStringList folders = parser.positionalArguments();
    if (options.help)
        return {};
    if (folders.size() != 2)
        return QStringLiteral("expected SOURCE_DIR and DEST_DIR, got %1 folder(s)")
            .arg(folders.size());
    options.source = folders.at(0);
    options.destination = folders.at(1);
    return {};
}

QString importUsage()
{
    return QStringLiteral(
        "Usage: orvane-import [--quiet] [--fps N] SOURCE_DIR DEST_DIR\n"
        "\n"
        "Brings the recordings of SOURCE_DIR (typically a camera's card) into the working\n"
        "folder DEST_DIR without a display, exactly as the window's import dialog does:\n"
        "NAME.mp4 is copied, NAME.avi is copied as NAME.mp4, and a raw NAME.h264 stream is\n"
        "wrapped into NAME.mp4 at N frames per second (--fps, default 90) by mp4box, since a\n"
        "raw stream records no frame rate. NAME is the file name up to\n"
        "its first dot. Only the suffixes .mp4, .avi and .h264 in lower case are imported.\n"
        "DEST_DIR is created when missing.\n"
        "\n"
        "Nothing is ever half written: a failed or stopped import leaves no file behind, and a\n"
        "different file already holding a target name is not replaced.\n"
        "\n"
        "Options:\n"
        "  --quiet     no progress on standard error\n"
        "  --fps N     frame rate at which raw .h264 streams are wrapped (1 to 1000, default 90)\n"
        "  -h, --help  show this help\n"
        "\n"
        "Progress goes to standard error (a live line on a terminal, plain lines otherwise);\n"
        "a summary goes to standard output: per file whether it was copied, converted,\n"
        "skipped or failed, and why. Ctrl-C (SIGINT) or SIGTERM stops after cleaning up.\n"
        "\n"
        "Exit status: 0 every recording was imported (or was already there), 2 some failed or\n"
        "the import was stopped, 64 a usage error.\n");
}
