// The one loop over a plan (Walk::Carry): it hands the plan's jobs out in plan order to a
// runner (inline, a pool of workers, or a dry run) as far as the runner may work ahead,
// and reports each job's outcome in plan order. Whatever the runner, the kind is asked as
// each data file is entered, outputs are put in place here and only here, and a stop
// leaves what one job leaves.
#include <algorithm>
#include <utility>

#include "convert/walk.h"
#include "export/page_encoder.h"
#include "platform/display_name.h"

namespace qf {
namespace {

std::string BadKindCause(int asked) { return "export kind " + std::to_string(asked) + " is not one of 0 to 3"; }

/// One line for the frames of a file that have no samples, however many they are.
std::string NoSamplesCause(const PlannedFile& file) {
    if (file.noSampleFrames == 1) return "the frame has no samples (its width or height is 0); not written";
    return std::to_string(file.noSampleFrames) + " frames (" + std::to_string(file.firstFrame) + " to " +
           std::to_string(file.lastFrame) + ") have no samples (their width or height is 0); not written";
}

/// The frame a no-samples line names: the one frame, or none for several.
int NoSamplesFrame(const PlannedFile& file) { return file.noSampleFrames == 1 ? file.firstFrame : kNoFrame; }

std::string GrewCause(const PlannedFile& file) {
    return "the file changed after the run was planned (it holds more than the " + std::to_string(file.frames.size()) +
           " planned frames); its later frames were not converted";
}

// A file whose frames did not repeat is stepped on past them when they are done.
bool NeedsRound(const PlannedFile& file) { return file.loopFailure.empty() && !file.frames.empty(); }

// A refusal said of the whole stack: "stack not written: its name ... is taken by ...",
// "stack: its name ... is longer than a file system allows ...; not written".
std::string StackRefusal(const OutputName& out) { return (out.nameTaken ? "stack " : "stack: ") + out.refusal; }

}  // namespace

BatchReport& Walk::report() {
    if (!report_) report_ = &reports_.emplace_back();
    return *report_;
}

void Walk::Run(const std::vector<std::string>& inputs) {
    settle_ = settings_.settle ? *settings_.settle : control_.SettleTime();
    std::vector<Plan> plans(inputs.size());
    reports_.reserve(inputs.size());
    int files = 0;
    long frames = 0;
    std::uint64_t pixels = 0;
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        report_ = &reports_.emplace_back();
        const auto start = std::chrono::steady_clock::now();
        const bool goOn = PlanInput(inputs[i], plans[i]);
        report_->seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        files += plans[i].FilesInShard();
        frames += plans[i].FramesInShard();
        pixels += plans[i].PixelsInShard();
        if (!goOn) {
            // The inputs planned before the stop: none of their data files is converted.
            for (std::size_t before = 0; before < i; ++before) {
                report_ = &reports_[before];
                cursor_ = std::make_unique<FolderCursor>(plans[before]);
                if (report_->stop != BatchStop::kFolderUnreadable) NotConverted(plans[before]);
            }
            return;
        }
    }
    filesInShard_ = files;
    // Said once for the run, before it writes: files a common reader will not show right.
    const ExportKindInfo* planned = FindExportKind(settings_.plannedKind);
    if (files > 0 && planned && planned->tiff && !reports_.empty()) {
        report_ = &reports_.front();
        for (std::string& warning : ReaderWarnings(settings_.exportOptions)) Note(std::move(warning));
    }
    if (!CarryOnDespiteClashes(plans)) {
        for (std::size_t i = 0; i < inputs.size(); ++i) {
            report_ = &reports_[i];
            report_->stop = BatchStop::kInterrupted;
            StopHere(plans[i], 0);
        }
        return;
    }
    observer_.Planned(files, frames);
    observer_.PlannedPixels(pixels);
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        report_ = &reports_[i];
        if (report_->stop == BatchStop::kFolderUnreadable) continue;
        const auto start = std::chrono::steady_clock::now();
        CarryInput(inputs[i], plans[i]);
        report_->seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (report_->stop == BatchStop::kNone) continue;
        // The run stopped: the data files of the inputs after this one are left too.
        for (std::size_t later = i + 1; later < inputs.size(); ++later) {
            report_ = &reports_[later];
            StopHere(plans[later], 0);
        }
        return;
    }
}

