#include "runlock.h"

#include "exportpath.h"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QSet>

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
        return true;
    }
    if (lock->error() != QLockFile::LockFailedError)
        return true; // no permission to write there: its videos fail on their own
    qint64 pid = 0;
    QString host, program;
    lock->getLockInfo(&pid, &host, &program);
    refusalText = QStringLiteral("another analysis run (%1, process %2%3) is working in %4")
                      .arg(program.isEmpty() ? QStringLiteral("unknown program") : program)
                      .arg(pid)
                      .arg(host.isEmpty() ? QString() : QStringLiteral(" on ") + host)
                      .arg(folder);
    return false;
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
