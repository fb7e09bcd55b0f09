#include "process_import.h"

#include "safefile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStandardPaths>
#include <algorithm>

namespace
{

constexpr qint64 chunkSize = 1024;
constexpr qint64 compareChunkSize = 1 << 16;
// How often a waiting worker looks at its stop request, and how long a stopped tool gets to
// clean up before it is killed (ms).
constexpr int stopPollInterval = 100;
constexpr int toolStopGrace = 3000;
// Enough of the tool's output to find its last error line.
constexpr int toolLogLimit = 4096;
const QString toolName = QStringLiteral("mp4box");
// The tool's installed name comes first: it cannot be another package's program, whereas a
// build folder holds it under its short name.
const QStringList toolFileNames = {QStringLiteral("orvane-mp4wrap"), toolName};
const QString stoppedReason = QStringLiteral("stopped");

// True when `target` already names the file `source` (same folder, same name, or a link to it),
// so copying would truncate the source.
bool sameFile(const QString& source, const QString& target)
{
    const QFileInfo targetInfo(target);
    return targetInfo.exists() &&
           targetInfo.canonicalFilePath() == QFileInfo(source).canonicalFilePath();
}

bool inFolder(const QString& file, const QString& folder)
{
    return QFileInfo(QFileInfo(file).canonicalPath()).canonicalFilePath() ==
           QFileInfo(folder).canonicalFilePath();
}

// A hidden name beside `path` that keeps its suffix, e.g. ".cam-3f2a91c0.mp4": the video table
// never lists it, and the tool still sees the file's kind.
QString temporaryName(const QString& path)
{
    const QFileInfo info(path);
    const quint32 tag = QRandomGenerator::global()->generate();
    return QStringLiteral("%1/.%2-%3.%4")
        .arg(info.path(), info.completeBaseName())
        .arg(tag, 8, 16, QLatin1Char('0'))
        .arg(info.suffix());
}

bool sameContent(const QString& a, const QString& b)
{
    QFile first(a);
    QFile second(b);
    if (!first.open(QIODevice::ReadOnly) || !second.open(QIODevice::ReadOnly) ||
        first.size() != second.size())
        return false;
    while (!first.atEnd()) {
        const QByteArray chunk = first.read(compareChunkSize);
        if (chunk.isEmpty() || chunk != second.read(compareChunkSize))
            return false;
    }
    return true;
}

// Gives the finished `partial` its name `target`. Nothing already there is ever replaced or
// written through (a link, even one pointing nowhere, included): when a file there holds the same
// bytes the recording was imported before, otherwise the import fails.
ImportOutcome place(const QString& partial, const QString& target, ImportOutcome::Kind done)
{
    bool taken = false;
    QString reason;
    if (placeFile(partial, target, &taken, &reason))
        return {done, target, {}};
    const bool link = QFileInfo(target).isSymLink();
    const bool identical = taken && !link && sameContent(partial, target);
    QFile::remove(partial);
    const QString name = QFileInfo(target).fileName();
    if (link)
        return {
            ImportOutcome::Failed, target,
            QStringLiteral("%1 is a symbolic link; not replaced, not written through").arg(name)};
    if (identical)
        return {ImportOutcome::Skipped, target, QStringLiteral("already imported as %1").arg(name)};
    if (taken)
        return {ImportOutcome::Failed, target,
                QStringLiteral("a different %1 is already there; not replaced").arg(name)};
    return {ImportOutcome::Failed, target,
            QStringLiteral("cannot write %1: %2").arg(target, reason)};
}

ImportOutcome failure(const QString& reason)
{
    return {ImportOutcome::Failed, {}, reason};
}

} // namespace

Process_Import::Process_Import(const QString& destination, const QString& source, QObject* parent)
    : QThread(parent), destination(destination), source(source)
{
}

void Process_Import::setStreamFrameRate(int fps)
{
    if (fps >= 1 && fps <= MaxStreamFrameRate)
        streamFrameRate = fps;
}

QString importResultWord(ImportOutcome::Kind kind)
{
    switch (kind) {
    case ImportOutcome::Copied:
        return QStringLiteral("copied");
    case ImportOutcome::Converted:
        return QStringLiteral("converted");
    case ImportOutcome::Skipped:
        return QStringLiteral("skipped");
    case ImportOutcome::Failed:
        break;
    }
    return QStringLiteral("failed");
}

