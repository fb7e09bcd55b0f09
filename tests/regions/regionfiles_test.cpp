#include "areacontour.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>

namespace
{

using Points = std::vector<cv::Point>;

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void writeAll(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(path.left(path.lastIndexOf(QLatin1Char('/'))));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

class RegionFiles : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        folder = dir.path() + QStringLiteral("/piège à insectes");
        ASSERT_TRUE(QDir().mkpath(folder));
        video = folder + QStringLiteral("/clip.2015.mp4");
    }
    QString exportFile(const char* suffix) const
    {
        return folder + QStringLiteral("/exportCSV/clip.2015") + QLatin1String(suffix);
    }

    QTemporaryDir dir;
    QString folder;
    QString video;
};

} // namespace

TEST_F(RegionFiles, SaveWritesOneEndedLinePerVertexUnderTheBaseName)
{
    AreaContour regions;
    regions.area = {{10, 20}, {200, 20}, {200, 150}, {10, 20}};
    regions.mask = {{-3, 7}, {0, -12}};
    ASSERT_TRUE(regions.save_area(video));
    ASSERT_TRUE(regions.save_mask(video));
    EXPECT_EQ(readAll(exportFile("_area.adv")), QByteArray("10,20\n200,20\n200,150\n10,20\n"));
    EXPECT_EQ(readAll(exportFile("_mask.adv")), QByteArray("-3,7\n0,-12\n"));

    AreaContour loaded;
    loaded.area = {{1, 1}};
    ASSERT_TRUE(loaded.load_area(video));
    ASSERT_TRUE(loaded.load_mask(video));
    EXPECT_EQ(loaded.area, regions.area);
    EXPECT_EQ(loaded.mask, regions.mask);
}

TEST_F(RegionFiles, EmptyPolygonIsAnEmptyFileThatExists)
{
    AreaContour regions;
    ASSERT_TRUE(regions.save_area(video));
    EXPECT_TRUE(QFile::exists(exportFile("_area.adv")));
    EXPECT_EQ(readAll(exportFile("_area.adv")), QByteArray());
    regions.area = {{5, 5}};
    ASSERT_TRUE(regions.load_area(video));
    EXPECT_TRUE(regions.area.empty());
}

TEST_F(RegionFiles, CrLfAndLfFilesLoadAlike)
{
    writeAll(exportFile("_area.adv"), "10,20\r\n200,20\r\n200,150\r\n");
    writeAll(exportFile("_mask.adv"), "10,20\n200,20\n200,150"); // last line unended
    AreaContour regions;
    regions.load_area(video);
    regions.load_mask(video);
    EXPECT_EQ(regions.area, (Points{{10, 20}, {200, 20}, {200, 150}}));
    EXPECT_EQ(regions.mask, regions.area);
}

struct LineCase {
    const char* name;
    const char* text;
    Points expected;
    bool warned; // a coordinate that is not a whole number is read as 0 and told
};

class RegionFileLine : public RegionFiles, public ::testing::WithParamInterface<LineCase>
{
};

TEST_P(RegionFileLine, ReadsAsDecided)
{
    writeAll(exportFile("_mask.adv"), QByteArray("1,1\n") + GetParam().text + "\n2,2\n");
    AreaContour regions;
    EXPECT_TRUE(regions.load_mask(video));
    Points expected{{1, 1}};
    expected.insert(expected.end(), GetParam().expected.begin(), GetParam().expected.end());
    expected.push_back({2, 2});
    EXPECT_EQ(regions.mask, expected);
    if (GetParam().warned)
        EXPECT_EQ(regions.load_problem(),
                  QStringLiteral("the region file %1 has 1 line(s) whose coordinates are not whole "
                                 "numbers, read as 0")
                      .arg(exportFile("_mask.adv")));
    else
        EXPECT_EQ(regions.load_problem(), QString());
}

const int far = AreaContour::coordinateLimit;

