#include "export/tiff_export.h"

#include <gtest/gtest.h>
#include <tiffio.h>

#include <algorithm>
#include <cstring>

#include "test/frames.h"
#include "test/temp_folder.h"

namespace qf {
namespace {

std::vector<std::uint16_t> Scaled(const std::vector<std::uint16_t>& s, ExportKind /*normalized*/) {
    FrameImage f = test::SampleFrame(static_cast<std::int16_t>(s.size()), 1, s);
    auto out = NormalizedSamples(f);
    return std::vector<std::uint16_t>(out.value().get(), out.value().get() + s.size());
}

TEST(ScaleSamplesTest, NormalizedStretchesLargestTo65535) {
    EXPECT_EQ(Scaled({0, 100, 200}, kNormalizedTiff), (std::vector<std::uint16_t>{0, 32767, 65535}));
    EXPECT_EQ(Scaled({1000, 4095}, kNormalizedTiff), (std::vector<std::uint16_t>{16003, 65535}));
    EXPECT_EQ(Scaled({3, 1, 7}, kNormalizedTiff), (std::vector<std::uint16_t>{28086, 9362, 65535}));
    EXPECT_EQ(Scaled({9}, kNormalizedTiff), (std::vector<std::uint16_t>{65535}));
    EXPECT_EQ(Scaled({0}, kNormalizedTiff), (std::vector<std::uint16_t>{0}));
    EXPECT_EQ(Scaled({0, 0, 0}, kNormalizedTiff), (std::vector<std::uint16_t>{0, 0, 0}));
    // Intensities above 32767 are unsigned, not negative.
    EXPECT_EQ(Scaled({65535, 32768}, kNormalizedTiff), (std::vector<std::uint16_t>{65535, 32768}));
}

TEST(ScaleSamplesTest, NormalizedFindsTheLargestWhereverItStands) {
    // 100 samples: three blocks of 32 and four left over; the peak in each place in turn.
    for (std::size_t at = 0; at < 100; ++at) {
        std::vector<std::uint16_t> s(100, 10);
        s[at] = 1000;
        const std::vector<std::uint16_t> out = Scaled(s, kNormalizedTiff);
        ASSERT_EQ(out[at], 65535) << at;
        ASSERT_EQ(out[(at + 1) % 100], 655) << at;
    }
}

TEST(ScaleSamplesTest, NormalizedMatchesDoubleFormulaForEveryValue) {
    std::vector<std::uint16_t> all(65536);
    for (std::size_t v = 0; v < all.size(); ++v) all[v] = static_cast<std::uint16_t>(v);
    for (std::uint16_t largest : {std::uint16_t{65535}, std::uint16_t{40000}, std::uint16_t{4095}}) {
        std::vector<std::uint16_t> in(all.begin(), all.begin() + largest + 1);
        FrameImage f;
        f.width = 1;
        f.height = 1;
        f.count = static_cast<std::int32_t>(in.size());
        f.samples = std::make_unique<std::uint16_t[]>(in.size());
        std::memcpy(f.samples.get(), in.data(), in.size() * 2);
        auto scaled = NormalizedSamples(f);
        const std::uint16_t* out = scaled.value().get();
        for (std::size_t i = 0; i < in.size(); ++i) {
            double want = static_cast<double>(in[i]) / static_cast<double>(largest) * 65535.0;
            ASSERT_EQ(out[i], static_cast<std::uint16_t>(want)) << in[i] << " of " << largest;
        }
    }
}

struct TiffInfo {
    std::uint32_t width = 0, height = 0, rowsPerStrip = 0;
    std::uint16_t bits = 0, spp = 0, orientation = 0, compression = 0, photometric = 0;
    std::uint16_t fillOrder = 0, planar = 0;
    std::uint64_t stripBytes = 0;
    int strips = 0;
    bool bigEndian = false;
    std::vector<std::uint16_t> values;
};

TiffInfo ReadTiff(const std::string& path) {
    TiffInfo info;
    // "c": no strip chopping, so the one strip is seen as written.
    TIFF* tif = TIFFOpen(path.c_str(), "rc");
    if (!tif) {
        ADD_FAILURE() << "libtiff cannot open " << path;
        return info;
    }
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &info.width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &info.height);
    TIFFGetField(tif, TIFFTAG_ROWSPERSTRIP, &info.rowsPerStrip);
    TIFFGetField(tif, TIFFTAG_BITSPERSAMPLE, &info.bits);
    TIFFGetField(tif, TIFFTAG_SAMPLESPERPIXEL, &info.spp);
    TIFFGetField(tif, TIFFTAG_ORIENTATION, &info.orientation);
    TIFFGetField(tif, TIFFTAG_COMPRESSION, &info.compression);
    TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &info.photometric);
    TIFFGetField(tif, TIFFTAG_FILLORDER, &info.fillOrder);
    TIFFGetField(tif, TIFFTAG_PLANARCONFIG, &info.planar);
    info.strips = static_cast<int>(TIFFNumberOfStrips(tif));
    std::uint64_t* counts = nullptr;
    if (TIFFGetField(tif, TIFFTAG_STRIPBYTECOUNTS, &counts) && counts) info.stripBytes = counts[0];
    info.bigEndian = TIFFIsBigEndian(tif);
    info.values.resize(info.width * info.height);
    if (!info.values.empty()) {
        TIFFReadEncodedStrip(tif, 0, info.values.data(),
                             static_cast<tmsize_t>(info.values.size() * 2));
    }
    TIFFClose(tif);
    return info;
}

