// The plan and the options built on it, end to end through quillfen-cli: the dry run
// tells exactly what the run then does, and every option keeps that promise.
#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "cli/cli_test_support.h"
#include "platform/file_io.h"
#include "cli/progress_printer.h"
#include "test/temp_folder.h"
#include "tools/synthetic_beam.h"

namespace qf {
namespace {

using Names = std::vector<std::string>;

class PlanOptionsTest : public test::CliFixture {
protected:
    void Beam(const std::string& path, std::uint32_t frames, std::uint64_t seed = 1) {
        dataFiles.insert(path.substr(path.find_last_of(kPathSeparators) + 1));
        BeamSettings s;
        s.width = 6;
        s.height = 4;
        s.frames = frames;
        s.seed = seed;
        ASSERT_TRUE(WriteSyntheticBeam(path, s).ok()) << path;
    }
    // The folder's entries that are outputs.
    Names Outputs(const std::string& folder) {
        Names names;
        for (const auto& n : test::Entries(folder)) {
            if ((n.ends_with(".tiff") || n.ends_with(".bmp")) && !dataFiles.contains(n)) names.push_back(n);
        }
        return names;
    }
    // The lines on stderr, the summary lines aside.
    Names FailureLines() {
        Names lines;
        std::istringstream in(err.str());
        for (std::string line; std::getline(in, line);) {
            if (line.find(" data file") == std::string::npos) lines.push_back(line);
        }
        return lines;
    }
    // The outputs a dry run's list promises, by name.
    Names Promised() {
        Names names;
        std::istringstream in(out.str());
        for (std::string line; std::getline(in, line);) {
            const std::size_t arrow = line.find(" -> ");
            if (arrow != std::string::npos) names.push_back(line.substr(line.find_last_of(kPathSeparators) + 1));
        }
        std::sort(names.begin(), names.end());
        return names;
    }
    std::set<std::string> dataFiles;
};

TEST_F(PlanOptionsTest, DryRunListsExactlyWhatTheRunWritesAndReports) {
    // Collisions (scan1 with scan11, scan12), a name that is a data file, a file that is no
    // ORX file, and a folder named like one.
    for (int i = 1; i <= 12; ++i) Beam(dir / ("scan" + std::to_string(i) + ".orx"), 3);
    Beam(dir / "a.orx.bmp", 2);
    test::WriteBytes(dir / "broken.orx", {1, 2, 3});
    ASSERT_EQ(qf::test::MakeDir((dir / "calib.orx").c_str(), 0755), 0);
    for (const char* kind : {"standardized-tiff", "grayscale-bmp"}) {
        const int dryStatus = Run({"convert", "--dry-run", "--kind", kind, dir.path()});
        const Names promised = Promised();
        const Names dryLines = FailureLines();
        EXPECT_TRUE(Outputs(dir.path()).empty()) << "a dry run writes nothing";
        const int status = Run({"convert", "--kind", kind, dir.path()});
        EXPECT_EQ(status, dryStatus) << kind;
        EXPECT_EQ(Outputs(dir.path()), promised) << kind;
        EXPECT_EQ(FailureLines(), dryLines) << kind;
        for (const auto& name : Outputs(dir.path())) ASSERT_EQ(std::remove((dir / name).c_str()), 0);
    }
    EXPECT_NE(err.str().find(dir / "scan11.orx" + ": frame 0 not written: its name " + dir / "scan11.bmp" +
                             " is taken by frame 1 of " + dir / "scan1.orx"),
              std::string::npos)
        << err.str();
}

TEST_F(PlanOptionsTest, ProgressCountsFramesPerFileAgainstThePlan) {
    std::ostringstream sink;
    ProgressPrinter printer(sink, false, false);
    printer.Planned(3, 10);
    printer.FileStarted("d/a.orx", 1, 3);
    printer.FileFrames(4);
    for (int i = 0; i < 4; ++i) printer.FrameWritten("x");
    printer.FileStarted("d/b.orx", 2, 3);
    printer.FileFrames(2);
    printer.FrameWritten("y");
    const std::string line = printer.Line(std::chrono::steady_clock::now());
    EXPECT_EQ(line.rfind("[2/3] b.orx: frame 1/2, 50%", 0), 0u) << line;
    BatchReport one;
    one.dataFiles = 1;
    one.filesConverted = 1;
    one.framesWritten = 1;
    one.framesPlanned = 1;
    one.seconds = 2.25;
    one.files.push_back(FileRecord{"d/a.orx", 1, {}, {"d/a.tiff"}, {}, true});
    EXPECT_EQ(Summary(one), "1 of 1 frame written in 2.2 s; 1 data file complete, 0 partial, 0 failed; 0 failures; "
                            "outputs beside the data files");
}

TEST_F(PlanOptionsTest, OutputDirTakesTheOutputsOfAReadOnlyShare) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows: no POSIX permissions to take away from an ordinary user";
#else
    const std::string share = dir / "share", outDir = dir / "out/new";
    ASSERT_EQ(qf::test::MakeDir(share.c_str(), 0755), 0);
    ASSERT_EQ(qf::test::MakeDir((dir / "out").c_str(), 0777), 0);
    ASSERT_EQ(chmod((dir / "out").c_str(), 0777), 0);  // whatever the umask
    Beam(share + "/s.orx", 2);
    ASSERT_EQ(chmod(share.c_str(), 0555), 0);
    ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
    // A dry run makes no folder.
    EXPECT_EQ(Run({"convert", "--dry-run", "--output-dir", outDir, share}), kExitOk);
    EXPECT_NE(out.str().find("frame 1 -> " + outDir + "/s1.tiff"), std::string::npos) << out.str();
    EXPECT_FALSE(test::FileExists(outDir));
    const int status = test::AsOrdinaryUser([&] { return Run({"convert", "--quiet", "--output-dir", outDir, share}); });
    EXPECT_EQ(status, kExitOk);
    EXPECT_EQ(test::Entries(outDir), (Names{"s.tiff", "s1.tiff"}));
    EXPECT_EQ(test::Entries(share), Names{"s.orx"});
#endif
}

TEST_F(PlanOptionsTest, NamePatternsPadAndBadOnesAreUsageErrors) {
    Beam(dir / "scan1.orx", 3);
    EXPECT_EQ(Run({"convert", "--quiet", "--name-pattern", "{stem}_{frame:04}_{kind}", dir.path()}), kExitOk);
    EXPECT_EQ(Outputs(dir.path()),
              (Names{"scan1_0000_normalized.tiff", "scan1_0001_normalized.tiff", "scan1_0002_normalized.tiff"}));
    std::vector<std::string> bads = {"a/{frame}", "{frame", "x}", "{size}", "{frame:x}", ""};
#ifdef _WIN32
    // What Windows reserves: a stream of the data file, wildcards, a second separator.
    for (const char* reserved : {"{stem}:x{frame}", "a*{frame}", "{stem}?", "a\\{frame}", "<{frame}>", "a|b"}) {
        bads.push_back(reserved);
    }
#endif
    for (const std::string& bad : bads) {
        EXPECT_EQ(Run({"convert", "--name-pattern", bad, dir.path()}), kExitUsage) << bad;
        const std::string said = err.str();
        EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    }
    // {stem} alone names single-frame files; a file named ".orx" gets no empty name.
    Beam(dir / ".orx", 1);
    EXPECT_EQ(Run({"convert", "--quiet", "--kind", "color-bmp", "--name-pattern", "{stem}", dir.path()}), kExitFailures);
    EXPECT_EQ(err.str(), "quillfen-cli: " + dir / ".orx" +
                             ": frame 0: the name pattern gives this file an empty name; not written\n" +
                             "quillfen-cli: " + dir / "scan1.orx" + ": frame 1 not written: its name " + dir / "scan1.bmp" +
                             " is taken by frame 0 of " + dir / "scan1.orx" + "\n" + "quillfen-cli: " + dir / "scan1.orx" +
                             ": frame 2 not written: its name " + dir / "scan1.bmp" + " is taken by frame 0 of " +
                             dir / "scan1.orx" + "\n");
}

TEST_F(PlanOptionsTest, NoClobberKeepsWhatIsThereAndSaysSo) {
    Beam(dir / "k.orx", 2);
    test::WriteBytes(dir / "k1.bmp", {'o', 'l', 'd'});
    EXPECT_EQ(Run({"convert", "--kind", "color-bmp", "--no-clobber", dir.path()}), kExitOk);
    EXPECT_EQ(test::ReadBytes(dir / "k1.bmp"), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
    EXPECT_TRUE(test::FileExists(dir / "k.bmp"));
    EXPECT_NE(err.str().find("quillfen-cli: note: " + dir / "k1.bmp" + ": kept (it exists; --no-clobber)"),
              std::string::npos)
        << err.str();
}

TEST_F(PlanOptionsTest, ASingleFileConvertsWhateverItsName) {
    Beam(dir / "take-7.dat", 2);
    Beam(dir / "other.orx", 1);
    EXPECT_EQ(Run({"convert", "--quiet", "--kind", "grayscale-bmp", dir / "take-7.dat"}), kExitOk) << err.str();
    EXPECT_EQ(Outputs(dir.path()), (Names{"take-7.bmp", "take-71.bmp"}));  // the rule cuts four characters
}

TEST_F(PlanOptionsTest, RecursionTakesFilesFirstThenFoldersAndNoLinks) {
    ASSERT_EQ(qf::test::MakeDir((dir / "a").c_str(), 0755), 0);
    ASSERT_EQ(qf::test::MakeDir((dir / "a/deep").c_str(), 0755), 0);
    ASSERT_EQ(qf::test::MakeDir((dir / "b").c_str(), 0755), 0);
    Beam(dir / "z.orx", 1);
    Beam(dir / "a/m.orx", 1);
    Beam(dir / "a/deep/d.orx", 1);
    Beam(dir / "b/n.orx", 1);
    std::error_code ec;
    std::filesystem::create_directory_symlink(test::FsPath(dir / "b"), test::FsPath(dir / "link"), ec);
#ifndef _WIN32
    ASSERT_FALSE(ec) << ec.message();  // Windows may refuse links to the unprivileged: the order is still checked
#endif
    EXPECT_EQ(Run({"convert", "--recursive", "--dry-run", dir.path()}), kExitOk);
    Names order;
    std::istringstream in(out.str());
    for (std::string line; std::getline(in, line);) {
        if (line.ends_with(" frame")) order.push_back(line.substr(dir.path().size() + 1, line.find(':', dir.path().size()) - dir.path().size() - 1));
    }
    for (std::string& name : order) std::replace(name.begin(), name.end(), '\\', '/');  // as the system joins them
    EXPECT_EQ(order, (Names{"z.orx", "a/m.orx", "a/deep/d.orx", "b/n.orx"}));
}

TEST_F(PlanOptionsTest, JsonReportTellsTheRunAsItWent) {
    Beam(dir / "a.orx", 2);
    test::WriteBytes(dir / "bad.orx", {9});
    ASSERT_EQ(Run({"convert", "--quiet", "--kind", "color-bmp", "--report", "-", dir.path()}), kExitFailures);
    const auto report = nlohmann::json::parse(out.str());
    EXPECT_EQ(report["kind"], "color-bmp");
    EXPECT_EQ(report["exit_status"], kExitFailures);
    EXPECT_EQ(report["totals"]["frames_written"], 2);
    EXPECT_EQ(report["totals"]["failures"], 1);
    const auto& files = report["inputs"][0]["files"];
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0]["path"], dir / "a.orx");
    EXPECT_EQ(files[0]["outputs"], (Names{dir / "a.bmp", dir / "a1.bmp"}));
    EXPECT_EQ(files[0]["converted"], true);
    EXPECT_EQ(files[1]["converted"], false);
    EXPECT_EQ(files[1]["failures"][0]["reason"], "cannot load: not an ORX file (signature does not match)");
    EXPECT_TRUE(files[1]["failures"][0]["frame"].is_null());
    EXPECT_TRUE(report["stop"].is_null());
    // A name that is not UTF-8 still gives a report.
    Beam(dir / "bad\xFF.orx", 1);
    ASSERT_EQ(Run({"convert", "--quiet", "--report", "-", dir.path()}), kExitFailures);
    EXPECT_EQ(nlohmann::json::parse(out.str())["totals"]["frames_written"], 3);
}

