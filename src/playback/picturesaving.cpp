#include "picturesaving.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <cerrno>
#include <cstdio>
#include <cstring>
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

// A temporary file beside the target, renamed over it: rename() replaces whatever the name is,
// a link included, and never writes through it.
QString PictureSaving::replaceFile()
{
    const QFileInfo info(target);
    QTemporaryFile out(info.absolutePath() + QStringLiteral("/.") + info.fileName() +
                       QStringLiteral(".XXXXXX"));
    const auto size = static_cast<qint64>(encoded.size());
    if (!out.open() || out.write(reinterpret_cast<const char*>(encoded.data()), size) != size ||
        !out.flush())
        return out.errorString();
    out.close();
    out.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    if (std::rename(QFile::encodeName(out.fileName()).constData(),
                    QFile::encodeName(target).constData()) != 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    out.setAutoRemove(false);
    return QString();
}

QString PictureSaving::write(const cv::Mat& picture)
{
    if (!on || picture.empty())
        return QString();
    QString problem;
    try {
        if (!cv::imencode(".jpg", picture, encoded))
            problem = QStringLiteral("the picture cannot be encoded");
    } catch (const cv::Exception& e) {
        problem = QString::fromLocal8Bit(e.what());
    }
    if (problem.isEmpty())
        problem = replaceFile();
    if (problem.isEmpty() || failureTold)
        return QString();
    failureTold = true;
    return QStringLiteral("Cannot save the image %1: %2").arg(target, problem);
}
