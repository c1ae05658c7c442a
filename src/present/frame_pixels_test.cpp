// The picture a dialog shows of a frame, checked against expectations worked out by hand:
// rows turned top first, the normalized stretch, the colour table's byte order, sampling of
// large frames, the profiles through the brightest sample.
#include "present/frame_pixels.h"

#include <gtest/gtest.h>

#include "export/false_color_table.h"
#include "test/frames.h"

namespace qf {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Values = std::vector<std::uint16_t>;

TEST(FramePixelsTest, NormalizedFrameIsStretchedToItsBrightestSampleWithTheTopRowFirst) {
    // The frame's first row is the bottom one: stored [100 200] [400 50], shown [400 50] [100 200].
    const FramePixels p = MakeFramePixels(test::SampleFrame(2, 2, {100, 200, 400, 50}), kNormalizedTiff);
    EXPECT_EQ(p.width, 2);
    EXPECT_EQ(p.height, 2);
    EXPECT_EQ(p.channels, 1);
    // 400 -> 65535 -> 255; 50 -> 8191 -> 31; 100 -> 16383 -> 63; 200 -> 32767 -> 127.
    EXPECT_EQ(p.pixels, (Bytes{255, 31, 63, 127}));
    EXPECT_EQ(p.peak, 400);
    EXPECT_EQ(p.brightestX, 0);
    EXPECT_EQ(p.brightestY, 0);
    EXPECT_EQ(p.row, (Values{400, 50}));
    EXPECT_EQ(p.column, (Values{400, 100}));
}

TEST(FramePixelsTest, StandardizedFrameShowsTheHighByteUnstretched) {
    const FramePixels p = MakeFramePixels(test::SampleFrame(3, 1, {0x1234, 0x00FF, 0x8000}), kStandardizedTiff);
    EXPECT_EQ(p.pixels, (Bytes{0x12, 0x00, 0x80}));
    EXPECT_EQ(p.brightestX, 2);
    EXPECT_EQ(p.row, (Values{0x1234, 0x00FF, 0x8000}));
    EXPECT_EQ(p.column, (Values{0x8000}));
}

TEST(FramePixelsTest, StandardizedFrameOfFewerInputBitsShowsItsTopAsWhite) {
    // 12 bits: 4095 is the brightest a camera gives (white), 2048 half way, 0x1000 above
    // 12 bits saturates; the values keep the samples as the TIFF does.
    const FramePixels p =
        MakeFramePixels(test::SampleFrame(4, 1, {4095, 2048, 0, 0x1000}), kStandardizedTiff, 12);
    EXPECT_EQ(p.pixels, (Bytes{0xFF, 0x80, 0x00, 0xFF}));
    EXPECT_EQ(p.row, (Values{4095, 2048, 0, 0x1000}));
    // 16 bits: today's picture, the high byte.
    EXPECT_EQ(MakeFramePixels(test::SampleFrame(1, 1, {4095}), kStandardizedTiff, 16).pixels, (Bytes{0x0F}));
}

TEST(FramePixelsTest, ColourFrameIsRedGreenBlueFromTheTableEntryOfTheIntensityOverFour) {
    const FramePixels p = MakeFramePixels(test::SampleFrame(2, 1, {40000, 3}), kFalseColorBitmap);
    ASSERT_EQ(p.channels, 3);
    const FalseColorEntry& bright = FalseColorTable()[10000];
    const FalseColorEntry& dark = FalseColorTable()[0];
    EXPECT_EQ(p.pixels, (Bytes{bright.red, bright.green, bright.blue, dark.red, dark.green, dark.blue}));
}

TEST(FramePixelsTest, GrayscaleProfilesCarryTheHighByteOnTheSixteenBitRange) {
    const FramePixels p = MakeFramePixels(test::GrayFrame(2, 1, {3, 200}), kGrayscaleBitmap);
    EXPECT_EQ(p.pixels, (Bytes{3, 200}));
    EXPECT_EQ(p.row, (Values{768, 51200}));
    EXPECT_EQ(p.peak, 51200);
}

TEST(FramePixelsTest, BrightestSampleIsTheFirstInReadingOrderFromTheTop) {
    // Stored bottom row [9 1], top row [1 9]: the top row's 9 comes first in reading order.
    const FramePixels p = MakeFramePixels(test::SampleFrame(2, 2, {9, 1, 1, 9}), kStandardizedTiff);
    EXPECT_EQ(p.brightestX, 1);
    EXPECT_EQ(p.brightestY, 0);
}

TEST(FramePixelsTest, LargeFrameIsShownByEveryNthSampleWhileProfilesKeepEverySample) {
    // 1025 wide: every 3rd sample fits 512 (every 2nd would give 513).
    std::vector<std::uint16_t> samples(1025 * 2);
    for (std::size_t i = 0; i < 1025; ++i) samples[1025 + i] = static_cast<std::uint16_t>(i << 6);  // the top row
    const FramePixels p = MakeFramePixels(test::SampleFrame(1025, 2, samples), kStandardizedTiff);
    EXPECT_EQ(p.width, 342);
    EXPECT_EQ(p.height, 1);
    EXPECT_EQ(p.pixels[1], static_cast<std::uint8_t>((3 << 6) >> 8));
    EXPECT_EQ(p.pixels[341], static_cast<std::uint8_t>((1023 << 6) >> 8));
    EXPECT_EQ(p.row.size(), 1025u);
    EXPECT_EQ(p.column.size(), 2u);
}

TEST(FramePixelsTest, FrameWithoutSamplesGivesAnEmptyPicture) {
    EXPECT_TRUE(MakeFramePixels(FrameImage{}, kNormalizedTiff).empty());
    // The grayscale kind reads the high bytes, which a frame of 16-bit samples lacks.
    EXPECT_TRUE(MakeFramePixels(test::SampleFrame(2, 1, {1, 2}), kGrayscaleBitmap).empty());
}

TEST(FramePixelsTest, CopiedFrameGivesTheSamePictureAfterTheOriginalIsGone) {
    FrameImage kept;
    {
        const FrameImage frame = test::SampleFrame(2, 2, {100, 200, 400, 50});
        CopyFrame(frame, kept);
    }
    EXPECT_EQ(MakeFramePixels(kept, kNormalizedTiff).pixels, (Bytes{255, 31, 63, 127}));
}

}  // namespace
}  // namespace qf