TEST_F(PlanOptionsTest, ReportIsWrittenWholeAndNeverInTheNameOfADataFile) {
    Beam(dir / "a.orx", 1);
    const std::vector<std::uint8_t> data = test::ReadBytes(dir / "a.orx");
    EXPECT_EQ(Run({"convert", "--quiet", "--report", dir / "a.orx", dir.path()}), kExitUsage);
    EXPECT_NE(err.str().find("a report may not be named like a data file (.orx)"), std::string::npos) << err.str();
    EXPECT_EQ(test::ReadBytes(dir / "a.orx"), data);
    // An earlier report is replaced whole, and no temporary stays beside it.
    test::WriteBytes(dir / "run.json", {'o', 'l', 'd'});
    EXPECT_EQ(Run({"convert", "--quiet", "--report", dir / "run.json", dir.path()}), kExitOk) << err.str();
    const std::vector<std::uint8_t> json = test::ReadBytes(dir / "run.json");
    EXPECT_EQ(nlohmann::json::parse(json.begin(), json.end())["totals"]["frames_written"], 1);
    EXPECT_EQ(test::Entries(dir.path()), (Names{"a.orx", "a.tiff", "run.json"}));
    // A report that cannot be written is one line; the run's outputs stay.
    EXPECT_EQ(Run({"convert", "--quiet", "--report", dir / "no/such/run.json", dir.path()}), kExitFailures);
    EXPECT_EQ(Lines(), (Names{"quillfen-cli: " + dir / "no/such/run.json" + ": cannot write the report: cannot create: " +
                              test::MissingText(dir / "no/such/run.json")}));
    EXPECT_TRUE(test::FileExists(dir / "a.tiff"));
}

