// Bad input and faults, end to end through quillfen-cli: every bad file is refused with
// one line naming it, every good one converts, and no fault loses or damages a file.
#include <tiffio.h>
#ifndef _WIN32
#include <dirent.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#endif

#include <csignal>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <sstream>

#include "cli/cli_app.h"
#include "cli/cli_test_support.h"
#include "control/orx_control.h"
#include "platform/file_layer.h"
#include "tools/synthetic_beam.h"
#include "test/faulty_files.h"
#include "test/orx_bytes.h"
#include "test/temp_folder.h"

namespace qf {
namespace {

using Bytes = std::vector<std::uint8_t>;

class HardeningTest : public test::TempFolderTest {
protected:
    int Convert(const std::string& kind, const std::string& folder, const char* jobs = nullptr) {
        std::vector<std::string> args = {"quillfen-cli", "convert", "--quiet", "--settle-ms", "0",
                                         "--kind", kind, folder};
        if (jobs) args.insert(args.begin() + 2, {"--jobs", jobs});
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        err.str("");
        std::ostringstream out;
        return RunCli(static_cast<int>(argv.size()), argv.data(), out, err);
    }
    // The failure lines, by the path they name; the note lines go to `notes` likewise.
    std::map<std::string, std::vector<std::string>> FailureLines() {
        std::map<std::string, std::vector<std::string>> lines;
        notes.clear();
        std::istringstream in(err.str());
        for (std::string line; std::getline(in, line);) {
            std::string prefix = "quillfen-cli: ";
            EXPECT_EQ(line.rfind(prefix, 0), 0u) << line;
            const bool note = line.rfind(prefix + "note: ", 0) == 0;
            if (note) prefix += "note: ";
            const std::size_t cause = line.find(".orx: ");
            const std::size_t end = cause == std::string::npos ? line.find(": ", prefix.size()) : cause + 4;
            (note ? notes : lines)[line.substr(prefix.size(), end - prefix.size())].push_back(line.substr(end + 2));
        }
        return lines;
    }
    std::map<std::string, std::vector<std::string>> notes;
    void Good(const std::string& path, std::uint32_t frames = 2) {
        BeamSettings s;
        s.width = 4;
        s.height = 3;
        s.frames = frames;
        ASSERT_TRUE(WriteSyntheticBeam(path, s).ok());
    }
    std::ostringstream err;
};

std::vector<std::pair<std::string, Bytes>> BadFiles() {
    const Bytes good = test::OrxBytes(4, 3, 2, 0x42);
    std::vector<std::pair<std::string, Bytes>> bad = {
        {"empty", {}},
        {"one-byte", {0x89}},
        {"signature-only", Bytes(good.begin(), good.begin() + 8)},
        {"header-31", Bytes(good.begin(), good.begin() + 31)},
        {"version-0", test::Patched(good, 8, {0, 0})},
        {"version-2", test::Patched(good, 8, {2, 0})},
        {"version-ffff", test::Patched(good, 8, {0xFF, 0xFF})},
        {"hlen-0", test::Patched(good, 10, {0, 0})},
        {"hlen-31", test::Patched(good, 10, {31, 0})},
        {"hlen-ffff", test::Patched(good, 10, {0xFF, 0xFF})},
        {"width-0", test::Patched(good, 12, {0, 0})},
        {"width-8000", test::Patched(good, 12, {0, 0x80})},
        {"width-ffff", test::Patched(good, 12, {0xFF, 0xFF})},
        {"height-0", test::Patched(good, 14, {0, 0})},
        {"height-8000", test::Patched(good, 14, {0, 0x80})},
        {"height-ffff", test::Patched(good, 14, {0xFF, 0xFF})},
        {"frames-0", test::Patched(good, 16, {0, 0, 0, 0})},
        {"frames-32769", test::Patched(good, 16, {1, 0x80, 0, 0})},
        {"frames-max-size-max", test::Patched(good, 12, {0xFF, 0x7F, 0xFF, 0x7F, 0xFF, 0xFF, 0xFF, 0xFF})},
        {"flags-2", test::Patched(good, 20, {2, 0})},
        {"flags-8000", test::Patched(good, 20, {0, 0x80})},
        {"flags-ffff", test::Patched(good, 20, {0xFF, 0xFF})},
        {"cut-in-frame-1", Bytes(good.begin(), good.end() - 1)},
        {"cut-after-header", Bytes(good.begin(), good.begin() + 32)},
        {"cut-in-frame-0", Bytes(good.begin(), good.begin() + 40)},
        {"trailing-byte", [&] { Bytes b = good; b.push_back(0); return b; }()},
        {"trailing-kilobyte", [&] { Bytes b = good; b.resize(b.size() + 1000); return b; }()},
        {"half-flag-length-of-full", test::Patched(good, 20, {1, 0})},
    };
    for (int i = 0; i < 8; ++i) {
        bad.push_back({"signature-byte-" + std::to_string(i), test::Patched(good, i, {static_cast<std::uint8_t>(good[i] ^ 0x20)})});
    }
    for (int at = 22; at < 32; ++at) bad.push_back({"reserved-" + std::to_string(at), test::Patched(good, at, {1})});
    return bad;
}

TEST_F(HardeningTest, EveryBadFileIsRefusedOnceAndGoodOnesBetweenConvert) {
    std::set<std::string> badPaths, notDataPaths;
    int n = 0;
    for (const auto& [name, bytes] : BadFiles()) {
        char prefix[16];
        std::snprintf(prefix, sizeof prefix, "f%02d-", n++);
        test::WriteBytes(dir / (prefix + name + ".orx"), bytes);
        badPaths.insert(dir / (prefix + name + ".orx"));
        Good(dir / (std::string(prefix) + "ok.orx"));
    }
    ASSERT_EQ(qf::test::MakeDir((dir / "g-folder.orx").c_str(), 0755), 0);
    notDataPaths.insert(dir / "g-folder.orx");
#ifndef _WIN32  // no FIFOs there, and links need privileges
    ASSERT_EQ(mkfifo((dir / "g-fifo.orx").c_str(), 0644), 0);
    ASSERT_EQ(symlink("nowhere", (dir / "g-dangling.orx").c_str()), 0);
    for (const char* other : {"g-fifo.orx", "g-dangling.orx"}) notDataPaths.insert(dir / other);
#endif
    ASSERT_GE(badPaths.size(), 40u);

    EXPECT_EQ(Convert("grayscale-bmp", dir.path()), kExitFailures);
    auto lines = FailureLines();
    std::set<std::string> named;
    for (const auto& [path, causes] : lines) {
        EXPECT_EQ(causes.size(), 1u) << path;
        named.insert(path);
    }
    EXPECT_EQ(named, badPaths);
    // Entries named like data files that are none get a note each, and no failure.
    std::set<std::string> noted;
    for (const auto& [path, causes] : notes) {
        EXPECT_EQ(causes.size(), 1u) << path;
        noted.insert(path);
    }
    EXPECT_EQ(noted, notDataPaths);
#ifndef _WIN32
    EXPECT_EQ(notes[dir / "g-fifo.orx"].at(0), "is not a regular file; skipped");
    EXPECT_EQ(notes[dir / "g-dangling.orx"].at(0), "cannot open: No such file or directory; skipped");
#endif
    EXPECT_EQ(notes[dir / "g-folder.orx"].at(0), "is a folder, not a data file; skipped");
    for (int i = 0; i < n; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "f%02d-ok", i);
        EXPECT_TRUE(test::FileExists(dir / (std::string(name) + "1.bmp"))) << name;
    }
}

TEST_F(HardeningTest, GoodFileCutAtEveryByteIsRefusedWithoutHarm) {
    Good(dir / "whole.orx");
    const Bytes whole = test::ReadBytes(dir / "whole.orx");
    OrxControl control;
    for (std::size_t cut = 0; cut < whole.size(); ++cut) {
        test::WriteBytes(dir / "cut.orx", Bytes(whole.begin(), whole.begin() + cut));
        Status loaded = control.LoadFile(dir / "cut.orx");
        ASSERT_FALSE(loaded.ok()) << cut;
        EXPECT_FALSE(loaded.message().empty()) << cut;
    }
    EXPECT_TRUE(control.LoadFile(dir / "whole.orx").ok());
}

TEST_F(HardeningTest, UnusualNamesConvert) {
    std::vector<std::string> names = {
        "with spaces.orx", "Messung \xC3\xA4\xC3\xB6 \xE6\xB8\xAC\xE5\xAE\x9A.orx",
        "-leading-dash.orx", std::string(245, 'n') + ".orx"};
#ifndef _WIN32
    names.push_back("bad\xFF\xFEutf8.orx");  // Windows names are UTF-16: no such name can exist there
#endif
    for (const auto& name : names) Good(dir / name, 3);
    for (const char* kind : {"normalized-tiff", "color-bmp"}) {
        EXPECT_EQ(Convert(kind, dir.path()), kExitOk) << err.str();
    }
    for (const auto& name : names) {
        const std::string stem = dir / name.substr(0, name.size() - 4);
        EXPECT_TRUE(test::FileExists(stem + "2.tiff")) << name;
        EXPECT_TRUE(test::FileExists(stem + "2.bmp")) << name;
    }
}

int OpenDescriptors() {
    int n = 0;
#ifndef _WIN32  // handles are not counted on Windows; the thousand files still convert there
    if (DIR* d = opendir("/proc/self/fd")) {
        while (readdir(d)) ++n;
        closedir(d);
    }
#endif
    return n;
}

TEST_F(HardeningTest, ThousandSmallFilesConvertWithoutDescriptorGrowth) {
    for (int i = 0; i < 1000; ++i) Good(dir / ("s" + std::to_string(i) + ".orx"), 1);
    const int before = OpenDescriptors();
    EXPECT_EQ(Convert("standardized-tiff", dir.path()), kExitOk);
    EXPECT_EQ(OpenDescriptors(), before);
    EXPECT_EQ(test::Entries(dir.path()).size(), 2000u);
}

TEST_F(HardeningTest, ReadOnlyFolderIsOneLineForTheBitmapsAndStopsTiff) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows: no POSIX permissions to take away from an ordinary user";
#else
    Good(dir / "a.orx", 3);
    Good(dir / "b.orx", 2);
    ASSERT_EQ(chmod(dir.path().c_str(), 0555), 0);
    ASSERT_EQ(chmod((dir / "a.orx").c_str(), 0644), 0);
    int bitmap = test::AsOrdinaryUser([&] {
        // Five frames, one folder: one line that says what to do.
        int status = Convert("color-bmp", dir.path());
        return status == kExitFailures &&
                       err.str() == "quillfen-cli: " + dir.path() + ": the folder takes no new files (cannot create: "
                                    "Permission denied): none of its outputs are written; --output-dir DIR writes "
                                    "them elsewhere\n"
                   ? 0 : 1;
    });
    EXPECT_EQ(bitmap, 0);
    int tiff = test::AsOrdinaryUser([&] {
        int status = Convert("normalized-tiff", dir.path());
        return status == kExitTiffStopped &&
                       err.str() == "quillfen-cli: " + dir / "a.tiff" + ": cannot create: Permission denied\n" +
                                        "quillfen-cli: " + dir / "a.orx" +
                                        ": its later frames were not converted (the run stopped)\n" +
                                        "quillfen-cli: " + dir / "b.orx" + ": not converted (the run stopped before it)\n"
                   ? 0 : 1;
    });
    EXPECT_EQ(tiff, 0);
    chmod(dir.path().c_str(), 0755);
    EXPECT_EQ(test::Entries(dir.path()), (std::vector<std::string>{"a.orx", "b.orx"}));
#endif
}

