#include "resultlist.h"

bool ResultList::add(const Result& event)
{
    if (isFull())
        return false;
    entries.append(event);
    return true;
}

bool ResultList::addFrameEvents(const std::vector<Result>& events)
{
    if (events.empty() || entries.size() >= Capacity - 1)
        return false;
    for (const Result& event : events)
        entries.append(event);
    return true;
}
