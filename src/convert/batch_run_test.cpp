// The folder walk end to end: real ORX files through our control, and a fake control
// for what real files cannot do (frame numbers that never come back, a first frame
// that is not 0, malformed transfers).
#include "convert/batch_run.h"

#ifndef _WIN32
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <cstdio>

#include "platform/file_io.h"
#include "platform/file_layer.h"

#include "tools/synthetic_beam.h"
#include "test/fake_control.h"
#include "test/faulty_files.h"
#include "test/temp_folder.h"

namespace qf {
namespace {

using Names = std::vector<std::string>;

struct RecordingObserver : BatchObserver {
    Names written;
    void FrameWritten(const std::string& output) override {
        written.push_back(output.substr(output.find_last_of(kPathSeparators) + 1));
    }
};

class BatchRunTest : public test::TempFolderTest {
protected:
    void Synth(const std::string& name, std::uint32_t frames, bool half = false, std::int16_t w = 6,
               std::int16_t h = 4) {
        BeamSettings s;
        s.width = w;
        s.height = h;
        s.frames = frames;
        s.halfResolution = half;
        ASSERT_TRUE(WriteSyntheticBeam(dir / name, s).ok());
    }
    BatchReport Run(int kind, CGetdatactrl1& ctrl) {
        BatchSettings settings;
        settings.pause = [this](std::chrono::milliseconds ms) { pauses.push_back(ms.count()); };
        return RunBatch(ctrl, dir.path(), [&] { ++kindAsked; return kind; }, settings, observer);
    }
    BatchReport Run(int kind) { return Run(kind, control); }
    Names Outputs(const char* ext) {
        Names out;
        for (const auto& n : test::Entries(dir.path())) {
            if (n.ends_with(ext)) out.push_back(n);
        }
        return out;
    }

