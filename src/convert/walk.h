// The run's walk over one input's plan, shared by the sequential carrying-out
// (batch_run.cpp) and the parallel one (parallel_run.cpp). Internal to convert/.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "convert/batch_run.h"
#include "convert/plan.h"
#include "export/export_kinds.h"
#include "platform/directory.h"

namespace qf {

class ParallelRun;

class WaitScope {
public:
    explicit WaitScope(BatchObserver& o) : observer_(o) { observer_.BeginWait(); }
    ~WaitScope() { observer_.EndWait(); }
    WaitScope(const WaitScope&) = delete;
    WaitScope& operator=(const WaitScope&) = delete;

private:
    BatchObserver& observer_;
};

inline bool IsDataFile(const PlannedFile& file) {
    return file.state == PlannedFile::State::kData || file.state == PlannedFile::State::kLoadFailed;
}

/// Where a frame's output goes (`outputFd`: its open output folder), with the run's
/// options (sync, no-clobber).
/// The kind of TIFF that `out` already holds when it is the other TIFF kind than `kind`
/// (a run with `kind` would replace or keep it); -1 otherwise, and for bitmap kinds.
int OtherTiffKindAt(int outputFd, const OutputName& out, const ExportKindInfo& kind);

inline OutputTarget TargetFor(int outputFd, const OutputName& out, const BatchSettings& settings) {
    OutputTarget target(outputFd, out.name, out.path);
    target.sync = settings.sync;
    target.replace = !settings.noClobber;
    return target;
}

/// Claims the names of a file another process converts (--shard), so that collisions
/// are told as one process tells them.
inline void ClaimNames(const Plan& plan, const PlannedFile& file, NameRegistry& registry,
                       const BatchSettings& settings, const ExportKindInfo& kind) {
    OutputNamer namer(plan.folders[file.folder].place, registry, settings.pattern.get(), file.path, kind.extension,
                      kind.shortName);
    if (settings.exportOptions.stack) namer.NameStack();
    for (const PlannedFrame& frame : file.frames) {
        if (!frame.selected) {
            namer.Skip(frame.number);
            continue;
        }
        namer.Next(frame.number);
        if (settings.exportOptions.stack) break;  // a stack has its first page's name only
    }
}

/// How many of a file's frames the run converts.
inline int SelectedFrames(const PlannedFile& file) {
    if (file.noSampleFrames > 0) return file.noSampleFrames;
    return static_cast<int>(std::count_if(file.frames.begin(), file.frames.end(),
                                          [](const PlannedFrame& f) { return f.selected; }));
}

/// The settle pause, cut short by a stop: a long pause must not hold a stop back.
inline void SettlePause(const BatchSettings& settings, std::chrono::milliseconds pause) {
    if (settings.pause) return settings.pause(pause);
    constexpr std::chrono::milliseconds kSlice{20};
    while (pause.count() > 0) {
        if (settings.stopRequested && settings.stopRequested()) return;
        const auto step = std::min(pause, kSlice);
        Sleep(step);
        pause -= step;
    }
}

/// One line for the frames of a file that have no samples, however many they are.
inline std::string NoSamplesCause(const PlannedFile& file) {
    if (file.noSampleFrames == 1) return "the frame has no samples (its width or height is 0); not written";
    return std::to_string(file.noSampleFrames) + " frames (" + std::to_string(file.firstFrame) + " to " +
           std::to_string(file.lastFrame) + ") have no samples (their width or height is 0); not written";
}
/// The frame a no-samples line names: the one frame, or none for several.
inline int NoSamplesFrame(const PlannedFile& file) { return file.noSampleFrames == 1 ? file.firstFrame : kNoFrame; }

inline std::string BadKindCause(int asked) {
    return "export kind " + std::to_string(asked) + " is not one of 0 to 3";
}

inline std::string ChangedFileCause(int frame, int planned) {
    return "the file changed while the run went on (frame " + std::to_string(frame) + " where the plan had frame " +
           std::to_string(planned) + "); rest of the file skipped";
}

// Carries one input's plan out; holds what lives for the whole run. With more than one
// job, workers pull and write the frames (parallel_run.cpp) and the walk reports them.
class Walk {
public:
    Walk(CGetdatactrl1& control, const std::function<int()>& askKind, const BatchSettings& settings,
         BatchObserver& observer)
        : control_(control), askKind_(askKind), settings_(settings), observer_(observer),
          names_(settings.names ? settings.names : std::make_shared<RunNames>()),
          plannedKind_(FindExportKind(settings.plannedKind) ? FindExportKind(settings.plannedKind)
                                                              : FindExportKind(kNormalizedTiff)) {}

