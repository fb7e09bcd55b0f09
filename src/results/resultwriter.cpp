#include "resultwriter.h"

#include "csvfile.h"
#include "exportpath.h"

#include <QDir>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <cstring>

#ifdef Q_OS_WIN
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace
{

#ifndef Q_OS_WIN
// The rename itself reaches the disk only with its folder.
void syncFolder(const QString& path)
{
    const int fd = ::open(QFile::encodeName(QFileInfo(path).absolutePath()).constData(),
                          O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}
#endif

bool syncToDisk(QFile& file)
{
#ifdef Q_OS_WIN
    return _commit(file.handle()) == 0;
#else
    return ::fsync(file.handle()) == 0;
#endif
}

} // namespace

bool replaceFile(const QString& from, const QString& to, QString* reason)
{
#ifdef Q_OS_WIN
    const bool ok =
        MoveFileExW(reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(from).utf16()),
                    reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(to).utf16()),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!ok && reason)
        *reason = QStringLiteral("error %1").arg(GetLastError());
    return ok;
#else
    if (std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0) {
        if (reason)
            *reason = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    syncFolder(to);
    return true;
#endif
}

ResultWriter::~ResultWriter()
{
    abandon();
}

QString ResultWriter::partPath(const QString& videoPath)
{
    return ExportPath::file(videoPath, QLatin1String(ExportPath::partialResultSuffix));
}

bool ResultWriter::fail(const QString& what, const QString& reason)
{
    error = QStringLiteral("cannot %1 the result file %2: %3").arg(what, file.fileName(), reason);
    return false;
}

// Unbuffered, so that every event is with the system as soon as it has been counted.
bool ResultWriter::begin(const QString& videoPath)
{
    abandon();
    error.clear();
    finalPath = CsvFile::resultPath(videoPath);
    file.setFileName(partPath(videoPath));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text |
                   QIODevice::Unbuffered))
        return fail(QStringLiteral("create"), file.errorString());
    return writeAll(QByteArray(CsvFile::header()) + '\n');
}

bool ResultWriter::append(const Result& event)
{
    if (!file.isOpen())
        return fail(QStringLiteral("write"), QStringLiteral("it is not open"));
    return writeAll(
        CsvFile::recordLine(event.frame, event.x, event.y, event.in, event.out, event.timestamp)
            .toLocal8Bit());
}

// A short write is retried for the rest, so that the failure that stopped it comes with the
// system's reason (a full disk, a file size limit).
bool ResultWriter::writeAll(const QByteArray& bytes)
{
    for (qint64 done = 0; done < bytes.size();) {
        const qint64 written = file.write(bytes.constData() + done, bytes.size() - done);
        if (written <= 0)
            return fail(QStringLiteral("write"), file.errorString());
        done += written;
    }
    return true;
}

bool ResultWriter::commit()
{
    if (!file.isOpen())
        return fail(QStringLiteral("complete"), QStringLiteral("it is not open"));
    if (!file.flush())
        return fail(QStringLiteral("write"), file.errorString());
    if (!syncToDisk(file))
        return fail(QStringLiteral("write"), QString::fromLocal8Bit(std::strerror(errno)));
    file.close();
    QString reason;
    if (!replaceFile(file.fileName(), finalPath, &reason)) {
        error =
            QStringLiteral("cannot rename %1 to %2: %3").arg(file.fileName(), finalPath, reason);
        return false;
    }
    return true;
}

void ResultWriter::abandon()
{
    if (file.isOpen())
        file.close();
}
