// activity_bench: generates a folder of half-hour recordings (placeholder videos whose frame rate
// and frame count are in the property cache, and their result files), then times orvane-activity
// and the opening of the Activity view over it.
//
//   activity_bench                         1000 files of 100 events in a temporary folder
//   activity_bench --rhythm --keep DIR     a folder with a daily rhythm, kept for pictures
#include "activitycommand.h"
#include "activityfolder.h"
#include "activityview.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtMath>
#include <cstdio>
#include <sstream>

namespace
{

constexpr double fps = 25;
constexpr int recordingSeconds = 1800;
constexpr int slotMinutes = 30;

struct Plan {
    int files = 1000;
    int events = 100; // per file, or the busiest file's with a rhythm
    bool rhythm = false;
};

// Insects fly by day, most in the late morning and the afternoon; some days are busier.
double activityAt(double hour, int day)
{
    const auto peak = [&](double centre, double width) {
        return qExp(-qPow((hour - centre) / width, 2));
    };
    const double weather = 0.45 + 0.55 * (0.5 + 0.5 * qSin(day * 1.7));
    return weather * (peak(10.5, 1.8) + 0.8 * peak(16, 2.0));
}

// The camera was off on the ninth day, and every fifth day around noon.
bool recorded(int day, int hour)
{
    return day != 8 && !(day % 5 == 2 && hour >= 12 && hour < 14);
}

QByteArray eventRows(const QDateTime& start, int count, QRandomGenerator& random)
{
    QByteArray rows;
    for (int i = 0; i < count; ++i) {
        const int frame = 90 + int(random.bounded(recordingSeconds * int(fps) - 90));
        const bool in = random.bounded(2) == 0;
        const QString time =
            start.addSecs(frame / int(fps)).toString(QStringLiteral("yyyy-MM-dd_hh:mm:ss"));
        rows += QStringLiteral("%1;%2;%3;%4;%5;%6\n")
                    .arg(frame)
                    .arg(100 + i % 400)
                    .arg(80 + i % 300)
                    .arg(in ? 1 : 0)
                    .arg(in ? 0 : 1)
                    .arg(time)
                    .toUtf8();
    }
    return rows;
}

bool generate(const QString& dir, const Plan& plan)
{
    QRandomGenerator random(2026);
    const QDateTime first(QDate(2026, 6, 1), QTime(0, 0));
    int made = 0;
    for (int slot = 0; made < plan.files; ++slot) {
        const QDateTime start = first.addSecs(qint64(slot) * slotMinutes * 60);
        const int day = slot / (24 * 60 / slotMinutes);
        if (!recorded(day, start.time().hour()))
            continue;
        const double hour = start.time().hour() + start.time().minute() / 60.0;
        const int count = plan.rhythm ? int(plan.events * activityAt(hour, day) + random.bounded(3))
                                      : plan.events;
        const QString name = start.toString(QStringLiteral("'video_'yyyyMMdd_hhmm'_01'"));
        if (!activityfolder::addVideo(dir, name, fps, recordingSeconds * fps) ||
            !activityfolder::writeResults(dir, name, eventRows(start, count, random)))
            return false;
        ++made;
    }
    return true;
}

double timeCommand(const QStringList& arguments, int& status)
{
    std::ostringstream out, err;
    QElapsedTimer timer;
    timer.start();
    status = activityMain(arguments, out, err);
    return timer.nsecsElapsed() / 1e6;
}

double timeView(const QString& dir)
{
    QElapsedTimer timer;
    timer.start();
    ActivityView view({dir});
    view.show();
    QApplication::processEvents();
    return timer.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOptions(
        {{"files", "Number of result files.", "N", "1000"},
         {"events", "Events per file (the busiest file's with --rhythm).", "N", "100"},
         {"rhythm", "Events follow a daily rhythm instead of a fixed number."},
         {"keep", "Generate into DIR and keep it.", "DIR"}});
    parser.process(app);
    Plan plan;
    plan.files = parser.value("files").toInt();
    plan.events = parser.value("events").toInt();
    plan.rhythm = parser.isSet("rhythm");

    QTemporaryDir temporary;
    const QString dir = parser.isSet("keep") ? parser.value("keep") : temporary.path();
    QDir().mkpath(dir);
    if (plan.files <= 0 || plan.events < 0 || !generate(dir, plan)) {
        std::fprintf(stderr, "activity_bench: cannot generate the folder %s\n", qPrintable(dir));
        return 1;
    }
    int status = 0;
    const double table = timeCommand({dir}, status);
    const double again = timeCommand({dir}, status);
    const double profile = timeCommand({"--profile", dir}, status);
    const double view = timeView(dir);
    std::printf("%d result files, %s%d events each, properties cached (exit status %d)\n",
                plan.files, plan.rhythm ? "up to about " : "", plan.events, status);
    std::printf("orvane-activity table   %8.1f ms (again %.1f ms)\n", table, again);
    std::printf("orvane-activity profile %8.1f ms\n", profile);
    std::printf("Activity view opened    %8.1f ms\n", view);
    std::printf("per result file         %8.3f ms\n", again / plan.files);
    return status;
}
