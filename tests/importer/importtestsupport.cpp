#include "importtestsupport.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>

QString binDir()
{
    const QString fromEnvironment = qEnvironmentVariable("ORVANE_BIN_DIR");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    return QCoreApplication::applicationDirPath() + "/../bin";
}

void putToolOnPath()
{
    qputenv("PATH", (binDir() + ":" + qEnvironmentVariable("PATH")).toLocal8Bit());
}

namespace
{

bool runFfmpeg(const QStringList& args)
{
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg", args);
    return ffmpeg.waitForFinished(-1) && ffmpeg.exitStatus() == QProcess::NormalExit &&
           ffmpeg.exitCode() == 0;
}

} // namespace

bool transcode(const QString& from, const QString& to, const QStringList& codecArgs)
{
    return runFfmpeg(QStringList{"-v", "error", "-y", "-i", from} << codecArgs << to);
}

bool makeVideo(const QString& path, int frames, const QStringList& codecArgs)
{
    QStringList args{"-v",
                     "error",
                     "-y",
                     "-f",
                     "lavfi",
                     "-i",
                     "testsrc=size=160x120:rate=25",
                     "-frames:v",
                     QString::number(frames)};
    args << codecArgs << path;
    return runFfmpeg(args);
}

QStringList rawH264Args()
{
    return {"-c:v", "libx264", "-bf", "0", "-f", "h264"};
}

bool makeRawH264(const QString& path, int frames)
{
    return makeVideo(path, frames, rawH264Args());
}

QByteArray patternBytes(qint64 size)
{
    QByteArray bytes(static_cast<int>(size), '\0');
    quint32 state = 12345;
    for (char& byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<char>(state >> 24);
    }
    return bytes;
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
