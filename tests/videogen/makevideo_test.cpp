#include "exportpath.h"
#include "makevideo.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <cstdlib>
#include <gtest/gtest.h>

namespace
{

QByteArray contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class MakeVideoTest : public ::testing::Test
{
protected:
    QString parseAndMake(QStringList arguments)
    {
        MakeVideoOptions options;
        arguments.prepend(QStringLiteral("orvane-makevideo"));
        const QString problem = parseMakeVideoArguments(arguments, options);
        return problem.isEmpty() ? makeVideo(options) : QStringLiteral("usage: ") + problem;
    }
    QString path(const QString& name) const { return dir.path() + QLatin1Char('/') + name; }

    QTemporaryDir dir;
};

} // namespace

TEST_F(MakeVideoTest, TheSameSeedGivesTheSameFilesTwice)
{
    const QStringList common{
        QStringLiteral("--size"),    QStringLiteral("160x120"),   QStringLiteral("--area"),
        QStringLiteral("50,30"),     QStringLiteral("110,30"),    QStringLiteral("110,90"),
        QStringLiteral("50,90"),     QStringLiteral("--insects"), QStringLiteral("3"),
        QStringLiteral("--speeds"),  QStringLiteral("3,6"),       QStringLiteral("--wander"),
        QStringLiteral("--pauses"),  QStringLiteral("--noise"),   QStringLiteral("2"),
        QStringLiteral("--flicker"), QStringLiteral("3"),         QStringLiteral("--seed"),
        QStringLiteral("11")};
    for (const char* name : {"a", "b"})
        ASSERT_EQ(parseAndMake(QStringList{path(QStringLiteral("%1.mp4").arg(name)),
                                           QStringLiteral("--truth"),
                                           path(QStringLiteral("%1.csv").arg(name))} +
                               common),
                  QString());
    const QByteArray video = contents(path(QStringLiteral("a.mp4")));
    EXPECT_GT(video.size(), 1000);
    EXPECT_EQ(video, contents(path(QStringLiteral("b.mp4"))));
    EXPECT_EQ(contents(path(QStringLiteral("a.csv"))), contents(path(QStringLiteral("b.csv"))));
    const QByteArray events = contents(path(QStringLiteral("a_events.csv")));
    EXPECT_TRUE(events.startsWith("frame;insect;x;y;In;Out;touchFirst;touchLast\n"));
    EXPECT_GT(events.count('\n'), 1);
    EXPECT_EQ(events, contents(path(QStringLiteral("b_events.csv"))));

    // Another seed moves the insects elsewhere.
    ASSERT_EQ(parseAndMake(QStringList{path(QStringLiteral("c.mp4")), QStringLiteral("--truth"),
                                       path(QStringLiteral("c.csv"))} +
                           common.mid(0, common.size() - 1) + QStringList{QStringLiteral("12")}),
              QString());
    EXPECT_NE(contents(path(QStringLiteral("a.csv"))), contents(path(QStringLiteral("c.csv"))));
}

TEST_F(MakeVideoTest, ARegionIsWrittenBesideTheVideoForCountingAtOnce)
{
    const QString video = path(QStringLiteral("line.mp4"));
    ASSERT_EQ(parseAndMake({video, QStringLiteral("--size"), QStringLiteral("160x120"),
                            QStringLiteral("--line"), QStringLiteral("80,10,80,110"),
                            QStringLiteral("--insects"), QStringLiteral("2"),
                            QStringLiteral("--speeds"), QStringLiteral("10")}),
              QString());
    EXPECT_EQ(contents(ExportPath::file(video, QStringLiteral("_area.adv"))), "80,10\n80,110\n");
    EXPECT_EQ(contents(ExportPath::file(video, QStringLiteral("_mask.adv"))),
              "4,4\n155,4\n155,115\n4,115\n4,4\n");
}

// Each insect first shows up `--lead` pixels before the line, not out of nothing beside it.
TEST_F(MakeVideoTest, InsectsWalkTheLeadToTheRegion)
{
    const QString video = path(QStringLiteral("lead.mp4"));
    const QString truth = path(QStringLiteral("lead.csv"));
    ASSERT_EQ(
        parseAndMake({video, QStringLiteral("--size"), QStringLiteral("320x120"),
                      QStringLiteral("--line"), QStringLiteral("160,10,160,110"),
                      QStringLiteral("--insects"), QStringLiteral("4"), QStringLiteral("--speeds"),
                      QStringLiteral("10"), QStringLiteral("--lead"), QStringLiteral("100"),
                      QStringLiteral("--truth"), truth}),
        QString());
    const QList<QByteArray> rows = contents(truth).split('\n');
    QSet<QByteArray> seen;
    for (int i = 1; i < rows.size(); ++i) {
        const QList<QByteArray> f = rows[i].split(';'); // frame;insect;x;y
        if (f.size() != 4 || seen.contains(f[1]))
            continue;
        seen.insert(f[1]);
        EXPECT_GE(std::abs(f[2].toInt() - 160), 100) << rows[i].constData();
    }
    EXPECT_EQ(seen.size(), 4);
}

TEST_F(MakeVideoTest, WrongOptionsAreUsageErrors)
{
    const QString out = path(QStringLiteral("x.mp4"));
    const QList<QStringList> wrong{
        {},
        {out, out},
        {out, QStringLiteral("--size"), QStringLiteral("10x10")},
        {out, QStringLiteral("--fps"), QStringLiteral("0")},
        {out, QStringLiteral("--codec"), QStringLiteral("vp9")},
        {out, QStringLiteral("--line"), QStringLiteral("1,2,1,2")},
        {out, QStringLiteral("--line"), QStringLiteral("1,2,3")},
        {out, QStringLiteral("--area"), QStringLiteral("1,2"), QStringLiteral("3,4")},
        {out, QStringLiteral("--speeds"), QStringLiteral("5,2")},
        {out, QStringLiteral("--sizes"), QStringLiteral("0,4")},
        {out, QStringLiteral("--lead"), QStringLiteral("-1")},
        {out, QStringLiteral("--noise"), QStringLiteral("-1")},
        {out, QStringLiteral("--seed"), QStringLiteral("x")},
        {out, QStringLiteral("--blob"), QStringLiteral("1,2,3")},
        {out, QStringLiteral("--bogus")}};
    for (const QStringList& arguments : wrong)
        EXPECT_TRUE(parseAndMake(arguments).startsWith(QLatin1String("usage: ")))
            << qPrintable(arguments.join(QLatin1Char(' ')));
    EXPECT_FALSE(QFile::exists(out));
}

TEST_F(MakeVideoTest, AnUnwritableTruthFileIsReported)
{
    const QString problem =
        parseAndMake({path(QStringLiteral("v.mp4")), QStringLiteral("--size"),
                      QStringLiteral("64x48"), QStringLiteral("--frames"), QStringLiteral("3"),
                      QStringLiteral("--truth"), path(QStringLiteral("missing/t.csv"))});
    EXPECT_TRUE(problem.contains(QLatin1String("missing/t.csv"))) << qPrintable(problem);
}
