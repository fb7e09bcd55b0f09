#include "analysisrun.h"

#include "areacontour.h"
#include "insectdetect.h"
#include "tracker.h"
#include "vorldensity.h"

#include <QDebug>
#include <QFileInfo>
#include <QLoggingCategory>
#include <cmath>

AnalysisRun::AnalysisRun(Tracker& tracker, InsectDetect& insectDetect, AreaContour& regions,
                         VorlDensity& density)
    : tracker(tracker), insectDetect(insectDetect), regions(regions), density(density)
{
}

void AnalysisRun::start(cv::Size frameSize, CountingMode mode)
{
    mask = regions.rasterise(frameSize, 0);
    regions.build_counting_points(frameSize, 0);
    tracker.reset();
    const CountingRules rules = CountingRules::of(mode);
    tracker.setRules(rules);
    detectionMask = rules.detectsInsideArea() ? regions.rasteriseWithArea(frameSize, 0) : mask;
    tracker.detector.setMask(detectionMask);
    insectDetect.setRules(rules);
}

cv::Rect AnalysisRun::analysedArea() const
{
    const cv::Rect& box = tracker.detector.workingBox();
    return box.empty() ? cv::Rect(cv::Point(), mask.size()) : box;
}

FrameSource::Brightness AnalysisRun::analysedBrightness() const
{
    return tracker.countingRules().readsLuma() ? FrameSource::Brightness::Luma
                                               : FrameSource::Brightness::Grey;
}

bool AnalysisRun::accepts(const cv::Mat& frame) const
{
    return !mask.empty() && frame.type() == CV_8UC3 && frame.size() == mask.size();
}

static QString sizeText(const cv::Mat& m)
{
    return QStringLiteral("%1x%2").arg(m.cols).arg(m.rows);
}

QString AnalysisRun::frameProblem(const cv::Mat& frame) const
{
    if (accepts(frame))
        return QString();
    return mask.empty() ? QStringLiteral("the run has not been started")
                        : QStringLiteral("frame size %1 differs from the regions' %2")
                              .arg(sizeText(frame), sizeText(mask));
}

void AnalysisRun::beginVideo(const QString& videoPath, const cv::Mat& firstFrame, double fps,
                             const QDateTime& startTime)
{
    video = videoPath;
    this->fps = static_cast<int>(std::trunc(fps));
    this->startTime = startTime;
    insectDetect.reset();
    // Classic counting carries the last video's reference frame and targets into the next one;
    // strict counting starts each video afresh, so that no insect of one video is seen in the
    // next, and the first frame becomes the background.
    if (tracker.countingRules().restartsEachVideo()) {
        tracker.reset();
        tracker.detector.setMask(detectionMask);
    }
    tracker.setFrameRate(fps);
    insectDetect.setFrameRate(fps);
    density.init(firstFrame.clone(), mask.clone());
}

std::vector<Result> AnalysisRun::analyseFrame(const cv::Mat& frame, double framePos)
{
    // A stream that changes its frame size midway cannot be differenced against the mask.
    if (!accepts(frame))
        return {};
    logFrame(framePos);
    tracker.processColour(frame);
    return countAndMap(framePos);
}

std::vector<Result> AnalysisRun::analyseFrame(const FrameSource::Frame& frame, double framePos)
{
    if (frame.grey.empty())
        return analyseFrame(frame.colour, framePos);
    // A source told another area left the colour picture unconverted: it is completed.
    if (frame.greyArea != analysedArea())
        return analyseFrame(frame.wholeColour(), framePos);
    if (!accepts(frame.colour))
        return {};
    logFrame(framePos);
    tracker.processWorkingBox(frame.grey);
    return countAndMap(framePos);
}

void AnalysisRun::logFrame(double framePos)
{
    if (QLoggingCategory::defaultCategory()->isDebugEnabled())
        qDebug().noquote() << QStringLiteral("Frame = ") + QString::number(framePos);
}

std::vector<Result> AnalysisRun::countAndMap(double framePos)
{
    std::vector<Result> events =
        insectDetect.Detect(tracker.tracked_targets, &regions, video,
                            static_cast<int>(std::trunc(framePos)), fps, startTime);
    density.addTrajectories(tracker.tracked_targets);
    return events;
}

const QList<Target*>& AnalysisRun::trackedTargets() const
{
    return tracker.tracked_targets;
}

std::vector<Result> AnalysisRun::finalEvents()
{
    return insectDetect.finishVideo(fps, startTime);
}

bool AnalysisRun::endVideo()
{
    return density.save(video);
}

const cv::Mat& AnalysisRun::densityPreview()
{
    return density.preview();
}

const std::vector<cv::Rect>& AnalysisRun::densityPreviewChanges() const
{
    return density.previewChanges();
}

QString AnalysisRun::densityFigure() const
{
    return density.text().section(QLatin1Char(' '), -1);
}
