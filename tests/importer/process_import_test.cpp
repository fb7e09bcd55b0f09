#include "importtestsupport.h"
#include "process_import.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <gtest/gtest.h>
#include <opencv2/videoio.hpp>
#include <vector>

namespace
{

// One emitted signal: which one and its value (0 for end_thread).
struct Emitted {
    char kind; // 'c' copy_pos, 'e' encode_pos, 's' save_pos, 'x' end_thread
    int value;
    bool operator==(const Emitted& other) const
    {
        return kind == other.kind && value == other.value;
    }
};

std::ostream& operator<<(std::ostream& out, const Emitted& e)
{
    return out << e.kind << e.value;
}

// Records the worker's signals in emission order. The connections are direct, so they run on
// whichever thread emits; the list is read only after the worker has been waited for.
class Recorder
{
public:
    explicit Recorder(Process_Import& worker)
    {
        auto add = [this](char kind) { return [this, kind](int v) { seen.push_back({kind, v}); }; };
        QObject::connect(&worker, &Process_Import::copy_pos, add('c'));
        QObject::connect(&worker, &Process_Import::encode_pos, add('e'));
        QObject::connect(&worker, &Process_Import::save_pos, add('s'));
        QObject::connect(&worker, &Process_Import::end_thread, [this] {
            seen.push_back({'x', 0});
        });
    }

    std::vector<int> values(char kind) const
    {
        std::vector<int> result;
        for (const Emitted& e : seen)
            if (e.kind == kind)
                result.push_back(e.value);
        return result;
    }

    // Kinds in order with repeats collapsed, e.g. "cesx".
    std::string phases() const
    {
        std::string result;
        for (const Emitted& e : seen)
            if (result.empty() || result.back() != e.kind)
                result += e.kind;
        return result;
    }

