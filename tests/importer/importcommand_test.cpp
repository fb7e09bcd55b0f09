#include "importcommand.h"
#include "importtestsupport.h"
#include "testclips.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <opencv2/videoio.hpp>
#include <sstream>

using namespace testclips;

namespace
{

const cv::Size clipSize{320, 240};
constexpr int clipFrames = 120;
constexpr int commandTimeout = 120000; // ms; a few small files take well under a second

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
    QVector<ImportRow> rows;
};

// orvane-import in this process, as its main() would run it.
Outcome import(const QStringList& arguments, bool terminal = false,
               const std::atomic<bool>* stop = nullptr)
{
    std::ostringstream out, err;
    Outcome run;
    ImportOptions options;
    const bool runnable = parseImportArguments(arguments, options).isEmpty() &&
                          options.check().isEmpty() && !options.help;
    const ImportStreams streams{out, err, terminal, stop};
    run.status = runnable ? runImport(options, streams, &run.rows) : importMain(arguments, streams);
    run.out = out.str();
    run.err = err.str();
    return run;
}

// Each row as "name result detail", in the summary's order.
QStringList rowTexts(const Outcome& run)
{
    QStringList texts;
    for (const ImportRow& row : run.rows) {
        const bool done = row.outcome.kind == ImportOutcome::Copied ||
                          row.outcome.kind == ImportOutcome::Converted;
        texts << row.name + " " + resultWord(row.outcome.kind) + " " +
                     (done ? QFileInfo(row.outcome.target).fileName() : row.outcome.reason);
    }
    return texts;
}

QStringList filesIn(const QString& dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

// Runs one of the built programs without a display; returns its exit status, -1 on a crash.
int runProgram(const QString& name, const QStringList& arguments, QByteArray* out = nullptr)
{
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(variable);
    program.setProcessEnvironment(environment);
    program.start(binDir() + "/" + name, arguments);
    if (!program.waitForFinished(commandTimeout) || program.exitStatus() != QProcess::NormalExit)
        return -1;
    if (out)
        *out = program.readAllStandardOutput();
    return program.exitCode();
}

// Readable in a failure message.
std::string lines(const QStringList& texts)
{
    return texts.join('\n').toStdString();
}

// An empty card and a working folder that does not exist yet.
class ImportFolders : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(root.isValid());
        putToolOnPath();
        card = root.filePath("card");
        dest = root.filePath("work/traps");
        ASSERT_TRUE(QDir().mkpath(card));
    }

    QTemporaryDir root;
    QString card;
    QString dest;
};

// A camera's card with one recording of each kind, all of the same picture size.
class ImportCommand : public ImportFolders
{
protected:
    void SetUp() override
    {
        ImportFolders::SetUp();
        const QString clip =
            writeClip(card, "clip.mp4", clipSize, clipFrames, {movingAlongRow(20, 120, 4, 92)});
        ASSERT_FALSE(clip.isEmpty());
        ASSERT_TRUE(transcode(clip, card + "/rec.avi", {"-c:v", "mjpeg"}));
        ASSERT_TRUE(transcode(clip, card + "/cam.2015.h264", rawH264Args()));
    }

    void addOddFiles()
    {
        ASSERT_TRUE(writeFile(card + "/notes.txt", "battery 80%\n"));
        ASSERT_TRUE(writeFile(card + "/damaged.h264", patternBytes(4096)));
    }
};