bool Walk::PlanInput(const std::string& input, Plan& plan) {
    plan = MakeThePlan(input);
    SkipFilesSeenBefore(plan);
    shardOffset_ += static_cast<std::size_t>(std::count_if(plan.files.begin(), plan.files.end(), IsDataFile));
    if (!plan.unreadable.empty()) {
        Fail(plan.unreadablePath, kNoFrame, plan.unreadablePath, plan.unreadable);
        report_->stop = BatchStop::kFolderUnreadable;
        return true;
    }
    cursor_ = std::make_unique<FolderCursor>(plan);
    for (const std::string& note : plan.notes) Note(note);
    for (const PlanFailure& failure : plan.failures) Fail(failure.path, kNoFrame, failure.path, failure.cause);
    for (const PlannedFile& file : plan.files) report_->plannedDataFiles += IsDataFile(file);
    if (StopRequested()) {  // while planning
        NotConverted(plan);
        return false;
    }
    report_->framesPlanned = plan.FramesInShard();
    report_->dryRun = settings_.dryRun;
    return true;
}

// A data file an earlier input (or an earlier name in this one) already holds is one data
// file, however it is spelt: converted once, the other name a note.
void Walk::SkipFilesSeenBefore(Plan& plan) {
    for (PlannedFile& file : plan.files) {
        if (!IsDataFile(file) || file.facts.identity.empty()) continue;
        const auto [seen, fresh] = seenFiles_.emplace(file.facts.identity, file.path);
        if (fresh) continue;
        file.state = PlannedFile::State::kNotData;
        file.reason = "is " + DisplayName(seen->second) + " again; converted once";
        ++report_->namedAgain;
        file.frames.clear();
        file.noSampleFrames = 0;
    }
}

void Walk::CarryInput(const std::string& input, const Plan& plan) {
    cursor_ = std::make_unique<FolderCursor>(plan);
    nextFile_ = 0;
    reporting_ = left_ = kNoParent;
    written_.clear();
    runner_ = MakeRunner(plan);
    Carry(plan);
    runner_.reset();  // the workers are done and every output not placed is removed
    if (settings_.sync && !settings_.dryRun && report_->framesWritten > 0) SyncFolders(plan);
    SayOverRange();
    SayOtherKind();
    SayKept(input);
}

std::unique_ptr<FrameRunner> Walk::MakeRunner(const Plan& plan) {
    const RunnerContext context{plan, settings_, settle_, observer_.ShowsFrames()};
    pooled_ = false;
    if (settings_.dryRun) return MakeDryRunner(context);
    // A stack is pulled by one control in frame order, one data file at a time; its pages
    // are encoded by as many workers as the free memory allows jobs.
    stackJobs_ = 1;
    if (settings_.exportOptions.stack && EncodedInWorkers(settings_.exportOptions.compression) && !handedOver_) {
        stackJobs_ = JobsFor(plan);
    }
    if (!settings_.exportOptions.stack && settings_.makeControl && !handedOver_) {
        const int jobs = JobsFor(plan);
        report_->jobs = std::max(report_->jobs, jobs);
        if (jobs > 1) {
            pooled_ = true;
            return MakePoolRunner(context, jobs);
        }
    }
    return MakeInlineRunner(context, control_);
}

// The one loop over the plan: jobs go out as far as the runner may work ahead, and the
// oldest is reported, until the plan is done or the run stops.
void Walk::Carry(const Plan& plan) {
    for (;;) {
        while (pending_.size() <= runner_->Ahead() && HandOut(plan)) {
        }
        if (pending_.empty()) return;
        ReportNext(plan);
        if (report_->stop != BatchStop::kNone) return StopHere(plan, reporting_ + 1);
    }
}

