// The profiles' values and axis for each kind and input bits, worked out by hand.
#include "present/profile_plot.h"

#include <gtest/gtest.h>

namespace qf::present {
namespace {

using Plotted = std::vector<std::uint32_t>;

TEST(ProfilePlotTest, NormalizedKindPlotsWhatItsOutputHolds) {
    const ProfilePlot plot = PlotProfile({0, 1000, 4000}, kNormalizedTiff, 12);
    EXPECT_EQ(plot.plotted, (Plotted{0, 16383, 65535}));
    EXPECT_EQ(plot.axisTop, 65535u);
}

TEST(ProfilePlotTest, TwelveBitBitmapsAreTakenBackToTheCamerasUnits) {
    // 4095 << 4 and 100 << 4, as the bitmap kinds pull 12-bit data.
    const ProfilePlot plot = PlotProfile({65520, 1600}, kFalseColorBitmap, 12);
    EXPECT_EQ(plot.plotted, (Plotted{4095, 100}));
    EXPECT_EQ(plot.axisTop, 4095u);
    // A standardized sample above 12 bits stays at the axis's top.
    EXPECT_EQ(PlotProfile({5000, 7}, kStandardizedTiff, 12).plotted, (Plotted{4095, 7}));
}

TEST(ProfilePlotTest, SixteenBitsPlotTheFramesOwnRangeAndABlackFrameStillHasAnAxis) {
    EXPECT_EQ(PlotProfile({10, 4000}, kStandardizedTiff, 16).axisTop, 4000u);
    EXPECT_EQ(PlotProfile({0, 0}, kStandardizedTiff, 16).axisTop, 1u);
    EXPECT_EQ(PlotProfile({}, kNormalizedTiff, 16).plotted, Plotted{});
}

}  // namespace
}  // namespace qf::present
