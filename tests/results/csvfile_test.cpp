#include "csvfile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace
{

struct Record {
    double frame = -1;
    int x = -1, y = -1, in = -1, out = -1;
    QString timestamp;
};

class CsvFileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        folder = dir.path() + QStringLiteral("/essai café");
        ASSERT_TRUE(QDir().mkpath(folder));
        video = folder + QStringLiteral("/rec 0612.mp4");
        csvPath = folder + QStringLiteral("/exportCSV/rec 0612.csv");
    }

    void writeRaw(const QByteArray& bytes)
    {
        QDir().mkpath(folder + QStringLiteral("/exportCSV"));
        QFile file(csvPath);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    QByteArray readRaw() const
    {
        QFile file(csvPath);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    std::vector<Record> load()
    {
        std::vector<Record> records;
        CsvFile csv;
        csv.open(video, CsvMode::Read);
        Record r;
        while (csv.readResult(r.frame, r.x, r.y, r.in, r.out, r.timestamp) == 1)
            records.push_back(r);
        csv.close();
        return records;
    }

    QTemporaryDir dir;
    QString folder;
    QString video;
    QString csvPath;
};

} // namespace

TEST_F(CsvFileTest, ClosedObjectRefusesEverything)
{
    CsvFile csv;
    Record r;
    EXPECT_EQ(csv.writeResult(1, 2, 3, 1, 0, QStringLiteral("t")), -1);
    EXPECT_EQ(csv.readResult(r.frame, r.x, r.y, r.in, r.out, r.timestamp), -1);
    EXPECT_EQ(csv.close(), -1);
    EXPECT_EQ(csv.open(video, CsvMode::Read), -1); // no result file yet
    EXPECT_EQ(csv.close(), -1);
}

TEST_F(CsvFileTest, AppendCreatesFolderAndHeaderThenAddsRecords)
{
    EXPECT_FALSE(QDir(folder + QStringLiteral("/exportCSV")).exists());
    CsvFile csv;
    ASSERT_EQ(csv.open(video, CsvMode::Append), 1);
    EXPECT_EQ(csv.writeResult(4711, 352, 198, 1, 0, QStringLiteral("2015-06-12_14:03:27")), 0);
    EXPECT_EQ(csv.close(), 1);
    CsvFile again;
    ASSERT_EQ(again.open(video, CsvMode::Append), 1);
    EXPECT_EQ(again.writeResult(1234567, 5, 6, 0, 1, QStringLiteral("2015-06-12_14:03:28")), 0);
    EXPECT_EQ(again.close(), 1);
    EXPECT_EQ(readRaw(), QByteArray("Frame;X;Y;In;Out;Timestamp\n"
                                    "4711;352;198;1;0;2015-06-12_14:03:27\n"
                                    "1234567;5;6;0;1;2015-06-12_14:03:28\n"));
}

TEST_F(CsvFileTest, LargeFramesRoundTripExactly)
{
    CsvFile csv;
    ASSERT_EQ(csv.open(video, CsvMode::Append), 1);
    for (double frame : {1000001.0, 1234567.0, 98765432101.0})
        csv.writeResult(frame, 1, 2, 1, 1, QString());
    csv.close();
    const std::vector<Record> records = load();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].frame, 1000001.0);
    EXPECT_EQ(records[1].frame, 1234567.0);
    EXPECT_EQ(records[2].frame, 98765432101.0);
    EXPECT_EQ(records[2].timestamp, QString());
}

TEST_F(CsvFileTest, AnEmptyExistingFileGetsItsHeaderBeforeTheFirstRecord)
{
    writeRaw(QByteArray());
    CsvFile csv;
    ASSERT_EQ(csv.open(video, CsvMode::Append), 1);
    csv.writeResult(7, 1, 2, 1, 1, QStringLiteral("t"));
    csv.close();
    ASSERT_EQ(load().size(), 1u);
}

