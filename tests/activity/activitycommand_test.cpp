#include "activitycommand.h"
#include "activityfolder.h"
#include "resultrecord.h"
#include "videofiles.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sstream>

using namespace activityfolder;

namespace
{

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

Outcome run(const QStringList& arguments)
{
    std::ostringstream out, err;
    Outcome r;
    r.status = activityMain(arguments, out, err);
    r.out = out.str();
    r.err = err.str();
    return r;
}

QByteArray contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// 14:00-15:00 recorded with one In at 14:10 and a crossing at 14:20; 16:00-16:30 recorded
// without events; nothing else recorded that day.
class ActivityCommand : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        d = dir.path();
        ASSERT_TRUE(
            addRecording(d, "20150612_1359", 3600,
                         row("2015-06-12_14:10:00", 1, 0) + row("2015-06-12_14:20:00", 1, 1)));
        ASSERT_TRUE(addRecording(d, "20150612_1559", 1800, ""));
    }
    QTemporaryDir dir;
    QString d;
};

} // namespace

TEST_F(ActivityCommand, PrintsOneLinePerBinTellingUnrecordedFromZero)
{
    const Outcome r = run({d});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const QStringList lines = QString::fromStdString(r.out).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 1 + 24 + 1);
    EXPECT_EQ(lines[0].simplified(), "bin start in out crossings minutes recorded");
    EXPECT_EQ(lines[1 + 14].simplified(), "2015-06-12T14:00:00 1 0 1 60.0");
    EXPECT_EQ(lines[1 + 15].simplified(), "2015-06-12T15:00:00 - - - 0.0");
    EXPECT_EQ(lines[1 + 16].simplified(), "2015-06-12T16:00:00 0 0 0 30.0");
    // Results without a record were counted the classic way.
    EXPECT_EQ(lines.last(), "counting modes: classic (2 results)");
}

// A result counted strictly beside classic ones: the modes are named, and the one bin whose
// count adds both is warned about; the figures stay as they are.
TEST_F(ActivityCommand, NamesTheModesAndWarnsOfABinMixingThem)
{
    ResultRecord record;
    record.mode = CountingMode::Strict;
    ASSERT_TRUE(addRecording(d, "20150612_1629", 600, row("2015-06-12_16:35:00", 1, 0)));
    ASSERT_TRUE(record.write(VideoFiles(d + "/video_20150612_1629_01.mp4").record()));
    const Outcome r = run({d});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("counting modes: classic (2 results), strict (1 result)"),
              std::string::npos)
        << r.out;
    // 16:00-17:00 holds the classic 16:00-16:30 and the strict 16:30-16:40.
    EXPECT_NE(r.err.find("1 bin(s) put together results of classic and strict counting"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("2015-06-12T16:00:00"), std::string::npos) << r.err;
    const QStringList lines = QString::fromStdString(r.out).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 1 + 24 + 1);
    EXPECT_EQ(lines[1 + 16].simplified(), "2015-06-12T16:00:00 1 0 0 40.0");

    // Bins of half an hour keep the modes apart.
    EXPECT_EQ(run({"--bin", "30m", d}).err, "");
}

TEST_F(ActivityCommand, WritesCsvAndColumnsFiles)
{
    const QString csv = d + "/table.csv", columns = d + "/counts.txt";
    const Outcome r = run({"--bin", "30m", "--csv", csv, "--columns", columns, d});
    ASSERT_EQ(r.status, 0) << r.err;
    const QList<QByteArray> lines = contents(csv).split('\n');
    ASSERT_EQ(lines.size(), 1 + 48 + 1);
    EXPECT_EQ(lines[0], "Start;In;Out;Crossings;MinutesRecorded");
    EXPECT_EQ(lines[1 + 28], "2015-06-12T14:00:00;1;0;1;30.0");
    EXPECT_EQ(lines[1 + 29], "2015-06-12T14:30:00;0;0;0;30.0");
    EXPECT_EQ(lines[1 + 30], "2015-06-12T15:00:00;;;;0.0");
    const QList<QByteArray> cols = contents(columns).split('\n');
    ASSERT_EQ(cols.size(), 48 + 1);
    EXPECT_EQ(cols[28], "1\t0\t1");
    EXPECT_EQ(cols[29], "0\t0\t0");
    EXPECT_EQ(cols[30], "\t\t");
}

TEST_F(ActivityCommand, ProfilePrintsEventsPerRecordedHour)
{
    ASSERT_TRUE(addRecording(d, "20150613_1359", 1800, row("2015-06-13_14:05:00", 0, 1)));
    const QString csv = d + "/profile.csv";
    const Outcome r = run({"--profile", "--csv", csv, d});
    ASSERT_EQ(r.status, 0) << r.err;
    // 14:00 was recorded for 1.5 h with 1 In, 1 Out and 1 crossing.
    EXPECT_NE(r.out.find("time of day"), std::string::npos);
    const QList<QByteArray> lines = contents(csv).split('\n');
    ASSERT_GE(lines.size(), 25);
    EXPECT_EQ(lines[1 + 14], "14:00;0.67;0.67;0.67;1.50");
    EXPECT_EQ(lines[1 + 15], "15:00;;;;0.00");
}

