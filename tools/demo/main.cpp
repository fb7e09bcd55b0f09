// orvane-demo: prepares a first working directory for a new user, so that the window opens on a
// video that can be analysed at once. It does nothing when a working directory is already stored.
#include "demofolder.h"
#include "settingsstore.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSettings>
#include <cstdio>

namespace
{

const char* const usage =
    "Usage: orvane-demo [-h|--help]\n"
    "\n"
    "Prepares a demo working folder for a first start of Orvane: a generated sample video\n"
    "with its mask and counting area, in ~/.local/share/Orvane/demo (under $XDG_DATA_HOME\n"
    "when set), and makes it Orvane's working directory. Nothing is done when a working\n"
    "directory has been chosen already, so a user's choice is never replaced.\n"
    "\n"
    "Exit status: 0 the demo folder is ready (or a working directory was set already),\n"
    "1 it could not be written, 64 a usage error.\n";

constexpr int usageError = 64;

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    parser.addOption(help);
    if (!parser.parse(app.arguments()) || !parser.positionalArguments().isEmpty()) {
        const QString error = parser.errorText().isEmpty()
                                  ? QStringLiteral("unexpected argument %1")
                                        .arg(parser.positionalArguments().value(0))
                                  : parser.errorText();
        std::fprintf(stderr, "orvane-demo: %s\n%s", qPrintable(error), usage);
        return usageError;
    }
    if (parser.isSet(help)) {
        std::fputs(usage, stdout);
        return 0;
    }

    QSettings settings = openSettings();
    if (!settings.value(QStringLiteral("currentPath")).toString().isEmpty())
        return 0;

    const QString dir = DemoFolder::location();
    std::printf("Preparing a demo folder in %s ...\n", qPrintable(dir));
    std::fflush(stdout);
    const QString problem = DemoFolder::prepare();
    if (!problem.isEmpty()) {
        std::fprintf(stderr, "orvane-demo: %s\n", qPrintable(problem));
        return 1;
    }
    settings.setValue(QStringLiteral("currentPath"), dir);
    settings.sync();
    if (settings.status() != QSettings::NoError) {
        std::fprintf(stderr, "orvane-demo: cannot store the working directory\n");
        return 1;
    }
    std::printf("Working directory set to %s: select the video and press \"Process\".\n",
                qPrintable(dir));
    return 0;
}
