#include "cli/progress_printer.h"

#include <cstdio>

#include "convert/run_tally.h"
#include "platform/display_name.h"
#include "platform/file_io.h"

namespace qf {
namespace {

std::string Plural(long n, const char* word) { return std::to_string(n) + " " + word + (n == 1 ? "" : "s"); }

std::string Duration(double seconds) {
    char text[32];
    if (seconds < 60) std::snprintf(text, sizeof text, "%.0f s", seconds);
    else std::snprintf(text, sizeof text, "%d:%02d min", static_cast<int>(seconds) / 60, static_cast<int>(seconds) % 60);
    return text;
}

std::string Seconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", seconds);
    return text;
}

}  // namespace

std::string ProgressPrinter::Line(std::chrono::steady_clock::time_point now) const {
    std::string line = "[" + std::to_string(index_) + "/" + std::to_string(total_) + "] " +
                       DisplayName(file_.substr(LastSeparator(file_) + 1)) + ": frame " + std::to_string(fileDone_) + "/" +
                       std::to_string(fileFrames_);
    if (runFrames_ > 0) line += ", " + std::to_string(runDone_ * 100 / runFrames_) + "%";
    const double seconds = std::chrono::duration<double>(now - start_).count();
    if (runDone_ > 0 && seconds > 0.5) {
        const double rate = static_cast<double>(runDone_) / seconds;
        char text[32];
        std::snprintf(text, sizeof text, ", %.0f frames/s", rate);
        line += text;
        if (runFrames_ > runDone_) line += ", " + Duration(static_cast<double>(runFrames_ - runDone_) / rate) + " left";
    }
    return line;
}

void ProgressPrinter::Redraw(bool force) {
    if (!live_) return;
    const auto now = std::chrono::steady_clock::now();
    // A fast run would spend its time drawing: ten lines a second are plenty.
    if (!force && now - lastDraw_ < std::chrono::milliseconds(100)) return;
    lastDraw_ = now;
    err_ << "\r\033[K" << Line(now) << std::flush;
    lineShown_ = true;
}

void ProgressPrinter::Finish() {
    if (lineShown_) err_ << "\r\033[K" << std::flush;
    lineShown_ = false;
}

void ProgressPrinter::Planned(int files, long frames) {
    runFrames_ += frames;
    total_ = files;
    if (start_ == std::chrono::steady_clock::time_point{}) start_ = std::chrono::steady_clock::now();
}

void ProgressPrinter::FileStarted(const std::string& path, int index, int total) {
    file_ = path;
    index_ = index;
    total_ = total;
    fileDone_ = 0;
    fileFrames_ = 0;
}

void ProgressPrinter::FileFrames(int frames) {
    fileFrames_ = frames;
    Redraw(true);
}

void ProgressPrinter::FrameWritten(const std::string&) {
    ++fileDone_;
    ++runDone_;
    Redraw(false);
}

void ProgressPrinter::Failed(const BatchFailure& failure) {
    Finish();
    err_ << "quillfen-cli: " << failure.Line() << "\n";
    Redraw(true);
}

void ProgressPrinter::Noted(const std::string& line) {
    Finish();
    err_ << "quillfen-cli: note: " << line << "\n";
    Redraw(true);
}

std::string Summary(const BatchReport& r, const SummaryContext& context) {
    const RunTally tally = TallyRun(r);
    std::string line = std::to_string(tally.framesWritten) + " of " + Plural(tally.framesPlanned, "frame") +
                       (r.dryRun ? " to write" : " written");
    if (!r.dryRun) line += " in " + Seconds(r.seconds);
    if (tally.framesKept > 0) line += ", " + std::to_string(tally.framesKept) + " kept";
    line += "; " + Plural(tally.complete, "data file") + " complete, " + std::to_string(tally.partial) + " partial, " +
            std::to_string(tally.failed) + " failed; " + Plural(static_cast<long>(r.failures.size()), "failure");
    if (r.stop == BatchStop::kInterrupted) line += "; interrupted";
    else if (r.stop != BatchStop::kNone && r.stop != BatchStop::kFolderUnreadable) line += "; stopped: " + StopReason(r.stop);
    if (tally.notReached > 0) line += "; " + Plural(tally.notReached, "data file") + " not converted";
    if (tally.framesWritten > 0 || tally.framesKept > 0) {
        line += context.outputDir.empty() ? "; outputs beside the data files"
                                          : "; outputs in " + DisplayName(context.outputDir);
    }
    if (r.dryRun) line += " (dry run: nothing written)";
    return line;
}

std::string SummaryLine(const BatchReport& report, const SummaryContext& context) {
    if (!FoundNoDataFiles(report)) return DisplayName(context.input) + ": " + Summary(report, context);
    std::string line = "no data files in " + DisplayName(context.input);
    if (context.inSubfolders > 0) {
        line += "; " + Plural(context.inSubfolders, "data file") + " in subfolders (use --recursive)";
    }
    return line;
}

}  // namespace qf