TEST_F(PlanOptionsTest, ReportGoesIntoAFifoAndLeavesItAFifo) {
#ifdef _WIN32
    GTEST_SKIP() << "no FIFOs on Windows";
#else
    Beam(dir / "a.orx", 1);
    const std::string fifo = dir / "report-pipe";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // A reader that never blocks: a replaced FIFO would leave it with nothing, not hang.
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    EXPECT_EQ(Run({"convert", "--quiet", "--report", fifo, dir.path()}), kExitOk) << err.str();
    std::string got;
    char chunk[4096];
    for (ssize_t n; (n = ::read(reader, chunk, sizeof chunk)) > 0;) got.append(chunk, static_cast<std::size_t>(n));
    ::close(reader);
    EXPECT_EQ(nlohmann::json::parse(got)["totals"]["frames_written"], 1);
    struct stat st {};
    ASSERT_EQ(lstat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
#endif
}

TEST_F(PlanOptionsTest, ShardsTogetherAreExactlyOneRun) {
    const std::string whole = dir / "whole", parts = dir / "parts";
    for (const std::string& folder : {whole, parts}) {
        ASSERT_EQ(qf::test::MakeDir(folder.c_str(), 0755), 0);
        for (int i = 1; i <= 7; ++i) Beam(folder + "/scan" + std::to_string(i) + ".orx", 2, i);
        Beam(folder + "/scan11.orx", 2, 11);  // frame 0 collides with frame 1 of scan1.orx
    }
    ASSERT_EQ(Run({"convert", "--quiet", "--kind", "grayscale-bmp", whole}), kExitFailures);
    const Names wholeLines = FailureLines();
    // Dealt by name order: scan1 scan11 scan2 scan3 ...; part 2 of 3 is scan11, scan4, scan7.
    EXPECT_EQ(Run({"convert", "--quiet", "--kind", "grayscale-bmp", "--shard", "2/3", parts}), kExitFailures);
    EXPECT_EQ(Outputs(parts), (Names{"scan111.bmp", "scan4.bmp", "scan41.bmp", "scan7.bmp", "scan71.bmp"}));
    Names shardLines = FailureLines();
    for (const char* shard : {"1/3", "3/3"}) {
        Run({"convert", "--quiet", "--kind", "grayscale-bmp", "--shard", shard, parts});
        for (const auto& line : FailureLines()) shardLines.push_back(line);
    }
    EXPECT_EQ(Outputs(parts), Outputs(whole));
    for (const auto& name : Outputs(whole)) {
        EXPECT_EQ(test::ReadBytes(parts + "/" + name), test::ReadBytes(whole + "/" + name)) << name;
    }
    ASSERT_EQ(wholeLines.size(), 1u);
    ASSERT_EQ(shardLines.size(), 1u);
    std::string asWhole = shardLines[0];
    for (std::size_t at; (at = asWhole.find(parts)) != std::string::npos;) asWhole.replace(at, parts.size(), whole);
    EXPECT_EQ(asWhole, wholeLines[0]);
    EXPECT_EQ(Run({"convert", "--shard", "4/3", parts}), kExitUsage);
}

TEST_F(PlanOptionsTest, WordsForTyposAndUnknownCommands) {
    EXPECT_EQ(Run({"convert", "--kind", "jpg", dir.path()}), kExitUsage);
    EXPECT_EQ(err.str(), "quillfen-cli: --kind: 'jpg' is no kind; use normalized-tiff | standardized-tiff | "
                         "grayscale-bmp | color-bmp (or colour-bmp) (or 0-3) (--help tells more)\n");
    EXPECT_EQ(Run({"conver", dir.path()}), kExitUsage);
    EXPECT_EQ(err.str(), "quillfen-cli: unknown command 'conver'; the commands are convert, watch, info, synth and report "
                         "(quillfen-cli --help tells more)\n");
    EXPECT_EQ(Run({"convert", "--help"}), kExitOk);
    EXPECT_NE(out.str().find("-k,--kind KIND=normalized-tiff"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("Output kind: normalized-tiff | standardized-tiff | grayscale-bmp | "
                             "color-bmp (or colour-bmp) (or 0-3)"),
              std::string::npos)
        << out.str();
}

}  // namespace
}  // namespace qf

