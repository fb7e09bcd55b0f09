#include "displaypacing.h"

// Measured from the last refresh, not from a fixed grid: a slow frame does not cause a burst
// of refreshes to catch up.
bool DisplayPacing::due(Clock::time_point now)
{
    if (shown && now - lastRefresh < Interval)
        return false;
    shown = true;
    lastRefresh = now;
    return true;
}
