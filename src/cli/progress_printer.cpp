#include "cli/progress_printer.h"

namespace qf {

void ProgressPrinter::Redraw() {
    if (!live_) return;
    std::string name = file_.substr(file_.rfind('/') + 1);
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

std::string Summary(const BatchReport& r) {
    auto plural = [](long n, const char* word) {
        return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
    };
    return plural(r.dataFiles, "data file") + ", " + std::to_string(r.filesConverted) +
           " converted, " + plural(r.framesWritten, "frame") + " written, " +
           plural(static_cast<long>(r.failures.size()), "failure");
}

}  // namespace qf
