// The run as JSON (--report), for scripts that would otherwise parse the lines on
// stderr. docs/report.md describes every field.
#pragma once

#include <string>
#include <vector>

#include "convert/batch_run.h"

namespace qf {

/// One PATH argument of the run and what became of it.
struct InputReport {
    std::string path;
    BatchReport report;
    std::vector<std::string> notReached;  ///< later inputs a stop left
};

std::string ReportJson(const std::vector<InputReport>& inputs, int kind, bool dryRun, int exitStatus,
                       double seconds, const ExportOptions& options = {}, int inputBits = 16);

}  // namespace qf
