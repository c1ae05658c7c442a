// --stack end to end through quillfen-cli: one multi-page TIFF per data file, named as
// its first frame's output, listed by the dry run, the same bytes for any --jobs, and
// never a part of one in place.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <csignal>

#include <nlohmann/json.hpp>

#include "cli/cli_test_support.h"
#include "test/temp_folder.h"
#include "tools/synthetic_beam.h"

namespace qf {
namespace {

class StackTest : public test::CliFixture {
protected:
    void Beam(const std::string& name, std::uint32_t frames, std::uint64_t seed) {
        BeamSettings s;
        s.width = 9;
        s.height = 5;
        s.frames = frames;
        s.seed = seed;
        ASSERT_TRUE(WriteSyntheticBeam(dir / name, s).ok());
    }
    std::string DisplayPath(const std::string& name) const { return dir / name; }
};

// Each page of the stack at `path`, as stored.
std::vector<std::vector<std::uint16_t>> Pages(const std::string& path) {
    std::vector<std::vector<std::uint16_t>> pages;
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    if (!tif) return pages;
    do {
        std::uint32_t w = 0, h = 0;
        TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
        TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
        std::vector<std::uint16_t> rows(std::size_t{w} * h);
        for (std::uint32_t r = 0; r < h; ++r) TIFFReadScanline(tif, rows.data() + std::size_t{r} * w, r);
        pages.push_back(std::move(rows));
    } while (TIFFReadDirectory(tif));
    TIFFClose(tif);
    return pages;
}

std::string DescriptionOf(const std::string& path) {
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    if (!tif) return "";
    const char* text = nullptr;
    std::string description = TIFFGetField(tif, TIFFTAG_IMAGEDESCRIPTION, &text) == 1 && text ? text : "";
    TIFFClose(tif);
    return description;
}

// --ome: NAME.ome.tif whose OME-XML says what the pages are; the pages are those of the
// portable stack; every run, with any number of jobs, writes the same bytes.
TEST_F(StackTest, AnOmeStackSaysItsSizeFramesAndPixelSizeAndIsTheSameEveryRun) {
    Beam("a&b.orx", 3, 1);
    const std::vector<std::string> ome = {"convert", "--quiet", "--kind", "standardized-tiff", "--stack", "--ome",
                                          "--pixel-size", "6.5x7um", "--input-bits", "12"};
    std::vector<std::string> args = ome;
    args.insert(args.end(), {"--jobs", "1", "--output-dir", dir / "one", dir.path()});
    ASSERT_EQ(Run(args), kExitOk) << err.str();
    args = ome;
    args.insert(args.end(), {"--jobs", "4", "--output-dir", dir / "four", dir.path()});
    ASSERT_EQ(Run(args), kExitOk) << err.str();
    EXPECT_EQ(test::Entries(dir / "one"), std::vector<std::string>{"a&b.ome.tif"});
    EXPECT_EQ(test::ReadBytes(dir / "one/a&b.ome.tif"), test::ReadBytes(dir / "four/a&b.ome.tif"));
    ASSERT_EQ(Run({"convert", "--quiet", "--kind", "standardized-tiff", "--stack", "--layout", "portable",
                   "--output-dir", dir / "plain", dir.path()}),
              kExitOk);
    EXPECT_EQ(Pages(dir / "one/a&b.ome.tif"), Pages(dir / "plain/a&b.tiff"));
    const std::string xml = DescriptionOf(dir / "one/a&b.ome.tif");
    for (const char* part : {"<?xml version=\"1.0\" encoding=\"UTF-8\"?>", "Schemas/OME/2016-06",
                             "<Image ID=\"Image:0\" Name=\"a&amp;b\">", "DimensionOrder=\"XYCZT\"",
                             "Type=\"uint16\"", "SignificantBits=\"12\"", "SizeX=\"9\" SizeY=\"5\"",
                             "SizeC=\"1\" SizeZ=\"1\" SizeT=\"3\"", "PhysicalSizeX=\"6.5\"", "PhysicalSizeY=\"7\"",
                             "<TiffData IFD=\"0\" PlaneCount=\"3\">", "FileName=\"a&amp;b.ome.tif\""}) {
        EXPECT_NE(xml.find(part), std::string::npos) << part << "\n" << xml;
    }
    // One UUID for the file, in the root and in its TiffData.
    const std::size_t at = xml.find("UUID=\"urn:uuid:");
    ASSERT_NE(at, std::string::npos);
    const std::string uuid = xml.substr(at + 6, 45);
    EXPECT_NE(xml.find(">" + uuid + "</UUID>"), std::string::npos) << xml;
}

TEST_F(StackTest, OneStackPerDataFileWhosePagesAreTheFramesFilesInOrder) {
    Beam("a.orx", 4, 1);
    Beam("b.orx", 2, 2);
    ASSERT_EQ(Run({"convert", "--kind", "standardized-tiff", "--output-dir", dir / "frames", dir.path()}), kExitOk);
    ASSERT_EQ(Run({"convert", "--kind", "standardized-tiff", "--stack", dir.path()}), kExitOk) << err.str();
    EXPECT_EQ(test::Entries(dir.path()), (std::vector<std::string>{"a.orx", "a.tiff", "b.orx", "b.tiff", "frames"}));
    const auto a = Pages(dir / "a.tiff");
    ASSERT_EQ(a.size(), 4u);
    EXPECT_EQ(a[0], Pages(dir / "frames/a.tiff").at(0));
    EXPECT_EQ(a[3], Pages(dir / "frames/a3.tiff").at(0));
    EXPECT_EQ(Pages(dir / "b.tiff").size(), 2u);
    EXPECT_NE(err.str().find("6 of 6 frames written"), std::string::npos) << err.str();
}

TEST_F(StackTest, DryRunListsTheStackWithItsPageCountAndWritesNothing) {
    Beam("a.orx", 3, 1);
    ASSERT_EQ(Run({"convert", "--stack", "--dry-run", "--report", dir / "r.json", dir.path()}), kExitOk);
    EXPECT_EQ(out.str(), DisplayPath("a.orx") + ": 3 frames\n  stack of 3 pages -> " + DisplayPath("a.tiff") + "\n");
    EXPECT_EQ(test::Entries(dir.path()), (std::vector<std::string>{"a.orx", "r.json"}));
    const auto bytes = test::ReadBytes(dir / "r.json");
    const nlohmann::json report = nlohmann::json::parse(std::string(bytes.begin(), bytes.end()));
    EXPECT_EQ(report["stack"], true);
    EXPECT_EQ(report["inputs"][0]["files"][0]["outputs"], nlohmann::json::array({dir / "a.tiff"}));
}

TEST_F(StackTest, SeveralJobsWriteTheSameBytesAsOne) {
    Beam("a.orx", 5, 1);
    Beam("b.orx", 3, 2);
    Beam("c.orx", 1, 3);
    for (const char* jobs : {"1", "3"}) {
        ASSERT_EQ(Run({"convert", "--stack", "--layout", "portable", "--compress", "lzw", "--jobs", jobs,
                       "--output-dir", dir / (std::string("j") + jobs), dir.path()}),
                  kExitOk)
            << err.str();
    }
    for (const char* name : {"a.tiff", "b.tiff", "c.tiff"}) {
        EXPECT_EQ(test::ReadBytes(dir / (std::string("j1/") + name)), test::ReadBytes(dir / (std::string("j3/") + name)))
            << name;
    }
}

TEST_F(StackTest, ACollisionRefusesTheLaterStackAndSaysWhose) {
    Beam("a.orx", 2, 1);
    Beam("b.orx", 2, 2);
    EXPECT_EQ(Run({"convert", "--stack", "--name-pattern", "{kind}", dir.path()}), kExitFailures);
    EXPECT_EQ(test::Entries(dir.path()), (std::vector<std::string>{"a.orx", "b.orx", "normalized.tiff"}));
    EXPECT_NE(err.str().find(DisplayPath("b.orx") + ": stack not written: its name " + DisplayPath("normalized.tiff") +
                             " is taken by the stack of " + DisplayPath("a.orx")),
              std::string::npos)
        << err.str();
    EXPECT_EQ(Pages(dir / "normalized.tiff").size(), 2u);
    // A stack named by the naming rule keeps the .orx that rule leaves in its name, and the
    // next run passes it over as the image it is.
    Beam("run.orx.orx", 2, 3);
    EXPECT_EQ(Run({"convert", "--quiet", "--stack", dir / "run.orx.orx"}), kExitOk) << err.str();
    EXPECT_EQ(Pages(dir / "run.orx.tiff").size(), 2u);
}

TEST_F(StackTest, AStackCutShortByItsDataFileLeavesTheOlderFileUntouched) {
    Beam("a.orx", 3, 1);
    Beam("b.orx", 1, 2);
    test::WriteBytes(dir / "a.tiff", {'o', 'l', 'd'});
    CliHooks hooks;
    // After the first page the data file shrinks to its header and a part of frame 1.
    hooks.frameWritten = [&](const std::string&) { ASSERT_EQ(test::ResizeFile(dir / "a.orx", 32 + 90 + 10), 0); };
    EXPECT_EQ(Run({"convert", "--stack", dir.path()}, &hooks), kExitFailures);
    EXPECT_NE(err.str().find(DisplayPath("a.orx") + ": frame 1: the file shrank while being read"), std::string::npos)
        << err.str();
    EXPECT_NE(err.str().find(DisplayPath("b.orx") + ": not converted (the run stopped before it)"), std::string::npos);
    EXPECT_EQ(test::ReadBytes(dir / "a.tiff"), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
    EXPECT_EQ(test::Entries(dir.path()), (std::vector<std::string>{"a.orx", "a.tiff", "b.orx"}));
}

TEST_F(StackTest, RefusesBitmapKindsAndBigTiffWithoutStackAndSaysWhy) {
    Beam("a.orx", 1, 1);
    EXPECT_EQ(Run({"convert", "--stack", "--kind", "grayscale-bmp", dir.path()}), kExitUsage);
    EXPECT_NE(err.str().find("--stack makes multi-page TIFFs; grayscale-bmp is a bitmap"), std::string::npos);
    EXPECT_EQ(Run({"convert", "--bigtiff", dir.path()}), kExitUsage);
    EXPECT_NE(err.str().find("--bigtiff applies to --stack only"), std::string::npos);
    // A stack may carry a pixel size in either layout.
    EXPECT_EQ(Run({"convert", "--stack", "--pixel-size", "6.5um", dir.path()}), kExitOk) << err.str();
    EXPECT_EQ(test::Entries(dir.path()), (std::vector<std::string>{"a.orx", "a.tiff"}));
}

}  // namespace
}  // namespace qf

namespace qf {
namespace {

// A stop between the pages of a stack: the file it stopped in is one data file not
// converted, said once, and the file after it another.
TEST_F(StackTest, AStopInsideAStackCountsItsFileOnce) {
    Beam("a.orx", 2, 1);
    Beam("b.orx", 3, 2);
    Beam("c.orx", 1, 3);
    int pages = 0;
    CliHooks hooks;
    hooks.frameWritten = [&](const std::string&) {  // each page of a stack
        if (++pages == 3) raise(SIGINT);
    };
    EXPECT_EQ(Run({"convert", "--stack", dir.path()}, &hooks), 128 + SIGINT);
    EXPECT_NE(err.str().find("; 1 data file complete, 0 partial, 0 failed; 0 failures; interrupted; 2 data files not "
                             "converted;"),
              std::string::npos)
        << err.str();
    const std::string said = err.str();
    const std::string stopped = DisplayPath("b.orx") + ": not converted";
    ASSERT_NE(said.find(stopped), std::string::npos) << said;
    EXPECT_EQ(said.find(stopped, said.find(stopped) + 1), std::string::npos) << said;
    EXPECT_EQ(test::Entries(dir.path()), (std::vector<std::string>{"a.orx", "a.tiff", "b.orx", "c.orx"}));
}

}  // namespace
}  // namespace qf