    CGetdatactrl1 control;
    RecordingObserver observer;
    std::vector<long> pauses;
    int kindAsked = 0;
};

TEST_F(BatchRunTest, NamesFramesZeroToTwelveAndPastNinetyNine) {
    Synth("a.orx", 13, false, 2, 2);
    Synth("b.orx", 105, false, 2, 2);
    BatchReport r = Run(kGrayscaleBitmap);
    EXPECT_TRUE(r.clean());
    EXPECT_EQ(r.framesWritten, 118);
    Names want = {"a.bmp"};
    for (int i = 1; i <= 12; ++i) want.push_back("a" + std::to_string(i) + ".bmp");
    want.push_back("b.bmp");
    for (int i = 1; i <= 104; ++i) want.push_back("b" + std::to_string(i) + ".bmp");
    EXPECT_EQ(observer.written, want);
}

TEST_F(BatchRunTest, EveryKindWritesOneFilePerFrame) {
    Synth("scan.orx", 3);
    for (int kind : {0, 1, 2, 3}) {
        BatchReport r = Run(kind);
        EXPECT_TRUE(r.clean()) << kind;
        EXPECT_EQ(r.filesConverted, 1);
        EXPECT_EQ(r.framesWritten, 3);
    }
    EXPECT_EQ(Outputs(".tiff"), (Names{"scan.tiff", "scan1.tiff", "scan2.tiff"}));
    EXPECT_EQ(Outputs(".bmp"), (Names{"scan.bmp", "scan1.bmp", "scan2.bmp"}));
    EXPECT_EQ(test::ReadBytes(dir / "scan2.bmp").size(), 54u + 4 * 20);
}

TEST_F(BatchRunTest, FilterIsCaseSensitiveAndTakesOnlyFiles) {
    Synth("run.orx.bak", 1);
    Synth("RUN.ORX", 1);
    ASSERT_EQ(qf::test::MakeDir((dir / "old.orx").c_str(), 0755), 0);
    BatchReport r = Run(kStandardizedTiff);
#ifdef _WIN32
    // There the file system ignores case, and so does the filter: RUN.ORX is a data file.
    EXPECT_EQ(Outputs(".tiff"), (Names{"RUN.tiff", "run.orx.tiff"}));
    EXPECT_EQ(r.dataFiles, 2);
#else
    EXPECT_EQ(Outputs(".tiff"), (Names{"run.orx.tiff"}));  // the naming rule's own example
    EXPECT_EQ(r.dataFiles, 1);
#endif
    EXPECT_TRUE(r.failures.empty());
    EXPECT_EQ(r.notes, Names{dir / "old.orx" + ": is a folder, not a data file; skipped"});
}

TEST_F(BatchRunTest, FolderNamedOrxDoesNotMakeEveryEntryQualify) {
    std::string inner = dir / "set.orx";
    ASSERT_EQ(qf::test::MakeDir(inner.c_str(), 0755), 0);
    test::WriteBytes(inner + "/notes.txt", {1});
    BeamSettings s;
    ASSERT_TRUE(WriteSyntheticBeam(inner + "/x.orx", s).ok());
    BatchSettings settings;
    settings.settle = std::chrono::milliseconds(0);
    BatchReport r = RunBatch(control, inner, [] { return 2; }, settings, observer);
    EXPECT_TRUE(r.clean());
    EXPECT_EQ(r.dataFiles, 1);
}

TEST_F(BatchRunTest, SkipsUnreadableFileAndGoesOn) {
    Synth("a.orx", 2);
    test::WriteBytes(dir / "b.orx", {'n', 'o', 'p', 'e'});
    Synth("c.orx", 1);
    BatchReport r = Run(kFalseColorBitmap);
    EXPECT_EQ(Outputs(".bmp"), (Names{"a.bmp", "a1.bmp", "c.bmp"}));
    ASSERT_EQ(r.failures.size(), 1u);
    EXPECT_EQ(r.failures[0].Line(), dir / "b.orx" + ": cannot load: not an ORX file (signature does not match)");
    EXPECT_EQ(r.filesConverted, 2);
    EXPECT_EQ(r.stop, BatchStop::kNone);
}

TEST_F(BatchRunTest, HalfResolutionAndSingleFrameFiles) {
    Synth("half.orx", 2, true, 7, 5);
    Synth("one.orx", 1);
    BatchReport r = Run(kFalseColorBitmap);
    EXPECT_TRUE(r.clean());
    EXPECT_EQ(Outputs(".bmp"), (Names{"half.bmp", "half1.bmp", "one.bmp"}));
    std::vector<std::uint8_t> half = test::ReadBytes(dir / "half.bmp");
    EXPECT_EQ(test::Le32(half, 18), 3u);
    EXPECT_EQ(test::Le32(half, 22), 2u);
}

TEST_F(BatchRunTest, CollidingOutputIsReportedNotOverwritten) {
    Synth("scan.orx", 2);
    Synth("scan1.orx", 1, false, 3, 3);
    auto before = [&] { return test::ReadBytes(dir / "scan1.bmp"); };
    BatchReport r = Run(kGrayscaleBitmap);
    ASSERT_EQ(r.failures.size(), 1u);
    EXPECT_EQ(r.failures[0].Line(), dir / "scan1.orx" + ": frame 0 not written: its name " + dir / "scan1.bmp" +
                                        " is taken by frame 1 of " + dir / "scan.orx");
    EXPECT_EQ(test::Le32(before(), 18), 6u) << "scan1.bmp still holds frame 1 of scan.orx";
}

TEST_F(BatchRunTest, UnwritableBitmapIsReportedAndWalkGoesOn) {
    Synth("a.orx", 2);
    Synth("b.orx", 1);
    ASSERT_EQ(qf::test::MakeDir((dir / "a.bmp").c_str(), 0755), 0);
    for (int kind : {2, 3}) {
        BatchReport r = Run(kind);
        ASSERT_EQ(r.failures.size(), 1u) << kind;
        EXPECT_EQ(r.failures[0].Line(), dir / "a.bmp" + ": cannot create: a folder has that name");
        EXPECT_EQ(r.framesWritten, 2);
        EXPECT_EQ(r.stop, BatchStop::kNone);
    }
}

TEST_F(BatchRunTest, UncreatableTiffStopsTheRunAndKeepsEarlierFiles) {
    Synth("a.orx", 3);
    Synth("b.orx", 1);
    ASSERT_EQ(qf::test::MakeDir((dir / "a1.tiff").c_str(), 0755), 0);
    for (int kind : {0, 1}) {
        BatchReport r = Run(kind);
        EXPECT_EQ(r.stop, BatchStop::kTiffCannotCreate);
        ASSERT_EQ(r.failures.size(), 1u);
        EXPECT_EQ(r.failures[0].frame, 1);
        EXPECT_EQ(Outputs(".tiff"), (Names{"a.tiff", "a1.tiff"}));
    }
}

TEST_F(BatchRunTest, KindAskedOncePerFileAndPausesFollowEachStep) {
    Synth("a.orx", 3);
    Synth("b.orx", 2);
    Run(kGrayscaleBitmap);
    EXPECT_EQ(kindAsked, 2);
    // One pause after each load, one after each step: 2 + 5 while planning, as many while
    // converting; each as long as the control asks (files need none).
    EXPECT_EQ(pauses, std::vector<long>(14, 0));
}

// Inputs of one run are planned first: the observer hears one plan and counts the data
// files across them.
TEST_F(BatchRunTest, SeveralInputsArePlannedAsOneAndCountedAcross) {
    ASSERT_EQ(test::MakeDir(dir / "one"), 0);
    ASSERT_EQ(test::MakeDir(dir / "two"), 0);
    Synth("one/a.orx", 2);
    Synth("two/b.orx", 3);
    Synth("two/c.orx", 1);
    struct Counting : BatchObserver {
        std::vector<std::string> heard;
        void Planned(int files, long frames) override {
            heard.push_back("planned " + std::to_string(files) + " " + std::to_string(frames));
        }
        void FileStarted(const std::string&, int index, int total) override {
            heard.push_back(std::to_string(index) + "/" + std::to_string(total));
        }
    } counting;
    BatchSettings settings;
    const std::vector<BatchReport> reports =
        RunBatches(control, {dir / "one", dir / "two"}, [] { return kGrayscaleBitmap; }, settings, counting);
    EXPECT_EQ(counting.heard, (Names{"planned 3 6", "1/3", "2/3", "3/3"}));
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0].framesWritten, 2);
    EXPECT_EQ(reports[1].framesWritten, 4);
}

