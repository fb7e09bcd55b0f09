#include "resultquestions.h"

#include "exportpath.h"
#include "resultrecord.h"
#include "videofiles.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

namespace
{
// How many videos a replace question names before it says "and N more".
constexpr int namedVideosMax = 8;

QString tr(const char* text, int n = -1)
{
    return QCoreApplication::translate("ResultQuestions", text, nullptr, n);
}

QString fileName(const QString& path)
{
    return QFileInfo(path).fileName();
}

// "a.csv (strict counting)" or "a.csv" when the mode is unknown.
QString namedWithMode(const QString& file, const QString& mode)
{
    if (mode.isEmpty())
        return fileName(file);
    return tr("%1 (made with %2 counting)").arg(fileName(file), mode);
}
} // namespace

QString ResultQuestions::recordedCountingMode(const QString& videoPath)
{
    ResultRecord record;
    if (!ResultRecord::read(resultRecordPath(videoPath), record))
        return QString();
    return countingModeName(record.mode);
}

QStringList ResultQuestions::existingResultFiles(const QString& videoPath)
{
    QStringList files;
    // The record of how the result was made goes with it.
    for (const char* suffix :
         {ExportPath::resultSuffix, ExportPath::partialResultSuffix, ExportPath::recordSuffix}) {
        const QString file = ExportPath::file(videoPath, QLatin1String(suffix));
        if (QFileInfo::exists(file))
            files << file;
    }
    return files;
}

QString ResultQuestions::deleteQuestion(const QString& videoPath)
{
    const QStringList files = existingResultFiles(videoPath);
    if (files.isEmpty())
        return QString();
    const QString mode = recordedCountingMode(videoPath);
    QStringList lines;
    for (const QString& file : files)
        lines << namedWithMode(
            file, file.endsWith(QLatin1String(ExportPath::resultSuffix)) ? mode : QString());
    return tr("Delete the results of %1?\n\n%2\n\nThey cannot be restored.")
        .arg(fileName(videoPath), lines.join(QLatin1Char('\n')));
}

QString ResultQuestions::replaceQuestion(const QStringList& queue)
{
    QStringList lines;
    int replaced = 0;
    for (const QString& video : queue) {
        const QString result = ExportPath::file(video, QLatin1String(ExportPath::resultSuffix));
        if (!QFileInfo::exists(result))
            continue;
        if (++replaced <= namedVideosMax)
            lines << namedWithMode(result, recordedCountingMode(video));
    }
    if (replaced == 0)
        return QString();
    if (replaced > namedVideosMax)
        lines << tr("and %n more", replaced - namedVideosMax);
    return tr("Processing replaces the existing results of %n video(s):\n\n%1\n\nReplace them?",
              replaced)
        .arg(lines.join(QLatin1Char('\n')));
}
