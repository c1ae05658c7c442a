// quillfen-cli as a script sees it: exit statuses and the lines on stderr.
#include "cli/cli_app.h"

#include <gtest/gtest.h>

#include <sstream>

#include "cli/cli_test_support.h"

namespace qf {
namespace {

class CliTest : public test::CliFixture {
protected:
    void Synth(const std::string& name, const std::string& frames) {
        ASSERT_EQ(Run({"synth", "--width", "8", "--height", "6", "--frames", frames, dir / name}), 0) << err.str();
    }
};

TEST_F(CliTest, ConvertsAFolderWithEachKindName) {
    Synth("s.orx", "2");
    EXPECT_EQ(Run({"convert", "--settle-ms", "0", dir.path()}), kExitOk) << err.str();
    EXPECT_TRUE(test::FileExists(dir / "s1.tiff"));
    EXPECT_EQ(err.str(), "quillfen-cli: " + dir.path() + ": 2 of 2 frames written in " + test::SecondsOf(Lines(), dir.path()) +
                             "; 1 data file complete, 0 partial, 0 failed; 0 failures; outputs beside the data files\n");
    EXPECT_EQ(Run({"convert", "--kind", "color-bmp", "--settle-ms", "0", "--quiet", dir.path()}), kExitOk);
    EXPECT_EQ(err.str(), "");
    EXPECT_EQ(Run({"convert", "--kind", "2", "--settle-ms", "0", "--quiet", dir.path()}), kExitOk);
    EXPECT_EQ(test::ReadBytes(dir / "s.bmp").size(), 1078u + 6 * 8);
}

TEST_F(CliTest, ExitStatusesForFailuresUsageAndStoppedTiff) {
    Synth("a.orx", "2");
    test::WriteBytes(dir / "b.orx", {1, 2, 3});
    EXPECT_EQ(Run({"convert", "--settle-ms", "0", "--quiet", "--kind", "grayscale-bmp", dir.path()}), kExitFailures);
    EXPECT_EQ(err.str(), "quillfen-cli: " + dir / "b.orx" + ": cannot load: not an ORX file (signature does not match)\n");

    ASSERT_EQ(qf::test::MakeDir((dir / "a1.tiff").c_str(), 0755), 0);
    EXPECT_EQ(Run({"convert", "--settle-ms", "0", "--quiet", dir.path()}), kExitTiffStopped);
    EXPECT_EQ(err.str(), "quillfen-cli: " + dir / "a1.tiff" + ": cannot create: a folder has that name\n" +
                             "quillfen-cli: " + dir / "b.orx" + ": not converted (the run stopped before it)\n");

    EXPECT_EQ(Run({"convert", "--kind", "jpeg", dir.path()}), kExitUsage);
    EXPECT_EQ(Run({"convert"}), kExitUsage);
    EXPECT_EQ(Run({"convert", "--settle-ms", "0", dir / "nowhere"}), kExitUsage);
    EXPECT_EQ(Run({"frobnicate"}), kExitUsage);
}

TEST_F(CliTest, InfoShowsWhatTheControlSees) {
    ASSERT_EQ(Run({"synth", "--width", "641", "--height", "481", "--frames", "3", "--half", dir / "h.orx"}), 0);
    EXPECT_EQ(Run({"info", dir / "h.orx"}), kExitOk);
    EXPECT_EQ(out.str(), "header of " + dir / "h.orx" +
                             "\n  width:       641  (pixels a row, as the camera saw the frame)\n"
                             "  height:      481  (rows, as the camera saw the frame)\n"
                             "  stored size: 320 x 240  (what each frame holds, and the size of each image)\n"
                             "  frames:      3  (one image each)\n"
                             "  resolution:  half  (frames stored at half the width and height)\n");
    EXPECT_EQ(Run({"info", dir / "none.orx"}), kExitFailures);
    EXPECT_EQ(err.str(), "quillfen-cli: " + dir / "none.orx" + ": cannot open: " + test::MissingText(dir / "none.orx") + "\n");
}

TEST_F(CliTest, SynthIsRepeatableForASeed) {
    ASSERT_EQ(Run({"synth", "--seed", "9", "--bits", "12", dir / "a.orx"}), 0);
    ASSERT_EQ(Run({"synth", "--seed", "9", "--bits", "12", dir / "b.orx"}), 0);
    ASSERT_EQ(Run({"synth", "--seed", "10", "--bits", "12", dir / "c.orx"}), 0);
    EXPECT_EQ(test::ReadBytes(dir / "a.orx"), test::ReadBytes(dir / "b.orx"));
    EXPECT_NE(test::ReadBytes(dir / "a.orx"), test::ReadBytes(dir / "c.orx"));
    auto bytes = test::ReadBytes(dir / "a.orx");
    std::uint16_t peak = 0;
    for (std::size_t i = 32; i + 1 < bytes.size(); i += 2) peak = std::max(peak, test::Le16(bytes, i));
    EXPECT_LE(peak, 4095);
    EXPECT_GE(peak, 3700);
}

TEST_F(CliTest, VersionAndHelp) {
    EXPECT_EQ(Run({"--version"}), kExitOk);
    EXPECT_EQ(out.str(), "1.0.0.1\n");
    EXPECT_EQ(Run({"convert", "--help"}), kExitOk);
    EXPECT_NE(out.str().find("--settle-ms"), std::string::npos);
}

TEST_F(CliTest, ShortOptionsDoWhatTheirLongOnesDo) {
    Synth("s.orx", "2");
    test::MakeDir((dir / "sub").c_str(), 0755);
    ASSERT_EQ(Run({"synth", "--width", "8", "--height", "6", "--frames", "1", dir / "sub/t.orx"}), 0);
    EXPECT_EQ(Run({"convert", "-n", "-q", dir.path()}), kExitOk) << err.str();
    EXPECT_FALSE(test::FileExists(dir / "s.tiff"));
    EXPECT_NE(out.str().find("frame 1 -> "), std::string::npos) << out.str();
    EXPECT_EQ(err.str(), "");
    EXPECT_EQ(Run({"convert", "-k", "grayscale-bmp", "-o", dir / "out", "-r", "-j", "2", "-q", dir.path()}), kExitOk)
        << err.str();
    EXPECT_EQ(test::ReadBytes(dir / "out/s1.bmp").size(), 1078u + 6 * 8);
    EXPECT_TRUE(test::FileExists(dir / "out/t.bmp"));
    EXPECT_EQ(Run({"convert", "-h"}), kExitOk);
    EXPECT_NE(out.str().find("-o,--output-dir"), std::string::npos) << out.str();
}

TEST_F(CliTest, AMistypedOptionIsAnsweredWithTheClosestOne) {
    Synth("s.orx", "1");
    struct Case {
        std::vector<std::string> args;
        std::string line;
    };
    const Case cases[] = {
        {{"convert", "--outdir", "x", dir.path()}, "quillfen-cli: --outdir: unknown option; did you mean --output-dir?"},
        {{"convert", "--recurse", dir.path()}, "quillfen-cli: --recurse: unknown option; did you mean --recursive?"},
        {{"convert", "--dryrun=1", dir.path()}, "quillfen-cli: --dryrun: unknown option; did you mean --dry-run?"},
        {{"info", "--stat", dir.path()}, "quillfen-cli: --stat: unknown option; did you mean --stats?"},
        {{"synth", "--frame", "2", dir / "n.orx"}, "quillfen-cli: --frame: unknown option; did you mean --frames?"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Run(c.args), kExitUsage) << c.args[1];
        EXPECT_EQ(err.str(), c.line + " (--help tells more)\n");
    }
    // Nothing close: the parser's own words.
    EXPECT_EQ(Run({"convert", "--xyzzyplugh", dir.path()}), kExitUsage);
    EXPECT_EQ(err.str().find("did you mean"), std::string::npos) << err.str();
    EXPECT_FALSE(test::FileExists(dir / "s.tiff"));
}

}  // namespace
}  // namespace qf
