#include "resultwriter.h"

#include "csvfile.h"
#include "exportpath.h"
#include "safefile.h"

#include <cerrno>
#include <cstring>

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
    // An earlier .part (or a link planted there) is removed, never opened: the events go to a
    // new file of this run.
    QString reason;
    if (!createAfresh(file, &reason))
        return fail(QStringLiteral("create"), reason);
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
    if (file.error() != QFileDevice::NoError)
        return fail(QStringLiteral("write"), file.errorString());
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
