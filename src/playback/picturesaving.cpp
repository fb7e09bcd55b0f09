#include "picturesaving.h"

#include "safefile.h"

#include <QFileInfo>
#include <opencv2/imgcodecs.hpp>

QString PictureSaving::withJpegSuffix(const QString& chosen)
{
    const QString suffix = QFileInfo(chosen).suffix().toLower();
    if (suffix == QLatin1String("jpg") || suffix == QLatin1String("jpeg"))
        return chosen;
    return chosen + QStringLiteral(".jpg");
}

void PictureSaving::start(const QString& file)
{
    target = file;
    on = !file.isEmpty();
    failureTold = false;
}

void PictureSaving::stop()
{
    on = false;
}

QString PictureSaving::write(const cv::Mat& picture)
{
    if (!on || picture.empty())
        return QString();
    QString problem;
    try {
        if (!cv::imencode(".jpg", picture, encoded))
            problem = QStringLiteral("%1: the picture cannot be encoded").arg(target);
    } catch (const cv::Exception& e) {
        problem = QStringLiteral("%1: %2").arg(target, QString::fromLocal8Bit(e.what()));
    }
    // A new hidden file renamed over the target: a link at its name is replaced, not followed.
    if (problem.isEmpty())
        writeFileSafely(target,
                        QByteArray::fromRawData(reinterpret_cast<const char*>(encoded.data()),
                                                static_cast<int>(encoded.size())),
                        &problem);
    if (problem.isEmpty() || failureTold)
        return QString();
    failureTold = true;
    return QStringLiteral("Cannot save the image: %1").arg(problem);
}
