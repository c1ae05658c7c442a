// Stacks through the run itself: a stop between pages leaves no part of a stack, the run
// says which files it did not convert, and a bitmap kind asked mid-run (the dialog's radio
// group is live) still gets a file per frame.
#include <gtest/gtest.h>

#include "convert/batch_run.h"
#include "convert/run_tally.h"
#include "test/fake_control.h"
#include "test/temp_folder.h"
#include "tools/synthetic_beam.h"

namespace qf {
namespace {

class StackRunTest : public test::TempFolderTest {
protected:
    void Synth(const std::string& name, std::uint32_t frames) {
        BeamSettings s;
        s.width = 6;
        s.height = 4;
        s.frames = frames;
        ASSERT_TRUE(WriteSyntheticBeam(dir / name, s).ok());
    }
    BatchSettings Stacks() {
        BatchSettings settings;
        settings.pause = [](std::chrono::milliseconds) {};
        settings.exportOptions.stack = true;
        return settings;
    }
    CGetdatactrl1 control;
    BatchObserver observer;
};

TEST_F(StackRunTest, AStopBetweenPagesLeavesNoPartOfTheStack) {
    Synth("a.orx", 2);
    Synth("b.orx", 4);
    Synth("c.orx", 1);
    BatchSettings settings = Stacks();
    // a.orx's two pages, then b.orx's first one, then a stop.
    struct Pages : BatchObserver {
        int written = 0;
        void FrameWritten(const std::string&) override { ++written; }
    } pages;
    settings.stopRequested = [&] { return pages.written >= 3; };
    const BatchReport report = RunBatch(control, dir.path(), [] { return 1; }, settings, pages);
    EXPECT_EQ(report.stop, BatchStop::kInterrupted);
    EXPECT_EQ(test::Entries(dir.path()), (std::vector<std::string>{"a.orx", "a.tiff", "b.orx", "c.orx"}));
    EXPECT_EQ(report.framesWritten, 2);
    // The stop came inside b.orx's stack: said so, and counted once, as not converted.
    EXPECT_EQ(report.notConverted, (std::vector<std::string>{dir / "c.orx"}));
    EXPECT_EQ(report.stoppedIn, dir / "b.orx");
    const RunTally tally = TallyRun(report);
    EXPECT_EQ(tally.complete, 1);
    EXPECT_EQ(tally.partial + tally.failed, 0);
    EXPECT_EQ(tally.notReached, 2);
}

TEST_F(StackRunTest, ABitmapKindAskedDuringAStackRunGetsAFilePerFrame) {
    Synth("a.orx", 2);
    Synth("b.orx", 3);
    int file = 0;
    const BatchReport report =
        RunBatch(control, dir.path(), [&] { return file++ == 0 ? kStandardizedTiff : kGrayscaleBitmap; }, Stacks(),
                 observer);
    EXPECT_TRUE(report.clean());
    EXPECT_EQ(test::Entries(dir.path()),
              (std::vector<std::string>{"a.orx", "a.tiff", "b.bmp", "b.orx", "b1.bmp", "b2.bmp"}));
    EXPECT_EQ(report.framesWritten, 5);
}

// The dialog plans with the stack ticked whatever the kind: for a bitmap kind the plan
// names every frame, so the collisions it will meet are counted (and can be avoided).
TEST_F(StackRunTest, ABitmapKindPlannedWithTheStackTickedNamesEveryFrame) {
    Synth("scan1.orx", 2);  // its frame 1 wants scan11's frame 0's name
    Synth("scan11.orx", 1);
    BatchSettings settings = Stacks();
    settings.dryRun = true;
    settings.plannedKind = kGrayscaleBitmap;
    const BatchReport dry = RunBatch(control, dir.path(), [] { return kGrayscaleBitmap; }, settings, observer);
    ASSERT_EQ(dry.failures.size(), 1u);
    EXPECT_EQ(dry.failures[0].kind, FailureKind::kNameTaken);
    EXPECT_EQ(dry.framesPlanned, 3);
    settings.dryRun = false;
    const BatchReport run = RunBatch(control, dir.path(), [] { return kGrayscaleBitmap; }, settings, observer);
    EXPECT_EQ(run.failures.size(), 1u);
    EXPECT_EQ(test::Entries(dir.path()), (std::vector<std::string>{"scan1.bmp", "scan1.orx", "scan11.bmp", "scan11.orx"}));
}

// Two inputs, the first one's second stack cut short, by a stop or by a control call that
// fails: the first input's report names the file, the second input's data file is listed as
// not converted, and no file is counted twice.
TEST_F(StackRunTest, AStackCutShortInTheFirstInputIsToldOfItsOwnInputAndTheLaterOnesAreNotConverted) {
    const std::string first = dir / "first", second = dir / "second";
    for (const std::string& folder : {first, second}) ASSERT_EQ(test::MakeDir(folder.c_str(), 0755), 0);
    for (const std::string& path : {first + "/a.orx", first + "/m.orx", second + "/z.orx"}) test::WriteBytes(path, {});
    for (const bool controlFails : {false, true}) {
        SCOPED_TRACE(controlFails ? "a control call fails" : "a stop");
        test::FakeControl fake;
        fake.frameNumbers = {0, 1, 2};
        int pulled = 0;
        fake.makeArray = [&]() -> SAFEARRAY* {
            // a.orx's three pages, then m.orx's first one, then the fault at its second.
            if (controlFails && ++pulled == 5) throw std::bad_alloc();
            return test::MakeI2Array(0, 4);
        };
        CGetdatactrl1 faked(fake);
        struct Pages : BatchObserver {
            int written = 0;
            std::vector<std::string> failed;
            void FrameWritten(const std::string&) override { ++written; }
            void Failed(const BatchFailure& failure) override { failed.push_back(failure.Line()); }
        } pages;
        BatchSettings settings = Stacks();
        if (!controlFails) settings.stopRequested = [&] { return pages.written >= 4; };
        const std::vector<BatchReport> reports =
            RunBatches(faked, {first, second}, [] { return kStandardizedTiff; }, settings, pages);
        ASSERT_EQ(reports.size(), 2u);
        const BatchReport& one = reports[0];
        EXPECT_EQ(one.stop, controlFails ? BatchStop::kFrameFailed : BatchStop::kInterrupted);
        EXPECT_EQ(one.framesWritten, 3);
        if (controlFails) {
            ASSERT_EQ(pages.failed.size(), 1u);
            EXPECT_EQ(pages.failed[0], test::Shown(first, "m.orx") + ": run stopped: out of memory");
            ASSERT_EQ(one.failures.size(), 1u);
            EXPECT_TRUE(reports[1].failures.empty());
        } else {
            EXPECT_EQ(one.stoppedIn, test::Shown(first, "m.orx"));
        }
        EXPECT_TRUE(one.notConverted.empty());
        EXPECT_EQ(reports[1].notConverted, (std::vector<std::string>{test::Shown(second, "z.orx")}));
        const RunTally tally = TallyRun(CombinedReport(reports));
        EXPECT_EQ(tally.complete, 1);
        EXPECT_EQ(tally.complete + tally.partial + tally.failed + tally.notReached, 3);
        EXPECT_EQ(test::Entries(first), (std::vector<std::string>{"a.orx", "a.tiff", "m.orx"}));
        EXPECT_EQ(test::Entries(second), std::vector<std::string>{"z.orx"});
    }
}

TEST_F(StackRunTest, ADataFileOfNoFramesGetsNoStack) {
    ASSERT_TRUE(WriteSyntheticBeam(dir / "z.orx", BeamSettings{6, 4, 0, false, 16, 1}).ok());
    const BatchReport report = RunBatch(control, dir.path(), [] { return 0; }, Stacks(), observer);
    EXPECT_EQ(test::Entries(dir.path()), std::vector<std::string>{"z.orx"});
    EXPECT_EQ(report.framesWritten, 0);
}

}  // namespace
}  // namespace qf