TEST_F(HardeningTest, UnreadableDataFileIsRefusedAndOthersConvert) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows: no POSIX permissions to take away from an ordinary user";
#else
    Good(dir / "a.orx");
    Good(dir / "secret.orx");
    ASSERT_EQ(chmod((dir / "secret.orx").c_str(), 0), 0);
    ASSERT_EQ(chmod(dir.path().c_str(), 0777), 0);
    int result = test::AsOrdinaryUser([&] {
        int status = Convert("grayscale-bmp", dir.path());
        return status == kExitFailures &&
                       err.str() == "quillfen-cli: " + dir / "secret.orx" + ": cannot load: cannot open: Permission denied\n"
                   ? 0 : 1;
    });
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(test::FileExists(dir / "a1.bmp"));
    EXPECT_FALSE(test::FileExists(dir / "secret.bmp"));
#endif
}

// The common checks after the disk failed b.tiff (it ran out of room, say): the failure is reported, no
// temporary is left, the earlier output of that name is untouched and earlier frames are whole.
void ExpectDiskFullHandled(const std::string& folder, const std::string& err, int status,
                           const std::string& cause, int expected = kExitFailures) {
    EXPECT_EQ(status, expected);
    EXPECT_NE(err.find(test::Shown(folder, "b.tiff") + ": " + cause), std::string::npos) << err;
    EXPECT_EQ(test::ReadBytes(folder + "/b.tiff"), (Bytes{'o', 'l', 'd'}));
    for (const auto& name : test::Entries(folder)) EXPECT_EQ(name.find(".part"), std::string::npos) << name;
    TIFF* tif = TIFFOpen((folder + "/a1.tiff").c_str(), "r");
    ASSERT_NE(tif, nullptr);
    std::vector<std::uint16_t> row(16);
    for (std::uint32_t r = 0; r < 16; ++r) EXPECT_EQ(TIFFReadScanline(tif, row.data(), r), 1);
    TIFFClose(tif);
}

