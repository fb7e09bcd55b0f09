#include "benchrun.h"

#include "areacontour.h"
#include "exportpath.h"
#include "scenario.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

const char* const regionNames[2] = {"line", "area"};

void parallelFor(size_t count, int jobs, const std::function<void(size_t)>& work)
{
    std::atomic<size_t> next{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < std::max(1, jobs); ++t)
        threads.emplace_back([&] {
            for (size_t i = next++; i < count; i = next++)
                work(i);
        });
    for (std::thread& t : threads)
        t.join();
}

std::string local(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

QString videoFolder(const QString& parent, unsigned draw)
{
    return parent +
           (draw == 0 ? QStringLiteral("/videos") : QStringLiteral("/videos-draw%1").arg(draw));
}

bool prepareFolder(const QString& folder, const QString& videoDir, const QStringList& videos,
                   Region region, int scale)
{
    // Results and videos of an earlier run with other scenarios would be counted again.
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    for (const QString& name : videos) {
        const QString target = folder + QLatin1Char('/') + name;
        if (::link(local(videoDir + QLatin1Char('/') + name).c_str(), local(target).c_str()) != 0 &&
            !QFile::copy(videoDir + QLatin1Char('/') + name, target))
            return false;
    }
    AreaContour regions;
    regions.area = region == Line ? BenchGeometry::line(scale) : BenchGeometry::area(scale);
    regions.mask = BenchGeometry::mask(scale);
    const QString first = folder + QLatin1Char('/') + videos.front();
    return ExportPath::ensureFolder(first) && regions.save_area(first) && regions.save_mask(first);
}

namespace
{

// orvane-count's table: "NAME FRAMES IN OUT DENSITY SECONDS" per video.
void readCostTable(const QByteArray& table, CountCost& cost)
{
    for (const QByteArray& line : table.split('\n')) {
        const QList<QByteArray> f = line.simplified().split(' ');
        if (f.size() != 6 || f[0] == "Video" || f[0] == "Total")
            continue;
        bool ok = false;
        const double seconds = f[5].toDouble(&ok);
        if (ok)
            cost.secondsPerVideo[QString::fromUtf8(f[0])] = seconds;
    }
}

} // namespace

bool runCount(const QString& program, const QString& mode, const QString& folder,
              const QString& regionsVideo, const QString& logFile, CountCost* cost)
{
    // The mode is always named: without it a kept folder would keep the mode of its last results.
    const QStringList arguments{QStringLiteral("--quiet"),
                                QStringLiteral("--regions"),
                                regionsVideo,
                                QStringLiteral("--counting"),
                                mode,
                                folder};
    std::vector<std::string> words{local(program)};
    for (const QString& a : arguments)
        words.push_back(local(a));
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    const std::string log = local(logFile);
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        return false;
    // Started by hand rather than through QProcess, to learn its own processor time (wait4).
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        if (!log.empty()) {
            const int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
            if (fd >= 0)
                ::dup2(fd, STDERR_FILENO);
        }
        ::close(out[0]);
        ::close(out[1]);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    if (pid < 0) {
        ::close(out[0]);
        return false;
    }
    QByteArray table;
    char buffer[4096];
    for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) != 0;) {
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            break;
        table.append(buffer, static_cast<int>(n));
    }
    ::close(out[0]);
    int status = 0;
    rusage usage{};
    while (::wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "accuracy_bench: orvane-count %s failed (status %d)\n",
                     qPrintable(arguments.join(QLatin1Char(' '))), status);
        return false;
    }
    if (cost) {
        cost->processorSeconds = usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
                                 (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
        readCostTable(table, *cost);
    }
    return true;
}

std::vector<CountedEvent> readCounted(const QString& video)
{
    std::vector<CountedEvent> events;
    QFile file(ExportPath::file(video, ".csv"));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return events;
    QTextStream in(&file);
    in.readLine(); // header
    while (!in.atEnd()) {
        const QStringList f = in.readLine().split(QLatin1Char(';'));
        if (f.size() < 5)
            continue;
        // The file gives the frame before the one the event was counted on.
        events.push_back({static_cast<int>(f[0].toDouble()) + 1,
                          cv::Point(f[1].toInt(), f[2].toInt()), f[3].toInt(), f[4].toInt()});
    }
    return events;
}

void explain(const QString& name, const std::vector<videogen::TrueEvent>& truth, int region,
             const QString& mode, const std::vector<CountedEvent>& counted,
             const MatchTolerance& tolerance, const QString& note)
{
    std::vector<Verdict> verdicts;
    matchEvents(truth, counted, tolerance, &verdicts);
    std::fprintf(stderr, "%s %s %s%s%s\n  true:   ", qPrintable(name), regionNames[region],
                 qPrintable(mode), note.isEmpty() ? "" : " ", qPrintable(note));
    for (const videogen::TrueEvent& t : truth)
        std::fprintf(stderr, " %d(%d-%d) %d,%d %s", t.frame, t.touchFirst, t.touchLast, t.at.x,
                     t.at.y, t.in ? "In" : "Out");
    std::fprintf(stderr, "\n  counted:");
    for (size_t i = 0; i < counted.size(); ++i) {
        const CountedEvent& e = counted[i];
        const Verdict v = i < verdicts.size() ? verdicts[i] : Verdict::Matched;
        std::fprintf(stderr, " %d %d,%d %s%s", e.frame, e.at.x, e.at.y,
                     e.in && e.out ? "In+Out" : (e.in ? "In" : "Out"),
                     v == Verdict::Extra ? "x" : (v == Verdict::Double ? "2" : ""));
    }
    std::fprintf(stderr, "\n");
}