// One more job out; false when the plan has none left, or when the next data file may
// not be entered yet (its kind may still change while jobs of the file before are out).
bool Walk::HandOut(const Plan& plan) {
    if (handing_) {
        NextFrameJob(plan);
        return true;
    }
    while (nextFile_ < plan.files.size()) {
        const std::size_t index = nextFile_;
        const PlannedFile& file = plan.files[index];
        if (!file.inShard) {
            ++nextFile_;
            // Another process converts it; its names still count for collisions.
            if (file.state == PlannedFile::State::kData && !settings_.dryRun) {
                ClaimNames(plan, file, names_->converted, settings_, *plannedKind_);
            }
            continue;
        }
        if (!IsDataFile(file)) {
            ++nextFile_;
            Job job;
            job.file = index;
            job.last = true;
            Submit(std::move(job));
            return true;
        }
        if (settings_.kindMayChange && !pending_.empty()) return false;
        ++nextFile_;
        EnterFile(plan, index);
        return true;
    }
    return false;
}

void Walk::EnterFile(const Plan& plan, std::size_t index) {
    const PlannedFile& file = plan.files[index];
    Job job;
    job.file = index;
    job.asked = askKind_();
    job.kind = FindExportKind(job.asked);
    job.last = true;
    Result<std::shared_ptr<OutputFolder>> data = cursor_->Enter(file.folder);
    Result<std::shared_ptr<OutputFolder>> output =
        data.ok() ? cursor_->Output(file.folder, data.value(), !settings_.dryRun)
                  : Result<std::shared_ptr<OutputFolder>>(data.error());
    if (!output.ok()) {
        job.folderFailure = output.message() + "; not converted";
        return Submit(std::move(job));
    }
    job.folder = data.value();
    job.output = output.value();
    if (written_.empty() || written_.back() != file.folder) written_.push_back(file.folder);
    const auto first = std::find_if(file.frames.begin(), file.frames.end(), [](const PlannedFrame& f) { return f.selected; });
    if (!job.kind || file.noSampleFrames > 0) {
        job.type = Job::Type::kLoad;
        return Submit(std::move(job));
    }
    if (first == file.frames.end()) {
        // No frame selected: the file is loaded and stepped round all the same.
        job.type = Job::Type::kLoad;
        job.last = !NeedsRound(file);
        if (!job.last) {
            handing_ = index;
            nextStep_ = 1;
            lastStep_ = 0;
            fileJob_ = job;
        }
        return Submit(std::move(job));
    }
    std::size_t last = file.frames.size() - 1;
    while (!file.frames[last].selected) --last;
    handing_ = index;
    nextStep_ = 0;
    lastStep_ = last;
    job.type = settings_.exportOptions.stack && job.kind->tiff ? Job::Type::kStack : Job::Type::kFrame;
    job.last = false;
    fileJob_ = std::move(job);
    // A dry run names as the plan named; a run claims the names again, in plan order, as it
    // enters each file (the plan's claims were for the kind it planned).
    fileNames_.clear();
    if (!settings_.dryRun) fileNames_ = NameOutputs(plan.folders[file.folder].place, names_->converted, settings_, file,
                                                    *fileJob_.kind);
    NextFrameJob(plan);
}

// The next selected frame of the file being handed out (a stack: its one job), and after
// the last one the round.
void Walk::NextFrameJob(const Plan& plan) {
    const PlannedFile& file = plan.files[*handing_];
    Job job = fileJob_;
    if (nextStep_ > lastStep_) {
        job.type = Job::Type::kRound;
        job.last = true;
    } else {
        while (!file.frames[nextStep_].selected) ++nextStep_;
        job.step = nextStep_;
        job.last = job.type == Job::Type::kStack || (nextStep_ == lastStep_ && !NeedsRound(file));
        job.out = fileNames_.empty() ? file.frames[nextStep_].output : fileNames_[nextStep_];
        ++nextStep_;
    }
    if (job.last) {
        handing_.reset();
        fileNames_.clear();
        fileJob_ = Job{};
    }
    Submit(std::move(job));
}

void Walk::Submit(Job job) {
    pending_.push_back(job);
    runner_->Submit(std::move(job));
}