    std::vector<Emitted> seen;
};

// The tool's progress follows `before` and precedes end_thread. Lines that reach the parser in
// one arrival yield only the first one's number, so how many values come through varies; but the
// first arrival always starts with the import phase at 0, and the values never go back.
bool toolPhasesInOrder(const Recorder& recorder, const std::string& before)
{
    const std::string phases = recorder.phases();
    if (phases != before + "ex" && phases != before + "esx")
        return false;
    for (char kind : {'e', 's'}) {
        const std::vector<int> values = recorder.values(kind);
        if (!std::is_sorted(values.begin(), values.end()) ||
            (!values.empty() && (values.front() < 1 || values.back() > 101)))
            return false;
    }
    return recorder.values('e').front() == 1;
}

class ImportTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(from.isValid() && to.isValid());
        putToolOnPath();
    }

    QString source(const QString& name) const { return from.filePath(name); }
    QString target(const QString& name) const { return to.filePath(name); }
    QStringList targetFiles() const { return QDir(to.path()).entryList(QDir::Files, QDir::Name); }
    // With the hidden ones, where temporary files would show.
    QStringList allTargetFiles() const
    {
        return QDir(to.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

    // Runs a worker for `sourcePath` into `destination` to its end.
    Recorder runWorker(const QString& sourcePath, const QString& destination)
    {
        Process_Import worker(destination, sourcePath);
        Recorder recorder(worker);
        worker.start();
        worker.wait();
        outcome = worker.outcome();
        return recorder;
    }
    Recorder runWorker(const QString& sourcePath) { return runWorker(sourcePath, to.path()); }

    QTemporaryDir from;
    QTemporaryDir to;
    ImportOutcome outcome; // of the last runWorker
};

// --- copyFile ---------------------------------------------------------------------------------

struct CopyCase {
    qint64 size;
    std::vector<int> expected; // empty: check only the rising 1..100 shape
};

class CopyProgressTest : public ImportTest, public ::testing::WithParamInterface<CopyCase>
{
};

TEST_P(CopyProgressTest, ReportsOneValuePerChunkAndCopiesTheBytes)
{
    const CopyCase& c = GetParam();
    const QByteArray bytes = patternBytes(c.size);
    ASSERT_TRUE(writeFile(source("in.mp4"), bytes));
    Process_Import worker(to.path(), source("in.mp4"));
    Recorder recorder(worker);

    EXPECT_TRUE(worker.copyFile(source("in.mp4"), target("out.mp4")));

    ASSERT_TRUE(QFile::exists(target("out.mp4")));
    EXPECT_EQ(readFile(target("out.mp4")), bytes);
    const std::vector<int> values = recorder.values('c');
    if (!c.expected.empty() || c.size == 0) {
        EXPECT_EQ(values, c.expected);
        return;
    }
    ASSERT_EQ(values.size(), static_cast<size_t>((c.size + 1023) / 1024));
    EXPECT_EQ(values.front(), 1);
    EXPECT_EQ(values.back(), 100);
    EXPECT_TRUE(std::is_sorted(values.begin(), values.end()));
}

INSTANTIATE_TEST_SUITE_P(Sizes, CopyProgressTest,
                         ::testing::Values(CopyCase{0, {}}, CopyCase{2048, {1, 51}},
                                           CopyCase{1500, {1, 69}}, CopyCase{1 << 20, {}}));

TEST_F(ImportTest, CopyFromAMissingSourceCreatesNothing)
{
    Process_Import worker(to.path(), source("none.mp4"));
    Recorder recorder(worker);
    EXPECT_FALSE(worker.copyFile(source("none.mp4"), target("none.mp4")));
    EXPECT_TRUE(targetFiles().isEmpty());
    EXPECT_TRUE(recorder.seen.empty());
}

TEST_F(ImportTest, CopyIntoAMissingFolderEmitsNothing)
{
    ASSERT_TRUE(writeFile(source("a.mp4"), patternBytes(3000)));
    Process_Import worker(to.path(), source("a.mp4"));
    Recorder recorder(worker);
    EXPECT_FALSE(worker.copyFile(source("a.mp4"), to.filePath("missing/a.mp4")));
    EXPECT_TRUE(recorder.seen.empty());
}

TEST_F(ImportTest, WithoutADestinationNothingIsImported)
{
    ASSERT_TRUE(writeFile(source("a.mp4"), patternBytes(3000)));
    const Recorder recorder = runWorker(source("a.mp4"), QString());
    EXPECT_EQ(recorder.phases(), "x");
    EXPECT_FALSE(QFileInfo::exists(QStringLiteral("/a.mp4")));
}

// --- run: suffixes ------------------------------------------------------------------------------

struct SuffixCase {
    const char* sourceName;
    const char* targetName; // nullptr: nothing is imported
    ImportOutcome::Kind kind;
};

class SuffixTest : public ImportTest, public ::testing::WithParamInterface<SuffixCase>
{
};

TEST_P(SuffixTest, CopiesUnderTheMp4NameOrNothing)
{
    const SuffixCase& c = GetParam();
    const QByteArray bytes = patternBytes(5000);
    ASSERT_TRUE(writeFile(source(c.sourceName), bytes));

    const Recorder recorder = runWorker(source(c.sourceName));

    ASSERT_FALSE(recorder.seen.empty());
    EXPECT_EQ(outcome.kind, c.kind);
    EXPECT_EQ(recorder.seen.back(), (Emitted{'x', 0}));
    EXPECT_EQ(recorder.values('x').size(), 1u);
    if (!c.targetName) {
        EXPECT_TRUE(targetFiles().isEmpty());
        EXPECT_EQ(recorder.seen.size(), 1u);
        return;
    }
    EXPECT_EQ(allTargetFiles(), QStringList{c.targetName});
    EXPECT_EQ(outcome.target, target(c.targetName));
    EXPECT_EQ(readFile(target(c.targetName)), bytes);
    EXPECT_EQ(recorder.values('c'), (std::vector<int>{1, 21, 41, 62, 82}));
}

INSTANTIATE_TEST_SUITE_P(
    Names, SuffixTest,
    ::testing::Values(SuffixCase{"a.mp4", "a.mp4", ImportOutcome::Copied},
                      SuffixCase{"rec.avi", "rec.mp4", ImportOutcome::Copied},
                      SuffixCase{"clip.2015.mp4", "clip.mp4", ImportOutcome::Copied},
                      SuffixCase{"VIDEO.MP4", nullptr, ImportOutcome::Skipped},
                      SuffixCase{"rec.AVI", nullptr, ImportOutcome::Skipped},
                      SuffixCase{"notes.txt", nullptr, ImportOutcome::Skipped}));

TEST_F(ImportTest, RawStreamIsWrappedAt90FpsAndItsCopyRemoved)
{
    const int frames = 60;
    ASSERT_TRUE(makeRawH264(source("cam.2015.h264"), frames));

    const Recorder recorder = runWorker(source("cam.2015.h264"));

    EXPECT_EQ(allTargetFiles(), QStringList{"cam.mp4"});
    EXPECT_EQ(outcome.kind, ImportOutcome::Converted);
    EXPECT_TRUE(toolPhasesInOrder(recorder, "c")) << recorder.phases();
    cv::VideoCapture video(target("cam.mp4").toStdString());
    ASSERT_TRUE(video.isOpened());
    EXPECT_EQ(video.get(cv::CAP_PROP_FRAME_COUNT), frames);
    EXPECT_DOUBLE_EQ(video.get(cv::CAP_PROP_FPS), 90.0);
    cv::Mat frame;
    int decoded = 0;
    while (video.read(frame))
        ++decoded;
    EXPECT_EQ(decoded, frames);
}

TEST_F(ImportTest, StreamTheToolRejectsStillEndsAndLeavesNothing)
{
    ASSERT_TRUE(writeFile(source("bad.h264"), patternBytes(4096)));

    const Recorder recorder = runWorker(source("bad.h264"));

    EXPECT_TRUE(allTargetFiles().isEmpty());
    EXPECT_EQ(recorder.phases(), "cx");
    EXPECT_EQ(outcome.kind, ImportOutcome::Failed);
    // The tool's own words, naming the card's file rather than the hidden copy.
    EXPECT_TRUE(outcome.reason.startsWith("mp4box: ")) << qPrintable(outcome.reason);
    EXPECT_TRUE(outcome.reason.contains(source("bad.h264"))) << qPrintable(outcome.reason);
}

TEST_F(ImportTest, AStreamWithoutTheToolFailsAndLeavesNothing)
{
    ASSERT_TRUE(makeRawH264(source("cam.h264"), 10));
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", to.path().toLocal8Bit());
    runWorker(source("cam.h264"));
    qputenv("PATH", path);

    EXPECT_EQ(outcome.kind, ImportOutcome::Failed);
    EXPECT_TRUE(outcome.reason.startsWith("cannot start mp4box")) << qPrintable(outcome.reason);
    EXPECT_TRUE(allTargetFiles().isEmpty());
}

// A different file of the target name was there first: it is kept and the import fails; the
// same recording imported again is recognised and left as it is.
TEST_F(ImportTest, AnExistingTargetIsNeverReplaced)
{
    ASSERT_TRUE(writeFile(source("a.mp4"), patternBytes(3000)));
    ASSERT_TRUE(makeRawH264(source("cam.h264"), 10));
    const QByteArray other = patternBytes(100);
    ASSERT_TRUE(writeFile(target("a.mp4"), other));
    ASSERT_TRUE(writeFile(target("cam.mp4"), other));

    runWorker(source("a.mp4"));
    EXPECT_EQ(outcome.kind, ImportOutcome::Failed);
    EXPECT_TRUE(outcome.reason.contains("a different a.mp4")) << qPrintable(outcome.reason);
    runWorker(source("cam.h264"));
    EXPECT_EQ(outcome.kind, ImportOutcome::Failed);
    EXPECT_EQ(readFile(target("a.mp4")), other);
    EXPECT_EQ(readFile(target("cam.mp4")), other);
    EXPECT_EQ(allTargetFiles(), (QStringList{"a.mp4", "cam.mp4"}));

    ASSERT_TRUE(QFile::remove(target("a.mp4")) && QFile::remove(target("cam.mp4")));
    runWorker(source("a.mp4"));
    runWorker(source("cam.h264"));
    const QByteArray converted = readFile(target("cam.mp4"));
    for (const char* name : {"a.mp4", "cam.h264"}) {
        runWorker(source(name));
        EXPECT_EQ(outcome.kind, ImportOutcome::Skipped) << name;
        EXPECT_TRUE(outcome.reason.startsWith("already imported")) << qPrintable(outcome.reason);
    }
    EXPECT_EQ(readFile(target("cam.mp4")), converted);
    EXPECT_EQ(allTargetFiles(), (QStringList{"a.mp4", "cam.mp4"}));
}

// A link at a target's name, even one pointing nowhere, is neither written through nor replaced:
// the recording would land outside the destination, where no count ever finds it.
TEST_F(ImportTest, ALinkAtTheTargetIsNeitherFollowedNorReplaced)
{
    QTemporaryDir elsewhere;
    ASSERT_TRUE(writeFile(source("a.mp4"), patternBytes(3000)));
    ASSERT_TRUE(makeRawH264(source("cam.h264"), 10));
    for (const char* name : {"a.mp4", "cam.mp4"})
        ASSERT_TRUE(QFile::link(elsewhere.filePath(name), target(name)));

    for (const char* name : {"a.mp4", "cam.h264"}) {
        runWorker(source(name));
        EXPECT_EQ(outcome.kind, ImportOutcome::Failed) << name;
        EXPECT_TRUE(outcome.reason.contains("symbolic link")) << qPrintable(outcome.reason);
    }
    EXPECT_TRUE(QDir(elsewhere.path()).isEmpty());
    EXPECT_EQ(QDir(to.path()).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name),
              (QStringList{"a.mp4", "cam.mp4"}));
    EXPECT_TRUE(QFileInfo(target("a.mp4")).isSymLink());
}

