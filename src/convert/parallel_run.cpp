#include "convert/parallel_run.h"

#include <algorithm>
#include <exception>
#include <stdexcept>

#include "convert/frame_pull.h"
#include "convert/walk.h"
#include "platform/directory.h"
#include "platform/status_error.h"

namespace qf {

ParallelRun::ParallelRun(const Plan& plan, const BatchSettings& settings, int jobs,
                         const std::function<int()>& askKind, RunNames& names, const ExportKindInfo& plannedKind, std::chrono::milliseconds settle,
                         bool keepFrames)
    : plan_(plan), settings_(settings), askKind_(askKind), names_(names), plannedKind_(plannedKind),
      settle_(settle), keepFrames_(keepFrames),
      // One frame in hand per worker, and the one being reported: at most N + 1 temporaries
      // on disk (and, for the dialog, frames in memory) however many jobs there are.
      window_(static_cast<std::size_t>(std::max(jobs, 1))),
      cursor_(plan), files_(plan.files.size()) {
    workers_.resize(window_);
    for (Worker& worker : workers_) {
        worker.control = settings.makeControl ? settings.makeControl() : std::make_unique<CGetdatactrl1>();
    }
    for (Worker& worker : workers_) worker.thread = std::thread([this, &worker] { Work(worker); });
}

ParallelRun::~ParallelRun() {
    halted_ = true;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closing_ = true;
    }
    workCv_.notify_all();
    for (Worker& worker : workers_) {
        if (worker.thread.joinable()) worker.thread.join();
    }
}

// Hands out one more job, entering the files before it; false when the plan is done.
bool ParallelRun::Advance() {
    while (nextFile_ < plan_.files.size() || namer_) {
        if (namer_) {
            const PlannedFile& file = plan_.files[nextFile_ - 1];
            if (frameOfFile_ < file.frames.size()) {
                const std::size_t step = frameOfFile_++;
                if (!file.frames[step].selected) {
                    namer_->Skip(file.frames[step].number);  // stepped past by the worker
                    continue;
                }
                AddJob(nextFile_ - 1, step, fileKind_, namer_->Next(file.frames[step].number));
                return true;
            }
            namer_.reset();
            fileFolder_.reset();
            fileOutput_.reset();
            continue;
        }
        const std::size_t index = nextFile_++;
        const PlannedFile& file = plan_.files[index];
        if (!file.inShard) {
            // Another process converts it; its names still count for collisions.
            if (file.state != PlannedFile::State::kData) continue;
            ClaimNames(plan_, file, names_.converted, settings_, plannedKind_);
            continue;
        }
        if (IsDataFile(file) && EnterFile(index)) return true;
    }
    return false;
}

bool ParallelRun::EnterFile(std::size_t index) {
    const PlannedFile& file = plan_.files[index];
    FileJobs& jobs = files_[index];
    jobs.first = firstSlot_ + slots_.size();
    jobs.asked = askKind_();
    jobs.kind = FindExportKind(jobs.asked);
    Result<std::shared_ptr<OutputFolder>> folder = cursor_.Enter(file.folder);
    Result<std::shared_ptr<OutputFolder>> output =
        folder.ok() ? cursor_.Output(file.folder, folder.value(), true) : Result<std::shared_ptr<OutputFolder>>(folder.error());
    if (!output.ok()) {
        jobs.folderFailure = output.message() + "; not converted";
        return false;
    }
    fileFolder_ = folder.value();
    fileOutput_ = output.value();
    if (!jobs.kind || file.frames.empty()) {
        AddJob(index, kLoadOnly, jobs.kind, OutputName{});
        fileFolder_.reset();
        fileOutput_.reset();
        return true;
    }
    fileKind_ = jobs.kind;
    frameOfFile_ = 0;
    namer_.emplace(plan_.folders[file.folder].place, names_.converted, settings_.pattern.get(), file.path,
                   jobs.kind->extension, jobs.kind->shortName);
    return false;  // the frames are handed out by Advance's next round
}

