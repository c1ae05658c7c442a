// Multi-page stacks, read back page by page through libtiff: the pages are the frames in
// order, ImageJ's description sits on the first page only, BigTIFF is chosen when the
// pages would pass 4 GiB, and a stack that is not finished leaves nothing behind.
#include "export/tiff_stack.h"

#include <gtest/gtest.h>
#include <tiffio.h>

#include "export/page_encoder.h"
#include "test/frames.h"
#include "test/temp_folder.h"

namespace qf {
namespace {

std::vector<std::uint16_t> Ramp(std::size_t n, std::uint16_t start, std::uint16_t step) {
    std::vector<std::uint16_t> v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::uint16_t>(start + i * step);
    return v;
}

struct StackPage {
    std::uint32_t width = 0, height = 0;
    std::uint16_t orientation = 0, unit = 0;
    float xResolution = 0;
    std::string description;  ///< "" when the page has none
    std::vector<std::uint16_t> rows;
};

std::vector<StackPage> ReadStack(const std::string& path, bool* big = nullptr) {
    std::vector<StackPage> pages;
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    if (!tif) {
        ADD_FAILURE() << "libtiff cannot open " << path;
        return pages;
    }
    if (big) *big = TIFFIsBigTIFF(tif) != 0;
    do {
        StackPage p;
        TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &p.width);
        TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &p.height);
        TIFFGetField(tif, TIFFTAG_ORIENTATION, &p.orientation);
        TIFFGetField(tif, TIFFTAG_RESOLUTIONUNIT, &p.unit);
        TIFFGetField(tif, TIFFTAG_XRESOLUTION, &p.xResolution);
        char* text = nullptr;
        if (TIFFGetField(tif, TIFFTAG_IMAGEDESCRIPTION, &text) && text) p.description = text;
        p.rows.resize(std::size_t{p.width} * p.height);
        for (std::uint32_t r = 0; r < p.height; ++r) TIFFReadScanline(tif, p.rows.data() + std::size_t{r} * p.width, r);
        pages.push_back(std::move(p));
    } while (TIFFReadDirectory(tif));
    TIFFClose(tif);
    return pages;
}

class TiffStackTest : public test::TempFolderTest {};

TEST_F(TiffStackTest, PagesAreTheFramesInOrderEachNormalizedToItself) {
    const std::string path = dir / "s.tiff";
    TiffStackWriter stack(path, kNormalizedTiff, 3, ExportOptions{});
    const std::vector<std::vector<std::uint16_t>> frames = {{0, 100, 200, 50, 25, 10}, {1, 2, 3, 4, 5, 6},
                                                            {4095, 0, 0, 0, 0, 4095}};
    for (const auto& f : frames) ASSERT_TRUE(stack.AddPage(test::SampleFrame(3, 2, f)).ok());
    ASSERT_TRUE(stack.Finish().ok());
    const std::vector<StackPage> pages = ReadStack(path);
    ASSERT_EQ(pages.size(), 3u);
    // Stored as the exact layout stores a frame: its first row first, Orientation 4.
    EXPECT_EQ(pages[0].rows, (std::vector<std::uint16_t>{0, 32767, 65535, 16383, 8191, 3276}));
    EXPECT_EQ(pages[1].rows, (std::vector<std::uint16_t>{10922, 21845, 32767, 43690, 54612, 65535}));
    EXPECT_EQ(pages[2].rows, (std::vector<std::uint16_t>{65535, 0, 0, 0, 0, 65535}));
    EXPECT_EQ(pages[0].orientation, ORIENTATION_BOTLEFT);
    EXPECT_EQ(pages[0].description, "ImageJ=1.11a\nimages=3\nframes=3\nhyperstack=true\nloop=false\n");
    EXPECT_EQ(pages[1].description, "");
    EXPECT_EQ(pages[2].description, "");
}

