// What quillfen-cli shows while it converts: a live line on a terminal (file i of n,
// frame j of m, overall percent, frames per second, time left), one line per failure or
// note, a summary at the end.
#pragma once

#include <chrono>
#include <functional>
#include <ostream>

#include "cli/cli_app.h"
#include "convert/batch_run.h"
#include "convert/run_progress.h"

namespace qf {

class ProgressPrinter : public BatchObserver {
public:
    /// `live`: redraw one status line (a terminal); `quiet`: failures only.
    ProgressPrinter(std::ostream& err, bool live, bool quiet) : err_(err), live_(live && !quiet) {}

    void Planned(int files, long frames) override;
    void FileStarted(const std::string& path, int index, int total) override;
    void FileFrames(int frames) override;
    void PlannedPixels(std::uint64_t pixels) override;
    void FileFramePixels(std::uint64_t pixels) override;
    void FrameWritten(const std::string& output) override;
    void Failed(const BatchFailure& failure) override;
    void Noted(const std::string& line) override;
    bool ShowsFrames() const override { return false; }
    /// Clears the live line, if one is shown.
    void Finish();

    /// The live line as it stands, e.g. "[2/12] scan3.orx: frame 14/300, 35%, 812 frames/s, 4 s left";
    /// the percent and the time left count the pixels of the frames, not the frames.
    /// With `columns` > 0 it fits in that many columns less one, so that it never wraps.
    std::string Line(std::chrono::steady_clock::time_point now, int columns = 0) const;
    /// Where the width of the terminal comes from (tests set their own); by default the
    /// terminal's, else the COLUMNS variable, else 80.
    void SetColumns(std::function<int()> columns) { columns_ = std::move(columns); }

private:
    void Redraw(bool force);

    std::ostream& err_;
    bool live_;
    bool lineShown_ = false;
    std::string file_;
    int index_ = 0, total_ = 0;
    int fileFrames_ = 0, fileDone_ = 0;
    RunProgress progress_;
    std::function<int()> columns_;
    std::chrono::steady_clock::time_point start_{}, lastDraw_{};
};

/// The progress printer, with the tests' hook after each output.
class HookedPrinter : public ProgressPrinter {
public:
    HookedPrinter(std::ostream& err, bool live, bool quiet, const CliHooks* hooks)
        : ProgressPrinter(err, live, quiet), hooks_(hooks) {}
    void FrameWritten(const std::string& output) override {
        ProgressPrinter::FrameWritten(output);
        if (hooks_ && hooks_->frameWritten) hooks_->frameWritten(output);
    }

private:
    const CliHooks* hooks_;
};

/// What a summary says besides the report's own counts.
struct SummaryContext {
    std::string input;       ///< the folder or file as the user named it
    std::string outputDir;   ///< --output-dir, "" for beside the data files
    int inSubfolders = 0;    ///< data files in subfolders not converted (no --recursive)
};

/// "691 of 705 frames written in 3.1 s; 12 data files complete, 2 partial, 0 failed;
/// 14 failures; outputs in out", and how a stop ended it.
std::string Summary(const BatchReport& report, const SummaryContext& context = {});

/// The summary line after "quillfen-cli: ": "PATH: " and the summary, or, for a folder
/// without data files, "no data files in PATH" and how many its subfolders hold.
std::string SummaryLine(const BatchReport& report, const SummaryContext& context);

}  // namespace qf
