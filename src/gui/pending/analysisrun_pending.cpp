#include "analysisrun.h"

AnalysisRun::AnalysisRun(Tracker& tracker, InsectDetect& insectDetect, AreaContour& regions,
                         VorlDensity& density)
    : tracker(tracker), insectDetect(insectDetect), regions(regions), density(density)
{
}
QStringList AnalysisRun::selectQueue(int, const QStringList&, const QStringList&, const QString&)
{
    return {};
}
void AnalysisRun::start(cv::Size) {}
bool AnalysisRun::accepts(const cv::Mat&) const
{
    return false;
}
bool AnalysisRun::beginVideo(const QString&, const cv::Mat&, double, const QDateTime&)
{
    return false;
}
std::vector<Result> AnalysisRun::analyseFrame(const cv::Mat&, double)
{
    return {};
}
const QList<Target*>& AnalysisRun::trackedTargets() const
{
    static const QList<Target*> none;
    return none;
}
bool AnalysisRun::endVideo()
{
    return false;
}
cv::Mat AnalysisRun::densitySnapshot()
{
    return {};
}
