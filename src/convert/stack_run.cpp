// --stack: each data file becomes one multi-page TIFF, its frames the pages in frame
// order, written by the walk itself one frame at a time (so one frame in memory).
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
        ++report_.dataFiles;
        const int pages = static_cast<int>(file.frames.size());
        FileRecord record{file.path, pages, {}, {}, {}, false};
        bool clean = file.loopFailure.empty();
        if (!file.frames.empty()) {
            const OutputName& out = file.frames.front().output;
            PlannedLine line{file.frames.front().number, out.path, out.refusal.empty() ? "" : StackRefusal(out.refusal)};
            line.pages = pages;
            record.plan.push_back(line);
            if (!out.refusal.empty()) {
                Fail(file.path, kNoFrame, out.refusalPath, StackRefusal(out.refusal));
                clean = false;
            } else if (settings_.noClobber && FactsAt(plan.folders[file.folder].output->fd(), out.name, true).ok()) {
                record.kept.push_back(out.path);
                Note(DisplayName(out.path) + ": kept (it exists; --no-clobber)");
            } else {
                record.written.push_back(out.path);
                report_.framesWritten += pages;
            }
        }
        if (!file.loopFailure.empty()) Fail(file.path, file.loopFrame, file.path, file.loopFailure);
        record.converted = clean;
        report_.filesConverted += clean;
        report_.files.push_back(std::move(record));
    }
}

void Walk::ConvertStack(const Plan& plan, const PlannedFile& file, const ExportKindInfo& kind, OutputNamer& namer) {
    if (file.frames.empty()) return EndFile(file, Outcome::kDone);
    namer.NameStack();
    const OutputName out = namer.Next(file.frames.front().number);
    if (!out.refusal.empty()) {
        Fail(file.path, kNoFrame, out.refusalPath, StackRefusal(out.refusal));
        return EndFile(file, Outcome::kFailed);
    }
    const auto pages = static_cast<std::uint32_t>(file.frames.size());
    // Destroyed unfinished (a stop, a failure), it removes its temporary: no part of a
    // stack is ever in place.
    TiffStackWriter stack(TargetFor(plan, file, out, settings_), kind.kind, pages, settings_.exportOptions);
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
        FrameImage frame;
        try {
            frame = PullFrame(control_, kind.kind);
        } catch (const StatusError& e) {
            Fail(file.path, w, file.path, e.what());
            report_.stop = BatchStop::kFrameFailed;
            return;
        }
        if (Status page = stack.AddPage(frame); !page.ok()) {
            if (page.kind() == ErrorKind::kExists && settings_.noClobber) {  // found at the first page
                report_.files.back().kept.push_back(out.path);
                Note(DisplayName(out.path) + ": kept (it exists; --no-clobber)");
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
        if (WriteFailed(file.path, file.frames.front().number, out.path, kind, finished.error()) != Outcome::kStop) {
            EndFile(file, Outcome::kFailed);
        }
        return;
    }
    report_.files.back().written.push_back(out.path);
    report_.framesWritten += pages;
    EndFile(file, Outcome::kDone);
}

}  // namespace qf
