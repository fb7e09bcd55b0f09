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
    // The map as it stands, for showing during the run: updated only where trajectories were
    // added since the last call, so that it costs little however often it is shown. It equals
    // what compose() would give, but leaves the saved picture's own buffers alone. Valid until
    // the next call of any method.
    const cv::Mat& preview();
    // The parts of the preview that the last preview() changed: the whole picture after init().
    const std::vector<cv::Rect>& previewChanges() const { return changes; }
    // A copy of preview().
    cv::Mat snapshot();
    // The picture as compose() last made it, which save() writes.
    const cv::Mat& composed() const { return background; }
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

    static constexpr size_t MaxPendingRects = 1024;
    void notePending(const cv::Rect& segment);
    void updatePreview(const cv::Rect& changed);
    // Returns the part of the picture drawn on.
    cv::Rect drawLegendOn(cv::Mat& picture, float density);
    float densityOf(int crossedPixels) const;

    // The preview: the first frame with the crossed pixels black, its crossed pixels, and the
    // rectangles of the segments drawn since it was last brought up to date (a few per frame;
    // the vector keeps its capacity).
    cv::Mat previewPicture;
    cv::Mat previewCrossed;
    cv::Mat previewChange;
    int previewCrossedPixels = 0;
    std::vector<cv::Rect> pending;
    std::vector<cv::Rect> changes;
    bool previewRenewed = false;
};