// A stop while a later input is planned: the data files of the inputs planned before it
// are named as not converted too.
TEST_F(BatchRunTest, AStopWhilePlanningALaterInputNamesTheEarlierInputsFiles) {
    ASSERT_EQ(test::MakeDir(dir / "one"), 0);
    ASSERT_EQ(test::MakeDir(dir / "two"), 0);
    Synth("one/a.orx", 1);
    Synth("one/b.orx", 1);
    Synth("two/c.orx", 1);
    int asked = 0;
    BatchSettings settings;
    // Asked before each file is planned and once after each input's plan: the fourth time
    // is before two/c.orx.
    settings.stopRequested = [&] { return ++asked >= 4; };
    const std::vector<BatchReport> reports =
        RunBatches(control, {dir / "one", dir / "two"}, [] { return kGrayscaleBitmap; }, settings, observer);
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports[0].notConverted, (Names{test::Shown(dir / "one", "a.orx"), test::Shown(dir / "one", "b.orx")}));
    EXPECT_EQ(reports.back().stop, BatchStop::kInterrupted);
    for (const BatchReport& r : reports) EXPECT_EQ(r.framesWritten, 0);
}

TEST_F(BatchRunTest, UnreadableFolderIsReported) {
    BatchSettings settings;
    BatchReport r = RunBatch(control, dir / "missing", [] { return 0; }, settings, observer);
    EXPECT_EQ(r.stop, BatchStop::kFolderUnreadable);
    EXPECT_EQ(r.failures.at(0).Line(), dir / "missing" + ": cannot read: " + test::MissingText(dir / "missing"));
}

