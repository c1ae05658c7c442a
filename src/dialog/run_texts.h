// What the dialog says about a run that ended: the status line, the message box of a run
// with failures or a stop, and the whole report as lines.
#pragma once

#include <QCoreApplication>
#include <QString>
#include <QStringList>
#include <optional>

#include "convert/batch_run.h"

namespace qf {

class RunTexts {
    Q_DECLARE_TR_FUNCTIONS(RunTexts)
public:
    /// The message box lists at most this many failures; "Show Report" has them all.
    static constexpr int kMaxListedFailures = 20;

    /// One line for the window: "Converted 12 files, 3,600 frames in 2.1 s", "Stopped: 140
    /// of 300 frames written" (the "of" part when `plannedFrames` is known), or the
    /// failures counted.
    static QString StatusLine(const BatchReport& report, double seconds,
                              std::optional<long> plannedFrames = std::nullopt);
    /// For a run that found no data file in `folder`: "No data files in day1", and how
    /// many its subfolders hold when that is more than none: "... (24 in subfolders)".
    static QString NoDataFiles(const QString& folder, int inSubfolders);
    /// The message for a run that stopped or had failures; empty for a clean run. After a
    /// stop it names the data files not converted (at most kMaxListedFailures of them).
    static QString FailureMessage(const BatchReport& report);
    /// Everything the run said: how it ended, every failure, every note, the data files
    /// not converted.
    static QStringList ReportLines(const BatchReport& report);

private:
    static QString Files(long n);
    static QString DataFiles(long n);
    static QString Frames(long n);
    static QString Failures(long n);
    /// "691 of 705 frames written; 12 files complete, 2 partial, 0 failed"
    static QString Tally(const BatchReport& report);
};

/// The message for a run that stopped or had failures; empty for a clean run.
inline QString FailureMessage(const BatchReport& report) { return RunTexts::FailureMessage(report); }

}  // namespace qf