TEST_F(TiffStackTest, PortableStackWithPixelSizeIsCalibratedForImageJ) {
    ExportOptions o;
    o.layout = Layout::kPortable;
    o.compression = Compression::kLzw;  // built into every libtiff
    o.pixelSize = {6.5, 6.5};
    const std::string path = dir / "p.tiff";
    TiffStackWriter stack(path, kStandardizedTiff, 2, o);
    const std::vector<std::uint16_t> a = Ramp(8, 1, 1), b = Ramp(8, 100, 3);
    ASSERT_TRUE(stack.AddPage(test::SampleFrame(4, 2, a)).ok());
    ASSERT_TRUE(stack.AddPage(test::SampleFrame(4, 2, b)).ok());
    ASSERT_TRUE(stack.Finish().ok());
    const std::vector<StackPage> pages = ReadStack(path);
    ASSERT_EQ(pages.size(), 2u);
    // Top row first: the frame's second row.
    EXPECT_EQ(pages[1].rows, (std::vector<std::uint16_t>{112, 115, 118, 121, 100, 103, 106, 109}));
    EXPECT_EQ(pages[0].orientation, ORIENTATION_TOPLEFT);
    for (const StackPage& p : pages) {
        EXPECT_EQ(p.unit, RESUNIT_CENTIMETER);
        EXPECT_NEAR(p.xResolution, 1538.46, 0.01);
    }
    // ImageJ takes "um" with a centimetre resolution as micrometres (x 10000).
    EXPECT_EQ(pages[0].description, "ImageJ=1.11a\nimages=2\nframes=2\nhyperstack=true\nunit=um\nloop=false\n");
}

TEST_F(TiffStackTest, ExactLayoutStackTakesThePixelSizeToo) {
    ExportOptions o;
    o.pixelSize = {0.65, 0.65};
    const std::string path = dir / "e.tiff";
    TiffStackWriter stack(path, kStandardizedTiff, 1, o);
    ASSERT_TRUE(stack.AddPage(test::SampleFrame(2, 1, {7, 8})).ok());
    ASSERT_TRUE(stack.Finish().ok());
    const std::vector<StackPage> pages = ReadStack(path);
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0].orientation, ORIENTATION_BOTLEFT);
    EXPECT_NEAR(pages[0].xResolution, 15384.6, 0.1);
}

TEST(StackSizeTest, BigTiffWhenTheCodecsWorstCaseCouldPassFourGibibytes) {
    const struct {
        std::uint64_t pages;
        std::uint32_t width, height;
        Compression codec;
        bool big;
        bool ownBound = false;  ///< holds for the bound of the codec's own library only
    } cases[] = {
        // 2048 x 2048 pages of 8 MiB each: 511 fit a classic TIFF with room to spare, 512 do not.
        {511, 2048, 2048, Compression::kNone, false},
        {512, 2048, 2048, Compression::kNone, true},
        {32768, 32, 32, Compression::kNone, false},
        {32768, 256, 256, Compression::kNone, true},
        // 2.95 GiB of samples: noisy 16-bit frames grow by more than a third under LZW.
        {377, 2048, 2048, Compression::kNone, false},
        {377, 2048, 2048, Compression::kLzw, true},
        {341, 2048, 2048, Compression::kLzw, true},
        {340, 2048, 2048, Compression::kLzw, false},
        // Deflate and zstd add a little to samples that do not compress: some 16 KiB a page
        // of slack is too little for libzstd's bound, enough for libdeflate's.
        {377, 2048, 2048, Compression::kDeflate, false},
        {377, 2048, 2048, Compression::kZstd, false},
        {511, 2048, 2048, Compression::kDeflate, false, true},
        {511, 2048, 2048, Compression::kZstd, true},
        {512, 2048, 2048, Compression::kDeflate, true},
    };
    for (const auto& c : cases) {
        // Where libtiff encodes the codec, its bound is a rounder one.
        if (c.ownBound && !EncodesItself(c.codec)) continue;
        EXPECT_EQ(StackNeedsBigTiff(c.pages, c.width, c.height, c.codec), c.big)
            << c.pages << " x " << c.width << " x " << c.height << " " << CompressionName(c.codec);
        EXPECT_GE(StackBytesAtMost(c.pages, c.width, c.height, c.codec), c.pages * c.width * c.height * 2);
    }
}

