// The portable layout, compression and pixel size, checked against today's exact files:
// TIFFs read back through libtiff, raw directories read without it, bitmap headers built
// by hand from the field table.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <charconv>
#include <clocale>
#include <cmath>
#include <vector>

#include "export/export_kinds.h"
#include "export/export_options.h"
#include "export/page_encoder.h"
#include "export/tiff_export.h"
#include "test/frames.h"
#include "test/temp_folder.h"

namespace qf {
namespace {

using Bytes = std::vector<std::uint8_t>;

ExportOptions Portable(Compression compression = Compression::kNone, PixelSize size = {}) {
    ExportOptions o;
    o.layout = Layout::kPortable;
    o.compression = compression;
    o.pixelSize = size;
    return o;
}

// A w x h frame with every sample different, so that a row out of place shows.
FrameImage Distinct(const ExportKindInfo& kind, std::int16_t w, std::int16_t h) {
    const std::size_t n = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
    if (kind.highBytes) {
        std::vector<std::uint8_t> px(n);
        for (std::size_t i = 0; i < n; ++i) px[i] = static_cast<std::uint8_t>(i * 37 + 11);
        return test::GrayFrame(w, h, px);
    }
    std::vector<std::uint16_t> s(n);
    for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<std::uint16_t>(i * 997 + 3);
    return test::SampleFrame(w, h, s);
}

struct ReadBack {
    std::uint32_t width = 0, height = 0;
    std::uint16_t orientation = 0, compression = 0, predictor = 0, resolutionUnit = 0;
    float xResolution = 0, yResolution = 0;
    bool hasFillOrder = false, hasXResolution = false;
    std::vector<std::uint16_t> rows;  ///< as stored, first stored row first
};

ReadBack ReadTiff(const std::string& path) {
    ReadBack r;
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    if (!tif) {
        ADD_FAILURE() << "libtiff cannot open " << path;
        return r;
    }
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &r.width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &r.height);
    TIFFGetField(tif, TIFFTAG_ORIENTATION, &r.orientation);
    TIFFGetField(tif, TIFFTAG_COMPRESSION, &r.compression);
    TIFFGetField(tif, TIFFTAG_PREDICTOR, &r.predictor);
    std::uint16_t fill = 0;
    r.hasFillOrder = TIFFGetField(tif, TIFFTAG_FILLORDER, &fill) == 1;
    r.hasXResolution = TIFFGetField(tif, TIFFTAG_XRESOLUTION, &r.xResolution) == 1;
    TIFFGetField(tif, TIFFTAG_YRESOLUTION, &r.yResolution);
    TIFFGetField(tif, TIFFTAG_RESOLUTIONUNIT, &r.resolutionUnit);
    r.rows.resize(std::size_t{r.width} * r.height);
    for (std::uint32_t row = 0; row < r.height; ++row) {
        if (TIFFReadScanline(tif, r.rows.data() + std::size_t{row} * r.width, row) < 0) {
            ADD_FAILURE() << "row " << row << " of " << path << " does not read";
        }
    }
    TIFFClose(tif);
    return r;
}

std::vector<std::uint16_t> Flipped(const std::vector<std::uint16_t>& rows, std::uint32_t w, std::uint32_t h) {
    std::vector<std::uint16_t> out(rows.size());
    for (std::uint32_t r = 0; r < h; ++r) {
        std::copy_n(rows.begin() + std::ptrdiff_t{r} * w, w, out.begin() + std::ptrdiff_t{h - 1 - r} * w);
    }
    return out;
}

// The tags of the first directory, read straight from the bytes (classic, little-endian).
std::vector<std::uint16_t> DirectoryTags(const Bytes& raw) {
    const std::uint32_t ifd = test::Le32(raw, 4);
    std::vector<std::uint16_t> tags;
    for (std::uint16_t i = 0; i < test::Le16(raw, ifd); ++i) tags.push_back(test::Le16(raw, ifd + 2 + 12u * i));
    return tags;
}

Status Write16(const std::string& path, const FrameImage& frame, const ExportOptions& options) {
    return WriteStandardizedTiff(path, frame, options);
}

class LayoutTest : public test::TempFolderTest {
protected:
    std::string Write(const ExportKindInfo& kind, const FrameImage& frame, const ExportOptions& options,
                      const std::string& stem) {
        const std::string path = dir / (stem + kind.extension);
        EXPECT_TRUE(kind.write(path, frame, options).ok()) << kind.name << " " << stem;
        return path;
    }
};

// The sizes that trip row handling: odd widths (bitmap padding), one pixel, and a frame
// taller than one strip of the portable layout.
const std::pair<std::int16_t, std::int16_t> kSizes[] = {{5, 3}, {1, 1}, {641, 481}};

TEST_F(LayoutTest, PortableTiffReadsBackAsTheExactFileFlipped) {
    for (const ExportKindInfo& kind : ExportKinds()) {
        if (!kind.tiff) continue;
        for (auto [w, h] : kSizes) {
            const FrameImage frame = Distinct(kind, w, h);
            const ReadBack exact = ReadTiff(Write(kind, frame, {}, "exact"));
            const ReadBack portable = ReadTiff(Write(kind, frame, Portable(), "portable"));
            ASSERT_EQ(portable.width, exact.width);
            ASSERT_EQ(portable.height, exact.height);
            EXPECT_EQ(exact.orientation, ORIENTATION_BOTLEFT);
            EXPECT_EQ(portable.orientation, ORIENTATION_TOPLEFT);
            EXPECT_EQ(portable.rows, Flipped(exact.rows, exact.width, exact.height)) << kind.name << " " << w << "x" << h;
        }
    }
}

TEST_F(LayoutTest, PortableTiffHasResolutionTagsAndNoFillOrder) {
    const ExportKindInfo& kind = *FindExportKind(kStandardizedTiff);
    const FrameImage frame = Distinct(kind, 4, 2);
    const std::string path = Write(kind, frame, Portable(), "p");
    const ReadBack r = ReadTiff(path);
    EXPECT_FALSE(r.hasFillOrder);
    EXPECT_TRUE(r.hasXResolution);
    EXPECT_EQ(r.resolutionUnit, RESUNIT_NONE);
    EXPECT_FLOAT_EQ(r.xResolution, 1.0F);
    EXPECT_FLOAT_EQ(r.yResolution, 1.0F);
    // Baseline tags, in the file itself: no FillOrder (266), resolution 282, 283, 296.
    EXPECT_EQ(DirectoryTags(test::ReadBytes(path)),
              (std::vector<std::uint16_t>{256, 257, 258, 259, 262, 273, 274, 277, 278, 279, 282, 283, 284, 296}));
}

TEST_F(LayoutTest, PixelSizeBecomesPixelsPerCentimetre) {
    const ExportKindInfo& kind = *FindExportKind(kNormalizedTiff);
    const ReadBack r = ReadTiff(Write(kind, Distinct(kind, 3, 3), Portable(Compression::kNone, {6.5, 8.0}), "px"));
    EXPECT_EQ(r.resolutionUnit, RESUNIT_CENTIMETER);
    EXPECT_NEAR(r.xResolution, 10000.0 / 6.5, 0.01);  // 1538.46 pixels a centimetre
    EXPECT_NEAR(r.yResolution, 1250.0, 0.01);
}

// The text of `um` micrometres that reads back as that very double.
std::string MicrometresText(double um) {
    char text[400];
    const auto [end, error] = std::to_chars(text, text + sizeof text, um, std::chars_format::fixed);
    EXPECT_EQ(error, std::errc());
    return std::string(text, end) + "um";
}

bool Accepted(double um) { return ParsePixelSize(MicrometresText(um)).ok(); }

// The smallest size the parser takes, to the last bit: between a refused and a taken size.
double SmallestAccepted(double refused, double taken) {
    while (std::nextafter(refused, taken) != taken) {
        const double middle = refused + (taken - refused) / 2;
        (Accepted(middle) ? taken : refused) = middle;
    }
    return taken;
}

TEST_F(LayoutTest, EveryAcceptedPixelSizeReadsBackAndTheFirstRefusedOneWouldNot) {
    const ExportKindInfo& kind = *FindExportKind(kStandardizedTiff);
    const FrameImage frame = Distinct(kind, 3, 2);
    const double smallest = SmallestAccepted(1e-6, 1e-5);
    const double largest = 1e6;  // a metre: beyond it a size is a typing slip
    ASSERT_TRUE(Accepted(largest));
    EXPECT_FALSE(Accepted(std::nextafter(largest, 1e7)));
    const struct {
        const char* what;
        double um;
        bool readsBack;
    } cases[] = {
        {"the smallest accepted", smallest, true},
        {"the largest accepted", largest, true},
        {"the next smaller, refused", std::nextafter(smallest, 0.0), false},
    };
    for (const auto& c : cases) {
        const ReadBack r = ReadTiff(Write(kind, frame, Portable(Compression::kNone, {c.um, c.um}), c.what));
        // libtiff holds a resolution as a float: that is all the precision it keeps.
        const double want = 10000.0 / c.um;
        const bool readsBack = std::abs(r.xResolution - want) <= want * 1e-7 &&
                               std::abs(r.yResolution - want) <= want * 1e-7;
        EXPECT_EQ(readsBack, c.readsBack) << c.what << " (" << MicrometresText(c.um) << "): written "
                                          << r.xResolution << " x " << r.yResolution << " for " << want;
    }
}

TEST_F(LayoutTest, ExactLayoutIgnoresPixelSizeAndKeepsTodaysBytes) {
    for (const ExportKindInfo& kind : ExportKinds()) {
        const FrameImage frame = Distinct(kind, 5, 3);
        ExportOptions withSize;
        withSize.pixelSize = {6.5, 6.5};
        EXPECT_EQ(test::ReadBytes(Write(kind, frame, withSize, "a")), test::ReadBytes(Write(kind, frame, {}, "b")))
            << kind.name;
    }
}

// The 54 header bytes of a bitmap, spelled out from the field table.
Bytes BitmapHeaders(std::uint32_t size, std::uint8_t reserved, std::uint32_t offBits, std::int32_t w, std::int32_t h,
                    std::uint16_t bits, std::uint32_t pelsX = 0, std::uint32_t pelsY = 0) {
    Bytes b = {'B', 'M'};
    auto le32 = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    };
    le32(size);
    b.insert(b.end(), 4, reserved);  // bfReserved1, bfReserved2
    le32(offBits);
    le32(40);
    le32(static_cast<std::uint32_t>(w));
    le32(static_cast<std::uint32_t>(h));
    b.insert(b.end(), {1, 0, static_cast<std::uint8_t>(bits), 0});  // planes, bit count
    le32(0);                                                        // compression
    le32(0);                                                        // size of image
    le32(pelsX);
    le32(pelsY);
    le32(0);  // colours used
    le32(0);  // colours important
    return b;
}

