// orvane-makevideo: writes a synthetic insect video for trying out or testing Orvane, and
// optionally its true insect positions and counting events.
#include "makevideo.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    MakeVideoOptions options;
    const QString problem = parseMakeVideoArguments(app.arguments(), options);
    if (options.help) {
        std::fputs(qPrintable(makeVideoUsage()), stdout);
        return 0;
    }
    if (!problem.isEmpty()) {
        std::fprintf(stderr, "orvane-makevideo: %s\n%s", qPrintable(problem),
                     qPrintable(makeVideoUsage()));
        return 64;
    }
    const QString failure = makeVideo(options);
    if (!failure.isEmpty()) {
        std::fprintf(stderr, "orvane-makevideo: %s\n", qPrintable(failure));
        return 1;
    }
    return 0;
}
