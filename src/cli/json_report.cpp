#include "cli/json_report.h"

#include <algorithm>
#include <map>
#include <nlohmann/json.hpp>

#include "export/export_kinds.h"
#include "export/page_encoder.h"
#include "platform/file_io.h"
#include "platform/version.h"

namespace qf {
namespace {

using nlohmann::json;

const char* StopName(BatchStop stop) {
    switch (stop) {
        case BatchStop::kNone: return nullptr;
        case BatchStop::kFolderUnreadable: return "input-unreadable";
        case BatchStop::kTiffCannotCreate: return "tiff-cannot-create";
        case BatchStop::kFrameFailed: return "frame-unreadable";
        case BatchStop::kInterrupted: return "interrupted";
    }
    return nullptr;
}

const char* FailureKindName(FailureKind kind) {
    switch (kind) {
        case FailureKind::kNotLoaded: return "not-loaded";
        case FailureKind::kNameTaken: return "name-taken";
        case FailureKind::kOther: break;
    }
    return "other";
}

json FailureJson(const BatchFailure& f) {
    json j{{"frame", f.frame == kNoFrame ? json(nullptr) : json(f.frame)},
           {"path", f.path},
           {"reason", f.cause},
           {"kind", FailureKindName(f.kind)},
           {"line", f.Line()}};
    if (f.kind == FailureKind::kNameTaken) j["name_from_another_folder"] = f.takenFromElsewhere;
    return j;
}

json FileJson(const FileRecord& file, const std::vector<BatchFailure>& failures) {
    json j{{"path", file.path},         {"frames", file.framesPlanned}, {"outputs", file.written},
           {"kept", file.kept},         {"converted", file.converted},  {"failures", json::array()}};
    for (const BatchFailure& f : failures) {
        if (f.dataFile == file.path) j["failures"].push_back(FailureJson(f));
    }
    return j;
}

json InputJson(const InputReport& input) {
    const BatchReport& r = input.report;
    json j{{"path", input.path},
           {"data_files", r.dataFiles},
           {"files_converted", r.filesConverted},
           {"frames_written", r.framesWritten},
           {"failures", json::array()},
           {"notes", r.notes},
           {"stop", StopName(r.stop) ? json(StopName(r.stop)) : json(nullptr)},
           {"stop_reason", r.stop == BatchStop::kNone ? json(nullptr) : json(StopReason(r.stop))},
           {"stopped_in", r.stoppedIn.empty() ? json(nullptr) : json(r.stoppedIn)},
           {"not_converted", r.notConverted},
           {"files", json::array()}};
    // Failures that belong to no listed file (an unreadable folder, an entry that is no
    // data file) stay with the input.
    for (const BatchFailure& f : r.failures) {
        bool inFile = false;
        for (const FileRecord& file : r.files) inFile = inFile || f.dataFile == file.path;
        if (!inFile) j["failures"].push_back(FailureJson(f));
    }
    for (const FileRecord& file : r.files) j["files"].push_back(FileJson(file, r.failures));
    return j;
}

// Width and height in micrometres, or null when no size was given.
json PixelSizeJson(const PixelSize& size) {
    if (!size.known()) return nullptr;
    return json{{"width", size.widthUm}, {"height", size.heightUm}};
}

// The choices besides the kind and the output options that shape the plan: parts of one
// plan agree in all of them.
json PlanChoicesJson(const ConvertOptions& o) {
    const auto text = [](const std::string& value) { return value.empty() ? json(nullptr) : json(value); };
    return json{{"output_dir", text(o.outputDir)}, {"name_pattern", text(PatternText(o))},
                {"recursive", o.recursive},        {"mirror", o.mirror},
                {"frames", text(o.frames.text())},    {"exclude", o.exclude},
                {"only_orx", o.onlyOrx},           {"no_clobber", o.noClobber},
                {"salvage", o.salvage}};
}

// How many frames went at once and what set that: --jobs as given (null: the cores), the
// cores the affinity allows (null: the system does not say), and the memory that held the
// jobs back, if it did.
json JobsJson(const ConvertOptions& o, const std::vector<InputReport>& inputs) {
    int ran = 1;
    json heldBy = nullptr;
    for (const InputReport& input : inputs) {
        const BatchReport& r = input.report;
        ran = std::max(ran, r.jobs);
        if (r.jobsHeldBy.bytes > 0) {
            heldBy = json{{"free_mb", r.jobsHeldBy.bytes >> 20}, {"limit", r.jobsHeldBy.processLimit ? "process" : "machine"}};
        }
    }
    const int cores = CoresAllowed();
    return json{{"ran", ran},
                {"asked", o.jobs > 0 ? json(o.jobs) : json(nullptr)},
                {"cores_allowed", cores > 0 ? json(cores) : json(nullptr)},
                {"held_by_memory", heldBy}};
}

json HeaderJson(const ConvertOptions& o) {
    const ExportOptions& options = o.exportOptions;
    return json{{"program", "quillfen-cli"},
                {"version", QuillfenVersion()},
                {"kind", FindExportKind(o.plannedKind) ? FindExportKind(o.plannedKind)->name : "?"},
                {"layout", LayoutName(options.layout)},
                {"compression", CompressionName(options.compression)},
                {"level", LevelsOf(options.compression).any() ? json(LevelFor(options)) : json(nullptr)},
                {"encoder", options.compression != Compression::kNone ? json(EncoderName(options.compression)) : json(nullptr)},
                {"stack", options.stack},
                {"bigtiff", options.stack && options.bigTiff},
                {"predictor", options.compression != Compression::kNone && options.predictor},
                {"ome", options.stack && options.ome},
                {"pixel_size_um", PixelSizeJson(options.pixelSize)},
                {"input_bits", o.inputBits},
                {"dry_run", o.dryRun},
                {"plan", PlanChoicesJson(o)},
                {"shard", json{{"part", o.shardIndex}, {"parts", o.shardCount}}}};
}

// The header `j` completed with the inputs, their totals and how the run ended.
std::string Finish(json j, const std::vector<InputReport>& inputs, int exitStatus, double seconds) {
    json totals{{"data_files", 0}, {"files_converted", 0}, {"frames_written", 0}, {"failures", 0}};
    j["inputs"] = json::array();
    j["not_reached"] = json::array();
    j["stop"] = nullptr;
    j["exit_status"] = exitStatus;
    j["elapsed_seconds"] = seconds;
    for (const InputReport& input : inputs) {
        const BatchReport& r = input.report;
        totals["data_files"] = totals["data_files"].get<long>() + r.dataFiles;
        totals["files_converted"] = totals["files_converted"].get<long>() + r.filesConverted;
        totals["frames_written"] = totals["frames_written"].get<long>() + r.framesWritten;
        totals["failures"] = totals["failures"].get<long>() + static_cast<long>(r.failures.size());
        if (r.stop != BatchStop::kNone && r.stop != BatchStop::kFolderUnreadable) j["stop"] = StopName(r.stop);
        for (const std::string& later : input.notReached) j["not_reached"].push_back(later);
        j["inputs"].push_back(InputJson(input));
    }
    j["totals"] = totals;
    // File names are bytes: one that is not UTF-8 must not cost the report (the library
    // throws on it by default); its bad bytes become U+FFFD.
    return j.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

BatchStop StopNamed(const json& name) {
    for (BatchStop stop : {BatchStop::kFolderUnreadable, BatchStop::kTiffCannotCreate, BatchStop::kFrameFailed,
                           BatchStop::kInterrupted}) {
        if (name.is_string() && name.get<std::string>() == StopName(stop)) return stop;
    }
    return BatchStop::kNone;
}

BatchFailure FailureFrom(const json& f, const std::string& dataFile) {
    BatchFailure failure;
    failure.dataFile = dataFile;
    failure.frame = f.at("frame").is_null() ? kNoFrame : f.at("frame").get<int>();
    failure.path = f.at("path").get<std::string>();
    failure.cause = f.at("reason").get<std::string>();
    for (FailureKind kind : {FailureKind::kNotLoaded, FailureKind::kNameTaken}) {
        if (f.at("kind").get<std::string>() == FailureKindName(kind)) failure.kind = kind;
    }
    failure.takenFromElsewhere = f.value("name_from_another_folder", false);
    return failure;
}

InputReport InputFrom(const json& j) {
    InputReport input;
    input.path = j.at("path").get<std::string>();
    BatchReport& r = input.report;
    r.dataFiles = j.at("data_files").get<int>();
    r.filesConverted = j.at("files_converted").get<int>();
    r.framesWritten = j.at("frames_written").get<long>();
    r.notes = j.at("notes").get<std::vector<std::string>>();
    r.stop = StopNamed(j.at("stop"));
    if (j.at("stopped_in").is_string()) r.stoppedIn = j.at("stopped_in").get<std::string>();
    r.notConverted = j.at("not_converted").get<std::vector<std::string>>();
    for (const json& f : j.at("failures")) r.failures.push_back(FailureFrom(f, ""));
    for (const json& file : j.at("files")) {
        FileRecord record;
        record.path = file.at("path").get<std::string>();
        record.framesPlanned = file.at("frames").get<int>();
        record.written = file.at("outputs").get<std::vector<std::string>>();
        record.kept = file.at("kept").get<std::vector<std::string>>();
        record.converted = file.at("converted").get<bool>();
        for (const json& f : file.at("failures")) r.failures.push_back(FailureFrom(f, record.path));
        r.framesPlanned += record.framesPlanned;
        r.files.push_back(std::move(record));
    }
    r.plannedDataFiles = static_cast<int>(r.files.size() + r.notConverted.size());
    return input;
}

}  // namespace

std::string ReportJson(const std::vector<InputReport>& inputs, const ConvertOptions& o, int exitStatus,
                       double seconds) {
    json j = HeaderJson(o);
    j["jobs"] = JobsJson(o, inputs);
    return Finish(std::move(j), inputs, exitStatus, seconds);
}

Result<ReadReport> ReadReportJson(const std::string& text) {
    try {
        const json j = json::parse(text);
        if (!j.is_object() || j.value("program", "") != "quillfen-cli") {
            return Error{ErrorKind::kInvalid, "not a report of quillfen-cli convert --report"};
        }
        ReadReport read;
        read.text = text;
        read.version = j.at("version").get<std::string>();
        for (const char* field : {"kind", "layout", "compression", "stack", "bigtiff", "pixel_size_um", "input_bits",
                                  "dry_run"}) {
            read.choices[field] = j.at(field).dump();
        }
        // Reports written before --level have none: the codec's level of then.
        if (j.contains("level")) read.choices["level"] = j.at("level").dump();
        if (!j.contains("plan") || !j.contains("shard")) {
            return Error{ErrorKind::kInvalid, "written by a version that does not say its plan and shard (" +
                                                  read.version + "); run the parts again"};
        }
        for (const auto& [field, value] : j.at("plan").items()) read.choices[field] = value.dump();
        if (j.at("shard").is_object()) {
            read.part = j.at("shard").at("part").get<int>();
            read.parts = j.at("shard").at("parts").get<int>();
        } else {
            read.part = read.parts = 0;
        }
        read.dryRun = j.at("dry_run").get<bool>();
        const json& plan = j.at("plan");
        RunOptions& options = read.options;
        if (plan.at("output_dir").is_string()) options.outputDir = plan.at("output_dir").get<std::string>();
        options.recursive = plan.at("recursive").get<bool>();
        if (plan.at("name_pattern").is_string()) {
            Result<NamePattern> pattern = NamePattern::Parse(plan.at("name_pattern").get<std::string>());
            if (!pattern.ok()) return Fail(ErrorKind::kInvalid, "its name pattern: " + pattern.message());
            options.pattern = std::make_shared<const NamePattern>(pattern.value());
        }
        options.salvage = plan.at("salvage").get<bool>();
        options.onlyOrx = plan.at("only_orx").get<bool>();
        read.exitStatus = j.at("exit_status").get<int>();
        read.seconds = j.at("elapsed_seconds").get<double>();
        for (const json& input : j.at("inputs")) {
            read.inputs.push_back(InputFrom(input));
            read.inputs.back().report.dryRun = read.dryRun;
            read.paths.push_back(read.inputs.back().path);
        }
        if (!read.inputs.empty()) read.inputs.back().notReached = j.at("not_reached").get<std::vector<std::string>>();
        return read;
    } catch (const json::exception& e) {
        return Error{ErrorKind::kInvalid, std::string("not a report of quillfen-cli convert --report (") + e.what() + ")"};
    }
}

std::string MergedReportJson(const ReadReport& like, const std::vector<InputReport>& inputs, int exitStatus,
                             double seconds) {
    json j = json::parse(like.text);
    for (const char* field : {"inputs", "not_reached", "stop", "exit_status", "elapsed_seconds", "totals"}) j.erase(field);
    j["shard"] = nullptr;
    j["jobs"] = nullptr;
    return Finish(std::move(j), inputs, exitStatus, seconds);
}

}  // namespace qf
