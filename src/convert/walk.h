// The run's walk over one input's plan (walk.cpp) and the runners that carry out the jobs
// it hands out (frame_runners.cpp): inline on the caller's control, a pool of workers, or
// a dry run that writes nothing. Internal to convert/.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "convert/batch_run.h"
#include "convert/folder_cursor.h"
#include "convert/plan.h"
#include "export/export_kinds.h"
#include "platform/directory.h"
#include "platform/output_file.h"

namespace qf {

class ImageOutput;

inline bool IsDataFile(const PlannedFile& file) {
    return file.state == PlannedFile::State::kData || file.state == PlannedFile::State::kLoadFailed;
}

/// The kind of TIFF that `out` already holds when it is the other TIFF kind than `kind`
/// (a run with `kind` would replace or keep it); -1 otherwise, and for bitmap kinds. A file
/// of `framePixels` samples a page is read no further than such a page; one that could not
/// be read to tell is not ours, and `unread` says why.
int OtherTiffKindAt(int outputFd, const OutputName& out, const ExportKindInfo& kind, std::uint64_t framePixels,
                    std::string* unread);

/// Where a frame's output goes (`outputFd`: its open output folder), with the run's
/// options (sync, no-clobber).
inline OutputTarget TargetFor(int outputFd, const OutputName& out, const BatchSettings& settings) {
    OutputTarget target(outputFd, out.name, out.path);
    target.sync = settings.sync;
    target.replace = !settings.noClobber;
    return target;
}

/// How many of a file's frames the run converts.
inline int SelectedFrames(const PlannedFile& file) {
    if (file.noSampleFrames > 0) return file.noSampleFrames;
    return static_cast<int>(std::count_if(file.frames.begin(), file.frames.end(),
                                          [](const PlannedFrame& f) { return f.selected; }));
}

/// Claims the names of a file another process converts (--shard), so that collisions
/// are told as one process tells them.
void ClaimNames(const Plan& plan, const PlannedFile& file, NameRegistry& registry, const BatchSettings& settings,
                const ExportKindInfo& kind);

/// Why the rest of a file is skipped when the control is at frame `frame` where the plan had `planned`.
std::string ChangedFileCause(int frame, int planned);

/// The settle pause, cut short by a stop: a long pause must not hold a stop back.
void SettlePause(const BatchSettings& settings, std::chrono::milliseconds pause);

/// Runs `work`; what it throws (a control call that failed, memory that ran out) comes back
/// as the error it means, so that it ends the run as one job's failure, never the program.
std::optional<Error> Caught(const std::function<void()>& work);

/// One piece of work the walk hands out, in plan order.
struct Job {
    enum class Type {
        kNone,   ///< nothing to carry out: an entry the walk only reports
        kLoad,   ///< load the data file (a file with no frame to write)
        kFrame,  ///< load the file if needed, step to frame `step`, pull it and write it
        kStack,  ///< load the file for its stack (--stack), which the walk writes itself
        kRound,  ///< after a file's frames: step on past them, back to the first frame
    };
    Type type = Type::kNone;
    std::size_t file = 0;  ///< index into Plan::files
    std::size_t step = 0;  ///< index into its frames (kFrame, kStack)
    bool last = false;  ///< the file's last job
    int asked = 0;  ///< what the kind question answered (`kind` is null when it is no kind)
    const ExportKindInfo* kind = nullptr;
    std::string folderFailure;  ///< the file's folders could not be reached as planned: why
    std::shared_ptr<OutputFolder> folder;  ///< the data file's folder, open
    std::shared_ptr<OutputFolder> output;  ///< where its outputs go, open
    OutputName out;
};

/// What became of one job, for the walk to report.
struct FrameOutcome {
    enum class What {
        kSkipped,      ///< not carried out: a stop came in the settle pause before the frame
        kLoaded,       ///< the file loaded (a round: and was stepped round, see `grew`)
        kLoadFailed,   ///< the control would not load the file (`error`)
        kFileChanged,  ///< the file is not what the plan found (`error`)
        kChanged,      ///< the control was at frame `number`, not the planned one
        kRefused,      ///< the frame gets no output (its OutputName says why)
        kPullFailed,   ///< the frame could not be pulled (`error`)
        kWritten,      ///< the writer ran (a dry run: checked): `written`
        kControlFailed,  ///< a control call failed outside the pull (`error`): the run stops
    };
    What what = What::kSkipped;
    std::int16_t number = 0;
    Error error;
    Status written;
    PendingOutput output;  ///< an output written, waiting to be put in place in plan order
    FrameImage frame;      ///< kept for the observer when it shows frames
    bool overRange = false;  ///< the frame held samples above the input bits
    int otherKind = -1;      ///< the other TIFF kind its existing output was written as, or -1
    std::string kindUnread;  ///< why its existing output could not be read to tell its kind
    bool grew = false;       ///< stepping past the planned frames did not come back to the first
};

/// Carries out the walk's jobs. Jobs are handed out and taken in the same order; a runner
/// may work ahead on at most Ahead() jobs beyond the one being taken.
class FrameRunner {
public:
    virtual ~FrameRunner() = default;
    virtual std::size_t Ahead() const = 0;
    virtual void Submit(Job job) = 0;
    /// The outcome of the oldest job not taken yet, once it is done.
    virtual FrameOutcome Take() = 0;
    /// Lets the oldest job go: not carried out when it has not started; its output removed.
    virtual void Drop() = 0;
};

/// Everything the runners need of the run.
struct RunnerContext {
    const Plan& plan;
    const BatchSettings& settings;
    std::chrono::milliseconds settle;
    bool keepFrames;  ///< the observer shows frames
};

/// On the caller's control, each job when it is taken.
std::unique_ptr<FrameRunner> MakeInlineRunner(const RunnerContext& context, CGetdatactrl1& control);
/// `jobs` workers, each with a control from the settings' factory; the outputs wait for
/// the walk to place them in plan order.
std::unique_ptr<FrameRunner> MakePoolRunner(const RunnerContext& context, int jobs);
/// Nothing loaded or written: every output checked as the writer would find it.
std::unique_ptr<FrameRunner> MakeDryRunner(const RunnerContext& context);

// Carries one run out: plans each input, hands the plan's jobs to a runner and reports
// their outcomes in plan order. The only loop over the plan is Walk::Carry.
class Walk {
public:
    Walk(CGetdatactrl1& control, const std::function<int()>& askKind, const BatchSettings& settings,
         BatchObserver& observer)
        : control_(control), askKind_(askKind), settings_(settings), observer_(observer),
          names_(settings.names ? settings.names : std::make_shared<RunNames>()),
          plannedKind_(FindExportKind(settings.plannedKind) ? FindExportKind(settings.plannedKind)
                                                              : FindExportKind(kNormalizedTiff)) {}