namespace qf {
namespace {

class SelectionTest : public PlanOptionsTest, public ::testing::WithParamInterface<const char*> {
protected:
    int Convert(std::vector<std::string> args) {
        args.insert(args.begin(), {"convert", "--quiet", "--settle-ms", "0", "--jobs", GetParam()});
        return Run(args);
    }
};

INSTANTIATE_TEST_SUITE_P(Jobs, SelectionTest, ::testing::Values("1", "4"));

TEST_P(SelectionTest, FramesConvertsOnlyTheSelectedFramesUnderTheirUsualNames) {
    Beam(dir / "scan.orx", 6);
    Beam(dir / "scan1.orx", 2);  // frame 1 of scan.orx would take its frame 0's name: not selected
    EXPECT_EQ(Convert({"--dry-run", "--frames", "0,3-", dir.path()}), kExitOk) << err.str();
    const Names promised = Promised();
    EXPECT_EQ(promised, (Names{"scan.tiff", "scan1.tiff", "scan3.tiff", "scan4.tiff", "scan5.tiff"}));
    EXPECT_EQ(Convert({"--frames", "0,3-", dir.path()}), kExitOk) << err.str();
    EXPECT_EQ(Outputs(dir.path()), promised);
    // scan1.tiff is scan1.orx's frame 0: 6 x 4 samples of seed 1, as written alone.
    const auto mine = test::ReadBytes(dir / "scan1.tiff");
    EXPECT_EQ(Convert({"--frames", "0", dir / "scan1.orx"}), kExitOk);
    EXPECT_EQ(test::ReadBytes(dir / "scan1.tiff"), mine);
    EXPECT_EQ(Convert({"--frames", "9-2", dir.path()}), kExitUsage);
    EXPECT_NE(err.str().find("'9-2' is no frame range"), std::string::npos) << err.str();
}

// A selection meant for another series is said for each file it misses, and a run it
// left with nothing to do fails.
TEST_P(SelectionTest, FramesAFileDoesNotHaveAreSaidAndASelectionOfNothingFails) {
    Beam(dir / "scan.orx", 20);
    Beam(dir / "short.orx", 3);
    const std::string scan = "quillfen-cli: note: " + dir / "scan.orx" + ": --frames ";
    const std::string shortOne = "quillfen-cli: note: " + dir / "short.orx" + ": --frames ";
    struct Case {
        std::string frames;
        std::string input;
        int status;
        Names lines;
    };
    const Case cases[] = {
        {"100", dir / "scan.orx", kExitFailures, {scan + "100 selects no frame of its 20 (0 to 19)"}},
        {"2", dir.path(), kExitOk, {}},
        {"0-4,100", dir.path(), kExitOk,
         {scan + "0-4,100: 100 names no frame of its 20 (0 to 19)", shortOne + "0-4,100: 100 names no frame of its 3 (0 to 2)"}},
        {"10-,40-50", dir.path(), kExitOk,
         {scan + "10-,40-50: 40-50 names no frame of its 20 (0 to 19)", shortOne + "10-,40-50 selects no frame of its 3 (0 to 2)"}},
        {"50-60,70", dir.path(), kExitFailures,
         {scan + "50-60,70 selects no frame of its 20 (0 to 19)", shortOne + "50-60,70 selects no frame of its 3 (0 to 2)"}},
    };
    for (const Case& c : cases) {
        for (const char* dry : {"--dry-run", "--sync"}) {
            EXPECT_EQ(Convert({dry, "--frames", c.frames, c.input}), c.status) << c.frames << "\n" << err.str();
            EXPECT_EQ(FailureLines(), c.lines) << c.frames;
        }
    }
    EXPECT_EQ(Outputs(dir.path()), (Names{"scan.tiff", "scan1.tiff", "scan10.tiff", "scan11.tiff", "scan12.tiff",
                                          "scan13.tiff", "scan14.tiff", "scan15.tiff", "scan16.tiff", "scan17.tiff",
                                          "scan18.tiff", "scan19.tiff", "scan2.tiff", "scan3.tiff", "scan4.tiff",
                                          "short.tiff", "short1.tiff", "short2.tiff"}));
}

TEST_P(SelectionTest, SidecarFilesArePassedOverByOptionAndOtherwiseNamedOnce) {
    Beam(dir / "scan1.orx", 1);
    Beam(dir / "scan2.orx", 1);
    test::WriteBytes(dir / "scan1.orx.json", {'{', '}'});
    test::WriteBytes(dir / "scan2.orx.json", {'{', '}'});
    EXPECT_EQ(Convert({dir.path()}), kExitFailures);
    EXPECT_NE(err.str().find("note: 2 files named like data files but not ending in .orx (scan1.orx.json, ...) "
                             "could not be loaded; --only-orx or --exclude passes such files over\n"),
              std::string::npos)
        << err.str();
    EXPECT_EQ(Convert({"--only-orx", dir.path()}), kExitOk) << err.str();
    EXPECT_EQ(err.str(), "");
    EXPECT_EQ(Convert({"--exclude", "*.json", "--exclude", "scan2*", dir.path()}), kExitOk) << err.str();
    EXPECT_EQ(Outputs(dir.path()), (Names{"scan1.tiff", "scan2.tiff"}));
    // Folders are passed over too.
    ASSERT_EQ(test::MakeDir(dir / "calib"), 0);
    Beam(dir / "calib/c.orx", 1);
    EXPECT_EQ(Convert({"--recursive", "--only-orx", "--exclude", "calib", dir.path()}), kExitOk) << err.str();
    EXPECT_FALSE(test::FileExists(dir / "calib/c.tiff"));
}

}  // namespace
}  // namespace qf

