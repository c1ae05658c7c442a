// A run never loses a data file and never stops or skips without saying so, end to end
// through quillfen-cli over temporary folders.
#ifndef _WIN32
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <csignal>
#include <filesystem>
#include <map>
#include <sstream>

#include "cli/cli_test_support.h"
#include "platform/output_file.h"
#include "test/faulty_files.h"
#include "tools/synthetic_beam.h"
#include "test/temp_folder.h"

namespace qf {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Names = std::vector<std::string>;

// Every case runs with one job and with four: what a user sees must not depend on it.
class DataSafetyTest : public test::CliFixture, public ::testing::WithParamInterface<int> {
protected:
    int Convert(const std::string& kind, const std::vector<std::string>& folders,
                const CliHooks* hooks = nullptr) {
        std::vector<std::string> args = {"convert", "--quiet", "--settle-ms", "0", "--kind", kind};
        args.insert(args.end(), folders.begin(), folders.end());
        return RunJobs(args, hooks);
    }
    /// quillfen-cli convert with `args` and the test's number of jobs.
    int RunJobs(std::vector<std::string> args, const CliHooks* hooks = nullptr) {
        args.insert(args.begin() + 1, {"--jobs", Jobs()});
        return Run(args, hooks);
    }
    std::string Jobs() const { return std::to_string(GetParam()); }
    void Beam(const std::string& path, std::uint32_t frames, std::int16_t size = 4, bool half = false) {
        BeamSettings s;
        s.width = size;
        s.height = size;
        s.frames = frames;
        s.halfResolution = half;
        ASSERT_TRUE(WriteSyntheticBeam(path, s).ok()) << path;
    }
    bool Said(const std::string& text) const { return err.str().find(text) != std::string::npos; }
};

const char* const kKinds[] = {"normalized-tiff", "standardized-tiff", "grayscale-bmp", "color-bmp"};

TEST_P(DataSafetyTest, NoOutputEverReplacesADataFileOfTheRun) {
    // Each of these data files stands where an output of the run would go:
    // a.orx.bmp is its own frame 0 (bitmaps), b.orx.tiff is frame 0 of b.orx.orx (TIFF),
    // scan.orx1.bmp is frame 1 of scan.orx.orx (bitmaps).
    const Names dataFiles = {"a.orx.bmp", "b.orx.orx", "b.orx.tiff", "plain.orx", "scan.orx.orx", "scan.orx1.bmp"};
    for (const auto& name : dataFiles) Beam(dir / name, 3);
    std::map<std::string, Bytes> before;
    for (const auto& name : dataFiles) before[name] = test::ReadBytes(dir / name);
    for (const char* kind : kKinds) {
        EXPECT_EQ(Convert(kind, {dir.path()}), kExitFailures) << kind;
        for (const auto& name : dataFiles) EXPECT_EQ(test::ReadBytes(dir / name), before[name]) << kind << " " << name;
        const bool tiff = std::string(kind).find("tiff") != std::string::npos;
        if (tiff) {
            EXPECT_TRUE(Said(dir / "b.orx.orx" + ": frame 0: would replace the data file " + dir / "b.orx.tiff" +
                             "; not written"))
                << err.str();
        } else {
            EXPECT_TRUE(Said(dir / "a.orx.bmp" + ": frame 0: would replace the data file " + dir / "a.orx.bmp"))
                << err.str();
            EXPECT_TRUE(Said(dir / "scan.orx.orx" + ": frame 1: would replace the data file " +
                             dir / "scan.orx1.bmp"))
                << err.str();
        }
        // The walk went on: the other files' frames were written.
        EXPECT_TRUE(test::FileExists(dir / (tiff ? "plain2.tiff" : "plain2.bmp"))) << kind;
    }
}

TEST_P(DataSafetyTest, SynthKeepsAnExistingFileUnlessForced) {
    Beam(dir / "real.orx", 2);
    const Bytes real = test::ReadBytes(dir / "real.orx");
    EXPECT_EQ(Run({"synth", "--frames", "5", dir / "real.orx"}), kExitFailures);
    EXPECT_EQ(err.str(), "quillfen-cli: " + dir / "real.orx" + ": exists; not replaced (--force replaces it)\n");
    EXPECT_EQ(test::ReadBytes(dir / "real.orx"), real);
    EXPECT_EQ(Run({"synth", "--force", "--frames", "5", dir / "real.orx"}), kExitOk) << err.str();
    EXPECT_NE(test::ReadBytes(dir / "real.orx"), real);
    EXPECT_EQ(test::Entries(dir.path()), Names{"real.orx"});
}

TEST_P(DataSafetyTest, RunWritesOnlyIntoTheFolderItListedWhenThePathIsSwapped) {
    const std::string data = dir / "data", moved = dir / "moved", other = dir / "other";
    ASSERT_EQ(qf::test::MakeDir(data.c_str(), 0755), 0);
    ASSERT_EQ(qf::test::MakeDir(other.c_str(), 0755), 0);
    Beam(data + "/s.orx", 5);
    CliHooks hooks;
    bool tried = false;
    hooks.frameWritten = [&](const std::string&) {
        if (tried) return;
        tried = true;
        std::error_code ec;
        std::filesystem::rename(test::FsPath(data), test::FsPath(moved), ec);
#ifdef _WIN32
        // There the run holds its folder open without sharing deletion: it cannot be moved.
        EXPECT_TRUE(ec);
#else
        ASSERT_FALSE(ec) << ec.message();
        std::filesystem::create_directory_symlink(test::FsPath(other), test::FsPath(data), ec);
        ASSERT_FALSE(ec) << ec.message();
#endif
    };
    EXPECT_EQ(Convert("grayscale-bmp", {data}, &hooks), kExitOk) << err.str();
#ifdef _WIN32
    const std::string& listed = data;
#else
    const std::string& listed = moved;
#endif
    EXPECT_EQ(test::Entries(listed), (Names{"s.bmp", "s.orx", "s1.bmp", "s2.bmp", "s3.bmp", "s4.bmp"}));
    EXPECT_TRUE(test::Entries(other).empty());
}

TEST_P(DataSafetyTest, ReplacedOutputKeepsItsModeAndGroup) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows: files have access lists, not mode bits and groups";
#else
    Beam(dir / "m.orx", 2);
    ASSERT_EQ(Convert("color-bmp", {dir.path()}), kExitOk);
    ASSERT_EQ(chmod((dir / "m1.bmp").c_str(), 0600), 0);
    const bool root = geteuid() == 0;
    if (root) {
        ASSERT_EQ(chown((dir / "m1.bmp").c_str(), static_cast<uid_t>(-1), 65534), 0);
    }
    ASSERT_EQ(Convert("color-bmp", {dir.path()}), kExitOk);
    struct stat st {};
    ASSERT_EQ(stat((dir / "m1.bmp").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    if (root) {
        EXPECT_EQ(st.st_gid, 65534u);
    }
    ASSERT_EQ(stat((dir / "m.bmp").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0666, 0666u & ~[] { mode_t m = umask(0); umask(m); return m; }());
#endif
}

TEST_P(DataSafetyTest, StopNamesEveryDataFileAndFolderItLeft) {
    const std::string first = dir / "first", second = dir / "second";
    ASSERT_EQ(qf::test::MakeDir(first.c_str(), 0755), 0);
    ASSERT_EQ(qf::test::MakeDir(second.c_str(), 0755), 0);
    Beam(first + "/a.orx", 2);
    Beam(first + "/b.orx", 2);
    Beam(first + "/c.orx", 2);
    ASSERT_EQ(qf::test::MakeDir((first + "/calib.orx").c_str(), 0755), 0);  // no data file: not listed as left
    Beam(second + "/d.orx", 1);
    ASSERT_EQ(qf::test::MakeDir((first + "/b1.tiff").c_str(), 0755), 0);
    EXPECT_EQ(RunJobs({"convert", "--settle-ms", "0", first, second}), kExitTiffStopped);
    const Names lines = Lines();
    // Both folders are one run: one plan, one total, and each data file the stop left named.
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "quillfen-cli: 2 inputs: 3 of 7 frames written in " + test::SecondsOf(lines, "2 inputs") +
                            "; 1 data file complete, 1 partial, 0 failed; 1 failure; stopped: a TIFF output "
                            "could not be created; 2 data files not converted; outputs beside the data files"),
              lines.end())
        << err.str();
    EXPECT_TRUE(Said("quillfen-cli: " + test::Shown(first, "c.orx") + ": not converted (the run stopped before it)\n"));
    EXPECT_TRUE(Said("quillfen-cli: " + test::Shown(second, "d.orx") + ": not converted (the run stopped before it)\n"));
    EXPECT_FALSE(Said("calib.orx: not converted"));
    EXPECT_TRUE(test::Entries(second) == Names{"d.orx"});
}

// The file shrinks just as frame 1 is read, once frame 0 was: with one job and with four
// (where another worker may read frame 2 first, or load the file after it shrank) the
// report says the same, and what was placed before stays.
TEST_P(DataSafetyTest, FileThatShrinksMidRunIsReportedWithItsRealCause) {
    Beam(dir / "a.orx", 3, 8);  // 8 x 8: frame 0 is bytes 32 to 160, frame 1 160 to 288
    Beam(dir / "b.orx", 1);
    test::FaultyFiles files;
    std::mutex lock;
    std::condition_variable frameZeroRead;
    bool zeroRead = false, shrunk = false;
    files.BeforeEachRead([&](std::uint64_t offset, std::size_t size) {
        std::unique_lock<std::mutex> hold(lock);
        if (offset == 32 && size == 128) {
            zeroRead = true;  // what frame 0 reads stays in the file
            frameZeroRead.notify_all();
        }
        if (offset == 160 && size == 128 && !shrunk) {
            ASSERT_TRUE(frameZeroRead.wait_for(hold, std::chrono::seconds(30), [&] { return zeroRead; }));
            shrunk = true;
            ASSERT_EQ(test::ResizeFile(dir / "a.orx", 32 + 128), 0);
        }
    });
    ScopedFiles installed(files);
    EXPECT_EQ(Convert("standardized-tiff", {dir.path()}), kExitFailures);
    EXPECT_EQ(err.str(), "quillfen-cli: " + dir / "a.orx" + ": frame 1: the file shrank while being read: frame 1 "
                         "ends at byte 288, past its end at byte 160 [E_FAIL (0x80004005)]\n"
                         "quillfen-cli: " + dir / "b.orx" + ": not converted (the run stopped before it)\n");
    EXPECT_EQ(test::Entries(dir.path()), (Names{"a.orx", "a.tiff", "b.orx"}));
}

// A worker that loads a data file after it shrank (its check against the plan passed just
// before) names the change, not the control's complaint, as one job does.
TEST_P(DataSafetyTest, FileThatShrinksAsItIsLoadedIsAChangeWithEveryJobCount) {
    Beam(dir / "a.orx", 3, 8);
    Beam(dir / "b.orx", 1);
    test::FaultyFiles files;
    std::atomic<int> opened{0};
    files.BeforeEachOpenToRead([&](const std::string& path) {
        // The plan opens a.orx first; the run's first load of it opens it again.
        if (path.ends_with("a.orx") && opened.fetch_add(1) == 1) {
            ASSERT_EQ(test::ResizeFile(dir / "a.orx", 32 + 128), 0);
        }
    });
    ScopedFiles installed(files);
    EXPECT_EQ(Convert("standardized-tiff", {dir.path()}), kExitFailures);
    EXPECT_EQ(err.str(), "quillfen-cli: " + dir / "a.orx" +
                             ": the file changed after the run was planned (416 bytes then, 160 now); not converted\n")
        << "opened " << opened << " times";
    for (const std::string& name : test::Entries(dir.path())) EXPECT_FALSE(name.ends_with(".part")) << name;
}

TEST_P(DataSafetyTest, FramesWithoutSamplesAreOneLinePerFileForEveryKindAndWriteNothing) {
    Beam(dir / "tiny.orx", 2, 1, /*half=*/true);  // 1 x 1 at half resolution: 0 x 0 frames
    Beam(dir / "one.orx", 1, 1, /*half=*/true);
    Beam(dir / "vast.orx", 32768, 1, /*half=*/true);  // a 32-byte file may claim 32768 of them
    for (const char* kind : kKinds) {
        {
            const std::string jobs = Jobs();
            for (const char* dry : {"--quiet", "--dry-run"}) {
                EXPECT_EQ(RunJobs({"convert", "--quiet", dry, "--kind", kind, dir.path()}), kExitFailures);
                EXPECT_EQ(err.str(), "quillfen-cli: " + dir / "one.orx" +
                                         ": frame 0: the frame has no samples (its width or height is 0); not written\n"
                                         "quillfen-cli: " + dir / "tiny.orx" +
                                         ": 2 frames (0 to 1) have no samples (their width or height is 0); not written\n"
                                         "quillfen-cli: " + dir / "vast.orx" +
                                         ": 32768 frames (0 to 32767) have no samples (their width or height is 0); "
                                         "not written\n")
                    << kind << " " << jobs << " " << dry;
                EXPECT_EQ(test::Entries(dir.path()), (Names{"one.orx", "tiny.orx", "vast.orx"})) << kind;
            }
        }
    }
}

// The naming rule's own example: run.orx.bak gives run.orx.tiff or run.orx.bmp. The next
// run over the folder (or the output folder) takes those for the images they are, with a
// note, and replaces them as its own.
TEST_P(DataSafetyTest, OutputsWhoseNamesHoldOrxAreWrittenAndPassedOverNextTime) {
    Beam(dir / "run.orx.bak", 2);
    for (const char* kind : kKinds) {
        for (const bool intoFolder : {false, true}) {
            std::vector<std::string> args = {"convert", "--settle-ms", "0", "--kind", kind, dir.path()};
            if (intoFolder) args.insert(args.end() - 1, {"--output-dir", dir / "out"});
            const std::string ext = std::string(kind).ends_with("tiff") ? ".tiff" : ".bmp";
            const std::string where = intoFolder ? dir / "out/" : dir / "";
            ASSERT_EQ(RunJobs(args), kExitOk) << kind << err.str();
            EXPECT_TRUE(test::FileExists(where + "run.orx" + ext)) << kind;
            EXPECT_TRUE(test::FileExists(where + "run.orx1" + ext)) << kind;
            const std::vector<std::uint8_t> first = test::ReadBytes(where + "run.orx" + ext);
            ASSERT_EQ(RunJobs(args), kExitOk) << kind << " " << intoFolder << ": " << err.str();
            EXPECT_EQ(test::ReadBytes(where + "run.orx" + ext), first) << kind;
            if (!intoFolder) {
                EXPECT_TRUE(Said("quillfen-cli: note: " + dir.path() + ": passed over ")) << err.str();
                EXPECT_TRUE(Said(" images whose names hold .orx (" + dir / "run.orx")) << err.str();
            }
            EXPECT_FALSE(Said("cannot load")) << err.str();
        }
    }
}

// An output that cannot be created stops the run (42) inside a data file: the run names the
// file whose later frames it left, as the dry run does, a stack too.
TEST_P(DataSafetyTest, AStopInsideADataFileNamesItInTheRunAsInTheDryRun) {
    Beam(dir / "a.orx", 3);
    Beam(dir / "b.orx", 1);
    for (const char* stack : {"--sync", "--stack"}) {
        const std::string blocked = std::string(stack) == "--stack" ? "a.tiff" : "a1.tiff";
        std::filesystem::remove(test::FsPath(dir / blocked));  // frame 0's output of the round before
        ASSERT_EQ(test::MakeDir(dir / blocked), 0);
        for (const char* dry : {"--dry-run", "--quiet"}) {
            EXPECT_EQ(RunJobs({"convert", dry, stack, "--settle-ms", "0", dir.path()}), kExitTiffStopped) << dry << stack;
            EXPECT_TRUE(Said("quillfen-cli: " + dir / "a.orx" + ": its later frames were not converted (the run stopped)\n"))
                << dry << stack << "\n" << err.str();
            EXPECT_TRUE(Said("quillfen-cli: " + dir / "b.orx" + ": not converted (the run stopped before it)\n"))
                << dry << stack << "\n" << err.str();
        }
        ASSERT_TRUE(std::filesystem::remove(test::FsPath(dir / blocked)));
    }
}

TEST_P(DataSafetyTest, EntriesThatAreNoDataFilesAreANoteNotAFailure) {
    Beam(dir / "scan.orx", 1);
    ASSERT_EQ(qf::test::MakeDir((dir / "calib.orx").c_str(), 0755), 0);
    EXPECT_EQ(RunJobs({"convert", "--settle-ms", "0", dir.path()}), kExitOk);
    EXPECT_EQ(err.str(), "quillfen-cli: note: " + dir / "calib.orx" + ": is a folder, not a data file; skipped\n" +
                             "quillfen-cli: " + dir.path() + ": 1 of 1 frame written in " + test::SecondsOf(Lines(), dir.path()) +
                             "; 1 data file complete, 0 partial, 0 failed; 0 failures; outputs beside the data files\n");
}

class SignalTest : public test::CliFixture, public ::testing::WithParamInterface<std::tuple<int, int>> {
protected:
    bool Said(const std::string& text) const { return err.str().find(text) != std::string::npos; }
};

TEST_P(SignalTest, StopsAfterTheOutputBeingWrittenAndSaysWhatItLeft) {
    const auto [signal, jobs] = GetParam();
    BeamSettings beam;
    beam.width = beam.height = 16;
    beam.frames = 4;
    ASSERT_TRUE(WriteSyntheticBeam(dir / "a.orx", beam).ok());
    beam.width = beam.height = 4;
    beam.frames = 2;
    ASSERT_TRUE(WriteSyntheticBeam(dir / "b.orx", beam).ok());
    int written = 0;
    CliHooks hooks;
    hooks.frameWritten = [&](const std::string&) {
        if (++written == 2) raise(signal);
    };
    EXPECT_EQ(Run({"convert", "--settle-ms", "0", "--jobs", std::to_string(jobs), "--kind", "color-bmp", dir.path()}, &hooks),
              128 + signal);
    EXPECT_EQ(written, 2);
    EXPECT_TRUE(Said("; 0 data files complete, 1 partial, 0 failed; 0 failures; interrupted; 1 data file not "
                     "converted; outputs beside the data files\n"))
        << err.str();
    EXPECT_TRUE(Said(dir / "a.orx" + ": its later frames were not converted (the run stopped)\n"));
    EXPECT_TRUE(Said(dir / "b.orx" + ": not converted (the run stopped before it)\n"));
    // Complete outputs and nothing else: no temporary, no half image.
    EXPECT_EQ(test::Entries(dir.path()), (Names{"a.bmp", "a.orx", "a1.bmp", "b.orx"}));
    EXPECT_EQ(test::ReadBytes(dir / "a1.bmp").size(), 54u + 16 * 48);
    // The handlers are given back: the process runs on as before.
    auto now = std::signal(signal, SIG_DFL);
    std::signal(signal, now);
    EXPECT_EQ(now, SIG_DFL);
}

#ifdef _WIN32
INSTANTIATE_TEST_SUITE_P(IntTerm, SignalTest,  // Windows has no SIGHUP
                         ::testing::Combine(::testing::Values(SIGINT, SIGTERM), ::testing::Values(1, 4)));

// An id no process has: Windows gives out multiples of four, far below this one.
long EndedProcess() { return 999999996; }
#else
INSTANTIATE_TEST_SUITE_P(IntTermHup, SignalTest,
                         ::testing::Combine(::testing::Values(SIGINT, SIGTERM, SIGHUP), ::testing::Values(1, 4)));

// The id of a process that has ended.
long EndedProcess() {
    pid_t pid = fork();
    if (pid == 0) _exit(0);
    waitpid(pid, nullptr, 0);
    return pid;
}
#endif

TEST_P(DataSafetyTest, StaleTemporariesOfEndedRunsAreSweptAndLiveOnesKept) {
    Beam(dir / "s.orx", 1);
    const std::string here = "@" + TemporaryOwnerTag() + ".part";
    const std::string stale = ".quillfen-" + std::to_string(EndedProcess()) + "-3" + here;
    const std::string live = ".quillfen-" + std::to_string(CurrentProcessId()) + "-999" + here;
    // A machine, boot or container sharing the folder may run a process of that number:
    // its temporary stays, and so does one whose writer did not say where it ran.
    const std::string elsewhere = ".quillfen-" + std::to_string(EndedProcess()) + "-4@another-machine.part";
    const std::string unsaid = ".quillfen-" + std::to_string(EndedProcess()) + "-5.part";
    test::WriteBytes(dir / stale, {1});
    test::WriteBytes(dir / live, {2});
    test::WriteBytes(dir / elsewhere, {4});
    test::WriteBytes(dir / unsaid, {5});
    test::WriteBytes(dir / ".quillfen-notes.part", {3});  // not of our making
    EXPECT_EQ(RunJobs({"convert", "--dry-run", dir.path()}), kExitOk);  // changes nothing
    EXPECT_TRUE(test::FileExists(dir / stale));
    EXPECT_EQ(RunJobs({"convert", "--settle-ms", "0", dir.path()}), kExitOk);
    EXPECT_TRUE(Said("quillfen-cli: note: " + dir.path() +
                     ": removed 1 temporary file left by an earlier run that was stopped\n"))
        << err.str();
    Names kept = {live, elsewhere, unsaid, ".quillfen-notes.part", "s.orx", "s.tiff"};
    std::sort(kept.begin(), kept.end());  // the process numbers decide the order
    EXPECT_EQ(test::Entries(dir.path()), kept);
}

TEST_P(DataSafetyTest, NamesWithControlBytesStayOnOneLine) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows: a file name cannot hold control characters";
#else
    test::WriteBytes(dir / "bad\nname\x1b[2J.orx", {1, 2, 3});
    EXPECT_EQ(Convert("grayscale-bmp", {dir.path()}), kExitFailures);
    EXPECT_EQ(err.str(), "quillfen-cli: '" + dir.path() +
                             "/bad'$'\\n''name'$'\\E''[2J.orx': cannot load: not an ORX file (signature does "
                             "not match)\n");
#endif
}

TEST_P(DataSafetyTest, SyncWritesTheSameOutputs) {
    Beam(dir / "s.orx", 3);
    ASSERT_EQ(RunJobs({"convert", "--settle-ms", "0", "--kind", "color-bmp", dir.path()}), kExitOk);
    const Bytes plain = test::ReadBytes(dir / "s2.bmp");
    ASSERT_EQ(RunJobs({"convert", "--settle-ms", "0", "--kind", "color-bmp", "--sync", dir.path()}), kExitOk);
    EXPECT_EQ(test::ReadBytes(dir / "s2.bmp"), plain);
    EXPECT_EQ(test::Entries(dir.path()).size(), 4u);
}

INSTANTIATE_TEST_SUITE_P(Jobs, DataSafetyTest, ::testing::Values(1, 4),
                         [](const ::testing::TestParamInfo<int>& p) { return std::to_string(p.param) + "Jobs"; });

}  // namespace
}  // namespace qf
