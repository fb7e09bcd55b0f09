// accuracy_bench: how often the count is right, on generated videos whose true events are known.
//
//   accuracy_bench [--outdoor | --both] [--modes classic,strict] [--jobs N] [--dir DIR] [--keep]
//                  [--max-insects N] [--filter TEXT] [--explain]
//
// With --dir, videos already written there by an earlier run are used again. --max-insects
// leaves out the scenarios with more insects at once, and --filter those whose name lacks TEXT,
// for quicker measurements. --explain lists, for every video counted wrongly, its true and its
// counted events.
//
// Generates a grid of small videos (insect size, speed, straight or wandering paths, pauses,
// number of insects, noise and flicker), counts each one with the orvane-count program next to
// this one, once with a counting line and once with a counting area, and matches the counted
// events to the true ones. Prints a line per scenario, the figures per value of each factor, and
// one overall line per region and counting mode. --outdoor does the same over the outdoor grid
// (outdoorgrid.h) instead, --both over both grids.
#include "benchrun.h"
#include "eventmatch.h"
#include "outdoorbench.h"
#include "scenario.h"
#include "truth.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStringList>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <vector>

namespace
{

// Counted within this many frames of the insect touching the border.
constexpr int frameTolerance = 3;
// The outdoor grid's videos grow with the square of the scale: 4 is 1280x960.
constexpr int maxScale = 4;

struct Video {
    size_t scenario = 0;
    QString name;
    std::vector<videogen::TrueEvent> truth[2]; // by Region
};

// Counts per scenario, region and mode.
using Tally = std::map<std::tuple<size_t, int, int>, MatchCounts>;

std::vector<Video> generate(const std::vector<Scenario>& grid, const QString& dir, int jobs,
                            unsigned draw)
{
    std::vector<Video> videos;
    for (size_t s = 0; s < grid.size(); ++s)
        for (int i = 0; i < videosOf(grid[s]); ++i)
            videos.push_back(
                {s,
                 QStringLiteral("%1_v%2.mp4").arg(QString::fromStdString(grid[s].key())).arg(i),
                 {}});
    std::atomic<int> failed{0};
    parallelFor(videos.size(), jobs, [&](size_t k) {
        Video& v = videos[k];
        const int index =
            v.name.section(QLatin1Char('v'), -1).section(QLatin1Char('.'), 0, 0).toInt();
        const videogen::ClipRecipe recipe = recipeOf(grid[v.scenario], index, draw);
        const std::vector<cv::Point> line = BenchGeometry::line();
        v.truth[Line] = videogen::lineEvents(recipe.blobs, recipe.frames, line[0], line[1]);
        v.truth[Area] = videogen::areaEvents(recipe.blobs, recipe.frames, BenchGeometry::area());
        // Videos are reproducible: those of an earlier run in the same folder are kept.
        const QString path = dir + QLatin1Char('/') + v.name;
        std::string error;
        if (!QFileInfo::exists(path) && !videogen::writeVideo(local(path), recipe, &error)) {
            std::fprintf(stderr, "accuracy_bench: %s\n", error.c_str());
            ++failed;
        }
    });
    if (failed > 0)
        videos.clear();
    return videos;
}

MatchTolerance toleranceFor(const Scenario& s)
{
    // The detector's boxes are widened by its morphology, and a fast insect's box spans both of
    // its positions.
    return {frameTolerance, 24 + s.size + 2 * s.speed};
}

void printHeader(const QStringList& modes)
{
    std::printf("\n%4s %5s %-14s %3s %-5s %-4s | %4s %3s %3s", "size", "speed", "path", "ins",
                "noise", "reg", "true", "In", "Out");
    for (const QString& m : modes)
        std::printf(" | %-7s %4s %3s %3s %3s %4s %4s %3s %5s %5s", qPrintable(m), "cnt", "In",
                    "Out", "ok", "miss", "xtra", "dbl", "P", "R");
    std::printf("\n");
}

void printCounts(const MatchCounts& first, const std::vector<MatchCounts>& perMode)
{
    std::printf(" | %4d %3d %3d", first.trueEvents, first.trueIn, first.trueOut);
    for (const MatchCounts& c : perMode)
        std::printf(" | %-7s %4d %3d %3d %3d %4d %4d %3d %5.2f %5.2f", "", c.countedEvents,
                    c.countedIn, c.countedOut, c.matched, c.missed, c.extra, c.doubles,
                    c.precision(), c.recall());
    std::printf("\n");
}

void printScenarios(const std::vector<Scenario>& grid, const Tally& tally, int modes)
{
    for (size_t s = 0; s < grid.size(); ++s)
        for (int r : {Line, Area}) {
            std::vector<MatchCounts> perMode;
            for (int m = 0; m < modes; ++m)
                perMode.push_back(tally.at({s, r, m}));
            std::printf("%s %-4s", grid[s].label().c_str(), regionNames[r]);
            printCounts(perMode.front(), perMode);
        }
}

// Figures summed over the scenarios where `key` gives the same text, for each factor.
void printFactor(const char* title, const std::vector<Scenario>& grid, const Tally& tally,
                 int modes, const std::function<std::string(const Scenario&)>& key)
{
    std::map<std::string, std::vector<MatchCounts>> sums;
    std::vector<std::string> order;
    for (size_t s = 0; s < grid.size(); ++s)
        for (int r : {Line, Area}) {
            const std::string k = key(grid[s]) + " " + regionNames[r];
            std::vector<MatchCounts>& sum = sums[k];
            if (sum.empty()) {
                sum.resize(static_cast<size_t>(modes));
                order.push_back(k);
            }
            for (int m = 0; m < modes; ++m)
                sum[static_cast<size_t>(m)] += tally.at({s, r, m});
        }
    std::printf("\n%s\n", title);
    for (const std::string& k : order) {
        std::printf("  %-38s", k.c_str());
        printCounts(sums[k].front(), sums[k]);
    }
}

void printSummary(const std::vector<Scenario>& grid, const Tally& tally, const QStringList& modes)
{
    const int n = modes.size();
    printFactor("By insect size (px):", grid, tally, n,
                [](const Scenario& s) { return std::to_string(s.size); });
    printFactor("By speed (px/frame):", grid, tally, n, [](const Scenario& s) {
        char t[16];
        std::snprintf(t, sizeof t, "%g", s.speed);
        return std::string(t);
    });
    printFactor("By path:", grid, tally, n, [](const Scenario& s) {
        return std::string(s.wander ? "wander" : "straight") + (s.pauses ? "+pause" : "");
    });
    printFactor("By insects at once:", grid, tally, n,
                [](const Scenario& s) { return std::to_string(s.insects); });
    printFactor("By noise and flicker:", grid, tally, n,
                [](const Scenario& s) { return std::string(s.noisy ? "on" : "off"); });
    printFactor("Overall:", grid, tally, n, [](const Scenario&) { return std::string("all"); });
}

// The scenarios in which every mode should count well: insects that move at least 2 px per
// frame, are 8 px or longer, and come at most 5 at a time.
bool fairScenario(const Scenario& s)
{
    return s.speed >= 2 && s.size >= 8 && s.insects <= 5;
}

// Per mode and region: the overall figures, and how many fair scenarios reach 0.9 in both
// precision and recall, with the weakest of them.
void printAims(const std::vector<Scenario>& grid, const Tally& tally, const QStringList& modes)
{
    std::printf(
        "\nAims: overall precision and recall at least 0.95; at least 0.9 in every scenario "
        "with speed 2 to 30, size 8 or more, at most 5 insects:\n");
    for (int m = 0; m < modes.size(); ++m)
        for (int r : {Line, Area}) {
            MatchCounts all;
            int fair = 0, reached = 0;
            double lowest = 1;
            size_t weakest = 0;
            for (size_t s = 0; s < grid.size(); ++s) {
                const MatchCounts& c = tally.at({s, r, m});
                all += c;
                if (!fairScenario(grid[s]))
                    continue;
                ++fair;
                const double worse = std::min(c.precision(), c.recall());
                reached += worse >= 0.9 ? 1 : 0;
                if (worse < lowest) {
                    lowest = worse;
                    weakest = s;
                }
            }
            std::printf("  %-8s %-4s overall %.2f / %.2f; %d of %d scenarios at 0.9 or more, "
                        "lowest %.2f (%s)\n",
                        qPrintable(modes[m]), regionNames[r], all.precision(), all.recall(),
                        reached, fair, lowest, grid[weakest].label().c_str());
        }
}

int runCleanGrid(const BenchSettings& settings, const QString& dir, const QString& program)
{
    const auto started = std::chrono::steady_clock::now();
    std::vector<Scenario> grid = scenarioGrid();
    keepSelected(grid, settings);
    if (grid.empty()) {
        std::fprintf(stderr, "accuracy_bench: no scenario of today's grid matches\n");
        // With both grids, a filter meant for the other one is no failure.
        return settings.outdoor ? 0 : 1;
    }

    const QString videoDir = videoFolder(dir, settings.draw);
    QDir().mkpath(videoDir);
    std::fprintf(stderr, "Generating the videos of %zu scenarios in %s ...\n", grid.size(),
                 qPrintable(videoDir));
    const std::vector<Video> videos = generate(grid, videoDir, settings.jobs, settings.draw);
    if (videos.empty())
        return 1;
    QStringList names;
    for (const Video& v : videos)
        names << v.name;

    struct Count {
        int region, mode;
        QString folder;
    };
    std::vector<Count> counts;
    for (int m = 0; m < settings.modes.size(); ++m)
        for (int r : {Line, Area}) {
            const QString folder = QStringLiteral("%1/%2-%3")
                                       .arg(dir, QLatin1String(regionNames[r]), settings.modes[m]);
            if (!prepareFolder(folder, videoDir, names, Region(r))) {
                std::fprintf(stderr, "accuracy_bench: cannot prepare %s\n", qPrintable(folder));
                return 1;
            }
            counts.push_back({r, m, folder});
        }
    std::fprintf(stderr, "Counting %zu videos %zu times with %s ...\n", videos.size(),
                 counts.size(), qPrintable(program));
    std::atomic<int> failed{0};
    parallelFor(counts.size(), settings.jobs, [&](size_t k) {
        const Count& c = counts[k];
        if (!runCount(program, settings.modes[c.mode], c.folder,
                      c.folder + QLatin1Char('/') + videos.front().name))
            ++failed;
    });
    if (failed > 0)
        return 1;

    Tally tally;
    for (size_t s = 0; s < grid.size(); ++s)
        for (const Count& c : counts)
            tally[{s, c.region, c.mode}] = MatchCounts();
    for (const Video& v : videos)
        for (const Count& c : counts) {
            const std::vector<CountedEvent> counted =
                readCounted(c.folder + QLatin1Char('/') + v.name);
            const MatchCounts m =
                matchEvents(v.truth[c.region], counted, toleranceFor(grid[v.scenario]));
            tally[{v.scenario, c.region, c.mode}] += m;
            if (settings.explain && (m.missed > 0 || m.extra > 0 || m.doubles > 0))
                explain(v.name, v.truth[c.region], c.region, settings.modes[c.mode], counted,
                        toleranceFor(grid[v.scenario]));
        }

    printHeader(settings.modes);
    printScenarios(grid, tally, settings.modes.size());
    printSummary(grid, tally, settings.modes);
    printAims(grid, tally, settings.modes);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("\n%zu videos, %zu counting runs, %.0f s\n", videos.size(), counts.size(), seconds);
    return 0;
}

// Reads the options into `s`; false, with the reason in `error`, for what it cannot take.
bool parse(const QStringList& args, BenchSettings& s, QString& error)
{
    QCommandLineParser parser;
    const QCommandLineOption outdoor(QStringLiteral("outdoor"), QStringLiteral("the outdoor grid"));
    const QCommandLineOption both(QStringLiteral("both"), QStringLiteral("both grids"));
    const QCommandLineOption modes(QStringLiteral("modes"), QStringLiteral("counting modes"),
                                   QStringLiteral("classic,strict"));
    const QCommandLineOption jobs(QStringLiteral("jobs"), QStringLiteral("runs at once"),
                                  QStringLiteral("N"));
    const QCommandLineOption dir(QStringLiteral("dir"), QStringLiteral("work folder"),
                                 QStringLiteral("DIR"));
    const QCommandLineOption keep(QStringLiteral("keep"), QStringLiteral("keep the work folder"));
    const QCommandLineOption maxInsects(QStringLiteral("max-insects"),
                                        QStringLiteral("at most N insects at once"),
                                        QStringLiteral("N"));
    const QCommandLineOption filter(QStringLiteral("filter"), QStringLiteral("scenario keys"),
                                    QStringLiteral("TEXT"));
    const QCommandLineOption explain(QStringLiteral("explain"),
                                     QStringLiteral("list the wrongly counted videos"));
    const QCommandLineOption draw(QStringLiteral("draw"), QStringLiteral("another draw"),
                                  QStringLiteral("N"));
    const QCommandLineOption scale(QStringLiteral("scale"),
                                   QStringLiteral("the outdoor grid at N times the resolution"),
                                   QStringLiteral("N"));
    parser.addOptions(
        {outdoor, both, modes, jobs, dir, keep, maxInsects, filter, explain, draw, scale});
    if (!parser.parse(args)) {
        error = parser.errorText();
        return false;
    }
    if (!parser.positionalArguments().isEmpty()) {
        error = QStringLiteral("unexpected argument %1").arg(parser.positionalArguments().first());
        return false;
    }
    const auto number = [&](const QCommandLineOption& o, int least, int most, int& value) {
        if (!parser.isSet(o))
            return true;
        bool ok = false;
        const int n = parser.value(o).toInt(&ok);
        if (!ok || n < least || n > most) {
            error = QStringLiteral("--%1 takes a number from %2 to %3")
                        .arg(o.names().first())
                        .arg(least)
                        .arg(most);
            return false;
        }
        value = n;
        return true;
    };
    int drawNumber = 0;
    if (!number(jobs, 1, 16, s.jobs) || !number(maxInsects, 1, 1000, s.maxInsects) ||
        !number(draw, 0, 1000, drawNumber) || !number(scale, 1, maxScale, s.scale))
        return false;
    s.draw = static_cast<unsigned>(drawNumber);
    if (parser.isSet(modes))
        s.modes = parser.value(modes).split(QLatin1Char(','), Qt::SkipEmptyParts);
    s.dir = parser.value(dir);
    s.filter = parser.value(filter);
    s.explain = parser.isSet(explain);
    s.keep = parser.isSet(keep);
    s.outdoor = parser.isSet(outdoor) || parser.isSet(both);
    s.clean = !parser.isSet(outdoor) || parser.isSet(both);
    if (s.modes.isEmpty()) {
        error = QStringLiteral("--modes names no mode");
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    BenchSettings settings;
    QString error;
    if (!parse(app.arguments(), settings, error)) {
        std::fprintf(stderr,
                     "accuracy_bench: %s\nusage: accuracy_bench [--outdoor | --both] "
                     "[--modes classic,strict] [--jobs N] [--dir DIR] [--keep] [--max-insects N] "
                     "[--filter TEXT] [--explain] [--draw N] [--scale N]\n",
                     qPrintable(error));
        return 64;
    }
    QTemporaryDir temporary;
    temporary.setAutoRemove(!settings.keep);
    const QString dir = settings.dir.isEmpty() ? temporary.path() : settings.dir;
    const QString program =
        QCoreApplication::applicationDirPath() + QStringLiteral("/orvane-count");
    if (settings.clean && runCleanGrid(settings, dir, program) != 0)
        return 1;
    return settings.outdoor ? runOutdoorGrid(settings, dir, program) : 0;
}
