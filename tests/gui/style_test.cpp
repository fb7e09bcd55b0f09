// The built-in style sheet as the application applies it: the fonts it intends, and dialogs
// whose labels still show their whole text in that font.
#include "importwindow.h"
#include "mainwindow.h"
#include "startup.h"

#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

class StyleTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void boldWhereIntendedAndOwnSizesKept();
    void importLabelsShowTheirWholeText();
};

void StyleTest::initTestCase()
{
    Startup::initResources();
    QTemporaryDir noOverride; // no stylesheet.qss here: the built-in one is used
    const QString sheet = Startup::styleSheet(noOverride.path());
    QVERIFY(!sheet.isEmpty());
    qApp->setStyleSheet(sheet);
}

void StyleTest::boldWhereIntendedAndOwnSizesKept()
{
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto* button = window.findChild<QPushButton*>(QStringLiteral("pb_algo"));
    QVERIFY(button);
    QCOMPARE(button->font().weight(), int(QFont::Bold));
    QCOMPARE(button->font().pointSize(), 10);
    auto* frameNumber = window.findChild<QLabel*>(QStringLiteral("la_Num_Frame"));
    QCOMPARE(frameNumber->font().pointSize(), 12);
    QCOMPARE(frameNumber->font().weight(), int(QFont::Bold));
    auto* results = window.findChild<QTableView*>(QStringLiteral("tv_result"));
    QCOMPARE(results->font().pointSize(), 8);
}

// Each label is at least as wide as its text in the font it is drawn with.
void StyleTest::importLabelsShowTheirWholeText()
{
    QTemporaryDir destination;
    ImportWindow dialog(destination.path());
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    for (const char* name : {"label", "label_2", "label_6", "label_5", "label_3", "label_4"}) {
        auto* label = dialog.findChild<QLabel*>(QLatin1String(name));
        QVERIFY2(label, name);
        const int needed = label->fontMetrics().horizontalAdvance(label->text());
        QVERIFY2(label->contentsRect().width() >= needed,
                 qPrintable(QStringLiteral("%1: %2 of %3 px")
                                .arg(label->text())
                                .arg(label->contentsRect().width())
                                .arg(needed)));
        QVERIFY2(label->font().bold(), name);
    }
    QCOMPARE(dialog.size(), QSize(560, 500));
}

QTEST_MAIN(StyleTest)
#include "style_test.moc"