// A recording still being written while it is copied is refused, never stored cut short and
// called copied. The source grows when the first chunk is through.
TEST_F(ImportTest, ASourceThatGrowsDuringTheCopyIsNotImported)
{
    ASSERT_TRUE(writeFile(source("a.mp4"), patternBytes(4096)));
    Process_Import worker(to.path(), source("a.mp4"));
    bool grown = false;
    // A direct connection: the source grows on the worker's thread, between two chunks.
    QObject::connect(&worker, &Process_Import::copy_pos, [&] {
        if (grown)
            return;
        QFile more(source("a.mp4"));
        grown = more.open(QIODevice::Append) && more.write(patternBytes(4096)) == 4096;
    });
    worker.start();
    worker.wait();

    ASSERT_TRUE(grown);
    EXPECT_EQ(worker.outcome().kind, ImportOutcome::Failed);
    EXPECT_TRUE(worker.outcome().reason.contains("changed during the copy"))
        << qPrintable(worker.outcome().reason);
    EXPECT_TRUE(allTargetFiles().isEmpty());
}

// The stream is copied under a hidden name, so a file of the destination that happens to carry
// the stream's name is neither overwritten nor deleted.
TEST_F(ImportTest, AStreamOfTheSameNameInTheDestinationSurvives)
{
    ASSERT_TRUE(makeRawH264(source("cam.h264"), 10));
    const QByteArray mine = patternBytes(700);
    ASSERT_TRUE(writeFile(target("cam.h264"), mine));

    runWorker(source("cam.h264"));

    EXPECT_EQ(outcome.kind, ImportOutcome::Converted);
    EXPECT_EQ(readFile(target("cam.h264")), mine);
    EXPECT_EQ(allTargetFiles(), (QStringList{"cam.h264", "cam.mp4"}));
}