void MakeDiskFullFolder(const std::string& folder) {
    BeamSettings s;
    s.width = 16;
    s.height = 16;
    s.frames = 2;
    ASSERT_TRUE(WriteSyntheticBeam(folder + "/a.orx", s).ok());
    s.width = 128;
    s.height = 128;
    s.frames = 1;
    ASSERT_TRUE(WriteSyntheticBeam(folder + "/b.orx", s).ok());
    test::WriteBytes(folder + "/b.tiff", {'o', 'l', 'd'});
}

// The system's own full disk, where a small one can be mounted (root): proof that the real
// layer says what the double below says.
TEST_F(HardeningTest, FullDiskOfTheSystemIsReportedAndLosesNothing) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows: no small file system to mount";
#else
    const std::string mnt = dir / "small";
    ASSERT_EQ(qf::test::MakeDir(mnt.c_str(), 0755), 0);
    if (mount("tmpfs", mnt.c_str(), "tmpfs", 0, "size=64k") != 0) {
        GTEST_SKIP() << "cannot mount a small tmpfs here; the small disk of the file layer's double covers it";
    }
    // More jobs hold more temporaries at once; when that fills the disk, the run goes on with
    // one job, so that its outcome is the one job's: the words say what to act on.
    for (const char* jobs : {"1", "4"}) {
        for (const auto& name : test::Entries(mnt)) std::remove((mnt + "/" + name).c_str());
        MakeDiskFullFolder(mnt);
        const int status = Convert("standardized-tiff", mnt, jobs);
        ExpectDiskFullHandled(mnt, err.str(), status, "disk full while writing (No space left on device)");
        EXPECT_EQ(err.str().find("TIFF"), std::string::npos) << err.str();
    }
    umount(mnt.c_str());
