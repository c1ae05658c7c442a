// What a dialog draws of a run: a run told to the watch step by step as the batch run tells
// it, on a clock the test moves, each snapshot checked against what was worked out by hand.
#include "present/run_watch.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "present/run_texts.h"
#include "test/frames.h"

namespace qf::present {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

// A 12-bit camera's w x h frame, its brightest sample 4095 at the first, the rest `level`.
FrameImage CameraFrame(std::int16_t w, std::int16_t h, std::uint16_t level) {
    std::vector<std::uint16_t> samples(static_cast<std::size_t>(w * h), level);
    samples[0] = 4095;
    return test::SampleFrame(w, h, samples);
}

class RunWatchTest : public ::testing::Test {
protected:
    RunWatchTest() { options.inputBits = 12; }
    std::unique_ptr<RunWatch> Watch(const std::string& folder = "/data/day1") {
        RunWatch::Hooks hooks;
        hooks.clock = [this] { return now; };
        hooks.wake = [this](RunChange change) { told.push_back(change); };
        return std::make_unique<RunWatch>(folder, options, hooks);
    }
    void Frame(RunWatch& watch, const FrameImage& frame) {
        watch.FrameWritten("out.tiff");
        watch.FrameShown(frame, kStandardizedTiff);
    }

    RunOptions options;
    Clock::time_point now{std::chrono::hours(1)};
    std::vector<RunChange> told;
};

// Two data files of a 12-bit camera: a.orx of two 4 x 2 frames, b.orx of two 8 x 4 (80
// pixels in all); a frame of b.orx fails, the next is written, then the stop comes.
TEST_F(RunWatchTest, ScriptedRunOfATwelveBitCameraWithAFailureAndAStop) {
    const auto watch = Watch();
    const FrameImage small = CameraFrame(4, 2, 100), large = CameraFrame(8, 4, 200);
    struct Step {
        const char* what;
        std::function<void()> act;
        RunPhase phase;
        std::string strip;
        double fraction;
        int picture;  ///< the number of the picture shown, 0 for none
        std::vector<RunChange> told;
    };
    using enum RunChange;
    const std::vector<Step> steps = {
        {"start", [] {}, RunPhase::kReading, "Reading the folder...", 0, 0, {}},
        {"planning", [&] { watch->Planning(1), watch->Planning(2); }, RunPhase::kPlanning,
         "Planning: 2 data files found", 0, 0, {kProgress}},  // once: the window took no snapshot
        {"planned", [&] { watch->Planned(2, 4), watch->PlannedPixels(2 * 8 + 2 * 32); }, RunPhase::kPlanning,
         "Planning: 2 data files found", 0, 0, {kProgress}},
        {"a.orx starts",
         [&] { watch->FileStarted("/data/day1/a.orx", 1, 2), watch->FileFrames(2), watch->FileFramePixels(8); },
         RunPhase::kConverting, "File 1 of 2: a.orx", 0, 0, {kFile, kProgress}},
        // A second in, a tenth of the pixels: nine seconds left.
        {"a.orx frame 0", [&] { now += milliseconds(1000), Frame(*watch, small); }, RunPhase::kConverting,
         "File 1 of 2: a.orx, frame 1 of 2 \u00b7 1.0 frames/s, 9 s left", 0.1, 1, {kProgress, kPicture}},
        // Too soon for a picture: kept aside.
        {"a.orx frame 1", [&] { now += milliseconds(10), Frame(*watch, small); }, RunPhase::kConverting,
         "File 1 of 2: a.orx, frame 2 of 2 \u00b7 2.0 frames/s, 4 s left", 0.2, 1, {kProgress}},
        {"b.orx starts",
         [&] { now += milliseconds(990), watch->FileStarted("/data/day1/b.orx", 2, 2), watch->FileFrames(2),
               watch->FileFramePixels(32); },
         RunPhase::kConverting, "File 2 of 2: b.orx \u00b7 1.0 frames/s, 8 s left", 0.2, 1, {kFile, kProgress}},
        {"b.orx frame 0 fails",
         [&] { watch->Failed(BatchFailure{"/data/day1/b.orx", 0, "/data/day1/b.orx", "the file ends before this frame"}); },
         RunPhase::kConverting, "File 2 of 2: b.orx \u00b7 1.0 frames/s, 8 s left", 0.2, 1, {kProgress}},
        {"b.orx frame 1", [&] { now += milliseconds(1000), Frame(*watch, large); }, RunPhase::kConverting,
         "File 2 of 2: b.orx, frame 1 of 2 \u00b7 1.0 frames/s, 2 s left", 0.6, 2, {kProgress, kPicture}},
        {"stop asked", [&] { watch->Stopping(); }, RunPhase::kStopping, "Stopping after the current frame...", 0.6, 2, {}},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        told.clear();
        step.act();
        EXPECT_EQ(told, step.told);
        const RunSnapshot s = watch->Snapshot();
        EXPECT_EQ(s.phase, step.phase);
        EXPECT_EQ(s.state, RunState::kRunning);
        EXPECT_EQ(s.strip, step.strip);
        EXPECT_NEAR(s.fraction, step.fraction, 1e-12);
        EXPECT_EQ(s.picture ? s.picture->number : 0, step.picture);
    }
    const RunSnapshot during = watch->Snapshot();
    EXPECT_EQ(during.failures, 1);
    EXPECT_EQ(during.framesWritten, 3);
    EXPECT_EQ(during.progress.framesPlanned(), 4);
    ASSERT_TRUE(during.picture);
    // The picture's profiles stand on the camera's axis: 0 to 4095, its brightest sample at the top.
    EXPECT_EQ(during.picture->row.axisTop, 4095u);
    EXPECT_EQ(during.picture->column.axisTop, 4095u);
    EXPECT_EQ(during.picture->row.plotted.size(), 8u);
    EXPECT_EQ(during.picture->column.plotted.size(), 4u);
    EXPECT_EQ(during.picture->pixels->peak, 4095);
    EXPECT_EQ(during.picture->fileFrames, 1);
    EXPECT_EQ(during.picture->runFrames, 3);

    BatchReport report;
    report.stop = BatchStop::kInterrupted;
    report.framesWritten = 3;
    report.failures.push_back(BatchFailure{"/data/day1/b.orx", 0, "/data/day1/b.orx", "the file ends before this frame"});
    report.stoppedIn = "/data/day1/b.orx";
    told.clear();
    watch->Finish(report);
    EXPECT_EQ(told, std::vector<RunChange>{kEnd});  // b.orx's frame was pictured: nothing kept aside
    const RunSnapshot end = watch->Snapshot();
    EXPECT_EQ(end.phase, RunPhase::kEnded);
    EXPECT_EQ(end.state, RunState::kStopped);
    EXPECT_EQ(end.strip, "Stopped: 3 of 4 frames written");
    EXPECT_NEAR(end.fraction, 0.6, 1e-12);  // where the stop left the bar
    EXPECT_EQ(end.endMessage.rfind("The conversion was stopped.\n\n/data/day1/b.orx: frame 0: the file ends", 0), 0u)
        << end.endMessage;
    EXPECT_NE(end.endMessage.find("Not all frames of /data/day1/b.orx were written."), std::string::npos);
    EXPECT_EQ(end.reportLines, ReportLines(report));
    EXPECT_EQ(end.picture->number, 2);
}

// The frame held back by the pacing is the run's last: it is pictured as the run ends, before the end is told.
TEST_F(RunWatchTest, LastFrameHeldBackIsPicturedAtTheEnd) {
    const auto watch = Watch();
    watch->FileStarted("/data/day1/a.orx", 1, 1);
    Frame(*watch, CameraFrame(4, 2, 1));
    Frame(*watch, CameraFrame(2, 2, 1));  // the clock stands still
    EXPECT_EQ(watch->Picture()->pixels->width, 4);
    told.clear();
    BatchReport report;
    report.framesWritten = 2;
    report.filesConverted = 1;
    watch->Finish(report);
    EXPECT_EQ(told, (std::vector<RunChange>{RunChange::kPicture, RunChange::kEnd}));
    EXPECT_EQ(watch->Picture()->pixels->width, 2);
    EXPECT_EQ(watch->Picture()->runFrames, 2);
}

// How a run ends: the light, the strip and the message, for each way it can.
TEST_F(RunWatchTest, EndStateLineAndMessageFollowTheReport) {
    struct Case {
        const char* what;
        std::function<void(BatchReport&)> report;
        RunState state;
        std::string line;
        double fraction;
        std::string messageStart;  ///< "" for no message
    };
    const BatchFailure unloadable{"/data/day1/x.orx", kNoFrame, "/data/day1/x.orx", "cannot load: not an ORX file",
                                  FailureKind::kNotLoaded};
    const std::vector<Case> cases = {
        {"clean", [](BatchReport& r) { r.dataFiles = 1, r.filesConverted = 1, r.framesWritten = 2; }, RunState::kClean,
         "Converted 1 file, 2 frames in 3.0 s", 1, ""},
        {"failures, walked whole",
         [&](BatchReport& r) { r.dataFiles = 2, r.filesConverted = 1, r.framesWritten = 2, r.failures = {unloadable}; },
         RunState::kFailures, "Finished with 1 failure: 2 of 2 frames written; 0 files complete, 0 partial, 0 failed", 1,
         "Some files could not be converted.\n\n/data/day1/x.orx: cannot load"},
        {"an exception escaped", [](BatchReport& r) { EndByException(r, "/data/day1", "out of memory"); },
         RunState::kFailures, "The run stopped (1 failure): 0 of 2 frames written; 0 files complete, 0 partial, 0 failed",
         0.5, "The conversion stopped: a frame could not be read.\n\n/data/day1: run stopped: out of memory"},
        {"an unknown exception escaped", [](BatchReport& r) { EndByException(r, "/data/day1", nullptr); },
         RunState::kFailures, "The run stopped (1 failure): 0 of 2 frames written; 0 files complete, 0 partial, 0 failed",
         0.5, "The conversion stopped: a frame could not be read.\n\n/data/day1: run stopped: unknown failure"},
        // Most often the wrong folder: no success.
        {"no data files", [](BatchReport&) {}, RunState::kFailures, "No data files in day1", 1, ""},
        {"stopped while planning", [](BatchReport& r) { r.stop = BatchStop::kInterrupted; }, RunState::kStopped,
         "Stopped: 0 of 2 frames written", 0.5, "The conversion was stopped."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto watch = Watch();
        watch->Planned(1, 2);
        watch->FileStarted("/data/day1/a.orx", 1, 1);
        watch->FrameWritten("a.tiff");
        now += milliseconds(3000);
        BatchReport report;
        report.framesPlanned = 2;
        c.report(report);
        watch->Finish(report);
        const RunSnapshot s = watch->Snapshot();
        EXPECT_EQ(s.state, c.state);
        EXPECT_EQ(s.line, c.line);
        EXPECT_EQ(s.pace, "");
        EXPECT_NEAR(s.fraction, c.fraction, 1e-12);
        EXPECT_EQ(s.endMessage.rfind(c.messageStart, 0), 0u) << s.endMessage;
        EXPECT_EQ(s.endMessage.empty(), c.messageStart.empty());
    }
}

// After the run the watch of its folder says what it waits for, once for each change.
TEST_F(RunWatchTest, WatchAfterTheRunIsToldOncePerChangeAndFillsTheBarWithTheFileBeingWritten) {
    const auto watch = Watch("/data/day1/");
    WatchStanding waiting;
    waiting.converted = 1;
    watch->Looked(waiting);
    watch->Looked(waiting);
    EXPECT_EQ(told, std::vector<RunChange>{RunChange::kLook});
    EXPECT_EQ(watch->Snapshot().strip, "watching day1: 1 converted");
    EXPECT_EQ(watch->Snapshot().fraction, 1.0);
    WatchStanding writing = waiting;
    writing.beingWritten.push_back(BeingWritten{"/data/day1/scan13.orx", WatchStep{WatchAction::kWait, 1, 3, {}}});
    watch->Looked(writing);
    RunSnapshot s = watch->Snapshot();
    EXPECT_EQ(s.phase, RunPhase::kWatching);
    EXPECT_EQ(s.strip, "watching day1: 1 converted, scan13.orx being written (1 of 3 frames)");
    EXPECT_EQ(static_cast<int>(s.fraction * 100), 33);
    // Converting it, the strip is the file's; once done the same look is told again.
    watch->FileStarted("/data/day1/scan13.orx", 1, 1);
    EXPECT_EQ(watch->Snapshot().phase, RunPhase::kConverting);
    watch->FileDone("/data/day1/scan13.orx", BatchReport{});
    told.clear();
    watch->Looked(writing);
    EXPECT_EQ(told, std::vector<RunChange>{RunChange::kLook});
    // A stop asked while it waits: the strip says so, the next look changes nothing of it.
    watch->Stopping();
    watch->Looked(waiting);
    EXPECT_EQ(watch->Snapshot().strip, "Stopping after the current frame...");
}

}  // namespace
}  // namespace qf::present
