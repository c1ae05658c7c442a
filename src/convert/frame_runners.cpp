// The runners behind the walk: inline (the caller's control, each job when it is taken),
// a pool of workers (each with its own control, working ahead of the report by one job
// each), and the dry run (nothing loaded or written). The inline runner and the workers
// carry a job out with the same code, so one job and several write the same bytes.
#include <atomic>
#include <condition_variable>
#include <limits>
#include <mutex>
#include <new>
#include <stdexcept>
#include <thread>

#include "convert/frame_pull.h"
#include "convert/walk.h"
#include "export/image_output.h"
#include "platform/status_error.h"

namespace qf {

void SettlePause(const BatchSettings& settings, std::chrono::milliseconds pause) {
    if (settings.pause) return settings.pause(pause);
    constexpr std::chrono::milliseconds kSlice{20};
    while (pause.count() > 0) {
        if (settings.stopRequested && settings.stopRequested()) return;
        const auto step = std::min(pause, kSlice);
        Sleep(step);
        pause -= step;
    }
}

std::optional<Error> Caught(const std::function<void()>& work) {
    try {
        work();
        return std::nullopt;
    } catch (const StatusError& e) {  // the acquisition control's boundary
        return Error{ErrorKind::kInvalid, e.what()};
    } catch (const std::bad_alloc&) {
        return Error{ErrorKind::kOutOfMemory, "out of memory"};
    } catch (const std::exception& e) {
        return Error{ErrorKind::kInvalid, e.what()};
    }
}

namespace {

constexpr std::size_t kNothing = std::numeric_limits<std::size_t>::max();

// One control and what it holds: the file it has loaded and the frame it is at.
class JobCarrier {
public:
    JobCarrier(const RunnerContext& context, CGetdatactrl1& control) : context_(context), control_(control) {}

    /// Carries `job` out; every failure, a failed control call included, ends in `out`.
    void Carry(const Job& job, FrameOutcome& out) {
        // Nothing thrown may leave a worker's thread.
        if (std::optional<Error> thrown = Caught([&] { Step(job, out); })) {
            loaded_ = kNothing;
            out.what = FrameOutcome::What::kControlFailed;
            out.error = std::move(*thrown);
        }
    }

private:
    void Pause() { SettlePause(context_.settings, context_.settle); }

    bool Load(const Job& job, const PlannedFile& file, FrameOutcome& out) {
        loaded_ = kNothing;
        if (std::string changed = ChangedSincePlanned(file, job.folder->fd()); !changed.empty()) {
            out.what = FrameOutcome::What::kFileChanged;
            out.error = Error{ErrorKind::kInvalid, std::move(changed)};
            return false;
        }
        if (Status loaded = control_.LoadFile(PathThroughFolder(job.folder->fd(), file.name, file.path)); !loaded.ok()) {
            // It may have changed between the check and the load: then that is what happened.
            if (std::string changed = ChangedSincePlanned(file, job.folder->fd()); !changed.empty()) {
                out.what = FrameOutcome::What::kFileChanged;
                out.error = Error{ErrorKind::kInvalid, std::move(changed)};
                return false;
            }
            out.what = loaded.kind() == ErrorKind::kControlFailed ? FrameOutcome::What::kControlFailed
                                                                   : FrameOutcome::What::kLoadFailed;
            out.error = loaded.error();
            return false;
        }
        Pause();
        loaded_ = job.file;
        at_ = 0;
        return true;
    }

    void Step(const Job& job, FrameOutcome& out) {
        const PlannedFile& file = context_.plan.files[job.file];
        if (job.type == Job::Type::kNone) {
            out.what = FrameOutcome::What::kLoaded;
            return;
        }
        const bool goesOn = job.type == Job::Type::kFrame ? job.step >= at_ : job.type == Job::Type::kRound;
        if (loaded_ != job.file || !goesOn) {
            if (!Load(job, file, out)) return;
        }
        if (job.type == Job::Type::kStack) {
            loaded_ = kNothing;  // the walk steps the control through the stack's pages itself
            out.what = FrameOutcome::What::kLoaded;
            return;
        }
        if (job.type == Job::Type::kLoad || job.type == Job::Type::kRound) {
            out.what = FrameOutcome::What::kLoaded;
            if (job.type == Job::Type::kRound) StepRound(file, out);
            return;
        }
        // A control steps its frames in order, as the plan walked them.
        for (; at_ < job.step; ++at_) {
            control_.NextFrame();
            Pause();
        }
        // A stop that came during the pauses: the frame is not pulled.
        if (context_.settings.stopRequested && context_.settings.stopRequested()) return;
        out.number = control_.GetFrameNumber();
        if (out.number != file.frames[job.step].number) {
            out.what = FrameOutcome::What::kChanged;
            loaded_ = kNothing;
            return;
        }
        if (!job.out.refusal.empty()) out.what = FrameOutcome::What::kRefused;
        else Write(job, out);
    }