// The bound holds for what the codecs really write from samples that do not compress: noise
// over all 16 bits, with and without the predictor, in pages of one strip and of several.
TEST_F(TiffStackTest, AStackOfNoiseStaysWithinTheBoundOfItsCodec) {
    std::uint32_t seed = 12345;
    auto noise = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return static_cast<std::uint16_t>(seed >> 16);
    };
    for (auto [w, h] : {std::pair<std::int16_t, std::int16_t>{64, 48}, {700, 400}}) {
        std::vector<std::uint16_t> samples(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
        for (Compression codec : {Compression::kNone, Compression::kDeflate, Compression::kZstd, Compression::kLzw}) {
            if (!CompressionAvailable(codec)) continue;
            for (const bool predictor : {false, true}) {
                ExportOptions o;
                o.compression = codec;
                o.predictor = predictor && codec != Compression::kNone;
                const std::string path = dir / "noise.tiff";
                TiffStackWriter stack(path, kStandardizedTiff, 3, o);
                for (int p = 0; p < 3; ++p) {
                    for (std::uint16_t& v : samples) v = noise();
                    ASSERT_TRUE(stack.AddPage(test::SampleFrame(w, h, samples)).ok());
                }
                ASSERT_TRUE(stack.Finish().ok());
                const auto bytes = test::ReadBytes(path).size();
                EXPECT_LE(bytes, StackBytesAtMost(3, static_cast<std::uint32_t>(w), static_cast<std::uint32_t>(h), codec))
                    << CompressionName(codec) << (predictor ? " with the predictor " : " ") << w;
                // Noise does not compress: a bound near the samples' size is no bound at all.
                EXPECT_GT(bytes, samples.size() * 2 * 3 * 99 / 100) << CompressionName(codec) << " " << w;
            }
        }
    }
}

// Every codec, with and without the predictor, in both layouts: each page reads back
// through libtiff as the frame it was made from.
TEST_F(TiffStackTest, EveryCodecPredictorAndLayoutReadsBackPageByPage) {
    // Three strips a page, the last short, so that strip order and row order both show.
    const std::int16_t w = 700, h = 400;
    std::vector<std::vector<std::uint16_t>> frames;
    for (std::uint16_t f = 0; f < 3; ++f) {
        std::vector<std::uint16_t> s(static_cast<std::size_t>(w) * h);
        for (std::size_t i = 0; i < s.size(); ++i) s[i] = static_cast<std::uint16_t>(i * (f + 1) * 7 + (i / w) * 13);
        frames.push_back(std::move(s));
    }
    for (Compression codec : {Compression::kNone, Compression::kDeflate, Compression::kZstd, Compression::kLzw}) {
        if (!CompressionAvailable(codec)) continue;
        for (Layout layout : {Layout::kExact, Layout::kPortable}) {
            for (const bool predictor : {false, true}) {
                if (predictor && codec == Compression::kNone) continue;
                ExportOptions o;
                o.compression = codec;
                o.layout = layout;
                o.predictor = predictor;
                const std::string name = std::string(CompressionName(codec)) + LayoutName(layout) + (predictor ? "p" : "");
                // One job, and workers that compress the pages while the next ones come.
                for (const int jobs : {3, 1}) {
                    TiffStackWriter stack(dir / (name + std::to_string(jobs) + ".tiff"), kStandardizedTiff, 3, o);
                    stack.EncodeWith(jobs);
                    for (const auto& f : frames) ASSERT_TRUE(stack.AddPage(test::SampleFrame(w, h, f)).ok()) << name;
                    ASSERT_TRUE(stack.Finish().ok()) << name;
                }
                const std::string path = dir / (name + "1.tiff");
                EXPECT_EQ(test::ReadBytes(dir / (name + "3.tiff")), test::ReadBytes(path)) << name;
                const std::vector<StackPage> pages = ReadStack(path);
                ASSERT_EQ(pages.size(), 3u) << name;
                for (std::size_t p = 0; p < 3; ++p) {
                    std::vector<std::uint16_t> want = frames[p];
                    if (layout == Layout::kPortable) {
                        for (std::int16_t r = 0; r < h; ++r) {
                            std::copy_n(frames[p].begin() + std::ptrdiff_t{h - 1 - r} * w, w,
                                        want.begin() + std::ptrdiff_t{r} * w);
                        }
                    }
                    EXPECT_EQ(pages[p].rows, want) << name << " page " << p;
                }
            }
        }
    }
}

