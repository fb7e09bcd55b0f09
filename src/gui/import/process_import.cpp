#include "process_import.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace
{

constexpr qint64 chunkSize = 1024;

// True when `target` already names the file `source` (same folder, same name, or a link to it),
// so copying would truncate the source.
bool sameFile(const QString& source, const QString& target)
{
    const QFileInfo targetInfo(target);
    return targetInfo.exists() &&
           targetInfo.canonicalFilePath() == QFileInfo(source).canonicalFilePath();
}

} // namespace

Process_Import::Process_Import(const QString& destination, const QString& source, QObject* parent)
    : QThread(parent), destination(destination), source(source)
{
}

Process_Import::~Process_Import()
{
    wait();
}

QString Process_Import::toolProgram()
{
    const QString name = QStringLiteral("mp4box");
    QString found = QStandardPaths::findExecutable(name, {QCoreApplication::applicationDirPath()});
    if (found.isEmpty())
        found = QStandardPaths::findExecutable(name);
    return found.isEmpty() ? name : found;
}

void Process_Import::run()
{
    // Without a working directory the target would be "/name.mp4" at the file system's root.
    if (destination.isEmpty()) {
        emit end_thread();
        return;
    }
    const QFileInfo info(source);
    const QString suffix = info.suffix();
    const QString base = destination + "/" + info.baseName();
    if (suffix == "mp4" || suffix == "avi") {
        const QString target = base + ".mp4";
        if (!sameFile(source, target))
            copyFile(source, target);
    } else if (suffix == "h264") {
        const QString rawCopy = base + "." + suffix;
        importStream(rawCopy, base + ".mp4", sameFile(source, rawCopy));
    }
    emit end_thread();
}

void Process_Import::importStream(const QString& rawCopy, const QString& target, bool keepRawCopy)
{
    // A stream already in the destination is converted in place and kept: it is the original.
    if (!keepRawCopy)
        copyFile(source, rawCopy);
    convert(rawCopy, target);
    if (!keepRawCopy)
        QFile::remove(rawCopy);
}

bool Process_Import::copyFile(const QString& from, const QString& to)
{
    QFile in(from);
    QFile out(to);
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly))
        return false;
    const qint64 size = in.size();
    QByteArray chunk(chunkSize, '\0');
    bool complete = true;
    for (qint64 offset = 0; offset < size; offset += chunkSize) {
        const qint64 got = in.read(chunk.data(), chunkSize);
        // A read error, a source that shrank or a full disk stops the copy rather than leaving a
        // silently cut file.
        if (got <= 0 || out.write(chunk.constData(), got) != got) {
            complete = false;
            break;
        }
        emit copy_pos(static_cast<int>(100 * offset / size + 1));
    }
    complete = out.flush() && complete;
    out.close();
    if (!complete)
        out.remove();
    return complete;
}

void Process_Import::convert(const QString& rawCopy, const QString& target)
{
    // The process is created and read on this thread, so the phase progress is emitted from the
    // same thread as the copy progress and end_thread, keeping their order.
    QProcess tool;
    tool.setProcessChannelMode(QProcess::MergedChannels);
    connect(&tool, &QProcess::readyReadStandardOutput, this,
            &Process_Import::readyReadStandardOutput, Qt::DirectConnection);
    process = &tool;
    tool.start(toolProgram(), {"-fps", "90", "-add", rawCopy, target}, QIODevice::ReadWrite);
    if (tool.waitForStarted(-1))
        tool.waitForFinished(-1);
    if (tool.bytesAvailable() > 0)
        readyReadStandardOutput();
    process = nullptr;
}

void Process_Import::readyReadStandardOutput()
{
    if (process)
        parseOutput(process->readAll());
}

void Process_Import::parseOutput(const QByteArray& text)
{
    const int zero = text.indexOf('\0');
    output += QString::fromUtf8(zero < 0 ? text : text.left(zero));
    // A pass that finds the import phase leaves only its number in `output`, so the writing
    // phase is looked for only in what remains.
    emitPhase(QStringLiteral("Importing AVC-H264"), &Process_Import::encode_pos);
    emitPhase(QStringLiteral("ISO File Writing"), &Process_Import::save_pos);
}

// Cuts `output` down to the number between the first "(" and the first "/" of a progress line
// such as "Importing AVC-H264: |=====     | (45/100)" and reports that number plus 1.
void Process_Import::emitPhase(const QString& phase, void (Process_Import::*signal)(int))
{
    if (!output.contains(phase))
        return;
    output.remove(0, output.indexOf('(') + 1);
    const int slash = output.indexOf('/');
    output.chop(slash < 0 ? 1 : output.size() - slash);
    bool ok = false;
    const int value = output.toInt(&ok, 10);
    if (ok)
        emit(this->*signal)(value + 1);
}
