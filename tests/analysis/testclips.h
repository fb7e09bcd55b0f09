#pragma once

// Small generated videos with their regions, shared by the analysis and command tests.

#include "areacontour.h"
#include "exportpath.h"
#include "videogen.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <vector>

namespace testclips
{

using Polygon = std::vector<cv::Point>;

inline QString writeClip(const QString& dir, const QString& name, cv::Size size, int frames,
                         const std::vector<videogen::Blob>& blobs)
{
    videogen::ClipRecipe recipe;
    recipe.size = size;
    recipe.frames = frames;
    recipe.blobs = blobs;
    const QString path = dir + QLatin1Char('/') + name;
    return videogen::writeVideo(QFile::encodeName(path).toStdString(), recipe) ? path : QString();
}

inline Polygon box(int left, int top, int right, int bottom)
{
    return {{left, top}, {right, top}, {right, bottom}, {left, bottom}, {left, top}};
}

inline bool saveRegions(const QString& video, const Polygon& area, const Polygon& mask)
{
    AreaContour regions;
    regions.area = area;
    regions.mask = mask;
    return ExportPath::ensureFolder(video) && regions.save_area(video) && regions.save_mask(video);
}

inline QString exported(const QString& video, const char* suffix)
{
    return ExportPath::file(video, QLatin1String(suffix));
}

inline QByteArray contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A blob moving along row y at `speed` pixels per frame (leftwards when negative), visible
// from frame `first`.
inline videogen::Blob movingAlongRow(double x, double y, double speed, int first,
                                     int last = INT_MAX)
{
    videogen::Blob b;
    b.start = {x, y};
    b.velocity = {speed, 0};
    b.firstFrame = first;
    b.lastFrame = last;
    return b;
}

} // namespace testclips
