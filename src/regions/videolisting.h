#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

// The videos of a working directory as the application lists them: "*.mp4" in any letter case,
// regular files only (no folders, no symbolic links), not recursive, sorted by file name (see
// videoNameBefore), each with its region and result status decided by file existence alone.
// A video is done when its complete result file NAME.csv exists; an analysis that was cut
// short leaves only NAME.csv.part, which does not count.
struct ListedVideo {
    QString path;     // directory + "/" + file name
    QString baseName; // file name without its last extension
    bool hasRegions;  // both region files exist
    bool done;        // the result file exists
};

QVector<ListedVideo> listVideos(const QString& directory);
bool videoNameBefore(const QString& a, const QString& b);
// The "*.mp4" regular files of the directory that listVideos cannot take because their names
// are not valid in the system's encoding, one warning naming each, so none goes missing unsaid.
QStringList unreadableVideoNames(const QString& directory);
// Their paths, as far as they can be shown (the invalid bytes as replacement characters).
QStringList unreadableVideoPaths(const QString& directory);
// The warning given for such a file.
QString unreadableNameWarning(const QString& path);
// One video as listVideos describes it, whatever its file name.
ListedVideo describeVideo(const QString& path);

inline QString statusText(bool yes)
{
    return yes ? QStringLiteral("Y") : QStringLiteral("N");
}
