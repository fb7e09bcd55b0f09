#include "importlisting.h"
#include "importtestsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace
{

QStringList names(const QStringList& paths)
{
    QStringList result;
    for (const QString& path : paths)
        result.append(QFileInfo(path).fileName());
    result.sort();
    return result;
}

// Recordings in any letter case are offered; links, hidden files, folders and special files are
// neither offered nor counted among the others.
TEST(ImportListing, OffersRecordingsAndNamesTheOtherFiles)
{
    QTemporaryDir card;
    ASSERT_TRUE(card.isValid());
    for (const char* name : {"a.mp4", "B.AVI", "c.h264", "notes.txt", ".hidden.mp4", "d.mp4.bak"})
        ASSERT_TRUE(writeFile(card.filePath(name), "x"));
    ASSERT_TRUE(QFile::link(card.filePath("a.mp4"), card.filePath("link.mp4")));
    ASSERT_TRUE(QDir(card.path()).mkdir("folder.mp4"));

    EXPECT_EQ(names(ImportListing::recordings(card.path())),
              (QStringList{"B.AVI", "a.mp4", "c.h264"}));
    EXPECT_EQ(names(ImportListing::others(card.path())), (QStringList{"d.mp4.bak", "notes.txt"}));
    EXPECT_EQ(names(ImportListing::others(card.path() + "/")),
              (QStringList{"d.mp4.bak", "notes.txt"}));
    EXPECT_TRUE(ImportListing::recordings(QString()).isEmpty());
    EXPECT_TRUE(ImportListing::others(QString()).isEmpty());
}

} // namespace