TEST_F(LayoutTest, PortableBitmapDiffersOnlyInTheReservedBytes) {
    for (const ExportKindInfo& kind : ExportKinds()) {
        if (kind.tiff) continue;
        for (auto [w, h] : kSizes) {
            const FrameImage frame = Distinct(kind, w, h);
            const Bytes exact = test::ReadBytes(Write(kind, frame, {}, "exact"));
            const Bytes portable = test::ReadBytes(Write(kind, frame, Portable(), "portable"));
            ASSERT_EQ(portable.size(), exact.size());
            const std::uint32_t offBits = kind.highBytes ? 1078 : 54;
            const std::uint32_t rowBytes = kind.highBytes ? (w + 3) / 4 * 4 : 3 * w + w % 4;
            const std::uint32_t size = offBits + rowBytes * h;
            const std::uint16_t bits = kind.highBytes ? 8 : 24;
            const Bytes head(portable.begin(), portable.begin() + 54);
            EXPECT_EQ(head, BitmapHeaders(size, 0x00, offBits, w, h, bits)) << kind.name;
            EXPECT_EQ(Bytes(exact.begin(), exact.begin() + 54), BitmapHeaders(size, 0xFF, offBits, w, h, bits));
            for (std::size_t i = 0; i < exact.size(); ++i) {
                if (i >= 6 && i <= 9) continue;
                ASSERT_EQ(portable[i], exact[i]) << kind.name << " byte " << i;
            }
        }
    }
}

