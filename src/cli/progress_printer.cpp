#include "cli/progress_printer.h"

#include <cstdio>
#include <cstdlib>

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

// Columns a UTF-8 text takes (one per character; control bytes are quoted already).
std::size_t Columns(const std::string& text) {
    std::size_t n = 0;
    for (unsigned char c : text) n += (c & 0xC0) != 0x80;
    return n;
}

// The first `columns` characters of `text`, or its last ones with `fromEnd`.
std::string Cut(const std::string& text, std::size_t columns, bool fromEnd) {
    const std::size_t total = Columns(text);
    if (total <= columns) return text;
    std::size_t skip = fromEnd ? total - columns : 0, keep = columns, at = 0, seen = 0;
    std::string out;
    for (; at < text.size(); ++at) {
        const bool starts = (static_cast<unsigned char>(text[at]) & 0xC0) != 0x80;
        if (starts) ++seen;
        if (seen > skip && seen <= skip + keep) out += text[at];
    }
    return out;
}

// head + name + rest in fewer than `columns` columns: the name gives way first (its end
// kept, as the frame numbers of a series differ there), then the end of the line.
std::string FitLine(const std::string& head, const std::string& name, const std::string& rest, int columns) {
    std::string whole = head + name + rest;
    if (columns <= 0 || Columns(whole) < static_cast<std::size_t>(columns)) return whole;
    const std::size_t room = static_cast<std::size_t>(columns) - 1;
    const std::size_t fixed = Columns(head) + Columns(rest);
    constexpr std::size_t kShortestName = 8;  // "..." and a few characters still tell the file
    if (fixed + kShortestName <= room) return head + "..." + Cut(name, room - fixed - 3, true) + rest;
    return Cut(head + "..." + Cut(name, kShortestName - 3, true) + rest, room, false);
}

std::string Seconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", seconds);
    return text;
}

int TerminalColumns() {
    if (const int columns = StandardErrorColumns(); columns > 0) return columns;
    if (const char* text = std::getenv("COLUMNS")) {
        if (const int columns = std::atoi(text); columns > 0) return columns;
    }
    return 80;
}

}  // namespace

std::string ProgressPrinter::Line(std::chrono::steady_clock::time_point now, int columns) const {
    const std::string head = "[" + std::to_string(index_) + "/" + std::to_string(total_) + "] ";
    const std::string name = DisplayName(file_.substr(LastSeparator(file_) + 1));
    std::string rest = ": frame " + std::to_string(fileDone_) + "/" + std::to_string(fileFrames_);
    if (progress_.framesPlanned() > 0) rest += ", " + std::to_string(static_cast<int>(progress_.Fraction() * 100)) + "%";
    const double seconds = std::chrono::duration<double>(now - start_).count();
    // Half a second in, the rate means something.
    const std::optional<double> rate = seconds > 0.5 ? progress_.FramesPerSecond(seconds) : std::nullopt;
    if (rate) {
        char text[32];
        std::snprintf(text, sizeof text, ", %.0f frames/s", *rate);
        rest += text;
        const std::optional<double> left = progress_.SecondsLeft(seconds);
        if (progress_.framesPlanned() > progress_.framesDone() && left) rest += ", " + Duration(*left) + " left";
    }
    return FitLine(head, name, rest, columns);
}

void ProgressPrinter::Redraw(bool force) {
    if (!live_ || index_ == 0) return;  // nothing to show before the first data file
    const auto now = std::chrono::steady_clock::now();
    // A fast run would spend its time drawing: ten lines a second are plenty.
    if (!force && now - lastDraw_ < std::chrono::milliseconds(100)) return;
    lastDraw_ = now;
    err_ << "\r\033[K" << Line(now, columns_ ? columns_() : TerminalColumns()) << std::flush;
    lineShown_ = true;
}

void ProgressPrinter::Finish() {
    if (lineShown_) err_ << "\r\033[K" << std::flush;
    lineShown_ = false;
}

void ProgressPrinter::Planned(int files, long frames) {
    progress_.Planned(frames, 0);
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
    progress_.FileFrameSize(0);
    Redraw(true);
}

void ProgressPrinter::PlannedPixels(std::uint64_t pixels) { progress_.Planned(0, pixels); }

void ProgressPrinter::FileFramePixels(std::uint64_t pixels) { progress_.FileFrameSize(pixels); }

void ProgressPrinter::FrameWritten(const std::string&) {
    ++fileDone_;
    progress_.FrameDone();
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
