#include "outdoorbench.h"

#include "outdoorgrid.h"
#include "scenario.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>
#include <mutex>
#include <tuple>

namespace
{

// Counted within this many frames of the insect touching the border.
constexpr int frameTolerance = 3;
// Bumped whenever the generator draws outdoor scenes differently, so that kept videos of an
// older generator are not counted against new truth.
const QString videoPrefix = QStringLiteral("o5_");
constexpr double aim = 0.95;

struct Video {
    size_t scenario = 0;
    QString name;
    std::vector<videogen::TrueEvent> truth[2]; // by Region
    std::vector<videogen::FrameSpan> gusts;
    MatchTolerance tolerance;
};

// Figures of one video, region and mode, or of many summed.
struct Figures {
    MatchCounts counts;
    int falseInGusts = 0; // unmatched counted events during a gust (or within the tolerance)
    int repeated = 0;     // doubles outside gusts
    int otherFalse = 0;   // extras outside gusts

    Figures& operator+=(const Figures& o)
    {
        counts += o.counts;
        falseInGusts += o.falseInGusts;
        repeated += o.repeated;
        otherFalse += o.otherFalse;
        return *this;
    }
};

using Tally = std::map<std::tuple<size_t, int, int>, Figures>; // scenario, region, mode

MatchTolerance toleranceFor(const OutdoorScenario& s, int scale)
{
    // As the clean grid: the detector's boxes are wider than the body, and a fast insect's box
    // spans both of its positions.
    return {frameTolerance, scale * (24 + longestInsect(s) + 2 * longestStep(s))};
}

bool inGust(const Video& v, int frame)
{
    return std::any_of(v.gusts.begin(), v.gusts.end(), [&](const videogen::FrameSpan& g) {
        return frame >= g.first - frameTolerance && frame <= g.second + frameTolerance;
    });
}

Figures judge(const Video& v, int region, const std::vector<CountedEvent>& counted)
{
    Figures f;
    std::vector<Verdict> verdicts;
    f.counts = matchEvents(v.truth[region], counted, v.tolerance, &verdicts);
    for (size_t i = 0; i < counted.size(); ++i) {
        if (verdicts[i] == Verdict::Matched)
            continue;
        if (inGust(v, counted[i].frame))
            ++f.falseInGusts;
        else
            ++(verdicts[i] == Verdict::Double ? f.repeated : f.otherFalse);
    }
    return f;
}

bool writeVideo(const QString& path, const OutdoorClip& clip)
{
    // Under a temporary name, so that an interrupted run leaves no half video to be reused.
    const QString part = path + QStringLiteral(".part");
    std::string error;
    if (!videogen::writeOutdoorVideo(local(part), clip.recipe, clip.options, &error)) {
        std::fprintf(stderr, "accuracy_bench: %s\n", error.c_str());
        return false;
    }
    return QFile::rename(part, path);
}

std::vector<Video> generate(const std::vector<OutdoorScenario>& grid, const QString& videoDir,
                            const BenchSettings& settings)
{
    std::vector<Video> videos(grid.size());
    std::atomic<int> failed{0};
    const int scale = settings.scale;
    parallelFor(grid.size(), settings.jobs, [&](size_t k) {
        Video& v = videos[k];
        v.scenario = k;
        v.name = videoPrefix + QString::fromStdString(grid[k].key()) + QStringLiteral(".mp4");
        v.tolerance = toleranceFor(grid[k], scale);
        const OutdoorClip clip = outdoorClipOf(grid[k], settings.draw, scale);
        const std::vector<cv::Point> line = BenchGeometry::line(scale);
        v.truth[Line] =
            videogen::lineEvents(clip.recipe.blobs, clip.recipe.frames, line[0], line[1]);
        v.truth[Area] =
            videogen::areaEvents(clip.recipe.blobs, clip.recipe.frames, BenchGeometry::area(scale));
        v.gusts = videogen::OutdoorScene(clip.recipe, clip.options).gustFrames();
        const QString path = videoDir + QLatin1Char('/') + v.name;
        // Videos are reproducible: those of an earlier run in the same folder are kept.
        if (!QFileInfo::exists(path) && !writeVideo(path, clip))
            ++failed;
    });
    if (failed > 0)
        videos.clear();
    return videos;
}

struct Count {
    int region = 0, mode = 0;
    QString folder;
    QStringList names;
    CountCost cost;
};

// One counting run per region, mode and background, so that two jobs share the work evenly.
std::vector<Count> planCounts(const std::vector<OutdoorScenario>& grid,
                              const std::vector<Video>& videos, const BenchSettings& settings,
                              const QString& dir)
{
    std::map<std::string, QStringList> parts;
    for (const Video& v : videos)
        parts[grid[v.scenario].backdropName()] << v.name;
    std::vector<Count> counts;
    for (int m = 0; m < settings.modes.size(); ++m)
        for (int r : {Line, Area})
            for (const auto& [part, names] : parts) {
                Count c;
                c.region = r;
                c.mode = m;
                c.names = names;
                c.folder = QStringLiteral("%1/%2-%3-%4")
                               .arg(dir, QLatin1String(regionNames[r]), settings.modes[m],
                                    QString::fromStdString(part));
                counts.push_back(c);
            }
    return counts;
}

void printHeader(const QStringList& modes)
{
    std::printf("\n%-4s %-6s %-5s %-4s %3s %3s %-4s | %4s", "bg", "cond", "size", "spd", "fps",
                "ins", "reg", "true");
    for (const QString& m : modes)
        std::printf(" | %-7s %4s %3s %4s %4s %4s %4s %5s %5s", qPrintable(m), "cnt", "ok", "miss",
                    "gust", "rep", "xtra", "P", "R");
    std::printf("\n");
}

void printFigures(const std::vector<Figures>& perMode)
{
    std::printf(" | %4d", perMode.front().counts.trueEvents);
    for (const Figures& f : perMode)
        std::printf(" | %-7s %4d %3d %4d %4d %4d %4d %5.2f %5.2f", "", f.counts.countedEvents,
                    f.counts.matched, f.counts.missed, f.falseInGusts, f.repeated, f.otherFalse,
                    f.counts.precision(), f.counts.recall());
    std::printf("\n");
}

std::vector<Figures> sumOf(const std::vector<OutdoorScenario>& grid, const Tally& tally, int region,
                           int modes, const std::function<bool(const OutdoorScenario&)>& which)
{
    std::vector<Figures> sum(static_cast<size_t>(modes));
    for (size_t s = 0; s < grid.size(); ++s)
        if (which(grid[s]))
            for (int m = 0; m < modes; ++m)
                sum[static_cast<size_t>(m)] += tally.at({s, region, m});
    return sum;
}

// Figures summed over the scenarios of at most 8 insects where `key` gives the same text.
void printFactor(const char* title, const std::vector<OutdoorScenario>& grid, const Tally& tally,
                 int modes, const std::function<std::string(const OutdoorScenario&)>& key)
{
    std::vector<std::string> order;
    for (const OutdoorScenario& s : grid)
        if (!s.swarm() && std::find(order.begin(), order.end(), key(s)) == order.end())
            order.push_back(key(s));
    std::printf("\n%s\n", title);
    for (const std::string& k : order)
        for (int r : {Line, Area}) {
            std::printf("  %-30s %-4s", k.c_str(), regionNames[r]);
            printFigures(sumOf(grid, tally, r, modes, [&](const OutdoorScenario& s) {
                return !s.swarm() && key(s) == k;
            }));
        }
}

void printSummary(const std::vector<OutdoorScenario>& grid, const Tally& tally, int modes)
{
    printFactor("Outdoor, by background:", grid, tally, modes,
                [](const OutdoorScenario& s) { return s.backdropName(); });
    printFactor("Outdoor, by condition:", grid, tally, modes,
                [](const OutdoorScenario& s) { return s.conditionName(); });
    printFactor("Outdoor, by insect length:", grid, tally, modes, [](const OutdoorScenario& s) {
        return std::string(s.large ? "12-19 px" : "8-13 px");
    });
    printFactor("Outdoor, by speed:", grid, tally, modes, [](const OutdoorScenario& s) {
        return std::string(s.fast ? "90-250 px/s straight" : "30-80 px/s wandering");
    });
    printFactor("Outdoor, by frame rate:", grid, tally, modes,
                [](const OutdoorScenario& s) { return std::to_string(s.fps) + " fps"; });
    printFactor("Outdoor, by insects at once:", grid, tally, modes,
                [](const OutdoorScenario& s) { return std::to_string(s.insects); });
    printFactor("Outdoor, overall (at most 8 insects at once):", grid, tally, modes,
                [](const OutdoorScenario&) { return std::string("all"); });
    std::printf("\nOutdoor, swarms of 20:\n");
    for (int r : {Line, Area}) {
        std::printf("  %-30s %-4s", "20 insects", regionNames[r]);
        printFigures(
            sumOf(grid, tally, r, modes, [](const OutdoorScenario& s) { return s.swarm(); }));
    }
}

void printAims(const std::vector<OutdoorScenario>& grid, const Tally& tally,
               const QStringList& modes)
{
    std::printf(
        "\nOutdoor aims: precision and recall at least %.2f with at most 8 insects at once; "
        "false events by class:\n",
        aim);
    for (int m = 0; m < modes.size(); ++m)
        for (int r : {Line, Area}) {
            const Figures f = sumOf(grid, tally, r, modes.size(), [](const OutdoorScenario& s) {
                return !s.swarm();
            })[static_cast<size_t>(m)];
            const bool met = f.counts.precision() >= aim && f.counts.recall() >= aim;
            std::printf("  %-8s %-4s %.2f / %.2f %s; %d false in gusts, %d repeated, %d other "
                        "false, %d missed of %d\n",
                        qPrintable(modes[m]), regionNames[r], f.counts.precision(),
                        f.counts.recall(), met ? "(met)" : "(not met)", f.falseInGusts, f.repeated,
                        f.otherFalse, f.counts.missed, f.counts.trueEvents);
        }
}

// Processor time per mode, and each mode's time against the first mode's, per video from the
// seconds orvane-count reports (wall time, so only a guide on a busy machine).
void printCosts(const std::vector<Count>& counts, const QStringList& modes)
{
    std::vector<double> processor(static_cast<size_t>(modes.size()));
    std::vector<std::map<QString, double>> perVideo(static_cast<size_t>(modes.size()));
    for (const Count& c : counts) {
        processor[static_cast<size_t>(c.mode)] += c.cost.processorSeconds;
        for (const auto& [name, seconds] : c.cost.secondsPerVideo)
            perVideo[static_cast<size_t>(c.mode)][name] += seconds;
    }
    std::printf("\nOutdoor processor time (line and area counts together):\n");
    for (int m = 0; m < modes.size(); ++m) {
        const size_t i = static_cast<size_t>(m);
        std::printf("  %-8s %8.1f s", qPrintable(modes[m]), processor[i]);
        if (m > 0 && processor[0] > 0) {
            double worst = 0;
            QString worstName;
            for (const auto& [name, seconds] : perVideo[i]) {
                const double base = perVideo[0].count(name) ? perVideo[0].at(name) : 0;
                const double ratio = base > 0 ? seconds / base : 0;
                if (ratio > worst)
                    worst = ratio, worstName = name;
            }
            std::printf("  %.2f times %s; worst video %.1f times (%s)", processor[i] / processor[0],
                        qPrintable(modes[0]), worst, qPrintable(worstName));
        }
        std::printf("\n");
    }
}

} // namespace

