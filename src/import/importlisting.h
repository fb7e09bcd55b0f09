#pragma once

#include <QString>
#include <QStringList>

// The files of a folder of recordings (typically a camera's card), as every importer lists them.
namespace ImportListing
{

// Full paths of the files offered for import: names ending in .mp4, .avi or .h264 in any letter
// case, regular files only (no links, no hidden files), in directory-listing order.
QStringList recordings(const QString& folder);

// Full paths of the folder's other regular files, in name order.
QStringList others(const QString& folder);

} // namespace ImportListing
