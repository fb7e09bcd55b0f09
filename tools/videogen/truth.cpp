#include "truth.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <functional>
#include <opencv2/imgproc.hpp>

namespace videogen
{

namespace
{

using Wide = long long;

Wide cross(cv::Point a, cv::Point b, cv::Point p)
{
    return Wide(b.x - a.x) * (p.y - a.y) - Wide(b.y - a.y) * (p.x - a.x);
}

int sign(Wide v)
{
    return v > 0 ? 1 : (v < 0 ? -1 : 0);
}

double distanceToSegment(cv::Point a, cv::Point b, cv::Point p)
{
    const cv::Point2d ab = b - a, ap = p - a;
    const double length2 = ab.dot(ab);
    const double t = length2 > 0 ? std::clamp(ap.dot(ab) / length2, 0.0, 1.0) : 0.0;
    return cv::norm(cv::Point2d(a) + t * ab - cv::Point2d(p));
}

// The step from `from` to `to`, which lie strictly on opposite sides of the line, passes
// between its ends (or through one of them).
bool withinExtent(cv::Point p0, cv::Point p1, cv::Point from, cv::Point to)
{
    return sign(cross(from, to, p0)) * sign(cross(from, to, p1)) <= 0;
}

// Widens the event's frames to those around it on which the body touches the border.
void markTouching(TrueEvent& e, const Blob& b, const std::function<double(cv::Point)>& distance)
{
    const auto touches = [&](int f) {
        return b.visibleAt(f) && distance(b.positionAt(f)) <= b.radius;
    };
    e.touchFirst = e.frame - 1;
    while (touches(e.touchFirst - 1))
        --e.touchFirst;
    e.touchLast = e.frame;
    while (touches(e.touchLast + 1))
        ++e.touchLast;
}

// Walks each blob's centres, keeping the last strict side; `event` decides whether a change of
// side from `before` (at `from`) to `now` (at `to`) is an event and fills its flags.
template <typename Side, typename Event>
std::vector<TrueEvent> walkSides(const std::vector<Blob>& blobs, int frames, Side side, Event event)
{
    std::vector<TrueEvent> events;
    for (size_t i = 0; i < blobs.size(); ++i) {
        const Blob& b = blobs[i];
        int kept = 0;
        cv::Point keptAt;
        for (int f = std::max(0, b.firstFrame); f < frames; ++f) {
            if (!b.visibleAt(f))
                continue;
            const cv::Point p = b.positionAt(f);
            const int now = side(p);
            if (now == 0)
                continue;
            TrueEvent e;
            if (kept != 0 && now != kept && event(kept, keptAt, p, e)) {
                e.frame = f;
                e.insect = static_cast<int>(i);
                e.at = p;
                events.push_back(e);
            }
            kept = now;
            keptAt = p;
        }
    }
    std::stable_sort(events.begin(), events.end(),
                     [](const TrueEvent& a, const TrueEvent& b) { return a.frame < b.frame; });
    return events;
}

bool openFor(std::ofstream& out, const std::string& path, std::string* error)
{
    out.open(path, std::ios::out | std::ios::trunc);
    if (!out && error)
        *error = "cannot write " + path;
    return static_cast<bool>(out);
}

bool finish(std::ofstream& out, const std::string& path, std::string* error)
{
    out.close();
    if (!out && error)
        *error = "cannot write " + path;
    return static_cast<bool>(out);
}

} // namespace

int sideOfLine(cv::Point p0, cv::Point p1, cv::Point p)
{
    // With y pointing down the screen, a positive cross product lies on the right hand.
    return sign(cross(p0, p1, p));
}

std::vector<TrueEvent> lineEvents(const std::vector<Blob>& blobs, int frames, cv::Point p0,
                                  cv::Point p1)
{
    const auto distance = [&](cv::Point p) { return distanceToSegment(p0, p1, p); };
    std::vector<TrueEvent> events = walkSides(
        blobs, frames, [&](cv::Point p) { return sideOfLine(p0, p1, p); },
        [&](int before, cv::Point from, cv::Point to, TrueEvent& e) {
            if (!withinExtent(p0, p1, from, to))
                return false;
            e.in = before > 0 ? 1 : 0;
            e.out = 1 - e.in;
            return true;
        });
    for (TrueEvent& e : events)
        markTouching(e, blobs[static_cast<size_t>(e.insect)], distance);
    return events;
}

std::vector<TrueEvent> areaEvents(const std::vector<Blob>& blobs, int frames,
                                  const std::vector<cv::Point>& polygon)
{
    if (polygon.size() < 3)
        return {};
    const auto test = [&](cv::Point p, bool measure) {
        return cv::pointPolygonTest(polygon, cv::Point2f(float(p.x), float(p.y)), measure);
    };
    std::vector<TrueEvent> events = walkSides(
        blobs, frames, [&](cv::Point p) { return sign(Wide(test(p, false))); },
        [](int before, cv::Point, cv::Point, TrueEvent& e) {
            e.in = before < 0 ? 1 : 0;
            e.out = 1 - e.in;
            return true;
        });
    for (TrueEvent& e : events)
        markTouching(e, blobs[static_cast<size_t>(e.insect)],
                     [&](cv::Point p) { return std::abs(test(p, true)); });
    return events;
}

bool writeCentres(const std::string& path, const std::vector<Blob>& blobs, int frames,
                  std::string* error)
{
    std::ofstream out;
    if (!openFor(out, path, error))
        return false;
    out << "frame;insect;x;y\n";
    for (int f = 0; f < frames; ++f)
        for (size_t i = 0; i < blobs.size(); ++i)
            if (blobs[i].visibleAt(f)) {
                const cv::Point p = blobs[i].positionAt(f);
                out << f << ';' << i << ';' << p.x << ';' << p.y << '\n';
            }
    return finish(out, path, error);
}

bool writeEvents(const std::string& path, const std::vector<TrueEvent>& events, std::string* error)
{
    std::ofstream out;
    if (!openFor(out, path, error))
        return false;
    out << "frame;insect;x;y;In;Out;touchFirst;touchLast\n";
    for (const TrueEvent& e : events)
        out << e.frame << ';' << e.insect << ';' << e.at.x << ';' << e.at.y << ';' << e.in << ';'
            << e.out << ';' << e.touchFirst << ';' << e.touchLast << '\n';
    return finish(out, path, error);
}

} // namespace videogen
