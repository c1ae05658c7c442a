// The run as JSON (--report), for scripts that would otherwise parse the lines on
// stderr. docs/report.md describes every field.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "cli/convert_command.h"
#include "convert/batch_run.h"
#include "platform/result.h"

namespace qf {

/// One PATH argument of the run and what became of it.
struct InputReport {
    std::string path;
    BatchReport report;
    std::vector<std::string> notReached;  ///< later inputs a stop left
};

/// The report of a run with options `o` that ended with `exitStatus`.
std::string ReportJson(const std::vector<InputReport>& inputs, const ConvertOptions& o, int exitStatus,
                       double seconds);

/// A report as read back: what `report merge` needs of it.
struct ReadReport {
    std::vector<InputReport> inputs;  ///< the failures of each file carry its path as dataFile
    std::vector<std::string> paths;   ///< the inputs' paths, as given
    std::string version;
    /// Every other choice that shapes the plan, each as its JSON text, by field name.
    std::map<std::string, std::string> choices;
    int part = 1, parts = 1;  ///< the shard; 0 of 0 for a merged report
    bool dryRun = false;
    /// The choices a summary and its hint read: output folder, subfolders, pattern, salvage, only-orx.
    RunOptions options;
    int exitStatus = 0;
    double seconds = 0;
    std::string text;  ///< the report as written
};

/// Reads a report that ReportJson wrote; the reason when `text` is none.
Result<ReadReport> ReadReportJson(const std::string& text);

/// The report of parts merged into `inputs`: the choices of `like` (one of the parts), no shard, no jobs.
std::string MergedReportJson(const ReadReport& like, const std::vector<InputReport>& inputs, int exitStatus,
                             double seconds);

}  // namespace qf