TEST_F(ImportCommand, ImportsEachKindAndReportsTheDamagedStream)
{
    addOddFiles();

    const Outcome run = import({"--quiet", "--fps", "30", card, dest});

    EXPECT_EQ(run.status, ImportSomeFailed);
    EXPECT_EQ(lines(filesIn(dest)), "cam.mp4\nclip.mp4\nrec.mp4");
    const QStringList rows = rowTexts(run);
    ASSERT_EQ(rows.size(), 5) << lines(rows);
    EXPECT_TRUE(rows.at(2).startsWith("damaged.h264 failed mp4box: ")) << lines(rows);
    EXPECT_EQ(lines(rows.mid(0, 2) + rows.mid(3)), "cam.2015.h264 converted cam.mp4\n"
                                                   "clip.mp4 copied clip.mp4\n"
                                                   "notes.txt skipped not a recording\n"
                                                   "rec.avi copied rec.mp4");
    EXPECT_NE(run.out.find("rec.avi        copied     as rec.mp4\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("2 copied, 1 converted, 1 skipped, 1 failed"), std::string::npos);
    EXPECT_TRUE(run.err.empty()) << run.err;
    for (const char* name : {"cam.mp4", "clip.mp4", "rec.mp4"}) {
        cv::VideoCapture video(QString(dest + "/" + name).toStdString());
        EXPECT_TRUE(video.isOpened()) << name;
        EXPECT_EQ(video.get(cv::CAP_PROP_FRAME_COUNT), clipFrames) << name;
    }
    // The raw stream is wrapped at the rate asked for.
    EXPECT_EQ(cv::VideoCapture(QString(dest + "/cam.mp4").toStdString()).get(cv::CAP_PROP_FPS),
              30.0);
}

// The card's own folder as the working folder: the MP4 stays as it is, the others gain an MP4
// beside them, and a second run finds everything done.
TEST_F(ImportCommand, ImportingIntoTheSourceFolderKeepsTheOriginals)
{
    QMap<QString, QByteArray> before;
    for (const QString& name : filesIn(card))
        before.insert(name, readFile(card + "/" + name));

    const Outcome first = import({"--quiet", card, card});
    const Outcome second = import({"--quiet", card, card});

    EXPECT_EQ(first.status, ImportAllDone);
    EXPECT_EQ(lines(rowTexts(first)), "cam.2015.h264 converted cam.mp4\n"
                                      "clip.mp4 skipped already in the destination\n"
                                      "rec.avi copied rec.mp4");
    EXPECT_EQ(second.status, ImportAllDone);
    for (const ImportRow& row : second.rows)
        EXPECT_EQ(row.outcome.kind, ImportOutcome::Skipped) << qPrintable(row.name);
    EXPECT_EQ(lines(filesIn(card)), "cam.2015.h264\ncam.mp4\nclip.mp4\nrec.avi\nrec.mp4");
    for (auto it = before.cbegin(); it != before.cend(); ++it)
        EXPECT_EQ(readFile(card + "/" + it.key()), it.value()) << qPrintable(it.key());
}

TEST_F(ImportCommand, ShowsProgressAsPlainLinesOrALiveLine)
{
    const Outcome quiet = import({"--quiet", card, dest});
    const Outcome plain = import({card, root.filePath("plain")});
    const Outcome live = import({card, root.filePath("live")}, true);

    EXPECT_TRUE(quiet.err.empty()) << quiet.err;
    EXPECT_EQ(plain.err.find('\r'), std::string::npos);
    for (const char* line : {"[1/3] ", ": started\n", "cam.2015.h264: converted as cam.mp4\n",
                             "rec.avi: copied as rec.mp4\n"})
        EXPECT_NE(plain.err.find(line), std::string::npos) << line << "\n" << plain.err;
    EXPECT_EQ(live.err.find("started"), std::string::npos);
    EXPECT_NE(live.err.find("cam.2015.h264: copy 0%, convert 0%, write 0%\033[K"),
              std::string::npos)
        << live.err;
    EXPECT_NE(live.err.find("\r[3/3] "), std::string::npos) << live.err;
    EXPECT_EQ(live.err.back(), '\n');
}

TEST_F(ImportCommand, AStopBeforeAFileStartsImportsNothingMore)
{
    const std::atomic<bool> stop{true};

    const Outcome run = import({"--quiet", card, dest}, false, &stop);

    EXPECT_EQ(run.status, ImportSomeFailed);
    EXPECT_TRUE(filesIn(dest).isEmpty());
    ASSERT_EQ(run.rows.size(), 3);
    for (const ImportRow& row : run.rows)
        EXPECT_TRUE(row.outcome.reason.startsWith("not started")) << qPrintable(row.name);
    EXPECT_NE(run.err.find("stopped"), std::string::npos) << run.err;
}

// SIGTERM in the middle of a long copy: the program ends on its own, without the partial file.
// What a killed import left in the working folder goes at the next import there; a file name
// with a line break cannot forge a line of the summary; a summary that cannot be written is
// no success.
TEST_F(ImportFolders, LeftoversGoAndTheSummaryIsTrustworthy)
{
    ASSERT_TRUE(QDir().mkpath(dest));
    const QStringList leftovers{".rec-0123abcd.mp4", ".cam-89abcdef.h264",
                                ".cam-00000000.mp4.Ab12Cd.part"};
    const QDateTime earlierRun = QDateTime::currentDateTime().addSecs(-3600);
    for (const QString& name : leftovers + QStringList{".keep-0123abcd.txt"}) {
        ASSERT_TRUE(writeFile(dest + "/" + name, patternBytes(100)));
        QFile file(dest + "/" + name);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite) &&
                    file.setFileTime(earlierRun, QFileDevice::FileModificationTime));
    }
    ASSERT_TRUE(writeFile(card + "/a\nb 1 copied.mp4", patternBytes(2000)));

    const Outcome run = import({"--quiet", card, dest});

    EXPECT_EQ(run.status, ImportAllDone) << run.err;
    EXPECT_EQ(lines(filesIn(dest)), ".keep-0123abcd.txt\na\nb 1 copied.mp4");
    for (const QString& name : leftovers)
        EXPECT_NE(run.err.find(name.toStdString()), std::string::npos) << run.err;
    EXPECT_NE(run.out.find("a\\nb 1 copied.mp4"), std::string::npos) << run.out;
    EXPECT_EQ(QString::fromStdString(run.out).count('\n'), 3) << run.out;

    std::ostringstream closed, err;
    closed.setstate(std::ios::badbit);
    ImportOptions options;
    ASSERT_TRUE(parseImportArguments({"--quiet", card, dest}, options).isEmpty());
    EXPECT_EQ(runImport(options, {closed, err}), ImportOutputFailed);
    EXPECT_NE(err.str().find("standard output"), std::string::npos) << err.str();
}

