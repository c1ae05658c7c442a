#include "cli/json_report.h"

#include <map>
#include <nlohmann/json.hpp>

#include "export/export_kinds.h"
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

json FailureJson(const BatchFailure& f) {
    return json{{"frame", f.frame == kNoFrame ? json(nullptr) : json(f.frame)},
                {"path", f.path},
                {"reason", f.cause},
                {"line", f.Line()}};
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

}  // namespace

std::string ReportJson(const std::vector<InputReport>& inputs, int kind, bool dryRun, int exitStatus,
                       double seconds, const ExportOptions& options, int inputBits) {
    json totals{{"data_files", 0}, {"files_converted", 0}, {"frames_written", 0}, {"failures", 0}};
    json j{{"program", "quillfen-cli"},
           {"version", QuillfenVersion()},
           {"kind", FindExportKind(kind) ? FindExportKind(kind)->name : "?"},
           {"layout", LayoutName(options.layout)},
           {"compression", CompressionName(options.compression)},
           {"stack", options.stack},
           {"bigtiff", options.stack && options.bigTiff},
           {"predictor", options.compression != Compression::kNone && options.predictor},
           {"ome", options.stack && options.ome},
           {"pixel_size_um", PixelSizeJson(options.pixelSize)},
           {"input_bits", inputBits},
           {"dry_run", dryRun},
           {"inputs", json::array()},
           {"not_reached", json::array()},
           {"stop", nullptr},
           {"exit_status", exitStatus},
           {"elapsed_seconds", seconds}};
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

}  // namespace qf
