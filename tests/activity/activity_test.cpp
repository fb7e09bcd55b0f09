#include "activityfolder.h"
#include "activitytable.h"
#include "folderactivity.h"
#include "videogen.h"
#include "videopropertycache.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace activityfolder;

namespace
{

qint64 at(const QString& text) // "yyyy-MM-dd hh:mm:ss"
{
    return wallClockMs(QDateTime::fromString(text, "yyyy-MM-dd hh:mm:ss"));
}

const ActivityBin* binAt(const ActivityTable& table, const QString& start)
{
    for (const ActivityBin& bin : table.bins) {
        if (bin.startMs == at(start))
            return &bin;
    }
    return nullptr;
}

ActivityTable tableOf(const FolderActivity& activity, int width, QDate from = {}, QDate to = {})
{
    ActivityTable table;
    EXPECT_EQ(binActivity(activity, width, from, to, table), QString());
    return table;
}

FolderActivity eventsAt(const QStringList& times, EventKind kind = EventKind::In)
{
    FolderActivity a;
    for (const QString& t : times)
        a.events.append({at(t), kind});
    return a;
}

} // namespace

TEST(ActivityBins, EventsFallIntoTheBinThatStartsAtOrBeforeThem)
{
    const FolderActivity a = eventsAt({"2015-06-12 13:59:59", "2015-06-12 14:00:00",
                                       "2015-06-12 14:59:59", "2015-06-12 15:00:00"});
    const ActivityTable hourly = tableOf(a, BinWidth::hour);
    ASSERT_EQ(hourly.bins.size(), 24); // whole days
    EXPECT_EQ(binAt(hourly, "2015-06-12 13:00:00")->in, 1);
    EXPECT_EQ(binAt(hourly, "2015-06-12 14:00:00")->in, 2);
    EXPECT_EQ(binAt(hourly, "2015-06-12 15:00:00")->in, 1);

    const ActivityTable quarters = tableOf(a, BinWidth::quarterHour);
    ASSERT_EQ(quarters.bins.size(), 96);
    EXPECT_EQ(binAt(quarters, "2015-06-12 14:45:00")->in, 1);
    EXPECT_EQ(binAt(quarters, "2015-06-12 14:00:00")->in, 1);
}

TEST(ActivityBins, MidnightAndMonthEndStartNewDays)
{
    const FolderActivity a = eventsAt({"2015-06-30 23:59:59", "2015-07-01 00:00:00",
                                       "2015-07-01 00:09:59", "2015-07-01 00:10:00"});
    const ActivityTable tens = tableOf(a, BinWidth::tenMinutes);
    ASSERT_EQ(tens.days(), 2);
    EXPECT_EQ(tens.firstDay(), QDate(2015, 6, 30));
    EXPECT_EQ(binAt(tens, "2015-06-30 23:50:00")->in, 1);
    EXPECT_EQ(binAt(tens, "2015-07-01 00:00:00")->in, 2);
    EXPECT_EQ(binAt(tens, "2015-07-01 00:10:00")->in, 1);

    const ActivityTable days = tableOf(a, BinWidth::day);
    ASSERT_EQ(days.bins.size(), 2);
    EXPECT_EQ(days.bins[0].in, 1);
    EXPECT_EQ(days.bins[1].in, 3);
}

TEST(ActivityBins, RecordedBinWithoutEventsIsZeroAndUncoveredBinIsUnrecorded)
{
    FolderActivity a;
    a.spans.append({at("2015-06-12 10:00:00"), at("2015-06-12 11:00:00")});
    const ActivityTable t = tableOf(a, BinWidth::hour);
    const ActivityBin* recorded = binAt(t, "2015-06-12 10:00:00");
    EXPECT_TRUE(recorded->recorded());
    EXPECT_EQ(recorded->events(), 0);
    EXPECT_DOUBLE_EQ(recorded->recordedMinutes(), 60);
    EXPECT_FALSE(binAt(t, "2015-06-12 11:00:00")->recorded());
    EXPECT_FALSE(binAt(t, "2015-06-12 09:00:00")->recorded());
}

