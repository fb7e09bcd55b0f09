#include "areacontour.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

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
};

class RegionFileLine : public RegionFiles, public ::testing::WithParamInterface<LineCase>
{
};

TEST_P(RegionFileLine, ReadsAsDecided)
{
    writeAll(exportFile("_mask.adv"), QByteArray("1,1\n") + GetParam().text + "\n2,2\n");
    AreaContour regions;
    regions.load_mask(video);
    Points expected{{1, 1}};
    expected.insert(expected.end(), GetParam().expected.begin(), GetParam().expected.end());
    expected.push_back({2, 2});
    EXPECT_EQ(regions.mask, expected);
}

INSTANTIATE_TEST_SUITE_P(Malformed, RegionFileLine,
                         ::testing::Values(LineCase{"NonNumericY", "12,abc", {{12, 0}}},
                                           LineCase{"ThirdFieldIgnored", "7,8,9", {{7, 8}}},
                                           LineCase{"EmptyX", ",5", {{0, 5}}},
                                           LineCase{"Blanks", " 3 , 4 ", {{3, 4}}},
                                           LineCase{"Overflow", "99999999999,4", {{0, 4}}},
                                           LineCase{"EmptyLineSkipped", "", {}},
                                           LineCase{"OneFieldSkipped", "42", {}},
                                           LineCase{"TextSkipped", "garbage", {}}),
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