TEST_F(LayoutTest, PortableBitmapWithPixelSizeStatesPixelsPerMetre) {
    const ExportKindInfo& kind = *FindExportKind(kFalseColorBitmap);
    const Bytes b = test::ReadBytes(Write(kind, Distinct(kind, 4, 1), Portable(Compression::kNone, {6.5, 8.0}), "px"));
    // 1 m / 6.5 um = 153846.15 pixels, rounded; 1 m / 8 um = 125000.
    EXPECT_EQ(Bytes(b.begin(), b.begin() + 54), BitmapHeaders(54 + 12, 0x00, 54, 4, 1, 24, 153846, 125000));
}

// The first bytes of each strip as stored: a zlib stream's header for deflate (what
// Compression 8 holds), a zstd frame's magic number for zstd.
std::vector<Bytes> RawStripHeads(const std::string& path) {
    std::vector<Bytes> heads;
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    if (!tif) return heads;
    for (std::uint32_t s = 0; s < TIFFNumberOfStrips(tif); ++s) {
        Bytes raw(TIFFRawStripSize(tif, s) > 0 ? static_cast<std::size_t>(TIFFRawStripSize(tif, s)) : 0);
        TIFFReadRawStrip(tif, s, raw.data(), static_cast<tmsize_t>(raw.size()));
        heads.emplace_back(raw.begin(), raw.begin() + std::min<std::ptrdiff_t>(4, static_cast<std::ptrdiff_t>(raw.size())));
    }
    TIFFClose(tif);
    return heads;
}