TEST(ActivityBins, OverlappingVideosCountTheirCommonMinutesOnceAndGapsNotAtAll)
{
    FolderActivity a;
    a.spans.append({at("2015-06-12 10:10:00"), at("2015-06-12 10:40:00")});
    a.spans.append({at("2015-06-12 10:30:00"), at("2015-06-12 10:50:00")}); // overlaps
    a.spans.append({at("2015-06-12 10:55:00"), at("2015-06-12 11:20:00")}); // after a gap
    a.spans.append({at("2015-06-12 10:15:00"), at("2015-06-12 10:20:00")}); // inside the first
    const ActivityTable t = tableOf(a, BinWidth::hour);
    EXPECT_DOUBLE_EQ(binAt(t, "2015-06-12 10:00:00")->recordedMinutes(), 40 + 5);
    EXPECT_DOUBLE_EQ(binAt(t, "2015-06-12 11:00:00")->recordedMinutes(), 20);
    const ActivityTable tens = tableOf(a, BinWidth::tenMinutes);
    EXPECT_DOUBLE_EQ(binAt(tens, "2015-06-12 10:50:00")->recordedMinutes(), 5);
}

TEST(ActivityBins, DateRangeKeepsWholeDaysAndRefusesReversedOrHugeRanges)
{
    const FolderActivity a =
        eventsAt({"2015-06-11 12:00:00", "2015-06-12 12:00:00", "2015-06-13 12:00:00"});
    const ActivityTable t = tableOf(a, BinWidth::day, QDate(2015, 6, 12), QDate(2015, 6, 12));
    ASSERT_EQ(t.bins.size(), 1);
    EXPECT_EQ(t.bins[0].in, 1);
    EXPECT_TRUE(tableOf(a, BinWidth::day, QDate(2016, 1, 1)).bins.isEmpty());

    ActivityTable out;
    EXPECT_FALSE(
        binActivity(a, BinWidth::day, QDate(2015, 6, 13), QDate(2015, 6, 12), out).isEmpty());
    EXPECT_FALSE(binActivity(eventsAt({"1900-01-01 00:00:00", "2100-01-01 00:00:00"}),
                             BinWidth::tenMinutes, {}, {}, out)
                     .isEmpty());
    EXPECT_TRUE(out.bins.isEmpty());
    EXPECT_FALSE(binActivity(a, 7 * 3600, {}, {}, out).isEmpty());
}

TEST(ActivityProfile, MeanPerRecordedHourIgnoresUnrecordedDays)
{
    // Day 1: 10:00-11:00 recorded, 6 events. Day 2: 10:00-10:30 recorded, 6 events.
    // Day 3: nothing recorded at 10:00. Per recorded hour: 12 events / 1.5 h = 8.
    FolderActivity a =
        eventsAt({"2015-06-12 10:01:00", "2015-06-12 10:02:00", "2015-06-12 10:03:00",
                  "2015-06-12 10:04:00", "2015-06-12 10:05:00", "2015-06-12 10:06:00"});
    for (int i = 0; i < 6; ++i)
        a.events.append({at("2015-06-13 10:10:00"), EventKind::Out});
    a.spans.append({at("2015-06-12 10:00:00"), at("2015-06-12 11:00:00")});
    a.spans.append({at("2015-06-13 10:00:00"), at("2015-06-13 10:30:00")});
    a.spans.append({at("2015-06-14 15:00:00"), at("2015-06-14 16:00:00")});
    const QVector<ProfileSlot> profile = dailyProfile(tableOf(a, BinWidth::hour));
    ASSERT_EQ(profile.size(), 24);
    const ProfileSlot& ten = profile[10];
    EXPECT_EQ(ten.secondOfDay, 10 * 3600);
    EXPECT_DOUBLE_EQ(ten.hoursRecorded(), 1.5);
    EXPECT_DOUBLE_EQ(ten.perHour(ten.in), 4);
    EXPECT_DOUBLE_EQ(ten.perHour(ten.out), 4);
    EXPECT_DOUBLE_EQ(ten.perHour(ten.in + ten.out), 8);
    EXPECT_DOUBLE_EQ(profile[15].perHour(profile[15].in), 0);
    EXPECT_TRUE(profile[15].recorded());
    EXPECT_FALSE(profile[3].recorded());
}

