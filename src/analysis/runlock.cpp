#include "runlock.h"

#include "exportpath.h"
#include "safefile.h"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QSet>
#include <QSysInfo>
#include <csignal>

RunLock::RunLock() = default;

RunLock::~RunLock()
{
    release();
}

bool RunLock::acquire(const QStringList& videos)
{
    release();
    refusalText.clear();
    QSet<QString> seen;
    for (const QString& video : videos) {
        const QString folder = QFileInfo(ExportPath::folder(video)).absoluteFilePath();
        if (seen.contains(folder))
            continue;
        seen.insert(folder);
        if (!lockFolder(folder)) {
            release();
            return false;
        }
    }
    return true;
}

// A folder that cannot be created cannot be written to either: its videos fail on their own,
// with the reason, so the run is not refused for it.
bool RunLock::lockFolder(const QString& folder)
{
    if (!QFileInfo::exists(folder)) {
        if (!QDir().mkpath(folder))
            return true;
        createdFolders << folder;
    }
    auto lock = std::make_unique<QLockFile>(folder + QLatin1Char('/') + QLatin1String(fileName));
    // A run lasts hours: only a dead holder makes the lock stale, never its age.
    lock->setStaleLockTime(0);
    if (lock->tryLock(0)) {
        locks.push_back(std::move(lock));
        // Files of ours that a killed run was writing (kill -9, a power cut); those being written
        // now are in use and stay.
        removeLeftovers(folder, safeFileTemporaries(), QDateTime::currentDateTime());
        return true;
    }
    if (lock->error() != QLockFile::LockFailedError)
        return true; // no permission to write there: its videos fail on their own
    const QString videoFolder = QFileInfo(folder).path();
    refusalText = QStringLiteral("another analysis run (%1) is working in %2; if it is no longer "
                                 "running (killed, or its machine failed), take the folder over "
                                 "with: orvane-count --break-lock %3")
                      .arg(holder(*lock), folder, videoFolder);
    return false;
}

// E.g. "orvane-count, process 4242 on node7".
QString RunLock::holder(const QLockFile& lock)
{
    qint64 pid = 0;
    QString host, program;
    if (!lock.getLockInfo(&pid, &host, &program))
        return QStringLiteral("unknown program, unreadable lock");
    return QStringLiteral("%1, process %2 on %3")
        .arg(program.isEmpty() ? QStringLiteral("unknown program") : program)
        .arg(pid)
        .arg(host.isEmpty() ? QStringLiteral("an unknown machine") : host);
}

bool RunLock::breakLock(const QString& folder, QString& report)
{
    const QString path =
        ExportPath::folder(QDir(folder).absoluteFilePath(QStringLiteral("x.mp4"))) +
        QLatin1Char('/') + QLatin1String(fileName);
    QLockFile lock(path);
    lock.setStaleLockTime(0);
    if (!QFileInfo(path).isSymLink() && !QFileInfo::exists(path)) {
        report = QStringLiteral("no lock in %1").arg(folder);
        return false;
    }
    const QString whose = holder(lock);
    if (lock.tryLock(0)) {
        // Its run was gone from this machine: taken over and given back.
        lock.unlock();
        report =
            QStringLiteral("removed the lock of a finished run (%1) from %2").arg(whose, folder);
        return true;
    }
    if (lock.error() == QLockFile::LockFailedError && isAliveHere(lock)) {
        report = QStringLiteral("the run holding %1 (%2) is still running on this machine; not "
                                "removed")
                     .arg(folder, whose);
        return false;
    }
    if (!QFile::remove(path)) {
        report = QStringLiteral("cannot remove the lock of %1 (%2)").arg(folder, whose);
        return false;
    }
    report = QStringLiteral("removed the lock of %1 (%2)").arg(folder, whose);
    return true;
}

bool RunLock::isAliveHere(const QLockFile& lock)
{
    qint64 pid = 0;
    QString host, program;
    if (!lock.getLockInfo(&pid, &host, &program))
        return false;
    return host == QSysInfo::machineHostName() && pid > 0 && ::kill(pid_t(pid), 0) == 0;
}

void RunLock::release()
{
    for (auto& lock : locks)
        lock->unlock();
    locks.clear();
    for (const QString& folder : createdFolders)
        QDir().rmdir(folder); // only when empty
    createdFolders.clear();
}
