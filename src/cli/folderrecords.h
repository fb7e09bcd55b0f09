#pragma once

// The lines a child orvane-count writes on its standard output for the orvane-count that runs
// it on one folder of an --each-folder run: its progress now and then, and one line per video
// of its queue. One record per line, tab-separated fields, the first naming the record; tabs,
// line ends and backslashes inside fields are escaped, so any file name passes.
//
//   out << FolderRecords::videoLine(video).constData();           // in the child
//   FolderRecords::Video v;
//   if (FolderRecords::parse(line, nullptr, &v) == FolderRecords::VideoRecord) ...  // parent

#include <QByteArray>
#include <QString>

namespace FolderRecords
{

struct Progress {
    int video = 0;  // 1 for the first video of the queue
    int videos = 0; // length of the queue
    double frame = 0;
    double frameCount = 0; // the container's frame count, 0 when unknown
    double fps = 0;        // frames analysed per second
    QString name;          // the video's base name
};

struct Video {
    QString name;
    QString status; // "analysed", or what happened to it ("skipped: REASON", ...)
    bool analysed = false;
    long frames = 0;
    int in = 0;
    int out = 0;
    QString density;
    double seconds = 0;
};

enum Kind { NoRecord, ProgressRecord, VideoRecord };

// Each line ends with '\n'.
QByteArray progressLine(const Progress& progress);
QByteArray videoLine(const Video& video);

// Reads one line (its end already removed); fills the record of the kind it returns. A line
// that is no complete record of either kind is NoRecord, and fills nothing.
Kind parse(const QByteArray& line, Progress* progress, Video* video);

} // namespace FolderRecords