    void Run(const std::string& input);
    BatchReport& report() { return report_; }

private:
    enum class Outcome { kDone, kFailed, kStop };

    Plan MakeThePlan(const std::string& input);
    void NotConverted(const Plan& plan);
    void Report(const PlannedFile& file);
    void DryRunFile(const PlannedFile& file);
    /// The file's folder and its output folder, open (the output folder made when
    /// `create`); null after saying why the file is not converted.
    struct Folders {
        std::shared_ptr<OutputFolder> data, output;
        explicit operator bool() const { return data != nullptr; }
    };
    Folders EnterFolder(const PlannedFile& file, bool create);
    void SyncFolders(const Plan& plan);
    void DryRun(const Plan& plan);
    /// Converts `file` inline; from frame `from` on when a run of several jobs hands over.
    void Convert(const Plan& plan, const PlannedFile& file, std::size_t from = 0);
    /// How many workers the plan's frames leave room for (a note when fewer than asked).
    int JobsFor(const Plan& plan);
    Outcome ReadOnlyFolder(const std::string& output, const Error& error);
    /// Counts a data file and opens its record in the report.
    void StartRecord(const PlannedFile& file);
    /// Nothing of the current file was written, kept or failed yet.
    bool FileUntouched() const;
    // stack_run.cpp: one multi-page TIFF per data file (--stack).
    void DryRunStack(const Plan& plan);
    void ConvertStack(int outputFd, const PlannedFile& file, const ExportKindInfo& kind, OutputNamer& namer);
    void EndFile(const PlannedFile& file, Outcome outcome);
    // parallel_run.cpp: the same steps with the frames pulled and written by a pool.
    void ConvertFromPool(const Plan& plan, std::size_t index, ParallelRun& run);
    Outcome FromPool(const PlannedFile& file, const ExportKindInfo& kind, std::size_t f, ParallelRun& run,
                     std::size_t seq);
    /// What a written frame (`written`: the writer's answer) means for the run and its report.
    Outcome Written(const PlannedFile& file, const ExportKindInfo& kind, std::int16_t w, const OutputName& out,
                    const Status& written, const FrameImage* frame);
    Outcome ConvertFrame(int outputFd, const PlannedFile& file, const ExportKindInfo& kind, OutputNamer& namer,
                         std::int16_t w);
    Outcome WriteFailed(const std::string& path, std::int16_t w, const std::string& output,
                        const ExportKindInfo& kind, const Error& error);
    bool StopRequested();
    void Pause();
    void Fail(const std::string& dataFile, int frame, const std::string& path, std::string cause);
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
    void SayOtherKind();
    /// An existing output --no-clobber kept; said once for the input (SayKept).
    void Kept(const std::string& output);
    void SayKept(const std::string& input);
    void RunInput(const std::string& input);

    CGetdatactrl1& control_;
    const std::function<int()>& askKind_;
    const BatchSettings& settings_;
    BatchObserver& observer_;
    std::shared_ptr<RunNames> names_;
    const ExportKindInfo* plannedKind_;
    std::chrono::milliseconds settle_{0};
    std::unique_ptr<FolderCursor> cursor_;
    std::vector<std::size_t> written_;  ///< folders outputs went into, for --sync
    std::optional<std::size_t> inlineFrom_;  ///< set: the pool hands over at this frame
    bool handedOverFailed_ = false;          ///< ...and a frame before it had failed
    std::size_t failuresAtFile_ = 0;         ///< failures said before the current file
    long kept_ = 0;                          ///< outputs kept by --no-clobber, not said yet
    std::set<std::string> readOnlyFolders_;  ///< folders said to take no new files
    std::string firstKept_;
    std::string overRangeFile_;  ///< the data file whose frames exceed the input bits...
    int overRangeFrames_ = 0;    ///< ...how many of them so far
    bool overRangeTiff_ = false;
    int otherKind_ = -1;  ///< the kind the current frame's existing output was written as, if another
    std::string otherKindFile_;  ///< the data file whose outputs were of the other kind...
    ExportKind otherKindOf_ = kNormalizedTiff;
    int otherReplaced_ = 0, otherKept_ = 0;  ///< ...how many were replaced, how many kept
    std::string firstOther_;
    BatchReport report_;
};


}  // namespace qf