#endif
}

TEST_F(HardeningTest, FullDiskIsReportedAndLosesNothingWithAnyNumberOfJobs) {
    // Room for a's two small frames beside the data files, not for b's: more jobs hold more
    // temporaries at once; when that fills the disk, the run goes on with one job, so that
    // its outcome is the one job's: the words say what to act on.
    for (const char* jobs : {"1", "4"}) {
        for (const auto& name : test::Entries(dir.path())) std::remove((dir / name).c_str());
        MakeDiskFullFolder(dir.path());
        test::FaultyFiles files;
        std::uint64_t used = 0;
        for (const auto& name : test::Entries(dir.path())) used += test::ReadBytes(dir / name).size();
        files.SmallDisk(dir.path(), used + 8192);
        int status = 0;
        {
            ScopedFiles installed(files);
            status = Convert("standardized-tiff", dir.path(), jobs);
        }
        ExpectDiskFullHandled(dir.path(), err.str(), status, "disk full while writing (" + ErrnoText(ENOSPC) + ")");
        EXPECT_EQ(err.str().find("TIFF"), std::string::npos) << err.str();
        EXPECT_EQ(files.OpenDescriptors(), 0) << jobs;
    }
}

TEST_F(HardeningTest, MoreJobsNeverTurnARunThatFitsIntoOneThatFails) {
    // Replacing outputs needs room for the new one beside the old until its rename: one
    // job needs one more output's room, four jobs hold up to five temporaries at once.
    const std::string small = dir / "small";
    ASSERT_EQ(qf::test::MakeDir(small), 0);
    BeamSettings s;
    s.width = 128;
    s.height = 128;
    s.frames = 5;  // five outputs of 32 KiB and a header each
    ASSERT_TRUE(WriteSyntheticBeam(dir / "d.orx", s).ok());
    auto run = [&](const char* jobs) {
        std::vector<std::string> args = {"quillfen-cli", "convert", "--jobs", jobs, "--settle-ms", "0",
                                         "--kind", "standardized-tiff", "--output-dir", small, dir / "d.orx"};
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        err.str("");
        std::ostringstream out;
        return RunCli(static_cast<int>(argv.size()), argv.data(), out, err);
    };
    ASSERT_EQ(run("1"), kExitOk) << err.str();
    const Bytes first = test::ReadBytes(small + "/d4.tiff");
    test::FaultyFiles files;
    files.SmallDisk(small, 6 * first.size() + first.size() / 2);
    const ScopedFiles installed(files);
    ASSERT_EQ(run("1"), kExitOk) << err.str();  // replaces all five: fits with one job
    // Whether four jobs' temporaries meet at once depends on the workers' pace; when they
    // do, the note says the run went on with one job. Either way the outcome is one job's.
    EXPECT_EQ(run("4"), kExitOk) << err.str();
    EXPECT_EQ(test::ReadBytes(small + "/d4.tiff"), first);
    EXPECT_EQ(test::Entries(small), (std::vector<std::string>{"d.tiff", "d1.tiff", "d2.tiff", "d3.tiff", "d4.tiff"}));
}