bool StripHeadIs(Compression c, const Bytes& head) {
    if (head.size() < 4) return false;
    switch (c) {
        // CMF 0x78 (deflate, 32 KiB window) and a check that makes CMF.FLG a multiple of 31.
        case Compression::kDeflate: return head[0] == 0x78 && ((head[0] << 8) | head[1]) % 31 == 0;
        case Compression::kZstd: return head == Bytes{0x28, 0xB5, 0x2F, 0xFD};
        default: return true;
    }
}

TEST_F(LayoutTest, EveryCompressionReadsBackTheSameSamples) {
    const ExportKindInfo& kind = *FindExportKind(kStandardizedTiff);
    // A smooth 12-bit ramp with a little structure, what a beam frame looks like to a codec,
    // in one strip; a frame of three strips, the last one short; a column, the predictor's
    // edge (no left neighbour).
    const std::pair<std::int16_t, std::int16_t> sizes[] = {{300, 200}, {641, 481}, {1, 5}};
    const std::uint16_t tags[] = {COMPRESSION_NONE, COMPRESSION_ADOBE_DEFLATE, COMPRESSION_ZSTD, COMPRESSION_LZW};
    for (auto [w, h] : sizes) {
        std::vector<std::uint16_t> s(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
        for (std::size_t i = 0; i < s.size(); ++i) {
            s[i] = static_cast<std::uint16_t>((i % w) * 13 + (i / w) * 3 + i % 7 + (i % 11 == 0 ? 60000 : 0));
        }
        const FrameImage frame = test::SampleFrame(w, h, s);
        const std::uintmax_t plain = test::ReadBytes(Write(kind, frame, Portable(), "none")).size();
        for (Compression c : {Compression::kDeflate, Compression::kZstd, Compression::kLzw}) {
            if (!CompressionAvailable(c)) {
                // A libtiff without the codec (the Windows build's): refused in words, nothing written.
                const Status refused = Write16(dir / "no.tiff", frame, Portable(c));
                EXPECT_EQ(refused.kind(), ErrorKind::kCannotCreate);
                EXPECT_EQ(refused.message(), std::string("cannot create: this build's libtiff cannot write ") +
                                                 CompressionName(c) + " compression");
                EXPECT_FALSE(test::FileExists(dir / "no.tiff"));
                continue;
            }
            // Each codec's fastest, usual and smallest level (lzw has none).
            const LevelRange range = LevelsOf(c);
            const std::vector<int> levels = range.any() ? std::vector<int>{range.lowest, 0, range.highest}
                                                        : std::vector<int>{0};
            for (Layout layout : {Layout::kExact, Layout::kPortable}) {
                for (const bool predictor : {false, true}) {
                    for (const int level : levels) {
                        ExportOptions o = Portable(c);
                        o.layout = layout;
                        o.predictor = predictor;
                        o.level = level;
                        const std::string name = std::string(CompressionName(c)) + LayoutName(layout) +
                                                 (predictor ? "p" : "") + std::to_string(level) + "-" +
                                                 std::to_string(w);
                        const std::string path = Write(kind, frame, o, name);
                        const ReadBack r = ReadTiff(path);
                        const std::vector<std::uint16_t> want = layout == Layout::kPortable ? Flipped(s, w, h) : s;
                        EXPECT_EQ(r.rows, want) << name;
                        EXPECT_EQ(r.compression, tags[static_cast<int>(c)]) << name;
                        // The predictor only when asked for: some readers do not undo it.
                        EXPECT_EQ(r.predictor, predictor ? PREDICTOR_HORIZONTAL : 0) << name;
                        for (const Bytes& head : RawStripHeads(path)) EXPECT_TRUE(StripHeadIs(c, head)) << name;
                        // LZW without a predictor often grows 16-bit frames; the predicted codecs never should.
                        if (predictor && c != Compression::kLzw && w > 1) {
                            EXPECT_LT(test::ReadBytes(path).size(), plain) << name;
                        }
                    }
                }
            }
        }
        // The pulled samples are handed to the writer as they stand; no codec may change them.
        EXPECT_EQ(std::vector<std::uint16_t>(frame.samples.get(), frame.samples.get() + s.size()), s);
    }
}

TEST(ExportOptionsTest, PixelSizesInEveryUnit) {
    auto um = [](const std::string& text) {
        const Result<PixelSize> r = ParsePixelSize(text);
        return r.ok() ? std::make_pair(r.value().widthUm, r.value().heightUm) : std::make_pair(-1.0, -1.0);
    };
    EXPECT_EQ(um("6.5um"), std::make_pair(6.5, 6.5));
    EXPECT_EQ(um("6.5"), std::make_pair(6.5, 6.5));
    EXPECT_EQ(um("6.5\xC2\xB5m"), std::make_pair(6.5, 6.5));
    EXPECT_NEAR(um("650nm").first, 0.65, 1e-12);
    EXPECT_NEAR(um("0.0065mm").first, 6.5, 1e-12);
    EXPECT_EQ(um("6.5x8um"), std::make_pair(6.5, 8.0));
    EXPECT_EQ(um("6.5umx8"), std::make_pair(6.5, 8.0));
    EXPECT_NEAR(um("1mmx500nm").second, 0.5, 1e-12);
    EXPECT_EQ(um("6.5\xCE\xBCm"), std::make_pair(6.5, 6.5));  // the Greek small mu
    EXPECT_EQ(um("6.5x8\xCE\xBCm"), std::make_pair(6.5, 8.0));
    EXPECT_EQ(um(".5um"), std::make_pair(0.5, 0.5));
}

// The dialog runs in the user's locale, whose decimal point may be a comma.
TEST(ExportOptionsTest, PixelSizesReadTheSameInACommaDecimalLocale) {
    const std::string before = std::setlocale(LC_NUMERIC, nullptr);
    const char* comma = nullptr;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "nl_NL.UTF-8", "ru_RU.UTF-8"}) {
        if (std::setlocale(LC_NUMERIC, name) && *std::localeconv()->decimal_point == ',') {
            comma = name;
            break;
        }
    }
    if (!comma) {
        std::setlocale(LC_NUMERIC, before.c_str());
        GTEST_SKIP() << "no locale with a decimal comma is installed (localedef -i de_DE -f UTF-8 de_DE.UTF-8)";
    }
    const struct {
        const char* text;
        double width, height;
    } cases[] = {{"6.5um", 6.5, 6.5}, {"6.5", 6.5, 6.5}, {"6.5x7.25um", 6.5, 7.25}, {"0.0065mm", 6.5, 6.5}};
    for (const auto& c : cases) {
        const Result<PixelSize> r = ParsePixelSize(c.text);
        EXPECT_TRUE(r.ok() && std::abs(r.value().widthUm - c.width) < 1e-12 &&
                    std::abs(r.value().heightUm - c.height) < 1e-12)
            << c.text << " in " << comma << ": " << (r.ok() ? "" : r.message());
    }
    EXPECT_FALSE(ParsePixelSize("6,5um").ok()) << comma;  // one spelling, whatever the locale
    std::setlocale(LC_NUMERIC, before.c_str());
}

