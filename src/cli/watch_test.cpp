// `watch` driven look by look: the test's clock steps the time, and a writer in the test
// appends the data file frame by frame between looks, as a camera does.
#include <gtest/gtest.h>

#include <csignal>
#ifndef _WIN32
#include <sys/stat.h>
#endif
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "cli/cli_test_support.h"
#include "cli/watch_command.h"
#include "test/orx_bytes.h"

namespace qf {
namespace {

using namespace std::chrono_literals;
using Names = std::vector<std::string>;

// Each pause moves the time on by its length and then lets the test act (write, check,
// stop), so that the watch sees exactly what the test arranged at each look.
class StepClock : public WatchClock {
public:
    WatchTime Now() override { return now; }
    bool Pause(std::chrono::milliseconds pause, const std::function<bool()>& stopped, WatchWake*) override {
        now += pause;
        ++pauses;
        if (afterPause) afterPause(pauses);
        return !stopped();
    }
    WatchTime now = std::chrono::system_clock::now();
    int pauses = 0;
    std::function<void(int)> afterPause;
};

// A 4 x 4 camera: a 32-byte header and frames of 32 bytes.
constexpr std::size_t kHeader = 32, kFrame = 32;

class WatchTest : public test::CliFixture {
protected:
    WatchTest() { hooks.watchClock = &clock; }

    // Writes `name` as a camera that has written its header and `frames` of `total` frames.
    void Write(const std::string& name, std::uint32_t frames, std::uint32_t total = 3, std::size_t extra = 0) {
        const std::vector<std::uint8_t> whole = test::OrxBytes(4, 4, total, 0x40);
        std::ofstream file(test::FsPath(dir / name), std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(whole.data()), static_cast<std::streamsize>(kHeader + frames * kFrame));
        file << std::string(extra, '\x01');
    }
    // Appends the next frame, as the camera does.
    void AppendFrame(const std::string& name) {
        std::ofstream file(test::FsPath(dir / name), std::ios::binary | std::ios::app);
        file << std::string(kFrame, '\x40');
    }
    // Makes `name` look written an hour ago (found so on a restart).
    void Age(const std::string& name) {
        const auto path = test::FsPath(dir / name);
        std::filesystem::last_write_time(path, std::filesystem::last_write_time(path) - 1h);
    }
    bool Said(const std::string& line) const { return err.str().find(line) != std::string::npos; }
    int Watch(std::vector<std::string> args) {
        args.insert(args.begin(), "watch");
        return Run(args, &hooks);
    }

