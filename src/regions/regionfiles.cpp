// Region files: one vertex per line, "x,y", every line ended; an empty polygon is an empty file.

#include "areacontour.h"
#include "exportpath.h"
#include "safefile.h"

#include <QFile>
#include <QFileInfo>
#include <QVector>

#include <algorithm>
#include <string_view>

namespace
{

bool writePolygon(const QString& path, const std::vector<cv::Point>& polygon)
{
    // Written aside and renamed into place, so a full disk or a failed write never leaves a
    // truncated region file behind.
    QByteArray text;
    for (const cv::Point& p : polygon)
        text += QByteArray::number(p.x) + ',' + QByteArray::number(p.y) + '\n';
    return writeFileSafely(path, text);
}

// Far more than maxFileVertices lines of two coordinates each need; a larger file is refused
// before it is read.
constexpr qint64 maxFileBytes = 1 << 20;

bool isSpace(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && isSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

bool isDecimalInteger(std::string_view text)
{
    const std::size_t digits = text.size() > 0 && (text[0] == '-' || text[0] == '+') ? 1 : 0;
    if (text.size() <= digits)
        return false;
    return std::all_of(text.begin() + digits, text.end(),
                       [](char c) { return c >= '0' && c <= '9'; });
}

// A decimal integer, clamped to the coordinate limit however many digits it has; anything else,
// "nan" and "1.5" included, reads as 0 and clears `whole`.
int field(std::string_view raw, bool& whole)
{
    std::string_view text = trimmed(raw);
    if (!isDecimalInteger(text)) {
        whole = false;
        return 0;
    }
    const bool negative = text.front() == '-';
    if (text.front() == '-' || text.front() == '+')
        text.remove_prefix(1);
    constexpr int limit = AreaContour::coordinateLimit;
    int value = 0; // saturates at the limit, so it never overflows
    for (const char digit : text)
        value = std::min(value * 10 + (digit - '0'), limit);
    return negative ? -value : value;
}

struct FileRead {
    int vertices = 0;
    int notWhole = 0; // lines with a coordinate that is not a whole number
};

// One line without its line feed. A line with fewer than two fields, an empty one included, is
// skipped; fields after the second are ignored. Vertices past the limit are counted but not kept.
void readLine(std::string_view line, std::vector<cv::Point>& polygon, FileRead& read)
{
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
        line.remove_suffix(1);
    const std::size_t comma = line.find(',');
    if (comma == std::string_view::npos)
        return;
    const std::string_view rest = line.substr(comma + 1);
    bool whole = true;
    const cv::Point p(field(line.substr(0, comma), whole),
                      field(rest.substr(0, rest.find(',')), whole));
    read.notWhole += whole ? 0 : 1;
    if (++read.vertices <= AreaContour::maxFileVertices)
        polygon.push_back(p);
}

// The file is read at once and its lines parsed in place, with no allocation per line: a file
// at the size limit is refused in milliseconds, even in a sanitizer build. Both LF and CR LF
// line ends are accepted.
bool readLines(QFile& file, std::vector<cv::Point>& polygon, FileRead& read)
{
    // One byte past the limit tells a file that grew since it was checked.
    const QByteArray bytes = file.read(maxFileBytes + 1);
    if (file.error() != QFileDevice::NoError || bytes.size() > maxFileBytes)
        return false;
    std::string_view text(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        readLine(text.substr(0, end), polygon, read);
        text.remove_prefix(std::min(end + 1, text.size()));
    }
    return true;
}

// Only a regular file is opened: a FIFO or a device would block or never end.
QString refusal(const QString& path)
{
    const QFileInfo info(path);
    if (!info.isFile())
        return QStringLiteral("the region file %1 is not a regular file").arg(path);
    if (info.size() > maxFileBytes)
        return QStringLiteral("the region file %1 is too large (%2 bytes)")
            .arg(path)
            .arg(info.size());
    return QString();
}

// Returns false, with the polygon empty and `problem` saying why, when the file is refused or
// unreadable; a missing file is an empty polygon. Lines that were read as 0 are told in
// `problem` on success too.
bool readPolygon(const QString& path, std::vector<cv::Point>& polygon, QString& problem)
{
    if (!QFile::exists(path))
        return true;
    problem = refusal(path);
    if (!problem.isEmpty())
        return false;
    QFile file(path);
    FileRead read;
    if (!file.open(QIODevice::ReadOnly) || !readLines(file, polygon, read)) {
        polygon.clear(); // never half a polygon
        problem = QStringLiteral("cannot read the region file %1").arg(path);
        return false;
    }
    if (read.vertices > AreaContour::maxFileVertices) {
        polygon.clear();
        problem = QStringLiteral("the region file %1 has %2 vertices, more than the %3 a region "
                                 "may have")
                      .arg(path)
                      .arg(read.vertices)
                      .arg(AreaContour::maxFileVertices);
        return false;
    }
    if (read.notWhole > 0)
        problem = QStringLiteral("the region file %1 has %2 line(s) whose coordinates are not "
                                 "whole numbers, read as 0")
                      .arg(path)
                      .arg(read.notWhole);
    return true;
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

} // namespace

bool AreaContour::save_area(const QString& videoPath)
{
    return savePolygon(videoPath, ExportPath::areaSuffix, area, shifted_area, state);
}

bool AreaContour::save_mask(const QString& videoPath)
{
    return savePolygon(videoPath, ExportPath::maskSuffix, mask, shifted_mask, state);
}

bool AreaContour::load(const QString& videoPath, const char* suffix,
                       std::vector<cv::Point>& polygon)
{
    ExportPath::ensureFolder(videoPath);
    polygon.clear();
    loadProblem.clear();
    return readPolygon(ExportPath::file(videoPath, QLatin1String(suffix)), polygon, loadProblem);
}

// Classic counting takes a vertex with a coordinate of 0 for no vertex at all, so that the
// segments touching it count nothing; the region editor never stores one, but older files and
// files written by hand may hold one.
bool AreaContour::load_area(const QString& videoPath)
{
    const bool loaded = load(videoPath, ExportPath::areaSuffix, area);
    const bool onEdge = std::any_of(area.begin(), area.end(),
                                    [](const cv::Point& p) { return p.x == 0 || p.y == 0; });
    if (loaded && onEdge) {
        const QString warning =
            QStringLiteral("the region file %1 has a vertex with a coordinate of 0: classic "
                           "counting counts nothing on the segments that touch it (strict "
                           "counting does); draw the counting region again to move it to 1")
                .arg(ExportPath::file(videoPath, QLatin1String(ExportPath::areaSuffix)));
        loadProblem =
            loadProblem.isEmpty() ? warning : loadProblem + QStringLiteral("; ") + warning;
    }
    return loaded;
}

bool AreaContour::load_mask(const QString& videoPath)
{
    return load(videoPath, ExportPath::maskSuffix, mask);
}