TEST(ActivityReading, EventsSpansAndEveryKindOfBadFileAreCounted)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString d = dir.path();
    // One hour recorded from 14:30.
    ASSERT_TRUE(addRecording(
        d, "20150612_1429", 3600,
        row("2015-06-12_14:31:00", 1, 0) + row("2015-06-12_14:32:00", 0, 1) +
            row("2015-06-12_15:10:00", 1, 1) + "1;2;3\n" + row("2015-06-12_25:10:00", 1, 0) + "\n" +
            row("2015-06-12_15:11:00", 0, 0) + row("2015-06-12_15:12:00", 1, 0)));
    ASSERT_TRUE(addVideo(d, "trap", 25, 1000)); // no recording time in its name
    ASSERT_TRUE(writeResults(d, "trap",
                             row("2026-01-01_10:00:00", 1, 0) + row("2026-01-01_10:00:01", 0, 1)));
    ASSERT_TRUE(addVideo(d, "video_20150612_1600_01", 25, 1000));
    ASSERT_TRUE(writeText(exportDir(d) + "/video_20150612_1600_01.csv", "")); // empty
    ASSERT_TRUE(writeResults(d, "video_20150612_1700_01", row("2015-06-12_17:05:00", 1, 0)));
    ASSERT_TRUE(writeText(exportDir(d) + "/video_20150612_1800_01.csv.part",
                          "Frame;X;Y;In;Out;Timestamp\n" + row("2015-06-12_18:05:00", 1, 0)));

    const FolderActivity a = readActivity({d});
    EXPECT_EQ(a.resultFiles, 4);
    EXPECT_EQ(a.unreadableFiles, 0);
    EXPECT_EQ(a.garbageRows, 4); // short, impossible time, empty line, neither In nor Out
    EXPECT_EQ(a.untimedFiles, 1);
    EXPECT_EQ(a.untimedEvents, 2);
    EXPECT_EQ(a.unknownSpans, 1); // the 17:00 video is missing
    EXPECT_FALSE(a.complete());
    EXPECT_EQ(a.events.size(), 5);

    const ActivityTable t = tableOf(a, BinWidth::hour);
    ASSERT_EQ(t.days(), 1);
    const ActivityBin* fourteen = binAt(t, "2015-06-12 14:00:00");
    EXPECT_EQ(fourteen->in, 1);
    EXPECT_EQ(fourteen->out, 1);
    EXPECT_DOUBLE_EQ(fourteen->recordedMinutes(), 30);
    const ActivityBin* fifteen = binAt(t, "2015-06-12 15:00:00");
    EXPECT_EQ(fifteen->crossings, 1);
    EXPECT_EQ(fifteen->in, 1);
    EXPECT_DOUBLE_EQ(fifteen->recordedMinutes(), 30);
    // The empty file's video recorded (1000 - 90) / 25 s from 16:00 without events.
    EXPECT_NEAR(binAt(t, "2015-06-12 16:00:00")->recordedMinutes(), 910.0 / 25 / 60, 1e-3);
    EXPECT_EQ(binAt(t, "2015-06-12 16:00:00")->events(), 0);
    EXPECT_TRUE(binAt(t, "2015-06-12 17:00:00")->recorded());  // its event proves a recording
    EXPECT_FALSE(binAt(t, "2015-06-12 18:00:00")->recorded()); // the .part file is no result
}

TEST(ActivityReading, MissingFolderIsReportedNotFatal)
{
    const FolderActivity a = readActivity({"/nonexistent/orvane-activity"});
    EXPECT_EQ(a.unreadableFiles, 1);
    EXPECT_EQ(a.problems.size(), 1);
}

TEST(VideoPropertyCache, ProbesOnceAndAgainWhenTheVideoChanges)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    exportDir(dir.path());
    const QString video = dir.path() + "/video_20150612_1400_01.mp4";
    videogen::ClipRecipe recipe;
    recipe.size = {64, 48};
    recipe.fps = 20;
    recipe.frames = 120;
    ASSERT_TRUE(videogen::writeVideo(QFile::encodeName(video).toStdString(), recipe));
    {
        VideoPropertyCache cache(dir.path());
        const VideoFacts facts = cache.facts(video);
        EXPECT_DOUBLE_EQ(facts.fps, 20);
        EXPECT_DOUBLE_EQ(facts.frames, 120);
        EXPECT_EQ(cache.probed(), 1);
        EXPECT_TRUE(cache.save());
    }
    {
        VideoPropertyCache cache(dir.path());
        EXPECT_DOUBLE_EQ(cache.facts(video).frames, 120);
        EXPECT_EQ(cache.probed(), 0);
    }
    recipe.frames = 100;
    ASSERT_TRUE(videogen::writeVideo(QFile::encodeName(video).toStdString(), recipe));
    VideoPropertyCache cache(dir.path());
    EXPECT_DOUBLE_EQ(cache.facts(video).frames, 100);
    EXPECT_EQ(cache.probed(), 1);
    EXPECT_FALSE(cache.facts(dir.path() + "/video_20150612_1500_01.mp4").usable());
}
