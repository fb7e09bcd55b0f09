#pragma once

#include <QFile>
#include <QString>
#include <memory>
#include <opencv2/core.hpp>
#include <string>

// What a video says of itself when it is opened for analysis.
struct VideoProperties {
    double fps = 0;
    double containerFrames = 0; // frame count reported by the container
    int frameWidth = 0;
    int frameHeight = 0;
    bool opened = false; // the decoder opened, even if the start frame could not be read
};

// The path handed to the decoder, in the file-system encoding (on Windows with '\' turned
// into '/').
inline std::string decoderPath(const QString& path)
{
    QString p = path;
#ifdef Q_OS_WIN
    p.replace(QLatin1Char('\\'), QLatin1Char('/'));
#endif
    // Elsewhere a backslash is an ordinary character of a file name ("trap\1.mp4").
    return QFile::encodeName(p).toStdString();
}

// A video read through cv::VideoCapture's FFmpeg back end, for the files the direct decoder
// declines (a picture turned by its container). OpenCV's video module brings some two hundred
// libraries with it, a tenth of a second at every start of a program, so it lives in a module of
// its own that is loaded only when such a file comes (loadCaptureReader).
//
//   std::unique_ptr<CaptureReader> capture = loadCaptureReader();
//   if (capture && capture->open(path, 90, frame, props))   // frame 90, found by seeking
//       while (capture->read(frame)) ...
class CaptureReader
{
public:
    virtual ~CaptureReader() = default;
    // False when the file cannot be opened, or its start frame cannot be read or is empty;
    // `props` is filled as far as the decoder got. Decoder errors never escape as exceptions.
    virtual bool open(const QString& path, int startFrame, cv::Mat& frame,
                      VideoProperties& props) = 0;
    // The next frame into `frame` (its buffer reused when the size fits); false at the end or on
    // a decoder error.
    virtual bool read(cv::Mat& frame) = 0;
    // The time stamp of the frame last read, as CAP_PROP_POS_MSEC gives it; 0 when unknown.
    virtual double positionMs() = 0;
    virtual void release() = 0;
};

// A new reader from the capture module, which is loaded on the first call; null (after a warning,
// given once) when the module cannot be loaded.
std::unique_ptr<CaptureReader> loadCaptureReader();