// A stop requested in the middle of each phase ends the import with nothing left behind.
TEST_F(ImportTest, AStoppedImportLeavesNothing)
{
    ASSERT_TRUE(writeFile(source("big.mp4"), patternBytes(4 << 20)));
    ASSERT_TRUE(makeRawH264(source("cam.h264"), 60));
    for (const char* name : {"big.mp4", "cam.h264"}) {
        Process_Import worker(to.path(), source(name));
        const bool stream = QString(name).endsWith("h264");
        QObject::connect(&worker, &Process_Import::copy_pos, [&](int v) {
            if (!stream && v >= 2)
                worker.requestStop();
        });
        QObject::connect(&worker, &Process_Import::encode_pos, [&] { worker.requestStop(); });
        worker.start();
        worker.wait();
        EXPECT_EQ(worker.outcome().kind, ImportOutcome::Failed) << name;
        EXPECT_EQ(worker.outcome().reason, "stopped") << name;
        EXPECT_TRUE(allTargetFiles().isEmpty()) << qPrintable(allTargetFiles().join(' '));
    }
}

TEST_F(ImportTest, ImportingFromTheDestinationKeepsTheSources)
{
    const QByteArray bytes = patternBytes(3000);
    ASSERT_TRUE(writeFile(target("a.mp4"), bytes));
    ASSERT_TRUE(makeRawH264(target("x.h264"), 10));
    const QByteArray stream = readFile(target("x.h264"));

    const Recorder mp4 = runWorker(target("a.mp4"));
    const Recorder h264 = runWorker(target("x.h264"));

    EXPECT_EQ(readFile(target("a.mp4")), bytes);
    EXPECT_EQ(readFile(target("x.h264")), stream);
    EXPECT_EQ(allTargetFiles(), (QStringList{"a.mp4", "x.h264", "x.mp4"}));
    EXPECT_EQ(mp4.phases(), "x");
    EXPECT_TRUE(toolPhasesInOrder(h264, "")) << h264.phases();
}

