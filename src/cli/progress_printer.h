// What quillfen-cli shows while a folder converts: a live line on a terminal, one line
// per failure, a summary at the end.
#pragma once

#include <ostream>

#include "convert/batch_run.h"

namespace qf {

class ProgressPrinter : public BatchObserver {
public:
    /// `live`: redraw one status line (a terminal); `quiet`: failures only.
    ProgressPrinter(std::ostream& err, bool live, bool quiet) : err_(err), live_(live && !quiet) {}

    void FileStarted(const std::string& path, int index, int total) override;
    void FrameWritten(const std::string& output) override;
    void Failed(const BatchFailure& failure) override;
    void Noted(const std::string& line) override;
    /// Clears the live line, if one is shown.
    void Finish();

private:
    void Redraw();

    std::ostream& err_;
    bool live_;
    bool lineShown_ = false;
    std::string file_;
    int index_ = 0, total_ = 0;
    long frames_ = 0;
};

/// "3 data files, 2 converted, 40 frames written, 1 failure", and how a stop ended it.
std::string Summary(const BatchReport& report);

}  // namespace qf
