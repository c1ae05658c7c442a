// Frames converted side by side: workers, each with its own acquisition control, pull and
// write the planned frames of every file, while the run's own thread hands the frames out
// in plan order and reports them in plan order, putting each output in place only when
// its turn comes. So a run of N workers writes what a run of one writes, says it in the
// same order and stops at the same frame. Internal to convert/.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "convert/batch_run.h"
#include "convert/output_namer.h"
#include "convert/plan.h"
#include "export/export_kinds.h"
#include "platform/output_file.h"

namespace qf {

/// What became of one handed-out frame, for the run's thread to report.
struct FrameOutcome {
    enum class What {
        kSkipped,     ///< not carried out: the run was stopping
        kLoaded,      ///< a load-only job: the file loaded
        kLoadFailed,  ///< the file could not be loaded (`message`)
        kChanged,     ///< the control was at frame `number`, not the planned one
        kFileChanged, ///< the file is not what the plan found (`message`)
        kRefused,     ///< the frame gets no output (its OutputName says why)
        kPullFailed,  ///< the frame could not be pulled (`message`)
        kWritten,     ///< the writer ran: `written`; when ok, `output` waits for its rename
        kRunStopped,  ///< a control call failed outside the pull (`message`)
    };
    What what = What::kSkipped;
    std::int16_t number = 0;
    OutputName out;
    std::string message;
    Status written;
    std::shared_ptr<OutputFolder> folder;  ///< keeps the folder `output` waits in open
    PendingOutput output;
    FrameImage frame;  ///< kept for the observer only when it shows frames
    bool overRange = false;  ///< the frame held samples above the input bits
    int otherKind = -1;      ///< the other TIFF kind its existing output was written as, or -1
};

/// The frames one data file was given.
struct FileJobs {
    std::size_t first = 0;   ///< the sequence number of its first job
    const ExportKindInfo* kind = nullptr;  ///< null: `asked` is no kind
    int asked = 0;
    std::string folderFailure;  ///< its folder could not be reached as planned: why (no jobs then)
};

class ParallelRun {
public:
    /// `jobs` workers (at least one), however many the settings ask for.
    ParallelRun(const Plan& plan, const BatchSettings& settings, int jobs, const std::function<int()>& askKind,
                RunNames& names, const ExportKindInfo& plannedKind, std::chrono::milliseconds settle,
                bool keepFrames);
    /// Stops the workers after their current frame and removes every output not placed.
    ~ParallelRun();
    ParallelRun(const ParallelRun&) = delete;
    ParallelRun& operator=(const ParallelRun&) = delete;

    /// The jobs of in-shard data file `index` of the plan, handing out the files before
    /// it (asking their kinds) as needed. Called in plan order.
    const FileJobs& Reach(std::size_t index);
    /// Job `seq`'s outcome once it is done; the outcomes before it are let go. Called
    /// with rising `seq`.
    FrameOutcome& Take(std::size_t seq);
    /// No job not yet started is started.
    void Halt() { halted_ = true; }

private:
    static constexpr std::size_t kLoadOnly = std::numeric_limits<std::size_t>::max();
    struct Slot {
        FrameOutcome outcome;
        bool done = false;  ///< guarded by mutex_
    };
    struct Job {
        std::size_t file = 0;
        std::size_t step = 0;  ///< index into the file's frames, or kLoadOnly
        const ExportKindInfo* kind = nullptr;
        std::shared_ptr<OutputFolder> folder;  ///< the data file's folder, open
        int outputFd = -1;
        Slot* slot = nullptr;  ///< stays put while the job is out: slots are held by pointer
    };
    struct Worker {
        std::unique_ptr<CGetdatactrl1> control;
        std::size_t loaded = kLoadOnly;  ///< the file its control holds, if any
        std::size_t at = 0;              ///< the frame index the control is at
        std::thread thread;
    };

    bool Advance();
    void AddJob(std::size_t file, std::size_t step, const ExportKindInfo* kind, OutputName out);
    /// Enters data file `index`: asks its kind, opens its folder, names its frames.
    bool EnterFile(std::size_t index);
    void Work(Worker& worker);
    void Carry(Worker& worker, const Job& job);
    void Step(Worker& worker, const Job& job);
    void Pause();

    const Plan& plan_;
    const BatchSettings& settings_;
    const std::function<int()>& askKind_;
    RunNames& names_;
    const ExportKindInfo& plannedKind_;
    const std::chrono::milliseconds settle_;
    const bool keepFrames_;
    const std::size_t window_;

    // The handing out, on the run's thread.
    std::size_t nextFile_ = 0;       ///< the next plan file to enter
    std::size_t frameOfFile_ = 0;    ///< the next frame of the file being handed out
    std::optional<OutputNamer> namer_;
    const ExportKindInfo* fileKind_ = nullptr;
    FolderCursor cursor_;
    std::shared_ptr<OutputFolder> fileFolder_;  ///< the folder of the file being handed out
    std::shared_ptr<OutputFolder> fileOutput_;  ///< ...and where its outputs go
    std::vector<FileJobs> files_;    ///< by plan index
    std::deque<std::unique_ptr<Slot>> slots_;
    std::size_t firstSlot_ = 0;      ///< the sequence number of slots_.front()

    std::mutex mutex_;
    std::condition_variable workCv_, doneCv_;
    std::deque<Job> queue_;
    bool closing_ = false;
    std::atomic<bool> halted_{false};
    std::vector<Worker> workers_;
};

}  // namespace qf
