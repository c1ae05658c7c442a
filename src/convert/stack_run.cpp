// --stack: each data file becomes one multi-page TIFF, its frames the pages in frame
// order, written by the walk itself one frame at a time (so one frame in memory).
#include <algorithm>

#include "convert/frame_pull.h"
#include "convert/walk.h"
#include "export/tiff_stack.h"
#include "platform/display_name.h"
#include "platform/file_io.h"
#include "platform/status_error.h"

namespace qf {
namespace {

// The namer's "not written: its name ... is taken by ..." said of the whole stack.
std::string StackRefusal(const std::string& refusal) { return "stack " + refusal; }

}  // namespace

void Walk::DryRunStack(const Plan& plan) {
    report_.dryRun = true;
    for (const PlannedFile& file : plan.files) {
        if (!file.inShard) continue;
        if (file.state != PlannedFile::State::kData) {
            report_.dataFiles += IsDataFile(file);
            Report(file);
            continue;
        }
        StartRecord(file);
        FileRecord& record = report_.files.back();
        const Folders folder = EnterFolder(file, false);
        if (!folder) continue;
        if (file.noSampleFrames > 0) {
            Fail(file.path, NoSamplesFrame(file), file.path, NoSamplesCause(file));
            continue;
        }
        const int pages = SelectedFrames(file);
        const auto first = std::find_if(file.frames.begin(), file.frames.end(), [](const PlannedFrame& f) { return f.selected; });
        bool clean = file.loopFailure.empty();
        if (first != file.frames.end()) {
            const OutputName& out = first->output;
            PlannedLine line{first->number, out.path, out.refusal.empty() ? "" : StackRefusal(out.refusal)};
            line.pages = pages;
            record.plan.push_back(line);
            const int outputFd = folder.output->fd();
            const Status checked = !out.refusal.empty() || outputFd < 0
                                       ? Status::Ok()
                                       : CheckOutputTarget(TargetFor(outputFd, out, settings_));
            if (!out.refusal.empty()) {
                Fail(file.path, kNoFrame, out.refusalPath, StackRefusal(out.refusal));
                clean = false;
            } else if (!checked.ok() && checked.kind() == ErrorKind::kExists && settings_.noClobber) {
                record.kept.push_back(out.path);
                Kept(out.path);
            } else if (!checked.ok()) {
                clean = false;
                if (WriteFailed(file.path, first->number, out.path, *plannedKind_, checked.error()) == Outcome::kStop) {
                    return;
                }
            } else {
                record.written.push_back(out.path);
                report_.framesWritten += pages;
            }
        }
        if (!file.loopFailure.empty()) Fail(file.path, file.loopFrame, file.path, file.loopFailure);
        record.converted = clean;
        report_.filesConverted += clean;
    }
}

void Walk::ConvertStack(int outputFd, const PlannedFile& file, const ExportKindInfo& kind, OutputNamer& namer) {
    const auto first = std::find_if(file.frames.begin(), file.frames.end(), [](const PlannedFrame& f) { return f.selected; });
    if (first == file.frames.end()) return EndFile(file, Outcome::kDone);
    namer.NameStack();
    for (auto f = file.frames.begin(); f != first; ++f) namer.Skip(f->number);
    const OutputName out = namer.Next(first->number);
    if (!out.refusal.empty()) {
        Fail(file.path, kNoFrame, out.refusalPath, StackRefusal(out.refusal));
        return EndFile(file, Outcome::kFailed);
    }
    const int other = OtherTiffKindAt(outputFd, out, kind);
    const auto pages = static_cast<std::uint32_t>(SelectedFrames(file));
    // Destroyed unfinished (a stop, a failure), it removes its temporary: no part of a
    // stack is ever in place.
    TiffStackWriter stack(TargetFor(outputFd, out, settings_), kind.kind, pages, settings_.exportOptions);
    for (std::size_t f = 0; f < file.frames.size(); ++f) {
        WaitScope frameWait(observer_);
        const std::int16_t w = control_.GetFrameNumber();
        if (StopRequested()) {
            report_.notConverted.push_back(file.path);
            return;
        }
        if (w != file.frames[f].number) {
            Fail(file.path, w, file.path, ChangedFileCause(w, file.frames[f].number));
            return;
        }
        if (!file.frames[f].selected) {
            control_.NextFrame();
            Pause();
            continue;
        }
        FrameImage frame;
        try {
            frame = PullFrame(control_, kind.kind, settings_.inputBits);
        } catch (const StatusError& e) {
            Fail(file.path, w, file.path, e.what());
            report_.stop = BatchStop::kFrameFailed;
            return;
        }
        CountOverRange(file, kind, frame.overRange);
        if (Status page = stack.AddPage(frame); !page.ok()) {
            if (page.kind() == ErrorKind::kExists && settings_.noClobber) {  // found at the first page
                report_.files.back().kept.push_back(out.path);
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
        Pause();
    }
    const Status finished = stack.Finish();
    if (!finished.ok()) {
        if (WriteFailed(file.path, first->number, out.path, kind, finished.error()) != Outcome::kStop) {
            EndFile(file, Outcome::kFailed);
        }
        return;
    }
    report_.files.back().written.push_back(out.path);
    report_.framesWritten += pages;
    if (other >= 0) CountOtherKind(file, static_cast<ExportKind>(other), out.path, false);
    EndFile(file, Outcome::kDone);
}

}  // namespace qf