TEST_F(TiffStackTest, ForcedBigTiffReadsBackWithEveryPage) {
    ExportOptions o;
    o.bigTiff = true;
    const std::string path = dir / "b.tiff";
    TiffStackWriter stack(path, kStandardizedTiff, 2, o);
    ASSERT_TRUE(stack.AddPage(test::SampleFrame(2, 1, {1, 2})).ok());
    ASSERT_TRUE(stack.AddPage(test::SampleFrame(2, 1, {3, 4})).ok());
    ASSERT_TRUE(stack.Finish().ok());
    EXPECT_TRUE(stack.bigTiff());
    const std::vector<std::uint8_t> raw = test::ReadBytes(path);
    EXPECT_EQ(test::Le16(raw, 2), 43);  // BigTIFF
    bool big = false;
    const std::vector<StackPage> pages = ReadStack(path, &big);
    EXPECT_TRUE(big);
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_EQ(pages[1].rows, (std::vector<std::uint16_t>{3, 4}));
}

TEST_F(TiffStackTest, AStackThatWouldPassFourGibibytesStartsAsBigTiffAndAnUnfinishedOneLeavesNothing) {
    test::WriteBytes(dir / "huge.tiff", {'o', 'l', 'd'});
    {
        // 40000 pages of 256 x 256 would be 5 GiB; two are written, then the run stops.
        TiffStackWriter stack(dir / "huge.tiff", kStandardizedTiff, 40000, ExportOptions{});
        const std::vector<std::uint16_t> page(256 * 256, 9);
        ASSERT_TRUE(stack.AddPage(test::SampleFrame(256, 256, page)).ok());
        ASSERT_TRUE(stack.AddPage(test::SampleFrame(256, 256, page)).ok());
        EXPECT_TRUE(stack.bigTiff());
    }
    EXPECT_EQ(test::Entries(dir.path()), std::vector<std::string>{"huge.tiff"});
    EXPECT_EQ(test::ReadBytes(dir / "huge.tiff"), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
}

TEST_F(TiffStackTest, FewerPagesThanAnnouncedOrAPageOfAnotherSizeIsRefused) {
    TiffStackWriter short3(dir / "short.tiff", kStandardizedTiff, 3, ExportOptions{});
    ASSERT_TRUE(short3.AddPage(test::SampleFrame(2, 1, {1, 2})).ok());
    const Status finished = short3.Finish();
    ASSERT_FALSE(finished.ok());
    EXPECT_EQ(finished.message(), "the stack has 1 of its 3 pages; not written");

    TiffStackWriter mixed(dir / "mixed.tiff", kStandardizedTiff, 2, ExportOptions{});
    ASSERT_TRUE(mixed.AddPage(test::SampleFrame(2, 1, {1, 2})).ok());
    const Status other = mixed.AddPage(test::SampleFrame(1, 2, {1, 2}));
    ASSERT_FALSE(other.ok());
    EXPECT_EQ(other.message(), "the frame is 1 x 2, the stack's pages 2 x 1");
    EXPECT_FALSE(mixed.Finish().ok());
    EXPECT_TRUE(test::Entries(dir.path()).empty());

    // With workers compressing pages: the same refusals, nothing left behind.
    for (Compression codec : {Compression::kDeflate, Compression::kZstd}) {
        if (!CompressionAvailable(codec)) continue;
        ExportOptions o;
        o.compression = codec;
        {
            TiffStackWriter stopped(dir / "stopped.tiff", kNormalizedTiff, 5, o);
            stopped.EncodeWith(2);
            for (std::uint16_t v = 1; v <= 4; ++v) ASSERT_TRUE(stopped.AddPage(test::SampleFrame(2, 1, {v, 9})).ok());
        }
        TiffStackWriter short2(dir / "short.tiff", kNormalizedTiff, 3, o);
        short2.EncodeWith(2);
        ASSERT_TRUE(short2.AddPage(test::SampleFrame(2, 1, {1, 2})).ok());
        ASSERT_TRUE(short2.AddPage(test::SampleFrame(2, 1, {1, 2})).ok());
        EXPECT_EQ(short2.Finish().message(), "the stack has 2 of its 3 pages; not written");
        EXPECT_TRUE(test::Entries(dir.path()).empty()) << CompressionName(codec);
    }
}

}  // namespace
}  // namespace qf
