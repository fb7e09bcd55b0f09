#include "vorldensity.h"

#include "exportpath.h"
#include "jpegencoder.h"

#include "safefile.h"

#include <opencv2/imgproc.hpp>

VorlDensity::VorlDensity() = default;

void VorlDensity::init(const cv::Mat& frame, const cv::Mat& mask)
{
    // A frame and a mask that do not fit together give an empty map rather than a crash later.
    const bool usable = !frame.empty() && mask.type() == CV_8UC1 && mask.size() == frame.size() &&
                        (frame.type() == CV_8UC3 || frame.type() == CV_8UC1);
    if (!usable) {
        background.release();
        areaInverse.release();
        canvas.release();
        regionPixels = 0;
        previewPicture.release();
        pending.clear();
        return;
    }
    if (frame.type() == CV_8UC1)
        cv::cvtColor(frame, background, cv::COLOR_GRAY2BGR);
    else
        frame.copyTo(background);
    cv::bitwise_not(mask, areaInverse);
    canvas.create(mask.size(), CV_8UC1);
    canvas.setTo(cv::Scalar(255));
    regionPixels = static_cast<int>(areaInverse.total()) - cv::countNonZero(areaInverse);
    background.copyTo(previewPicture);
    previewCrossed.create(mask.size(), CV_8UC1);
    previewCrossed.setTo(cv::Scalar(0));
    previewChange.create(mask.size(), CV_8UC1);
    previewCrossedPixels = 0;
    pending.clear();
    previewRenewed = true;
}

void VorlDensity::addTrajectories(const QList<Target*>& targets)
{
    if (canvas.empty())
        return;
    for (const Target* t : targets) {
        if (!t || t->last.x == 0 || t->last.y == 0 || t->centroid.x == 0 || t->centroid.y == 0)
            continue;
        cv::line(canvas, t->last, t->centroid, cv::Scalar(0), 1, cv::LINE_8, 0);
        // A one-pixel line stays within the rectangle of its end points.
        const cv::Rect segment(
            cv::Point(std::min(t->last.x, t->centroid.x), std::min(t->last.y, t->centroid.y)),
            cv::Point(std::max(t->last.x, t->centroid.x) + 1,
                      std::max(t->last.y, t->centroid.y) + 1));
        notePending(segment);
    }
}

// Unseen runs (the headless command, "Display trajectories" off) never take a preview: past a
// few rectangles they are merged into their union, which keeps the memory bounded.
void VorlDensity::notePending(const cv::Rect& segment)
{
    if (pending.size() < MaxPendingRects) {
        pending.push_back(segment);
        return;
    }
    cv::Rect all = segment;
    for (const cv::Rect& r : pending)
        all |= r;
    pending.clear();
    pending.push_back(all);
}

void VorlDensity::compose()
{
    int crossedPixels = 0;
    if (!canvas.empty()) {
        // 255 exactly where a segment crossed the analysed region (the OR is 0 only there, also
        // for a mask holding values other than 0 and 255); the buffer is kept between frames so
        // composing allocates nothing.
        cv::bitwise_or(areaInverse, canvas, crossed);
        cv::compare(crossed, 0, crossed, cv::CMP_EQ);
        crossedPixels = cv::countNonZero(crossed);
        background.setTo(cv::Scalar(0, 0, 0), crossed);
    }
    drawLegend(densityOf(crossedPixels));
}

// A counting area covering the whole mask leaves no pixel to measure: no trajectory can cross
// one, so the density is 0 rather than 0 / 0 ("nan" in the text and the summary).
float VorlDensity::densityOf(int crossedPixels) const
{
    if (regionPixels <= 0)
        return 0.0f;
    return static_cast<float>(crossedPixels) / static_cast<float>(regionPixels);
}

void VorlDensity::drawLegend(float density)
{
    drawLegendOn(background, density);
}

cv::Rect VorlDensity::drawLegendOn(cv::Mat& picture, float density)
{
    densityText = QStringLiteral("Density: ") + QString::number(density, 'f', 4);
    if (picture.empty())
        return cv::Rect();
    const std::string text = densityText.toStdString();
    const int font = cv::FONT_HERSHEY_SIMPLEX;
    int baseline = 0;
    const cv::Size size = cv::getTextSize(text, font, 0.5, 1, &baseline);
    // Centred in the leftmost 150 pixels, near the top.
    const int y0 = (size.height + 20) / 2 + 1;
    const int x0 = (150 - size.width) / 2 + 1;
    cv::rectangle(picture, cv::Point(x0, y0 + baseline),
                  cv::Point(x0 + size.width, y0 - size.height), cv::Scalar(0, 0, 255), cv::FILLED,
                  cv::LINE_8);
    cv::putText(picture, text, cv::Point(x0, y0), font, 0.5, cv::Scalar(0, 255, 255), 1,
                cv::LINE_8);
    // The box and the glyphs, with a pixel of the pen's reach around them.
    const cv::Rect drawn(cv::Point(x0 - 1, y0 - size.height - 1),
                         cv::Point(x0 + size.width + 2, y0 + baseline + 2));
    return drawn & cv::Rect(0, 0, picture.cols, picture.rows);
}

const cv::Mat& VorlDensity::preview()
{
    const cv::Rect whole(0, 0, canvas.cols, canvas.rows);
    changes.clear();
    if (previewRenewed)
        changes.push_back(whole);
    previewRenewed = false;
    for (const cv::Rect& changed : pending) {
        updatePreview(changed & whole);
        changes.push_back(changed & whole);
    }
    pending.clear();
    changes.push_back(drawLegendOn(previewPicture, densityOf(previewCrossedPixels)));
    return previewPicture;
}

// The same rule as compose(), within a changed rectangle; the count of crossed pixels follows
// the pixels that changed there, so rectangles that overlap are no harm.
void VorlDensity::updatePreview(const cv::Rect& changed)
{
    if (changed.empty())
        return;
    cv::Mat now = previewChange(cv::Rect(0, 0, changed.width, changed.height));
    cv::bitwise_or(areaInverse(changed), canvas(changed), now);
    cv::compare(now, 0, now, cv::CMP_EQ);
    cv::Mat before = previewCrossed(changed);
    previewCrossedPixels += cv::countNonZero(now) - cv::countNonZero(before);
    now.copyTo(before);
    previewPicture(changed).setTo(cv::Scalar(0, 0, 0), now);
}

cv::Mat VorlDensity::snapshot()
{
    return preview().clone();
}

bool VorlDensity::save(const QString& videoPath)
{
    compose();
    ExportPath::ensureFolder(videoPath);
    const QString imagePath =
        ExportPath::file(videoPath, QLatin1String(ExportPath::densityImageSuffix));
    const QString textPath =
        ExportPath::file(videoPath, QLatin1String(ExportPath::densityTextSuffix));

    // Encoded in memory and written through Qt, so that any path the user has works.
    bool imageSaved = false;
    if (!background.empty()) {
        imageSaved =
            encodeJpeg(background, jpeg) &&
            writeFileSafely(imagePath, QByteArray(reinterpret_cast<const char*>(jpeg.data()),
                                                  static_cast<int>(jpeg.size())));
    }
    const bool textSaved = writeFileSafely(textPath, densityText.toLocal8Bit());
    return imageSaved && textSaved;
}
