#include "convert/batch_run.h"

#include <chrono>
#include <utility>

#include "convert/frame_pull.h"
#include "convert/parallel_run.h"
#include "convert/plan.h"
#include "convert/walk.h"
#include "export/export_kinds.h"
#include "export/tiff_kind.h"
#include "platform/directory.h"
#include "platform/display_name.h"
#include "platform/output_file.h"
#include "platform/status_error.h"

namespace qf {

void Walk::Fail(const std::string& dataFile, int frame, const std::string& path, std::string cause) {
    report_.failures.push_back(BatchFailure{dataFile, frame, path, std::move(cause)});
    observer_.Failed(report_.failures.back());
}

void Walk::NotLoaded(const std::string& path, const std::string& why) {
    report_.failures.push_back(BatchFailure{path, kNoFrame, path, "cannot load: " + why, true});
    observer_.Failed(report_.failures.back());
}

void Walk::Kept(const std::string& output) {
    if (kept_++ == 0) firstKept_ = output;
}

// One line for the outputs --no-clobber kept, however many: the report lists each.
void Walk::SayKept(const std::string& input) {
    if (kept_ == 1) Note(DisplayName(firstKept_) + ": kept (it exists; --no-clobber)");
    if (kept_ > 1) Note(DisplayName(input) + ": kept " + std::to_string(kept_) + " existing outputs (--no-clobber)");
    kept_ = 0;
}

void Walk::CountOverRange(const PlannedFile& file, const ExportKindInfo& kind, bool over) {
    if (!over) return;
    if (overRangeFile_ != file.path) SayOverRange();
    overRangeFile_ = file.path;
    overRangeTiff_ = kind.tiff;
    ++overRangeFrames_;
}

// One line per data file whose samples do not fit the input bits, however many frames.
void Walk::SayOverRange() {
    if (overRangeFrames_ == 0) return;
    const int bits = settings_.inputBits;
    Note(DisplayName(overRangeFile_) + ": " +
         (overRangeFrames_ == 1 ? std::string("1 frame holds") : std::to_string(overRangeFrames_) + " frames hold") +
         " samples above " + std::to_string(bits) + " bits (--input-bits " + std::to_string(bits) + "); " +
         (overRangeTiff_ ? "the TIFFs hold them unchanged" : "the images show them at full brightness"));
    overRangeFrames_ = 0;
    overRangeFile_.clear();
}

int OtherTiffKindAt(int outputFd, const OutputName& out, const ExportKindInfo& kind) {
    if (!kind.tiff || outputFd < 0) return -1;
    if (!KindOfEntry(outputFd, out.name).regular) return -1;  // missing, or nothing to read safely
    const std::optional<ExportKind> found = TiffKindOfFile(PathThroughFolder(outputFd, out.name, out.path));
    return found && *found != kind.kind ? *found : -1;
}

void Walk::CountOtherKind(const PlannedFile& file, ExportKind other, const std::string& output, bool kept) {
    if (otherKindFile_ != file.path) SayOtherKind();
    if (otherKindFile_.empty()) firstOther_ = output;
    otherKindFile_ = file.path;
    otherKindOf_ = other;
    ++(kept ? otherKept_ : otherReplaced_);
}

// One line per data file whose outputs had been written by the other TIFF kind.
void Walk::SayOtherKind() {
    if (otherKindFile_.empty()) return;
    const ExportKindInfo* other = FindExportKind(otherKindOf_);
    const std::string name = other ? other->name : "other";
    const std::string first = DisplayName(firstOther_);
    if (otherReplaced_ > 0) {
        Note(DisplayName(otherKindFile_) + ": " +
             (otherReplaced_ == 1 ? "replaced " + first + ", which was" :
                                    "replaced " + std::to_string(otherReplaced_) + " outputs (" + first + ", ...) that were") +
             " written by the " + name + " kind");
    }
    if (otherKept_ > 0) {
        Note(DisplayName(otherKindFile_) + ": " +
             (otherKept_ == 1 ? "kept " + first + ", which is" :
                                "kept " + std::to_string(otherKept_) + " outputs (" + first + ", ...) that are") +
             " of the " + name + " kind, not this run's (--no-clobber)");
    }
    otherKindFile_.clear();
    otherReplaced_ = otherKept_ = 0;
}

void Walk::Note(std::string line) {
    report_.notes.push_back(std::move(line));
    observer_.Noted(report_.notes.back());
}

bool Walk::StopRequested() {
    if (!settings_.stopRequested || !settings_.stopRequested()) return false;
    report_.stop = BatchStop::kInterrupted;
    return true;
}

void Walk::Pause() { SettlePause(settings_, settle_); }

Plan Walk::MakeThePlan(const std::string& input) {
    PlanOptions options;
    options.kind = plannedKind_;
    options.outputDir = settings_.outputDir;
    options.pattern = settings_.pattern.get();
    options.recursive = settings_.recursive;
    options.shardIndex = settings_.shardIndex;
    options.shardCount = settings_.shardCount;
    options.shardOffset = settings_.shardOffset;
    options.settle = [this] { Pause(); };
    options.stopRequested = settings_.stopRequested;
    options.dryRun = settings_.dryRun;
    options.dataIds = &names_->dataIds;
    options.frames = &settings_.frames;
    options.exclude = settings_.exclude;
    options.onlyOrx = settings_.onlyOrx;
    options.mirror = settings_.mirror;
    options.stack = settings_.exportOptions.stack;
    return MakePlan(control_, input, options, names_->planned);
}

void Walk::Run(const std::string& input) {
    RunInput(input);
    SayOverRange();
    SayOtherKind();
    SayKept(input);
}

void Walk::RunInput(const std::string& input) {
    settle_ = settings_.settle ? *settings_.settle : control_.SettleTime();
    Plan plan = MakeThePlan(input);
    if (!plan.unreadable.empty()) {
        Fail(plan.unreadablePath, kNoFrame, plan.unreadablePath, plan.unreadable);
        report_.stop = BatchStop::kFolderUnreadable;
        return;
    }
    cursor_ = std::make_unique<FolderCursor>(plan);
    for (const std::string& note : plan.notes) Note(note);
    for (const PlanFailure& failure : plan.failures) Fail(failure.path, kNoFrame, failure.path, failure.cause);
    for (const PlannedFile& file : plan.files) report_.plannedDataFiles += IsDataFile(file);
    if (StopRequested()) return NotConverted(plan);  // while planning
    report_.framesPlanned = plan.FramesInShard();
    observer_.Planned(plan.FilesInShard(), plan.FramesInShard());
    observer_.PlannedPixels(plan.PixelsInShard());
    if (settings_.dryRun) return settings_.exportOptions.stack ? DryRunStack(plan) : DryRun(plan);
    const int total = plan.FilesInShard();
    int index = 0;
    std::unique_ptr<ParallelRun> pool;
    // A stack is written by one worker in frame order: stacks convert one data file at a time.
    if (const int jobs = settings_.exportOptions.stack ? 1 : JobsFor(plan); jobs > 1) {
        pool = std::make_unique<ParallelRun>(plan, settings_, jobs, askKind_, *names_, *plannedKind_, settle_,
                                             observer_.ShowsFrames());
    }
    for (std::size_t i = 0; i < plan.files.size(); ++i) {
        const PlannedFile& file = plan.files[i];
        if (pool && report_.stop != BatchStop::kNone) pool->Halt();
        if (!file.inShard) {
            // Another process converts it; its names still count for collisions (the
            // pool claims them as it hands frames out).
            if (file.state == PlannedFile::State::kData && !pool) {
                ClaimNames(plan, file, names_->converted, settings_, *plannedKind_);
            }
            continue;
        }
        if (report_.stop == BatchStop::kNone && IsDataFile(file) && StopRequested()) report_.stoppedIn.clear();
        if (report_.stop != BatchStop::kNone) {
            if (IsDataFile(file)) report_.notConverted.push_back(file.path);
            continue;
        }
        if (IsDataFile(file)) {
            observer_.FileStarted(file.path, ++index, total);
            observer_.FileFrames(SelectedFrames(file));
            observer_.FileFramePixels(file.framePixels);
        }
        if (pool) ConvertFromPool(plan, i, *pool);
        else Convert(plan, file);
        if (inlineFrom_) {
            pool.reset();  // its temporaries go; what is left is written as one job writes it
            Note("the disk is full: the run goes on with one job");
            Convert(plan, file, *inlineFrom_);
            inlineFrom_.reset();
        }
    }
    pool.reset();  // the workers are done and every output not reported is removed
    if (settings_.sync && report_.framesWritten > 0) SyncFolders(plan);
}

void Walk::StartRecord(const PlannedFile& file) {
    SayOverRange();
    SayOtherKind();
    ++report_.dataFiles;
    report_.files.push_back(FileRecord{file.path, SelectedFrames(file), {}, {}, {}, false});
    failuresAtFile_ = report_.failures.size();
}

// A folder that takes no new files fails every bitmap meant for it: one line for the folder.
Walk::Outcome Walk::ReadOnlyFolder(const std::string& output, const Error& error) {
    const std::size_t slash = LastSeparator(output);
    const std::string folder = slash == std::string::npos ? "." : output.substr(0, slash == 0 ? 1 : slash);
    if (readOnlyFolders_.insert(folder).second) {
        Fail(folder, kNoFrame, folder, "the folder takes no new files (" + error.message +
                                           "): none of its outputs are written; --output-dir DIR writes them elsewhere");
    }
    return Outcome::kFailed;
}

bool Walk::FileUntouched() const {
    const FileRecord& record = report_.files.back();
    return record.written.empty() && record.kept.empty() && report_.failures.size() == failuresAtFile_;
}

int Walk::JobsFor(const Plan& plan) {
    const int asked = std::max(settings_.jobs, 1);
    if (asked == 1) return 1;
    std::uint64_t largest = 0;
    for (const PlannedFile& file : plan.files) {
        if (file.inShard && !file.frames.empty()) largest = std::max(largest, file.framePixels);
    }
    // A worker holds its frame's samples, their scaled copy and the output's buffer, and the
    // report holds one frame more; about 8 bytes a pixel in all. Half the free memory is theirs.
    constexpr std::uint64_t kBytesPerPixel = 8;
    const std::uint64_t perJob = largest * kBytesPerPixel + (std::uint64_t{1} << 20);
    const std::uint64_t free = settings_.memoryForFrames ? settings_.memoryForFrames() : AvailableMemory();
    if (free == 0) return asked;
    const std::uint64_t fit = std::max<std::uint64_t>(free / 2 / perJob, 2) - 1;
    if (fit >= static_cast<std::uint64_t>(asked)) return asked;
    const int jobs = static_cast<int>(std::max<std::uint64_t>(fit, 1));
    Note(std::to_string(jobs) + (jobs == 1 ? " job" : " jobs") + " instead of " + std::to_string(asked) +
         ": each needs about " + std::to_string(perJob >> 20) + " MB for its frames, and " +
         std::to_string(free >> 20) + " MB of memory are free");
    return jobs;
}

// A stop while planning: the data files the plan found, none converted. Entries it had not
// looked at yet are named only when they are files.
void Walk::NotConverted(const Plan& plan) {
    for (const PlannedFile& file : plan.files) {
        if (!file.inShard || !IsDataFile(file)) continue;
        if (!file.planned) {
            Result<std::shared_ptr<OutputFolder>> folder = cursor_->Enter(file.folder);
            if (!folder.ok() || !KindOfEntry(folder.value()->fd(), file.name).regular) continue;
        }
        report_.notConverted.push_back(file.path);
    }
}

// The folders outputs went into reach the disk with their new entries.
void Walk::SyncFolders(const Plan& plan) {
    if (plan.outputDir && !plan.mirror) written_.assign(1, 0);
    for (const std::size_t index : written_) {
        Result<std::shared_ptr<OutputFolder>> folder = cursor_->Enter(index);
        const std::string& path = plan.outputDir ? plan.folders[0].path : plan.folders[index].path;
        Result<std::shared_ptr<OutputFolder>> output =
            folder.ok() ? cursor_->Output(index, folder.value(), false) : Result<std::shared_ptr<OutputFolder>>(folder.error());
        const Status synced = output.ok() ? output.value()->Sync() : Status(output.error());
        if (!synced.ok()) Fail(path, kNoFrame, path, "cannot flush the folder to disk: " + synced.message());
    }
}

Walk::Folders Walk::EnterFolder(const PlannedFile& file, bool create) {
    Result<std::shared_ptr<OutputFolder>> data = cursor_->Enter(file.folder);
    Result<std::shared_ptr<OutputFolder>> output =
        data.ok() ? cursor_->Output(file.folder, data.value(), create) : Result<std::shared_ptr<OutputFolder>>(data.error());
    if (!output.ok()) {
        Fail(file.path, kNoFrame, file.path, output.message() + "; not converted");
        return {};
    }
    if (written_.empty() || written_.back() != file.folder) written_.push_back(file.folder);
    return Folders{data.value(), output.value()};
}

// A file's entry or load failure, as the plan found it.
void Walk::Report(const PlannedFile& file) {
    if (file.state == PlannedFile::State::kNotData) Note(DisplayName(file.path) + ": " + file.reason);
    else if (file.state == PlannedFile::State::kLoadFailed) NotLoaded(file.path, file.reason);
    else Fail(file.path, kNoFrame, file.path, file.reason);
}

// What the run would do, in the order it would say it, with nothing written: every check
// the run makes before it writes is made here too.
void Walk::DryRun(const Plan& plan) {
    report_.dryRun = true;
    for (const PlannedFile& file : plan.files) {
        if (!file.inShard) continue;
        if (report_.stop != BatchStop::kNone) {
            if (IsDataFile(file)) report_.notConverted.push_back(file.path);
            continue;
        }
        if (file.state != PlannedFile::State::kData) {
            report_.dataFiles += IsDataFile(file);
            Report(file);
            continue;
        }
        DryRunFile(file);
    }
}

void Walk::DryRunFile(const PlannedFile& file) {
    StartRecord(file);
    FileRecord& record = report_.files.back();
    const Folders folder = EnterFolder(file, false);
    if (!folder) return;
    const int outputFd = folder.output->fd();
    if (file.noSampleFrames > 0) {
        record.framesPlanned = file.noSampleFrames;
        return Fail(file.path, NoSamplesFrame(file), file.path, NoSamplesCause(file));
    }
    bool clean = file.loopFailure.empty();
    for (const PlannedFrame& frame : file.frames) {
        if (!frame.selected) continue;
        const OutputName& out = frame.output;
        record.plan.push_back(PlannedLine{frame.number, out.path, out.refusal});
        if (!out.refusal.empty()) {
            Fail(file.path, frame.number, out.refusalPath, out.refusal);
            clean = false;
            continue;
        }
        const Status checked = outputFd >= 0 ? CheckOutputTarget(TargetFor(outputFd, out, settings_)) : Status::Ok();
        if (!checked.ok() && checked.kind() == ErrorKind::kExists && settings_.noClobber) {
            record.kept.push_back(out.path);
            Kept(out.path);
        } else if (!checked.ok()) {
            clean = false;
            if (WriteFailed(file.path, frame.number, out.path, *plannedKind_, checked.error()) == Outcome::kStop) {
                report_.stoppedIn = file.path;
                return;
            }
        } else {
            record.written.push_back(out.path);
            ++report_.framesWritten;
        }
    }
    if (!file.loopFailure.empty()) Fail(file.path, file.loopFrame, file.path, file.loopFailure);
    record.converted = clean;
    report_.filesConverted += clean;
}

void Walk::Convert(const Plan& plan, const PlannedFile& file, std::size_t from) {
    if (file.state == PlannedFile::State::kNotData || file.state == PlannedFile::State::kUnreadable) {
        return Report(file);
    }
    if (from == 0) StartRecord(file);
    const Folders folder = EnterFolder(file, true);
    if (!folder) return;
    if (std::string changed = ChangedSincePlanned(file, folder.data->fd()); !changed.empty()) {
        return Fail(file.path, kNoFrame, file.path, std::move(changed));
    }
    if (Status loaded = control_.LoadFile(PathThroughFolder(folder.data->fd(), file.name, file.path)); !loaded.ok()) {
        NotLoaded(file.path, loaded.message());
        return;
    }
    Pause();
    const int asked = askKind_();
    const ExportKindInfo* kind = FindExportKind(asked);
    if (!kind) {
        Fail(file.path, kNoFrame, file.path, BadKindCause(asked));
        return;
    }
    if (file.noSampleFrames > 0) {
        report_.files.back().framesPlanned = file.noSampleFrames;
        return Fail(file.path, NoSamplesFrame(file), file.path, NoSamplesCause(file));
    }
    OutputNamer namer(plan.folders[file.folder].place, names_->converted, settings_.pattern.get(), file.path,
                      kind->extension, kind->shortName);
    const int outputFd = folder.output->fd();
    if (settings_.exportOptions.stack && kind->tiff && from == 0) return ConvertStack(outputFd, file, *kind, namer);
    // Handed over mid-file: step to the frame, naming the ones before as they were named.
    for (std::size_t f = 0; f < from; ++f) {
        if (file.frames[f].selected) namer.Next(file.frames[f].number);
        else namer.Skip(file.frames[f].number);
        control_.NextFrame();
        Pause();
    }
    Outcome outcome = from > 0 && handedOverFailed_ ? Outcome::kFailed : Outcome::kDone;
    for (std::size_t f = from; f < file.frames.size(); ++f) {
        WaitScope frameWait(observer_);
        const std::int16_t w = control_.GetFrameNumber();
        if (StopRequested()) {
            if (FileUntouched()) report_.notConverted.push_back(file.path);
            else report_.stoppedIn = file.path;
            return;
        }
        if (w != file.frames[f].number) {
            Fail(file.path, w, file.path, ChangedFileCause(w, file.frames[f].number));
            return;
        }
        const Outcome frame = file.frames[f].selected ? ConvertFrame(outputFd, file, *kind, namer, w)
                                                      : (namer.Skip(w), Outcome::kDone);
        if (frame == Outcome::kStop) return;
        if (frame == Outcome::kFailed) outcome = frame;
        control_.NextFrame();
        Pause();
    }
    // A file that grew after the plan steps on past its planned frames.
    if (file.loopFailure.empty() && !file.frames.empty() && control_.GetFrameNumber() != file.frames.front().number) {
        Fail(file.path, kNoFrame, file.path,
             "the file changed after the run was planned (it holds more than the " + std::to_string(file.frames.size()) +
                 " planned frames); its later frames were not converted");
        outcome = Outcome::kFailed;
    }
    EndFile(file, outcome);
}

// After a data file's last frame: frame numbers that repeated, and whether all is written.
void Walk::EndFile(const PlannedFile& file, Outcome outcome) {
    if (!file.loopFailure.empty()) {
        Fail(file.path, file.loopFrame, file.path, file.loopFailure);
        outcome = Outcome::kFailed;
    }
    if (outcome == Outcome::kDone) {
        ++report_.filesConverted;
        report_.files.back().converted = true;
    }
}

Walk::Outcome Walk::ConvertFrame(int outputFd, const PlannedFile& file, const ExportKindInfo& kind,
                                 OutputNamer& namer, std::int16_t w) {
    const std::string& path = file.path;
    const OutputName out = namer.Next(w);
    if (!out.refusal.empty()) {
        Fail(path, w, out.refusalPath, out.refusal);
        return Outcome::kFailed;
    }
    FrameImage frame;
    try {
        frame = PullFrame(control_, kind.kind, settings_.inputBits);
    } catch (const StatusError& e) {
        Fail(path, w, path, e.what());
        report_.stop = BatchStop::kFrameFailed;
        return Outcome::kStop;
    }
    CountOverRange(file, kind, frame.overRange);
    otherKind_ = OtherTiffKindAt(outputFd, out, kind);
    return Written(file, kind, w, out, kind.write(TargetFor(outputFd, out, settings_), frame, settings_.exportOptions),
                   &frame);
}

Walk::Outcome Walk::Written(const PlannedFile& file, const ExportKindInfo& kind, std::int16_t w,
                            const OutputName& out, const Status& written, const FrameImage* frame) {
    const int other = std::exchange(otherKind_, -1);
    if (!written.ok() && written.kind() == ErrorKind::kExists && settings_.noClobber) {
        report_.files.back().kept.push_back(out.path);
        Kept(out.path);
        if (other >= 0) CountOtherKind(file, static_cast<ExportKind>(other), out.path, true);
        return Outcome::kDone;
    }
    if (!written.ok()) return WriteFailed(file.path, w, out.path, kind, written.error());
    if (other >= 0) CountOtherKind(file, static_cast<ExportKind>(other), out.path, false);
    report_.files.back().written.push_back(out.path);
    ++report_.framesWritten;
    observer_.FrameWritten(out.path);
    if (frame) observer_.FrameShown(*frame, kind.kind);
    return Outcome::kDone;
}

// A frame that could not be written: what it means for the run.
Walk::Outcome Walk::WriteFailed(const std::string& path, std::int16_t w, const std::string& output,
                                const ExportKindInfo& kind, const Error& error) {
    switch (error.kind) {
        case ErrorKind::kInvalid:
        case ErrorKind::kNoSamples:  // the frame's fault, not the output's
            Fail(path, w, path, error.message + "; not written");
            return Outcome::kFailed;
        case ErrorKind::kOutOfMemory:
            Fail(path, w, path, error.message);
            report_.stop = BatchStop::kFrameFailed;
            return Outcome::kStop;
        case ErrorKind::kFolderReadOnly:
            if (!kind.tiff) return ReadOnlyFolder(output, error);
            [[fallthrough]];
        case ErrorKind::kCannotCreate:
            Fail(path, w, output, error.message);
            if (!kind.tiff) return Outcome::kFailed;
            report_.stop = BatchStop::kTiffCannotCreate;
            return Outcome::kStop;
        default:
            Fail(path, w, output, error.message);
            return Outcome::kFailed;
    }
}

std::string BatchFailure::Line() const {
    if (frame != kNoFrame && path == dataFile) {
        // "frame 0 not written: its name ..." reads as one phrase.
        const char* joint = cause.rfind("not written:", 0) == 0 ? " " : ": ";
        return DisplayName(path) + ": frame " + std::to_string(frame) + joint + cause;
    }
    return DisplayName(path) + ": " + cause;
}

std::string StopReason(BatchStop stop) {
    switch (stop) {
        case BatchStop::kNone: return "";
        case BatchStop::kFolderUnreadable: return "the folder could not be read";
        case BatchStop::kTiffCannotCreate: return "a TIFF output could not be created";
        case BatchStop::kFrameFailed: return "a frame could not be read from its data file";
        case BatchStop::kInterrupted: return "interrupted";
    }
    return "";
}

BatchReport RunBatch(CGetdatactrl1& control, const std::string& input,
                     const std::function<int()>& askKind, const BatchSettings& settings,
                     BatchObserver& observer) {
    const auto start = std::chrono::steady_clock::now();
    Walk walk(control, askKind, settings, observer);
    {
        WaitScope wait(observer);
        try {
            walk.Run(input);
        } catch (const std::exception& e) {
            // A control call that failed outside a frame pull.
            BatchReport& report = walk.report();
            report.failures.push_back(BatchFailure{input, kNoFrame, input, std::string("run stopped: ") + e.what()});
            observer.Failed(report.failures.back());
            report.stop = BatchStop::kFrameFailed;
        }
    }
    BatchReport report = std::move(walk.report());
    report.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return report;
}

}  // namespace qf
