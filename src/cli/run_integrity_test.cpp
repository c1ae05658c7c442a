// Runs that never replace what they read and never say "done" when they are not: named
// data files, the report's name, folders swapped or linked under a run, files changed
// after the plan, deep trees, and the dry run's word against the run's. Each case that
// runs a conversion runs it with one job and with four.
#ifndef _WIN32
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <thread>

#include "cli/cli_test_support.h"
#include "platform/file_layer.h"
#include "test/faulty_files.h"
#include "tools/synthetic_beam.h"

namespace qf {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Names = std::vector<std::string>;

class RunIntegrityTest : public test::CliFixture, public ::testing::WithParamInterface<const char*> {
protected:
    const char* Jobs() const { return GetParam(); }
    int Convert(std::vector<std::string> args, const CliHooks* hooks = nullptr) {
        args.insert(args.begin(), {"convert", "--settle-ms", "0", "--jobs", Jobs()});
        return Run(args, hooks);
    }
    void Beam(const std::string& path, std::uint32_t frames, std::int16_t size = 4) {
        BeamSettings s;
        s.width = size;
        s.height = size;
        s.frames = frames;
        ASSERT_TRUE(WriteSyntheticBeam(path, s).ok()) << path;
    }
    bool Said(const std::string& text) const { return err.str().find(text) != std::string::npos; }
};

INSTANTIATE_TEST_SUITE_P(Jobs, RunIntegrityTest, ::testing::Values("1", "4"));

TEST_P(RunIntegrityTest, AFileNamedAsAPathIsDataWhateverItsName) {
    ASSERT_EQ(test::MakeDir(dir / "d"), 0);
    ASSERT_EQ(test::MakeDir(dir / "out"), 0);
    Beam(dir / "d/a.orx", 2);
    Beam(dir / "d/a1.tiff", 1);  // an ORX file by its bytes, named like frame 1's output
    Beam(dir / "out/a.tiff", 1);
    const Bytes named = test::ReadBytes(dir / "d/a1.tiff");
    const Bytes inOut = test::ReadBytes(dir / "out/a.tiff");
    EXPECT_EQ(Convert({dir / "d/a.orx", dir / "d/a1.tiff"}), kExitFailures);
    // A file named on the command line is shown as the folder it is in joined with its name.
    const std::string d = dir / "d";
    EXPECT_TRUE(Said(test::Shown(d, "a.orx") + ": frame 1: would replace the data file " + test::Shown(d, "a1.tiff") +
                     "; not written"))
        << err.str();
    EXPECT_EQ(test::ReadBytes(dir / "d/a1.tiff"), named);
    EXPECT_TRUE(test::FileExists(dir / "d/a.tiff"));
    EXPECT_EQ(Convert({"--output-dir", dir / "out", dir / "d/a.orx", dir / "out/a.tiff"}), kExitFailures);
    EXPECT_TRUE(Said(test::Shown(d, "a.orx") + ": frame 0: would replace the data file " +
                     test::Shown(dir / "out", "a.tiff") + "; not written"))
        << err.str();
    EXPECT_EQ(test::ReadBytes(dir / "out/a.tiff"), inOut);
    EXPECT_EQ(test::ReadBytes(dir / "d/a1.tiff"), named);
}

TEST_P(RunIntegrityTest, TheReportNeverTakesTheNameOfADataFileAnOutputOrATemporary) {
    Beam(dir / "run7.raw", 1);
    Beam(dir / "scan.orx", 2);
    const Bytes data = test::ReadBytes(dir / "run7.raw");
    const struct {
        std::string report;
        std::string why;
    } cases[] = {
        {dir / "run7.raw", "the report would replace the data file " + dir / "run7.raw"},
        {dir / "scan1.tiff", "the report may not be named like an image (.tiff)"},
        {dir / "x.BMP", "the report may not be named like an image (.bmp)"},
        {dir / ".quillfen-12-3@0123456789abcdef.part", "the report may not have the name of a temporary file"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Convert({"--report", c.report, dir / "run7.raw", dir.path()}), kExitUsage) << c.report;
        EXPECT_TRUE(Said("quillfen-cli: --report: " + c.why)) << err.str();
        EXPECT_EQ(test::Entries(dir.path()), (Names{"run7.raw", "scan.orx"})) << "nothing is written first";
    }
    EXPECT_EQ(test::ReadBytes(dir / "run7.raw"), data);
}

#ifndef _WIN32
TEST_P(RunIntegrityTest, DataFilesAreReadFromTheListedFolderWhenItsPathIsSwapped) {
    ASSERT_EQ(test::MakeDir(dir / "A"), 0);
    ASSERT_EQ(test::MakeDir(dir / "other"), 0);
    Beam(dir / "A/a.orx", 1, 4);
    Beam(dir / "A/b.orx", 1, 6);
    Beam(dir / "other/a.orx", 1, 8);
    Beam(dir / "other/b.orx", 1, 10);
    CliHooks hooks;
    bool swapped = false;
    hooks.frameWritten = [&](const std::string&) {
        if (swapped) return;
        swapped = true;
        ASSERT_EQ(std::rename((dir / "A").c_str(), (dir / "A.listed").c_str()), 0);
        ASSERT_EQ(std::rename((dir / "other").c_str(), (dir / "A").c_str()), 0);
    };
    EXPECT_EQ(Convert({"--kind", "grayscale-bmp", dir / "A"}, &hooks), kExitOk) << err.str();
    // b.bmp is the listed folder's b.orx (6 x 6: rows of 8 bytes), not the other's (10 x 10).
    EXPECT_EQ(test::ReadBytes(dir / "A.listed/b.bmp").size(), 1078u + 6 * 8);
    EXPECT_EQ(test::Entries(dir / "A"), (Names{"a.orx", "b.orx"}));
}

TEST_P(RunIntegrityTest, ASubfolderSwappedForALinkIsNotFollowed) {
    ASSERT_EQ(test::MakeDir(dir / "tree"), 0);
    ASSERT_EQ(test::MakeDir(dir / "tree/deep"), 0);
    ASSERT_EQ(test::MakeDir(dir / "victim"), 0);
    ASSERT_EQ(test::MakeDir(dir / "victim/deep"), 0);
    Beam(dir / "tree/a.orx", 1);
    Beam(dir / "tree/deep/x.orx", 1);
    Beam(dir / "victim/deep/x.orx", 1);
    CliHooks hooks;
    hooks.frameWritten = [&](const std::string& output) {
        if (output != dir / "tree/a.tiff") return;
        std::filesystem::rename(dir / "tree/deep", dir / "deep.moved");
        std::filesystem::create_directory_symlink(dir / "victim/deep", dir / "tree/deep");
    };
    const int status = Convert({"--recursive", dir / "tree"}, &hooks);
    if (status == kExitOk) {
        // Several jobs had entered the folder before the swap: they wrote into it, where it went.
        EXPECT_TRUE(test::FileExists(dir / "deep.moved/x.tiff")) << err.str();
    } else {
        EXPECT_EQ(status, kExitFailures);
        EXPECT_TRUE(Said(dir / "tree/deep/x.orx: cannot open folder " + dir / "tree/deep")) << err.str();
    }
    EXPECT_EQ(std::string(Jobs()) == "1", status == kExitFailures);
    EXPECT_EQ(test::Entries(dir / "victim/deep"), Names{"x.orx"});
}

// A tree deeper than a path may be long: 120 folders of 40-byte names below `top`, with a
// data file in every fortieth.
void MakeDeepTree(const std::string& top) {
    int fd = ::open(top.c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    const std::string name(40, 'n');
    std::string path = top;
    for (int depth = 0; depth < 120; ++depth) {
        ASSERT_EQ(::mkdirat(fd, name.c_str(), 0755), 0);
        const int next = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY);
        ::close(fd);
        fd = next;
        path += "/" + name;
        if (depth % 40 == 39) {
            // The writer works by path: a short one, through the descriptor.
            ASSERT_TRUE(WriteSyntheticBeam("/proc/self/fd/" + std::to_string(fd) + "/d.orx", BeamSettings{}).ok());
        }
    }
    ::close(fd);
    ASSERT_GT(path.size(), 4096u);
}

TEST_P(RunIntegrityTest, DeepTreesConvertWhole) {
    // Deeper than a path may be long, with fewer descriptors than folders: each folder is
    // reached from the one above it, and only the way down is held open.
    MakeDeepTree(dir.path());
    rlimit old{};
    getrlimit(RLIMIT_NOFILE, &old);
    rlimit few = old;
    few.rlim_cur = 48;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &few), 0);
    const int status = Convert({"--quiet", "--recursive", "--kind", "grayscale-bmp", dir.path()});
    setrlimit(RLIMIT_NOFILE, &old);
    EXPECT_EQ(status, kExitOk) << err.str();
    EXPECT_EQ(err.str(), "");
}

