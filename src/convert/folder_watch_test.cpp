// FolderWatch driven step by step over real ORX files: two watches over one folder, the
// looks alone (no change notices), the pause before the next look, the stop, and the
// system's notices as a wake-up.
#include "convert/folder_watch.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "test/orx_bytes.h"
#include "test/temp_folder.h"

namespace qf {
namespace {

using namespace std::chrono_literals;
using Names = std::vector<std::string>;

// What a watch did: every output put in place, and a hook after each (the test acts there,
// in the middle of a conversion).
class Recorder : public FolderWatchObserver {
public:
    void FrameWritten(const std::string& output) override {
        written.push_back(output);
        if (afterFrame) afterFrame();
    }
    void Looked(const WatchStanding& standing) override { last = standing; }
    void Failed(const BatchFailure& failure) override { failures.push_back(failure.Line()); }
    Names written, failures;
    WatchStanding last;
    std::function<void()> afterFrame;
};

class FolderWatchTest : public test::TempFolderTest {
protected:
    // A complete 4 x 4 data file of `frames` frames, written an hour ago.
    void WriteDone(const std::string& path, std::uint32_t frames) {
        test::WriteBytes(path, test::OrxBytes(4, 4, frames, 0x40));
        const auto fs = test::FsPath(path);
        std::filesystem::last_write_time(fs, std::filesystem::last_write_time(fs) - 1h);
    }
    std::unique_ptr<FolderWatch> Watch(Recorder& recorder, bool recursive = false) {
        FolderWatchSettings watch;
        watch.paths = {dir.path()};
        watch.notify = false;
        BatchSettings settings;
        settings.recursive = recursive;
        settings.stopRequested = [this] { return stop; };
        return std::make_unique<FolderWatch>(watch, settings, [] { return 0; }, recorder);
    }
    WatchTime now = std::chrono::system_clock::now();
    bool stop = false;
};

// Two watches over one folder, one looking while the other is in the middle of converting
// a file and once more after: each output is written once, by one of them.
TEST_F(FolderWatchTest, TwoWatchesOnOneFolderNeverWriteAnOutputTwice) {
    WriteDone(dir / "a.orx", 3);
    WriteDone(dir / "b.orx", 2);
    Recorder first, second;
    auto one = Watch(first);
    auto two = Watch(second);
    int looksInside = 0;
    first.afterFrame = [&] {
        if (first.written.size() != 1) return;
        EXPECT_TRUE(two->Step(now));
        ++looksInside;
    };
    ASSERT_TRUE(one->Step(now));
    ASSERT_TRUE(two->Step(now + 1s));
    ASSERT_TRUE(one->Step(now + 2s));
    EXPECT_EQ(looksInside, 1);
    Names all = first.written;
    all.insert(all.end(), second.written.begin(), second.written.end());
    std::sort(all.begin(), all.end());
    EXPECT_EQ(all, (Names{dir / "a.tiff", dir / "a1.tiff", dir / "a2.tiff", dir / "b.tiff", dir / "b1.tiff"}));
    // The first held a.orx; the second, looking meanwhile, took b.orx.
    EXPECT_EQ(first.written.front(), dir / "a.tiff");
    EXPECT_EQ(second.written, (Names{dir / "b.tiff", dir / "b1.tiff"}));
    EXPECT_TRUE(first.failures.empty() && second.failures.empty());
    EXPECT_EQ(test::Entries(dir.path()).size(), 7u);  // no temporary left
}

// Without change notices the looks find every file: in the folder, in subfolders made
// after the watch began, and files that appear between two looks.
TEST_F(FolderWatchTest, LooksAloneFindEverything) {
    WriteDone(dir / "a.orx", 1);
    Recorder recorder;
    auto watch = Watch(recorder, true);
    ASSERT_TRUE(watch->Step(now));
    ASSERT_EQ(test::MakeDir(dir / "day2"), 0);
    ASSERT_EQ(test::MakeDir(test::Shown(dir / "day2", "deeper")), 0);
    WriteDone(test::Shown(dir / "day2", "b.orx"), 1);
    WriteDone(test::Shown(test::Shown(dir / "day2", "deeper"), "c.orx"), 1);
    WriteDone(dir / "d.orx", 1);
    ASSERT_TRUE(watch->Step(now + 1s));
    EXPECT_EQ(recorder.written, (Names{dir / "a.tiff", dir / "d.tiff", test::Shown(dir / "day2", "b.tiff"),
                                       test::Shown(test::Shown(dir / "day2", "deeper"), "c.tiff")}));
    EXPECT_EQ(watch->standing().converted, 4);
}

// A folder whose time says it is unchanged is not read again (its data files are looked at
// each time); every tenth look reads it whatever its time says, for file systems whose
// folder times are coarse.
TEST_F(FolderWatchTest, AFolderThatKeptItsTimeIsReadAgainAtTheTenthLook) {
    WriteDone(dir / "old.orx", 1);
    Recorder recorder;
    auto watch = Watch(recorder);
    ASSERT_TRUE(watch->Step(now));
    ASSERT_TRUE(watch->Step(now + 1s));  // reads the folder again: the outputs changed it
    const FileFacts before = FactsAt(kWorkingFolder, dir.path(), true).value();
    const auto folderTime = std::filesystem::last_write_time(test::FsPath(dir.path()));
    WriteDone(dir / "new.orx", 1);
    std::error_code set;
    std::filesystem::last_write_time(test::FsPath(dir.path()), folderTime, set);
    if (set) GTEST_SKIP() << "this system does not let a folder's time be set back: " << set.message();
    if (!SameFileUnchanged(before, FactsAt(kWorkingFolder, dir.path(), true).value())) {
        GTEST_SKIP() << "this file system's folders change size with their entries";
    }
    // old.orx changed in place is seen at once: data files are looked at each time.
    test::WriteBytes(dir / "old.orx", test::OrxBytes(4, 4, 1, 0x41));
    for (int look = 3; look <= 10; ++look) ASSERT_TRUE(watch->Step(now + std::chrono::seconds(look)));
    EXPECT_EQ(recorder.written, Names{dir / "old.tiff"});
    ASSERT_EQ(recorder.failures.size(), 1u);
    EXPECT_NE(recorder.failures[0].find("changed after it was converted"), std::string::npos);
    ASSERT_TRUE(watch->Step(now + 11s));
    EXPECT_EQ(recorder.written, (Names{dir / "old.tiff", dir / "new.tiff"}));
}

// The next look comes at the poll, or sooner when a complete file is settled by then.
TEST_F(FolderWatchTest, PausesUntilTheNextFileIsSettled) {
    FolderWatchSettings settings;
    settings.paths = {dir.path()};
    settings.poll = 5000ms;
    settings.times.settle = 2000ms;
    settings.notify = false;
    Recorder recorder;
    FolderWatch watch(settings, BatchSettings{}, [] { return 0; }, recorder);
    ASSERT_TRUE(watch.Step(now));
    EXPECT_EQ(watch.NextPause(now), 5000ms);
    test::WriteBytes(dir / "a.orx", test::OrxBytes(4, 4, 2, 0x40));
    // Written last at the moment of the look: a whole second, which every system's file
    // times hold (the Windows build's runtime sets them to the second).
    const WatchTime second = std::chrono::floor<std::chrono::seconds>(now) + 1s;
    std::filesystem::last_write_time(test::FsPath(dir / "a.orx"), std::chrono::file_clock::from_sys(second));
    ASSERT_TRUE(watch.Step(second));
    EXPECT_EQ(watch.NextPause(second), 2000ms);
    EXPECT_EQ(watch.NextPause(second + 1500ms), 500ms);
    EXPECT_EQ(recorder.last.beingWritten.size(), 1u);
    ASSERT_TRUE(watch.Step(second + 2000ms));
    EXPECT_EQ(recorder.written, (Names{dir / "a.tiff", dir / "a1.tiff"}));
}

TEST_F(FolderWatchTest, AStopEndsTheLookBeforeAnythingIsConverted) {
    WriteDone(dir / "a.orx", 1);
    Recorder recorder;
    auto watch = Watch(recorder);
    stop = true;
    EXPECT_FALSE(watch->Step(now));
    EXPECT_TRUE(recorder.written.empty());
    EXPECT_FALSE(watch->interrupted());
}

#if defined(__linux__) || defined(_WIN32)
// The notices wake for a file written and for one in a subfolder made after the watch began;
// with nothing written there is none. (Windows tells its notices a moment later: the wait
// for them ends when they come.)
TEST_F(FolderWatchTest, ChangeNoticesWakeForNewFilesAndNewSubfolders) {
#ifdef _WIN32
    constexpr auto kSoon = 10000ms;
#else
    constexpr auto kSoon = 0ms;
#endif
    const std::unique_ptr<WatchWake> wake = MakeChangeNotices({dir.path()}, true);
    ASSERT_TRUE(wake);
    EXPECT_FALSE(wake->Wait(0ms));
    test::WriteBytes(dir / "a.orx", {1, 2, 3});
    EXPECT_TRUE(wake->Wait(kSoon));
#ifndef _WIN32
    EXPECT_FALSE(wake->Wait(0ms));  // used up (Windows may tell one write twice)
#endif
    ASSERT_EQ(test::MakeDir(dir / "day2"), 0);
    EXPECT_TRUE(wake->Wait(kSoon));  // and day2 is watched from now on
    test::WriteBytes(test::Shown(dir / "day2", "b.orx"), {1});
    EXPECT_TRUE(wake->Wait(kSoon));
    EXPECT_FALSE(MakeChangeNotices({dir / "missing"}, true));
}
#endif

}  // namespace
}  // namespace qf
