#include "present/run_watch.h"

#include <algorithm>

#include "convert/cut_off_files.h"
#include "convert/run_tally.h"
#include "present/run_texts.h"
#include "present/watch_texts.h"
#include "present/words.h"

namespace qf::present {
namespace {

bool SameLook(const WatchStanding& a, const WatchStanding& b) {
    const auto same = [](const BeingWritten& x, const BeingWritten& y) {
        return x.path == y.path && x.step.completeFrames == y.step.completeFrames &&
               x.step.headerFrames == y.step.headerFrames;
    };
    return a.converted == b.converted &&
           std::equal(a.beingWritten.begin(), a.beingWritten.end(), b.beingWritten.begin(), b.beingWritten.end(), same);
}

// While the watch waits, the bar is the first file being written; full when none is.
double WatchFraction(const WatchStanding& standing) {
    if (standing.beingWritten.empty()) return 1.0;
    const WatchStep& step = standing.beingWritten.front().step;
    return step.headerFrames > 0 ? double(step.completeFrames) / double(step.headerFrames) : 0.0;
}

std::string PlanningLine(int found) {
    if (found == 1) return Words(QT_TRANSLATE_NOOP("qf::present", "Planning: 1 data file found"));
    return Words(QT_TRANSLATE_NOOP("qf::present", "Planning: %1 data files found"), {Grouped(found)});
}

// A file cut off inside a frame (an aborted acquisition) has complete frames to save.
std::string SalvageHint(const BatchReport& report) {
    const Salvageable cut = SalvageableIn(report);
    if (cut.files <= 0) return {};
    const std::string files = cut.files == 1 ? Words(QT_TRANSLATE_NOOP("qf::present", "1 data file ends"))
                                             : Words(QT_TRANSLATE_NOOP("qf::present", "%1 data files end"), {Grouped(cut.files)});
    return Words(QT_TRANSLATE_NOOP("qf::present", "%1 inside a frame (cut off): with \"Convert the complete frames of "
                                                  "cut-off files\" in Output Options their complete frames are converted."),
                 {files});
}

}  // namespace

void EndByException(BatchReport& report, const std::string& folder, const char* what) {
    report.failures.push_back(
        BatchFailure{folder, kNoFrame, folder, std::string("run stopped: ") + (what ? what : "unknown failure")});
    report.stop = BatchStop::kFrameFailed;
}

RunWatch::RunWatch(std::string folder, const RunOptions& options, Hooks hooks)
    : folder_(std::move(folder)), options_(options), hooks_(std::move(hooks)),
      started_(hooks_.clock ? hooks_.clock() : std::chrono::steady_clock::now()) {}

double RunWatch::Seconds() const {
    const auto now = hooks_.clock ? hooks_.clock() : std::chrono::steady_clock::now();
    return std::chrono::duration<double>(now - started_).count();
}

template <typename F>
void RunWatch::Change(RunChange change, F&& f) {
    {
        std::lock_guard lock(mutex_);
        f(state_);
    }
    Tell(change);
}

void RunWatch::Tell(RunChange change) {
    if (!hooks_.wake) return;
    // Told after the change and cleared by Snapshot before it reads: a change is never missed.
    if (change == RunChange::kProgress && progressTold_.exchange(true)) return;
    hooks_.wake(change);
}

RunSnapshot RunWatch::Snapshot() const {
    const double seconds = Seconds();
    RunSnapshot s;
    RunPhase activity;
    bool stopping;
    std::optional<WatchStanding> look;
    {
        std::lock_guard lock(mutex_);
        progressTold_.store(false);
        s = state_;
        activity = activity_;
        stopping = stopping_;
        look = look_;
    }
    if (s.phase == RunPhase::kEnded) {
        s.strip = s.line;
        return s;
    }
    s.phase = stopping ? RunPhase::kStopping : activity;
    s.fraction = activity == RunPhase::kWatching && look ? WatchFraction(*look) : s.progress.Fraction();
    switch (s.phase) {
        case RunPhase::kReading: s.line = Words(QT_TRANSLATE_NOOP("qf::present", "Reading the folder...")); break;
        case RunPhase::kPlanning: s.line = PlanningLine(s.planningFound); break;
        case RunPhase::kConverting:
            s.line = StripLine(s.filePath, s.fileIndex, s.fileTotal, s.fileFrames, s.filePlanned);
            // The pace and the time left follow the pixels done: a large frame is more work.
            if (const std::optional<double> rate = s.progress.FramesPerSecond(seconds)) {
                s.pace = RateText(*rate, s.progress.SecondsLeft(seconds));
            }
            break;
        case RunPhase::kWatching: s.line = look ? WatchLine(FolderName(folder_), *look) : std::string(); break;
        case RunPhase::kStopping: s.line = Words(QT_TRANSLATE_NOOP("qf::present", "Stopping after the current frame...")); break;
        case RunPhase::kEnded: break;
    }
    s.strip = s.pace.empty() ? s.line : s.line + " \u00b7 " + s.pace;
    return s;
}

std::optional<RunPicture> RunWatch::Picture() const {
    std::lock_guard lock(mutex_);
    return state_.picture;
}

std::optional<WatchStanding> RunWatch::Look() const {
    std::lock_guard lock(mutex_);
    return look_;
}

void RunWatch::Stopping() {
    std::lock_guard lock(mutex_);
    stopping_ = true;
}

void RunWatch::Finish(const BatchReport& report) noexcept {
    long planned = 0;
    double fraction = 0;
    {
        std::lock_guard lock(mutex_);
        planned = state_.progress.framesPlanned();
        fraction = state_.progress.Fraction();
    }
    RunState state = report.stop == BatchStop::kInterrupted ? RunState::kStopped
                     : report.clean()                       ? RunState::kClean
                                                            : RunState::kFailures;
    const bool noDataFiles = FoundNoDataFiles(report);
    if (noDataFiles && state == RunState::kClean) state = RunState::kFailures;  // most often the wrong folder
    if (noDataFiles || report.stop == BatchStop::kNone) fraction = 1;
    std::string line, message;
    std::vector<std::string> lines;
    try {
        ShowKept();
        // With subfolders converted there are none deeper to point to.
        if (noDataFiles) line = NoDataFiles(folder_, options_.recursive ? 0 : DataFilesInSubfolders(folder_, options_.onlyOrx));
        else line = StatusLine(report, Seconds(), planned > 0 ? std::optional<long>(planned) : std::nullopt);
        message = FailureMessage(report);
        if (!message.empty() && !options_.salvage) {
            if (const std::string hint = SalvageHint(report); !hint.empty()) message += "\n\n" + hint;
        }
        lines = ReportLines(report);
    } catch (...) {
        // Out of words (memory, a folder gone): the end is told all the same, or the window
        // would wait for it.
    }
    Change(RunChange::kEnd, [&](RunSnapshot& s) {
        s.phase = RunPhase::kEnded;
        s.state = state;
        s.line = std::move(line);
        s.pace.clear();
        s.fraction = fraction;
        s.failures = static_cast<int>(report.failures.size());
        s.framesWritten = report.framesWritten;
        s.endMessage = std::move(message);
        s.reportLines = std::move(lines);
    });
}

void RunWatch::Planning(int found) {
    Change(RunChange::kProgress, [&](RunSnapshot& s) {
        s.planningFound = found;
        // The watch plans each new file again: its strip stays the watch's.
        if (activity_ == RunPhase::kReading) activity_ = RunPhase::kPlanning;
    });
}

void RunWatch::Planned(int, long frames) {
    Change(RunChange::kProgress, [&](RunSnapshot& s) { s.progress.Planned(frames, 0); });
}

void RunWatch::PlannedPixels(std::uint64_t pixels) {
    Change(RunChange::kProgress, [&](RunSnapshot& s) { s.progress.Planned(0, pixels); });
}

void RunWatch::FileStarted(const std::string& path, int index, int total) {
    Change(RunChange::kFile, [&](RunSnapshot& s) {
        activity_ = RunPhase::kConverting;
        s.filePath = path;
        s.fileIndex = index;
        s.fileTotal = total;
        s.fileFrames = 0;
        s.filePlanned = 0;
    });
}

void RunWatch::FileFrames(int frames) {
    Change(RunChange::kProgress, [&](RunSnapshot& s) {
        s.filePlanned = frames;
        s.progress.FileFrameSize(0);
    });
}

void RunWatch::FileFramePixels(std::uint64_t pixels) {
    std::lock_guard lock(mutex_);
    state_.progress.FileFrameSize(pixels);
}

void RunWatch::FrameWritten(const std::string&) {
    Change(RunChange::kProgress, [](RunSnapshot& s) {
        s.progress.FrameDone();
        ++s.fileFrames;
        ++s.framesWritten;
    });
}

void RunWatch::FrameShown(const FrameImage& frame, ExportKind kind) {
    if (pacer_.Offer(hooks_.clock ? hooks_.clock() : ViewPacer::Clock::now())) {
        Show(MakeFramePixels(frame, kind, options_.inputBits));
    } else {
        // It may be the run's last: copied now, as the frame is the caller's.
        CopyFrame(frame, kept_);
        keptKind_ = kind;
    }
}

void RunWatch::Failed(const BatchFailure&) {
    Change(RunChange::kProgress, [](RunSnapshot& s) { ++s.failures; });
}

void RunWatch::Looked(const WatchStanding& standing) {
    ShowKept();  // the run before the watch, or its last conversion, is over
    // A look a second would otherwise wake the window whatever changed.
    if (toldLook_ && SameLook(*toldLook_, standing)) return;
    toldLook_ = standing;
    Change(RunChange::kLook, [&](RunSnapshot&) {
        activity_ = RunPhase::kWatching;
        look_ = standing;
    });
}

void RunWatch::FileDone(const std::string&, const BatchReport&) {
    ShowKept();
    toldLook_.reset();  // the next look is told again: its count has changed
}

void RunWatch::ShowKept() {
    if (pacer_.Finish()) Show(MakeFramePixels(kept_, keptKind_, options_.inputBits));
}

void RunWatch::Show(FramePixels pixels) {
    RunPicture picture;
    picture.row = PlotProfile(pixels.row, pixels.kind, options_.inputBits);
    picture.column = PlotProfile(pixels.column, pixels.kind, options_.inputBits);
    picture.pixels = std::make_shared<const FramePixels>(std::move(pixels));
    Change(RunChange::kPicture, [&](RunSnapshot& s) {
        picture.fileFrames = s.fileFrames;
        picture.runFrames = s.framesWritten;
        picture.number = s.picture ? s.picture->number + 1 : 1;
        s.picture = std::move(picture);
    });
}

}  // namespace qf::present