TEST_P(RunIntegrityTest, DeepTreesHoldFewerDescriptorsThanFoldersAndLeaveNoneOpen) {
    MakeDeepTree(dir.path());
    test::FaultyFiles files;
    {
        ScopedFiles installed(files);
        EXPECT_EQ(Convert({"--quiet", "--recursive", "--kind", "grayscale-bmp", dir.path()}), kExitOk) << err.str();
    }
    EXPECT_LT(files.MostOpenDescriptors(), 40) << "of 120 folders";
    EXPECT_EQ(files.OpenDescriptors(), 0);
    // Every output once: the three files' frames, no temporary made twice.
    EXPECT_EQ(files.Calls(test::FileOp::kCreate), 3 * static_cast<int>(BeamSettings{}.frames));
}

TEST_P(RunIntegrityTest, AFolderThatCannotBeWalkedIsAFailure) {
    ASSERT_EQ(test::MakeDir(dir / "open"), 0);
    ASSERT_EQ(test::MakeDir(dir / "shut"), 0);
    Beam(dir / "open/a.orx", 1);
    Beam(dir / "shut/b.orx", 1);
    ASSERT_EQ(chmod((dir / "shut").c_str(), 0), 0);
    ASSERT_EQ(chmod(dir.path().c_str(), 0777), 0);
    ASSERT_EQ(chmod((dir / "open").c_str(), 0777), 0);
    const int result = test::AsOrdinaryUser([&] {
        const int status = Convert({"--quiet", "--recursive", dir.path()});
        if (status != kExitFailures) return 10 + status;
        return Said(dir / "shut: cannot read folder: Permission denied; not converted") ? 0 : 1;
    });
    chmod((dir / "shut").c_str(), 0755);
    EXPECT_EQ(result, 0);
}
#endif

