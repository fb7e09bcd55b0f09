// orvane-count --each-folder with the real orvane-count as the children: each folder gets the
// files a run of that folder alone gets, with its own regions, and --only-unprocessed resumes
// each folder where it stopped.
#include "countcommand.h"
#include "resultrecord.h"
#include "testclips.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sstream>

using namespace testclips;

namespace
{

const cv::Size clipSize{320, 240};
const int clipFrames = 120;
const QStringList videoNames{"video_20150612_1430_01.mp4", "video_20150612_1500_02.mp4"};

// Every file of a folder's exportCSV with its contents; of a result's record only the mode,
// since it also tells when the result was made.
QMap<QString, QByteArray> results(const QString& folder)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(folder + "/exportCSV", QDir::Files | QDir::Hidden);
    while (it.hasNext()) {
        const QString path = it.next();
        files.insert(QFileInfo(path).fileName(),
                     path.endsWith(QLatin1String(ExportPath::recordSuffix))
                         ? countingModeName(ResultRecord::readMode(path)).toUtf8()
                         : contents(path));
    }
    return files;
}

bool copyFolder(const QString& from, const QString& to)
{
    QDirIterator it(from, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString target = to + path.mid(from.size());
        if (!QDir().mkpath(QFileInfo(target).path()) || !QFile::copy(path, target))
            return false;
    }
    return true;
}

struct CountRunResult {
    int status = -1;
    std::string out;
    std::string err;
};

class EachFolderCount : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(root.isValid());
        program = qEnvironmentVariable("ORVANE_BIN_DIR") + "/orvane-count";
        ASSERT_TRUE(QFileInfo(program).isExecutable()) << program.toStdString();
        source = writeClip(root.path(), "source.mp4", clipSize, clipFrames,
                           {movingAlongRow(20, 120, 5, 95), movingAlongRow(300, 60, -5, 97)});
        ASSERT_FALSE(source.isEmpty());
    }

    // A camera folder with two recordings and a counting line at `lineX` of its own.
    QString camera(const QString& name, int lineX)
    {
        const QString folder = root.path() + "/cameras/" + name;
        EXPECT_TRUE(QDir().mkpath(folder));
        for (const QString& video : videoNames)
            EXPECT_TRUE(QFile::copy(source, folder + "/" + video));
        EXPECT_TRUE(saveRegions(folder + "/" + videoNames[0], {{lineX, 10}, {lineX, 230}},
                                box(5, 5, 315, 235)));
        return folder;
    }

    // The files of the folder analysed alone, on a copy of it.
    QMap<QString, QByteArray> aloneResults(const QString& folder)
    {
        const QString copy = root.path() + "/alone/" + QFileInfo(folder).fileName();
        EXPECT_TRUE(copyFolder(folder, copy));
        std::ostringstream out, err;
        CountOptions options;
        options.paths = QStringList{copy};
        options.quiet = true;
        EXPECT_EQ(runCount(options, {out, err, false}), 0) << err.str();
        return results(copy);
    }

    CountRunResult count(QStringList arguments)
    {
        std::ostringstream out, err;
        CountOptions options;
        CountRunResult run;
        const QString problem = parseCountArguments(arguments, options);
        options.childProgram = program;
        run.status = problem.isEmpty() ? runCount(options, {out, err, false})
                                       : countMain(arguments, {out, err, false});
        run.out = out.str();
        run.err = err.str();
        return run;
    }

    QTemporaryDir root;
    QString program;
    QString source;
};

TEST_F(EachFolderCount, EachFolderGetsTheFilesOfARunOfItsOwn)
{
    const QStringList folders{camera("trap-1", 100), camera("trap 2", 160), camera("trap-3", 220)};
    QVector<QMap<QString, QByteArray>> expected;
    for (const QString& folder : folders)
        expected.append(aloneResults(folder));
    // Each folder's own regions give it counts of its own, so borrowed regions would show.
    EXPECT_NE(expected[0].value("video_20150612_1430_01.csv"),
              expected[1].value("video_20150612_1430_01.csv"));

    const CountRunResult run =
        count(QStringList{"--each-folder", "--jobs", "2", "--quiet"} << folders);

    EXPECT_EQ(run.status, 0) << run.err;
    for (int i = 0; i < folders.size(); ++i) {
        EXPECT_EQ(results(folders[i]), expected[i]) << folders[i].toStdString();
        EXPECT_NE(run.out.find(folders[i].toStdString()), std::string::npos) << run.out;
    }
    EXPECT_NE(run.out.find("6 of 6 videos analysed in 3 folders"), std::string::npos) << run.out;
}