// --- progress parser
// ------------------------------------------------------------------------------

struct ParseCase {
    const char* name;
    std::vector<QByteArray> arrivals;
    std::vector<Emitted> expected;
};

class ParserTest : public ::testing::TestWithParam<ParseCase>
{
};

TEST_P(ParserTest, EmitsTheToolNumberPlusOne)
{
    Process_Import worker{QString(), QString()};
    Recorder recorder(worker);
    for (const QByteArray& text : GetParam().arrivals)
        worker.parseOutput(text);
    EXPECT_EQ(recorder.seen, GetParam().expected);
}

const QByteArray importing45 = "Importing AVC-H264: |=====     | (45/100)\n";
const QByteArray writing20 = "ISO File Writing: |==        | (20/100)\n";

INSTANTIATE_TEST_SUITE_P(
    Arrivals, ParserTest,
    ::testing::Values(
        ParseCase{"ImportLine", {importing45}, {{'e', 46}}},
        ParseCase{"ThenWritingLine", {importing45, writing20}, {{'e', 46}, {'s', 21}}},
        ParseCase{"WholeRun",
                  {"Importing AVC-H264: |          | (0/100)\n",
                   "Importing AVC-H264: |==========| (100/100)\n",
                   "ISO File Writing: |          | (0/100)\n",
                   "ISO File Writing: |==========| (100/100)\n"},
                  {{'e', 1}, {'e', 101}, {'s', 1}, {'s', 101}}},
        ParseCase{
            "NumberArrivesLater", {"Importing AVC-H264: |===", "==     | (45/100)\n"}, {{'e', 46}}},
        ParseCase{
            "PhaseNameSplit", {"Importing AVC", "-H264: |=====     | (45/100)\n"}, {{'e', 46}}},
        ParseCase{"BothPhasesInOneArrival", {importing45 + writing20}, {{'e', 46}}},
        ParseCase{"TextAfterZeroByte",
                  {QByteArray("Importing AVC-H264: | (7/100)\n\0(9/100)", 38)},
                  {{'e', 8}}},
        ParseCase{"OtherOutput", {"mp4box: cannot read input (no such file)\n"}, {}}),
    [](const ::testing::TestParamInfo<ParseCase>& info) { return info.param.name; });

} // namespace
