// Region files: one vertex per line, "x,y", every line ended; an empty polygon is an empty file.

#include "areacontour.h"
#include "exportpath.h"

#include <QFile>
#include <QSaveFile>
#include <QVector>

namespace
{

bool writePolygon(const QString& path, const std::vector<cv::Point>& polygon)
{
    // Written aside and renamed into place, so a full disk or a failed write never leaves a
    // truncated region file behind.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return false;
    QByteArray text;
    for (const cv::Point& p : polygon)
        text += QByteArray::number(p.x) + ',' + QByteArray::number(p.y) + '\n';
    if (file.write(text) != text.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

// A field that is not a decimal integer reads as 0.
int field(const QByteArray& text)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok, 10);
    return ok ? value : 0;
}

// Lines with fewer than two fields, empty lines included, are skipped; fields after the second
// are ignored. Both LF and CR LF line ends are accepted.
bool readPolygon(const QString& path, std::vector<cv::Point>& polygon)
{
    if (!QFile::exists(path))
        return true;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    while (!file.atEnd()) {
        QByteArray line = file.readLine();
        while (line.endsWith('\n') || line.endsWith('\r'))
            line.chop(1);
        const QList<QByteArray> fields = line.split(',');
        if (fields.size() < 2)
            continue;
        polygon.emplace_back(field(fields.at(0)), field(fields.at(1)));
    }
    if (file.error() == QFileDevice::NoError)
        return true;
    polygon.clear(); // never half a polygon
    return false;
}

bool savePolygon(const QString& videoPath, const char* suffix, std::vector<cv::Point>& polygon,
                 const std::vector<cv::Point>& shifted, int state)
{
    ExportPath::ensureFolder(videoPath);
    // A shift preview being saved becomes the polygon in memory as well.
    if (state == AreaContour::ShiftPreview)
        polygon = shifted;
    return writePolygon(ExportPath::file(videoPath, QLatin1String(suffix)), polygon);
}

bool loadPolygon(const QString& videoPath, const char* suffix, std::vector<cv::Point>& polygon)
{
    ExportPath::ensureFolder(videoPath);
    polygon.clear();
    return readPolygon(ExportPath::file(videoPath, QLatin1String(suffix)), polygon);
}

} // namespace

bool AreaContour::save_area(const QString& videoPath)
{
    return savePolygon(videoPath, ExportPath::areaSuffix, area, shifted_area, state);
}

bool AreaContour::save_mask(const QString& videoPath)
{
    return savePolygon(videoPath, ExportPath::maskSuffix, mask, shifted_mask, state);
}

bool AreaContour::load_area(const QString& videoPath)
{
    return loadPolygon(videoPath, ExportPath::areaSuffix, area);
}

bool AreaContour::load_mask(const QString& videoPath)
{
    return loadPolygon(videoPath, ExportPath::maskSuffix, mask);
}