// The naming rule may leave .orx in an output's name (run.orx.orx gives run.orx.tiff): those
// are written, and passed over as images by the next run. A pattern is ours to refuse.
TEST_P(RunIntegrityTest, NamePatternsThatHoldOrxAreRefused) {
    Beam(dir / "run.orx.orx", 2);
    EXPECT_EQ(Convert({"--quiet", dir.path()}), kExitOk) << err.str();
    EXPECT_EQ(test::Entries(dir.path()), (Names{"run.orx.orx", "run.orx.tiff", "run.orx1.tiff"}));
    for (const char* pattern : {"{name}_{frame}", "{stem}.orx{frame}", "x.ORX"}) {
#ifndef _WIN32
        if (std::string(pattern) == "x.ORX") continue;  // only a data file's name where case is folded
#endif
        EXPECT_EQ(Convert({"--name-pattern", pattern, dir.path()}), kExitUsage) << pattern;
        EXPECT_EQ(Lines().size(), 1u) << err.str();
    }
}

TEST_P(RunIntegrityTest, AnOutputFolderInsideTheTreeIsNotTakenForData) {
    ASSERT_EQ(test::MakeDir(dir / "day"), 0);
    Beam(dir / "day/scan.orx", 2);
    for (int run = 0; run < 2; ++run) {
        EXPECT_EQ(Convert({"--quiet", "--recursive", "--output-dir", dir / "day/out", dir / "day"}), kExitOk)
            << err.str();
        EXPECT_EQ(test::Entries(dir / "day/out"), (Names{"scan.tiff", "scan1.tiff"}));
    }
}

