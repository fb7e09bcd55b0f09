// The record beside each result, and the counting mode a folder's next run takes from them.
#include "exportpath.h"
#include "foldermode.h"
#include "resultrecord.h"
#include "videofiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace
{

bool writeFile(const QString& path, const QByteArray& bytes = QByteArray())
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

ResultRecord sampleRecord(CountingMode mode)
{
    ResultRecord r;
    r.program = QStringLiteral("orvane-count");
    r.mode = mode;
    r.area = {{160, 20}, {160, 220}};
    r.mask = {{5, 5}, {315, 5}, {315, 235}, {5, 235}, {5, 5}};
    r.frameSize = cv::Size(320, 240);
    r.fps = 25;
    r.firstFrame = 90;
    r.lastFrame = 1499;
    r.unreadableFrames = 3;
    r.started = QDateTime(QDate(2026, 6, 12), QTime(14, 30, 5), Qt::OffsetFromUTC, 7200);
    r.ended = r.started.addSecs(61);
    r.host = QStringLiteral("field-station");
    return r;
}

// A folder of videos (the listing looks at names only) with results made in various ways.
class Folder
{
public:
    Folder() { EXPECT_TRUE(QDir().mkpath(dir.path() + "/exportCSV")); }

    QString video(const QString& name)
    {
        const QString path = dir.path() + "/" + name + ".mp4";
        EXPECT_TRUE(writeFile(path));
        return path;
    }
    // A complete result, with a record of `mode` unless none is wanted.
    void result(const QString& name, const CountingMode* mode)
    {
        const VideoFiles files(video(name));
        EXPECT_TRUE(writeFile(files.result(), "Frame;X;Y;In;Out;Timestamp\n"));
        if (mode) {
            EXPECT_TRUE(sampleRecord(*mode).write(files.record()));
        }
    }
    FolderMode mode() const { return FolderMode::of({dir.path()}); }

    QTemporaryDir dir;
};

const CountingMode classic = CountingMode::Classic;
const CountingMode strict = CountingMode::Strict;

} // namespace

TEST(ResultRecord, ReadsBackWhatItWrote)
{
    QTemporaryDir dir;
    const QString path = dir.path() + "/trap_run.json";
    const ResultRecord written = sampleRecord(CountingMode::Strict);
    ASSERT_TRUE(written.write(path));

    ResultRecord read;
    ASSERT_TRUE(ResultRecord::read(path, read));
    EXPECT_EQ(read.toJson(), written.toJson());
    EXPECT_EQ(read.version, ResultRecord::programVersion());
    EXPECT_FALSE(read.version.isEmpty());
    EXPECT_TRUE(written.toJson().contains("\"countingMode\": \"strict\""));
    EXPECT_TRUE(written.toJson().contains("\"started\": \"2026-06-12T14:30:05+02:00\""));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files),
              QStringList{"trap_run.json"}); // no temporary
}

TEST(ResultRecord, ALinkAtItsNameIsReplacedNotFollowed)
{
    QTemporaryDir dir;
    const QString target = dir.path() + "/elsewhere.txt";
    ASSERT_TRUE(writeFile(target, "keep"));
    const QString path = dir.path() + "/trap_run.json";
    ASSERT_TRUE(QFile::link(target, path));

    ASSERT_TRUE(sampleRecord(CountingMode::Classic).write(path));

    EXPECT_EQ(readFile(target), "keep");
    EXPECT_FALSE(QFileInfo(path).isSymLink());
    EXPECT_EQ(ResultRecord::readMode(path), CountingMode::Classic);
}