class BatchFakeControlTest : public BatchRunTest {
protected:
    void SetUp() override {
        test::WriteBytes(dir / "line.orx", {});
        fake.width = 2;
        fake.height = 1;
    }
    test::FakeControl fake;
    CGetdatactrl1 wrapper{fake};
};

TEST_F(BatchFakeControlTest, AControlThatDoesNotSayHowLongToSettleGetsThreeHundredMs) {
    fake.frameNumbers = {0, 1};
    Run(kGrayscaleBitmap, wrapper);
    EXPECT_EQ(pauses, std::vector<long>(6, 300));
    BatchSettings settings;
    settings.settle = std::chrono::milliseconds(5);
    settings.pause = [this](std::chrono::milliseconds ms) { pauses.push_back(ms.count()); };
    pauses.clear();
    RunBatch(wrapper, dir.path(), [] { return 2; }, settings, observer);
    EXPECT_EQ(pauses, std::vector<long>(6, 5));
}

TEST_F(BatchFakeControlTest, FirstFrameNotZeroIsNamedByItsOwnCut) {
    fake.frameNumbers = {3, 4};
    BatchReport r = Run(kGrayscaleBitmap, wrapper);
    EXPECT_TRUE(r.clean());
    EXPECT_EQ(observer.written, (Names{"lin3.bmp", "lin4.bmp"}));
    EXPECT_EQ(fake.calls.at(0), "LoadFile");
}

TEST_F(BatchFakeControlTest, StopsWhenFrameNumbersRepeatWithoutComingBack) {
    fake.frameNumbers = {0, 1, 2, 1, 2};
    BatchReport r = Run(kGrayscaleBitmap, wrapper);
    EXPECT_EQ(r.framesWritten, 3);
    ASSERT_EQ(r.failures.size(), 1u);
    EXPECT_EQ(r.failures[0].Line(), dir / "line.orx" +
                                        ": frame 1: frame numbers repeat without coming back to frame 0; rest of the file skipped");
}

TEST_F(BatchFakeControlTest, UnchangingFrameNumberGivesOneFrame) {
    fake.frameNumbers = {7};
    BatchReport r = Run(kStandardizedTiff, wrapper);
    EXPECT_EQ(r.framesWritten, 1);
}

TEST_F(BatchFakeControlTest, PullFailureInSecondOfThreeFilesStopsTheRun) {
    test::WriteBytes(dir / "a.orx", {});
    test::WriteBytes(dir / "m.orx", {});
    fake.makeArray = [&]() -> SAFEARRAY* {
        // The control is handed a path through the folder the run holds open, not the
        // folder's own path: only the name is the data file's.
        const std::string& path = fake.loadedPaths.back();
        return path.substr(path.find_last_of("/\\") + 1) == "line.orx" ? nullptr : test::MakeI2Array(0, 2);
    };
    BatchReport r = Run(kNormalizedTiff, wrapper);
    EXPECT_EQ(r.stop, BatchStop::kFrameFailed);
    EXPECT_EQ(Outputs(".tiff"), Names{"a.tiff"});
    ASSERT_EQ(r.failures.size(), 1u);
    EXPECT_EQ(r.failures[0].Line(), dir / "line.orx" + ": frame 0: the control handed over no frame data "
                                                    "[E_INVALIDARG (0x80070057)]");
}

TEST_F(BatchFakeControlTest, OutputNameOutsideTheFolderIsRefused) {
    std::remove((dir / "line.orx").c_str());
    test::WriteBytes(dir / "x.orx", {});
    fake.frameNumbers = {50};
    BatchReport r = Run(kStandardizedTiff, wrapper);
    EXPECT_EQ(r.framesWritten, 0);
    ASSERT_EQ(r.failures.size(), 1u);
    EXPECT_NE(r.failures[0].cause.find("falls outside the folder"), std::string::npos);
}

