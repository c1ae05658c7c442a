#include "cli/info_command.h"

#include <CLI/CLI.hpp>
#include <bit>
#include <cstdio>

#include "cli/cli_app.h"
#include "cli/progress_printer.h"
#include "cli/run_end.h"
#include "cli/salvage.h"
#include "control/orx_control.h"
#include "convert/plan.h"
#include "convert/run_tally.h"
#include "export/export_kinds.h"
#include "platform/directory.h"
#include "platform/display_name.h"
#include "platform/file_io.h"

namespace qf {
namespace {

struct InfoSidecars {
    std::size_t count = 0;
    std::string first;
};

struct FrameStats {
    std::uint16_t min = 0, max = 0;
    double mean = 0;
};

// The samples of the control's current frame; false, with the reason in `why`, when it
// cannot be read.
bool ReadStats(OrxControl& control, FrameStats& stats, std::string& why) {
    VARIANT data;
    VariantInit(&data);
    if (FAILED(control.GetImageData(&data))) {
        why = control.DataError();
        return false;
    }
    const std::uint64_t count = control.header()->storedSamples();
    const auto* samples = static_cast<const std::uint16_t*>(data.parray->pvData);
    std::uint16_t lo = 0xFFFF, hi = 0;
    std::uint64_t sum = 0;
    for (std::uint64_t i = 0; i < count; ++i) {
        lo = std::min(lo, samples[i]);
        hi = std::max(hi, samples[i]);
        sum += samples[i];
    }
    VariantClear(&data);
    stats = count > 0 ? FrameStats{lo, hi, double(sum) / double(count)} : FrameStats{};
    return true;
}

std::string Bits(std::uint16_t max) {
    const int bits = std::bit_width(max);
    return std::to_string(bits) + (bits == 1 ? " bit" : " bits");
}

void ShowHeader(const std::string& path, const OrxControl& control, std::ostream& out) {
    const OrxHeader& h = *control.header();
    out << "header of " << DisplayName(path) << "\n"
        << "  width:       " << h.width << "  (pixels a row, as the camera saw the frame)\n"
        << "  height:      " << h.height << "  (rows, as the camera saw the frame)\n"
        << "  stored size: " << h.storedWidth() << " x " << h.storedHeight()
        << "  (what each frame holds, and the size of each image)\n";
    if (const auto& cut = control.cutOff()) {
        out << "  frames:      " << cut->headerFrames << " in the header, " << cut->completeFrames
            << " complete  (the file ends inside frame " << cut->completeFrames << ")\n";
    } else {
        out << "  frames:      " << h.frameCount << "  (one image each)\n";
    }
    out << "  resolution:  " << (h.halfResolution() ? "half" : "full")
        << (h.halfResolution() ? "  (frames stored at half the width and height)\n" : "  (frames stored whole)\n");
}

// --stats: a line per frame, then the bits the whole file uses.
bool ShowStats(const std::string& path, OrxControl& control, std::ostream& out, std::ostream& err) {
    std::uint16_t brightest = 0;
    char text[160];
    for (std::uint32_t f = 0; f < control.header()->frameCount; ++f, control.NextFrame()) {
        FrameStats s;
        std::string why;
        if (!ReadStats(control, s, why)) {
            err << "quillfen-cli: " << DisplayName(path) << ": frame " << f << ": " << why << "\n";
            return false;
        }
        brightest = std::max(brightest, s.max);
        std::snprintf(text, sizeof text, "  frame %u: minimum %u, maximum %u, mean %.1f, %s\n", f, unsigned{s.min},
                      unsigned{s.max}, s.mean, Bits(s.max).c_str());
        out << text;
    }
    out << "  samples use " << Bits(brightest) << " (the brightest is " << brightest << " of 65535)\n";
    return true;
}

// Shows one file, after a blank line unless it is the first shown. A file found in a
// folder that is named like a sidecar and is no ORX file is no failure: `sidecars` counts
// it, with the first one's name.
int ShowFile(const std::string& path, bool stats, bool found, bool& first, InfoSidecars& sidecars, std::ostream& out,
             std::ostream& err) {
    // Salvaging, so that a cut-off file still shows its header and its complete frames.
    OrxControl control(true);
    if (Status loaded = control.LoadFile(path); !loaded.ok()) {
        if (found && loaded.kind() == ErrorKind::kInvalid && NamedLikeASidecar(path)) {
            if (sidecars.count++ == 0) sidecars.first = path.substr(LastSeparator(path) + 1);
            return kExitOk;
        }
        err << "quillfen-cli: " << DisplayName(path) << ": " << loaded.message() << "\n";
        return kExitFailures;
    }
    if (!first) out << "\n";
    first = false;
    ShowHeader(path, control, out);
    int status = kExitOk;
    if (stats && !ShowStats(path, control, out, err)) status = kExitFailures;
    if (const auto& cut = control.cutOff()) {
        err << "quillfen-cli: " << DisplayName(path) << ": the file ends inside frame " << cut->completeFrames
            << ": " << cut->headerFrames - cut->completeFrames << " of " << cut->headerFrames
            << " frames missing (convert --salvage converts the complete ones)\n";
        status = kExitFailures;
    }
    return status;
}

// The data files of a folder, found as convert's plan finds them (with --recursive in its
// subfolders too); what the plan says of the rest is said as convert says it.
std::vector<std::string> DataFilesIn(const std::string& folder, const InfoOptions& o, std::ostream& err, int& status) {
    RunOptions options;
    options.dryRun = true;  // nothing swept, nothing made
    options.recursive = o.recursive;
    options.onlyOrx = o.onlyOrx;
    PlanCalls calls;
    calls.kind = FindExportKind(kNormalizedTiff);
    NameRegistry names;
    const std::unique_ptr<CGetdatactrl1> control = MakeOrxControl(true, std::make_shared<SalvageLog>());
    const Plan plan = MakePlan(*control, folder, options, calls, names);
    if (!plan.unreadable.empty()) {
        err << "quillfen-cli: " << DisplayName(plan.unreadablePath) << ": " << plan.unreadable << "\n";
        status = std::max(status, kExitFailures);
        return {};
    }
    for (const std::string& note : plan.notes) err << "quillfen-cli: note: " << note << "\n";
    for (const PlanFailure& failure : plan.failures) {
        err << "quillfen-cli: " << DisplayName(failure.path) << ": " << failure.cause << "\n";
        status = std::max(status, kExitFailures);
    }
    std::vector<std::string> files;
    for (const PlannedFile& file : plan.files) {
        if (file.state == PlannedFile::State::kNotData) {
            err << "quillfen-cli: note: " << DisplayName(file.path) << ": " << file.reason << "\n";
        } else if (file.state == PlannedFile::State::kUnreadable) {
            err << "quillfen-cli: " << DisplayName(file.path) << ": " << file.reason << "\n";
            status = std::max(status, kExitFailures);
        } else {
            files.push_back(file.path);
        }
    }
    if (files.empty() && plan.failures.empty()) {
        // As convert ends over such a folder: its subfolders may hold what --recursive finds.
        const int deeper = o.recursive ? 0 : DataFilesInSubfolders(folder, o.onlyOrx);
        err << "quillfen-cli: " << SummaryLine(BatchReport{}, SummaryContext{folder, "", deeper}) << "\n";
    }
    return files;
}

}  // namespace

CLI::App* AddInfoCommand(CLI::App& app, InfoOptions& o) {
    auto* cmd = app.add_subcommand("info", "Show what the control sees in each FILE.orx (or each data file of a FOLDER)");
    cmd->add_flag("--stats", o.stats,
                  "Also read every frame: its minimum, maximum and mean, and the bits the samples use (e.g. 12 bits)");
    cmd->add_flag("-r,--recursive", o.recursive,
                  "Show the data files of subfolders too, as convert --recursive finds them");
    cmd->add_flag("--only-orx", o.onlyOrx, "Take as data files only the names that end in .orx (not scan.orx.json)");
    cmd->add_option("PATH", o.paths, "ORX files, or folders whose data files to show")->required();
    return cmd;
}

int RunInfo(const InfoOptions& o, std::ostream& out, std::ostream& err) {
    int status = kExitOk;
    bool first = true;
    InfoSidecars sidecars;
    for (const std::string& path : o.paths) {
        const Result<FileFacts> facts = FactsAt(kWorkingFolder, path, true);
        if (!facts.ok() || facts.value().type != FileType::kFolder) {
            status = std::max(status, ShowFile(path, o.stats, false, first, sidecars, out, err));
            continue;
        }
        for (const std::string& file : DataFilesIn(path, o, err, status)) {
            status = std::max(status, ShowFile(file, o.stats, true, first, sidecars, out, err));
        }
    }
    if (sidecars.count > 0) err << "quillfen-cli: note: " << SidecarNote(sidecars.count, sidecars.first) << "\n";
    return status;
}

}  // namespace qf
