// Sizing the font grid's columns and rows on its lines, once for both views.
#include <gtest/gtest.h>

#include <vector>

#include "app/core/GridSizing.h"

namespace prax::app {
namespace {

using Axis = GridSizing::Axis;
using Line = GridSizing::Line;

// Three columns of 280, 150, 150 and rows of 18, the second row dragged to its smallest so that
// its line lies on the first's.
const std::vector<Line> kColumns = {{279, 0, 280}, {429, 1, 150}, {579, 2, 150}};
const std::vector<Line> kRows = {{17, 0, 18}, {17 + GridSizing::kMinSize, 1, GridSizing::kMinSize}, {41, 2, 18}};

TEST(GridSizing, WhichLineThePointerTakes) {
    const struct {
        int x, y;
        GridSizing::Target target;
    } cases[] = {
        {279, 100, {Axis::Column, 0}},
        {276, 5, {Axis::Column, 0}},   // three pixels either side
        {282, 5, {Axis::Column, 0}},
        {275, 5, {}},                  // four off: the cell's own
        {283, 5, {}},
        {428, 5, {Axis::Column, 1}},
        {100, 17, {Axis::Row, 0}},
        {100, 14, {Axis::Row, 0}},
        {100, 23, {Axis::Row, 1}},     // nearest of two lines close together
        {100, 20, {Axis::Row, 1}},     // as near to both: the later one, so it opens again
        {279, 17, {Axis::Column, 0}},  // where lines cross the column's wins
        {100, 30, {}},
        {700, 300, {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(GridSizing::HitTest(kColumns, kRows, c.x, c.y), c.target) << c.x << "," << c.y;
}

TEST(GridSizing, ADragSetsTheSizeFromWhereItStartedNeverBelowTheSmallest) {
    GridSizing sizing;
    EXPECT_FALSE(sizing.Press(kColumns, kRows, 100, 30)) << "a cell: the grid's own press";
    EXPECT_FALSE(sizing.Dragging());

    ASSERT_TRUE(sizing.Press(kColumns, kRows, 281, 50));
    EXPECT_EQ(sizing.Dragged(), (GridSizing::Target{Axis::Column, 0}));
    EXPECT_EQ(sizing.SizeAt(321, 90), 320) << "only the x counts for a column";
    EXPECT_EQ(sizing.SizeAt(281, 0), 280);
    EXPECT_EQ(sizing.SizeAt(-500, 0), GridSizing::kMinSize);
    sizing.Release();
    EXPECT_FALSE(sizing.Dragging());

    ASSERT_TRUE(sizing.Press(kColumns, kRows, 10, 42));
    EXPECT_EQ(sizing.Dragged(), (GridSizing::Target{Axis::Row, 2}));
    EXPECT_EQ(sizing.SizeAt(600, 52), 28);
    EXPECT_EQ(sizing.SizeAt(600, 30), GridSizing::kMinSize);
}

}  // namespace
}  // namespace prax::app
