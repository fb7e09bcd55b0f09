#pragma once

#include <chrono>

// When a run refreshes what the window shows. Frames are analysed far faster than a screen can
// show them, so the picture, its overlay, the result table and the progress are refreshed about
// RefreshesPerSecond times a second, never more often; the frames between are analysed unseen.
//
//   DisplayPacing pacing;
//   pacing.restart();                  // a video starts: its first frame is shown
//   for (each analysed frame)
//       if (pacing.due()) refresh the display with this frame;
class DisplayPacing
{
public:
    using Clock = std::chrono::steady_clock;
    static constexpr int RefreshesPerSecond = 30;
    static constexpr Clock::duration Interval =
        std::chrono::duration_cast<Clock::duration>(std::chrono::seconds(1)) / RefreshesPerSecond;

    // The next due() is true whenever it comes.
    void restart() { shown = false; }
    // True when a refresh is due at `now`, which then counts as the last refresh.
    bool due(Clock::time_point now = Clock::now());

private:
    Clock::time_point lastRefresh;
    bool shown = false;
};