QString importOutcomeText(const ImportOutcome& outcome)
{
    if (outcome.kind == ImportOutcome::Copied || outcome.kind == ImportOutcome::Converted)
        return QStringLiteral("%1 as %2")
            .arg(importResultWord(outcome.kind), QFileInfo(outcome.target).fileName());
    return QStringLiteral("%1: %2").arg(importResultWord(outcome.kind), outcome.reason);
}

Process_Import::~Process_Import()
{
    wait();
}

namespace
{

// The first of `folders` that holds the tool under either of its names.
QString findTool(const QStringList& folders)
{
    for (const QString& folder : folders) {
        for (const QString& name : toolFileNames) {
            const QString found = QStandardPaths::findExecutable(name, {folder});
            if (!found.isEmpty())
                return found;
        }
    }
    return {};
}

} // namespace

QRegularExpression Process_Import::temporaryNames()
{
    // temporaryName()'s names, and those of mp4box's unfinished output beside them.
    return QRegularExpression(
        QStringLiteral("\\A\\..+-[0-9a-f]{8}\\.(mp4|avi|h264)(\\.[A-Za-z0-9]{6}\\.part)?\\z"));
}

QString Process_Import::toolProgram()
{
    QString found = findTool({QCoreApplication::applicationDirPath()});
    if (found.isEmpty())
        found =
            findTool(qEnvironmentVariable("PATH").split(QDir::listSeparator(), Qt::SkipEmptyParts));
    return found.isEmpty() ? toolName : found;
}

void Process_Import::run()
{
    result = importFile();
    emit end_thread();
}

ImportOutcome Process_Import::importFile()
{
    // Without a working directory the target would be "/name.mp4" at the file system's root.
    if (destination.isEmpty())
        return failure(QStringLiteral("no destination folder"));
    const QFileInfo info(source);
    const QString suffix = info.suffix();
    const QString target = destination + "/" + info.baseName() + ".mp4";
    if (suffix == "mp4" || suffix == "avi")
        return importCopy(target);
    if (suffix == "h264")
        return importStream(target);
    return {ImportOutcome::Skipped,
            {},
            QStringLiteral("not a recording (only .mp4, .avi and .h264, in lower case)")};
}

ImportOutcome Process_Import::importCopy(const QString& target)
{
    if (sameFile(source, target))
        return {ImportOutcome::Skipped, target, QStringLiteral("already in the destination")};
    const QString partial = temporaryName(target);
    if (!copyFile(source, partial))
        return failure(copyProblem.replace(partial, target));
    return place(partial, target, ImportOutcome::Copied);
}

ImportOutcome Process_Import::importStream(const QString& target)
{
    // A stream already in the destination is converted where it is and kept: it is the original.
    // Any other is copied under a hidden name first, so no file of the destination is touched.
    QString raw = source;
    if (!inFolder(source, destination)) {
        raw = temporaryName(destination + "/" + QFileInfo(source).fileName());
        if (!copyFile(source, raw))
            return failure(copyProblem.replace(raw, target));
    }
    const QString converted = temporaryName(target);
    const InUseMark rawInUse(raw);
    const QString problem = convert(raw, converted);
    if (raw != source)
        QFile::remove(raw);
    if (!problem.isEmpty()) {
        QFile::remove(converted);
        return failure(problem);
    }
    return place(converted, target, ImportOutcome::Converted);
}

// The copy runs to the end of the file, however long it has grown, and is then compared with the
// source's size as it is at the end: a recording still being written is refused, not cut.
bool Process_Import::copyFile(const QString& from, const QString& to)
{
    QFile in(from);
    QFile out(to);
    if (!in.open(QIODevice::ReadOnly)) {
        copyProblem = QStringLiteral("cannot read %1: %2").arg(from, in.errorString());
        return false;
    }
    // A new file of our own: nothing at that name, a link included, is ever opened.
    if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        copyProblem = QStringLiteral("cannot write %1: %2").arg(to, out.errorString());
        return false;
    }
    markInUse(out);
    const qint64 size = in.size();
    copyProblem.clear();
    const qint64 copied = copyContent(in, out, size);
    if (copyProblem.isEmpty() && (copied != size || in.size() != size))
        copyProblem = QStringLiteral("%1 changed during the copy (%2 bytes, then %3); not imported")
                          .arg(QFileInfo(from).fileName())
                          .arg(size)
                          .arg(in.size());
    if (copyProblem.isEmpty() && (!out.flush() || !syncToDisk(out)))
        copyProblem = QStringLiteral("cannot write %1: %2").arg(to, out.errorString());
    out.close();
    if (copyProblem.isEmpty() && out.error() != QFileDevice::NoError)
        copyProblem = QStringLiteral("cannot write %1: %2").arg(to, out.errorString());
    if (!copyProblem.isEmpty())
        out.remove();
    return copyProblem.isEmpty();
}

