#include "safefile.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <sys/file.h>
#include <unistd.h>

namespace
{

QString systemReason()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

QByteArray native(const QString& path)
{
    return QFile::encodeName(path);
}

// The rename itself reaches the disk only with its folder.
void syncFolder(const QString& path)
{
    const int fd = ::open(native(QFileInfo(path).absolutePath()).constData(),
                          O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

bool isTaken(const QString& path)
{
    return QFileInfo(path).exists() || QFileInfo(path).isSymLink();
}

} // namespace

SafeFile::SafeFile(const QString& path, AtFinalName rule) : finalPath(path), rule(rule) {}

SafeFile::~SafeFile()
{
    cancel();
}

QString SafeFile::temporaryPrefix(const QString& path)
{
    const QFileInfo info(path);
    return info.path() + QStringLiteral("/.") + info.fileName() + QStringLiteral(".orvane-");
}

bool SafeFile::fail(const QString& reason)
{
    if (!failed)
        error = QStringLiteral("cannot write %1: %2").arg(finalPath, reason);
    failed = true;
    return false;
}

// A name that is taken (by anything, a link included) is never opened: another is drawn.
bool SafeFile::open()
{
    cancel();
    failed = false;
    taken = false;
    direct = false;
    error.clear();
    const QFileInfo existing(finalPath);
    if (rule == AtFinalName::WriteToDevice && existing.exists() && !existing.isFile() &&
        !existing.isDir())
        return openDevice();
    constexpr int attempts = 16;
    for (int i = 0; i < attempts; ++i) {
        const quint32 tag = QRandomGenerator::global()->generate();
        file.setFileName(temporaryPrefix(finalPath) +
                         QStringLiteral("%1").arg(tag, 8, 16, QLatin1Char('0')));
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            markInUse(file);
            return true;
        }
        if (!QFileInfo(file.fileName()).isSymLink() && !QFileInfo::exists(file.fileName()))
            break;
    }
    const QString reason = file.errorString();
    file.setFileName(QString());
    return fail(reason);
}

bool SafeFile::openDevice()
{
    direct = true;
    file.setFileName(finalPath);
    if (file.open(QIODevice::WriteOnly))
        return true;
    return fail(file.errorString());
}

bool SafeFile::write(const QByteArray& bytes)
{
    if (!file.isOpen())
        return fail(QStringLiteral("it is not open"));
    if (file.write(bytes) != bytes.size())
        return fail(file.errorString());
    return true;
}

bool SafeFile::commit()
{
    if (!file.isOpen())
        return fail(QStringLiteral("it is not open"));
    const QString temporary = file.fileName();
    if (direct) {
        file.close();
        return file.error() == QFileDevice::NoError && !failed ? true : fail(file.errorString());
    }
    if (failed || file.error() != QFileDevice::NoError || !file.flush() || !syncToDisk(file)) {
        fail(file.error() != QFileDevice::NoError ? file.errorString() : systemReason());
        cancel();
        return false;
    }
    file.close();
    if (file.error() != QFileDevice::NoError) {
        fail(file.errorString());
        QFile::remove(temporary);
        return false;
    }
    QString reason;
    const bool placed = rule == AtFinalName::Keep ? placeFile(temporary, finalPath, &taken, &reason)
                                                  : replaceFile(temporary, finalPath, &reason);
    if (!placed) {
        QFile::remove(temporary);
        return fail(reason);
    }
    return true;
}

void SafeFile::cancel()
{
    if (!file.isOpen())
        return;
    file.close();
    if (!direct)
        QFile::remove(file.fileName());
}

bool writeFileSafely(const QString& path, const QByteArray& bytes, QString* error,
                     SafeFile::AtFinalName rule)
{
    SafeFile file(path, rule);
    const bool written = file.open() && file.write(bytes) && file.commit();
    if (!written && error)
        *error = file.errorText();
    return written;
}

bool createAfresh(QFile& file, QString* reason)
{
    const QByteArray name = native(file.fileName());
    if (::unlink(name.constData()) != 0 && errno != ENOENT) {
        if (reason)
            *reason = systemReason();
        return false;
    }
    if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered))
        return true;
    if (reason)
        *reason = file.errorString();
    return false;
}

bool replaceFile(const QString& from, const QString& to, QString* reason)
{
    if (std::rename(native(from).constData(), native(to).constData()) != 0) {
        if (reason)
            *reason = systemReason();
        return false;
    }
    syncFolder(to);
    return true;
}

// renameat2 refuses a taken name in one step where the file system knows it; others (network
// and some card file systems) get a hard link, and the last resort looks before it renames.
bool placeFile(const QString& from, const QString& to, bool* taken, QString* reason)
{
    *taken = false;
    const QByteArray source = native(from);
    const QByteArray target = native(to);
    int result =
        ::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE);
    if (result != 0 && (errno == EINVAL || errno == ENOSYS)) {
        result = ::link(source.constData(), target.constData());
        if (result == 0)
            ::unlink(source.constData());
        else if (errno == EPERM || errno == EOPNOTSUPP)
            result = isTaken(to) ? (errno = EEXIST, -1)
                                 : std::rename(source.constData(), target.constData());
    }
    if (result != 0) {
        *taken = errno == EEXIST;
        if (reason)
            *reason = *taken && QFileInfo(to).isSymLink()
                          ? QStringLiteral("a symbolic link has that name")
                          : systemReason();
        return false;
    }
    syncFolder(to);
    return true;
}

void markInUse(QFile& file)
{
    ::flock(file.handle(), LOCK_SH);
}

bool syncToDisk(QFile& file)
{
    return ::fsync(file.handle()) == 0;
}

bool flushStandardOutput()
{
    std::cout.flush();
    const bool flushed = std::fflush(stdout) == 0;
    return std::cout.good() && flushed && !std::ferror(stdout);
}

InUseMark::InUseMark(const QString& path)
{
    fd = ::open(native(path).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0)
        ::flock(fd, LOCK_SH);
}

InUseMark::~InUseMark()
{
    if (fd >= 0)
        ::close(fd);
}

namespace
{

// True when a process holds the file's lock; a file that cannot be opened is left alone too.
bool inUse(const QString& path)
{
    const int fd = ::open(native(path).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return true;
    const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
    ::close(fd);
    return held;
}

} // namespace

QStringList removeLeftovers(const QString& folder, const QRegularExpression& ours,
                            const QDateTime& before)
{
    QStringList removed;
    QDirIterator entries(folder, QDir::Files | QDir::Hidden | QDir::System);
    while (entries.hasNext()) {
        entries.next();
        const QFileInfo info = entries.fileInfo();
        if (!info.isFile() || info.isSymLink() || !ours.match(info.fileName()).hasMatch() ||
            info.lastModified() >= before || inUse(info.filePath()))
            continue;
        if (QFile::remove(info.filePath()))
            removed << info.fileName();
    }
    return removed;
}

QRegularExpression safeFileTemporaries()
{
    return QRegularExpression(QStringLiteral("\\A\\..+\\.orvane-[0-9a-f]{8}\\z"));
}
