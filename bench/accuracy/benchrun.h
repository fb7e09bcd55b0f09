#pragma once

// What the accuracy benchmark's grids share: its settings, running jobs side by side, folders
// of videos counted with orvane-count, and reading back what it counted.

#include "eventmatch.h"
#include "truth.h"

#include <QString>
#include <QStringList>
#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

enum Region { Line = 0, Area = 1 };
extern const char* const regionNames[2];

struct BenchSettings {
    QStringList modes{QStringLiteral("classic"), QStringLiteral("strict")};
    int jobs = 2;
    QString dir;
    bool keep = false;
    int maxInsects = 0; // 0: all
    bool explain = false;
    bool clean = true;    // today's grid
    bool outdoor = false; // the outdoor grid
    QString filter;       // only scenarios whose key contains this text
    unsigned draw = 0;    // which draw of the grids' random insects, paths and backgrounds
    int scale = 1;        // the outdoor grid filmed at this many times the resolution
};

// Each draw's videos (see drawnSeed) are kept in a folder of their own under `parent`.
QString videoFolder(const QString& parent, unsigned draw);

// Leaves in `grid` the scenarios that --max-insects and --filter select.
template <typename Scenario>
void keepSelected(std::vector<Scenario>& grid, const BenchSettings& settings)
{
    grid.erase(std::remove_if(grid.begin(), grid.end(),
                              [&](const Scenario& s) {
                                  return (settings.maxInsects > 0 &&
                                          s.insects > settings.maxInsects) ||
                                         !QString::fromStdString(s.key()).contains(settings.filter);
                              }),
               grid.end());
}

void parallelFor(size_t count, int jobs, const std::function<void(size_t)>& work);
std::string local(const QString& path);

// A fresh folder of hard links to the videos, with the region's files (BenchGeometry at `scale`)
// on the first one.
bool prepareFolder(const QString& folder, const QString& videoDir, const QStringList& videos,
                   Region region, int scale = 1);

// What one orvane-count run cost: processor time, and the seconds per video it reported.
struct CountCost {
    double processorSeconds = 0;
    std::map<QString, double> secondsPerVideo; // by video name without its extension
};

// Counts every video of `folder` with `mode`; its messages go to `logFile`, or to our standard
// error when that is empty.
bool runCount(const QString& program, const QString& mode, const QString& folder,
              const QString& regionsVideo, const QString& logFile = QString(),
              CountCost* cost = nullptr);

// The events of a result file, on the video frame they were counted on.
std::vector<CountedEvent> readCounted(const QString& video);

// A video counted wrongly, event by event, to standard error.
// Counted events that match no true one are marked "x", double counts "2".
void explain(const QString& name, const std::vector<videogen::TrueEvent>& truth, int region,
             const QString& mode, const std::vector<CountedEvent>& counted,
             const MatchTolerance& tolerance, const QString& note = QString());
