#include "safefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace
{

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

bool writePlain(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QStringList everything(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

class SafeFileTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid() && elsewhere.isValid()); }
    QString here(const QString& name) const { return dir.filePath(name); }

    QTemporaryDir dir;
    QTemporaryDir elsewhere;
};

// A link at the name, to a file or to nothing, is replaced by the file written; what it pointed
// to is never touched, and no temporary file stays behind.
TEST_F(SafeFileTest, LinkAtTheNameIsReplacedNeverWrittenThrough)
{
    const QString victim = elsewhere.filePath("victim.txt");
    ASSERT_TRUE(writePlain(victim, "precious"));
    ASSERT_TRUE(QFile::link(victim, here("out.txt")));
    ASSERT_TRUE(QFile::link(elsewhere.filePath("nothing.txt"), here("dangling.txt")));

    QString error;
    EXPECT_TRUE(writeFileSafely(here("out.txt"), "mine", &error)) << qPrintable(error);
    EXPECT_TRUE(writeFileSafely(here("dangling.txt"), "mine too", &error)) << qPrintable(error);

    EXPECT_EQ(contents(victim), "precious");
    EXPECT_FALSE(QFileInfo::exists(elsewhere.filePath("nothing.txt")));
    EXPECT_FALSE(QFileInfo(here("out.txt")).isSymLink());
    EXPECT_EQ(contents(here("out.txt")), "mine");
    EXPECT_EQ(contents(here("dangling.txt")), "mine too");
    EXPECT_EQ(everything(dir.path()), (QStringList{"dangling.txt", "out.txt"}));
}

// With AtFinalName::Keep anything at the name stays, a dangling link included.
TEST_F(SafeFileTest, KeepRefusesAnyNameThatIsTaken)
{
    ASSERT_TRUE(QFile::link(elsewhere.filePath("nothing.mp4"), here("a.mp4")));
    ASSERT_TRUE(writePlain(here("b.mp4"), "theirs"));
    for (const char* name : {"a.mp4", "b.mp4"}) {
        SafeFile file(here(name), SafeFile::AtFinalName::Keep);
        ASSERT_TRUE(file.open());
        ASSERT_TRUE(file.write("mine"));
        EXPECT_FALSE(file.commit()) << name;
        EXPECT_TRUE(file.finalNameTaken()) << name;
        EXPECT_TRUE(file.errorText().contains(here(name))) << qPrintable(file.errorText());
    }
    EXPECT_FALSE(QFileInfo::exists(elsewhere.filePath("nothing.mp4")));
    EXPECT_EQ(contents(here("b.mp4")), "theirs");
    EXPECT_EQ(everything(dir.path()), (QStringList{"a.mp4", "b.mp4"}));

    SafeFile fresh(here("c.mp4"), SafeFile::AtFinalName::Keep);
    EXPECT_TRUE(fresh.open() && fresh.write("mine") && fresh.commit());
    EXPECT_EQ(contents(here("c.mp4")), "mine");
}

// A device given as the output is written to, and its failure is the file's failure: a full
// disk never passes as a file written.
TEST_F(SafeFileTest, ShortWriteToADeviceFailsNamingIt)
{
    if (!QFileInfo::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full here";
    QString error;
    EXPECT_FALSE(writeFileSafely("/dev/full", QByteArray(1 << 16, 'x'), &error,
                                 SafeFile::AtFinalName::WriteToDevice));
    EXPECT_TRUE(error.contains("/dev/full")) << qPrintable(error);
    EXPECT_TRUE(writeFileSafely("/dev/null", "gone", &error, SafeFile::AtFinalName::WriteToDevice))
        << qPrintable(error);
}

// A file the run cannot create (its folder is missing) fails with the name it was meant for.
TEST_F(SafeFileTest, FailureNamesTheFinalFileNotTheTemporary)
{
    QString error;
    EXPECT_FALSE(writeFileSafely(here("missing/out.txt"), "x", &error));
    EXPECT_TRUE(error.startsWith("cannot write " + here("missing/out.txt"))) << qPrintable(error);
}

// An older leftover of ours goes; one in use by a live writer, one newer than the run, and
// files of other names stay.
TEST_F(SafeFileTest, LeftoversOfKilledRunsAreRemovedOnlyWhenOldAndNotInUse)
{
    const QString old = SafeFile::temporaryPrefix(here("a.csv")) + "0123abcd";
    const QString inUse = SafeFile::temporaryPrefix(here("b.csv")) + "89abcdef";
    const QString recent = SafeFile::temporaryPrefix(here("c.csv")) + "00000000";
    const QString notOurs = here(".a.csv.other-0123abcd");
    for (const QString& path : {old, inUse, recent, notOurs})
        ASSERT_TRUE(writePlain(path, "partial"));
    const QDateTime runStart = QDateTime::currentDateTime().addSecs(3600);
    QFile later(recent);
    ASSERT_TRUE(later.open(QIODevice::ReadWrite) &&
                later.setFileTime(runStart.addSecs(60), QFileDevice::FileModificationTime));
    later.close();
    const InUseMark mark(inUse);

    const QStringList removed = removeLeftovers(dir.path(), safeFileTemporaries(), runStart);

    EXPECT_EQ(removed, QStringList{QFileInfo(old).fileName()});
    EXPECT_FALSE(QFileInfo::exists(old));
    for (const QString& path : {inUse, recent, notOurs})
        EXPECT_TRUE(QFileInfo::exists(path)) << qPrintable(path);
}

} // namespace