TEST_F(ImportFolders, SigtermStopsTheProgramWithoutAPartialTarget)
{
    QTemporaryDir bigCard;
    QFile big(bigCard.filePath("big.mp4"));
    ASSERT_TRUE(big.open(QIODevice::WriteOnly) && big.resize(200 << 20));
    big.close();
    QProcess program;
    program.start(binDir() + "/orvane-import", {bigCard.path(), dest});
    program.setReadChannel(QProcess::StandardError);
    QByteArray err;
    while (!err.contains("started") && program.waitForReadyRead(commandTimeout))
        err += program.readAllStandardError();
    ASSERT_TRUE(err.contains("[1/1] big.mp4: started")) << err.constData();

    program.terminate();

    ASSERT_TRUE(program.waitForFinished(commandTimeout));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), ImportSomeFailed);
    EXPECT_TRUE(program.readAllStandardOutput().contains("big.mp4  failed     stopped"));
    EXPECT_TRUE(filesIn(dest).isEmpty()) << qPrintable(filesIn(dest).join(' '));
}

// A card of generated recordings imported and then counted, with no display.
TEST_F(ImportCommand, ImportedRecordingsAreCountedHeadless)
{
    ASSERT_EQ(runProgram("orvane-import", {"--quiet", card, dest}), ImportAllDone);
    ASSERT_TRUE(saveRegions(dest + "/clip.mp4", {{160, 20}, {160, 220}}, box(5, 5, 315, 235)));

    QByteArray summary;
    EXPECT_EQ(runProgram("orvane-count", {"--quiet", dest}, &summary), 0) << summary.constData();

    for (const char* name : {"cam", "clip", "rec"}) {
        EXPECT_TRUE(summary.contains(name)) << name;
        EXPECT_TRUE(QFileInfo::exists(dest + "/exportCSV/" + name + ".csv")) << name;
    }
}

struct UsageCase {
    const char* name;
    QStringList (*arguments)(const QString& card, const QString& dest);
    const char* message;
};

class ImportUsage : public ImportFolders, public ::testing::WithParamInterface<UsageCase>
{
};

TEST_P(ImportUsage, RefusesWithStatus64AndTouchesNothing)
{
    ASSERT_TRUE(writeFile(root.filePath("file"), "x"));
    const Outcome run = import(GetParam().arguments(card, dest));

    EXPECT_EQ(run.status, ImportUsageError);
    EXPECT_NE(run.err.find(GetParam().message), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("Usage: orvane-import [--quiet] [--fps N] SOURCE_DIR DEST_DIR"),
              std::string::npos);
    EXPECT_TRUE(run.out.empty());
    EXPECT_FALSE(QFileInfo::exists(dest));
}

QString sibling(const QString& folder, const char* name)
{
    return QFileInfo(folder).path() + "/" + name;
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, ImportUsage,
    ::testing::Values(UsageCase{"None",
                                [](const QString&, const QString&) { return QStringList(); },
                                "expected SOURCE_DIR and DEST_DIR, got 0"},
                      UsageCase{"OneFolder",
                                [](const QString& c, const QString&) { return QStringList{c}; },
                                "expected SOURCE_DIR and DEST_DIR, got 1"},
                      UsageCase{"ThreeFolders",
                                [](const QString& c, const QString& d) {
                                    return QStringList{c, d, d};
                                },
                                "got 3"},
                      UsageCase{"UnknownOption",
                                [](const QString& c, const QString& d) {
                                    return QStringList{"--speed", c, d};
                                },
                                "Unknown option 'speed'"},
                      UsageCase{"FrameRateZero",
                                [](const QString& c, const QString& d) {
                                    return QStringList{"--fps", "0", c, d};
                                },
                                "--fps needs a whole number from 1 to 1000"},
                      UsageCase{"FrameRateNotANumber",
                                [](const QString& c, const QString& d) {
                                    return QStringList{"--fps", "25.5", c, d};
                                },
                                "--fps needs a whole number from 1 to 1000"},
                      UsageCase{"MissingSource",
                                [](const QString& c, const QString& d) {
                                    return QStringList{c + "/gone", d};
                                },
                                "no such folder"},
                      UsageCase{"SourceIsAFile",
                                [](const QString& c, const QString& d) {
                                    return QStringList{sibling(c, "file"), d};
                                },
                                "not a folder"},
                      UsageCase{"DestinationIsAFile",
                                [](const QString& c, const QString&) {
                                    return QStringList{c, sibling(c, "file")};
                                },
                                "not a folder"}),
    [](const ::testing::TestParamInfo<UsageCase>& info) { return info.param.name; });

TEST_F(ImportFolders, HelpIsNoError)
{
    const Outcome run = import({"--help"});
    EXPECT_EQ(run.status, ImportAllDone);
    EXPECT_NE(run.out.find("Usage: orvane-import"), std::string::npos);
    EXPECT_FALSE(QFileInfo::exists(dest));
}

} // namespace