    void Write(const Job& job, FrameOutcome& out) {
        FrameImage frame;
        try {
            frame = PullFrame(control_, job.kind->kind, context_.settings.inputBits);
        } catch (const StatusError& e) {
            out.what = FrameOutcome::What::kPullFailed;
            out.error = Error{ErrorKind::kInvalid, e.what()};
            return;
        }
        const int outputFd = job.output->fd();
        out.overRange = frame.overRange;
        out.otherKind =
            OtherTiffKindAt(outputFd, job.out, *job.kind, context_.plan.files[job.file].framePixels, &out.kindUnread);
        OutputTarget target = TargetFor(outputFd, job.out, context_.settings);
        target.pending = &out.output;
        const std::unique_ptr<ImageOutput> file = OpenImageOutput(target, *job.kind, 1, context_.settings.exportOptions);
        out.written = file->AddPage(frame);
        if (out.written.ok()) out.written = file->Finish();
        out.what = FrameOutcome::What::kWritten;
        if (context_.keepFrames && out.written.ok()) out.frame = std::move(frame);
    }

    // Past the file's last planned frame the control must come back to its first: a file
    // that grew since the plan does not.
    void StepRound(const PlannedFile& file, FrameOutcome& out) {
        for (; at_ < file.frames.size(); ++at_) {
            control_.NextFrame();
            Pause();
        }
        out.grew = control_.GetFrameNumber() != file.frames.front().number;
        loaded_ = kNothing;
    }

    const RunnerContext& context_;
    CGetdatactrl1& control_;
    std::size_t loaded_ = kNothing;  ///< the plan file the control holds
    std::size_t at_ = 0;             ///< the index of the frame it is at
};

class InlineRunner : public FrameRunner {
public:
    InlineRunner(const RunnerContext& context, CGetdatactrl1& control) : context_(context), carrier_(context_, control) {}
    std::size_t Ahead() const override { return 0; }
    void Submit(Job job) override { jobs_.push_back(std::move(job)); }
    FrameOutcome Take() override {
        FrameOutcome out;
        carrier_.Carry(jobs_.front(), out);
        jobs_.pop_front();
        return out;
    }
    void Drop() override { jobs_.pop_front(); }

private:
    RunnerContext context_;
    JobCarrier carrier_;
    std::deque<Job> jobs_;
};

class DryRunner : public FrameRunner {
public:
    explicit DryRunner(const RunnerContext& context) : context_(context) {}
    std::size_t Ahead() const override { return 0; }
    void Submit(Job job) override { jobs_.push_back(std::move(job)); }
    void Drop() override { jobs_.pop_front(); }
    FrameOutcome Take() override {
        const Job job = std::move(jobs_.front());
        jobs_.pop_front();
        FrameOutcome out;
        const PlannedFile& file = context_.plan.files[job.file];
        out.what = FrameOutcome::What::kLoaded;
        if (job.type == Job::Type::kNone) return out;
        if (file.state == PlannedFile::State::kLoadFailed) {
            out.what = FrameOutcome::What::kLoadFailed;
            out.error = Error{ErrorKind::kInvalid, file.reason};
            return out;
        }
        if (job.type == Job::Type::kLoad || job.type == Job::Type::kRound) return out;
        out.number = file.frames[job.step].number;
        if (!job.out.refusal.empty()) {
            out.what = FrameOutcome::What::kRefused;
            return out;
        }
        // Every check the writer makes before it writes.
        const int outputFd = job.output ? job.output->fd() : -1;
        out.written = outputFd >= 0 ? CheckOutputTarget(TargetFor(outputFd, job.out, context_.settings)) : Status::Ok();
        // What the run would say of the file it replaces, said here too.
        if (outputFd >= 0 && job.kind) {
            out.otherKind = OtherTiffKindAt(outputFd, job.out, *job.kind, file.framePixels, &out.kindUnread);
        }
        out.what = FrameOutcome::What::kWritten;
        return out;
    }

private:
    RunnerContext context_;
    std::deque<Job> jobs_;
};

// Workers, each with its own control, take the jobs in the order they were handed out and
// keep each outcome in its slot until the walk takes it. At most Ahead() + 1 jobs are out,
// so at most that many temporaries (and, for the dialog, frames) are held.
class PoolRunner : public FrameRunner {
public:
    PoolRunner(const RunnerContext& context, int jobs) : context_(context), ahead_(static_cast<std::size_t>(jobs)) {
        for (int i = 0; i < jobs; ++i) {
            auto worker = std::make_unique<Worker>();
            worker->control = context_.settings.makeControl();
            worker->carrier = std::make_unique<JobCarrier>(context_, *worker->control);
            workers_.push_back(std::move(worker));
        }
        for (auto& worker : workers_) worker->thread = std::thread([this, w = worker.get()] { Work(*w); });
    }

