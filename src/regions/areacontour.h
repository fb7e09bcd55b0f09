#pragma once

#include <QString>
#include <opencv2/core.hpp>
#include <vector>

// The counting area and the mask that the user draws on a video, their editing copies, their
// files, and what an analysis derives from them (detection mask and counting segments).
// A polygon is closed when its last vertex repeats its first; fewer than three vertices is no
// polygon for filling or rasterising.
class AreaContour
{
public:
    enum State { None = 0, EditingArea = 1, EditingMask = 2, ShiftPreview = 3 };

    std::vector<cv::Point> area;
    std::vector<cv::Point> mask;
    std::vector<cv::Point> shifted_area;
    std::vector<cv::Point> shifted_mask;
    std::vector<cv::Point> area_backup;
    std::vector<cv::Point> mask_backup;
    int state = None;

    // Every vertex read from a file is clamped to this many pixels either side of the origin:
    // far beyond any frame, yet small enough that no integer arithmetic on vertices overflows.
    static constexpr int coordinateLimit = 1 << 16;
    // A region file with more vertices is refused: nobody draws such a polygon, and filling one
    // would stall the start of a run.
    static constexpr int maxFileVertices = 10000;

    void clear_area();
    void clear_mask();
    void add_area_point(cv::Point p);
    void add_mask_point(cv::Point p);
    void close_area();
    void close_mask();
    void set_state(int s);
    void shift(cv::Point offset, int frameHeight, int frameWidth);
    void draw(cv::Mat& frame) const;

    // Region files in the video's exportCSV folder. Saving returns false when the file could not
    // be written; loading returns false when the file exists but is refused or could not be read,
    // leaving the polygon empty (a missing file is an empty polygon, not an error).
    bool save_area(const QString& videoPath);
    bool save_mask(const QString& videoPath);
    bool load_area(const QString& videoPath);
    bool load_mask(const QString& videoPath);
    // What the last load had to say, naming the file: why it failed, or, after a success, lines
    // that were read as 0 because they did not hold whole numbers. Empty when there is nothing.
    QString load_problem() const { return loadProblem; }

    // The detection mask: inside of the mask minus inside of the counting area, area border kept.
    cv::Mat rasterise(cv::Size frameSize, int fill) const;
    // The inside of the mask with the counting area left in: strict counting follows insects
    // into the area.
    cv::Mat rasteriseWithArea(cv::Size frameSize, int fill) const;
    // Rebuilds the counting segments (pairs of points); returns the outside-outline image.
    cv::Mat build_counting_points(cv::Size frameSize, int fill);
    // Replaces `out` with a copy of the counting segments' end points.
    void counting_points(std::vector<cv::Point>& out) const;

private:
    bool load(const QString& videoPath, const char* suffix, std::vector<cv::Point>& polygon);

    std::vector<cv::Point> countingPoints;
    QString loadProblem;
};
