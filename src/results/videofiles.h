#pragma once

#include "countingmode.h"
#include "exportpath.h"

#include <QString>

// Every file Orvane keeps for a video, in the folder exportCSV beside it, and the frame its
// analysis starts from. Whatever places, finds or removes one of these files asks here.
//
//   const VideoFiles files("/rec/trap.mp4");
//   files.result();   // "/rec/exportCSV/trap.csv", complete results only
//   files.record();   // "/rec/exportCSV/trap_run.json", how that result was made
class VideoFiles
{
public:
    // Analysis and playback start at this frame: the frames before it show the trap being set.
    static constexpr int firstAnalysedFrame = 90;

    explicit VideoFiles(const QString& videoPath) : path(videoPath) {}

    const QString& video() const { return path; }
    QString baseName() const;
    QString folder() const;

    QString result() const { return named(ExportPath::resultSuffix); }
    // The result while its video is being analysed; renamed to result() once complete.
    QString partialResult() const { return named(ExportPath::partialResultSuffix); }
    QString area() const { return named(ExportPath::areaSuffix); }
    QString mask() const { return named(ExportPath::maskSuffix); }
    QString densityImage() const { return named(ExportPath::densityImageSuffix); }
    QString densityText() const { return named(ExportPath::densityTextSuffix); }
    // How the complete result was made (ResultRecord); written just before result() appears.
    QString record() const { return named(ExportPath::recordSuffix); }

    // The counting mode of the video's result: that of its record, and classic for a result made
    // before records were kept. False when the video has no complete result.
    bool resultMode(CountingMode& mode) const;

private:
    QString named(const char* suffix) const;

    QString path;
};

// The record of the video's result, exportCSV/NAME_run.json.
QString resultRecordPath(const QString& videoPath);
