// Region files as a hand edit or a damaged disk may leave them: whatever they hold, reading one
// ends with a polygon within the vertex limit and the coordinate limit, or a refusal, and the
// mask and counting segments built from it come out without a fault.
#include "areacontour.h"
#include "exportpath.h"
#include "fuzzfile.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const QString video = fuzzing::scratchFolder() + QStringLiteral("/clip.mp4");
    static const bool folder = ExportPath::ensureFolder(video);
    if (!folder || !fuzzing::writeInput(
                       ExportPath::file(video, QLatin1String(ExportPath::areaSuffix)), data, size))
        return 0;
    AreaContour regions;
    const bool loaded = regions.load_area(video);
    if (!loaded && !regions.area.empty())
        std::abort(); // a refusal leaves no half polygon
    if (regions.area.size() > std::size_t(AreaContour::maxFileVertices))
        std::abort();
    for (const cv::Point& p : regions.area) {
        if (std::abs(p.x) > AreaContour::coordinateLimit ||
            std::abs(p.y) > AreaContour::coordinateLimit)
            std::abort();
    }
    regions.mask = {{2, 2}, {60, 3}, {61, 45}, {1, 40}, {2, 2}};
    regions.rasterise(cv::Size(64, 48), 0);
    regions.build_counting_points(cv::Size(64, 48), 0);
    return 0;
}