    /// Plans every input first, so that the progress and its totals are the whole run's,
    /// then carries the plans out in order. One report per input planned.
    void Run(const std::vector<std::string>& inputs);
    std::vector<BatchReport>& reports() { return reports_; }
    /// The report of the input at hand (a new one when none is).
    BatchReport& report();
    /// The index of the input at hand (being planned or carried out).
    std::size_t InputAtHand() { return static_cast<std::size_t>(&report() - reports_.data()); }

private:
    /// What a reported job means for its file: go on, go on (the file is not converted
    /// whole), leave the file (and, with report_.stop set, the run), or (kAgain) the job was
    /// handed out again.
    enum class Outcome { kDone, kFailed, kStop, kAgain };

    // walk.cpp: the loop, the handing out and the reporting of each job.
    /// Plans `input`; false when the run stops there (asked to, while planning).
    bool PlanInput(const std::string& input, Plan& plan);
    /// False when the front end, told of the plan's name clashes, ends the run before it writes.
    bool CarryOnDespiteClashes(const std::vector<Plan>& plans);
    void CarryInput(const std::string& input, const Plan& plan);
    void SkipFilesSeenBefore(Plan& plan);
    Plan MakeThePlan(const std::string& input);
    std::unique_ptr<FrameRunner> MakeRunner(const Plan& plan);
    void Carry(const Plan& plan);
    bool HandOut(const Plan& plan);
    /// Enters data file `index`: asks its kind, opens its folders, hands out its first job.
    void EnterFile(const Plan& plan, std::size_t index);
    void NextFrameJob(const Plan& plan);
    void Submit(Job job);
    void ReportNext(const Plan& plan);
    /// The first job of a data file reaches the report: false when the file ends there.
    bool StartFile(const PlannedFile& file, const Job& job);
    void LeaveForStop(const PlannedFile& file);
    Outcome ReportJob(const Plan& plan, const PlannedFile& file, const Job& job, FrameOutcome& got);
    std::optional<Outcome> ReportFailedJob(const PlannedFile& file, const Job& job, const FrameOutcome& got);
    Outcome ReportLoad(const PlannedFile& file, const Job& job);
    /// A control call failed or memory ran out in `file`: the run ends there.
    Outcome RunStopped(const PlannedFile& file, const Error& error);
    void HandOverToInline(const Plan& plan, const Job& job);
    void StopHere(const Plan& plan, std::size_t from);