TEST_F(HardeningTest, ADiskFullMetBySeveralJobsGoesOnWithOneJobAndWritesWhatOneJobWrites) {
    BeamSettings s;
    s.width = 64;
    s.height = 48;
    s.frames = 6;
    ASSERT_TRUE(WriteSyntheticBeam(dir / "d.orx", s).ok());
    ASSERT_EQ(Convert("color-bmp", dir.path(), "1"), kExitOk) << err.str();
    std::map<std::string, Bytes> oneJob;
    for (const auto& name : test::Entries(dir.path())) {
        if (name != "d.orx") oneJob[name] = test::ReadBytes(dir / name);
        if (name != "d.orx") std::remove((dir / name).c_str());
    }
    ASSERT_EQ(oneJob.size(), 6u);
    test::FaultyFiles files;
    files.FailNth(test::FileOp::kWrite, 2, ENOSPC);
    {
        ScopedFiles installed(files);
        EXPECT_EQ(Convert("color-bmp", dir.path(), "4"), kExitOk) << err.str();
    }
    EXPECT_NE(err.str().find("the disk is full: the run goes on with one job"), std::string::npos) << err.str();
    std::map<std::string, Bytes> fourJobs;
    for (const auto& name : test::Entries(dir.path())) {
        if (name != "d.orx") fourJobs[name] = test::ReadBytes(dir / name);
    }
    EXPECT_EQ(fourJobs, oneJob);
    // With one job, the same fault is that frame's failure, and the run goes on.
    for (const auto& [name, bytes] : oneJob) std::remove((dir / name).c_str());
    test::FaultyFiles again;
    again.FailNth(test::FileOp::kWrite, 2, ENOSPC);
    {
        ScopedFiles installed(again);
        EXPECT_EQ(Convert("color-bmp", dir.path(), "1"), kExitFailures);
    }
    EXPECT_NE(err.str().find("disk full while writing (" + ErrnoText(ENOSPC) + ")"), std::string::npos) << err.str();
}

