#include "csvfile.h"

#include "exportpath.h"

#include <QFileInfo>
#include <QStringList>

#include <cmath>

namespace
{

// A whole frame index in plain decimal: "%g" with six significant digits would turn every frame
// from 1,000,000 on into a rounded exponent form.
QString frameText(double frame)
{
    return QString::number(frame, 'f', 0);
}

int toInt(const QString& field)
{
    bool ok = false;
    const int value = field.toInt(&ok, 10);
    return ok ? value : 0;
}

// "nan" and "inf" convert, but are no frame index: they would reach the seek as garbage.
double toDouble(const QString& field)
{
    bool ok = false;
    const double value = field.toDouble(&ok);
    return ok && std::isfinite(value) ? value : 0.0;
}

// A missing or empty file gets its header first, so that the first record is never taken for it.
bool ensureHeader(const QString& path)
{
    QFile file(path);
    if (file.exists() && file.size() > 0)
        return true;
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return false;
    const QByteArray header = QByteArray(CsvFile::header()) + '\n';
    return file.write(header) == header.size();
}

// Only a regular file is a result file: opening a FIFO would block until someone writes to it, a
// device would never end.
bool isRegularOrMissing(const QString& path)
{
    const QFileInfo info(path);
    return !info.exists() || info.isFile();
}

} // namespace

CsvFile::CsvFile() = default;

CsvFile::~CsvFile()
{
    close();
}

QString CsvFile::resultPath(const QString& videoPath)
{
    return ExportPath::file(videoPath, QLatin1String(ExportPath::resultSuffix));
}

// The record of how the result was made goes with it.
void CsvFile::removeResultFile(const QString& videoPath)
{
    QFile::remove(resultPath(videoPath));
    QFile::remove(ExportPath::file(videoPath, QLatin1String(ExportPath::recordSuffix)));
}

int CsvFile::open(const QString& videoPath, CsvMode mode)
{
    close();
    file.setFileName(resultPath(videoPath));
    if (!isRegularOrMissing(file.fileName()))
        return -1;
    if (mode == CsvMode::Append) {
        // Without its folder an analysis would silently write nothing.
        ExportPath::ensureFolder(videoPath);
        ensureHeader(file.fileName());
        if (!file.exists() || !file.open(QIODevice::Append | QIODevice::Text))
            return -1;
    } else {
        if (!file.exists() || !file.open(QIODevice::ReadOnly | QIODevice::Text))
            return -1;
    }
    stream.setDevice(&file);
    stream.resetStatus();
    if (mode == CsvMode::Read)
        stream.readLine(); // the header, whatever it holds
    isOpen = true;
    return 1;
}

int CsvFile::writeResult(double frame, int x, int y, int in, int out, const QString& timestamp)
{
    if (!isOpen)
        return -1;
    stream << recordLine(frame, x, y, in, out, timestamp);
    stream.flush();
    return stream.status() == QTextStream::Ok && file.error() == QFileDevice::NoError ? 0 : -1;
}

QString CsvFile::recordLine(double frame, int x, int y, int in, int out, const QString& timestamp)
{
    const QChar sep(QLatin1Char(';'));
    return frameText(frame) + sep + QString::number(x) + sep + QString::number(y) + sep +
           QString::number(in) + sep + QString::number(out) + sep + timestamp + QLatin1Char('\n');
}

int CsvFile::readResult(double& frame, int& x, int& y, int& in, int& out, QString& timestamp)
{
    if (!isOpen)
        return -1;
    const QStringList fields = stream.readLine().split(QLatin1Char(';'));
    if (fields.size() < 6)
        return -1; // end of file, or an empty or short line
    frame = toDouble(fields.at(0));
    x = toInt(fields.at(1));
    y = toInt(fields.at(2));
    in = toInt(fields.at(3));
    out = toInt(fields.at(4));
    timestamp = fields.at(5);
    return 1;
}

int CsvFile::close()
{
    if (!isOpen)
        return -1;
    stream.flush();
    const bool written = file.error() == QFileDevice::NoError;
    stream.setDevice(nullptr);
    file.close();
    isOpen = false;
    return written ? 1 : -1;
}
