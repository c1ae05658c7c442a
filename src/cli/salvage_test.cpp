// convert --salvage over real ORX files cut off inside a frame, with one job and several:
// the complete frames convert exactly, the rest is one failure line naming the file.
#include "convert/cut_off_files.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "cli/cli_test_support.h"
#include "tools/orx_writer.h"

namespace qf {
namespace {

using Names = std::vector<std::string>;

class SalvageTest : public test::CliFixture, public ::testing::WithParamInterface<const char*> {
protected:
    // Frame f, sample i holds f * 1000 + i + 1; `frames` in the header, the file ends
    // `extra` samples into frame `complete` (all frames whole when complete == frames).
    void Write(const std::string& path, std::uint32_t frames, std::uint32_t complete, std::size_t extra = 7) {
        OrxHeader header;
        header.width = 6;
        header.height = 4;
        header.frameCount = frames;
        OrxWriter writer(path, header);
        std::vector<std::uint16_t> samples(header.storedSamples());
        for (std::uint32_t f = 0; f < frames; ++f) {
            for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<std::uint16_t>(f * 1000 + i + 1);
            if (f == complete) {
                ASSERT_TRUE(writer.FinishCutOff(samples.data(), extra).ok());
                return;
            }
            writer.WriteFrame(samples.data());
        }
        ASSERT_TRUE(writer.Finish().ok());
    }
    int Convert(std::vector<std::string> args) {
        args.insert(args.begin(), {"convert", "--jobs", GetParam(), "--kind", "standardized-tiff"});
        return Run(args);
    }
};

TEST_P(SalvageTest, CutOffFileConvertsItsCompleteFramesAndReportsTheRestOnce) {
    test::TempFolder whole;
    Write(whole / "scan.orx", 8, 8);
    Write(dir / "scan.orx", 8, 3);  // 3.3 of 8 frames
    Write(dir / "next.orx", 2, 2);
    // Without --salvage the file is refused whole, as before.
    EXPECT_EQ(Convert({"--quiet", dir.path()}), kExitFailures);
    EXPECT_EQ(err.str(), "quillfen-cli: " + dir / "scan.orx" + ": cannot load: truncated: 190 bytes, expected "
                                                               "416 for 8 frames\n");
    EXPECT_EQ(test::Entries(dir.path()), (Names{"next.orx", "next.tiff", "next1.tiff", "scan.orx"}));

    EXPECT_EQ(Convert({"--salvage", dir.path()}), kExitFailures);
    const std::vector<std::string> lines = Lines();
    ASSERT_EQ(lines.size(), 2u) << err.str();
    EXPECT_EQ(lines[0], "quillfen-cli: " + dir / "scan.orx" +
                            ": the file ends inside frame 3: 5 of 8 frames missing (the complete ones were converted)");
    EXPECT_NE(lines[1].find(": 5 of 5 frames written in "), std::string::npos) << lines[1];
    EXPECT_NE(lines[1].find("; 1 data file complete, 1 partial, 0 failed; 1 failure;"), std::string::npos) << lines[1];
    EXPECT_EQ(test::Entries(dir.path()), (Names{"next.orx", "next.tiff", "next1.tiff", "scan.orx", "scan.tiff",
                                                "scan1.tiff", "scan2.tiff"}));
    // The complete frames come out as those of the file that was never cut.
    ASSERT_EQ(Run({"convert", "--quiet", "--kind", "standardized-tiff", whole.path()}), kExitOk);
    for (const char* name : {"scan.tiff", "scan1.tiff", "scan2.tiff"}) {
        EXPECT_EQ(test::ReadBytes(dir / name), test::ReadBytes(whole / name)) << name;
    }
    // The data file itself is untouched.
    EXPECT_EQ(test::ReadBytes(dir / "scan.orx").size(), 32u + 3 * 48 + 14);
}

TEST_P(SalvageTest, ReportAndDryRunCountTheMissingFramesAsAFailureOfTheFile) {
    Write(dir / "cut.orx", 4, 1);
    EXPECT_EQ(Convert({"--salvage", "--dry-run", dir.path()}), kExitFailures);
    EXPECT_NE(err.str().find(dir / "cut.orx" + ": the file ends inside frame 1: 3 of 4 frames missing (the complete "
                                               "ones would be converted)"),
              std::string::npos)
        << err.str();
    EXPECT_EQ(test::Entries(dir.path()), Names{"cut.orx"});
    EXPECT_EQ(Convert({"--salvage", "--quiet", "--report", "-", dir.path()}), kExitFailures);
    const nlohmann::json report = nlohmann::json::parse(out.str());
    EXPECT_NE(report.dump().find("3 of 4 frames missing"), std::string::npos) << report.dump(2);
    EXPECT_EQ(report["exit_status"], 1) << report.dump(2);
}

TEST_P(SalvageTest, FileCutInsideItsFirstFrameIsStillRefused) {
    Write(dir / "none.orx", 3, 0);
    EXPECT_EQ(Convert({"--salvage", "--quiet", dir.path()}), kExitFailures);
    EXPECT_EQ(err.str(), "quillfen-cli: " + dir / "none.orx" + ": cannot load: truncated: 46 bytes, expected 176 "
                                                               "for 3 frames\n");
    EXPECT_EQ(test::Entries(dir.path()), Names{"none.orx"});
}

INSTANTIATE_TEST_SUITE_P(Jobs, SalvageTest, ::testing::Values("1", "4"));

}  // namespace
}  // namespace qf
