#pragma once

#include "countingmode.h"

#include <QDateTime>
#include <QString>
#include <opencv2/core.hpp>
#include <vector>

// How one result file was made, kept beside it as exportCSV/NAME_run.json, so that a count can
// be understood seasons later: the program and its version, the counting mode, the regions as
// they were used, the frames analysed and when. A run writes it just before the result file
// gets its final name; results made before records were kept have none and count as classic.
//
//   ResultRecord record;
//   record.program = "orvane-count"; record.mode = CountingMode::Strict; ...
//   if (!record.write(VideoFiles(video).record(), &why)) fail(why);
//   CountingMode mode = ResultRecord::readMode(VideoFiles(video).record());
struct ResultRecord {
    QString program;
    QString version = programVersion();
    CountingMode mode = CountingMode::Classic;
    std::vector<cv::Point> area;
    std::vector<cv::Point> mask;
    cv::Size frameSize;
    double fps = 0;
    double firstFrame = 0;
    double lastFrame = 0;
    long unreadableFrames = 0;
    QDateTime started;
    QDateTime ended;
    QString host;

    QByteArray toJson() const;
    // Written under a temporary name in the same folder, synced, then renamed over `path`: a link
    // at `path` is replaced, never followed. False with the reason when it could not be written.
    bool write(const QString& path, QString* reason = nullptr) const;

    // The mode of the record at `path`; classic when there is none or it names no mode.
    static CountingMode readMode(const QString& path);
    // False when there is no readable record at `path`.
    static bool read(const QString& path, ResultRecord& record);

    static QString programVersion();
    // How the video's result was made, for showing: "strict counting, 2026-06-12 14:31,
    // orvane-count 2.6.1"; empty when the video has no complete result.
    static QString describeResult(const QString& videoPath);
};
