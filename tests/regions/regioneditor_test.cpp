// What presses, drags and double-clicks in video pixels do to the regions being edited.
#include "regioneditor.h"

#include <gtest/gtest.h>

using Points = std::vector<cv::Point>;

TEST(RegionEditor, PressesAddVerticesOnlyToThePolygonBeingDrawn)
{
    RegionEditor editor;
    editor.regions().mask = {{1, 1}, {5, 1}, {5, 5}};
    editor.setMode(RegionEditor::Idle);
    editor.press({10, 10});
    EXPECT_TRUE(editor.regions().area.empty());
    EXPECT_FALSE(editor.doubleClick()); // free for the zoom

    editor.startArea();
    EXPECT_EQ(editor.mode(), RegionEditor::EditArea);
    EXPECT_EQ(editor.regions().state, AreaContour::EditingArea);
    for (cv::Point p : {cv::Point(10, 10), cv::Point(50, 10), cv::Point(50, 40)})
        editor.press(p);
    EXPECT_TRUE(editor.doubleClick());
    EXPECT_EQ(editor.regions().area, (Points{{10, 10}, {50, 10}, {50, 40}, {10, 10}}));
    EXPECT_EQ(editor.regions().mask, (Points{{1, 1}, {5, 1}, {5, 5}}));

    editor.startMask();
    editor.press({2, 3});
    EXPECT_EQ(editor.regions().mask, (Points{{2, 3}}));
    EXPECT_EQ(editor.regions().area.size(), size_t(4));
}

// Classic counting reads a coordinate of 0 as no vertex: a click on the picture's first row or
// column gives a vertex on the second, for the area and the mask alike.
TEST(RegionEditor, ClicksOnTheFirstRowOrColumnGiveVerticesOnTheSecond)
{
    RegionEditor editor;
    editor.startArea();
    for (cv::Point p : {cv::Point(0, 0), cv::Point(319, 0), cv::Point(0, 120)})
        editor.press(p);
    EXPECT_EQ(editor.regions().area, (Points{{1, 1}, {319, 1}, {1, 120}}));
    editor.startMask();
    editor.press({0, 7});
    EXPECT_EQ(editor.regions().mask, (Points{{1, 7}}));
}

// A shift follows the pointer from the press, and ignores positions outside the frame.
TEST(RegionEditor, DragShiftsBothPolygonsOnlyWhileShifting)
{
    RegionEditor editor;
    editor.regions().area = {{100, 100}, {200, 100}};
    editor.regions().mask = {{50, 50}, {250, 50}, {250, 150}};
    const cv::Size frame(320, 240);
    editor.setMode(RegionEditor::Idle);
    editor.press({10, 10});
    editor.drag({20, 20}, frame);
    EXPECT_TRUE(editor.regions().shifted_area.empty());

    editor.setMode(RegionEditor::ShiftBoth);
    editor.press({10, 10});
    editor.drag({500, 20}, frame);
    EXPECT_TRUE(editor.regions().shifted_area.empty());
    editor.drag({20, 15}, frame);
    EXPECT_EQ(editor.regions().state, AreaContour::ShiftPreview);
    EXPECT_FALSE(editor.regions().shifted_area.empty());
    EXPECT_NE(editor.regions().shifted_area, editor.regions().area);
    EXPECT_FALSE(editor.doubleClick());
}
