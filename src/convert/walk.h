// The run's walk over one input's plan, shared by the sequential carrying-out
// (batch_run.cpp) and the parallel one (parallel_run.cpp). Internal to convert/.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "convert/batch_run.h"
#include "convert/plan.h"
#include "export/export_kinds.h"

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

/// Where a frame's output goes, with the run's options (sync, no-clobber).
inline OutputTarget TargetFor(const Plan& plan, const PlannedFile& file, const OutputName& out,
                              const BatchSettings& settings) {
    OutputTarget target(plan.folders[file.folder].output->fd(), out.name, out.path);
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
        namer.Next(frame.number);
        if (settings.exportOptions.stack) break;  // a stack has its first frame's name only
    }
}

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
    void Report(const PlannedFile& file);
    void DryRun(const Plan& plan);
    void Convert(const Plan& plan, const PlannedFile& file);
    // stack_run.cpp: one multi-page TIFF per data file (--stack).
    void DryRunStack(const Plan& plan);
    void ConvertStack(const Plan& plan, const PlannedFile& file, const ExportKindInfo& kind, OutputNamer& namer);
    void EndFile(const PlannedFile& file, Outcome outcome);
    // parallel_run.cpp: the same steps with the frames pulled and written by a pool.
    void ConvertFromPool(const Plan& plan, std::size_t index, ParallelRun& run);
    Outcome FromPool(const PlannedFile& file, const ExportKindInfo& kind, std::size_t f, ParallelRun& run,
                     std::size_t seq);
    /// What a written frame (`written`: the writer's answer) means for the run and its report.
    Outcome Written(const PlannedFile& file, const ExportKindInfo& kind, std::int16_t w, const OutputName& out,
                    const Status& written, const FrameImage* frame);
    Outcome ConvertFrame(const Plan& plan, const PlannedFile& file, const ExportKindInfo& kind,
                         OutputNamer& namer, std::int16_t w);
    Outcome WriteFailed(const std::string& path, std::int16_t w, const std::string& output,
                        const ExportKindInfo& kind, const Error& error);
    bool StopRequested();
    void Pause();
    void Fail(const std::string& dataFile, int frame, const std::string& path, std::string cause);
    void Note(std::string line);

    CGetdatactrl1& control_;
    const std::function<int()>& askKind_;
    const BatchSettings& settings_;
    BatchObserver& observer_;
    std::shared_ptr<RunNames> names_;
    const ExportKindInfo* plannedKind_;
    std::chrono::milliseconds settle_{0};
    BatchReport report_;
};


}  // namespace qf