void ParallelRun::AddJob(std::size_t file, std::size_t step, const ExportKindInfo* kind, OutputName out) {
    slots_.push_back(std::make_unique<Slot>());
    Slot& slot = *slots_.back();
    slot.outcome.out = std::move(out);
    slot.outcome.folder = fileOutput_;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(Job{file, step, kind, fileFolder_, slot.outcome.folder ? slot.outcome.folder->fd() : -1, &slot});
    }
    workCv_.notify_one();
}

const FileJobs& ParallelRun::Reach(std::size_t index) {
    while (nextFile_ <= index && Advance()) {
    }
    return files_[index];
}

FrameOutcome& ParallelRun::Take(std::size_t seq) {
    while (firstSlot_ + slots_.size() <= seq + window_ && Advance()) {
    }
    std::unique_lock<std::mutex> lock(mutex_);
    // The jobs before `seq` were reported or left; each is let go once no worker has it.
    while (firstSlot_ < seq) {
        doneCv_.wait(lock, [&] { return slots_.front()->done; });
        std::unique_ptr<Slot> old = std::move(slots_.front());
        slots_.pop_front();
        ++firstSlot_;
        lock.unlock();
        old.reset();  // removes a temporary never put in place
        lock.lock();
    }
    Slot& slot = *slots_.at(seq - firstSlot_);
    doneCv_.wait(lock, [&] { return slot.done; });
    return slot.outcome;
}

void ParallelRun::Work(Worker& worker) {
    for (;;) {
        Job job;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            workCv_.wait(lock, [&] { return closing_ || !queue_.empty(); });
            if (queue_.empty()) return;
            job = queue_.front();
            queue_.pop_front();
        }
        if (!halted_) Carry(worker, job);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            job.slot->done = true;
        }
        doneCv_.notify_all();
    }
}

// One job, with every failure kept in its outcome: no exception leaves a worker.
void ParallelRun::Carry(Worker& worker, const Job& job) {
    FrameOutcome& out = job.slot->outcome;
    try {
        Step(worker, job);
    } catch (const std::exception& e) {
        worker.loaded = kLoadOnly;
        out.what = FrameOutcome::What::kRunStopped;
        out.message = e.what();
    }
}

void ParallelRun::Step(Worker& worker, const Job& job) {
    FrameOutcome& out = job.slot->outcome;
    const PlannedFile& file = plan_.files[job.file];
    CGetdatactrl1& control = *worker.control;
    if (worker.loaded != job.file || job.step == kLoadOnly || job.step < worker.at) {
        worker.loaded = kLoadOnly;
        if (std::string changed = ChangedSincePlanned(file, job.folder->fd()); !changed.empty()) {
            out.what = FrameOutcome::What::kFileChanged;
            out.message = std::move(changed);
            return;
        }
        if (Status loaded = control.LoadFile(PathThroughFolder(job.folder->fd(), file.name, file.path)); !loaded.ok()) {
            out.what = FrameOutcome::What::kLoadFailed;
            out.message = loaded.message();
            return;
        }
        Pause();
        worker.loaded = job.file;
        worker.at = 0;
        if (job.step == kLoadOnly) {
            out.what = FrameOutcome::What::kLoaded;
            return;
        }
    }
    // A control steps its frames in order, as the plan walked them.
    for (; worker.at < job.step; ++worker.at) {
        control.NextFrame();
        Pause();
    }
    out.number = control.GetFrameNumber();
    if (out.number != file.frames[job.step].number) {
        out.what = FrameOutcome::What::kChanged;
        worker.loaded = kLoadOnly;
        return;
    }
    if (!out.out.refusal.empty()) {
        out.what = FrameOutcome::What::kRefused;
        return;
    }
    FrameImage frame;
    try {
        frame = PullFrame(control, job.kind->kind, settings_.inputBits);
    } catch (const StatusError& e) {
        out.what = FrameOutcome::What::kPullFailed;
        out.message = e.what();
        return;
    }
    out.overRange = frame.overRange;
    out.otherKind = OtherTiffKindAt(job.outputFd, out.out, *job.kind);
    OutputTarget target = TargetFor(job.outputFd, out.out, settings_);
    target.pending = &out.output;
    out.written = job.kind->write(target, frame, settings_.exportOptions);
    out.what = FrameOutcome::What::kWritten;
    if (keepFrames_ && out.written.ok()) out.frame = std::move(frame);
}