TEST_F(HardeningTest, AFailureOfTheDiskAtTheRenameOrTheFlushLosesNothing) {
    for (const test::FileOp op : {test::FileOp::kRename, test::FileOp::kFlush}) {
        for (const auto& name : test::Entries(dir.path())) std::remove((dir / name).c_str());
        MakeDiskFullFolder(dir.path());
        test::FaultyFiles files;
        // a's two frames are written (and flushed) first, in the order of the run; b's is the third.
        files.FailNth(op, 3, EIO);
        std::vector<std::string> args = {"quillfen-cli", "convert", "--quiet", "--jobs", "1", "--sync", "--settle-ms", "0",
                                         "--kind", "standardized-tiff", dir.path()};
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        err.str("");
        std::ostringstream out;
        int status = 0;
        {
            ScopedFiles installed(files);
            status = RunCli(static_cast<int>(argv.size()), argv.data(), out, err);
        }
        // An output that cannot take its name is one that cannot be created: TIFF kinds stop there.
        if (op == test::FileOp::kRename) {
            ExpectDiskFullHandled(dir.path(), err.str(), status, "cannot replace: " + ErrnoText(EIO), kExitTiffStopped);
        } else {
            ExpectDiskFullHandled(dir.path(), err.str(), status, "flush to disk failed: " + ErrnoText(EIO));
        }
    }
}

TEST_F(HardeningTest, FileSizeLimitIsReportedAndLosesNothing) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows: no file-size limit to set";
#else
    MakeDiskFullFolder(dir.path());
    rlimit old {};
    getrlimit(RLIMIT_FSIZE, &old);
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 8192;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    int status = Convert("standardized-tiff", dir.path());
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);
    ExpectDiskFullHandled(dir.path(), err.str(), status, "write failed:");
    EXPECT_NE(err.str().find("File too large"), std::string::npos);
#endif
}

TEST_F(HardeningTest, AStopFinishesTheOutputItIsWritingAndAStopAskedTwiceEndsTheProcess) {
    Good(dir / "a.orx", 4);
    test::FaultyFiles files;
    CliHooks hooks;
    int written = 0;
    hooks.frameWritten = [&](const std::string&) {
        if (++written == 2) files.DeliverStop(SIGTERM);
    };
    std::vector<std::string> args = {"quillfen-cli", "convert", "--quiet", "--jobs", "1", "--settle-ms", "0", dir.path()};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    std::ostringstream out;
    int status = 0;
    {
        ScopedFiles installed(files);
        status = RunCli(static_cast<int>(argv.size()), argv.data(), out, err, &hooks);
        EXPECT_FALSE(files.WatchingStops()) << "the run put the handling it found back";
    }
    EXPECT_EQ(status, 128 + SIGTERM) << err.str();
    EXPECT_EQ(files.EndedBy(), 0);
    EXPECT_EQ(test::Entries(dir.path()), (std::vector<std::string>{"a.orx", "a.tiff", "a1.tiff"}));
    // Asked twice, the user means it: the process ends as the signal ends it without us.
    hooks.frameWritten = [&](const std::string&) {
        files.DeliverStop(SIGINT);
        files.DeliverStop(SIGINT);
    };
    {
        ScopedFiles installed(files);
        RunCli(static_cast<int>(argv.size()), argv.data(), out, err, &hooks);
    }
    EXPECT_EQ(files.EndedBy(), SIGINT);
}

TEST_F(HardeningTest, ProgressOnANarrowTerminalKeepsToOneLineOfItsWidth) {
    Good(dir / (std::string(120, 'w') + ".orx"), 3);
    test::FaultyFiles files;
    files.PretendTerminal(30);
    std::vector<std::string> args = {"quillfen-cli", "convert", "--jobs", "1", "--settle-ms", "0", dir.path()};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    std::ostringstream out;
    {
        ScopedFiles installed(files);
        EXPECT_EQ(RunCli(static_cast<int>(argv.size()), argv.data(), out, err), kExitOk) << err.str();
    }
    // Each drawing of the progress line ("[1/1] ...") starts over at the line's start and
    // ends before the edge; the summary comes after the line was taken away.
    const std::string text = err.str(), redraw = "\r\033[K";
    int drawn = 0;
    for (std::size_t at = text.find(redraw + "["); at != std::string::npos; at = text.find(redraw + "[", at + 1)) {
        const std::size_t from = at + redraw.size(), end = text.find_first_of("\r\n", from);
        ++drawn;
        EXPECT_LT(end - from, 30u) << text.substr(from, end - from);
    }
    EXPECT_GE(drawn, 1) << text;
}

}  // namespace
}  // namespace qf