TEST_P(RunIntegrityTest, AFileReplacedAfterThePlanIsAFailureNotConverted) {
    Beam(dir / "a.orx", 1);
    Beam(dir / "b.orx", 2);
    CliHooks hooks;
    hooks.frameWritten = [&](const std::string& output) {
        if (output == dir / "a.tiff") Beam(dir / "b.orx", 5);  // longer, written in place
    };
    if (std::string(Jobs()) != "1") GTEST_SKIP() << "several jobs may have read b.orx before the hook";
    EXPECT_EQ(Convert({"--quiet", dir.path()}, &hooks), kExitFailures);
    EXPECT_TRUE(Said(dir / "b.orx: the file changed after the run was planned")) << err.str();
    EXPECT_FALSE(test::FileExists(dir / "b.tiff"));
}

TEST_P(RunIntegrityTest, TheDryRunFailsWhereTheRunFails) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows: the C++ library here makes no symbolic links";
#endif
    Beam(dir / "scan.orx", 2);
    const std::string longStem(251, 's');  // scan.orx's name is the longest a name may be
    Beam(dir / (longStem + ".orx"), 1);
    std::filesystem::create_symlink(dir / "nowhere", dir / "scan1.tiff");  // dangling, at an output's name
    EXPECT_EQ(Convert({"--dry-run", "--no-clobber", dir.path()}), kExitFailures);
    const std::string dry = err.str();
    EXPECT_TRUE(Said("is longer than a file system allows (256 bytes); not written")) << dry;
    EXPECT_TRUE(Said(dir / "scan1.tiff: kept (it exists; --no-clobber)")) << dry;
    EXPECT_EQ(Convert({"--no-clobber", dir.path()}), kExitFailures);
    // The same failures and notes, the same words; only the summary's verb differs.
    auto withoutSummary = [](const std::string& text) { return text.substr(0, text.rfind("quillfen-cli: /")); };
    EXPECT_EQ(withoutSummary(err.str()), withoutSummary(dry));
}

TEST_P(RunIntegrityTest, OutOfRangeAndControlBytesInValuesAreOneQuotedLine) {
    Beam(dir / "a.orx", 1);
    EXPECT_EQ(Convert({"--shard", "2/4294967298", dir.path()}), kExitUsage);
    EXPECT_TRUE(Said("a shard is K/N with 1 <= K <= N")) << err.str();
    EXPECT_EQ(Convert({"--name-pattern", "a\n\x1b[2J{frame:0}", dir.path()}), kExitUsage);
    EXPECT_EQ(Lines().size(), 1u) << err.str();
    EXPECT_EQ(err.str().find('\x1b'), std::string::npos);
    EXPECT_EQ(Convert({"--name-pattern", "{stem}{frame:0}", dir.path()}), kExitUsage);
    EXPECT_TRUE(Said("the padding is a number of digits, 1 to 10")) << err.str();
    EXPECT_EQ(test::Entries(dir.path()), Names{"a.orx"});
}

#ifndef _WIN32
TEST_P(RunIntegrityTest, AReplacedOutputKeepsItsModeButNeverASetIdBit) {
    Beam(dir / "a.orx", 1);
    test::WriteBytes(dir / "a.tiff", {'o', 'l', 'd'});
    ASSERT_EQ(chmod((dir / "a.tiff").c_str(), 04777), 0);
    ASSERT_EQ(Convert({"--quiet", dir.path()}), kExitOk) << err.str();
    struct stat st {};
    ASSERT_EQ(stat((dir / "a.tiff").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0777u);
}

TEST_P(RunIntegrityTest, AReportIntoAFifoNobodyReadsDoesNotHoldTheRun) {
    Beam(dir / "a.orx", 1);
    ASSERT_EQ(mkfifo((dir / "report.fifo").c_str(), 0600), 0);
    // A reader that comes: the report reaches it whole.
    std::string got;
    std::thread reader([&] {
        std::FILE* f = std::fopen((dir / "report.fifo").c_str(), "r");
        for (int c; f && (c = std::fgetc(f)) != EOF;) got += static_cast<char>(c);
        if (f) std::fclose(f);
    });
    EXPECT_EQ(Convert({"--quiet", "--report", dir / "report.fifo", dir.path()}), kExitOk) << err.str();
    reader.join();
    EXPECT_NE(got.find("\"outputs\""), std::string::npos) << got;
}
#endif

}  // namespace
}  // namespace qf