    // walk_report.cpp: what the outcomes mean for the report and what is said.
    void NotConverted(const Plan& plan);
    void Report(const PlannedFile& file);
    void SyncFolders(const Plan& plan);
    /// How many workers the plan's frames leave room for (a note when fewer than asked).
    int JobsFor(const Plan& plan);
    Outcome ReadOnlyFolder(const std::string& output, const Error& error);
    /// Counts a data file and opens its record in the report.
    void StartRecord(const PlannedFile& file);
    /// Nothing of the current file was written, kept or failed yet.
    bool FileUntouched() const;
    void EndFile(const PlannedFile& file, Outcome outcome);
    /// What a written (or, in a dry run, checked) frame means for the run and its report.
    Outcome Written(const PlannedFile& file, const ExportKindInfo& kind, std::int16_t w, const OutputName& out,
                    const Status& written, int other, const FrameImage* frame, int pages);
    Outcome WriteFailed(const std::string& path, std::int16_t w, const std::string& output,
                        const ExportKindInfo& kind, const Error& error);
    bool StopRequested();
    void Fail(const std::string& dataFile, int frame, const std::string& path, std::string cause,
              FailureKind kind = FailureKind::kOther, bool takenFromElsewhere = false);
    /// The control would not load `path`.
    void NotLoaded(const std::string& path, const std::string& why);
    void Note(std::string line);
    /// A frame converted for `file`; `over`: some sample above the input bits.
    void CountOverRange(const PlannedFile& file, const ExportKindInfo& kind, bool over);
    /// The line for the data file whose frames CountOverRange counted, if any.
    void SayOverRange();
    /// An output of `file` that existed as written by the other TIFF kind (`other`), now
    /// replaced or (`kept`) kept; said once per data file (SayOtherKind).
    void CountOtherKind(const PlannedFile& file, ExportKind other, const std::string& output, bool kept);
    /// A note for an existing output that could not be read to tell its TIFF kind.
    void SayKindUnread(const std::string& output, const std::string& why);
    void SayOtherKind();
    /// An existing output --no-clobber kept; said once for the input (SayKept).
    void Kept(const std::string& output);
    void SayKept(const std::string& input);

    // stack_run.cpp: one multi-page TIFF per data file (--stack), on the caller's control.
    void ConvertStack(const PlannedFile& file, const Job& job);
    void FinishStack(const PlannedFile& file, const Job& job, ImageOutput& stack, std::uint32_t pages, int other);

    CGetdatactrl1& control_;
    const std::function<int()>& askKind_;
    const BatchSettings& settings_;
    BatchObserver& observer_;
    std::shared_ptr<RunNames> names_;
    const ExportKindInfo* plannedKind_;
    std::chrono::milliseconds settle_{0};
    std::unique_ptr<FolderCursor> cursor_;
    std::unique_ptr<FrameRunner> runner_;
    bool pooled_ = false;  ///< the runner is a pool of workers
    int stackJobs_ = 1;    ///< the workers that encode a stack's pages
    bool handedOver_ = false;  ///< a full disk ended the pool: one job for the rest of the run

    // The handing out.
    std::size_t nextFile_ = 0;  ///< the next plan file to enter
    std::optional<std::size_t> handing_;  ///< the file whose frames are being handed out...
    std::size_t nextStep_ = 0;            ///< ...the next of its frames...
    std::size_t lastStep_ = 0;            ///< ...and its last selected one
    Job fileJob_;                         ///< what its jobs share (kind, folders)
    std::vector<OutputName> fileNames_;   ///< its outputs' names (a dry run: the plan's)
    std::deque<Job> pending_;  ///< handed out, not reported, in plan order

    // The reporting.
    int filesInShard_ = 0;
    std::size_t reporting_ = kNoParent;  ///< the data file being reported
    std::size_t left_ = kNoParent;       ///< a file whose later jobs are let go
    int index_ = 0;                      ///< data files reported so far
    Outcome fileOutcome_ = Outcome::kDone;

    std::vector<std::size_t> written_;  ///< folders outputs went into, for --sync
    std::size_t failuresAtFile_ = 0;         ///< failures said before the current file
    long kept_ = 0;                          ///< outputs kept by --no-clobber, not said yet
    std::set<std::string> readOnlyFolders_;  ///< folders said to take no new files
    std::string firstKept_;
    std::string overRangeFile_;  ///< the data file whose frames exceed the input bits...
    int overRangeFrames_ = 0;    ///< ...how many of them so far
    bool overRangeTiff_ = false;
    std::string otherKindFile_;  ///< the data file whose outputs were of the other kind...
    ExportKind otherKindOf_ = kNormalizedTiff;
    int otherReplaced_ = 0, otherKept_ = 0;  ///< ...how many were replaced, how many kept
    std::string firstOther_;
    std::vector<BatchReport> reports_;  ///< one per input planned
    BatchReport* report_ = nullptr;     ///< the input's at hand
    std::size_t shardOffset_ = 0;       ///< data files of the inputs before this one
    std::map<std::string, std::string> seenFiles_;  ///< identity -> the name it was planned by
};

}  // namespace qf
