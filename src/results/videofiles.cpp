#include "videofiles.h"

#include "exportpath.h"
#include "resultrecord.h"

#include <QFileInfo>

QString VideoFiles::baseName() const
{
    return ExportPath::baseName(path);
}

QString VideoFiles::folder() const
{
    return ExportPath::folder(path);
}

QString VideoFiles::named(const char* suffix) const
{
    return ExportPath::file(path, QLatin1String(suffix));
}

bool VideoFiles::resultMode(CountingMode& mode) const
{
    if (!QFileInfo(result()).isFile())
        return false;
    mode = ResultRecord::readMode(record());
    return true;
}

QString resultRecordPath(const QString& videoPath)
{
    return VideoFiles(videoPath).record();
}
