// convert --input-bits N over 12-bit data, with one job and several: the bitmap kinds take
// each sample as an N-bit intensity (their bytes checked against the bitmap's own fields),
// the TIFF kinds keep the intensities, and samples above N bits are said once per data file.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "cli/cli_test_support.h"
#include "export/false_color_table.h"
#include "tools/orx_writer.h"

namespace qf {
namespace {

constexpr int kWidth = 5, kHeight = 2;

// Frame f holds `base` with sample 9 replaced by `last[f]`.
const std::vector<std::uint16_t> kBase = {0, 1, 15, 16, 255, 256, 2048, 4000, 4095, 7};

std::uint32_t Le32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

class InputBitsTest : public test::CliFixture, public ::testing::WithParamInterface<const char*> {
protected:
    void Write(const std::string& path, const std::vector<std::uint16_t>& last) {
        OrxHeader header;
        header.width = kWidth;
        header.height = kHeight;
        header.frameCount = static_cast<std::uint32_t>(last.size());
        OrxWriter writer(path, header);
        for (std::uint16_t v : last) {
            std::vector<std::uint16_t> samples = kBase;
            samples[9] = v;
            writer.WriteFrame(samples.data());
        }
        ASSERT_TRUE(writer.Finish().ok());
    }
    int Convert(const std::string& kind, std::vector<std::string> args) {
        args.insert(args.begin(), {"convert", "--jobs", GetParam(), "--kind", kind});
        return Run(args);
    }
    // The pixel rows of a bitmap, as its header places them: the data start at bfOffBits
    // (bytes 10 to 13), rows of biWidth pixels of biBitCount / 8 bytes padded to 4 bytes,
    // bottom row first, and the first row of a frame is its bottom row.
    static std::vector<std::uint8_t> Pixels(const std::vector<std::uint8_t>& bmp) {
        const std::uint32_t offset = Le32(bmp, 10), width = Le32(bmp, 18), height = Le32(bmp, 22);
        const std::uint32_t bytes = bmp[28] / 8u, stride = (width * bytes + 3) / 4 * 4;
        std::vector<std::uint8_t> pixels;
        for (std::uint32_t row = 0; row < height; ++row) {
            const auto* at = bmp.data() + offset + row * stride;
            pixels.insert(pixels.end(), at, at + width * bytes);
        }
        return pixels;
    }
    std::vector<std::string> OverRangeLines() const {
        std::vector<std::string> found;
        for (const std::string& line : Lines()) {
            if (line.find(" above ") != std::string::npos) found.push_back(line);
        }
        return found;
    }
};

TEST_P(InputBitsTest, GrayscaleShowsTwelveBitSamplesAtFullRange) {
    Write(dir / "scan.orx", {7, 4095});
    ASSERT_EQ(Convert("grayscale-bmp", {"--input-bits", "12", dir.path()}), 0) << err.str();
    for (const char* name : {"scan.bmp", "scan1.bmp"}) {
        const std::vector<std::uint8_t> bmp = test::ReadBytes(dir / name);
        ASSERT_GE(bmp.size(), 54u);
        EXPECT_EQ(bmp[28], 8) << name;
        std::vector<std::uint8_t> expected;
        for (std::uint16_t v : kBase) expected.push_back(static_cast<std::uint8_t>(v >> 4));
        if (std::string(name) == "scan1.bmp") expected[9] = 255;
        EXPECT_EQ(Pixels(bmp), expected) << name;
    }
    EXPECT_TRUE(OverRangeLines().empty()) << err.str();
}

TEST_P(InputBitsTest, ColourTakesTheRampEntryOfTheScaledSample) {
    Write(dir / "scan.orx", {7});
    ASSERT_EQ(Convert("color-bmp", {"--input-bits", "12", dir.path()}), 0) << err.str();
    const std::vector<std::uint8_t> bmp = test::ReadBytes(dir / "scan.bmp");
    ASSERT_GE(bmp.size(), 54u);
    EXPECT_EQ(bmp[28], 24);
    std::vector<std::uint8_t> expected;
    for (std::uint16_t v : kBase) {
        const std::size_t entry = static_cast<std::size_t>(v << 4) >> 2;
        const FalseColorEntry& c = FalseColorTable()[entry];
        expected.insert(expected.end(), {c.blue, c.green, c.red});
    }
    EXPECT_EQ(Pixels(bmp), expected);
    // 4095 is the ramp's last entry but three; 0 its first.
    EXPECT_EQ(static_cast<std::size_t>(4095 << 4) >> 2, kFalseColorEntries - 4);
}

TEST_P(InputBitsTest, SixteenBitsIsTodaysOutputAndTheDefault) {
    Write(dir / "scan.orx", {60000});
    ASSERT_EQ(Convert("grayscale-bmp", {dir.path()}), 0);
    const std::vector<std::uint8_t> plain = test::ReadBytes(dir / "scan.bmp");
    std::vector<std::uint8_t> highBytes;
    for (std::uint16_t v : kBase) highBytes.push_back(static_cast<std::uint8_t>(v >> 8));
    highBytes[9] = 60000 >> 8;
    EXPECT_EQ(Pixels(plain), highBytes);
    ASSERT_EQ(Convert("grayscale-bmp", {"--input-bits", "16", dir.path()}), 0);
    EXPECT_EQ(test::ReadBytes(dir / "scan.bmp"), plain);
    EXPECT_TRUE(OverRangeLines().empty()) << err.str();
}

TEST_P(InputBitsTest, SamplesAboveTheBitsSaturateAndAreSaidOncePerFile) {
    Write(dir / "a.orx", {4096, 7, 65535, 5000});
    Write(dir / "b.orx", {7, 7});
    Write(dir / "c.orx", {4097});
    ASSERT_EQ(Convert("color-bmp", {"--input-bits", "12", "--report", dir / "run.json", dir.path()}), 0)
        << err.str();
    const std::vector<std::string> lines = OverRangeLines();
    ASSERT_EQ(lines.size(), 2u) << err.str();
    EXPECT_EQ(lines[0], "quillfen-cli: note: " + dir / "a.orx" +
                            ": 3 frames hold samples above 12 bits (--input-bits 12); the images show them at "
                            "full brightness");
    EXPECT_EQ(lines[1], "quillfen-cli: note: " + dir / "c.orx" +
                            ": 1 frame holds samples above 12 bits (--input-bits 12); the images show them at "
                            "full brightness");
    const std::vector<std::uint8_t> pixels = Pixels(test::ReadBytes(dir / "a.bmp"));
    const FalseColorEntry& top = FalseColorTable()[kFalseColorEntries - 1];
    EXPECT_EQ((std::vector<std::uint8_t>(pixels.end() - 3, pixels.end())),
              (std::vector<std::uint8_t>{top.blue, top.green, top.red}));
    const auto report = nlohmann::json::parse(test::ReadBytes(dir / "run.json"));
    EXPECT_EQ(report["input_bits"], 12);
    EXPECT_EQ(report["inputs"][0]["notes"].size(), 2u) << report["inputs"][0]["notes"];
}

TEST_P(InputBitsTest, TiffKindsKeepTheirBytesAndSayTheyKeptTheSamples) {
    Write(dir / "scan.orx", {7, 4095, 5000});
    for (const char* kind : {"normalized-tiff", "standardized-tiff"}) {
        ASSERT_EQ(Convert(kind, {"--quiet", dir.path()}), 0) << kind;
        std::vector<std::vector<std::uint8_t>> before;
        for (const char* name : {"scan.tiff", "scan1.tiff", "scan2.tiff"}) before.push_back(test::ReadBytes(dir / name));
        for (const char* bits : {"12", "8"}) {
            ASSERT_EQ(Convert(kind, {"--input-bits", bits, dir.path()}), 0) << kind;
            int i = 0;
            for (const char* name : {"scan.tiff", "scan1.tiff", "scan2.tiff"}) {
                EXPECT_EQ(test::ReadBytes(dir / name), before[i++]) << kind << " " << name << " bits " << bits;
            }
        }
        const std::vector<std::string> lines = OverRangeLines();
        ASSERT_EQ(lines.size(), 1u) << err.str();
        EXPECT_EQ(lines[0], "quillfen-cli: note: " + dir / "scan.orx" +
                                ": 3 frames hold samples above 8 bits (--input-bits 8); the TIFFs hold them unchanged");
    }
}

TEST_P(InputBitsTest, BitsOutsideEightToSixteenAreAUsageError) {
    Write(dir / "scan.orx", {7});
    for (const char* bits : {"7", "17", "twelve"}) {
        EXPECT_EQ(Convert("grayscale-bmp", {"--input-bits", bits, dir.path()}), kExitUsage) << bits;
        EXPECT_NE(err.str().find("--input-bits"), std::string::npos) << err.str();
    }
    EXPECT_FALSE(test::FileExists(dir / "scan.bmp"));
}

INSTANTIATE_TEST_SUITE_P(Jobs, InputBitsTest, ::testing::Values("1", "4"));

}  // namespace
}  // namespace qf