// Copies until the end of `in`; returns the bytes copied, copyProblem saying why it stopped early.
qint64 Process_Import::copyContent(QFile& in, QFile& out, qint64 expected)
{
    QByteArray chunk(chunkSize, '\0');
    qint64 copied = 0;
    while (copyProblem.isEmpty()) {
        const qint64 got = in.read(chunk.data(), chunkSize);
        if (got == 0)
            break;
        if (got < 0)
            copyProblem = QStringLiteral("cannot read all of %1").arg(in.fileName());
        else if (out.write(chunk.constData(), got) != got)
            copyProblem =
                QStringLiteral("cannot write %1: %2").arg(out.fileName(), out.errorString());
        else if (stopping)
            copyProblem = stoppedReason;
        else
            emit copy_pos(static_cast<int>(
                std::min<qint64>(100, 100 * copied / std::max<qint64>(expected, 1) + 1)));
        copied += std::max<qint64>(got, 0);
    }
    return copied;
}

QString Process_Import::convert(const QString& rawCopy, const QString& target)
{
    // The process is created and read on this thread, so the phase progress is emitted from the
    // same thread as the copy progress and end_thread, keeping their order.
    QProcess tool;
    tool.setProcessChannelMode(QProcess::MergedChannels);
    connect(&tool, &QProcess::readyReadStandardOutput, this,
            &Process_Import::readyReadStandardOutput, Qt::DirectConnection);
    process = &tool;
    toolLog.clear();
    tool.start(toolProgram(), {"-fps", QString::number(streamFrameRate), "-add", rawCopy, target},
               QIODevice::ReadWrite);
    const bool started = tool.waitForStarted(-1);
    while (started && tool.state() != QProcess::NotRunning && !stopping)
        tool.waitForFinished(stopPollInterval);
    if (started && tool.state() != QProcess::NotRunning)
        stopTool();
    if (tool.bytesAvailable() > 0)
        readyReadStandardOutput();
    process = nullptr;
    if (!started)
        return QStringLiteral("cannot start %1: %2").arg(toolName, tool.errorString());
    if (stopping)
        return stoppedReason;
    if (tool.exitStatus() != QProcess::NormalExit)
        return QStringLiteral("%1 crashed").arg(toolName);
    if (tool.exitCode() != 0 || !QFileInfo(target).isFile())
        return toolProblem().replace(rawCopy, source);
    return {};
}

// Lets the tool remove its own partial output on SIGTERM before it is killed.
void Process_Import::stopTool()
{
    process->terminate();
    if (!process->waitForFinished(toolStopGrace)) {
        process->kill();
        process->waitForFinished(-1);
    }
}

// The tool's last line naming itself, e.g. "mp4box: 'x.h264' is not a raw H.264 stream".
QString Process_Import::toolProblem() const
{
    const QStringList lines =
        toolLog.split(QRegularExpression(QStringLiteral("[\r\n]")), Qt::SkipEmptyParts);
    for (auto line = lines.crbegin(); line != lines.crend(); ++line) {
        if (line->startsWith(toolName + ":"))
            return line->trimmed();
    }
    return QStringLiteral("%1 could not convert the stream").arg(toolName);
}

void Process_Import::readyReadStandardOutput()
{
    if (process)
        parseOutput(process->readAll());
}

void Process_Import::parseOutput(const QByteArray& text)
{
    const int zero = text.indexOf('\0');
    const QString arrived = QString::fromUtf8(zero < 0 ? text : text.left(zero));
    toolLog = (toolLog + arrived).right(toolLogLimit);
    output += arrived;
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
