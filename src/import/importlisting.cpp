#include "importlisting.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

namespace ImportListing
{

QStringList recordings(const QString& folder)
{
    QStringList files;
    // An empty folder means none chosen yet, not the current directory.
    if (folder.isEmpty())
        return files;
    QDirIterator it(folder, {"*.mp4", "*.avi", "*.h264"}, QDir::Files | QDir::NoSymLinks);
    while (it.hasNext())
        files.append(it.next());
    return files;
}

QStringList others(const QString& folder)
{
    if (folder.isEmpty())
        return {};
    QStringList offered;
    for (const QString& path : recordings(folder))
        offered.append(QFileInfo(path).fileName());
    QStringList files;
    const QDir dir(folder);
    for (const QString& name : dir.entryList(QDir::Files | QDir::NoSymLinks, QDir::Name)) {
        if (!offered.contains(name))
            files.append(dir.filePath(name));
    }
    return files;
}

} // namespace ImportListing
