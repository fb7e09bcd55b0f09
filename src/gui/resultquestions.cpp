#include "resultquestions.h"

#include "exportpath.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

namespace
{
const char* const runRecordSuffix = "_run.json";
// A record is a few hundred bytes; anything far larger is not one.
constexpr qint64 runRecordMaxBytes = 1 << 20;
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
    QFile record(ExportPath::file(videoPath, QLatin1String(runRecordSuffix)));
    if (!record.open(QIODevice::ReadOnly) || record.size() > runRecordMaxBytes)
        return QString();
    const QJsonObject object = QJsonDocument::fromJson(record.readAll()).object();
    const QString mode = object.value(QStringLiteral("countingMode")).toString();
    if (mode != QLatin1String("classic") && mode != QLatin1String("strict"))
        return QString();
    return mode;
}

QStringList ResultQuestions::existingResultFiles(const QString& videoPath)
{
    QStringList files;
    for (const char* suffix : {ExportPath::resultSuffix, ExportPath::partialResultSuffix}) {
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
        lines << namedWithMode(file, file.endsWith(QLatin1String(".part")) ? QString() : mode);
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