TEST_F(CsvFileTest, AppendFailsWhenTheFolderCannotExist)
{
    writeRaw(QByteArray()); // makes the folder; now put a file in its place
    QDir(folder + QStringLiteral("/exportCSV")).removeRecursively();
    QFile blocker(folder + QStringLiteral("/exportCSV"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    CsvFile csv;
    EXPECT_EQ(csv.open(video, CsvMode::Append), -1);
    EXPECT_EQ(csv.writeResult(1, 1, 1, 1, 1, QString()), -1);
}

struct ReadCase {
    const char* name;
    const char* content;
    std::vector<double> frames; // one per loaded record
    int firstX;
};

class CsvRead : public CsvFileTest, public ::testing::WithParamInterface<ReadCase>
{
};

TEST_P(CsvRead, LoadsUpToTheFirstShortLine)
{
    writeRaw(GetParam().content);
    const std::vector<Record> records = load();
    std::vector<double> frames;
    for (const Record& r : records)
        frames.push_back(r.frame);
    EXPECT_EQ(frames, GetParam().frames);
    if (!records.empty()) {
        EXPECT_EQ(records.front().x, GetParam().firstX);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, CsvRead,
    ::testing::Values(ReadCase{"HeaderOnly", "Frame;X;Y;In;Out;Timestamp\n", {}, 0},
                      ReadCase{"Empty", "", {}, 0},
                      ReadCase{"EmptyLineStops",
                               "Frame;X;Y;In;Out;Timestamp\n10;5;7;1;0;2015-06-12_14:03:27\n\n"
                               "20;6;8;0;1;2015-06-12_14:03:28\n",
                               {10},
                               5},
                      ReadCase{"SevenFields", "h\n10;5;7;1;0;t;extra\n", {10}, 5},
                      ReadCase{"NonNumericX", "h\n10;abc;7;1;0;t\n", {10}, 0},
                      ReadCase{
                          "FiveFieldsStop", "h\n10;5;7;1;0;t\n11;5;7;1;0\n12;5;7;1;0;t\n", {10}, 5},
                      ReadCase{"FirstLineAlwaysDiscarded", "10;5;7;1;0;t\n11;6;7;1;0;t\n", {11}, 6},
                      ReadCase{"ExponentFrame", "h\n1.23457e+06;5;7;1;0;t\n", {1234570}, 5},
                      ReadCase{"NonFiniteFrame", "h\nnan;5;7;1;0;t\ninf;5;7;1;0;t\n", {0, 0}, 5},
                      ReadCase{"CrLf", "h\r\n10;5;7;1;0;t\r\n11;5;7;1;0;t\r\n", {10, 11}, 5}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CsvFileTest, FieldsReadBackWithTimestampUnchanged)
{
    writeRaw("h\n4711;352;198;1;0;2015-06-12_14:03:27\n");
    const std::vector<Record> records = load();
    ASSERT_EQ(records.size(), 1u);
    const Record& r = records[0];
    EXPECT_EQ(r.frame, 4711);
    EXPECT_EQ(r.y, 198);
    EXPECT_EQ(r.in, 1);
    EXPECT_EQ(r.out, 0);
    EXPECT_EQ(r.timestamp, QStringLiteral("2015-06-12_14:03:27"));
}

TEST_F(CsvFileTest, ManyRecordsAllReadable)
{
    QByteArray content("Frame;X;Y;In;Out;Timestamp\n");
    for (int i = 0; i < 2500; ++i)
        content += QByteArray::number(i) + ";1;2;1;0;t\n";
    writeRaw(content);
    const std::vector<Record> records = load();
    ASSERT_EQ(records.size(), 2500u);
    EXPECT_EQ(records.back().frame, 2499);
}

// A FIFO or a device in the result file's place is refused at once, in either mode; opening it
// would block (the window hangs when such a video is selected) or never end.
TEST_F(CsvFileTest, OnlyARegularFileIsOpened)
{
    QDir().mkpath(folder + QStringLiteral("/exportCSV"));
    ASSERT_EQ(mkfifo(QFile::encodeName(csvPath).constData(), 0600), 0);
    CsvFile csv;
    EXPECT_EQ(csv.open(video, CsvMode::Read), -1);
    EXPECT_EQ(csv.open(video, CsvMode::Append), -1);
    EXPECT_TRUE(load().empty());

    QFile::remove(csvPath);
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), csvPath));
    EXPECT_EQ(csv.open(video, CsvMode::Read), -1);
}