TEST_F(BatchRunTest, AStopWhilePlanningNamesOnlyTheDataFilesNotConverted) {
    Synth("a.orx", 1);
    Synth("b.orx", 1);
    ASSERT_EQ(qf::test::MakeDir((dir / "calib.orx").c_str(), 0755), 0);
#ifndef _WIN32
    ASSERT_EQ(symlink((dir / "nowhere").c_str(), (dir / "gone.orx").c_str()), 0);
#endif
    BatchSettings settings;
    settings.stopRequested = [] { return true; };  // asked before the first file is looked at
    BatchReport r = RunBatch(control, dir.path(), [] { return 0; }, settings, observer);
    EXPECT_EQ(r.stop, BatchStop::kInterrupted);
    EXPECT_EQ(r.notConverted, (Names{dir / "a.orx", dir / "b.orx"}));
}

TEST_F(BatchRunTest, AStopCutsALongSettlePauseShort) {
    Synth("a.orx", 3);
    BatchSettings settings;
    settings.settle = std::chrono::hours(1);  // were it waited out, the test would never end
    int asked = 0;
    settings.stopRequested = [&] { return ++asked > 40; };
    BatchReport r = RunBatch(control, dir.path(), [] { return 0; }, settings, observer);
    EXPECT_EQ(r.stop, BatchStop::kInterrupted);
}

TEST_F(BatchRunTest, WorkersAreCappedByTheMemoryTheirFramesNeedAndWriteTheSame) {
    Synth("a.orx", 6, false, 64, 64);
    // The note names the limit that capped the workers: the user raises that one. A stack's
    // pages are encoded by workers under the same rule as a file per frame.
    const char* machine = "2 jobs instead of 8: each needs about 1 MB for its frames, and 6 MB of memory are free "
                          "on this machine";
    const char* process = "2 jobs instead of 8: each needs about 1 MB for its frames, and 6 MB of memory are free "
                          "under this process's memory limit";
    const struct {
        bool stack;
        bool processLimit;
        const char* note;
    } cases[] = {{false, false, machine}, {false, true, process}, {true, false, machine}, {true, true, process}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stack ? "a deflate stack" : "a bitmap per frame");
        const ExportKind kind = c.stack ? kNormalizedTiff : kFalseColorBitmap;
        const std::string output = dir / (c.stack ? "a.tiff" : "a5.bmp");
        BatchSettings one;
        one.exportOptions.stack = c.stack;
        one.exportOptions.compression = c.stack ? Compression::kDeflate : Compression::kNone;
        const BatchReport alone = RunBatch(control, dir.path(), [&] { return kind; }, one, observer);
        const std::vector<std::uint8_t> first = test::ReadBytes(output);
        BatchSettings many = one;
        many.jobs = 8;
        many.makeControl = [] { return std::make_unique<CGetdatactrl1>(); };
        // Room for the frames of two workers and the one being reported, not of eight.
        const std::uint64_t room = std::uint64_t{2} * 3 * ((64 * 64 * 8) + (1 << 20));
        many.memoryForFrames = [&] { return FreeMemory{room, c.processLimit}; };
        const BatchReport capped = RunBatch(control, dir.path(), [&] { return kind; }, many, observer);
        EXPECT_EQ(capped.notes, std::vector<std::string>{c.note});
        EXPECT_EQ(capped.jobs, 2);
        EXPECT_EQ(capped.framesWritten, alone.framesWritten);
        EXPECT_EQ(test::ReadBytes(output), first);
    }
}

TEST_F(BatchRunTest, TheMemoryCapReadsTheFileLayerWhenTheRunSetsNone) {
    Synth("a.orx", 3, false, 64, 64);
    test::FaultyFiles files;
    files.PretendFreeMemory(FreeMemory{std::uint64_t{2} * 2 * ((64 * 64 * 8) + (1 << 20)), true});
    const ScopedFiles installed(files);
    BatchSettings many;
    many.jobs = 4;
    many.makeControl = [] { return std::make_unique<CGetdatactrl1>(); };
    const BatchReport capped = RunBatch(control, dir.path(), [] { return kFalseColorBitmap; }, many, observer);
    EXPECT_EQ(capped.notes, std::vector<std::string>{"1 job instead of 4: each needs about 1 MB for its frames, "
                                                     "and 4 MB of memory are free under this process's memory limit"});
    EXPECT_EQ(capped.framesWritten, 3);
}

}  // namespace
}  // namespace qf

