// --stack: each data file becomes one multi-page TIFF, its frames the pages in frame
// order, pulled by the walk itself one frame at a time on the caller's control, which the
// inline runner has just loaded with the file. With several jobs the stack's workers
// compress the pages meanwhile (a few frames in memory); the file is the same.
#include <algorithm>

#include "convert/frame_pull.h"
#include "convert/walk.h"
#include "export/page_encoder.h"
#include "export/image_output.h"
#include "platform/status_error.h"

namespace qf {

void Walk::ConvertStack(const PlannedFile& file, const Job& job) {
    const ExportKindInfo& kind = *job.kind;
    const OutputName& out = job.out;
    if (!out.refusal.empty()) {
        Fail(file.path, kNoFrame, out.refusalPath, (out.nameTaken ? "stack " : "stack: ") + out.refusal,
             out.nameTaken ? FailureKind::kNameTaken : FailureKind::kOther, out.takenFromElsewhere);
        return EndFile(file, Outcome::kFailed);
    }
    const int outputFd = job.output->fd();
    std::string unread;
    const int other = OtherTiffKindAt(outputFd, out, kind, file.framePixels, &unread);
    SayKindUnread(out.path, unread);
    const auto pages = static_cast<std::uint32_t>(SelectedFrames(file));
    // Destroyed unfinished (a stop, a failure), it removes its temporary: no part of a
    // stack is ever in place.
    ExportOptions options = settings_.exportOptions;
    options.significantBits = settings_.inputBits;
    const std::unique_ptr<ImageOutput> output = OpenImageOutput(TargetFor(outputFd, out, settings_), kind, pages, options);
    ImageOutput& stack = *output;
    const int jobs = std::max(stackJobs_, 1);
    stack.EncodeWith(jobs);
    if (EncodedInWorkers(options.compression)) report_->jobs = std::max(report_->jobs, jobs);
    for (std::size_t f = 0; f < file.frames.size(); ++f) {
        const std::int16_t w = control_.GetFrameNumber();
        if (StopRequested()) {
            report_->stoppedIn = file.path;  // no page of it is kept: it counts as not converted, once
            return;
        }
        if (w != file.frames[f].number) {
            return Fail(file.path, w, file.path, ChangedFileCause(w, file.frames[f].number));
        }
        if (!file.frames[f].selected) {
            control_.NextFrame();
            SettlePause(settings_, settle_);
            continue;
        }
        FrameImage frame;
        try {
            frame = PullFrame(control_, kind.kind, settings_.inputBits);
        } catch (const StatusError& e) {
            Fail(file.path, w, file.path, e.what());
            report_->stop = BatchStop::kFrameFailed;
            return;
        }
        CountOverRange(file, kind, frame.overRange);
        if (Status page = stack.AddPage(frame); !page.ok()) {
            if (page.kind() == ErrorKind::kExists && settings_.noClobber) {  // found at the first page
                report_->files.back().kept.push_back(out.path);
                Kept(out.path);
                if (other >= 0) CountOtherKind(file, static_cast<ExportKind>(other), out.path, true);
                return EndFile(file, Outcome::kDone);
            }
            if (WriteFailed(file.path, w, out.path, kind, page.error()) != Outcome::kStop) EndFile(file, Outcome::kFailed);
            return;
        }
        observer_.FrameWritten(out.path);
        observer_.FrameShown(frame, kind.kind);
        control_.NextFrame();
        SettlePause(settings_, settle_);
    }
    FinishStack(file, job, stack, pages, other);
}

// Every page is in: the stack takes its name, or the failure is told.
void Walk::FinishStack(const PlannedFile& file, const Job& job, ImageOutput& stack, std::uint32_t pages, int other) {
    const OutputName& out = job.out;
    const Status finished = stack.Finish();
    if (!finished.ok()) {
        if (WriteFailed(file.path, file.frames[job.step].number, out.path, *job.kind, finished.error()) != Outcome::kStop) {
            EndFile(file, Outcome::kFailed);
        }
        return;
    }
    report_->files.back().written.push_back(out.path);
    report_->framesWritten += pages;
    if (other >= 0) CountOtherKind(file, static_cast<ExportKind>(other), out.path, false);
    EndFile(file, Outcome::kDone);
}

}  // namespace qf