TEST_F(ActivityCommand, DrawsPngAndSvgPictures)
{
    const QString png = d + "/a.png", svg = d + "/a.SVG";
    ASSERT_EQ(run({"--plot", png, d}).status, 0);
    const QImage image(png);
    EXPECT_GT(image.width(), 500);
    EXPECT_GT(image.height(), 500);
    ASSERT_EQ(run({"--plot", svg, "--bin", "10m", d}).status, 0);
    EXPECT_TRUE(contents(svg).contains("<svg"));
}

TEST_F(ActivityCommand, ExitStatusesForUsageUnreadableAndUnwritable)
{
    for (const QStringList& args : {QStringList{},
                                    {"--bin", "2h", d},
                                    {"--from", "12.06.2015", d},
                                    {"--from", "2015-06-13", "--to", "2015-06-12", d},
                                    {"--plot", d + "/a.jpg", d},
                                    {"--csv"},
                                    {"--unknown", d},
                                    {"--csv", "", d}}) {
        const Outcome r = run(args);
        EXPECT_EQ(r.status, 64) << args.join(' ').toStdString();
        EXPECT_NE(r.err.find("Usage:"), std::string::npos);
    }
    EXPECT_EQ(run({"--help"}).status, 0);

    const Outcome missing = run({d, d + "/nonexistent"});
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("nonexistent: not a folder"), std::string::npos);
    EXPECT_NE(missing.out.find("2015-06-12T14:00:00"), std::string::npos); // the rest still shown

    ASSERT_TRUE(writeResults(d, "video_20150612_1800_01", row("2015-06-12_18:01:00", 1, 0)));
    EXPECT_EQ(run({d}).status, 2); // its video is missing: recording time unknown

    const QString unwritable = d + "/no/such/folder/table.csv";
    EXPECT_EQ(run({"--csv", unwritable, d}).status, 1);
    EXPECT_FALSE(QFile::exists(unwritable));
}

// An output that cannot take what is written is a failure naming it, never exit 0; a link at an
// output's name is replaced, not written through.
TEST_F(ActivityCommand, ShortWritesFailAndLinksAreNotFollowed)
{
    if (QFile::exists("/dev/full")) {
        for (const char* option : {"--csv", "--columns"}) {
            const Outcome r = run({option, "/dev/full", d});
            EXPECT_EQ(r.status, 1) << option;
            EXPECT_NE(r.err.find("/dev/full"), std::string::npos) << r.err;
        }
    }
    std::ostringstream closed, err;
    closed.setstate(std::ios::badbit); // as standard output on a full disk
    EXPECT_EQ(activityMain({d}, closed, err), 1);
    EXPECT_NE(err.str().find("standard output"), std::string::npos) << err.str();

    QTemporaryDir elsewhere;
    const QString victim = elsewhere.filePath("victim.txt");
    QFile precious(victim);
    ASSERT_TRUE(precious.open(QIODevice::WriteOnly) && precious.write("precious") == 8);
    precious.close();
    ASSERT_TRUE(QFile::link(victim, d + "/counts.txt"));
    ASSERT_EQ(run({"--columns", d + "/counts.txt", d}).status, 0);
    EXPECT_EQ(contents(victim), "precious");
    EXPECT_FALSE(QFileInfo(d + "/counts.txt").isSymLink());
}

// More bins than the picture has columns: the plot is refused with a bin that fits, the table
// is printed all the same.
TEST_F(ActivityCommand, PlotOfTooManyBinsIsRefusedAndTheTableStays)
{
    const QString png = d + "/month.png";
    const Outcome r =
        run({"--plot", png, "--bin", "10m", "--from", "2015-06-01", "--to", "2015-06-30", d});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("--bin 1h"), std::string::npos) << r.err;
    EXPECT_FALSE(QFile::exists(png));
    // The header, a line per bin, and the line naming the counting modes.
    EXPECT_EQ(QString::fromStdString(r.out).count('\n'), 1 + 30 * 144 + 1);
}

TEST_F(ActivityCommand, DateRangeKeepsOnlyItsDays)
{
    ASSERT_TRUE(addRecording(d, "20150614_0959", 600, row("2015-06-14_10:01:00", 1, 0)));
    const Outcome all = run({"--bin", "1d", d});
    EXPECT_EQ(QString::fromStdString(all.out).count('\n'), 1 + 3 + 1); // and the modes
    const Outcome one = run({"--bin", "1d", "--from", "2015-06-14", "--to", "2015-06-14", d});
    const QStringList lines = QString::fromStdString(one.out).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[1].simplified(), "2015-06-14T00:00:00 1 0 0 10.0");
}

int main(int argc, char** argv)
{
    QApplication app(argc, argv); // the pictures are drawn with the widget toolkit
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
