#include "outdoorgrid.h"
#include "scenario.h"
#include "truth.h"

#include <gtest/gtest.h>
#include <set>

// The outdoor grid measures what it claims to: every scenario has events to find, every shaken
// one is shaken while the insects are about, and the videos have the frame rate and number of
// insects their names give.
TEST(OutdoorGrid, EveryScenarioHasEventsAndShakenOnesAreShakenWhileInsectsAreAbout)
{
    const std::vector<OutdoorScenario> grid = outdoorGrid();
    std::set<std::string> keys;
    int swarms = 0, at90 = 0;
    for (const OutdoorScenario& s : grid) {
        SCOPED_TRACE(s.key());
        EXPECT_TRUE(keys.insert(s.key()).second);
        swarms += s.swarm() ? 1 : 0;
        at90 += s.fps == 90 ? 1 : 0;
        EXPECT_TRUE(s.swarm() || (s.insects >= 1 && s.insects <= 8));
        const OutdoorClip clip = outdoorClipOf(s);
        EXPECT_EQ(clip.recipe.fps, s.fps);
        EXPECT_EQ(static_cast<int>(clip.recipe.blobs.size()), s.insects);
        const std::vector<cv::Point> line = BenchGeometry::line();
        EXPECT_FALSE(
            videogen::lineEvents(clip.recipe.blobs, clip.recipe.frames, line[0], line[1]).empty());
        EXPECT_FALSE(
            videogen::areaEvents(clip.recipe.blobs, clip.recipe.frames, BenchGeometry::area())
                .empty());
        const std::vector<videogen::FrameSpan> gusts =
            videogen::OutdoorScene(clip.recipe, clip.options).gustFrames();
        const bool shaken = s.condition == Condition::Shake || s.condition == Condition::All;
        EXPECT_EQ(gusts.empty(), !shaken);
        for (const videogen::FrameSpan& g : gusts) {
            int seen = 0;
            for (int f = g.first; f <= g.second; ++f)
                for (const videogen::Blob& b : clip.recipe.blobs)
                    seen += b.visibleAt(f) ? 1 : 0;
            EXPECT_GT(seen, 0) << "a gust at " << g.first << " with no insect about";
            EXPECT_LT(g.second, clip.recipe.frames);
        }
    }
    EXPECT_EQ(swarms, 3);
    EXPECT_EQ(at90, 3);
    EXPECT_GE(grid.size(), 60u);
}

// The same scenes filmed at twice the resolution: twice the frame, regions and insects, and about
// the same crossings (paths rounded to whole pixels graze a border differently).
TEST(OutdoorGrid, AtTwiceTheResolutionTheSameScenesAreFilmedLarger)
{
    int events[2] = {0, 0};
    for (const OutdoorScenario& s : outdoorGrid()) {
        SCOPED_TRACE(s.key());
        for (int scale : {1, 2}) {
            const OutdoorClip clip = outdoorClipOf(s, 0, scale);
            EXPECT_EQ(clip.recipe.size, BenchGeometry::frame(scale));
            const std::vector<cv::Point> line = BenchGeometry::line(scale);
            events[scale - 1] += static_cast<int>(
                videogen::lineEvents(clip.recipe.blobs, clip.recipe.frames, line[0], line[1])
                    .size() +
                videogen::areaEvents(clip.recipe.blobs, clip.recipe.frames,
                                     BenchGeometry::area(scale))
                    .size());
        }
        EXPECT_NEAR(outdoorClipOf(s, 0, 2).recipe.blobs.front().radius,
                    2 * outdoorClipOf(s).recipe.blobs.front().radius, 1);
    }
    EXPECT_NEAR(events[1], events[0], 0.05 * events[0]);
}