    // Stops the workers after their current job; every output not taken is removed.
    ~PoolRunner() override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            closing_ = true;
            for (auto& slot : slots_) slot->dropped = true;
        }
        workCv_.notify_all();
        for (auto& worker : workers_) {
            if (worker->thread.joinable()) worker->thread.join();
        }
    }
    PoolRunner(const PoolRunner&) = delete;
    PoolRunner& operator=(const PoolRunner&) = delete;

    std::size_t Ahead() const override { return ahead_; }

    void Submit(Job job) override {
        auto slot = std::make_unique<Slot>();
        slot->job = std::move(job);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            queue_.push_back(slot.get());
            slots_.push_back(std::move(slot));
        }
        workCv_.notify_one();
    }

    FrameOutcome Take() override {
        std::unique_ptr<Slot> slot = Oldest(false);
        return std::move(slot->outcome);
    }

    void Drop() override { Oldest(true); }

private:
    struct Slot {
        Job job;
        FrameOutcome outcome;
        bool dropped = false;  ///< guarded by mutex_: not to be carried out
        bool done = false;     ///< guarded by mutex_
    };
    struct Worker {
        std::unique_ptr<CGetdatactrl1> control;
        std::unique_ptr<JobCarrier> carrier;
        std::thread thread;
    };

    // The oldest slot once no worker has it (one not started is not carried out when dropped).
    std::unique_ptr<Slot> Oldest(bool drop) {
        std::unique_lock<std::mutex> lock(mutex_);
        Slot& front = *slots_.front();
        if (drop) front.dropped = true;
        doneCv_.wait(lock, [&] { return front.done; });
        std::unique_ptr<Slot> slot = std::move(slots_.front());
        slots_.pop_front();
        return slot;
    }

    void Work(Worker& worker) {
        for (;;) {
            Slot* slot = nullptr;
            bool carry = false;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                workCv_.wait(lock, [&] { return closing_ || !queue_.empty(); });
                if (queue_.empty()) return;
                slot = queue_.front();
                queue_.pop_front();
                carry = !slot->dropped;
            }
            if (carry) worker.carrier->Carry(slot->job, slot->outcome);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                slot->done = true;
            }
            doneCv_.notify_all();
        }
    }

    RunnerContext context_;
    const std::size_t ahead_;
    std::mutex mutex_;
    std::condition_variable workCv_, doneCv_;
    std::deque<std::unique_ptr<Slot>> slots_;  ///< handed out, not taken, in order
    std::deque<Slot*> queue_;                  ///< handed out, not started
    bool closing_ = false;
    std::vector<std::unique_ptr<Worker>> workers_;
};

}  // namespace

std::unique_ptr<FrameRunner> MakeInlineRunner(const RunnerContext& context, CGetdatactrl1& control) {
    return std::make_unique<InlineRunner>(context, control);
}

std::unique_ptr<FrameRunner> MakePoolRunner(const RunnerContext& context, int jobs) {
    return std::make_unique<PoolRunner>(context, jobs);
}

std::unique_ptr<FrameRunner> MakeDryRunner(const RunnerContext& context) {
    return std::make_unique<DryRunner>(context);
}

}  // namespace qf
