#include "convert/batch_run.h"

#include <chrono>

#include "convert/frame_pull.h"
#include "convert/parallel_run.h"
#include "convert/plan.h"
#include "convert/walk.h"
#include "export/export_kinds.h"
#include "platform/directory.h"
#include "platform/display_name.h"
#include "platform/output_file.h"
#include "platform/status_error.h"

namespace qf {

void Walk::Fail(const std::string& dataFile, int frame, const std::string& path, std::string cause) {
    report_.failures.push_back(BatchFailure{dataFile, frame, path, std::move(cause)});
    observer_.Failed(report_.failures.back());
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

void Walk::Pause() {
    if (settings_.pause) settings_.pause(settle_);
    else Sleep(settle_);
}

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
    return MakePlan(control_, input, options, names_->planned);
}

void Walk::Run(const std::string& input) {
    settle_ = settings_.settle ? *settings_.settle : control_.SettleTime();
    Plan plan = MakeThePlan(input);
    if (!plan.unreadable.empty()) {
        Fail(plan.unreadablePath, kNoFrame, plan.unreadablePath, plan.unreadable);
        report_.stop = BatchStop::kFolderUnreadable;
        return;
    }
    for (const std::string& note : plan.notes) Note(note);
    for (const PlannedFile& file : plan.files) report_.plannedDataFiles += IsDataFile(file);
    if (StopRequested()) {  // while planning
        for (const PlannedFile& file : plan.files) {
            if (file.inShard && IsDataFile(file)) report_.notConverted.push_back(file.path);
        }
        return;
    }
    report_.framesPlanned = plan.FramesInShard();
    observer_.Planned(plan.FilesInShard(), plan.FramesInShard());
    observer_.PlannedPixels(plan.PixelsInShard());
    if (settings_.dryRun) return DryRun(plan);
    const int total = plan.FilesInShard();
    int index = 0;
    std::unique_ptr<ParallelRun> pool;
    if (settings_.jobs > 1) {
        pool = std::make_unique<ParallelRun>(plan, settings_, askKind_, *names_, *plannedKind_, settle_,
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
            observer_.FileFrames(static_cast<int>(file.frames.size()));
            observer_.FileFramePixels(file.framePixels);
        }
        if (pool) ConvertFromPool(plan, i, *pool);
        else Convert(plan, file);
    }
    pool.reset();  // the workers are done and every output not reported is removed
    if (settings_.sync && report_.framesWritten > 0) {
        for (const PlanFolder& folder : plan.folders) {
            if (Status synced = folder.output->Sync(); !synced.ok()) {
                Fail(folder.path, kNoFrame, folder.path, "cannot flush the folder to disk: " + synced.message());
            }
        }
    }
}

// A file's entry or load failure, as the plan found it.
void Walk::Report(const PlannedFile& file) {
    if (file.state == PlannedFile::State::kNotData) Note(DisplayName(file.path) + ": " + file.reason);
    else Fail(file.path, kNoFrame, file.path, file.reason);
}

// What the run would do, in the order it would say it, with nothing written.
void Walk::DryRun(const Plan& plan) {
    report_.dryRun = true;
    for (const PlannedFile& file : plan.files) {
        if (!file.inShard) continue;
        if (file.state != PlannedFile::State::kData) {
            report_.dataFiles += IsDataFile(file);
            Report(file);
            continue;
        }
        ++report_.dataFiles;
        FileRecord record{file.path, static_cast<int>(file.frames.size()), {}, {}, {}, false};
        bool clean = file.loopFailure.empty();
        for (const PlannedFrame& frame : file.frames) {
            const OutputName& out = frame.output;
            record.plan.push_back(PlannedLine{frame.number, out.path, out.refusal});
            if (!out.refusal.empty()) {
                Fail(file.path, frame.number, out.refusalPath, out.refusal);
                clean = false;
            } else if (settings_.noClobber &&
                       FactsAt(plan.folders[file.folder].output->fd(), out.name, true).ok()) {
                record.kept.push_back(out.path);
                Note(DisplayName(out.path) + ": kept (it exists; --no-clobber)");
            } else {
                record.written.push_back(out.path);
                ++report_.framesWritten;
            }
        }
        if (!file.loopFailure.empty()) Fail(file.path, file.loopFrame, file.path, file.loopFailure);
        record.converted = clean;
        report_.filesConverted += clean;
        report_.files.push_back(std::move(record));
    }
}

void Walk::Convert(const Plan& plan, const PlannedFile& file) {
    if (file.state == PlannedFile::State::kNotData || file.state == PlannedFile::State::kUnreadable) {
        return Report(file);
    }
    ++report_.dataFiles;
    report_.files.push_back(FileRecord{file.path, static_cast<int>(file.frames.size()), {}, {}, {}, false});
    if (Status loaded = control_.LoadFile(file.path); !loaded.ok()) {
        Fail(file.path, kNoFrame, file.path, "cannot load: " + loaded.message());
        return;
    }
    Pause();
    const int asked = askKind_();
    const ExportKindInfo* kind = FindExportKind(asked);
    if (!kind) {
        Fail(file.path, kNoFrame, file.path, BadKindCause(asked));
        return;
    }
    OutputNamer namer(plan.folders[file.folder].place, names_->converted, settings_.pattern.get(), file.path,
                      kind->extension, kind->shortName);
    Outcome outcome = Outcome::kDone;
    for (std::size_t f = 0; f < file.frames.size(); ++f) {
        WaitScope frameWait(observer_);
        const std::int16_t w = control_.GetFrameNumber();
        if (StopRequested()) {
            if (f == 0) report_.notConverted.push_back(file.path);
            else report_.stoppedIn = file.path;
            return;
        }
        if (w != file.frames[f].number) {
            Fail(file.path, w, file.path, ChangedFileCause(w, file.frames[f].number));
            return;
        }
        const Outcome frame = ConvertFrame(plan, file, *kind, namer, w);
        if (frame == Outcome::kStop) return;
        if (frame == Outcome::kFailed) outcome = frame;
        control_.NextFrame();
        Pause();
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

Walk::Outcome Walk::ConvertFrame(const Plan& plan, const PlannedFile& file, const ExportKindInfo& kind,
                                 OutputNamer& namer, std::int16_t w) {
    const std::string& path = file.path;
    const OutputName out = namer.Next(w);
    if (!out.refusal.empty()) {
        Fail(path, w, out.refusalPath, out.refusal);
        return Outcome::kFailed;
    }
    FrameImage frame;
    try {
        frame = PullFrame(control_, kind.kind);
    } catch (const StatusError& e) {
        Fail(path, w, path, e.what());
        report_.stop = BatchStop::kFrameFailed;
        return Outcome::kStop;
    }
    return Written(file, kind, w, out, kind.write(TargetFor(plan, file, out, settings_), frame), &frame);
}

Walk::Outcome Walk::Written(const PlannedFile& file, const ExportKindInfo& kind, std::int16_t w,
                            const OutputName& out, const Status& written, const FrameImage* frame) {
    if (!written.ok() && written.kind() == ErrorKind::kExists && settings_.noClobber) {
        report_.files.back().kept.push_back(out.path);
        Note(DisplayName(out.path) + ": kept (it exists; --no-clobber)");
        return Outcome::kDone;
    }
    if (!written.ok()) return WriteFailed(file.path, w, out.path, kind, written.error());
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
