#include "activityexport.h"

#include "safefile.h"

#include <QStringList>

namespace ActivityExport
{

namespace
{

QString binStart(const ActivityBin& bin)
{
    return wallClockTime(bin.startMs).toString(QStringLiteral("yyyy-MM-ddThh:mm:ss"));
}

QString timeOfDay(const ProfileSlot& slot)
{
    return QTime(0, 0).addSecs(slot.secondOfDay).toString(QStringLiteral("hh:mm"));
}

QString minutes(qint64 ms)
{
    return QString::number(ms / 60000.0, 'f', 1);
}

QString rate(const ProfileSlot& slot, int count)
{
    return slot.recorded() ? QString::number(slot.perHour(count), 'f', 2) : QString();
}

QStringList counts(const ActivityBin& bin)
{
    if (!bin.recorded())
        return {QString(), QString(), QString()};
    return {QString::number(bin.in), QString::number(bin.out), QString::number(bin.crossings)};
}

QString aligned(const QStringList& fields, const QVector<int>& widths)
{
    QString line = fields.first().leftJustified(widths.first());
    for (int i = 1; i < fields.size(); ++i)
        line += QLatin1String("  ") + fields.at(i).rightJustified(widths.at(i));
    return line.trimmed() + QLatin1Char('\n');
}

const QString noCount = QStringLiteral("-");

QStringList shown(QStringList fields)
{
    for (QString& f : fields) {
        if (f.isEmpty())
            f = noCount;
    }
    return fields;
}

} // namespace

QString tableText(const ActivityTable& table)
{
    const QVector<int> widths{19, 6, 6, 9, 16};
    QString text =
        aligned({QStringLiteral("bin start"), QStringLiteral("in"), QStringLiteral("out"),
                 QStringLiteral("crossings"), QStringLiteral("minutes recorded")},
                widths);
    for (const ActivityBin& bin : table.bins)
        text += aligned(
            shown(QStringList{binStart(bin)} + counts(bin) + QStringList{minutes(bin.recordedMs)}),
            widths);
    return text;
}

QString tableCsv(const ActivityTable& table)
{
    QString text = QStringLiteral("Start;In;Out;Crossings;MinutesRecorded\n");
    for (const ActivityBin& bin : table.bins)
        text += (QStringList{binStart(bin)} + counts(bin) + QStringList{minutes(bin.recordedMs)})
                    .join(QLatin1Char(';')) +
                QLatin1Char('\n');
    return text;
}

QString profileText(const QVector<ProfileSlot>& profile)
{
    const QVector<int> widths{11, 8, 8, 11, 14};
    QString text =
        aligned({QStringLiteral("time of day"), QStringLiteral("in/h"), QStringLiteral("out/h"),
                 QStringLiteral("crossings/h"), QStringLiteral("hours recorded")},
                widths);
    for (const ProfileSlot& s : profile)
        text += aligned(shown({timeOfDay(s), rate(s, s.in), rate(s, s.out), rate(s, s.crossings),
                               QString::number(s.hoursRecorded(), 'f', 2)}),
                        widths);
    return text;
}

QString profileCsv(const QVector<ProfileSlot>& profile)
{
    QString text =
        QStringLiteral("TimeOfDay;InPerHour;OutPerHour;CrossingsPerHour;HoursRecorded\n");
    for (const ProfileSlot& s : profile)
        text += QStringList{timeOfDay(s), rate(s, s.in), rate(s, s.out), rate(s, s.crossings),
                            QString::number(s.hoursRecorded(), 'f', 2)}
                    .join(QLatin1Char(';')) +
                QLatin1Char('\n');
    return text;
}

QString columns(const ActivityTable& table)
{
    QString text;
    for (const ActivityBin& bin : table.bins)
        text += counts(bin).join(QLatin1Char('\t')) + QLatin1Char('\n');
    return text;
}

QString writeFile(const QString& path, const QByteArray& bytes)
{
    QString error;
    writeFileSafely(path, bytes, &error, SafeFile::AtFinalName::WriteToDevice);
    return error;
}

} // namespace ActivityExport
