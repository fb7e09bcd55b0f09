#include "folderrecords.h"

#include <QList>

namespace FolderRecords
{
namespace
{

const char* const progressTag = "progress";
const char* const videoTag = "video";
constexpr int progressFields = 7;
constexpr int videoFields = 9;

QByteArray escape(const QString& text)
{
    QByteArray out;
    for (const char c : text.toUtf8()) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out += c;
        }
    }
    return out;
}

QString unescape(const QByteArray& field)
{
    QByteArray out;
    for (int i = 0; i < field.size(); ++i) {
        const char c = field.at(i);
        if (c != '\\' || i + 1 == field.size()) {
            out += c;
            continue;
        }
        const char next = field.at(++i);
        out += next == 't' ? '\t' : next == 'n' ? '\n' : next == 'r' ? '\r' : next;
    }
    return QString::fromUtf8(out);
}

QByteArray join(std::initializer_list<QByteArray> fields)
{
    QByteArray line;
    for (const QByteArray& f : fields) {
        if (!line.isEmpty())
            line += '\t';
        line += f;
    }
    return line + '\n';
}

bool toNumber(const QByteArray& field, double* value)
{
    bool ok = false;
    *value = field.toDouble(&ok);
    return ok;
}

bool toNumber(const QByteArray& field, long* value)
{
    bool ok = false;
    *value = field.toLong(&ok);
    return ok;
}

bool toNumber(const QByteArray& field, int* value)
{
    bool ok = false;
    *value = field.toInt(&ok);
    return ok;
}

bool parseProgress(const QList<QByteArray>& f, Progress* progress)
{
    Progress p;
    if (!toNumber(f[1], &p.video) || !toNumber(f[2], &p.videos) || !toNumber(f[3], &p.frame) ||
        !toNumber(f[4], &p.frameCount) || !toNumber(f[5], &p.fps))
        return false;
    p.name = unescape(f[6]);
    if (progress)
        *progress = p;
    return true;
}

bool parseVideo(const QList<QByteArray>& f, Video* video)
{
    Video v;
    v.name = unescape(f[1]);
    v.status = unescape(f[2]);
    if ((f[3] != "0" && f[3] != "1") || !toNumber(f[4], &v.frames) || !toNumber(f[5], &v.in) ||
        !toNumber(f[6], &v.out) || !toNumber(f[8], &v.seconds))
        return false;
    v.analysed = f[3] == "1";
    v.density = unescape(f[7]);
    if (video)
        *video = v;
    return true;
}

} // namespace

QByteArray progressLine(const Progress& p)
{
    return join({progressTag, QByteArray::number(p.video), QByteArray::number(p.videos),
                 QByteArray::number(p.frame, 'f', 0), QByteArray::number(p.frameCount, 'f', 0),
                 QByteArray::number(p.fps, 'f', 1), escape(p.name)});
}

QByteArray videoLine(const Video& v)
{
    return join({videoTag, escape(v.name), escape(v.status), v.analysed ? "1" : "0",
                 QByteArray::number(qint64(v.frames)), QByteArray::number(v.in),
                 QByteArray::number(v.out), escape(v.density),
                 QByteArray::number(v.seconds, 'f', 3)});
}

Kind parse(const QByteArray& line, Progress* progress, Video* video)
{
    const QList<QByteArray> fields = line.split('\t');
    if (fields.first() == progressTag && fields.size() == progressFields)
        return parseProgress(fields, progress) ? ProgressRecord : NoRecord;
    if (fields.first() == videoTag && fields.size() == videoFields)
        return parseVideo(fields, video) ? VideoRecord : NoRecord;
    return NoRecord;
}

} // namespace FolderRecords
