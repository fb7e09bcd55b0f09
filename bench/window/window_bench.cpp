// window_bench: how much slower the window's "Process" is than orvane-count on the same video.
//
//   window_bench [--frames N] [--dir DIR] [--keep] [--only off|on]
//
// Makes a 1920x1080 H.264 video of moving blobs (N frames, at least 1000) with a mask and a
// counting box, then, in one run: times orvane-count (next to this program) analysing it, and
// the real main window, offscreen, pressing "Process" on it ("only one file") once with
// "Display trajectories" off and once with it on. Prints both ratios window/orvane-count, the
// longest stall of the GUI thread during each window run, and whether the window's files are
// byte-identical to orvane-count's. On a machine shared with other work the elapsed times are
// noisy; the processor time of each side and its ratio are printed too, being far less so.
#include "benchchild.h"
#include "benchvideo.h"
#include "exportpath.h"
#include "mainwindow.h"
#include "startup.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QPushButton>
#include <QSettings>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace
{

const char* const outputSuffixes[] = {ExportPath::resultSuffix, ExportPath::densityImageSuffix,
                                      ExportPath::densityTextSuffix};

QMap<QString, QByteArray> outputs(const QString& video)
{
    QMap<QString, QByteArray> files;
    for (const char* suffix : outputSuffixes) {
        QFile file(ExportPath::file(video, QLatin1String(suffix)));
        files[QLatin1String(suffix)] = file.open(QIODevice::ReadOnly) ? file.readAll() : "missing";
    }
    return files;
}

void removeOutputs(const QString& video)
{
    for (const char* suffix : outputSuffixes)
        QFile::remove(ExportPath::file(video, QLatin1String(suffix)));
}

double ownCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return benchchild::cpuSeconds(usage);
}

struct WindowRun {
    double seconds = 0;
    double cpu = 0;
    double longestStallMs = 0; // longest gap between two 10 ms ticks of a watchdog timer
    bool finished = false;
};

int rowOf(QTableView* table, const QString& base)
{
    const QAbstractItemModel* model = table->model();
    for (int row = 0; row < model->rowCount(); ++row) {
        if (model->index(row, 0).data().toString() == base)
            return row;
    }
    return -1;
}

WindowRun runWindow(const QString& video, bool trajectories)
{
    WindowRun run;
    MainWindow window;
    window.show();
    auto* files = window.findChild<QTableView*>(QStringLiteral("tv_file"));
    files->setCurrentIndex(files->model()->index(rowOf(files, QFileInfo(video).baseName()), 0));
    window.findChild<QCheckBox*>(QStringLiteral("cb_vorlview"))->setChecked(trajectories);
    window.findChild<QComboBox*>(QStringLiteral("cb_process_conf"))->setCurrentIndex(1);
    auto* process = window.findChild<QPushButton*>(QStringLiteral("pb_algo"));
    if (!process->isEnabled())
        return run;

    QElapsedTimer sinceTick;
    QTimer watchdog;
    QObject::connect(&watchdog, &QTimer::timeout, [&] {
        run.longestStallMs = std::max(run.longestStallMs, sinceTick.nsecsElapsed() / 1e6);
        sinceTick.restart();
    });
    QElapsedTimer clock;
    clock.start();
    const double cpuBefore = ownCpuSeconds();
    process->click();
    sinceTick.start();
    watchdog.start(10);
    while (process->text() != QLatin1String("Process"))
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    run.seconds = clock.nsecsElapsed() / 1e9;
    run.cpu = ownCpuSeconds() - cpuBefore;
    run.finished = true;
    return run;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    QApplication app(argc, argv);
    Startup::quietDebugOutputUnlessAsked();
    Startup::applyStyleSheet(app);

    int frames = 1000;
    QString dirArg;
    bool keep = false;
    QString only;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--frames") && i + 1 < args.size())
            frames = std::max(1000, args[++i].toInt());
        else if (args[i] == QLatin1String("--dir") && i + 1 < args.size())
            dirArg = args[++i];
        else if (args[i] == QLatin1String("--keep"))
            keep = true;
        else if (args[i] == QLatin1String("--only") && i + 1 < args.size())
            only = args[++i]; // for profiling one of the two window runs
        else {
            std::fprintf(stderr, "usage: window_bench [--frames N] [--dir DIR] [--keep] "
                                 "[--only off|on]\n");
            return 64;
        }
    }
    QTemporaryDir temporary;
    temporary.setAutoRemove(!keep);
    const QString dir = dirArg.isEmpty() ? temporary.path() : dirArg;
    QDir().mkpath(dir);
    const QString video = dir + QStringLiteral("/video_20260601_0930_01.mp4");
    const std::string program =
        QFileInfo(QCoreApplication::applicationDirPath() + QStringLiteral("/orvane-count"))
            .absoluteFilePath()
            .toStdString();

    if (!benchvideo::prepare(video, frames, "window_bench"))
        return 1;
    QSettings(QStringLiteral("Brellico"), QStringLiteral("Orvane"))
        .setValue(QStringLiteral("currentPath"), dir);
    benchvideo::plainDecode(video); // warms the file cache and the decoder's libraries

    removeOutputs(video);
    const benchchild::Run count =
        benchchild::run(program, {"--quiet", QFile::encodeName(video).toStdString()});
    if (count.exitStatus != 0) {
        std::fprintf(stderr, "window_bench: %s failed\n", program.c_str());
        return 1;
    }
    const QMap<QString, QByteArray> expected = outputs(video);

    std::printf("orvane-count:                     %.2f s, processor %.2f s\n", count.seconds,
                count.cpu);
    bool identical = true;
    for (bool trajectories : {false, true}) {
        if (!only.isEmpty() && only != QLatin1String(trajectories ? "on" : "off"))
            continue;
        removeOutputs(video);
        const WindowRun run = runWindow(video, trajectories);
        if (!run.finished) {
            std::fprintf(stderr, "window_bench: the window did not start the run\n");
            return 1;
        }
        const bool same = outputs(video) == expected;
        identical = identical && same;
        std::printf("window, trajectories %-3s:         %.2f s, ratio %.2f (aim: at most %s), "
                    "longest GUI stall %.0f ms, files %s; processor %.2f s, ratio %.2f\n",
                    trajectories ? "on" : "off", run.seconds, run.seconds / count.seconds,
                    trajectories ? "1.3" : "1.15", run.longestStallMs,
                    same ? "identical" : "DIFFERENT", run.cpu, run.cpu / count.cpu);
        std::fflush(stdout);
    }
    return identical ? 0 : 1;
}
