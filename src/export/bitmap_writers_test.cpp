// Both bitmap kinds, checked byte for byte against files built from the format's field
// tables by hand.
#include <gtest/gtest.h>

#include <cstring>

#include "export/false_color_bitmap.h"
#include "export/grayscale_bitmap.h"
#include "test/frames.h"
#include "test/temp_folder.h"

namespace qf {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::Le16;
using test::Le32;
using test::GrayFrame;
using test::ReadBytes;
using test::SampleFrame;

// The 14 + 40 header bytes spelled out field by field.
Bytes Headers(std::uint32_t size, std::uint32_t offBits, std::int32_t w, std::int32_t h,
              std::uint16_t bits) {
    Bytes b = {0x42, 0x4D};
    auto le32 = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    };
    le32(size);
    b.insert(b.end(), {0xFF, 0xFF, 0xFF, 0xFF});
    le32(offBits);
    le32(40);
    le32(static_cast<std::uint32_t>(w));
    le32(static_cast<std::uint32_t>(h));
    b.insert(b.end(), {0x01, 0x00, static_cast<std::uint8_t>(bits), 0x00});
    b.insert(b.end(), 24, 0x00);
    return b;
}

Bytes GrayPalette() {
    Bytes p;
    for (int i = 0; i < 256; ++i) p.insert(p.end(), 4, static_cast<std::uint8_t>(i));
    return p;
}

class GrayscaleBitmapTest : public test::TempFolderTest {};

TEST_F(GrayscaleBitmapTest, FiveByTwoFrameMatchesFieldTableByteForByte) {
    std::string path = dir / "line3.bmp";
    ASSERT_TRUE(WriteGrayscaleBitmap(path, GrayFrame(5, 2, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10})).ok());
    Bytes expected = Headers(1094, 1078, 5, 2, 8);
    Bytes palette = GrayPalette();
    expected.insert(expected.end(), palette.begin(), palette.end());
    expected.insert(expected.end(), {1, 2, 3, 4, 5, 0, 0, 0, 6, 7, 8, 9, 10, 0, 0, 0});
    ASSERT_EQ(expected.size(), 1094u);
    EXPECT_EQ(ReadBytes(path), expected);
}

TEST_F(GrayscaleBitmapTest, PadsRowsToFourBytesOnlyWhenNeeded) {
    for (std::int16_t w : {1, 2, 3, 4, 6, 7, 8}) {
        std::string path = dir / ("w" + std::to_string(w) + ".bmp");
        ASSERT_TRUE(WriteGrayscaleBitmap(path, GrayFrame(w, 3, Bytes(w * 3u, 0xAB))).ok());
        Bytes file = ReadBytes(path);
        std::uint32_t row = (w + 3u) / 4u * 4u;
        EXPECT_EQ(file.size(), 1078u + 3 * row) << "width " << w;
        EXPECT_EQ(Le32(file, 2), file.size());
        for (std::uint32_t r = 0; r < 3; ++r) {
            for (std::uint32_t c = 0; c < row; ++c) {
                EXPECT_EQ(file[1078 + r * row + c], c < static_cast<std::uint32_t>(w) ? 0xAB : 0);
            }
        }
    }
}

TEST_F(GrayscaleBitmapTest, PaletteEntry128AndFirstRowStoredFirst) {
    std::string path = dir / "p.bmp";
    ASSERT_TRUE(WriteGrayscaleBitmap(path, GrayFrame(4, 2, {9, 9, 9, 9, 200, 200, 200, 200})).ok());
    Bytes file = ReadBytes(path);
    EXPECT_EQ(Bytes(file.begin() + 566, file.begin() + 570), Bytes(4, 0x80));
    EXPECT_EQ(file[1078], 9);
    EXPECT_EQ(file[1082], 200);
    EXPECT_EQ(file.size(), 1078u + 8);
}

// A bitmap of no rows or columns opens in no viewer: such a frame is refused, unwritten.
TEST_F(GrayscaleBitmapTest, EmptyFrameIsRefusedAndWritesNothing) {
    for (auto [w, h] : {std::pair<std::int16_t, std::int16_t>{0, 5}, {7, 0}}) {
        Status r = WriteGrayscaleBitmap(dir / "empty.bmp", GrayFrame(w, h, {}));
        EXPECT_EQ(r.kind(), ErrorKind::kNoSamples);
        EXPECT_TRUE(test::Entries(dir.path()).empty());
    }
}

class FalseColorBitmapTest : public test::TempFolderTest {};

TEST_F(FalseColorBitmapTest, TwoByOneFrameMatchesFieldTableByteForByte) {
    std::string path = dir / "c.bmp";
    ASSERT_TRUE(WriteFalseColorBitmap(path, SampleFrame(2, 1, {20, 32768})).ok());
    Bytes expected = Headers(62, 54, 2, 1, 24);
    expected.insert(expected.end(), {0x01, 0x00, 0x00, 0x00, 0xDD, 0xFC, 0x00, 0x00});
    EXPECT_EQ(ReadBytes(path), expected);
}

