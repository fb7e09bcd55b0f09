#include "countingmode.h"

#include <algorithm>
#include <cmath>

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

CountingRules CountingRules::of(CountingMode mode)
{
    CountingRules r;
    r.countingMode = mode;
    const bool strict = mode == CountingMode::Strict;
    r.ref = strict ? MvtDetector::Reference::Background : MvtDetector::Reference::PreviousFrame;
    r.insideArea = strict;
    r.luma = strict;
    r.prediction = strict;
    r.crowds = strict;
    r.restarts = strict;
    r.followsInsects = strict;
    return r;
}

BlobMorphology CountingRules::morphology() const
{
    return ref == MvtDetector::Reference::Background ? BlobMorphology::forBackground()
                                                     : BlobMorphology::forFrameDifference();
}

int CountingRules::keptUnseenFrames(double fps) const
{
    return countingMode == CountingMode::Strict ? framesIn(strictKeptUnseenSeconds, fps, 2)
                                                : classicKeptUnseenFrames;
}

double frameRateOr(double fps)
{
    return fps > 0 && std::isfinite(fps) ? fps : usualFrameRate;
}

int framesIn(double seconds, double fps, int atLeast)
{
    const double rate = frameRateOr(fps);
    // Rates above a few thousand frames a second are no camera's; the cap keeps the product an int.
    constexpr double fastestRate = 10000;
    return std::max(atLeast, static_cast<int>(std::lround(seconds * std::min(rate, fastestRate))));
}
