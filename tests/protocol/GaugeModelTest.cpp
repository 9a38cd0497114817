#include <gtest/gtest.h>

#include <climits>

#include "protocol/GaugeModel.h"

using prax::protocol::GaugeModel;

TEST(GaugeModel, StartsAt0Of100InBlueOverWhite) {
    GaugeModel g;
    EXPECT_EQ(g.MinValue(), 0);
    EXPECT_EQ(g.MaxValue(), 100);
    EXPECT_EQ(g.Progress(), 0);
    EXPECT_EQ(g.ForeColor(), prax::protocol::kBlue);
    EXPECT_EQ(g.BackColor(), prax::protocol::kWhite);
}

TEST(GaugeModel, PositionIsClampedIntoTheRange) {
    GaugeModel g;
    g.SetMaxValue(1);
    g.SetProgress(2);
    EXPECT_EQ(g.Progress(), 1);
    EXPECT_EQ(g.Percent(), 100);
    g.SetProgress(-5);
    EXPECT_EQ(g.Progress(), 0);
    g.SetMaxValue(1000);
    g.SetProgress(1001);
    EXPECT_EQ(g.Progress(), 1000);
}

// The progress dialog is made with a maximum, a minimum and a position, applied in that order: a
// maximum of 0 is ignored, the minimum raises the position, which is then clamped to the maximum.
TEST(GaugeModel, AMaximumMinimumAndPositionAppliedInThatOrder) {
    const struct {
        std::int32_t max, min, position;
        std::int32_t wantMax, wantMin, wantProgress;
    } cases[] = {{0, 0, 0, 100, 0, 0}, {50, 10, 5, 50, 10, 10}, {1000, 10, 5000, 1000, 10, 1000}};
    for (const auto& c : cases) {
        GaugeModel g;
        g.SetMaxValue(c.max);
        g.SetMinValue(c.min);
        g.SetProgress(c.position);
        EXPECT_EQ(g.MaxValue(), c.wantMax) << c.max;
        EXPECT_EQ(g.MinValue(), c.wantMin) << c.max;
        EXPECT_EQ(g.Progress(), c.wantProgress) << c.max;
    }
    GaugeModel g;
    EXPECT_THROW((g.SetMaxValue(5), g.SetMinValue(10)), std::out_of_range);
}

TEST(GaugeModel, MaximumZeroIsIgnoredAndBelowMinimumRefused) {
    GaugeModel g;
    g.SetMaxValue(500);
    g.SetProgress(300);
    EXPECT_FALSE(g.SetMaxValue(0));
    EXPECT_EQ(g.MaxValue(), 500);
    g.SetMinValue(10);
    EXPECT_THROW(g.SetMaxValue(5), std::out_of_range);
    EXPECT_THROW(g.SetMinValue(501), std::out_of_range);
    EXPECT_EQ(g.MaxValue(), 500);
    g.SetMaxValue(128);  // a smaller maximum lowers the position with it
    EXPECT_EQ(g.Progress(), 128);
}

TEST(GaugeModel, MinimumRaisesThePosition) {
    GaugeModel g;
    g.SetProgress(3);
    g.SetMinValue(7);
    EXPECT_EQ(g.Progress(), 7);
}

TEST(GaugeModel, PercentIsRoundedDownAndRepaintOnlyOnChange) {
    GaugeModel g;
    g.SetMaxValue(1000);
    EXPECT_FALSE(g.SetProgress(9));   // still 0 %
    EXPECT_TRUE(g.SetProgress(10));   // 1 %
    EXPECT_EQ(g.Percent(), 1);
    EXPECT_FALSE(g.SetProgress(19));
    g.SetProgress(999);
    EXPECT_EQ(g.Percent(), 99);
    g.SetMaxValue(INT_MAX);
    g.SetProgress(INT_MAX);
    EXPECT_EQ(g.Percent(), 100);  // no overflow with a range near 2^31
    GaugeModel empty;
    empty.SetMinValue(100);
    EXPECT_EQ(empty.Percent(), 0);
}

TEST(GaugeModel, AThousandsOfBlocksTransferRepaintsAtMostAHundredTimes) {
    GaugeModel g;
    g.SetMaxValue(1 << 20);
    int repaints = 0;
    for (int sent = 512; sent <= (1 << 20); sent += 512) repaints += g.SetProgress(sent + 1) ? 1 : 0;
    EXPECT_LE(repaints, 100);
    EXPECT_EQ(g.Percent(), 100);
}
