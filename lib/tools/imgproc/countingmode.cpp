#include "countingmode.h"

QString countingModeName(CountingMode mode)
{
    return mode == CountingMode::Strict ? QStringLiteral("strict") : QStringLiteral("classic");
}

bool countingModeFromName(const QString& name, CountingMode& mode)
{
    for (CountingMode m : {CountingMode::Classic, CountingMode::Strict})
        if (name == countingModeName(m)) {
            mode = m;
            return true;
        }
    return false;
}