TEST(ExportOptionsTest, SizesATiffCannotHoldAreRefusedWithTheRange) {
    for (const char* text : {"0.0023283nm", "0.001nm", "0.000001um", "1000.001mm", "6.5umx0.002nm"}) {
        const Result<PixelSize> r = ParsePixelSize(text);
        ASSERT_FALSE(r.ok()) << text;
        EXPECT_EQ(r.message(), "'" + std::string(text) + "': a pixel size is from 0.0023284 nm (the finest a "
                                                         "TIFF's resolution holds) to 1000 mm");
    }
    // The ends the message names are taken.
    EXPECT_TRUE(ParsePixelSize("0.0023284nm").ok());
    EXPECT_TRUE(ParsePixelSize("1000mm").ok());
}

TEST(ExportOptionsTest, RefusesWhatIsNoPixelSize) {
    for (const char* bad : {"", "um", "0um", "-1um", "6.5cm", "6,5um", "1e3um", "x", "6.5x", "6.5x0", "nan",
                            "6.5um x 7um", "1..2um"}) {
        const Result<PixelSize> r = ParsePixelSize(bad);
        ASSERT_FALSE(r.ok()) << bad;
        EXPECT_NE(r.message().find("is no pixel size"), std::string::npos) << bad;
    }
}

TEST(ExportOptionsTest, NamesRoundTrip) {
    for (Compression c : {Compression::kNone, Compression::kDeflate, Compression::kZstd, Compression::kLzw}) {
        ASSERT_TRUE(ParseCompression(CompressionName(c)).ok());
        EXPECT_EQ(ParseCompression(CompressionName(c)).value(), c);
    }
    EXPECT_EQ(ParseLayout("portable").value(), Layout::kPortable);
    EXPECT_EQ(ParseLayout("exact").value(), Layout::kExact);
    EXPECT_FALSE(ParseLayout("flipped").ok());
    EXPECT_FALSE(ParseCompression("jpeg").ok());
}

}  // namespace
}  // namespace qf
