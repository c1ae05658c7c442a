#include "cli/cli_app.h"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <map>

#include "cli/progress_printer.h"
#include "control/getdata_ctrl.h"
#include "control/orx_control.h"
#include "control/synthetic_beam.h"
#include "convert/batch_run.h"

namespace qf {
namespace {

struct ConvertOptions {
    int kind = kNormalizedTiff;
    int settleMs = 300;
    bool quiet = false;
    std::vector<std::string> folders;
};

int ExitStatusFor(const BatchReport& report) {
    switch (report.stop) {
        case BatchStop::kTiffCannotCreate: return kExitTiffStopped;
        case BatchStop::kFolderUnreadable: return kExitUsage;
        default: return report.clean() ? kExitOk : kExitFailures;
    }
}

int Convert(const ConvertOptions& o, std::ostream& err) {
    CGetdatactrl1 control;
    control.StartDriver();
    ProgressPrinter printer(err, isatty(STDERR_FILENO) == 1, o.quiet);
    BatchSettings settings;
    settings.settle = std::chrono::milliseconds(o.settleMs);
    int status = kExitOk;
    for (const std::string& folder : o.folders) {
        BatchReport report = RunBatch(control, folder, [&] { return o.kind; }, settings, printer);
        printer.Finish();
        if (!o.quiet) err << "quillfen-cli: " << folder << ": " << Summary(report) << "\n";
        int folderStatus = ExitStatusFor(report);
        if (folderStatus == kExitTiffStopped) return folderStatus;
        status = std::max(status, folderStatus);
    }
    return status;
}

int Info(const std::string& path, std::ostream& out, std::ostream& err) {
    OrxControl control;
    if (control.LoadFile(path) != 0) {
        err << "quillfen-cli: " << path << ": " << control.LoadError() << "\n";
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

int Synth(const std::string& path, const BeamSettings& s, std::ostream& err) {
    WriteResult r = WriteSyntheticBeam(path, s);
    if (!r.ok()) {
        err << "quillfen-cli: " << r.message() << "\n";
        return kExitFailures;
    }
    return kExitOk;
}

const std::map<std::string, int> kKindNames = {
    {"normalized-tiff", 0}, {"standardized-tiff", 1}, {"grayscale-bmp", 2}, {"color-bmp", 3},
    {"0", 0}, {"1", 1}, {"2", 2}, {"3", 3}};

CLI::App* AddConvert(CLI::App& app, ConvertOptions& o) {
    auto* cmd = app.add_subcommand("convert", "Convert every .orx file of each FOLDER, one image per frame");
    cmd->add_option("--kind", o.kind, "normalized-tiff, standardized-tiff, grayscale-bmp or color-bmp (or 0 to 3)")
        ->transform(CLI::CheckedTransformer(kKindNames))
        ->default_str("normalized-tiff");
    cmd->add_option("--settle-ms", o.settleMs, "Pause after each load and each frame, in ms")
        ->check(CLI::Range(0, 60000))
        ->capture_default_str();
    cmd->add_flag("--quiet", o.quiet, "Show failures only");
    cmd->add_option("FOLDER", o.folders, "Folders to convert")->required();
    return cmd;
}

CLI::App* AddSynth(CLI::App& app, BeamSettings& b, std::string& path) {
    auto* cmd = app.add_subcommand("synth", "Write a synthetic beam as FILE.orx");
    cmd->add_option("--width", b.width, "Width, 1 to 32767")->check(CLI::Range(1, 32767))->capture_default_str();
    cmd->add_option("--height", b.height, "Height, 1 to 32767")->check(CLI::Range(1, 32767))->capture_default_str();
    cmd->add_option("--frames", b.frames, "Frames, 1 to 32768")->check(CLI::Range(1, 32768))->capture_default_str();
    cmd->add_flag("--half", b.halfResolution, "Store frames at half resolution");
    cmd->add_option("--bits", b.bits, "Peak near 2^B - 1")->check(CLI::Range(1, 16))->capture_default_str();
    cmd->add_option("--seed", b.seed, "Noise seed")->capture_default_str();
    cmd->add_option("FILE", path, "Output .orx file")->required();
    return cmd;
}

}  // namespace

int RunCli(int argc, char** argv, std::ostream& out, std::ostream& err) {
    CLI::App app{"Quillfen converts ORX camera data files into TIFF and BMP images.", "quillfen-cli"};
    app.set_version_flag("--version", std::string(QUILLFEN_VERSION));
    app.require_subcommand(1);
    ConvertOptions convert;
    CLI::App* convertCmd = AddConvert(app, convert);
    std::string infoPath;
    auto* infoCmd = app.add_subcommand("info", "Show what the control sees in FILE.orx");
    infoCmd->add_option("FILE", infoPath, "ORX file")->required();
    BeamSettings beam;
    std::string synthPath;
    AddSynth(app, beam, synthPath);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e, out, err) == 0 ? kExitOk : kExitUsage;
    }
    if (*convertCmd) return Convert(convert, err);
    if (*infoCmd) return Info(infoPath, out, err);
    return Synth(synthPath, beam, err);
}

}  // namespace qf
