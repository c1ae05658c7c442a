#include "export/false_color_table.h"

#include <gtest/gtest.h>

namespace qf {
namespace {

struct Rgb {
    int r, g, b;
};

Rgb At(int index) {
    const FalseColorEntry& e = FalseColorTable()[static_cast<std::size_t>(index)];
    return {e.red, e.green, e.blue};
}

void ExpectColor(int index, Rgb want) {
    Rgb got = At(index);
    EXPECT_EQ(got.r, want.r) << "red of entry " << index;
    EXPECT_EQ(got.g, want.g) << "green of entry " << index;
    EXPECT_EQ(got.b, want.b) << "blue of entry " << index;
}

TEST(FalseColorTableTest, SegmentBoundariesMatchTheRampTable) {
    // Last entry of each segment, which is also the first of the next.
    const Rgb last[20] = {{0, 0, 163},     {0, 169, 253},   {0, 233, 253},   {0, 252, 253},
                          {0, 252, 159},   {0, 252, 0},     {169, 252, 0},   {221, 252, 0},
                          {252, 252, 0},   {252, 221, 0},   {252, 190, 0},   {252, 128, 0},
                          {252, 97, 0},    {252, 2, 0},     {252, 2, 127},   {252, 2, 206},
                          {252, 2, 252},   {252, 129, 252}, {252, 191, 252}, {252, 254, 252}};
    ExpectColor(0, {0, 0, 0});
    for (int k = 0; k < 20; ++k) {
        ExpectColor(819 * k + 818, last[k]);
        if (k < 19) ExpectColor(819 * (k + 1), last[k]);
    }
}

TEST(FalseColorTableTest, TellingEntries) {
    for (int i = 0; i <= 4; ++i) ExpectColor(i, {0, 0, 0});
    ExpectColor(5, {0, 0, 1});
    ExpectColor(824, {0, 1, 163});
    ExpectColor(828, {0, 1, 164});
    for (int i = 3276; i <= 3284; ++i) ExpectColor(i, {0, 252, 253});
    ExpectColor(3285, {0, 252, 252});
    for (int i = 8190; i <= 8193; ++i) ExpectColor(i, {252, 221, 0});
    for (int i = 16379; i <= 16382; ++i) ExpectColor(i, {252, 254, 252});
    ExpectColor(16383, {255, 255, 255});
}

TEST(FalseColorTableTest, AgreesWithRampRuleInEveryEntry) {
    // The rule restated with floor/ceil arithmetic instead of truncating division, so a
    // slip in the sign handling of falling channels shows up.
    const int change[20][3] = {{0, 0, 164}, {0, 170, 91}, {0, 65, 0},  {0, 20, 0},  {0, 0, -95},
                               {0, 0, -160}, {170, 0, 0}, {53, 0, 0},  {32, 0, 0},  {0, -32, 0},
                               {0, -32, 0}, {0, -63, 0},  {0, -32, 0}, {0, -96, 0}, {0, 0, 128},
                               {0, 0, 80},  {0, 0, 47},   {0, 128, 0}, {0, 63, 0},  {0, 64, 0}};
    int start[3] = {0, 0, 0};
    for (int k = 0; k < 20; ++k) {
        for (int j = 0; j < 819; ++j) {
            Rgb got = At(819 * k + j);
            int value[3];
            for (int c = 0; c < 3; ++c) {
                int magnitude = j * std::abs(change[k][c]) / 819;
                value[c] = start[c] + (change[k][c] < 0 ? -magnitude : magnitude);
                ASSERT_GE(value[c], 0);
                ASSERT_LE(value[c], 255);
            }
            ASSERT_EQ(got.r, value[0]) << 819 * k + j;
            ASSERT_EQ(got.g, value[1]) << 819 * k + j;
            ASSERT_EQ(got.b, value[2]) << 819 * k + j;
            if (j == 818) std::copy(value, value + 3, start);
        }
    }
}

TEST(FalseColorTableTest, PixelCopyIsBlueGreenRed) {
    const auto& pixels = FalseColorPixels();
    for (std::size_t i : {std::size_t{5}, std::size_t{8192}, std::size_t{16383}}) {
        const FalseColorEntry& e = FalseColorTable()[i];
        EXPECT_EQ(pixels[3 * i], e.blue);
        EXPECT_EQ(pixels[3 * i + 1], e.green);
        EXPECT_EQ(pixels[3 * i + 2], e.red);
    }
    // Stored order is green, red, blue.
    const auto* raw = reinterpret_cast<const std::uint8_t*>(&FalseColorTable()[8192]);
    EXPECT_EQ(raw[0], 221);
    EXPECT_EQ(raw[1], 252);
    EXPECT_EQ(raw[2], 0);
}

}  // namespace
}  // namespace qf