class WriteTiff16Test : public test::TempFolderTest {};

TEST_F(WriteTiff16Test, StandardizedKeepsEveryIntensity) {
    std::vector<std::uint16_t> all(65536);
    for (std::size_t v = 0; v < all.size(); ++v) all[v] = static_cast<std::uint16_t>(v);
    const FrameImage frame = test::SampleFrame(256, 256, all);
    ASSERT_TRUE(WriteStandardizedTiff(dir / "s.tiff", frame).ok());
    std::vector<std::uint16_t> read = ReadTiff(dir / "s.tiff").values;
    std::sort(read.begin(), read.end());  // whatever the row order, each intensity once
    EXPECT_EQ(read, all);
}

TEST_F(WriteTiff16Test, WritesTenTagsAndOneStripThatReadsBack) {
    std::vector<std::uint16_t> values = {0, 1, 2, 65535, 32768, 7};
    std::string path = dir / "line.tiff";
    ASSERT_TRUE(WriteTiff16(path, 3, 2, 6, values.data()).ok());
    TiffInfo t = ReadTiff(path);
    EXPECT_EQ(t.width, 3u);
    EXPECT_EQ(t.height, 2u);
    EXPECT_EQ(t.rowsPerStrip, 2u);
    EXPECT_EQ(t.bits, 16);
    EXPECT_EQ(t.spp, 1);
    EXPECT_EQ(t.orientation, ORIENTATION_BOTLEFT);
    EXPECT_EQ(t.compression, COMPRESSION_NONE);
    EXPECT_EQ(t.photometric, PHOTOMETRIC_MINISBLACK);
    EXPECT_EQ(t.fillOrder, FILLORDER_MSB2LSB);
    EXPECT_EQ(t.planar, PLANARCONFIG_CONTIG);
    EXPECT_EQ(t.strips, 1);
    EXPECT_EQ(t.stripBytes, 12u);
    EXPECT_FALSE(t.bigEndian);
    EXPECT_EQ(t.values, values);
    std::vector<std::uint8_t> raw = test::ReadBytes(path);
    EXPECT_EQ(raw.at(0), 'I');
    EXPECT_EQ(raw.at(1), 'I');
    EXPECT_EQ(test::Le16(raw, 2), 42);  // classic TIFF
}

