#include "cli/report_merge.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <deque>
#include <map>

#include "cli/cli_app.h"
#include "cli/json_report.h"
#include "cli/run_end.h"
#include "convert/run_tally.h"
#include "platform/display_name.h"
#include "platform/file_io.h"

namespace qf {
namespace {

struct Part {
    std::string file;
    ReadReport report;
};

std::string Joined(const std::vector<std::string>& words) {
    std::string text;
    for (const std::string& word : words) text += (text.empty() ? "" : ", ") + DisplayName(word);
    return text;
}

// Why `parts` are not the parts of one plan, "" when they are. Each is compared with the
// first, so that the line can name the two files that disagree.
std::string NotOnePlan(const std::vector<Part>& parts) {
    const Part& first = parts.front();
    const auto two = [&](const Part& other) { return DisplayName(first.file) + " and " + DisplayName(other.file); };
    std::map<int, std::string> seen;
    for (const Part& part : parts) {
        const ReadReport& r = part.report;
        if (r.version != first.report.version) {
            return two(part) + " come from different versions (" + first.report.version + " and " + r.version + ")";
        }
        if (r.paths != first.report.paths) {
            return two(part) + " convert different folders (" + Joined(first.report.paths) + " and " + Joined(r.paths) + ")";
        }
        for (const auto& [field, value] : first.report.choices) {
            const auto other = r.choices.find(field);
            if (other == r.choices.end() || other->second != value) {
                std::string line = two(part);
                line.append(" differ in ").append(field).append(" (").append(value).append(" and ");
                line.append(other == r.choices.end() ? "none" : other->second).append(")");
                return line;
            }
        }
        if (r.parts == 0) return DisplayName(part.file) + " is a merged report, not a part";
        if (r.parts != first.report.parts) {
            return two(part) + " are parts of different counts (" + std::to_string(first.report.part) + "/" +
                   std::to_string(first.report.parts) + " and " + std::to_string(r.part) + "/" + std::to_string(r.parts) + ")";
        }
        if (const auto [at, fresh] = seen.emplace(r.part, part.file); !fresh) {
            return DisplayName(at->second) + " and " + DisplayName(part.file) + " are both part " +
                   std::to_string(r.part) + "/" + std::to_string(r.parts);
        }
    }
    for (int k = 1; k <= first.report.parts; ++k) {
        if (!seen.contains(k)) {
            return "part " + std::to_string(k) + "/" + std::to_string(first.report.parts) + " is missing (" +
                   std::to_string(parts.size()) + " of " + std::to_string(first.report.parts) + " parts given)";
        }
    }
    return "";
}

// One data file as a part dealt it: its record, or its name when a stop left it.
struct Dealt {
    std::size_t input = 0;
    const FileRecord* record = nullptr;
    std::string notConverted;
};

// The parts' data files back in plan order: the plan dealt them round, across the inputs,
// file 1 to part 1, file 2 to part 2, ...
std::vector<Dealt> InPlanOrder(const std::vector<const ReadReport*>& byPart) {
    std::vector<std::deque<Dealt>> queues(byPart.size());
    for (std::size_t k = 0; k < byPart.size(); ++k) {
        for (std::size_t i = 0; i < byPart[k]->inputs.size(); ++i) {
            const BatchReport& r = byPart[k]->inputs[i].report;
            for (const FileRecord& file : r.files) queues[k].push_back(Dealt{i, &file, {}});
            for (const std::string& path : r.notConverted) queues[k].push_back(Dealt{i, nullptr, path});
        }
    }
    std::vector<Dealt> order;
    for (bool more = true; more;) {
        more = false;
        for (std::deque<Dealt>& queue : queues) {
            if (queue.empty()) continue;
            order.push_back(queue.front());
            queue.pop_front();
            more = true;
        }
    }
    return order;
}

void AddOnce(std::vector<std::string>& into, const std::string& line) {
    if (std::find(into.begin(), into.end(), line) == into.end()) into.push_back(line);
}

// The inputs of one run made of the parts (in part order): the counts added, the files in
// plan order. What every part says alike (a note on an entry that is no data file, the
// failure of an entry none converts) is said once, as one run says it.
std::vector<InputReport> Merged(const std::vector<const ReadReport*>& byPart) {
    std::vector<InputReport> inputs = byPart.front()->inputs;
    std::vector<std::vector<std::string>> inputFailures(inputs.size());
    for (InputReport& input : inputs) input.report = BatchReport{};
    for (const ReadReport* part : byPart) {
        for (std::size_t i = 0; i < inputs.size(); ++i) {
            const BatchReport& from = part->inputs[i].report;
            BatchReport& to = inputs[i].report;
            to.dryRun = from.dryRun;
            to.dataFiles += from.dataFiles;
            to.filesConverted += from.filesConverted;
            to.framesWritten += from.framesWritten;
            to.framesPlanned += from.framesPlanned;
            to.plannedDataFiles += from.plannedDataFiles;
            for (const std::string& note : from.notes) AddOnce(to.notes, note);
            for (const BatchFailure& failure : from.failures) {
                if (!failure.dataFile.empty()) continue;
                if (std::find(inputFailures[i].begin(), inputFailures[i].end(), failure.Line()) != inputFailures[i].end()) continue;
                inputFailures[i].push_back(failure.Line());
                to.failures.push_back(failure);
            }
            if (to.stop == BatchStop::kNone) to.stop = from.stop;
            if (!from.stoppedIn.empty()) to.stoppedIn = from.stoppedIn;
        }
    }
    for (const Dealt& dealt : InPlanOrder(byPart)) {
        BatchReport& to = inputs[dealt.input].report;
        if (!dealt.record) {
            to.notConverted.push_back(dealt.notConverted);
            continue;
        }
        to.files.push_back(*dealt.record);
        for (const ReadReport* part : byPart) {
            for (const BatchFailure& failure : part->inputs[dealt.input].report.failures) {
                if (failure.dataFile == dealt.record->path) to.failures.push_back(failure);
            }
        }
    }
    return inputs;
}

// A report is small: more than this is no report of ours.
constexpr std::size_t kMaxReportBytes = std::size_t{1} << 30;

Result<std::string> ReadWhole(const std::string& file) {
    Result<int> fd = OpenToRead(file);
    if (!fd.ok()) return fd.error();
    std::string text;
    char buffer[1 << 16];
    for (;;) {
        Result<std::size_t> got = ReadAt(fd.value(), text.size(), buffer, sizeof buffer);
        if (!got.ok() || got.value() == 0 || text.size() > kMaxReportBytes) {
            CloseFile(fd.value());
            if (!got.ok()) return got.error();
            if (text.size() > kMaxReportBytes) return Error{ErrorKind::kInvalid, "too large for a report"};
            return text;
        }
        text.append(buffer, got.value());
    }
}

Result<Part> ReadPart(const std::string& file) {
    Result<std::string> text = ReadWhole(file);
    if (!text.ok()) return Error{text.error().kind, DisplayName(file) + ": " + text.message()};
    Result<ReadReport> report = ReadReportJson(text.value());
    if (!report.ok()) return Error{report.error().kind, DisplayName(file) + ": " + report.message()};
    return Part{file, std::move(report.value())};
}

}  // namespace

CLI::App* AddReportCommand(CLI::App& app, MergeOptions& o) {
    auto* cmd = app.add_subcommand("report", "Work with the JSON reports of convert --report");
    cmd->require_subcommand(1);
    auto* merge = cmd->add_subcommand(
        "merge", "Print the summary of one run over the whole plan from the reports of its parts (--shard K/N, "
                 "K from 1 to N), and exit as that run would");
    merge->add_option("--report", o.report, "Write the merged JSON report to FILE (- for standard output)")
        ->type_name("FILE");
    merge->add_option("PART", o.parts, "The parts' reports (convert --shard K/N --report PART)")->required();
    return cmd;
}

int RunReportMerge(const MergeOptions& o, std::ostream& out, std::ostream& err) {
    std::vector<Part> parts;
    for (const std::string& file : o.parts) {
        Result<Part> part = ReadPart(file);
        if (!part.ok()) {
            err << "quillfen-cli: " << part.message() << "\n";
            return kExitUsage;
        }
        parts.push_back(std::move(part.value()));
    }
    if (const std::string problem = NotOnePlan(parts); !problem.empty()) {
        err << "quillfen-cli: not the parts of one run: " << problem << "\n";
        return kExitUsage;
    }
    std::vector<const ReadReport*> byPart(parts.size());
    for (const Part& part : parts) byPart[static_cast<std::size_t>(part.report.part - 1)] = &part.report;
    std::vector<InputReport> inputs = Merged(byPart);
    // The parts ran side by side: the whole took as long as the slowest.
    double seconds = 0;
    for (const Part& part : parts) seconds = std::max(seconds, part.report.seconds);
    std::vector<BatchReport> done;
    int status = kExitOk;
    for (const InputReport& input : inputs) {
        done.push_back(input.report);
        status = std::max(status, ExitStatusFor(input.report));
    }
    if (!done.empty()) done.front().seconds = seconds;
    // A signal's status (128 + N) is no report's to derive: the part that had it says it.
    for (const Part& part : parts) {
        for (const InputReport& input : part.report.inputs) {
            if (input.report.stop == BatchStop::kInterrupted) status = std::max(status, part.report.exitStatus);
        }
    }
    const ReadReport& first = *byPart.front();
    PrintSummary(first.paths, first.options, done, err);
    PrintHint(CombinedReport(done), HintContext{PatternText(first.options), first.options.salvage, first.options.recursive},
              err);
    if (o.report.empty()) return status;
    return WriteReport(o.report, false, MergedReportJson(first, inputs, status, seconds), status, out, err);
}

}  // namespace qf
