#pragma once

#include "countingmode.h"
#include "framesource.h"
#include "result.h"
#include "target.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <opencv2/core.hpp>
#include <vector>

class AreaContour;
class InsectDetect;
class Tracker;
class VorlDensity;

// The engine's part of a run: the detection mask, the tracker, the counting and the density map,
// fed one frame at a time. RunController drives it and keeps the files; nothing else should.
// AnalysisSession owns it with the objects it works on.
class AnalysisRun
{
public:
    AnalysisRun(Tracker& tracker, InsectDetect& insectDetect, AreaContour& regions,
                VorlDensity& density);

    // Start of a run: rasterises the regions into the detection mask and the counting points for
    // frames of `frameSize`, resets the tracker and gives it the mask. The counting mode holds
    // for the whole run.
    void start(cv::Size frameSize, CountingMode mode = CountingMode::Classic);

    // The part of each frame that the analysis reads, once started, and what of it.
    cv::Rect analysedArea() const;
    FrameSource::Brightness analysedBrightness() const;

    // False when a frame of this size cannot be analysed with the run's mask.
    bool accepts(const cv::Mat& frame) const;
    // Why such a frame is not accepted; empty when it is.
    QString frameProblem(const cv::Mat& frame) const;

    // Start of one video whose first frame (frame 90) has been read and accepted: resets the
    // counting engine and starts the density map on that frame.
    void beginVideo(const QString& videoPath, const cv::Mat& firstFrame, double fps,
                    const QDateTime& startTime);

    // One analysed colour frame; `framePos` is the index of the previous frame, which the events
    // carry. The engine turns into grey only the pixels it analyses.
    std::vector<Result> analyseFrame(const cv::Mat& frame, double framePos);
    // The same for a frame of a source, whose grey of the analysed area, when it has it, spares
    // turning the colour frame into grey.
    std::vector<Result> analyseFrame(const FrameSource::Frame& frame, double framePos);

    const QList<Target*>& trackedTargets() const;

    // The events that only the end of the video settles, before endVideo.
    std::vector<Result> finalEvents();
    // End of the video: saves the density picture and text. False when they could not be written.
    bool endVideo();
    // The density map as it stands, for showing; valid until the next frame is analysed.
    const cv::Mat& densityPreview();
    // The parts of it that the last densityPreview() changed.
    const std::vector<cv::Rect>& densityPreviewChanges() const;
    // The density figure of the last ended video, e.g. "0.0312".
    QString densityFigure() const;

private:
    static void logFrame(double framePos);
    // The counting and the density map for the frame the tracker has just processed.
    std::vector<Result> countAndMap(double framePos);

    Tracker& tracker;
    InsectDetect& insectDetect;
    AreaContour& regions;
    VorlDensity& density;
    cv::Mat mask;
    // Where the detector looks: the mask, or in strict counting the mask with the area left in.
    cv::Mat detectionMask;
    QString video;
    int fps = 0;
    QDateTime startTime;
};