INSTANTIATE_TEST_SUITE_P(
    Malformed, RegionFileLine,
    ::testing::Values(
        LineCase{"NonNumericY", "12,abc", {{12, 0}}, true},
        LineCase{"ThirdFieldIgnored", "7,8,9", {{7, 8}}, false},
        LineCase{"EmptyX", ",5", {{0, 5}}, true}, LineCase{"Blanks", " 3 , 4 ", {{3, 4}}, false},
        LineCase{"NotANumber", "nan,-nan", {{0, 0}}, true},
        LineCase{"Infinite", "inf,-inf", {{0, 0}}, true},
        LineCase{"Fraction", "1.5,2", {{0, 2}}, true},
        LineCase{"ClampedToTheLimit", "99999999999,-70000", {{far, -far}}, false},
        LineCase{"IntLimitsClamped", "-2147483648,2147483647", {{-far, far}}, false},
        LineCase{"BeyondSixtyFourBits", "-123456789012345678901234,+5", {{-far, 5}}, false},
        LineCase{"EmptyLineSkipped", "", {}, false}, LineCase{"OneFieldSkipped", "42", {}, false},
        LineCase{"TextSkipped", "garbage", {}, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RegionFiles, LoadingWithoutFilesEmptiesBothAndCreatesTheFolder)
{
    AreaContour regions;
    regions.area = {{1, 1}};
    regions.mask = {{2, 2}};
    EXPECT_TRUE(regions.load_area(video));
    EXPECT_TRUE(regions.load_mask(video));
    EXPECT_TRUE(regions.area.empty());
    EXPECT_TRUE(regions.mask.empty());
    EXPECT_TRUE(QDir(folder + QStringLiteral("/exportCSV")).exists());
}

TEST_F(RegionFiles, SavingAShiftStoresThePreviewsInFilesAndMemory)
{
    AreaContour regions;
    regions.area = {{10, 10}, {20, 10}};
    regions.mask = {{30, 30}, {40, 30}};
    regions.shift({5, 5}, 100, 100);
    regions.set_state(AreaContour::ShiftPreview);
    ASSERT_TRUE(regions.save_mask(video));
    ASSERT_TRUE(regions.save_area(video));
    EXPECT_EQ(regions.area, (Points{{5, 5}, {15, 5}}));
    EXPECT_EQ(regions.mask, (Points{{25, 25}, {35, 25}}));
    EXPECT_EQ(readAll(exportFile("_area.adv")), QByteArray("5,5\n15,5\n"));
    EXPECT_EQ(readAll(exportFile("_mask.adv")), QByteArray("25,25\n35,25\n"));
}

TEST_F(RegionFiles, UnwritableFolderFailsAndKeepsThePolygon)
{
    writeAll(folder + QStringLiteral("/exportCSV"), "a file where the folder should be");
    AreaContour regions;
    regions.area = {{1, 2}, {3, 4}};
    EXPECT_FALSE(regions.save_area(video));
    EXPECT_EQ(regions.area, (Points{{1, 2}, {3, 4}}));
    EXPECT_TRUE(regions.load_area(video)); // nothing to read is an empty polygon
    EXPECT_TRUE(regions.area.empty());
}

TEST_F(RegionFiles, AFolderInPlaceOfTheFileCannotBeReadAndLeavesThePolygonEmpty)
{
    ASSERT_TRUE(QDir().mkpath(exportFile("_area.adv")));
    AreaContour regions;
    regions.area = {{1, 2}};
    EXPECT_FALSE(regions.load_area(video));
    EXPECT_TRUE(regions.area.empty());
}

TEST_F(RegionFiles, NotWholeNumbersAreToldOncePerFileWithTheirCount)
{
    writeAll(exportFile("_area.adv"), "nan,1\n2,inf\n3,3\n1e3,4\n");
    AreaContour regions;
    EXPECT_TRUE(regions.load_area(video));
    EXPECT_EQ(regions.area, (Points{{0, 1}, {2, 0}, {3, 3}, {0, 4}}));
    EXPECT_TRUE(regions.load_problem().contains(exportFile("_area.adv")));
    EXPECT_TRUE(regions.load_problem().contains(QStringLiteral(" 3 line(s) ")));
    EXPECT_TRUE(regions.load_mask(video)); // the next load starts afresh
    EXPECT_EQ(regions.load_problem(), QString());
}

// Such a file is read as it is (classic counting keeps its rule for stored files), with a
// warning naming it; a mask on the edge is no matter.
TEST_F(RegionFiles, ACountingVertexWithACoordinateOfZeroIsReadWithAWarning)
{
    writeAll(exportFile("_area.adv"), "0,120\n319,120\n");
    writeAll(exportFile("_mask.adv"), "0,0\n319,0\n319,239\n0,239\n");
    AreaContour regions;
    EXPECT_TRUE(regions.load_area(video));
    EXPECT_EQ(regions.area, (Points{{0, 120}, {319, 120}}));
    EXPECT_TRUE(regions.load_problem().contains(exportFile("_area.adv")));
    EXPECT_TRUE(regions.load_problem().contains("coordinate of 0"));
    EXPECT_TRUE(regions.load_mask(video));
    EXPECT_EQ(regions.load_problem(), QString());
}

class OversizedRegionFile : public RegionFiles, public ::testing::WithParamInterface<int>
{
};

// Refused by counting lines, long before any filling could stall.
TEST_P(OversizedRegionFile, IsRefusedNamingFileAndCount)
{
    const int vertices = GetParam();
    QByteArray text;
    for (int i = 0; i < vertices; ++i)
        text += QByteArray::number(i % 640) + ',' + QByteArray::number((i * 7) % 480) + '\n';
    writeAll(exportFile("_area.adv"), text);
    AreaContour regions;
    regions.area = {{1, 2}};
    EXPECT_FALSE(regions.load_area(video));
    EXPECT_TRUE(regions.area.empty());
    EXPECT_EQ(regions.load_problem(),
              QStringLiteral("the region file %1 has %2 vertices, more than the 10000 a region may "
                             "have")
                  .arg(exportFile("_area.adv"))
                  .arg(vertices));
}

INSTANTIATE_TEST_SUITE_P(Sizes, OversizedRegionFile, ::testing::Values(10001, 30000));

TEST_F(RegionFiles, TheLargestRegionFileIsRead)
{
    QByteArray text;
    for (int i = 0; i < AreaContour::maxFileVertices; ++i)
        text += QByteArray::number(i % 640) + ",1\n";
    writeAll(exportFile("_mask.adv"), text);
    AreaContour regions;
    EXPECT_TRUE(regions.load_mask(video));
    EXPECT_EQ(regions.mask.size(), std::size_t(AreaContour::maxFileVertices));
}

TEST_F(RegionFiles, AHugeFileIsRefusedUnread)
{
    writeAll(exportFile("_area.adv"), QByteArray(2 << 20, ' '));
    AreaContour regions;
    EXPECT_FALSE(regions.load_area(video));
    EXPECT_TRUE(regions.load_problem().contains(QStringLiteral("is too large")));
}

// A FIFO would block the reader until a writer comes, which may be never.
TEST_F(RegionFiles, AFifoIsRefusedWithoutBlocking)
{
    ASSERT_TRUE(QDir().mkpath(folder + QStringLiteral("/exportCSV")));
    const QByteArray fifo = QFile::encodeName(exportFile("_mask.adv"));
    ASSERT_EQ(mkfifo(fifo.constData(), 0600), 0);
    AreaContour regions;
    regions.mask = {{1, 2}};
    EXPECT_FALSE(regions.load_mask(video));
    EXPECT_TRUE(regions.mask.empty());
    EXPECT_EQ(
        regions.load_problem(),
        QStringLiteral("the region file %1 is not a regular file").arg(exportFile("_mask.adv")));
}