TEST(ResultRecord, MissingOrBrokenRecordsCountAsClassic)
{
    QTemporaryDir dir;
    const QString path = dir.path() + "/trap_run.json";
    EXPECT_EQ(ResultRecord::readMode(path), CountingMode::Classic);
    for (const QByteArray& bytes : {QByteArray("{\"countingMode\": \"stric"), QByteArray("[1, 2]"),
                                    QByteArray("{\"countingMode\": \"turbo\"}")}) {
        ASSERT_TRUE(writeFile(path, bytes));
        EXPECT_EQ(ResultRecord::readMode(path), CountingMode::Classic) << bytes.constData();
    }
    // A folder where the record should be is no record either.
    ASSERT_TRUE(QFile::remove(path));
    ASSERT_TRUE(QDir().mkpath(path));
    ResultRecord record;
    EXPECT_FALSE(ResultRecord::read(path, record));
    QString why;
    EXPECT_FALSE(sampleRecord(CountingMode::Strict).write(path, &why));
    EXPECT_TRUE(why.contains(path)) << why.toStdString();
}

TEST(VideoFiles, NamesEveryFileOfAVideoInItsExportFolder)
{
    const VideoFiles files(QStringLiteral("/rec/trap.2015.mp4"));
    EXPECT_EQ(files.result(), "/rec/exportCSV/trap.2015.csv");
    EXPECT_EQ(files.partialResult(), "/rec/exportCSV/trap.2015.csv.part");
    EXPECT_EQ(files.area(), "/rec/exportCSV/trap.2015_area.adv");
    EXPECT_EQ(files.mask(), "/rec/exportCSV/trap.2015_mask.adv");
    EXPECT_EQ(files.densityImage(), "/rec/exportCSV/trap.2015_vorl.jpg");
    EXPECT_EQ(files.densityText(), "/rec/exportCSV/trap.2015_vorl.txt");
    EXPECT_EQ(files.record(), "/rec/exportCSV/trap.2015_run.json");
    EXPECT_EQ(resultRecordPath(QStringLiteral("/rec/trap.2015.mp4")), files.record());
}

TEST(FolderMode, AFolderWithoutResultsStartsWithStrictCounting)
{
    Folder folder;
    folder.video("a");
    // Neither an unfinished result nor a record without its result is a result.
    const VideoFiles b(folder.video("b"));
    ASSERT_TRUE(writeFile(b.partialResult()));
    ASSERT_TRUE(sampleRecord(classic).write(VideoFiles(folder.video("c")).record()));
    EXPECT_FALSE(folder.mode().mixed());
    EXPECT_EQ(folder.mode().mode(), CountingMode::Strict);
    EXPECT_EQ(folder.mode().results(), 0);
    EXPECT_EQ(FolderMode::of({}).mode(), CountingMode::Strict);
}

TEST(FolderMode, ResultsWithoutARecordKeepTheFolderClassic)
{
    Folder folder;
    folder.result("a", nullptr);
    folder.result("b", &classic);
    folder.video("c");
    EXPECT_FALSE(folder.mode().mixed());
    EXPECT_EQ(folder.mode().mode(), CountingMode::Classic);
    EXPECT_EQ(folder.mode().results(), 2);
}

TEST(FolderMode, AFolderCountedStrictlyStaysStrict)
{
    Folder folder;
    folder.result("a", &strict);
    folder.result("b", &strict);
    EXPECT_FALSE(folder.mode().mixed());
    EXPECT_EQ(folder.mode().mode(), CountingMode::Strict);
}

TEST(FolderMode, MixedResultsHaveNoDefaultAndSaySo)
{
    Folder folder;
    folder.result("a", &strict);
    folder.result("b", nullptr);
    EXPECT_TRUE(folder.mode().mixed());
    EXPECT_TRUE(folder.mode().mixedText().contains(folder.dir.path()));

    // Two folders of one run are taken together.
    Folder other;
    other.result("c", &classic);
    Folder fresh;
    EXPECT_FALSE(FolderMode::of({other.dir.path(), fresh.dir.path()}).mixed());
    EXPECT_EQ(FolderMode::of({other.dir.path(), fresh.dir.path()}).mode(), CountingMode::Classic);
    Folder strictFolder;
    strictFolder.result("d", &strict);
    EXPECT_TRUE(FolderMode::of({other.dir.path(), strictFolder.dir.path()}).mixed());
}
