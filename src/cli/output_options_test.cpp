// --layout, --compress and --pixel-size end to end through quillfen-cli: what each refuses
// and why, what lands on disk, and what the report says.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <nlohmann/json.hpp>

#include "cli/cli_test_support.h"
#include "export/export_options.h"
#include "export/page_encoder.h"
#include "test/temp_folder.h"
#include "tools/synthetic_beam.h"

namespace qf {
namespace {

class OutputOptionsTest : public test::CliFixture {
protected:
    void SetUp() override {
        BeamSettings s;
        s.width = 7;
        s.height = 5;
        s.frames = 3;
        s.bits = 12;
        ASSERT_TRUE(WriteSyntheticBeam(dir / "scan.orx", s).ok());
    }
    // A run that must be refused before anything is written: exit 2, one line saying why.
    void ExpectUsageError(std::vector<std::string> args, const std::string& why) {
        args.insert(args.begin(), "convert");
        args.push_back(dir.path());
        EXPECT_EQ(Run(args), kExitUsage) << err.str();
        ASSERT_EQ(Lines().size(), 1u) << err.str();
        EXPECT_NE(Lines()[0].find(why), std::string::npos) << Lines()[0];
        EXPECT_EQ(test::Entries(dir.path()), std::vector<std::string>{"scan.orx"});
    }
};

TEST_F(OutputOptionsTest, RefusesCombinationsThatCannotBeWrittenAndSaysWhy) {
    ExpectUsageError({"--pixel-size", "6.5um"}, "--pixel-size needs --layout portable");
    ExpectUsageError({"--layout", "exact", "--pixel-size", "6.5um"}, "--pixel-size needs --layout portable");
    ExpectUsageError({"--kind", "grayscale-bmp", "--compress", "zstd"},
                     "--compress zstd applies to the TIFF kinds only; grayscale-bmp is an uncompressed bitmap");
    ExpectUsageError({"--kind", "3", "--compress", "deflate", "--layout", "portable"}, "applies to the TIFF kinds only");
    ExpectUsageError({"--layout", "upright"}, "'upright' is no layout; use exact or portable");
    ExpectUsageError({"--compress", "jpeg"}, "'jpeg' is no compression");
    ExpectUsageError({"--layout", "portable", "--pixel-size", "6.5cm"}, "'6.5cm' is no pixel size");
    ExpectUsageError({"--layout", "portable", "--pixel-size", "0.002nm"},
                     "'0.002nm': a pixel size is from 0.0023284 nm (the finest a TIFF's resolution holds) to 1000 mm");
}

// The choices that make files ImageJ will not show right are said once per run, however
// many inputs, before anything is written; the ones every reader reads say nothing.
TEST_F(OutputOptionsTest, ChoicesImageJCannotReadAreSaidOncePerRun) {
    ExpectUsageError({"--predictor"}, "--predictor applies with --compress");
    ExpectUsageError({"--ome"}, "--ome applies to --stack");
    ExpectUsageError({"--stack", "--ome", "--layout", "exact"}, "--ome writes rows top first");
    ASSERT_EQ(test::MakeDir(dir / "second"), 0);
    ASSERT_TRUE(WriteSyntheticBeam(dir / "second/scan.orx", BeamSettings{}).ok());
    const struct {
        std::vector<std::string> options;
        const char* said;  ///< the note's start, or null for none
    } cases[] = {
        {{"--compress", "deflate"}, nullptr},
        {{"--compress", "lzw", "--predictor"}, nullptr},
        {{"--compress", "zstd"}, "zstd-compressed TIFFs do not open in ImageJ 1.53t"},
        {{"--compress", "deflate", "--predictor"}, "ImageJ 1.53t reads deflate TIFFs written with --predictor"},
        {{"--stack", "--bigtiff"}, "BigTIFF stacks (--bigtiff) do not open in ImageJ 1.53t"},
        {{"--kind", "color-bmp"}, nullptr},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"convert", "--quiet", "--dry-run"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        args.insert(args.end(), {dir.path(), dir / "second"});
        EXPECT_EQ(Run(args), kExitOk) << err.str();
        int notes = 0;
        for (const std::string& line : Lines()) notes += line.rfind("quillfen-cli: note: ", 0) == 0;
        if (!c.said) {
            EXPECT_EQ(notes, 0) << c.options[1] << ": " << err.str();
            continue;
        }
        EXPECT_EQ(notes, 1) << c.options[1] << ": " << err.str();
        EXPECT_NE(err.str().find(std::string("quillfen-cli: note: ") + c.said), std::string::npos) << err.str();
    }
}

TEST_F(OutputOptionsTest, BitmapKindsTakeThePortableLayoutAndCompressNone) {
    EXPECT_EQ(Run({"convert", "--kind", "color-bmp", "--layout", "portable", "--compress", "none", dir.path()}), kExitOk)
        << err.str();
    const auto bytes = test::ReadBytes(dir / "scan.bmp");
    ASSERT_GT(bytes.size(), 10u);
    EXPECT_EQ(test::Le32(bytes, 6), 0u);  // reserved words
}

struct Page {
    std::uint16_t orientation = 0, compression = 0;
    float xResolution = 0;
    std::uint16_t unit = 0;
    std::vector<std::uint16_t> rows;
};

Page ReadPage(const std::string& path) {
    Page p;
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    if (!tif) {
        ADD_FAILURE() << path;
        return p;
    }
    std::uint32_t w = 0, h = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
    TIFFGetField(tif, TIFFTAG_ORIENTATION, &p.orientation);
    TIFFGetField(tif, TIFFTAG_COMPRESSION, &p.compression);
    TIFFGetField(tif, TIFFTAG_XRESOLUTION, &p.xResolution);
    TIFFGetField(tif, TIFFTAG_RESOLUTIONUNIT, &p.unit);
    p.rows.resize(std::size_t{w} * h);
    for (std::uint32_t r = 0; r < h; ++r) TIFFReadScanline(tif, p.rows.data() + std::size_t{r} * w, r);
    TIFFClose(tif);
    return p;
}

// zstd where this libtiff has it (Debian's does), else lzw (built into every libtiff).
const char* ACodec() { return CompressionAvailable(Compression::kZstd) ? "zstd" : "lzw"; }

// The libtiffs of both builds (Debian's; the Windows build's own, with zlib, libdeflate and
// zstd) write every codec --help lists, so that a command gives the same files on both.
TEST_F(OutputOptionsTest, EveryListedCodecIsBuiltIn) {
    for (Compression c : {Compression::kDeflate, Compression::kZstd, Compression::kLzw}) {
        EXPECT_TRUE(CompressionAvailable(c)) << CompressionName(c);
        EXPECT_EQ(Run({"convert", "--quiet", "--dry-run", "--compress", CompressionName(c), dir.path()}), kExitOk)
            << err.str();
    }
}

TEST_F(OutputOptionsTest, PortableCompressedRunWritesTheExactSamplesTopRowFirst) {
    ASSERT_EQ(Run({"convert", "--kind", "standardized-tiff", "--output-dir", dir / "exact", dir.path()}), kExitOk);
    for (const char* jobs : {"1", "3"}) {
        const std::string to = dir / (std::string("portable") + jobs);
        ASSERT_EQ(Run({"convert", "--kind", "standardized-tiff", "--layout", "portable", "--compress", ACodec(),
                       "--pixel-size", "6.5um", "--jobs", jobs, "--output-dir", to, dir.path()}),
                  kExitOk)
            << err.str();
        for (const char* name : {"scan.tiff", "scan1.tiff", "scan2.tiff"}) {
            const Page exact = ReadPage(dir / (std::string("exact/") + name));
            const Page portable = ReadPage(to + "/" + name);
            EXPECT_EQ(portable.orientation, ORIENTATION_TOPLEFT);
            EXPECT_EQ(portable.compression, std::string(ACodec()) == "zstd" ? COMPRESSION_ZSTD : COMPRESSION_LZW);
            EXPECT_EQ(portable.unit, RESUNIT_CENTIMETER);
            EXPECT_NEAR(portable.xResolution, 1538.46, 0.01);
            std::vector<std::uint16_t> flipped;
            for (int r = 4; r >= 0; --r) {
                flipped.insert(flipped.end(), exact.rows.begin() + r * 7, exact.rows.begin() + r * 7 + 7);
            }
            EXPECT_EQ(portable.rows, flipped) << name;
        }
    }
    // Several jobs write the same bytes as one.
    for (const char* name : {"scan.tiff", "scan1.tiff", "scan2.tiff"}) {
        EXPECT_EQ(test::ReadBytes(dir / (std::string("portable1/") + name)), test::ReadBytes(dir / (std::string("portable3/") + name))) << name;
    }
}

TEST_F(OutputOptionsTest, ReportNamesTheChosenLayout) {
    ASSERT_EQ(Run({"convert", "--dry-run", "--report", "-", dir.path()}), kExitOk);
    nlohmann::json plain = nlohmann::json::parse(out.str());
    EXPECT_EQ(plain["layout"], "exact");
    EXPECT_EQ(plain["compression"], "none");
    EXPECT_TRUE(plain["pixel_size_um"].is_null());
    ASSERT_EQ(Run({"convert", "--dry-run", "--report", "-", "--layout", "portable", "--compress", "lzw",
                   "--pixel-size", "650nmx0.7um", dir.path()}),
              kExitOk);
    nlohmann::json chosen = nlohmann::json::parse(out.str());
    EXPECT_EQ(chosen["layout"], "portable");
    EXPECT_EQ(chosen["compression"], "lzw");
    EXPECT_DOUBLE_EQ(chosen["pixel_size_um"]["width"].get<double>(), 0.65);
    EXPECT_DOUBLE_EQ(chosen["pixel_size_um"]["height"].get<double>(), 0.7);
    EXPECT_TRUE(chosen["level"].is_null());
    EXPECT_EQ(chosen["encoder"], "libtiff");
}

// --level: refused in one line that says what is allowed, for the codec it is given with.
TEST_F(OutputOptionsTest, LevelIsCheckedAgainstTheCodecAndSaysWhatIsAllowed) {
    ExpectUsageError({"--level", "3"}, "--level applies with --compress deflate or zstd (without compression there is no level)");
    ExpectUsageError({"--compress", "none", "--level", "1"}, "--level applies with --compress deflate or zstd");
    ExpectUsageError({"--compress", "lzw", "--level", "5"}, "--level applies to --compress deflate and zstd; lzw has no levels");
    ExpectUsageError({"--compress", "zstd", "--level", "0"}, "--level 0: zstd takes 1 (fastest) to 19 (smallest), default 1");
    ExpectUsageError({"--level", "20", "--compress", "zstd"}, "--level 20: zstd takes 1 (fastest) to 19 (smallest)");
    ExpectUsageError({"--compress", "zstd", "--level", "-3"}, "--level -3: zstd takes 1 (fastest) to 19");
    ExpectUsageError({"--compress", "deflate", "--level", "fast"}, "--level");
    const LevelRange deflate = LevelsOf(Compression::kDeflate);
    ExpectUsageError({"--compress", "deflate", "--level", std::to_string(deflate.highest + 1)},
                     "--level " + std::to_string(deflate.highest + 1) + ": deflate takes 1 (fastest) to " +
                         std::to_string(deflate.highest) + " (smallest)");
    // The ends of each range are taken, written, and reported.
    const struct {
        const char* codec;
        const char* level;
        int reported;
    } taken[] = {{"deflate", "1", 1}, {"deflate", nullptr, deflate.usual}, {"zstd", "19", 19},
                 {"zstd", nullptr, LevelsOf(Compression::kZstd).usual}};
    for (const auto& t : taken) {
        std::vector<std::string> args = {"convert", "--report", "-", "--compress", t.codec, "--output-dir",
                                         dir / (std::string(t.codec) + (t.level ? t.level : "usual"))};
        if (t.level) args.insert(args.end(), {"--level", t.level});
        args.push_back(dir.path());
        ASSERT_EQ(Run(args), kExitOk) << err.str();
        const nlohmann::json report = nlohmann::json::parse(out.str());
        EXPECT_EQ(report["level"], t.reported) << t.codec;
        EXPECT_EQ(report["encoder"], EncoderName(std::string(t.codec) == "zstd" ? Compression::kZstd
                                                                              : Compression::kDeflate));
        EXPECT_EQ(report["totals"]["frames_written"], 3) << report.dump();
    }
}

}  // namespace
}  // namespace qf
