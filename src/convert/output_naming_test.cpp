#include "convert/output_naming.h"

#include <gtest/gtest.h>

namespace qf {
namespace {

// Frames visited in order from `first` to `last`, each name made from the one before.
std::vector<std::string> Sequence(std::string working, int first, int last, const char* ext) {
    std::vector<std::string> names;
    for (int w = first; w <= last; ++w) {
        working = NextOutputPath(working, static_cast<std::int16_t>(w), ext);
        names.push_back(working);
    }
    return names;
}

TEST(OutputNamingTest, CutTableForBothExtensions) {
    const struct {
        int w;
        std::size_t tiff, bmp;
    } rows[] = {{0, 4, 4}, {1, 5, 4}, {2, 6, 5}, {10, 6, 5}, {11, 7, 6}, {99, 7, 6}, {-1, 0, 0}, {-32768, 0, 0}};
    for (const auto& r : rows) {
        EXPECT_EQ(OutputNameCut(static_cast<std::int16_t>(r.w), ".tiff"), r.tiff) << r.w;
        EXPECT_EQ(OutputNameCut(static_cast<std::int16_t>(r.w), ".bmp"), r.bmp) << r.w;
    }
}

TEST(OutputNamingTest, FramesFromZeroNumberTheDataFileName) {
    auto tiff = Sequence("/scans/line.orx", 0, 120, ".tiff");
    auto bmp = Sequence("/scans/line.orx", 0, 120, ".bmp");
    EXPECT_EQ(tiff[0], "/scans/line.tiff");
    EXPECT_EQ(bmp[0], "/scans/line.bmp");
    for (int w = 1; w <= 120; ++w) {
        EXPECT_EQ(tiff[w], "/scans/line" + std::to_string(w) + ".tiff");
        EXPECT_EQ(bmp[w], "/scans/line" + std::to_string(w) + ".bmp");
    }
}

TEST(OutputNamingTest, CutRemovesLastFourCharactersWhateverTheyAre) {
    EXPECT_EQ(NextOutputPath("/d/run.orx.bak", 0, ".tiff"), "/d/run.orx.tiff");
    EXPECT_EQ(NextOutputPath("/d/run.orx.bak", 0, ".bmp"), "/d/run.orx.bmp");
}

TEST(OutputNamingTest, FirstFrameNotZeroIsCutByItsOwnRow) {
    EXPECT_EQ(Sequence("/d/line.orx", 3, 4, ".bmp"), (std::vector<std::string>{"/d/lin3.bmp", "/d/lin4.bmp"}));
}

TEST(OutputNamingTest, ShortNamesAndNegativeNumbers) {
    EXPECT_EQ(NextOutputPath("ab", 50, ".tiff"), "50.tiff");
    EXPECT_EQ(NextOutputPath("/d/x.tiff", -3, ".tiff"), "/d/x.tiff-3.tiff");
    EXPECT_EQ(NextOutputPath("/d/x32766.tiff", 32767, ".tiff"), "/d/x32767.tiff");
}

}  // namespace
}  // namespace qf
