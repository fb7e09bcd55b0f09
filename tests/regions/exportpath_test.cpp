#include "exportpath.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

struct ExportPathCase {
    const char* video;
    const char* suffix;
    const char* expected;
};

class ExportPathRule : public ::testing::TestWithParam<ExportPathCase>
{
};

TEST_P(ExportPathRule, PlacesFileInExportFolderUnderBaseName)
{
    const ExportPathCase& c = GetParam();
    EXPECT_EQ(ExportPath::file(QString::fromUtf8(c.video), QString::fromUtf8(c.suffix)),
              QString::fromUtf8(c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Names, ExportPathRule,
    ::testing::Values(
        ExportPathCase{"D:/trap/rec_0612.mp4", ".csv", "D:/trap/exportCSV/rec_0612.csv"},
        ExportPathCase{"/v/clip.2015.mp4", "_area.adv", "/v/exportCSV/clip.2015_area.adv"},
        ExportPathCase{"/v/a.b.mp4", "_mask.adv", "/v/exportCSV/a.b_mask.adv"},
#ifdef Q_OS_WIN
        ExportPathCase{"C:\\rec\\x.MP4", "_vorl.jpg", "C:\\rec\\exportCSV/x_vorl.jpg"},
#else
        // Elsewhere a backslash is part of the file name.
        ExportPathCase{"/rec/trap\\1.mp4", ".csv", "/rec/exportCSV/trap\\1.csv"},
#endif
        ExportPathCase{"/v/noext", ".csv", "/v/exportCSV/noext.csv"},
        ExportPathCase{"/v/dir.d/clip", ".csv", "/v/dir.d/exportCSV/clip.csv"},
        ExportPathCase{"/v/été 2015/vidéo 1.mp4", ".csv", "/v/été 2015/exportCSV/vidéo 1.csv"},
        ExportPathCase{"clip.mp4", ".csv", "exportCSV/clip.csv"}));

TEST(ExportPath, EnsureFolderCreatesMissingFolder)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString video = dir.path() + QStringLiteral("/sub dir/v.mp4");
    EXPECT_TRUE(ExportPath::ensureFolder(video));
    EXPECT_TRUE(QDir(dir.path() + QStringLiteral("/sub dir/exportCSV")).exists());
    EXPECT_TRUE(ExportPath::ensureFolder(video)); // already there
}
