#include "insectdetect.h"

#include "areacontour.h"

#include <QDebug>

#include <algorithm>

namespace
{

// Throughout the engine a zero coordinate means "no position".
bool present(cv::Point p)
{
    return p.x != 0 && p.y != 0;
}

// 0 collinear, 1 one turn, 2 the other; for frame-sized coordinates the same as 32-bit
// arithmetic. Differences of two ints need 33 bits and their products 66, more than a long long
// holds, so points anywhere in the int range are compared exactly in 128 bits where the compiler
// has them.
#ifdef __SIZEOF_INT128__
using Wide = __int128;
#else
using Wide = long double; // exact for the clamped coordinates that region files give
#endif

int orientation(cv::Point a, cv::Point b, cv::Point c)
{
    const Wide v = (Wide(b.y) - a.y) * (Wide(c.x) - b.x) - (Wide(b.x) - a.x) * (Wide(c.y) - b.y);
    return v == 0 ? 0 : (v > 0 ? 1 : 2);
}

bool inBox(cv::Point p, cv::Point a, cv::Point b)
{
    return p.x >= std::min(a.x, b.x) && p.x <= std::max(a.x, b.x) && p.y >= std::min(a.y, b.y) &&
           p.y <= std::max(a.y, b.y);
}

QString eventTime(const QDateTime& start, int frame, int fps)
{
    // A video reporting less than one frame per second has no usable rate: its events get the
    // start time.
    const QDateTime time = fps <= 0 ? start : start.addSecs(frame / fps);
    return time.toString(QStringLiteral("yyyy-MM-dd_hh:mm:ss"));
}

Result recordEvent(int frame, cv::Point at, int in, int out, const QString& time)
{
    Result r;
    r.frame = frame;
    r.x = at.x;
    r.y = at.y;
    r.in = in;
    r.out = out;
    r.timestamp = time;
    return r;
}

struct Path {
    cv::Point from;
    cv::Point to;
    int in = 0;
    int out = 0;
};

// In: seen last frame, missing now; its last step drawn on to five times its length.
// Out: matched now and the frame before, after being new or missing; its first step drawn
// backwards three times its length.
bool countingPath(const Target& t, Path& path)
{
    if (!present(t.last) || !present(t.centroid))
        return false;
    const cv::Point step = t.centroid - t.last;
    if (t.age == 1) {
        path = {t.last, t.centroid + 4 * step, 1, 0};
        return true;
    }
    if (t.age == 0 && t.agemovement == 2) {
        path = {t.last, t.last - 3 * step, 0, 1};
        return true;
    }
    return false;
}

} // namespace

InsectDetect::InsectDetect(QObject* parent) : QObject(parent) {}

void InsectDetect::setRules(const CountingRules& r)
{
    rules = r;
    strict.reset();
}

void InsectDetect::setMode(CountingMode mode)
{
    setRules(CountingRules::of(mode));
}

void InsectDetect::reset()
{
    lastCountX = 0;
    lastCountY = 0;
    lastCountFrame = 0;
    strict.reset();
}

std::vector<Result> InsectDetect::Detect(const QList<Target*>& targets, AreaContour* area,
                                         QString videoName, int frame, int fps, QDateTime start)
{
    if (!area)
        return {};
    if (rules.followsEachInsect())
        return detectStrict(targets, area, videoName, frame, fps, start);
    area->counting_points(points);
    if (points.size() == 2)
        return DetectLine(targets, area, videoName, frame, fps, start);
    if (points.size() >= 3)
        return DetectArea(targets, area, videoName, frame, fps, start);
    return {};
}

