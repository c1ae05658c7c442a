// quillfen-cli info over files and folders, with and without --stats, and over a file
// cut off inside a frame.
#include "cli/info_command.h"

#include <gtest/gtest.h>

#include "cli/cli_test_support.h"
#include "tools/orx_writer.h"

namespace qf {
namespace {

class InfoTest : public test::CliFixture {
protected:
    // Frame f, sample i holds base + f * 100 + i; the file may end `extra` samples into
    // frame `complete`.
    void Write(const std::string& path, std::uint32_t frames, std::uint16_t base, std::uint32_t complete = ~0u,
               std::size_t extra = 3) {
        OrxHeader header;
        header.width = 5;
        header.height = 2;
        header.frameCount = frames;
        OrxWriter writer(path, header);
        std::vector<std::uint16_t> samples(header.storedSamples());
        for (std::uint32_t f = 0; f < frames; ++f) {
            for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<std::uint16_t>(base + f * 100 + i);
            if (f == complete) {
                ASSERT_TRUE(writer.FinishCutOff(samples.data(), extra).ok());
                return;
            }
            writer.WriteFrame(samples.data());
        }
        ASSERT_TRUE(writer.Finish().ok());
    }
    static std::string Header(const std::string& path, const std::string& frames) {
        return "header of " + path +
               "\n  width:       5  (pixels a row, as the camera saw the frame)\n"
               "  height:      2  (rows, as the camera saw the frame)\n"
               "  stored size: 5 x 2  (what each frame holds, and the size of each image)\n"
               "  frames:      " + frames + "\n"
               "  resolution:  full  (frames stored whole)\n";
    }
};

TEST_F(InfoTest, StatsGiveEachFramesRangeMeanAndTheBitsTheSamplesUse) {
    Write(dir / "a.orx", 2, 3000);  // 3000..3009, then 3100..3109: 12 bits
    EXPECT_EQ(Run({"info", "--stats", dir / "a.orx"}), kExitOk) << err.str();
    EXPECT_EQ(out.str(), Header(dir / "a.orx", "2  (one image each)") +
                             "  frame 0: minimum 3000, maximum 3009, mean 3004.5, 12 bits\n"
                             "  frame 1: minimum 3100, maximum 3109, mean 3104.5, 12 bits\n"
                             "  samples use 12 bits (the brightest is 3109 of 65535)\n");
    Write(dir / "c.orx", 1, 4090);  // 4090..4099: one past 12 bits
    EXPECT_EQ(Run({"info", "--stats", dir / "c.orx"}), kExitOk);
    EXPECT_NE(out.str().find("mean 4094.5, 13 bits\n  samples use 13 bits (the brightest is 4099 of 65535)"),
              std::string::npos)
        << out.str();
    Write(dir / "b.orx", 1, 0);  // 0..9: 4 bits
    EXPECT_EQ(Run({"info", "--stats", dir / "b.orx"}), kExitOk);
    EXPECT_NE(out.str().find("  frame 0: minimum 0, maximum 9, mean 4.5, 4 bits\n  samples use 4 bits"),
              std::string::npos)
        << out.str();
}

TEST_F(InfoTest, FolderAndSeveralFilesShowEveryDataFileInNameOrder) {
    ASSERT_EQ(test::MakeDir(dir / "day"), 0);
    Write(dir / "day/b.orx", 1, 0);
    Write(dir / "day/a.orx", 3, 0);
    ASSERT_EQ(test::MakeDir(dir / "day/calib.orx"), 0);
    test::WriteBytes(dir / "day/notes.txt", {'x'});
    Write(dir / "c.orx", 2, 0);
    EXPECT_EQ(Run({"info", dir / "day", dir / "c.orx"}), kExitOk) << err.str();
    EXPECT_EQ(out.str(), Header(test::Shown(dir / "day", "a.orx"), "3  (one image each)") + "\n" +
                             Header(test::Shown(dir / "day", "b.orx"), "1  (one image each)") + "\n" +
                             Header(dir / "c.orx", "2  (one image each)"));
    EXPECT_EQ(err.str(), "quillfen-cli: note: " + test::Shown(dir / "day", "calib.orx") + ": is a folder, not a data file; skipped\n");
    ASSERT_EQ(test::MakeDir(dir / "empty"), 0);
    EXPECT_EQ(Run({"info", dir / "empty"}), kExitOk);
    EXPECT_EQ(err.str(), "quillfen-cli: no data files in " + dir / "empty" + "\n");
}

// A folder is walked as convert walks it: its subfolders with --recursive (and counted
// without), files named like sidecars that are no ORX files a note, not a failure.
TEST_F(InfoTest, FolderIsWalkedAsConvertWalksIt) {
    ASSERT_EQ(test::MakeDir(dir / "run"), 0);
    ASSERT_EQ(test::MakeDir(dir / "run/day1"), 0);
    ASSERT_EQ(test::MakeDir(dir / "run/day2"), 0);
    Write(dir / "run/day1/a.orx", 1, 0);
    Write(dir / "run/day2/b.orx", 2, 0);
    test::WriteBytes(dir / "run/day2/b.orx.json", {'{', '}'});
    // Paths as the walk builds them (the system's separator at each step), and as given.
    const std::string run = dir / "run";
    const std::string a = Header(test::Shown(test::Shown(run, "day1"), "a.orx"), "1  (one image each)");
    const std::string b = Header(test::Shown(test::Shown(run, "day2"), "b.orx"), "2  (one image each)");
    const std::string bGiven = Header(test::Shown(dir / "run/day2", "b.orx"), "2  (one image each)");
    const std::string sidecar = "quillfen-cli: note: 1 file named like a data file but not ending in .orx (b.orx.json) "
                                "could not be loaded; --only-orx or --exclude passes such files over\n";
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string out, err;
    };
    const Case cases[] = {
        {{dir / "run"}, kExitOk, "", "quillfen-cli: no data files in " + dir / "run" + "; 3 data files in subfolders (use --recursive)\n"},
        {{"--recursive", dir / "run"}, kExitOk, a + "\n" + b, sidecar},
        {{"-r", "--only-orx", dir / "run"}, kExitOk, a + "\n" + b, ""},
        {{dir / "run/day2"}, kExitOk, bGiven, sidecar},
        // Named by the user, it was meant as data: a failure.
        {{dir / "run/day2/b.orx.json"}, kExitFailures, "",
         "quillfen-cli: " + dir / "run/day2/b.orx.json" + ": not an ORX file (signature does not match)\n"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"info"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        EXPECT_EQ(Run(args), c.status) << c.args.front();
        EXPECT_EQ(out.str(), c.out) << c.args.front();
        EXPECT_EQ(err.str(), c.err) << c.args.front();
    }
    test::WriteBytes(dir / "run/day2/c.orx", {1, 2, 3});  // ends in .orx: a data file that failed
    EXPECT_EQ(Run({"info", "-r", dir / "run"}), kExitFailures);
    EXPECT_NE(err.str().find(test::Shown(test::Shown(run, "day2"), "c.orx") + ": not an ORX file"), std::string::npos)
        << err.str();
}

TEST_F(InfoTest, CutOffFileShowsItsHeaderAndItsCompleteFrames) {
    Write(dir / "cut.orx", 60, 0, 30);
    Write(dir / "ok.orx", 1, 0);
    EXPECT_EQ(Run({"info", "--stats", dir.path()}), kExitFailures);
    EXPECT_EQ(out.str().substr(0, out.str().find("  frame 0:")),
              Header(dir / "cut.orx", "60 in the header, 30 complete  (the file ends inside frame 30)"));
    EXPECT_NE(out.str().find("  frame 29: minimum 2900, maximum 2909, mean 2904.5, 12 bits\n"), std::string::npos)
        << out.str();
    EXPECT_EQ(out.str().find("  frame 30:"), std::string::npos);
    EXPECT_NE(out.str().find(Header(dir / "ok.orx", "1  (one image each)")), std::string::npos);  // and goes on
    EXPECT_EQ(err.str(), "quillfen-cli: " + dir / "cut.orx" +
                             ": the file ends inside frame 30: 30 of 60 frames missing (convert --salvage converts "
                             "the complete ones)\n");
}

TEST_F(InfoTest, UnreadableFileIsOneLineAndTheRestIsShown) {
    test::WriteBytes(dir / "bad.orx", {1, 2, 3});
    Write(dir / "good.orx", 1, 0);
    EXPECT_EQ(Run({"info", dir / "bad.orx", dir / "good.orx"}), kExitFailures);
    EXPECT_EQ(err.str(), "quillfen-cli: " + dir / "bad.orx" + ": not an ORX file (signature does not match)\n");
    EXPECT_EQ(out.str(), Header(dir / "good.orx", "1  (one image each)"));
}

}  // namespace
}  // namespace qf
