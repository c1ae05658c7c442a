// `quillfen-cli report merge`: the reports of the parts of one run (`convert --shard K/N`,
// K from 1 to N) as the report and summary of one run over the whole plan.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace qf {

struct MergeOptions {
    std::vector<std::string> parts;  ///< the parts' JSON reports
    std::string report;              ///< the merged report's file, "-" for standard output, "" for none
};

/// Adds `report merge` to `app`; its options land in `options`. Returns the `report` command.
CLI::App* AddReportCommand(CLI::App& app, MergeOptions& options);

/// Prints the one-run summary of the parts on `err` and returns the exit status one run
/// would have had; 2, with one line that says why, for parts that are not 1..N of one plan.
int RunReportMerge(const MergeOptions& options, std::ostream& out, std::ostream& err);

}  // namespace qf