std::vector<Result> InsectDetect::DetectLine(const QList<Target*>& targets, AreaContour* area,
                                             QString /*videoName*/, int frame, int fps,
                                             QDateTime start)
{
    std::vector<Result> events;
    if (!area)
        return events;
    area->counting_points(points);
    if (points.size() < 2)
        return events;
    const cv::Point p0 = points[0];
    const cv::Point p1 = points[1];
    for (const Target* t : targets) {
        if (!t || t->age != 0 || !present(t->last) || !present(t->centroid))
            continue;
        qDebug() << "targets input id = " << t->id << "  seg = [" << t->last.x << "@" << t->last.y
                 << "][" << t->centroid.x << "@" << t->centroid.y << "] age = " << t->age;
        qDebug() << "area seg = [" << p0.x << "@" << p0.y << "][" << p1.x << "@" << p1.y << "]";
        if (!present(p0) || !present(p1))
            continue;
        if (segments_intersect(t->last, t->centroid, p0, p1))
            events.push_back(recordEvent(frame, t->centroid, 1, 1, eventTime(start, frame, fps)));
    }
    return events;
}

std::vector<Result> InsectDetect::DetectArea(const QList<Target*>& targets, AreaContour* area,
                                             QString /*videoName*/, int frame, int fps,
                                             QDateTime start)
{
    std::vector<Result> events;
    if (!area)
        return events;
    area->counting_points(points);
    qDebug() << "targets.size = " << targets.size();
    for (const Target* t : targets) {
        if (!t)
            continue;
        qDebug() << "targets id = " << t->id << "  centroid=[" << t->centroid.x << "@"
                 << t->centroid.y << "] last=[" << t->last.x << "@" << t->last.y << "] origine=["
                 << t->origin.x << "@" << t->origin.y << "] age = " << t->age
                 << " agemovement = " << t->agemovement;
        Path path;
        if (!countingPath(*t, path))
            continue;
        for (std::size_t k = 0; k + 1 < points.size(); k += 2) {
            const cv::Point a = points[k];
            const cv::Point b = points[k + 1];
            if (!present(a) || !present(b) || !segments_intersect(path.from, path.to, a, b))
                continue;
            // The same spot counted again within four frames, by any target, is a repeat.
            const bool repeat = t->centroid.x == lastCountX && t->centroid.y == lastCountY &&
                                frame <= lastCountFrame + 4;
            if (!repeat) {
                events.push_back(recordEvent(frame, t->centroid, path.in, path.out,
                                             eventTime(start, frame, fps)));
                lastCountX = t->centroid.x;
                lastCountY = t->centroid.y;
                lastCountFrame = frame;
            }
            break; // at most one event per target and frame
        }
    }
    return events;
}

std::vector<Result> InsectDetect::detectStrict(const QList<Target*>& targets, AreaContour* area,
                                               const QString& /*videoName*/, int frame, int fps,
                                               const QDateTime& start)
{
    // Every counting point is a place, on the frame's edge too: classic counting's reading of a
    // zero coordinate as "absent" would leave a line drawn from the edge uncounted.
    area->counting_points(points);
    strictEvents.clear();
    if (points.size() == 2)
        strict.countLine(targets, points[0], points[1], frame, strictEvents);
    else if (points.size() > 2)
        strict.countArea(targets, points, area->area, frame, strictEvents);
    return strictResults(fps, start);
}

std::vector<Result> InsectDetect::finishVideo(int fps, const QDateTime& start)
{
    strictEvents.clear();
    if (rules.followsEachInsect())
        strict.finish(strictEvents);
    return strictResults(fps, start);
}

std::vector<Result> InsectDetect::strictResults(int fps, const QDateTime& start) const
{
    std::vector<Result> events;
    for (const StrictCounter::Event& e : strictEvents)
        events.push_back(recordEvent(e.frame, e.at, e.in, e.out, eventTime(start, e.frame, fps)));
    return events;
}

bool InsectDetect::segments_intersect(cv::Point p1, cv::Point q1, cv::Point p2, cv::Point q2)
{
    const int o1 = orientation(p1, q1, p2);
    const int o2 = orientation(p1, q1, q2);
    const int o3 = orientation(p2, q2, p1);
    const int o4 = orientation(p2, q2, q1);
    if (o1 != o2 && o3 != o4)
        return true;
    return (o1 == 0 && inBox(p2, p1, q1)) || (o2 == 0 && inBox(q2, p1, q1)) ||
           (o3 == 0 && inBox(p1, p2, q2)) || (o4 == 0 && inBox(q1, p2, q2));
}