void ParallelRun::Pause() { SettlePause(settings_, settle_); }

}  // namespace qf

namespace qf {

// Walk::Convert's steps, told from the outcomes of the pool's jobs in plan order.
void Walk::ConvertFromPool(const Plan& plan, std::size_t index, ParallelRun& run) {
    const PlannedFile& file = plan.files[index];
    if (file.state == PlannedFile::State::kNotData || file.state == PlannedFile::State::kUnreadable) {
        return Report(file);
    }
    StartRecord(file);
    const FileJobs& jobs = run.Reach(index);
    if (!jobs.folderFailure.empty()) return Fail(file.path, kNoFrame, file.path, jobs.folderFailure);
    const FrameOutcome& head = run.Take(jobs.first);
    if (head.what == FrameOutcome::What::kRunStopped) throw std::runtime_error(head.message);
    if (head.what == FrameOutcome::What::kFileChanged) return Fail(file.path, kNoFrame, file.path, head.message);
    if (head.what == FrameOutcome::What::kLoadFailed) {
        NotLoaded(file.path, head.message);
        return;
    }
    if (!jobs.kind) {
        Fail(file.path, kNoFrame, file.path, BadKindCause(jobs.asked));
        return;
    }
    if (file.noSampleFrames > 0) {
        report_.files.back().framesPlanned = file.noSampleFrames;
        return Fail(file.path, NoSamplesFrame(file), file.path, NoSamplesCause(file));
    }
    Outcome outcome = Outcome::kDone;
    std::size_t seq = jobs.first;
    for (std::size_t f = 0; f < file.frames.size(); ++f) {
        if (!file.frames[f].selected) continue;
        const Outcome frame = FromPool(file, *jobs.kind, f, run, seq++);
        if (frame == Outcome::kStop) {
            handedOverFailed_ = outcome == Outcome::kFailed;  // for the frames the inline run goes on with
            return;
        }
        if (frame == Outcome::kFailed) outcome = frame;
    }
    EndFile(file, outcome);
}

// One frame's outcome; kStop also when the rest of the file is left (as Convert returns).
Walk::Outcome Walk::FromPool(const PlannedFile& file, const ExportKindInfo& kind, std::size_t f,
                             ParallelRun& run, std::size_t seq) {
    using What = FrameOutcome::What;
    WaitScope frameWait(observer_);
    FrameOutcome& got = run.Take(seq);
    if (StopRequested()) {
        if (FileUntouched()) report_.notConverted.push_back(file.path);
        else report_.stoppedIn = file.path;
        return Outcome::kStop;
    }
    const std::int16_t w = got.number;
    switch (got.what) {
        case What::kRunStopped:
        case What::kSkipped: throw std::runtime_error(got.message);
        case What::kLoaded:
        case What::kLoadFailed:
            NotLoaded(file.path, got.message);
            return Outcome::kStop;
        case What::kChanged:
            Fail(file.path, w, file.path, ChangedFileCause(w, file.frames[f].number));
            return Outcome::kStop;
        case What::kFileChanged:
            Fail(file.path, kNoFrame, file.path, got.message);
            return Outcome::kStop;
        case What::kRefused:
            Fail(file.path, w, got.out.refusalPath, got.out.refusal);
            return Outcome::kFailed;
        case What::kPullFailed:
            Fail(file.path, w, file.path, got.message);
            report_.stop = BatchStop::kFrameFailed;
            return Outcome::kStop;
        case What::kWritten: break;
    }
    CountOverRange(file, kind, got.overRange);
    otherKind_ = got.otherKind;
    if (!got.written.ok() && got.written.kind() == ErrorKind::kNoSpace) {
        // The other workers' temporaries may be what filled the disk: the run goes on with
        // one job from this frame, as a run of one job would have written it.
        inlineFrom_ = f;
        return Outcome::kStop;
    }
    // The output takes its name only now, in plan order, so that a stop leaves exactly
    // the outputs a single job leaves.
    const Status written = got.written.ok() ? got.output.Place() : got.written;
    return Written(file, kind, w, got.out, written, got.written.ok() && observer_.ShowsFrames() ? &got.frame : nullptr);
}

}  // namespace qf
