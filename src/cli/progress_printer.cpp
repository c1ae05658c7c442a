#include "cli/progress_printer.h"

#include "platform/display_name.h"

namespace qf {

void ProgressPrinter::Redraw() {
    if (!live_) return;
    std::string name = DisplayName(file_.substr(file_.rfind('/') + 1));
    err_ << "\r\033[K[" << index_ << "/" << total_ << "] " << name << ": " << frames_
         << " frames written" << std::flush;
    lineShown_ = true;
}

void ProgressPrinter::Finish() {
    if (lineShown_) err_ << "\r\033[K" << std::flush;
    lineShown_ = false;
}

void ProgressPrinter::FileStarted(const std::string& path, int index, int total) {
    file_ = path;
    index_ = index;
    total_ = total;
    Redraw();
}

void ProgressPrinter::FrameWritten(const std::string&) {
    ++frames_;
    Redraw();
}

void ProgressPrinter::Failed(const BatchFailure& failure) {
    Finish();
    err_ << "quillfen-cli: " << failure.Line() << "\n";
    Redraw();
}

void ProgressPrinter::Noted(const std::string& line) {
    Finish();
    err_ << "quillfen-cli: note: " << line << "\n";
    Redraw();
}

std::string Summary(const BatchReport& r) {
    auto plural = [](long n, const char* word) {
        return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
    };
    std::string line = plural(r.dataFiles, "data file") + ", " + std::to_string(r.filesConverted) +
                       " converted, " + plural(r.framesWritten, "frame") + " written, " +
                       plural(static_cast<long>(r.failures.size()), "failure");
    if (r.stop == BatchStop::kInterrupted) line += "; interrupted";
    else if (r.stop != BatchStop::kNone && r.stop != BatchStop::kFolderUnreadable) line += "; stopped: " + StopReason(r.stop);
    if (!r.notConverted.empty()) {
        line += "; " + plural(static_cast<long>(r.notConverted.size()), "data file") + " not converted";
    }
    return line;
}

}  // namespace qf
