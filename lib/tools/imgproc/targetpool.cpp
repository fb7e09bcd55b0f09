#include "targetpool.h"

namespace
{
TargetPool* thePool = nullptr;
}

TargetPool::TargetPool(int n)
{
    resize(n);
}

TargetPool* TargetPool::instance()
{
    if (!thePool)
        thePool = new TargetPool(10);
    return thePool;
}

void TargetPool::destroyInstance()
{
    delete thePool;
    thePool = nullptr;
}

void TargetPool::resize(int n)
{
    storage.resize(static_cast<size_t>(n));
    freeTargets.clear();
    usedTargets.clear();
    freeTargets.reserve(n);
    usedTargets.reserve(n);
    for (Target& t : storage)
        freeTargets.append(&t);
}

Target* TargetPool::acquire()
{
    if (freeTargets.isEmpty())
        return nullptr;
    Target* t = freeTargets.takeFirst();
    usedTargets.append(t);
    return t;
}

void TargetPool::release(Target* t)
{
    // A slot released twice (or never handed out) would later be handed out twice.
    if (!usedTargets.removeOne(t))
        return;
    freeTargets.append(t);
}
