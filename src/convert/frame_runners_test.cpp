// Whatever runs the jobs (inline on the caller's control, or a pool of workers), a run tells
// its observer the same, from the thread that called it, writes the same and stops at the
// same frame.
#include <gtest/gtest.h>

#include <atomic>
#include <deque>
#include <thread>

#include "convert/batch_run.h"
#include "test/fake_control.h"
#include "test/temp_folder.h"
#include "tools/synthetic_beam.h"

namespace qf {
namespace {

using Lines = std::vector<std::string>;

// Every event as a line, and whether any came from another thread than the run's caller.
struct EventLog : BatchObserver {
    explicit EventLog(std::string folder) : folder_(std::move(folder)) {}
    void Planned(int files, long frames) override { Add("planned " + std::to_string(files) + " " + std::to_string(frames)); }
    void FileStarted(const std::string& path, int index, int total) override {
        Add("file " + path + " " + std::to_string(index) + "/" + std::to_string(total));
    }
    void FileFrames(int frames) override { Add("frames " + std::to_string(frames)); }
    void FrameWritten(const std::string& output) override { Add("written " + output); }
    void FrameShown(const FrameImage& frame, ExportKind kind) override {
        Add("shown " + std::to_string(frame.count) + " " + std::to_string(kind) + " " +
            std::to_string(frame.samples ? frame.samples[frame.count - 1] : frame.highBytes[frame.count - 1]));
    }
    void Failed(const BatchFailure& failure) override { Add("failed " + failure.Line()); }
    void Noted(const std::string& line) override { Add("noted " + line); }