void Walk::ReportNext(const Plan& plan) {
    const Job job = std::move(pending_.front());
    pending_.pop_front();
    const PlannedFile& file = plan.files[job.file];
    if (job.file == left_) return runner_->Drop();
    if (job.file != reporting_) {
        reporting_ = job.file;
        if (!StartFile(file, job)) {
            left_ = job.file;
            return runner_->Drop();
        }
    }
    // Asked before each frame is taken: the frame being written when a stop comes is
    // finished and put in place. (A runner asks again after the settle pause before it pulls
    // a frame, and skips the frame then.)
    if (job.type == Job::Type::kFrame && StopRequested()) {
        runner_->Drop();
        return LeaveForStop(file);
    }
    FrameOutcome got = runner_->Take();
    if (got.what == FrameOutcome::What::kSkipped) {
        report_->stop = BatchStop::kInterrupted;
        return LeaveForStop(file);
    }
    const Outcome outcome = ReportJob(plan, file, job, got);
    if (outcome == Outcome::kAgain) return;
    if (outcome == Outcome::kStop) {
        // An output that cannot be created stops the run inside the file: its later frames
        // (a stack: all of it) are left, in the run as in the dry run.
        const bool leavesFrames =
            job.type == Job::Type::kStack ||
            (job.type == Job::Type::kFrame &&
             std::any_of(file.frames.begin() + static_cast<std::ptrdiff_t>(job.step) + 1, file.frames.end(),
                         [](const PlannedFrame& f) { return f.selected; }));
        const bool stopsInside = report_->stop == BatchStop::kTiffCannotCreate ||
                                 (settings_.dryRun && report_->stop != BatchStop::kNone);
        if (stopsInside && leavesFrames) report_->stoppedIn = file.path;
        left_ = job.file;
        return;
    }
    if (outcome == Outcome::kFailed) fileOutcome_ = outcome;
    if (!job.last) return;
    if (got.grew) {
        Fail(file.path, kNoFrame, file.path, GrewCause(file));
        fileOutcome_ = Outcome::kFailed;
    }
    EndFile(file, fileOutcome_);
}

// A stop before a frame of `file`: its later frames (or the whole file) are left.
void Walk::LeaveForStop(const PlannedFile& file) {
    if (FileUntouched()) report_->notConverted.push_back(file.path);
    else report_->stoppedIn = file.path;
    left_ = reporting_;
}

// The first job of an entry reaches the report; false when the entry ends there.
bool Walk::StartFile(const PlannedFile& file, const Job& job) {
    if (!IsDataFile(file)) {
        Report(file);
        return false;
    }
    if (StopRequested()) {
        report_->notConverted.push_back(file.path);
        return false;
    }
    if (!settings_.dryRun) {
        observer_.FileStarted(file.path, ++index_, filesInShard_);
        observer_.FileFrames(SelectedFrames(file));
        observer_.FileFramePixels(file.framePixels);
    }
    StartRecord(file);
    fileOutcome_ = Outcome::kDone;
    if (job.folderFailure.empty()) return true;
    Fail(file.path, kNoFrame, file.path, job.folderFailure);
    return false;
}

Walk::Outcome Walk::RunStopped(const PlannedFile& file, const Error& error) {
    Fail(file.path, kNoFrame, file.path, "run stopped: " + error.message);
    report_->stop = BatchStop::kFrameFailed;
    return Outcome::kStop;
}

// The outcomes that end the file (or the run) before anything was written: nothing when
// the job got as far as its output.
std::optional<Walk::Outcome> Walk::ReportFailedJob(const PlannedFile& file, const Job& job, const FrameOutcome& got) {
    using What = FrameOutcome::What;
    const std::int16_t w = got.number;
    switch (got.what) {
        case What::kSkipped:  // taken care of by ReportNext
        case What::kControlFailed:
            return RunStopped(file, got.error);
        case What::kLoadFailed:
            NotLoaded(file.path, got.error.message);
            return Outcome::kStop;
        case What::kFileChanged:
            // A worker that loads the file again mid-way may find it changed after some of
            // its frames were written.
            Fail(file.path, kNoFrame, file.path,
                 got.error.message + (FileUntouched() ? "; not converted" : "; its later frames were not converted"));
            return Outcome::kStop;
        case What::kChanged:
            Fail(file.path, w, file.path, ChangedFileCause(w, file.frames[job.step].number));
            return Outcome::kStop;
        case What::kPullFailed:
            Fail(file.path, w, file.path, got.error.message);
            report_->stop = BatchStop::kFrameFailed;
            return Outcome::kStop;
        case What::kLoaded:
        case What::kRefused:
        case What::kWritten: break;
    }
    return std::nullopt;
}

