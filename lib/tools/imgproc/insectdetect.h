#pragma once

#include "countingmode.h"
#include "result.h"
#include "strictcounter.h"
#include "target.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <opencv2/core.hpp>
#include <vector>

class AreaContour;

// Turns the tracked targets of each analysed frame into counting events: crossings of a counting
// line, or insects going into or coming out of a counting area. Each event is appended to the
// video's result file as it is counted, and returned.
class InsectDetect : public QObject
{
    Q_OBJECT
public:
    explicit InsectDetect(QObject* parent = nullptr);

    // Classic unless set; a run sets them once at its start.
    void setRules(const CountingRules& rules);
    void setMode(CountingMode mode); // the rules of `mode`
    CountingMode mode() const { return rules.mode(); }

    void reset();
    // The video's frame rate, for strict counting's times in seconds.
    void setFrameRate(double fps) { strict.setFrameRate(fps); }
    std::vector<Result> Detect(const QList<Target*>& targets, AreaContour* area, QString videoName,
                               int frame, int fps, QDateTime start);
    std::vector<Result> DetectLine(const QList<Target*>& targets, AreaContour* area,
                                   QString videoName, int frame, int fps, QDateTime start);
    std::vector<Result> DetectArea(const QList<Target*>& targets, AreaContour* area,
                                   QString videoName, int frame, int fps, QDateTime start);
    // The events still held back when the video ends (strict counting confirms a crossing by
    // what follows it).
    std::vector<Result> finishVideo(int fps, const QDateTime& start);
    static bool segments_intersect(cv::Point p1, cv::Point q1, cv::Point p2, cv::Point q2);

    int lastCountX = 0;
    int lastCountY = 0;
    int lastCountFrame = 0;

signals:
    void Add_Insect_detected(int frame, int x, int y, int in, int out);

private:
    std::vector<Result> detectStrict(const QList<Target*>& targets, AreaContour* area,
                                     const QString& videoName, int frame, int fps,
                                     const QDateTime& start);

    std::vector<Result> strictResults(int fps, const QDateTime& start) const;

    std::vector<cv::Point> points; // the counting points, reused from frame to frame
    CountingRules rules = CountingRules::of(CountingMode::Classic);
    StrictCounter strict;
    std::vector<StrictCounter::Event> strictEvents;
};
