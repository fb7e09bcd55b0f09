#include "foldermode.h"

#include "videofiles.h"
#include "videolisting.h"

FolderMode FolderMode::of(const QStringList& directories)
{
    FolderMode folder;
    folder.directories = directories;
    for (const QString& directory : directories) {
        for (const ListedVideo& video : listVideos(directory)) {
            CountingMode mode = CountingMode::Classic;
            if (!VideoFiles(video.path).resultMode(mode))
                continue;
            (mode == CountingMode::Strict ? folder.strict : folder.classic) += 1;
        }
    }
    return folder;
}

CountingMode FolderMode::mode() const
{
    if (strict > 0)
        return CountingMode::Strict;
    return classic > 0 ? CountingMode::Classic : forNewFolders;
}

QString FolderMode::mixedText() const
{
    return QStringLiteral("%1 holds results of classic counting (%2) and of strict counting (%3); "
                          "choose the mode of this run")
        .arg(directories.join(QStringLiteral(", ")))
        .arg(classic)
        .arg(strict);
}
