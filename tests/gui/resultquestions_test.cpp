// The questions asked before results are deleted or replaced, without a window.
#include "resultquestions.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace
{
class ResultQuestionsTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(QDir(dir.path()).mkdir("exportCSV")); }
    QString video(const QString& base) const { return dir.filePath(base + ".mp4"); }
    void write(const QString& name, const QByteArray& bytes)
    {
        QFile file(dir.filePath("exportCSV/" + name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    }

    QTemporaryDir dir;
};
} // namespace

TEST_F(ResultQuestionsTest, ModeComesOnlyFromAReadableRecord)
{
    EXPECT_EQ(ResultQuestions::recordedCountingMode(video("a")), QString());
    write("a_run.json", R"({"countingMode": "classic", "fps": 25})");
    EXPECT_EQ(ResultQuestions::recordedCountingMode(video("a")), "classic");
    // An unknown mode counts as classic, as it does for the folder's mode.
    write("a_run.json", R"({"countingMode": "fancy"})");
    EXPECT_EQ(ResultQuestions::recordedCountingMode(video("a")), "classic");
    write("a_run.json", "not json");
    EXPECT_EQ(ResultQuestions::recordedCountingMode(video("a")), QString());
    write("a_run.json", R"(["strict"])");
    EXPECT_EQ(ResultQuestions::recordedCountingMode(video("a")), QString());
}

TEST_F(ResultQuestionsTest, DeleteNamesTheFilesThatExist)
{
    EXPECT_TRUE(ResultQuestions::deleteQuestion(video("a")).isEmpty());
    write("a.csv.part", "x");
    write("a_run.json", R"({"countingMode": "strict"})");
    const QString question = ResultQuestions::deleteQuestion(video("a"));
    EXPECT_TRUE(question.contains("a.csv.part")) << question.toStdString();
    EXPECT_FALSE(question.contains("a.csv (")) << question.toStdString();
    write("a.csv", "x");
    EXPECT_TRUE(
        ResultQuestions::deleteQuestion(video("a")).contains("a.csv (made with strict counting)"));
    // The record of how the result was made goes with it.
    EXPECT_EQ(ResultQuestions::existingResultFiles(video("a")).size(), 3);
}

// Only complete results count as replaced; a long queue is cut, saying how many more.
TEST_F(ResultQuestionsTest, ReplaceNamesDoneVideosOnly)
{
    QStringList queue;
    for (int i = 0; i < 12; ++i)
        queue << video(QString("v%1").arg(i, 2, 10, QChar('0')));
    write("v00.csv.part", "x");
    EXPECT_TRUE(ResultQuestions::replaceQuestion(queue).isEmpty());
    for (int i = 1; i < 12; ++i)
        write(QString("v%1.csv").arg(i, 2, 10, QChar('0')), "x");
    const QString question = ResultQuestions::replaceQuestion(queue);
    EXPECT_TRUE(question.contains("11 video(s)")) << question.toStdString();
    EXPECT_TRUE(question.contains("v01.csv")) << question.toStdString();
    EXPECT_FALSE(question.contains("v00.csv")) << question.toStdString();
    EXPECT_FALSE(question.contains("v11.csv")) << question.toStdString();
    EXPECT_TRUE(question.contains("and 3 more")) << question.toStdString();
}
