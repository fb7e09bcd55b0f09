#pragma once

#include "target.h"

#include <QList>
#include <QString>
#include <opencv2/core.hpp>
#include <vector>

// The trajectory density map of one video: every pixel of the analysed region crossed by a
// trajectory segment, painted black on the video's first analysed frame, with the share of
// crossed pixels ("Density: 0.0312") as a legend. Saved as "_vorl.jpg" and "_vorl.txt".
class VorlDensity
{
public:
    VorlDensity();

    void init(const cv::Mat& frame, const cv::Mat& mask);
    void addTrajectories(const QList<Target*>& targets);
    void compose();
    void drawLegend(float density);
    cv::Mat snapshot();
    // Writes both files; false when either could not be written.
    bool save(const QString& videoPath);

    const QString& text() const { return densityText; }

private:
    cv::Mat background;
    cv::Mat areaInverse;
    cv::Mat canvas;
    QString densityText;
    // Kept between frames so that composing and saving reuse their buffers.
    cv::Mat crossed;
    std::vector<uchar> jpeg;
    int regionPixels = 0;
};
