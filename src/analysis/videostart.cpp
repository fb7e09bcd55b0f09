#include "videostart.h"

#include "exportpath.h"

QDateTime startTimeFromFileName(const QString& path)
{
    static const QString marker = QStringLiteral("video_");
    if (!path.contains(marker, Qt::CaseSensitive))
        return QDateTime::currentDateTime();
    QString rest = ExportPath::baseName(path);
    rest.remove(marker, Qt::CaseSensitive);
    rest.chop(3);
    return QDateTime::fromString(rest, QStringLiteral("yyyyMMdd_hhmm"));
}