namespace qf {
namespace {

// A front end told of the plan's name clashes before anything is written: declining ends
// the run with every data file not converted; going on converts as the run always did. The
// plan is made once either way, and its progress is heard as each header is read.
TEST_F(BatchRunTest, NameClashesAreToldBeforeAnythingIsWrittenAndDecliningWritesNothing) {
    Synth("scan1.orx", 3);  // frames 1 and 2 take scan11's and scan12's names
    Synth("scan11.orx", 1);
    Synth("scan12.orx", 2);
    for (const bool goOn : {false, true}) {
        SCOPED_TRACE(goOn ? "going on" : "declining");
        struct Heard : RecordingObserver {
            std::vector<int> found;
            void Planning(int read) override { found.push_back(read); }
        } heard;
        std::vector<NameClashes> told;
        BatchSettings settings;
        settings.pause = [](std::chrono::milliseconds) {};
        settings.carryOnDespite = [&](const NameClashes& clashes) {
            told.push_back(clashes);
            EXPECT_TRUE(heard.written.empty());
            return goOn;
        };
        const BatchReport report = RunBatch(control, dir.path(), [] { return kStandardizedTiff; }, settings, heard);
        ASSERT_EQ(told.size(), 1u);
        EXPECT_EQ(told[0].lost, 2);
        EXPECT_FALSE(told[0].stacks);
        EXPECT_FALSE(told[0].acrossFolders);
        EXPECT_EQ(heard.found, (std::vector<int>{1, 2, 3}));
        if (goOn) {
            EXPECT_EQ(report.framesWritten, 4);
            EXPECT_EQ(report.failures.size(), 2u);
        } else {
            EXPECT_EQ(report.stop, BatchStop::kInterrupted);
            EXPECT_EQ(report.notConverted, (Names{dir / "scan1.orx", dir / "scan11.orx", dir / "scan12.orx"}));
            EXPECT_EQ(test::Entries(dir.path()), (Names{"scan1.orx", "scan11.orx", "scan12.orx"}));
        }
    }
    // No clash, no question.
    ASSERT_EQ(std::remove((dir / "scan1.orx").c_str()), 0);
    BatchSettings settings;
    settings.carryOnDespite = [](const NameClashes&) -> bool { ADD_FAILURE() << "asked without a clash"; return false; };
    EXPECT_TRUE(RunBatch(control, dir.path(), [] { return kStandardizedTiff; }, settings, observer).clean());
}

// Day folders into one output folder: the front end hears how many of the names lost are
// taken by another folder's data files (mirroring gives those back) and how many within one.
TEST_F(BatchRunTest, NameClashesCountThoseTakenByOtherFoldersApart) {
    for (const char* day : {"day1", "day2"}) ASSERT_EQ(test::MakeDir(dir / day), 0);
    Synth("day1/scan.orx", 3);   // scan.tiff, scan1.tiff, scan2.tiff
    Synth("day1/scan1.orx", 1);  // scan1.tiff again, within day1
    Synth("day2/scan.orx", 3);   // all three again, from day2
    const test::TempFolder out;
    BatchSettings settings;
    settings.recursive = true;
    settings.outputDir = out.path();
    std::vector<NameClashes> told;
    settings.carryOnDespite = [&](const NameClashes& clashes) {
        told.push_back(clashes);
        return false;
    };
    RunBatch(control, dir.path(), [] { return kStandardizedTiff; }, settings, observer);
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].lost, 4);
    EXPECT_EQ(told[0].acrossFolders, 3);
    EXPECT_TRUE(test::Entries(out.path()).empty());
}

}  // namespace
}  // namespace qf