namespace qf {
namespace {

// A path under the test's folder as the program shows it: joined with the system's separator.
std::string AtIn(const std::string& folder, std::string relative) {
#ifdef _WIN32
    std::replace(relative.begin(), relative.end(), '/', '\\');
#endif
    return test::Shown(folder, relative);
}

// Edges of a tree where the dry run and the run must agree, and say what they pass over.
TEST_P(SelectionTest, TreeEdgesAreToldAlikeByTheDryRunAndTheRun) {
    const auto At = [&](const std::string& relative) { return AtIn(dir.path(), relative); };
    // A folder whose name holds .orx is a folder, also under --only-orx.
    ASSERT_EQ(test::MakeDir(dir / "t"), 0);
    ASSERT_EQ(test::MakeDir(dir / "t/run.orx.d"), 0);
    Beam(dir / "t/run.orx.d/a.orx", 1);
    // An output folder inside the tree holds data files that are not converted: said once.
    ASSERT_EQ(test::MakeDir(dir / "t/day1"), 0);
    Beam(dir / "t/day1/d.orx", 1);
    // x.orx's output out/x.tiff is the name that t/x.tiff/ needs as a folder under --mirror.
    Beam(dir / "t/x.orx", 1);
    ASSERT_EQ(test::MakeDir(dir / "t/x.tiff"), 0);
    Beam(dir / "t/x.tiff/y.orx", 1);
    const std::string taken = At("t/x.tiff/y.orx") + ": its output folder " + At("out/x.tiff") +
                              " is taken by frame 0 of " + At("t/x.orx") + "; not converted";
    for (const char* dry : {"--dry-run", "--no-clobber"}) {
        EXPECT_EQ(Convert({dry, "--recursive", "--only-orx", "--mirror", "--output-dir", dir / "out", dir / "t"}),
                  kExitFailures)
            << dry;
        EXPECT_NE(err.str().find(taken), std::string::npos) << dry << "\n" << err.str();
        EXPECT_EQ(Convert({dry, "--recursive", "--only-orx", "--output-dir", dir / "t/day1", dir / "t"}), kExitOk)
            << dry << err.str();
        EXPECT_NE(err.str().find("note: " + At("t/day1") + ": not walked: it is the output folder (--output-dir)"),
                  std::string::npos)
            << dry << "\n" << err.str();
    }
    EXPECT_EQ(test::Entries(dir / "out/run.orx.d"), Names{"a.tiff"});
    EXPECT_EQ(test::Entries(dir / "out/x.tiff").size(), 0u);
    EXPECT_TRUE(test::FileExists(dir / "t/day1/a.tiff"));
    EXPECT_FALSE(test::FileExists(dir / "t/day1/d.tiff"));
}

// A stop (42: a folder where x.orx's output goes) names every data file it left, the one
// whose mirrored folder the plan found taken among them.
TEST_P(SelectionTest, AStopNamesTheFilesThePlanAlreadyFailed) {
    const auto At = [&](const std::string& relative) { return AtIn(dir.path(), relative); };
    ASSERT_EQ(test::MakeDir(dir / "t"), 0);
    ASSERT_EQ(test::MakeDir(dir / "t/x.tiff"), 0);
    ASSERT_EQ(test::MakeDir(dir / "t/sub"), 0);
    Beam(dir / "t/x.orx", 2);
    Beam(dir / "t/x.tiff/y.orx", 2);
    Beam(dir / "t/sub/z.orx", 2);
    ASSERT_EQ(test::MakeDir(dir / "out"), 0);
    ASSERT_EQ(test::MakeDir(dir / "out/x.tiff"), 0);
    for (const char* dry : {"--dry-run", "--no-clobber"}) {
        EXPECT_EQ(Convert({dry, "--recursive", "--mirror", "--output-dir", dir / "out", dir / "t"}), kExitTiffStopped);
        for (const char* file : {"t/x.tiff/y.orx", "t/sub/z.orx"}) {
            EXPECT_NE(err.str().find(At(file) + ": not converted (the run stopped before it)"), std::string::npos)
                << dry << " " << file << "\n" << err.str();
        }
    }
}

// A mirrored output folder that cannot be made names itself, not the data folder.
TEST_P(SelectionTest, AMirrorThatCannotBeMadeIsNamed) {
    const auto At = [&](const std::string& relative) { return AtIn(dir.path(), relative); };
    ASSERT_EQ(test::MakeDir(dir / "t"), 0);
    ASSERT_EQ(test::MakeDir(dir / "t/day1"), 0);
    Beam(dir / "t/day1/a.orx", 1);
    ASSERT_EQ(test::MakeDir(dir / "out"), 0);
    test::WriteBytes(dir / "out/day1", {1});
    EXPECT_EQ(Convert({"--recursive", "--mirror", "--output-dir", dir / "out", dir / "t"}), kExitFailures);
    EXPECT_NE(err.str().find("cannot open folder " + At("out/day1") + ": "), std::string::npos) << err.str();
    EXPECT_EQ(err.str().find("cannot open folder " + At("t/day1")), std::string::npos) << err.str();
    // Without --recursive or --output-dir, --mirror would change nothing: refused.
    EXPECT_EQ(Convert({"--mirror", "--output-dir", dir / "out", dir / "t"}), kExitUsage);
    EXPECT_NE(err.str().find("--mirror needs --recursive and --output-dir"), std::string::npos) << err.str();
    EXPECT_EQ(Convert({"--mirror", "--recursive", dir / "t"}), kExitUsage);
}

TEST_P(SelectionTest, MirrorKeepsDayFoldersApartUnderTheOutputFolder) {
    for (const char* day : {"day1", "day2"}) {
        ASSERT_EQ(test::MakeDir(dir / day), 0);
        Beam(dir / day + "/scan.orx", 2);
    }
    // Flat, as before: the second day's names are taken by the first day's.
    EXPECT_EQ(Convert({"--recursive", "--output-dir", dir / "flat", dir.path()}), kExitFailures);
    EXPECT_EQ(test::Entries(dir / "flat"), (Names{"scan.tiff", "scan1.tiff"}));
    EXPECT_EQ(Convert({"--recursive", "--mirror", "--dry-run", "--output-dir", dir / "out", dir.path()}), kExitOk)
        << err.str();
    EXPECT_FALSE(test::FileExists(dir / "out"));  // a dry run makes nothing
    EXPECT_EQ(Convert({"--recursive", "--mirror", "--output-dir", dir / "out", dir.path()}), kExitOk) << err.str();
    EXPECT_EQ(test::Entries(dir / "out/day1"), (Names{"scan.tiff", "scan1.tiff"}));
    EXPECT_EQ(test::Entries(dir / "out/day2"), (Names{"scan.tiff", "scan1.tiff"}));
    // {dir} keeps them apart in one folder.
    EXPECT_EQ(Convert({"--recursive", "--output-dir", dir / "one", "--name-pattern", "{dir}_{stem}_{frame:02}",
                       dir / "day1", dir / "day2"}),
              kExitOk)
        << err.str();
    EXPECT_EQ(test::Entries(dir / "one"),
              (Names{"day1_scan_00.tiff", "day1_scan_01.tiff", "day2_scan_00.tiff", "day2_scan_01.tiff"}));
}

}  // namespace
}  // namespace qf
