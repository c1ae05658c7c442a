// What a dialog says about a run, made once for every front end as UTF-8 (through the
// translator a front end installs, see words.h), numbers grouped by thousands with commas
// ("3,600"). The Qt dialog only turns them into QStrings.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "convert/batch_run.h"

namespace qf::present {

/// The message lists at most this many failures; "Show Report" has them all.
inline constexpr int kMaxListedFailures = 20;

/// "Converted 12 files, 3,600 frames in 2.1 s", "Stopped: 140 of 300 frames written" (the
/// "of" part when `plannedFrames` is known), or the failures counted.
std::string StatusLine(const BatchReport& report, double seconds, std::optional<long> plannedFrames = std::nullopt);
/// "No data files in day1", and "(24 in subfolders)" when its subfolders hold some;
/// `folder` is named by its last component.
std::string NoDataFiles(const std::string& folder, int inSubfolders);
/// A folder as the strip names it: by its last component, quoted as `ls` quotes names.
std::string FolderName(const std::string& folder);
/// The message for a run that stopped or had failures; empty for a clean run.
std::string FailureMessage(const BatchReport& report);
/// Everything the run said: how it ended, every failure, every note, the files not converted.
std::vector<std::string> ReportLines(const BatchReport& report);
/// The strip's line during a run: "File 3 of 12: scan.orx, frame 4 of 300" (the data file by
/// its own name; no frame part before its first frame).
std::string StripLine(const std::string& path, int index, int total, int framesWritten, int framesInFile);
/// The pace of a run: "12.3 frames/s", and "12.3 frames/s, 40 s left" once the time left is known.
std::string RateText(double framesPerSecond, std::optional<double> secondsLeft);

}  // namespace qf::present
