#pragma once

#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

class QLockFile;

// One run per folder: a run holds a lock file in the exportCSV folder of every video it may
// write to, from its start to its end, so that a second run on the same folder (from either
// front end) is refused instead of mixing its events into the first one's files. The lock of a
// run that was killed is recognised as stale by its process id and taken over.
class RunLock
{
public:
    static constexpr const char* fileName = ".orvane-run.lock";

    RunLock();
    ~RunLock();
    RunLock(const RunLock&) = delete;
    RunLock& operator=(const RunLock&) = delete;

    // Locks the exportCSV folders of `videos`, creating missing ones. False, holding nothing,
    // when another run holds one of them; refusal() then names the folder and the process.
    bool acquire(const QStringList& videos);
    // Unlocks, and removes the folders that acquire() created and nothing else filled.
    void release();
    const QString& refusal() const { return refusalText; }

    // Removes the lock of the video folder `folder` (the lock is in its exportCSV folder) after
    // describing whose it was in `report`. A lock whose run is alive on this machine is kept:
    // false, with the reason in `report`; so is a folder without a lock.
    static bool breakLock(const QString& folder, QString& report);

private:
    bool lockFolder(const QString& folder);
    static QString holder(const QLockFile& lock);
    static bool isAliveHere(const QLockFile& lock);

    std::vector<std::unique_ptr<QLockFile>> locks;
    QStringList createdFolders;
    QString refusalText;
};