    void Add(std::string line) {
        if (std::this_thread::get_id() != caller) otherThread = true;
        for (std::size_t at = line.find(folder_); at != std::string::npos; at = line.find(folder_, at)) {
            line.replace(at, folder_.size(), "DIR");
        }
        lines.push_back(std::move(line));
    }
    std::thread::id caller = std::this_thread::get_id();
    bool otherThread = false;
    Lines lines;

private:
    std::string folder_;
};

class ParallelRunTest : public test::TempFolderTest {
protected:
    void Synth(const std::string& folder, const std::string& name, std::uint32_t frames, std::uint64_t seed) {
        BeamSettings s;
        s.width = 40;
        s.height = 30;
        s.frames = frames;
        s.seed = seed;
        ASSERT_TRUE(WriteSyntheticBeam(folder + "/" + name, s).ok());
    }
    EventLog Run(const std::string& folder, int jobs, int kind, CGetdatactrl1& control,
                 std::function<std::unique_ptr<CGetdatactrl1>()> makeControl = nullptr) {
        EventLog log(folder);
        BatchSettings settings;
        settings.jobs = jobs;
        settings.makeControl = makeControl ? std::move(makeControl) : [] { return std::make_unique<CGetdatactrl1>(); };
        settings.pause = [](std::chrono::milliseconds) {};
        report = RunBatch(control, folder, [kind] { return kind; }, settings, log);
        return log;
    }
    BatchReport report;
    std::string folder_;
};

TEST_F(ParallelRunTest, ObserverHearsWhatOneJobTellsInOrderFromTheCallingThread) {
    for (const std::string& folder : {dir / "one", dir / "four"}) {
        ASSERT_EQ(qf::test::MakeDir(folder.c_str(), 0755), 0);
        Synth(folder, "a.orx", 9, 1);
        Synth(folder, "b.orx", 1, 2);
        Synth(folder, "c.orx", 14, 3);
        test::WriteBytes(folder + "/d.orx", {1, 2});
    }
    for (int kind : {0, 1, 2, 3}) {
        CGetdatactrl1 control;
        const EventLog one = Run(dir / "one", 1, kind, control);
        const BatchReport oneReport = report;
        const EventLog four = Run(dir / "four", 4, kind, control);
        EXPECT_EQ(four.lines, one.lines) << "kind " << kind;
        EXPECT_FALSE(four.otherThread) << "kind " << kind;
        EXPECT_EQ(report.framesWritten, 24) << "kind " << kind;
        EXPECT_EQ(report.framesWritten, oneReport.framesWritten);
        EXPECT_EQ(report.filesConverted, oneReport.filesConverted);
        EXPECT_EQ(report.failures.size(), oneReport.failures.size());
    }
}

TEST_F(ParallelRunTest, PullFailureMidFileStopsWhereOneJobStopsAndReleasesEveryArray) {
    const long arraysBefore = SafeArrayLiveCount();
    std::deque<test::FakeControl> fakes;
    // Frame 5 of m.orx comes without data, whichever control pulls it.
    auto script = [this](test::FakeControl& fake) {
        fake.width = 2;
        fake.height = 1;
        fake.frameNumbers = {0, 1, 2, 3, 4, 5, 6, 7};
        fake.makeArray = [this, &fake]() -> SAFEARRAY* {
            const std::string& path = fake.loadedPaths.back();
            const bool bad = path.substr(path.find_last_of("/\\") + 1) == "m.orx" && fake.position == 5;
            return bad ? nullptr : test::MakeI2Array(0, 2);
        };
    };
    auto makeControl = [&] {
        script(fakes.emplace_back());
        return std::make_unique<CGetdatactrl1>(fakes.back());
    };
    Lines outputs[2];
    Lines events[2];
    BatchReport reports[2];
    for (int jobs : {1, 3}) {
        const int i = jobs == 1 ? 0 : 1;
        folder_ = dir / ("jobs" + std::to_string(jobs));
        ASSERT_EQ(qf::test::MakeDir(folder_.c_str(), 0755), 0);
        for (const char* name : {"a.orx", "m.orx", "z.orx"}) test::WriteBytes(folder_ + "/" + name, {});
        test::FakeControl& planner = fakes.emplace_back();
        script(planner);
        CGetdatactrl1 control(planner);
        events[i] = Run(folder_, jobs, kStandardizedTiff, control, makeControl).lines;
        reports[i] = report;
        outputs[i] = test::Entries(folder_);
    }
    EXPECT_EQ(reports[1].stop, BatchStop::kFrameFailed);
    EXPECT_EQ(reports[1].framesWritten, 13);  // a.orx's 8, m.orx's frames 0 to 4
    EXPECT_EQ(events[1], events[0]);
    EXPECT_EQ(outputs[1], outputs[0]);
    EXPECT_EQ(reports[0].notConverted, Lines{test::Shown(dir / "jobs1", "z.orx")});
    EXPECT_EQ(reports[1].notConverted, Lines{test::Shown(dir / "jobs3", "z.orx")});
    ASSERT_EQ(reports[1].failures.size(), 1u);
    EXPECT_EQ(reports[1].failures[0].Line(), test::Shown(folder_, "m.orx") + ": frame 5: the control handed over no frame data "
                                                       "[E_INVALIDARG (0x80070057)]");
    EXPECT_EQ(SafeArrayLiveCount(), arraysBefore);
}

// The dialog's radio buttons: a change applies from the next data file on, however many
// jobs there are and however small the files.
TEST_F(ParallelRunTest, AKindChangedMidRunAppliesFromTheNextDataFileWithEveryJobCount) {
    for (int jobs : {1, 4}) {
        folder_ = dir / ("jobs" + std::to_string(jobs));
        ASSERT_EQ(qf::test::MakeDir(folder_.c_str(), 0755), 0);
        for (const char* name : {"a.orx", "b.orx", "c.orx", "d.orx"}) Synth(folder_, name, 1, 5);
        std::atomic<int> kind{kNormalizedTiff};
        struct Switcher : BatchObserver {
            std::atomic<int>* kind = nullptr;
            void FrameWritten(const std::string&) override { *kind = kGrayscaleBitmap; }
        } switcher;
        switcher.kind = &kind;
        BatchSettings settings;
        settings.jobs = jobs;
        settings.makeControl = [] { return std::make_unique<CGetdatactrl1>(); };
        settings.pause = [](std::chrono::milliseconds) {};
        CGetdatactrl1 control;
        report = RunBatch(control, folder_, [&] { return kind.load(); }, settings, switcher);
        EXPECT_EQ(report.framesWritten, 4);
        EXPECT_EQ(test::Entries(folder_), (Lines{"a.orx", "a.tiff", "b.bmp", "b.orx", "c.bmp", "c.orx", "d.bmp", "d.orx"}))
            << jobs << " jobs";
    }
}

// A data file none of whose frames are selected (--frames) is walked and counted alike.
TEST_F(ParallelRunTest, AFileWithNoFrameSelectedIsToldAlikeWithEveryJobCount) {
    Lines events[2];
    for (int jobs : {1, 4}) {
        const std::string folder = dir / ("jobs" + std::to_string(jobs));
        ASSERT_EQ(qf::test::MakeDir(folder.c_str(), 0755), 0);
        Synth(folder, "a.orx", 3, 1);
        Synth(folder, "b.orx", 9, 2);
        Synth(folder, "c.orx", 2, 3);
        EventLog log(folder);
        BatchSettings settings;
        settings.jobs = jobs;
        settings.makeControl = [] { return std::make_unique<CGetdatactrl1>(); };
        settings.pause = [](std::chrono::milliseconds) {};
        settings.frames = FrameSelection::Parse("5-7").value();
        CGetdatactrl1 control;
        report = RunBatch(control, folder, [] { return kGrayscaleBitmap; }, settings, log);
        events[jobs == 1 ? 0 : 1] = log.lines;
        EXPECT_EQ(report.framesWritten, 3) << jobs << " jobs";
        EXPECT_EQ(report.filesConverted, 3) << jobs << " jobs";
        EXPECT_TRUE(report.clean()) << jobs << " jobs";
        EXPECT_EQ(test::Entries(folder), (Lines{"a.orx", "b.orx", "b5.bmp", "b6.bmp", "b7.bmp", "c.orx"}));
    }
    EXPECT_EQ(events[1], events[0]);
}

// Several jobs need a control for each worker: without a factory the run is one job on the
// caller's control, never controls of another make behind the caller's back.
TEST_F(ParallelRunTest, WithoutAControlFactoryTheCallersControlDoesEveryFrame) {
    test::FakeControl fake;
    fake.width = 2;
    fake.height = 1;
    fake.frameNumbers = {0, 1};
    for (const char* name : {"a.orx", "b.orx"}) test::WriteBytes(dir / name, {});  // no ORX file: only the fake reads them
    CGetdatactrl1 control(fake);
    BatchSettings settings;
    settings.jobs = 4;
    settings.pause = [](std::chrono::milliseconds) {};
    EventLog log(dir.path());
    report = RunBatch(control, dir.path(), [] { return kGrayscaleBitmap; }, settings, log);
    EXPECT_TRUE(report.clean()) << (report.failures.empty() ? "" : report.failures[0].Line());
    EXPECT_EQ(report.framesWritten, 4);
    EXPECT_EQ(fake.loadedPaths.size(), 4u);  // two while planning, two while converting
}

// A file that gained frames between the plan and its conversion: its later frames are not
// converted, and the run says so, whichever runner met it.
TEST_F(ParallelRunTest, AFileThatGrewAfterThePlanIsAFailureWithEveryJobCount) {
    std::deque<test::FakeControl> fakes;
    for (int jobs : {1, 3}) {
        const std::string folder = dir / ("jobs" + std::to_string(jobs));
        ASSERT_EQ(qf::test::MakeDir(folder.c_str(), 0755), 0);
        test::WriteBytes(folder + "/g.orx", {});
        test::FakeControl& planner = fakes.emplace_back();
        planner.width = 2;
        planner.height = 1;
        planner.frameNumbers = {0, 1};
        struct Grower : BatchObserver {
            test::FakeControl* fake = nullptr;
            void Planned(int, long) override { fake->frameNumbers = {0, 1, 2}; }
        } grower;
        grower.fake = &planner;
        BatchSettings settings;
        settings.jobs = jobs;
        settings.pause = [](std::chrono::milliseconds) {};
        settings.makeControl = [&fakes] {
            test::FakeControl& worker = fakes.emplace_back();
            worker.width = 2;
            worker.height = 1;
            worker.frameNumbers = {0, 1, 2};
            return std::make_unique<CGetdatactrl1>(worker);
        };
        CGetdatactrl1 control(planner);
        report = RunBatch(control, folder, [] { return kGrayscaleBitmap; }, settings, grower);
        EXPECT_EQ(report.framesWritten, 2) << jobs << " jobs";
        ASSERT_EQ(report.failures.size(), 1u) << jobs << " jobs";
        EXPECT_EQ(report.failures[0].Line(), test::Shown(folder, "g.orx") +
                                                 ": the file changed after the run was planned (it holds more than "
                                                 "the 2 planned frames); its later frames were not converted");
        EXPECT_EQ(report.filesConverted, 0);
    }
}

// Memory that runs out inside a worker (or anything else thrown there) ends the run as one
// job ends it, with a line naming the file: it never leaves the worker's thread.
TEST_F(ParallelRunTest, SomethingThrownInAWorkerEndsTheRunWithALineNotTheProgram) {
    std::deque<test::FakeControl> fakes;
    auto script = [](test::FakeControl& fake) {
        fake.width = 2;
        fake.height = 1;
        fake.frameNumbers = {0, 1, 2, 3};
        fake.makeArray = [&fake]() -> SAFEARRAY* {
            const std::string& path = fake.loadedPaths.back();
            if (path.substr(path.find_last_of("/\\") + 1) == "m.orx" && fake.position == 2) throw std::bad_alloc();
            return test::MakeI2Array(0, 2);
        };
    };
    for (int jobs : {1, 3}) {
        folder_ = dir / ("jobs" + std::to_string(jobs));
        ASSERT_EQ(qf::test::MakeDir(folder_.c_str(), 0755), 0);
        for (const char* name : {"a.orx", "m.orx", "z.orx"}) test::WriteBytes(folder_ + "/" + name, {});
        test::FakeControl& planner = fakes.emplace_back();
        script(planner);
        CGetdatactrl1 control(planner);
        Run(folder_, jobs, kGrayscaleBitmap, control, [&] {
            script(fakes.emplace_back());
            return std::make_unique<CGetdatactrl1>(fakes.back());
        });
        EXPECT_EQ(report.stop, BatchStop::kFrameFailed) << jobs << " jobs";
        EXPECT_EQ(report.framesWritten, 6) << jobs << " jobs";  // a.orx's 4, m.orx's 0 and 1
        ASSERT_EQ(report.failures.size(), 1u) << jobs << " jobs";
        EXPECT_EQ(report.failures[0].Line(), test::Shown(folder_, "m.orx") + ": run stopped: out of memory");
        EXPECT_EQ(report.notConverted, Lines{test::Shown(folder_, "z.orx")});
    }
}

}  // namespace
}  // namespace qf