int runOutdoorGrid(const BenchSettings& settings, const QString& dir, const QString& program)
{
    const auto started = std::chrono::steady_clock::now();
    std::vector<OutdoorScenario> grid = outdoorGrid();
    keepSelected(grid, settings);
    if (grid.empty()) {
        std::fprintf(stderr, "accuracy_bench: no outdoor scenario matches\n");
        // With both grids, a filter meant for the other one is no failure.
        return settings.clean ? 0 : 1;
    }
    // Videos of another scale are other videos.
    const QString outdoorDir =
        dir + (settings.scale == 1 ? QStringLiteral("/outdoor")
                                   : QStringLiteral("/outdoor-x%1").arg(settings.scale));
    const QString videoDir = videoFolder(outdoorDir, settings.draw);
    QDir().mkpath(videoDir);
    std::fprintf(stderr, "Generating the videos of %zu outdoor scenarios in %s ...\n", grid.size(),
                 qPrintable(videoDir));
    const std::vector<Video> videos = generate(grid, videoDir, settings);
    if (videos.empty())
        return 1;
    std::vector<Count> counts = planCounts(grid, videos, settings, outdoorDir);
    for (const Count& c : counts)
        if (!prepareFolder(c.folder, videoDir, c.names, Region(c.region), settings.scale)) {
            std::fprintf(stderr, "accuracy_bench: cannot prepare %s\n", qPrintable(c.folder));
            return 1;
        }
    std::fprintf(stderr, "Counting %zu outdoor videos in %zu runs with %s ...\n", videos.size(),
                 counts.size(), qPrintable(program));
    std::atomic<int> failed{0};
    parallelFor(counts.size(), settings.jobs, [&](size_t k) {
        Count& c = counts[k];
        if (!runCount(program, settings.modes[c.mode], c.folder,
                      c.folder + QLatin1Char('/') + c.names.front(),
                      c.folder + QStringLiteral(".log"), &c.cost))
            ++failed;
    });
    if (failed > 0)
        return 1;

    Tally tally;
    for (size_t s = 0; s < grid.size(); ++s)
        for (const Count& c : counts)
            tally[{s, c.region, c.mode}] = Figures();
    std::map<QString, const Video*> byName;
    for (const Video& v : videos)
        byName[v.name] = &v;
    for (const Count& c : counts)
        for (const QString& name : c.names) {
            const Video& v = *byName.at(name);
            const std::vector<CountedEvent> counted =
                readCounted(c.folder + QLatin1Char('/') + name);
            const Figures f = judge(v, c.region, counted);
            tally[{v.scenario, c.region, c.mode}] += f;
            const MatchCounts& m = f.counts;
            if (settings.explain && (m.missed > 0 || m.extra > 0 || m.doubles > 0)) {
                QString gusts;
                for (const videogen::FrameSpan& g : v.gusts)
                    gusts += QStringLiteral(" gust %1-%2").arg(g.first).arg(g.second);
                explain(name, v.truth[c.region], c.region, settings.modes[c.mode], counted,
                        v.tolerance, gusts.trimmed());
            }
        }

    const cv::Size frame = BenchGeometry::frame(settings.scale);
    std::printf("\nOUTDOOR GRID (%dx%d, H.264 at a low bit rate; seconds on the scene's clock)\n",
                frame.width, frame.height);
    printHeader(settings.modes);
    for (size_t s = 0; s < grid.size(); ++s)
        for (int r : {Line, Area}) {
            std::printf("%s %-4s", grid[s].label().c_str(), regionNames[r]);
            printFigures(sumOf(grid, tally, r, settings.modes.size(),
                               [&](const OutdoorScenario& o) { return &o == &grid[s]; }));
        }
    printSummary(grid, tally, settings.modes.size());
    printAims(grid, tally, settings.modes);
    printCosts(counts, settings.modes);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("\n%zu outdoor videos, %zu counting runs, %.0f s\n", videos.size(), counts.size(),
                seconds);
    return 0;
}