// The directory read straight from the file's bytes, without libtiff.
std::vector<std::uint16_t> DirectoryTags(const std::vector<std::uint8_t>& raw) {
    std::uint32_t ifd = test::Le32(raw, 4);
    std::uint16_t entries = test::Le16(raw, ifd);
    std::vector<std::uint16_t> tags;
    for (std::uint16_t i = 0; i < entries; ++i) tags.push_back(test::Le16(raw, ifd + 2 + 12u * i));
    return tags;
}

TEST_F(WriteTiff16Test, DirectoryHoldsTheTenTagsAndTheStripTagsOnly) {
    std::uint16_t v = 5;
    std::string path = dir / "one.tiff";
    ASSERT_TRUE(WriteTiff16(path, 1, 1, 1, &v).ok());
    // No SampleFormat (339), no resolution tags: readers take unsigned integers.
    EXPECT_EQ(DirectoryTags(test::ReadBytes(path)),
              (std::vector<std::uint16_t>{256, 257, 258, 259, 262, 266, 273, 274, 277, 278, 279, 284}));
}

TEST_F(WriteTiff16Test, Frame640x480IsOneStripOf614400Bytes) {
    std::vector<std::uint16_t> values(640 * 480);
    for (std::size_t i = 0; i < values.size(); ++i) values[i] = static_cast<std::uint16_t>(i * 7);
    std::string path = dir / "big.tiff";
    ASSERT_TRUE(WriteTiff16(path, 640, 480, 640 * 480, values.data()).ok());
    TiffInfo t = ReadTiff(path);
    EXPECT_EQ(t.width, 640u);
    EXPECT_EQ(t.rowsPerStrip, 480u);
    EXPECT_EQ(t.stripBytes, 614400u);
    EXPECT_EQ(t.values, values);
}

TEST_F(WriteTiff16Test, EmptyOrNegativeFrameWritesNoFile) {
    std::uint16_t v = 0;
    Status empty = WriteTiff16(dir / "e.tiff", 0, 4, 0, &v);
    EXPECT_EQ(empty.kind(), ErrorKind::kNoSamples);
    EXPECT_EQ(empty.message(), "the frame has no samples (its width or height is 0)");
    EXPECT_EQ(WriteTiff16(dir / "n.tiff", -2, -3, 6, &v).kind(), ErrorKind::kInvalid);
    EXPECT_TRUE(test::Entries(dir.path()).empty());
}

TEST_F(WriteTiff16Test, UncreatableOutputIsReportedNotFatal) {
    std::uint16_t v = 1;
    std::string folderAtName = dir / "x.tiff";
    ASSERT_EQ(qf::test::MakeDir(folderAtName.c_str(), 0755), 0);
    Status r = WriteTiff16(folderAtName, 1, 1, 1, &v);
    EXPECT_EQ(r.kind(), ErrorKind::kCannotCreate);
    EXPECT_EQ(r.message(), "cannot create: a folder has that name");
    EXPECT_EQ(WriteTiff16(dir / "missing/y.tiff", 1, 1, 1, &v).kind(), ErrorKind::kCannotCreate);
    EXPECT_EQ(test::Entries(dir.path()), std::vector<std::string>{"x.tiff"});
}

TEST_F(WriteTiff16Test, RerunReplacesTheEarlierFile) {
    std::uint16_t first[2] = {1, 2}, second[4] = {9, 9, 9, 9};
    std::string path = dir / "r.tiff";
    ASSERT_TRUE(WriteTiff16(path, 2, 1, 2, first).ok());
    ASSERT_TRUE(WriteTiff16(path, 2, 2, 4, second).ok());
    EXPECT_EQ(ReadTiff(path).values, (std::vector<std::uint16_t>{9, 9, 9, 9}));
    EXPECT_EQ(test::Entries(dir.path()), std::vector<std::string>{"r.tiff"});
}

}  // namespace
}  // namespace qf
