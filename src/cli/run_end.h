// How a run of `convert` ends, shared with `report merge`, which must end as one run over
// the whole folder would: the exit status, the summary lines, the report file.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "convert/batch_run.h"

namespace qf {

/// The exit status for one input's report: 0 clean, 1 failures, 2 an unreadable folder,
/// 42 a TIFF that could not be created.
int ExitStatusFor(const BatchReport& report);

/// One summary line for the run: the input's, or with several inputs one for them all (and
/// a line for each input that held no data files).
void PrintSummary(const std::vector<std::string>& paths, const RunOptions& options, const std::vector<BatchReport>& done,
                  std::ostream& err);

/// `path`'s name holds ".orx" but does not end in it (scan1.orx.json): when it is no ORX
/// file, a sidecar kept beside the data rather than a data file that failed.
bool NamedLikeASidecar(const std::string& path);

/// The note for `count` files named like sidecars that could not be loaded, the first of
/// them named `example`: how to pass such files over.
std::string SidecarNote(std::size_t count, const std::string& example);

/// What the hint after a summary may suggest besides the run's own report.
struct HintContext {
    std::string namePattern;  ///< --name-pattern, "" for none
    bool salvage = false;     ///< --salvage was given
    bool recursive = false;   ///< --recursive was given (--mirror parts its subfolders only)
};

/// The one line of advice that would have saved the most of what `all` lost ("" for none):
/// frames whose names were taken (--name-pattern, or --mirror when the names came from
/// another folder) or data files cut off inside a frame (--salvage).
std::string RunHint(const BatchReport& all, const HintContext& context);

/// The hint line for `all`, when there is one.
void PrintHint(const BatchReport& all, const HintContext& context, std::ostream& err);

/// Writes `json` to `report` ("-": to `out`); returns `status`, or 1 when it could not be
/// written (the line says why on `err`).
int WriteReport(const std::string& report, bool sync, const std::string& json, int status, std::ostream& out,
                std::ostream& err);

}  // namespace qf
