// The line quillfen-cli ends a run with: frames written of frames planned, data files
// complete, partial and failed, the time and where the outputs went; and what it says of
// a folder that holds no data file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "cli/cli_test_support.h"
#include "cli/progress_printer.h"
#include "tools/orx_writer.h"
#include "tools/synthetic_beam.h"

namespace qf {
namespace {

class SummaryTest : public test::CliFixture {
protected:
    void Beam(const std::string& path, std::uint32_t frames) {
        BeamSettings s;
        s.width = 6;
        s.height = 4;
        s.frames = frames;
        ASSERT_TRUE(WriteSyntheticBeam(path, s).ok()) << path;
    }
    // The summary line with its time cut out: "... written in T; ...".
    std::string SummaryOf(const std::string& input) const {
        const std::string seconds = test::SecondsOf(Lines(), input);
        for (std::string line : Lines()) {
            if (line.rfind("quillfen-cli: " + input + ": ", 0) != 0) continue;
            if (const std::size_t at = line.find(" in " + seconds); at != std::string::npos) {
                line.replace(at, 4 + seconds.size(), " in T");
            }
            return line.substr(16 + input.size());
        }
        return "(none)";
    }
    // The line after the summary of `input` when it is a hint, without "quillfen-cli: hint: ".
    std::string HintAfter(const std::string& input) const {
        const std::vector<std::string> lines = Lines();
        for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
            if (lines[i].rfind("quillfen-cli: " + input + ": ", 0) != 0) continue;
            const std::string prefix = "quillfen-cli: hint: ";
            return lines[i + 1].rfind(prefix, 0) == 0 ? lines[i + 1].substr(prefix.size()) : "(none)";
        }
        return "(none)";
    }
    // A data file of `frames` frames whose last ends after 3 samples, as an aborted acquisition.
    static void CutOff(const std::string& path, std::uint32_t frames) {
        OrxHeader header;
        header.width = 6;
        header.height = 4;
        header.frameCount = frames;
        OrxWriter writer(path, header);
        std::vector<std::uint16_t> samples(header.storedSamples(), 100);
        for (std::uint32_t f = 0; f + 1 < frames; ++f) writer.WriteFrame(samples.data());
        ASSERT_TRUE(writer.FinishCutOff(samples.data(), 3).ok());
    }
};

TEST_F(SummaryTest, CountsFramesOfThePlanAndFilesCompletePartialAndFailed) {
    Beam(dir / "scan1.orx", 2);   // frame 1 wants scan11.tiff...
    Beam(dir / "scan11.orx", 3);  // ...as does frame 0 here: refused, the file is partial
    Beam(dir / "scan2.orx", 1);
    test::WriteBytes(dir / "scan3.orx", {1, 2, 3});  // not an ORX file: failed
    EXPECT_EQ(Run({"convert", "--jobs", "1", dir.path()}), kExitFailures);
    EXPECT_EQ(SummaryOf(dir.path()),
              "5 of 6 frames written in T; 2 data files complete, 1 partial, 1 failed; 2 failures; "
              "outputs beside the data files")
        << err.str();
    EXPECT_EQ(Run({"convert", "--jobs", "4", "--output-dir", dir / "out", dir / "scan2.orx"}), kExitOk);
    EXPECT_EQ(SummaryOf(dir / "scan2.orx"),
              "1 of 1 frame written in T; 1 data file complete, 0 partial, 0 failed; 0 failures; outputs in " +
                  dir / "out")
        << err.str();
}

// Several folders (or files) named at once are one run: one plan, files counted across
// them, one total; a folder without data files is still said by itself.
TEST_F(SummaryTest, SeveralInputsAreOneRunWithOneTotal) {
    for (const char* folder : {"day1", "day2", "empty"}) ASSERT_EQ(test::MakeDir(dir / folder), 0);
    Beam(dir / "day1/a.orx", 2);
    Beam(dir / "day1/b.orx", 1);
    Beam(dir / "day2/a.orx", 3);
    test::WriteBytes(dir / "day2/c.orx", {1, 2, 3});  // not an ORX file: failed
    for (const char* jobs : {"1", "4"}) {
        EXPECT_EQ(Run({"convert", "--jobs", jobs, dir / "day1", dir / "day2", dir / "empty"}), kExitFailures);
        EXPECT_EQ(SummaryOf("3 inputs"),
                  "6 of 6 frames written in T; 3 data files complete, 0 partial, 1 failed; 1 failure; "
                  "outputs beside the data files")
            << err.str();
        EXPECT_NE(err.str().find("quillfen-cli: no data files in " + dir / "empty" + "\n"), std::string::npos) << err.str();
        EXPECT_EQ(SummaryOf(dir / "day1"), "(none)");
    }
}

// One file is one data file however it is named: converted once, the other name a note
// (and the input that only named it again is no "folder without data files").
TEST_F(SummaryTest, ADataFileNamedTwiceIsConvertedOnce) {
    Beam(dir / "s.orx", 3);
    for (const char* jobs : {"1", "4"}) {
        for (const std::string& again : {dir / "s.orx", dir.path()}) {
            EXPECT_EQ(Run({"convert", "--jobs", jobs, dir / "s.orx", again}), kExitOk) << err.str();
            EXPECT_EQ(SummaryOf("2 inputs"),
                      "3 of 3 frames written in T; 1 data file complete, 0 partial, 0 failed; 0 failures; "
                      "outputs beside the data files")
                << err.str();
            EXPECT_NE(err.str().find("quillfen-cli: note: " + dir / "s.orx" + ": is " + dir / "s.orx" +
                                     " again; converted once\n"),
                      std::string::npos)
                << err.str();
            EXPECT_EQ(err.str().find("no data files"), std::string::npos) << err.str();
        }
    }
    EXPECT_EQ(test::Entries(dir.path()), (std::vector<std::string>{"s.orx", "s.tiff", "s1.tiff", "s2.tiff"}));
}

TEST_F(SummaryTest, DryRunCountsWhatItWouldWrite) {
    Beam(dir / "a.orx", 3);
    EXPECT_EQ(Run({"convert", "--dry-run", dir.path()}), kExitOk);
    EXPECT_EQ(Lines().back(), "quillfen-cli: " + dir.path() +
                                  ": 3 of 3 frames to write; 1 data file complete, 0 partial, 0 failed; 0 failures; "
                                  "outputs beside the data files (dry run: nothing written)");
}

TEST_F(SummaryTest, FolderWithoutDataFilesSaysSoAndPointsToSubfolders) {
    ASSERT_EQ(test::MakeDir(dir / "day1"), 0);
    ASSERT_EQ(test::MakeDir(dir / "day1/deeper"), 0);
    Beam(dir / "day1/a.orx", 1);
    Beam(dir / "day1/deeper/b.orx", 1);
    test::WriteBytes(dir / "day1/notes.txt", {'x'});
    EXPECT_EQ(Run({"convert", dir.path()}), kExitOk);
    EXPECT_EQ(err.str(), "quillfen-cli: no data files in " + dir.path() +
                             "; 2 data files in subfolders (use --recursive)\n");
    EXPECT_EQ(Run({"convert", dir / "day1/deeper"}), kExitOk);  // a data file, no subfolder
    EXPECT_EQ(SummaryOf(dir / "day1/deeper"),
              "1 of 1 frame written in T; 1 data file complete, 0 partial, 0 failed; 0 failures; "
              "outputs beside the data files");
    ASSERT_EQ(test::MakeDir(dir / "empty"), 0);
    EXPECT_EQ(Run({"convert", dir / "empty"}), kExitOk);
    EXPECT_EQ(err.str(), "quillfen-cli: no data files in " + dir / "empty" + "\n");
    // The subfolders are counted by the run's own rule: under --only-orx a sidecar is none,
    // and neither is an image an earlier run wrote under a name holding .orx.
    test::WriteBytes(dir / "day1/a.orx.json", {'{', '}'});
    Beam(dir / "day1/deeper/old.orx.bak", 1);
    ASSERT_EQ(Run({"convert", dir / "day1/deeper/old.orx.bak"}), kExitOk);  // old.orx.tiff
    ASSERT_EQ(std::remove((dir / "day1/deeper/old.orx.bak").c_str()), 0);
    EXPECT_EQ(Run({"convert", dir.path()}), kExitOk);
    EXPECT_EQ(err.str(), "quillfen-cli: no data files in " + dir.path() +
                             "; 3 data files in subfolders (use --recursive)\n");
    EXPECT_EQ(Run({"convert", "--only-orx", dir.path()}), kExitOk);
    EXPECT_EQ(err.str(), "quillfen-cli: no data files in " + dir.path() +
                             "; 2 data files in subfolders (use --recursive)\n");
}

TEST_F(SummaryTest, OneDataFileInASubfolderIsSaidInTheSingular) {
    ASSERT_EQ(test::MakeDir(dir / "day1"), 0);
    Beam(dir / "day1/a.orx", 1);
    EXPECT_EQ(Run({"convert", dir.path()}), kExitOk);
    EXPECT_EQ(err.str(), "quillfen-cli: no data files in " + dir.path() + "; 1 data file in subfolders (use --recursive)\n");
    EXPECT_FALSE(test::FileExists(dir / "day1/a.tiff"));
}

TEST_F(SummaryTest, RecursiveRunOverAnEmptyTreeGivesNoHint) {
    ASSERT_EQ(test::MakeDir(dir / "day1"), 0);
    EXPECT_EQ(Run({"convert", "--recursive", dir.path()}), kExitOk);
    EXPECT_EQ(err.str(), "quillfen-cli: no data files in " + dir.path() + "\n");
}

// Each kind of loss has its own remedy; the one that would have saved the most frames is
// said, once, after the summary, and not when --quiet asks for failures only.
TEST_F(SummaryTest, TheSummaryIsFollowedByTheHintThatSavesTheMost) {
    const std::string names = "1 frame was not written because its name was taken; --name-pattern "
                              "'{stem}_{frame:04}' gives every frame a name of its own";
    const std::string mirror = "2 frames were not written because data files of other folders had their names; "
                               "--mirror writes each subfolder's outputs into the same subfolder of the output folder";
    const std::string salvage = "1 data file ends inside a frame (cut off); --salvage converts the complete frames";
    struct Case {
        std::string folder;
        std::vector<std::string> options;
        int status;
        std::string hint;
    };
    const std::vector<Case> cases = {
        {"series", {}, kExitFailures, names},  // scan1 frame 1 and scan11 frame 0 both want scan11.tiff
        {"series", {"--name-pattern", "{stem}_{frame:04}"}, kExitOk, "(none)"},
        {"series", {"--quiet"}, kExitFailures, "(none)"},
        {"days", {"--recursive", "--output-dir", dir / "out1"}, kExitFailures, mirror},
        {"days", {"--recursive", "--mirror", "--output-dir", dir / "out2"}, kExitOk, "(none)"},
        {"cut", {}, kExitFailures, salvage},
        {"cut", {"--salvage"}, kExitFailures, "(none)"},
        {"cutseries", {}, kExitFailures, salvage},  // 3 frames to salvage beat 1 name taken
    };
    for (const char* folder : {"series", "days", "days/a", "days/b", "cut", "cutseries"}) {
        ASSERT_EQ(test::MakeDir(dir / folder), 0);
    }
    for (const char* folder : {"series", "cutseries"}) {
        Beam(dir / (std::string(folder) + "/scan1.orx"), 2);
        Beam(dir / (std::string(folder) + "/scan11.orx"), 1);
    }
    Beam(dir / "days/a/x.orx", 2);
    Beam(dir / "days/b/x.orx", 2);
    CutOff(dir / "cut/short.orx", 3);
    CutOff(dir / "cutseries/short.orx", 4);
    for (const Case& c : cases) {
        for (const char* jobs : {"1", "3"}) {
            std::vector<std::string> args = {"convert", "--jobs", jobs};
            args.insert(args.end(), c.options.begin(), c.options.end());
            args.push_back(dir / c.folder);
            EXPECT_EQ(Run(args), c.status) << err.str();
            EXPECT_EQ(HintAfter(dir / c.folder), c.hint) << c.folder << " " << (c.options.empty() ? "" : c.options[0]);
            const std::vector<std::string> lines = Lines();
            EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](const std::string& l) { return l.find(" hint: ") != std::string::npos; }),
                      c.hint == "(none)" ? 0 : 1)
                << err.str();
        }
    }
    // Two folders named side by side: --mirror would not part them, so it is not advised.
    EXPECT_EQ(Run({"convert", "--output-dir", dir / "out3", dir / "days/a", dir / "days/b"}), kExitFailures);
    EXPECT_NE(err.str().find("x.orx"), std::string::npos) << err.str();
    EXPECT_EQ(err.str().find("--mirror"), std::string::npos) << err.str();
}

TEST(SummaryWords, StopAndKeptOutputsAreCounted) {
    BatchReport r;
    r.framesPlanned = 7;
    r.framesWritten = 2;
    r.seconds = 0.04;
    r.stop = BatchStop::kInterrupted;
    r.files.push_back(FileRecord{"a.orx", 4, {}, {"a.tiff", "a1.tiff"}, {"a2.tiff"}, false});
    r.notConverted = {"b.orx"};
    EXPECT_EQ(Summary(r, SummaryContext{"d", "out", 0}),
              "2 of 7 frames written in 0.0 s, 1 kept; 0 data files complete, 1 partial, 0 failed; 0 failures; "
              "interrupted; 1 data file not converted; outputs in out");
}

}  // namespace
}  // namespace qf