TEST_F(FalseColorBitmapTest, SingleWhiteSampleGives58Bytes) {
    std::string path = dir / "w.bmp";
    ASSERT_TRUE(WriteFalseColorBitmap(path, SampleFrame(1, 1, {65535})).ok());
    Bytes expected = Headers(58, 54, 1, 1, 24);
    expected.insert(expected.end(), {0xFF, 0xFF, 0xFF, 0x00});
    EXPECT_EQ(ReadBytes(path), expected);
}

TEST_F(FalseColorBitmapTest, RowsAreThreeWPlusWMod4Bytes) {
    for (auto [w, row] : {std::pair<std::int16_t, std::uint32_t>{5, 16}, {6, 20}, {7, 24}, {640, 1920}}) {
        std::string path = dir / "r.bmp";
        ASSERT_TRUE(WriteFalseColorBitmap(path, SampleFrame(w, 2, std::vector<std::uint16_t>(w * 2u, 65535))).ok());
        Bytes file = ReadBytes(path);
        ASSERT_EQ(file.size(), 54u + 2 * row) << "width " << w;
        EXPECT_EQ(Le32(file, 2), file.size());
        for (std::uint32_t c = 3u * w; c < row; ++c) EXPECT_EQ(file[54 + c], 0) << "pad of width " << w;
    }
}

TEST_F(FalseColorBitmapTest, EmptyFrameIsRefusedAndWritesNothing) {
    Status r = WriteFalseColorBitmap(dir / "e.bmp", SampleFrame(0, 3, {}));
    EXPECT_EQ(r.kind(), ErrorKind::kNoSamples);
    EXPECT_EQ(r.message(), "the frame has no samples (its width or height is 0)");
    EXPECT_TRUE(test::Entries(dir.path()).empty());
}

// Failures: reported with the path and cause, nothing half-written left behind.
class BitmapFailureTest : public test::TempFolderTest {};

TEST_F(BitmapFailureTest, NegativeSizeIsMalformedAndWritesNothing) {
    FrameImage f;
    f.width = -3;
    f.height = -2;
    f.count = 6;
    Status gray = WriteGrayscaleBitmap(dir / "a.bmp", f);
    Status color = WriteFalseColorBitmap(dir / "b.bmp", f);
    EXPECT_EQ(gray.kind(), ErrorKind::kInvalid);
    EXPECT_EQ(color.kind(), ErrorKind::kInvalid);
    EXPECT_EQ(gray.message(), "malformed frame: negative width or height");
    EXPECT_TRUE(test::Entries(dir.path()).empty());
}

TEST_F(BitmapFailureTest, FolderAtOutputNameIsReportedAndKeptIntact) {
    std::string path = dir / "x.bmp";
    ASSERT_EQ(qf::test::MakeDir(path.c_str(), 0755), 0);
    Status r = WriteFalseColorBitmap(path, SampleFrame(1, 1, {7}));
    EXPECT_EQ(r.kind(), ErrorKind::kCannotCreate);
    EXPECT_EQ(r.message(), "cannot create: a folder has that name");
    EXPECT_EQ(test::Entries(dir.path()), std::vector<std::string>{"x.bmp"});
}

TEST_F(BitmapFailureTest, MissingFolderIsReported) {
    Status r = WriteGrayscaleBitmap(dir / "no/such/x.bmp", GrayFrame(1, 1, {1}));
    EXPECT_EQ(r.kind(), ErrorKind::kCannotCreate);
    EXPECT_EQ(r.message(), "cannot create: " + test::MissingText(dir / "no/such/x.bmp"));
}

TEST_F(BitmapFailureTest, RerunReplacesFileAndLinkIsNotWrittenThrough) {
    std::string target = dir / "target.txt";
    test::WriteBytes(target, {1, 2, 3});
    std::string path = dir / "f.bmp";
    std::error_code ec;
    std::filesystem::create_symlink(test::FsPath(target), test::FsPath(path), ec);
    if (ec) GTEST_SKIP() << "cannot make a symbolic link here: " << ec.message();
    ASSERT_TRUE(WriteGrayscaleBitmap(path, GrayFrame(1, 1, {5})).ok());
    ASSERT_TRUE(WriteGrayscaleBitmap(path, GrayFrame(1, 1, {6})).ok());
    EXPECT_EQ(ReadBytes(target), (Bytes{1, 2, 3}));
    EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(test::FsPath(path))));
    EXPECT_EQ(ReadBytes(path).at(1078), 6);
    EXPECT_EQ(test::Entries(dir.path()), (std::vector<std::string>{"f.bmp", "target.txt"}));
}

}  // namespace
}  // namespace qf