// A data file with no frame to write: its kind or its frames are what fails it.
Walk::Outcome Walk::ReportLoad(const PlannedFile& file, const Job& job) {
    if (!job.kind) {
        Fail(file.path, kNoFrame, file.path, BadKindCause(job.asked));
        return Outcome::kStop;
    }
    if (file.noSampleFrames > 0) {
        report_->files.back().framesPlanned = file.noSampleFrames;
        Fail(file.path, NoSamplesFrame(file), file.path, NoSamplesCause(file));
        return Outcome::kStop;
    }
    return Outcome::kDone;
}

Walk::Outcome Walk::ReportJob(const Plan& plan, const PlannedFile& file, const Job& job, FrameOutcome& got) {
    using What = FrameOutcome::What;
    const std::int16_t w = got.number;
    if (std::optional<Outcome> failed = ReportFailedJob(file, job, got)) return *failed;
    if (job.type == Job::Type::kRound) return Outcome::kDone;
    if (job.type == Job::Type::kLoad) return ReportLoad(file, job);
    if (job.type == Job::Type::kStack && !settings_.dryRun) {
        // The stack's own loop runs here, on the walk's thread: what it throws ends the
        // run as a failed job of this file would.
        const std::optional<Error> thrown = Caught([&] { ConvertStack(file, job); });
        return thrown ? RunStopped(file, *thrown) : Outcome::kStop;  // the stack said its own end
    }
    const bool stack = job.type == Job::Type::kStack;
    const int pages = stack ? SelectedFrames(file) : 1;
    if (settings_.dryRun) {
        PlannedLine line{file.frames[job.step].number, job.out.path,
                         stack && !job.out.refusal.empty() ? StackRefusal(job.out) : job.out.refusal};
        line.pages = stack ? pages : 0;
        report_->files.back().plan.push_back(line);
    }
    if (got.what == What::kRefused) {
        Fail(file.path, stack ? kNoFrame : w, job.out.refusalPath, stack ? StackRefusal(job.out) : job.out.refusal,
             job.out.nameTaken ? FailureKind::kNameTaken : FailureKind::kOther, job.out.takenFromElsewhere);
        return Outcome::kFailed;
    }
    CountOverRange(file, *job.kind, got.overRange);
    if (!got.written.ok() && got.written.kind() == ErrorKind::kNoSpace && pooled_) {
        HandOverToInline(plan, job);
        return Outcome::kAgain;
    }
    // The output takes its name only now, in plan order, so that a stop leaves exactly the
    // outputs of the frames reported.
    const Status written = !got.written.ok() ? got.written : got.output.waiting() ? got.output.Place() : Status::Ok();
    SayKindUnread(job.out.path, got.kindUnread);
    return Written(file, *job.kind, w, job.out, written, got.otherKind,
                   got.written.ok() && got.frame.count > 0 ? &got.frame : nullptr, pages);
}

// A full disk under several jobs: the other workers' temporaries may be what filled it. The
// pool goes (and its temporaries with it); one job goes on from this frame, as a run of one
// job would have written it.
void Walk::HandOverToInline(const Plan& plan, const Job& job) {
    pending_.clear();
    runner_.reset();
    runner_ = MakeInlineRunner(RunnerContext{plan, settings_, settle_, observer_.ShowsFrames()}, control_);
    pooled_ = false;
    handedOver_ = true;  // for the later inputs too
    Note("the disk is full: the run goes on with one job");
    const PlannedFile& file = plan.files[job.file];
    nextFile_ = job.file + 1;
    handing_ = job.file;
    nextStep_ = job.step;
    lastStep_ = file.frames.size() - 1;
    while (!file.frames[lastStep_].selected) --lastStep_;
    fileJob_ = job;
    fileJob_.last = false;
    // Named again as they were named: the same frames claiming the same names are no collision.
    fileNames_ = NameOutputs(plan.folders[file.folder].place, names_->converted, settings_, file, *job.kind);
}

}  // namespace qf
