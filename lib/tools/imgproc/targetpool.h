#pragma once

#include "target.h"

#include <QList>
#include <vector>

// The process-wide owner of every Target. Targets are handed out and taken back, never
// allocated during an analysis. Not thread-safe: one thread at a time uses the engine.
class TargetPool
{
public:
    static TargetPool* instance();
    static void destroyInstance();

    // Only while no target is in use: pointers into the storage are invalidated.
    void resize(int n);
    Target* acquire();
    // Ignores a target that is not handed out (already released, or not from this pool).
    void release(Target* t);

    int capacity() const { return static_cast<int>(storage.size()); }
    const QList<Target*>& freeList() const { return freeTargets; }
    const QList<Target*>& usedList() const { return usedTargets; }

private:
    explicit TargetPool(int n);

    std::vector<Target> storage;
    QList<Target*> freeTargets;
    QList<Target*> usedTargets;
};
