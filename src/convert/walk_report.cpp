// What each job's outcome means for the run's report, and the words the walk says of
// it: failures, notes said once per data file or input, the record of each data file, the
// jobs the memory leaves room for.
#include <chrono>
#include <utility>

#include "convert/plan.h"
#include "convert/walk.h"
#include "export/export_kinds.h"
#include "export/tiff_kind.h"
#include "platform/directory.h"
#include "platform/display_name.h"
#include "platform/output_file.h"

namespace qf {

void Walk::Fail(const std::string& dataFile, int frame, const std::string& path, std::string cause, FailureKind kind,
                bool takenFromElsewhere) {
    report_->failures.push_back(BatchFailure{dataFile, frame, path, std::move(cause), kind, takenFromElsewhere});
    observer_.Failed(report_->failures.back());
}

void Walk::NotLoaded(const std::string& path, const std::string& why) {
    report_->failures.push_back(BatchFailure{path, kNoFrame, path, "cannot load: " + why, FailureKind::kNotLoaded});
    observer_.Failed(report_->failures.back());
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

void ClaimNames(const Plan& plan, const PlannedFile& file, NameRegistry& registry, const BatchSettings& settings,
                const ExportKindInfo& kind) {
    NameOutputs(plan.folders[file.folder].place, registry, settings, file, kind);
}

int OtherTiffKindAt(int outputFd, const OutputName& out, const ExportKindInfo& kind, std::uint64_t framePixels,
                    std::string* unread) {
    if (!kind.tiff || outputFd < 0) return -1;
    // Missing, a link (replaced as itself, its target untouched) or nothing to read safely.
    const Result<FileFacts> facts = FactsAt(outputFd, out.name, false);
    if (!facts.ok() || facts.value().type != FileType::kRegular) return -1;
    // What the name held a moment ago may be gone or another thing now: the read says.
    const TiffKindFound found = TiffKindOfOutput(outputFd, out.name, framePixels * 2);
    if (unread) *unread = found.unread;
    return found.kind && *found.kind != kind.kind ? *found.kind : -1;
}

void Walk::SayKindUnread(const std::string& output, const std::string& why) {
    if (!why.empty()) Note(DisplayName(output) + ": could not be read to tell which TIFF kind wrote it (" + why + ")");
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
    // A dry run says what the run would do.
    const std::string replaced = settings_.dryRun ? "would replace " : "replaced ";
    const std::string kept = settings_.dryRun ? "would keep " : "kept ";
    if (otherReplaced_ > 0) {
        Note(DisplayName(otherKindFile_) + ": " +
             (otherReplaced_ == 1 ? replaced + first + ", which was" :
                                    replaced + std::to_string(otherReplaced_) + " outputs (" + first + ", ...) that were") +
             " written by the " + name + " kind");
    }
    if (otherKept_ > 0) {
        Note(DisplayName(otherKindFile_) + ": " +
             (otherKept_ == 1 ? kept + first + ", which is" :
                                kept + std::to_string(otherKept_) + " outputs (" + first + ", ...) that are") +
             " of the " + name + " kind, not this run's (--no-clobber)");
    }
    otherKindFile_.clear();
    otherReplaced_ = otherKept_ = 0;
}

void Walk::Note(std::string line) {
    report_->notes.push_back(std::move(line));
    observer_.Noted(report_->notes.back());
}

bool Walk::StopRequested() {
    if (!settings_.stopRequested || !settings_.stopRequested()) return false;
    report_->stop = BatchStop::kInterrupted;
    return true;
}

Plan Walk::MakeThePlan(const std::string& input) {
    PlanCalls calls;
    calls.kind = plannedKind_;
    calls.settle = [this] { SettlePause(settings_, settle_); };
    calls.stopRequested = settings_.stopRequested;
    calls.dataIds = &names_->dataIds;
    calls.fileRead = [this](int read) { observer_.Planning(read); };
    RunOptions options = settings_;
    options.shardOffset = settings_.shardOffset + shardOffset_;
    return MakePlan(control_, input, options, calls, names_->planned);
}

void Walk::StartRecord(const PlannedFile& file) {
    SayOverRange();
    SayOtherKind();
    ++report_->dataFiles;
    report_->files.push_back(FileRecord{file.path, SelectedFrames(file), {}, {}, {}, false});
    failuresAtFile_ = report_->failures.size();
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
    const FileRecord& record = report_->files.back();
    return record.written.empty() && record.kept.empty() && report_->failures.size() == failuresAtFile_;
}

int Walk::JobsFor(const Plan& plan) {
    const int asked = std::max(settings_.JobsToRun(), 1);
    if (asked == 1) return 1;
    std::uint64_t largest = 0;
    for (const PlannedFile& file : plan.files) {
        if (file.inShard && !file.frames.empty()) largest = std::max(largest, file.framePixels);
    }
    // A worker holds its frame's samples, their scaled copy and the output's buffer, and the
    // report holds one frame more; about 8 bytes a pixel in all. Half the free memory is theirs.
    constexpr std::uint64_t kBytesPerPixel = 8;
    const std::uint64_t perJob = largest * kBytesPerPixel + (std::uint64_t{1} << 20);
    const FreeMemory free = settings_.memoryForFrames ? settings_.memoryForFrames() : AvailableMemory();
    if (free.bytes == 0) return asked;
    const std::uint64_t fit = std::max<std::uint64_t>(free.bytes / 2 / perJob, 2) - 1;
    if (fit >= static_cast<std::uint64_t>(asked)) return asked;
    const int jobs = static_cast<int>(std::max<std::uint64_t>(fit, 1));
    report_->jobsHeldBy = free;
    // On a cluster node the machine may have plenty free while the job's own limit is near:
    // the user needs to know which of the two to raise.
    Note(std::to_string(jobs) + (jobs == 1 ? " job" : " jobs") + " instead of " + std::to_string(asked) +
         ": each needs about " + std::to_string(perJob >> 20) + " MB for its frames, and " +
         std::to_string(free.bytes >> 20) + " MB of memory are free " +
         (free.processLimit ? "under this process's memory limit" : "on this machine"));
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
        report_->notConverted.push_back(file.path);
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

// A file's entry or load failure, as the plan found it.
void Walk::Report(const PlannedFile& file) {
    if (file.state == PlannedFile::State::kNotData) Note(DisplayName(file.path) + ": " + file.reason);
    else if (file.state == PlannedFile::State::kLoadFailed) NotLoaded(file.path, file.reason);
    else Fail(file.path, kNoFrame, file.path, file.reason);
}

// After a data file's last frame: frame numbers that repeated, and whether all is written.
void Walk::EndFile(const PlannedFile& file, Outcome outcome) {
    if (!file.loopFailure.empty()) {
        Fail(file.path, file.loopFrame, file.path, file.loopFailure);
        outcome = Outcome::kFailed;
    }
    if (outcome == Outcome::kDone) {
        ++report_->filesConverted;
        report_->files.back().converted = true;
    }
}

Walk::Outcome Walk::Written(const PlannedFile& file, const ExportKindInfo& kind, std::int16_t w,
                            const OutputName& out, const Status& written, int other, const FrameImage* frame,
                            int pages) {
    if (!written.ok() && written.kind() == ErrorKind::kExists && settings_.noClobber) {
        report_->files.back().kept.push_back(out.path);
        Kept(out.path);
        if (other >= 0) CountOtherKind(file, static_cast<ExportKind>(other), out.path, true);
        return Outcome::kDone;
    }
    if (!written.ok()) return WriteFailed(file.path, w, out.path, kind, written.error());
    if (other >= 0) CountOtherKind(file, static_cast<ExportKind>(other), out.path, false);
    report_->files.back().written.push_back(out.path);
    report_->framesWritten += pages;
    if (settings_.dryRun) return Outcome::kDone;
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
            report_->stop = BatchStop::kFrameFailed;
            return Outcome::kStop;
        case ErrorKind::kFolderReadOnly:
            if (!kind.tiff) return ReadOnlyFolder(output, error);
            [[fallthrough]];
        case ErrorKind::kCannotCreate:
            Fail(path, w, output, error.message);
            if (!kind.tiff) return Outcome::kFailed;
            report_->stop = BatchStop::kTiffCannotCreate;
            return Outcome::kStop;
        default:
            Fail(path, w, output, error.message);
            return Outcome::kFailed;
    }
}

// What the plan found of names taken, told to the front end before anything is written.
bool Walk::CarryOnDespiteClashes(const std::vector<Plan>& plans) {
    if (!settings_.carryOnDespite || settings_.dryRun) return true;
    NameClashes clashes;
    for (const Plan& plan : plans) {
        for (const PlannedFile& file : plan.files) {
            if (!file.inShard || file.state != PlannedFile::State::kData) continue;
            const bool stack = settings_.exportOptions.stack && plannedKind_->tiff;
            for (const PlannedFrame& frame : file.frames) {
                if (!frame.selected || !frame.output.nameTaken) continue;
                ++clashes.lost;
                clashes.stacks = clashes.stacks || stack;
                if (frame.output.takenFromElsewhere) ++clashes.acrossFolders;
                if (stack) break;  // its pages share the one name
            }
        }
    }
    return clashes.lost == 0 || settings_.carryOnDespite(clashes);
}

std::string ChangedFileCause(int frame, int planned) {
    return "the file changed while the run went on (frame " + std::to_string(frame) + " where the plan had frame " +
           std::to_string(planned) + "); rest of the file skipped";
}

// After a stop: what was handed out goes unreported, and every data file from `from` on is
// one the run did not convert.
void Walk::StopHere(const Plan& plan, std::size_t from) {
    while (!pending_.empty()) {
        pending_.pop_front();
        runner_->Drop();
    }
    for (std::size_t i = from; i < plan.files.size(); ++i) {
        const PlannedFile& file = plan.files[i];
        // An entry the plan already failed (unreadable, its mirror's name taken) would have
        // had its line had the run gone on: it is named too.
        if (file.inShard && (IsDataFile(file) || file.state == PlannedFile::State::kUnreadable)) {
            report_->notConverted.push_back(file.path);
        }
    }
}

}  // namespace qf