    StepClock clock;
    CliHooks hooks;
};

TEST_F(WatchTest, ConvertsOnlyOnceCompleteAndSettled) {
    Write("scan.orx", 0);
    std::vector<Names> seen;
    clock.afterPause = [&](int pause) {
        seen.push_back(test::Entries(dir.path()));
        if (pause <= 3) AppendFrame("scan.orx");
        if (pause == 6) std::raise(SIGINT);
    };
    EXPECT_EQ(Watch({"--poll", "1", "--settle-time", "2", dir.path()}), 130);
    ASSERT_EQ(seen.size(), 6u);
    // Complete after the third pause; looked at complete at 3 s, 4 s and settled at 5 s.
    for (int pause = 0; pause < 5; ++pause) EXPECT_EQ(seen[pause], Names{"scan.orx"}) << "pause " << pause + 1;
    EXPECT_EQ(seen[5], (Names{"scan.orx", "scan.tiff", "scan1.tiff", "scan2.tiff"}));
    EXPECT_EQ(test::Entries(dir.path()), seen[5]);
    EXPECT_TRUE(Said("quillfen-cli: watch: 1 data file converted\n")) << err.str();
}

TEST_F(WatchTest, FractionalSettleTimeAndTheSameOutputsAsConvert) {
    Write("scan.orx", 3);
    clock.afterPause = [&](int pause) {
        if (pause == 3) std::raise(SIGTERM);
    };
    EXPECT_EQ(Watch({"--poll", "0.25", "--settle-time", "0.5", "--kind", "color-bmp", dir.path()}), 143);
    EXPECT_EQ(test::Entries(dir.path()), (Names{"scan.bmp", "scan.orx", "scan1.bmp", "scan2.bmp"}));
    const std::vector<std::uint8_t> watched = test::ReadBytes(dir / "scan1.bmp");
    std::filesystem::remove(test::FsPath(dir / "scan1.bmp"));
    EXPECT_EQ(Run({"convert", "--kind", "color-bmp", dir.path()}), kExitOk);
    EXPECT_EQ(test::ReadBytes(dir / "scan1.bmp"), watched);
}

TEST_F(WatchTest, RefusesWhatCannotBeWatched) {
    EXPECT_EQ(Watch({"--once", dir / "missing"}), kExitUsage);
    // The system's words for the cause follow.
    ASSERT_EQ(Lines().size(), 1u);
    EXPECT_EQ(Lines()[0].rfind("quillfen-cli: " + dir / "missing" + ": cannot watch: ", 0), 0u) << err.str();
    EXPECT_EQ(Watch({"--mirror", dir.path()}), kExitUsage);
    EXPECT_EQ(Watch({"--dry-run", dir.path()}), kExitUsage);
    EXPECT_EQ(clock.pauses, 0);
}

TEST_F(WatchTest, StopWhileWaitingLeavesNothing) {
    Write("scan.orx", 1);
    clock.afterPause = [&](int) { std::raise(SIGTERM); };
    EXPECT_EQ(Watch({dir.path()}), 143);
    EXPECT_EQ(clock.pauses, 1);
    EXPECT_EQ(test::Entries(dir.path()), Names{"scan.orx"});
    auto now = std::signal(SIGTERM, SIG_DFL);
    std::signal(SIGTERM, now);
    EXPECT_EQ(now, SIG_DFL);
}

TEST_F(WatchTest, StopInsideAConversionFinishesTheFrameAndLeavesNoTemporary) {
    Write("scan.orx", 3);
    Age("scan.orx");
    hooks.frameWritten = [&](const std::string&) { std::raise(SIGINT); };
    EXPECT_EQ(Watch({"--jobs", "1", dir.path()}), 130);
    EXPECT_EQ(test::Entries(dir.path()), (Names{"scan.orx", "scan.tiff"}));
    EXPECT_TRUE(Said("quillfen-cli: " + dir / "scan.orx" + ": its later frames were not converted (the run stopped)\n"))
        << err.str();
    EXPECT_EQ(clock.pauses, 0);
}

TEST_F(WatchTest, OnceConvertsWhatIsSettledAndListsWhatIsBeingWritten) {
    Write("done.orx", 3);
    Age("done.orx");
    Write("fresh.orx", 3);
    Write("part.orx", 1);
    EXPECT_EQ(Watch({"--once", dir.path()}), kExitOk);
    EXPECT_EQ(test::Entries(dir.path()),
              (Names{"done.orx", "done.tiff", "done1.tiff", "done2.tiff", "fresh.orx", "part.orx"}));
    EXPECT_TRUE(Said("quillfen-cli: " + dir / "fresh.orx" + ": being written (3 of 3 frames); not converted yet\n"))
        << err.str();
    EXPECT_TRUE(Said("quillfen-cli: " + dir / "part.orx" + ": being written (1 of 3 frames); not converted yet\n"));
    EXPECT_EQ(clock.pauses, 0);
    // run.orx.bak's outputs keep .orx in their names (run.orx.tiff): images, which the next
    // look passes over as convert does, never data that fails.
    Write("run.orx.bak", 1, 1);
    Age("run.orx.bak");
    EXPECT_EQ(Watch({"--once", dir.path()}), kExitOk) << err.str();
    EXPECT_TRUE(test::FileExists(dir / "run.orx.tiff"));
    EXPECT_EQ(Watch({"--once", dir.path()}), kExitOk) << err.str();
    EXPECT_FALSE(Said("run.orx.tiff:")) << err.str();
}

TEST_F(WatchTest, ShortFileIsGivenUpWithItsCompleteFrames) {
    Write("cut.orx", 2);
    Age("cut.orx");
    EXPECT_EQ(Watch({"--once", "--give-up-after", "60", dir.path()}), kExitFailures);
    EXPECT_EQ(Lines(), (Names{"quillfen-cli: " + dir / "cut.orx" +
                                  ": unchanged for 60 s and still short (truncated: 96 bytes, expected 128 for 3 frames): "
                                  "its 2 complete frames were not converted (--salvage converts them)",
                              "quillfen-cli: watch: 0 data files converted"}));
    EXPECT_EQ(test::Entries(dir.path()), Names{"cut.orx"});

    EXPECT_EQ(Watch({"--once", "--give-up-after", "60", "--salvage", dir.path()}), kExitFailures);
    EXPECT_TRUE(Said("quillfen-cli: " + dir / "cut.orx" +
                     ": the file ends inside frame 2: 1 of 3 frames missing (the complete ones were converted)\n"))
        << err.str();
    EXPECT_EQ(test::Entries(dir.path()), (Names{"cut.orx", "cut.tiff", "cut1.tiff"}));
}

TEST_F(WatchTest, ShortFileStillGrowingIsNotGivenUp) {
    Write("scan.orx", 0, 20);
    clock.afterPause = [&](int pause) {
        if (pause <= 20) AppendFrame("scan.orx");
        if (pause == 24) std::raise(SIGINT);
    };
    EXPECT_EQ(Watch({"--poll", "1", "--give-up-after", "3", dir.path()}), 130);
    EXPECT_FALSE(Said("still short")) << err.str();
    EXPECT_EQ(test::Entries(dir.path()).size(), 21u);
}

TEST_F(WatchTest, TooLongAndChangedAfterConversionAreOneLineEach) {
    Write("long.orx", 3, 3, 5);
    Write("scan.orx", 3);
    Age("scan.orx");
    clock.afterPause = [&](int pause) {
        if (pause == 1) {
            Write("scan.orx", 3);  // rewritten in place, the same length
            Age("scan.orx");
            std::filesystem::last_write_time(test::FsPath(dir / "scan.orx"),
                                             std::filesystem::last_write_time(test::FsPath(dir / "scan.orx")) + 10min);
        }
        if (pause == 5) std::raise(SIGINT);
    };
    EXPECT_EQ(Watch({"--poll", "1", dir.path()}), 130);
    EXPECT_EQ(Lines(),
              (Names{"quillfen-cli: " + dir / "long.orx" +
                         ": longer than its header says (too long: 133 bytes, expected 128 for 3 frames); not converted",
                     "quillfen-cli: " + dir / "scan.orx" +
                         ": changed after it was converted; its outputs hold what it was then, and it is not converted again",
                     "quillfen-cli: watch: 1 data file converted"}));
}

TEST_F(WatchTest, RestartConvertsOnlyWhatIsMissing) {
    Write("a.orx", 3);
    Age("a.orx");
    Write("b.orx", 1);
    EXPECT_EQ(Watch({"--once", dir.path()}), kExitOk);
    EXPECT_EQ(test::Entries(dir.path()), (Names{"a.orx", "a.tiff", "a1.tiff", "a2.tiff", "b.orx"}));

    Write("b.orx", 3);
    Age("b.orx");
    Names written;
    hooks.frameWritten = [&](const std::string& output) { written.push_back(output); };
    EXPECT_EQ(Watch({"--once", dir.path()}), kExitOk);
    EXPECT_EQ(written, (Names{dir / "b.tiff", dir / "b1.tiff", dir / "b2.tiff"}));

    // An output older than its data file is not done: the data file was written again.
    Write("a.orx", 3);
    std::filesystem::last_write_time(test::FsPath(dir / "a1.tiff"),
                                     std::filesystem::last_write_time(test::FsPath(dir / "a.orx")) - 2h);
    Age("a.orx");
    written.clear();
    EXPECT_EQ(Watch({"--once", dir.path()}), kExitOk);
    EXPECT_EQ(written, (Names{dir / "a.tiff", dir / "a1.tiff", dir / "a2.tiff"}));
}

TEST_F(WatchTest, LaterFileNeverTakesANameTheWatchWrote) {
    Write("a.orx", 2, 2);
    Age("a.orx");
    clock.afterPause = [&](int pause) {
        if (pause == 1) {
            Write("b.orx", 2, 2);
            Age("b.orx");
        }
        if (pause == 3) std::raise(SIGINT);
    };
    EXPECT_EQ(Watch({"--name-pattern", "frame{frame}", "--kind", "color-bmp", dir.path()}), 130);
    EXPECT_TRUE(Said("quillfen-cli: " + dir / "b.orx" + ": frame 0 not written: its name " + dir / "frame0.bmp" +
                     " is taken by frame 0 of " + dir / "a.orx" + "\n"))
        << err.str();
    EXPECT_EQ(test::Entries(dir.path()), (Names{"a.orx", "b.orx", "frame0.bmp", "frame1.bmp"}));
}

TEST_F(WatchTest, ReportHasOneFlushedLinePerDataFile) {
    Write("a.orx", 3);
    Age("a.orx");
    Write("z.orx", 3, 3, 1);
    const std::string report = dir / "watch.jsonl";
    EXPECT_EQ(Watch({"--once", "--report", report, dir.path()}), kExitFailures);
    std::ifstream in(test::FsPath(report));
    std::vector<nlohmann::json> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(nlohmann::json::parse(line));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0]["path"], dir / "a.orx");
    EXPECT_EQ(lines[0]["outputs"], (Names{dir / "a.tiff", dir / "a1.tiff", dir / "a2.tiff"}));
    EXPECT_TRUE(lines[0]["failures"].empty());
    EXPECT_EQ(lines[1]["path"], dir / "z.orx");
    EXPECT_TRUE(lines[1]["outputs"].empty());
    ASSERT_EQ(lines[1]["failures"].size(), 1u);
    EXPECT_EQ(lines[1]["failures"][0]["cause"],
              "longer than its header says (too long: 129 bytes, expected 128 for 3 frames); not converted");
}

