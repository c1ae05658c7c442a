#include "cli/cli_app.h"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <map>

#include "cli/progress_printer.h"
#include "cli/stop_signals.h"
#include "control/getdata_ctrl.h"
#include "control/orx_control.h"
#include "tools/synthetic_beam.h"
#include "convert/batch_run.h"
#include "export/export_kinds.h"
#include "platform/display_name.h"
#include "platform/version.h"

namespace qf {
namespace {

struct ConvertOptions {
    int kind = kNormalizedTiff;
    int settleMs = 300;
    bool quiet = false;
    bool sync = false;
    std::vector<std::string> folders;
};

struct SynthOptions {
    BeamSettings beam;
    std::string path;
    bool force = false;
};

// The progress printer, with the tests' hook after each output.
class HookedPrinter : public ProgressPrinter {
public:
    HookedPrinter(std::ostream& err, bool live, bool quiet, const CliHooks* hooks)
        : ProgressPrinter(err, live, quiet), hooks_(hooks) {}
    void FrameWritten(const std::string& output) override {
        ProgressPrinter::FrameWritten(output);
        if (hooks_ && hooks_->frameWritten) hooks_->frameWritten(output);
    }

private:
    const CliHooks* hooks_;
};

int ExitStatusFor(const BatchReport& report) {
    switch (report.stop) {
        case BatchStop::kTiffCannotCreate: return kExitTiffStopped;
        case BatchStop::kFolderUnreadable: return kExitUsage;
        default: return report.clean() ? kExitOk : kExitFailures;
    }
}

// After a stop: one line for each data file and folder that the run never reached.
void ListUnconverted(const BatchReport& report, const std::vector<std::string>& laterFolders,
                     std::ostream& err) {
    if (!report.stoppedIn.empty()) {
        err << "quillfen-cli: " << DisplayName(report.stoppedIn)
            << ": its later frames were not converted (the run stopped)\n";
    }
    for (const std::string& path : report.notConverted) {
        err << "quillfen-cli: " << DisplayName(path) << ": not converted (the run stopped before it)\n";
    }
    for (const std::string& folder : laterFolders) {
        err << "quillfen-cli: " << DisplayName(folder) << ": not converted (the run stopped before it)\n";
    }
}

int Convert(const ConvertOptions& o, std::ostream& err, const CliHooks* hooks) {
    CGetdatactrl1 control;
    control.StartDriver();
    StopSignals signals;
    HookedPrinter printer(err, isatty(STDERR_FILENO) == 1, o.quiet, hooks);
    BatchSettings settings;
    settings.settle = std::chrono::milliseconds(o.settleMs);
    settings.sync = o.sync;
    settings.stopRequested = [] { return StopSignals::Received() != 0; };
    int status = kExitOk;
    for (std::size_t i = 0; i < o.folders.size(); ++i) {
        const std::string& folder = o.folders[i];
        BatchReport report = RunBatch(control, folder, [&] { return o.kind; }, settings, printer);
        printer.Finish();
        if (!o.quiet) err << "quillfen-cli: " << DisplayName(folder) << ": " << Summary(report) << "\n";
        const bool stopped = report.stop != BatchStop::kNone && report.stop != BatchStop::kFolderUnreadable;
        if (stopped) {
            ListUnconverted(report, {o.folders.begin() + static_cast<std::ptrdiff_t>(i) + 1, o.folders.end()}, err);
            if (report.stop == BatchStop::kInterrupted) return 128 + StopSignals::Received();
        }
        int folderStatus = ExitStatusFor(report);
        if (folderStatus == kExitTiffStopped) return folderStatus;
        status = std::max(status, folderStatus);
        if (stopped) break;
    }
    return status;
}

int Info(const std::string& path, std::ostream& out, std::ostream& err) {
    OrxControl control;
    if (Status loaded = control.LoadFile(path); !loaded.ok()) {
        err << "quillfen-cli: " << DisplayName(path) << ": " << loaded.message() << "\n";
        return kExitFailures;
    }
    const OrxHeader& h = *control.header();
    out << path << "\n"
        << "  width:       " << h.width << "\n"
        << "  height:      " << h.height << "\n"
        << "  stored size: " << h.storedWidth() << " x " << h.storedHeight() << "\n"
        << "  frames:      " << h.frameCount << "\n"
        << "  resolution:  " << (h.halfResolution() ? "half" : "full") << "\n";
    return kExitOk;
}

int Synth(const SynthOptions& o, std::ostream& err) {
    OutputTarget target(o.path);
    target.replace = o.force;
    Status written = WriteSyntheticBeam(target, o.beam);
    if (!written.ok() && written.kind() == ErrorKind::kExists) {
        err << "quillfen-cli: " << DisplayName(o.path) << ": exists; not replaced (--force replaces it)\n";
        return kExitFailures;
    }
    if (!written.ok()) {
        err << "quillfen-cli: " << DisplayName(o.path) << ": " << written.message() << "\n";
        return kExitFailures;
    }
    return kExitOk;
}

// The kinds by name and by number, as --kind takes them.
std::map<std::string, int> KindNames() {
    std::map<std::string, int> names;
    for (const ExportKindInfo& kind : ExportKinds()) {
        names[kind.name] = kind.kind;
        names[std::to_string(kind.kind)] = kind.kind;
    }
    return names;
}

CLI::App* AddConvert(CLI::App& app, ConvertOptions& o) {
    auto* cmd = app.add_subcommand("convert", "Convert every .orx file of each FOLDER, one image per frame");
    cmd->add_option("--kind", o.kind, "normalized-tiff, standardized-tiff, grayscale-bmp or color-bmp (or 0 to 3)")
        ->transform(CLI::CheckedTransformer(KindNames()))
        ->default_str("normalized-tiff");
    cmd->add_option("--settle-ms", o.settleMs, "Pause after each load and each frame, in ms")
        ->check(CLI::Range(0, 60000))
        ->capture_default_str();
    cmd->add_flag("--quiet", o.quiet, "Show failures only");
    cmd->add_flag("--sync", o.sync,
                  "Flush each output to the disk before it replaces its name, so that a power "
                  "loss cannot leave an empty image where a good one was (slower)");
    cmd->add_option("FOLDER", o.folders, "Folders to convert")->required();
    return cmd;
}

CLI::App* AddSynth(CLI::App& app, SynthOptions& o) {
    BeamSettings& b = o.beam;
    auto* cmd = app.add_subcommand("synth", "Write a synthetic beam as FILE.orx");
    cmd->add_option("--width", b.width, "Width, 1 to 32767")->check(CLI::Range(1, 32767))->capture_default_str();
    cmd->add_option("--height", b.height, "Height, 1 to 32767")->check(CLI::Range(1, 32767))->capture_default_str();
    cmd->add_option("--frames", b.frames, "Frames, 1 to 32768")->check(CLI::Range(1, 32768))->capture_default_str();
    cmd->add_flag("--half", b.halfResolution, "Store frames at half resolution");
    cmd->add_option("--bits", b.bits, "Peak near 2^B - 1")->check(CLI::Range(1, 16))->capture_default_str();
    cmd->add_option("--seed", b.seed, "Noise seed")->capture_default_str();
    cmd->add_flag("--force", o.force, "Replace FILE if it exists");
    cmd->add_option("FILE", o.path, "Output .orx file")->required();
    return cmd;
}

}  // namespace

int RunCli(int argc, char** argv, std::ostream& out, std::ostream& err, const CliHooks* hooks) {
    CLI::App app{"Quillfen converts ORX camera data files into TIFF and BMP images.", "quillfen-cli"};
    app.set_version_flag("--version", std::string(QuillfenVersion()));
    app.require_subcommand(1);
    ConvertOptions convert;
    CLI::App* convertCmd = AddConvert(app, convert);
    std::string infoPath;
    auto* infoCmd = app.add_subcommand("info", "Show what the control sees in FILE.orx");
    infoCmd->add_option("FILE", infoPath, "ORX file")->required();
    SynthOptions synth;
    AddSynth(app, synth);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e, out, err) == 0 ? kExitOk : kExitUsage;
    }
    if (*convertCmd) return Convert(convert, err, hooks);
    if (*infoCmd) return Info(infoPath, out, err);
    return Synth(synth, err);
}

}  // namespace qf
