#pragma once

#include <QString>
#include <opencv2/core.hpp>
#include <vector>

// "Save image": while on, every new picture the video view shows is written to one JPEG file,
// replacing the previous picture. The file is replaced whole (a temporary file renamed over it),
// so a reader never sees half a picture and a link at the name is replaced, not followed.
//
//   PictureSaving saving;
//   saving.start(PictureSaving::withJpegSuffix(chosen));
//   on each new picture: const QString problem = saving.write(picture);
//                        if (!problem.isEmpty()) statusBar.show(problem);   // once per start
//   saving.stop();
class PictureSaving
{
public:
    // The chosen name with ".jpg" added unless it already ends in ".jpg" or ".jpeg".
    static QString withJpegSuffix(const QString& chosen);

    void start(const QString& file);
    void stop();
    bool isOn() const { return on; }
    const QString& file() const { return target; }

    // Writes `picture` (BGR) when on. Returns what went wrong the first time a write fails after
    // start(), and an empty text otherwise, so a failing file is reported once, not per frame.
    QString write(const cv::Mat& picture);

private:
    bool on = false;
    bool failureTold = false;
    QString target;
    std::vector<uchar> encoded; // reused between pictures
};