#ifndef _WIN32
// A subfolder that cannot be read is one line, once, not a silence and not a line a look.
TEST_F(WatchTest, AnUnreadableSubfolderIsSaidOnce) {
    ASSERT_EQ(test::MakeDir(dir / "shut"), 0);
    ASSERT_EQ(chmod((dir / "shut").c_str(), 0), 0);
    ASSERT_EQ(chmod(dir.path().c_str(), 0777), 0);
    const std::string line = "quillfen-cli: " + dir / "shut" + ": cannot read folder: Permission denied; not watched\n";
    const int status = test::AsOrdinaryUser([&] {
        // Three looks, then a stop: the folder is said at the first only.
        clock.afterPause = [](int pauses) {
            if (pauses == 3) std::raise(SIGINT);
        };
        const int watched = Watch({"--recursive", dir.path()});
        const std::string said = err.str();
        std::size_t count = 0;
        for (std::size_t at = said.find(line); at != std::string::npos; at = said.find(line, at + 1)) ++count;
        return watched == 130 && count == 1 ? 0 : 1;
    });
    chmod((dir / "shut").c_str(), 0755);
    EXPECT_EQ(status, 0);
}
#endif

TEST_F(WatchTest, WatchesNewSubfoldersWithRecursive) {
    Write("a.orx", 3);
    Age("a.orx");
    clock.afterPause = [&](int pause) {
        if (pause == 1) {
            std::filesystem::create_directory(test::FsPath(dir / "later"));
            Write(test::Shown("later", "b.orx"), 3);
            Age(test::Shown("later", "b.orx"));
        }
        if (pause == 2) std::raise(SIGINT);
    };
    const std::string outDir = dir / "out";
    // The looks alone: no change notices.
    EXPECT_EQ(Watch({"--poll-only", "--recursive", "--mirror", "--output-dir", outDir, dir.path()}), 130);
    EXPECT_EQ(test::Entries(outDir), (Names{"a.tiff", "a1.tiff", "a2.tiff", "later"}));
    EXPECT_EQ(test::Entries(test::Shown(outDir, "later")), (Names{"b.tiff", "b1.tiff", "b2.tiff"}));
}

}  // namespace
}  // namespace qf
