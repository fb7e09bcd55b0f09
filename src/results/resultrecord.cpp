#include "resultrecord.h"

#include "safefile.h"
#include "videofiles.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace
{

// A record is a few kilobytes; anything far larger is no record of ours.
constexpr qint64 maxRecordBytes = 4 * 1024 * 1024;

QJsonArray points(const std::vector<cv::Point>& polygon)
{
    QJsonArray list;
    for (const cv::Point& p : polygon)
        list.append(QJsonArray{p.x, p.y});
    return list;
}

std::vector<cv::Point> pointsFrom(const QJsonValue& value)
{
    std::vector<cv::Point> polygon;
    for (const QJsonValue& p : value.toArray()) {
        const QJsonArray xy = p.toArray();
        polygon.emplace_back(xy.at(0).toInt(), xy.at(1).toInt());
    }
    return polygon;
}

// ISO 8601 with the local offset from UTC, e.g. "2026-06-12T14:30:05+02:00".
QString isoTime(const QDateTime& time)
{
    if (!time.isValid())
        return QString();
    return time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODate);
}

} // namespace

QString ResultRecord::programVersion()
{
    return QStringLiteral(ORVANE_VERSION);
}

QByteArray ResultRecord::toJson() const
{
    QJsonObject o;
    o.insert(QStringLiteral("program"), program);
    o.insert(QStringLiteral("version"), version);
    o.insert(QStringLiteral("countingMode"), countingModeName(mode));
    o.insert(QStringLiteral("area"), points(area));
    o.insert(QStringLiteral("mask"), points(mask));
    o.insert(QStringLiteral("frameSize"), QJsonArray{frameSize.width, frameSize.height});
    o.insert(QStringLiteral("fps"), fps);
    o.insert(QStringLiteral("firstFrame"), firstFrame);
    o.insert(QStringLiteral("lastFrame"), lastFrame);
    o.insert(QStringLiteral("unreadableFrames"), static_cast<double>(unreadableFrames));
    o.insert(QStringLiteral("started"), isoTime(started));
    o.insert(QStringLiteral("ended"), isoTime(ended));
    o.insert(QStringLiteral("host"), host);
    return QJsonDocument(o).toJson(QJsonDocument::Indented);
}

bool ResultRecord::write(const QString& path, QString* reason) const
{
    QString why;
    if (writeFileSafely(path, toJson(), &why))
        return true;
    if (reason)
        *reason = QStringLiteral("cannot write the record: %1").arg(why);
    return false;
}

bool ResultRecord::read(const QString& path, ResultRecord& record)
{
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.read(maxRecordBytes + 1);
    if (bytes.size() > maxRecordBytes)
        return false;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes);
    if (!doc.isObject())
        return false;
    const QJsonObject o = doc.object();
    record = ResultRecord();
    record.program = o.value(QStringLiteral("program")).toString();
    record.version = o.value(QStringLiteral("version")).toString();
    countingModeFromName(o.value(QStringLiteral("countingMode")).toString(), record.mode);
    record.area = pointsFrom(o.value(QStringLiteral("area")));
    record.mask = pointsFrom(o.value(QStringLiteral("mask")));
    const QJsonArray size = o.value(QStringLiteral("frameSize")).toArray();
    record.frameSize = cv::Size(size.at(0).toInt(), size.at(1).toInt());
    record.fps = o.value(QStringLiteral("fps")).toDouble();
    record.firstFrame = o.value(QStringLiteral("firstFrame")).toDouble();
    record.lastFrame = o.value(QStringLiteral("lastFrame")).toDouble();
    record.unreadableFrames =
        static_cast<long>(o.value(QStringLiteral("unreadableFrames")).toDouble());
    record.started =
        QDateTime::fromString(o.value(QStringLiteral("started")).toString(), Qt::ISODate);
    record.ended = QDateTime::fromString(o.value(QStringLiteral("ended")).toString(), Qt::ISODate);
    record.host = o.value(QStringLiteral("host")).toString();
    return true;
}

QString ResultRecord::describeResult(const QString& videoPath)
{
    const VideoFiles files(videoPath);
    if (!QFileInfo(files.result()).isFile())
        return QString();
    ResultRecord record;
    if (!read(files.record(), record))
        return QStringLiteral("classic counting (made before results kept a record)");
    return QStringLiteral("%1 counting, %2, %3 %4")
        .arg(countingModeName(record.mode),
             record.ended.toString(QStringLiteral("yyyy-MM-dd hh:mm")), record.program,
             record.version);
}

CountingMode ResultRecord::readMode(const QString& path)
{
    ResultRecord record;
    return read(path, record) ? record.mode : CountingMode::Classic;
}