TEST_F(EachFolderCount, OnlyUnprocessedResumesEachFolderWhereItStopped)
{
    const QString done = camera("done", 100);
    const QString stopped = camera("stopped", 160);
    const QMap<QString, QByteArray> expected = aloneResults(stopped);
    ASSERT_EQ(count({"--quiet", done}).status, 0);
    const QMap<QString, QByteArray> doneBefore = results(done);
    // An interrupted run left the first video's events half written, the second not started.
    const QString first = stopped + "/" + videoNames[0];
    QFile part(exported(first, ExportPath::partialResultSuffix));
    ASSERT_TRUE(part.open(QIODevice::WriteOnly));
    part.write("Frame;X;Y;In;Out;Timestamp\n95;20;120;0;1;2015-06-12_14:30:03\n");
    part.close();

    const CountRunResult run =
        count({"--each-folder", "--only-unprocessed", "--jobs", "2", done, stopped});

    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(results(done), doneBefore);
    EXPECT_EQ(results(stopped), expected);
    EXPECT_NE(run.out.find("nothing to analyse"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("2 of 2 videos analysed in 2 folders"), std::string::npos) << run.out;
}

// Without --counting each folder keeps the mode of its own results: a result made before
// records were kept makes one folder classic, while a folder without results is counted strictly.
TEST_F(EachFolderCount, EachFolderKeepsTheModeOfItsOwnResults)
{
    const QString earlier = camera("earlier", 100);
    const QString fresh = camera("fresh", 160);
    QFile done(exported(earlier + "/" + videoNames[1], ExportPath::resultSuffix));
    ASSERT_TRUE(done.open(QIODevice::WriteOnly));
    done.write("Frame;X;Y;In;Out;Timestamp\n");
    done.close();

    const CountRunResult run = count({"--each-folder", "--only-unprocessed", earlier, fresh});

    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(results(earlier).value("video_20150612_1430_01_run.json"), "classic");
    EXPECT_EQ(results(fresh).value("video_20150612_1430_01_run.json"), "strict");
    EXPECT_EQ(results(fresh).value("video_20150612_1500_02_run.json"), "strict");
    EXPECT_NE(run.out.find("Counting modes: " + earlier.toStdString() + " classic, " +
                           fresh.toStdString() + " strict"),
              std::string::npos)
        << run.out;
}

TEST_F(EachFolderCount, AFolderThatCannotBeAnalysedGivesTheWorstStatus)
{
    const QString good = camera("good", 100);
    const QString bare = root.path() + "/cameras/bare";
    ASSERT_TRUE(QDir().mkpath(bare));
    ASSERT_TRUE(QFile::copy(source, bare + "/" + videoNames[0])); // no regions

    const CountRunResult run = count({"--each-folder", good, bare, good});

    EXPECT_EQ(run.status, int(ExitSkipped));
    EXPECT_NE(run.err.find(bare.toStdString() + ": no listed video has both region files"),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.out.find("2 of 2 videos analysed in 2 folders"), std::string::npos)
        << "a folder named twice runs once\n"
        << run.out;
}

TEST_F(EachFolderCount, RefusesWhatCannotBeRunPerFolder)
{
    const QString folder = camera("trap", 100);
    const QString video = folder + "/" + videoNames[0];
    const struct {
        QStringList arguments;
        const char* message;
    } cases[] = {
        {{"--jobs", "2", folder}, "--jobs needs --each-folder"},
        {{"--each-folder", "--regions", video, folder}, "cannot be combined with --regions"},
        {{"--each-folder", video}, "--each-folder: not a folder: "},
        {{"--each-folder", "--jobs", "0", folder}, "--jobs needs a number from 1 to 256"},
        {{"--each-folder", "--jobs", "two", folder}, "not 'two'"},
        {{"--each-folder", "--jobs=100000", folder}, "--jobs needs a number from 1 to 256"},
        {{"--each-folder", folder, "--jobs"}, "--jobs needs a number N"},
    };
    const QMap<QString, QByteArray> before = results(folder);
    for (const auto& c : cases) {
        const CountRunResult run = count(c.arguments);
        EXPECT_EQ(run.status, int(ExitUsage)) << c.message;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    }
    EXPECT_EQ(results(folder), before);
}

} // namespace
