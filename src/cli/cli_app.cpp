#include "cli/cli_app.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <map>

#include "cli/convert_command.h"
#include "cli/info_command.h"
#include "cli/kind_names.h"
#include "cli/report_merge.h"
#include "cli/watch_command.h"
#include "platform/display_name.h"
#include "platform/version.h"
#include "tools/synthetic_beam.h"

namespace qf {
namespace {

struct SynthOptions {
    BeamSettings beam;
    std::string path;
    bool force = false;
};

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

#ifdef _WIN32
// Windows' rule for command lines reads \" as a quote inside the argument, so "C:\dir\"
// arrives as C:\dir" (with whatever followed up to the next quote). No Windows name holds
// a quote: say what happened and how to write it, rather than "Invalid name".
bool RefuseSwallowedQuote(int argc, char** argv, std::ostream& err) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const std::size_t quote = arg.find('"');
        if (quote == std::string::npos) continue;
        const std::string path = arg.substr(0, quote);
        const std::string after = arg.substr(quote + 1);
        err << "quillfen-cli: " << DisplayName(arg) << ": the backslash before the closing quote kept the quote"
            << (after.empty() ? "" : " and joined the words after it") << "; write \"" << DisplayName(path)
            << "\" or \"" << DisplayName(path) << "\\\\\" instead\n";
        return true;
    }
    return false;
}
#endif

// For a parse that failed: the line for the first long option the command does not have,
// when one of its options is close enough to be what was meant ("" otherwise).
std::string MistypedOptionLine(CLI::App& app, int argc, char** argv) {
    CLI::App* command = &app;
    int i = 1;
    for (; i < argc && argv[i][0] != '-'; ++i) {
        const std::string word = argv[i];
        const std::vector<CLI::App*> sub =
            command->get_subcommands([&word](CLI::App* a) { return a->get_name() == word; });
        if (sub.empty()) break;
        command = sub.front();
    }
    std::vector<std::string> names;
    for (const CLI::Option* option : command->get_options()) {
        for (const std::string& name : option->get_lnames()) names.push_back(name);
    }
    for (; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--") break;
        if (arg.size() < 3 || arg.rfind("--", 0) != 0) continue;
        const std::string name = arg.substr(2, arg.find('=') == std::string::npos ? std::string::npos : arg.find('=') - 2);
        if (std::find(names.begin(), names.end(), name) != names.end()) continue;
        const std::string closest = ClosestName(name, names);
        if (closest.empty()) return "";
        return "quillfen-cli: --" + DisplayName(name) + ": unknown option; did you mean --" + closest +
               "? (--help tells more)\n";
    }
    return "";
}

}  // namespace

int RunCli(int argc, char** argv, std::ostream& out, std::ostream& err, const CliHooks* hooks) {
    CLI::App app{"Quillfen converts ORX camera data files into TIFF and BMP images.", "quillfen-cli"};
    // Options start with "-" on every system: on Windows "/data" is a path, not an option.
    app.allow_windows_style_options(false);
    app.set_version_flag("--version", std::string(QuillfenVersion()));
    app.require_subcommand(1);
    // One line for a usage error, as for every other failure.
    // The values it quotes are the user's: control bytes in them are shown as `ls` shows
    // them in names, so that a value can neither split the line nor drive the terminal.
    app.failure_message([](const CLI::App*, const CLI::Error& e) {
        return "quillfen-cli: " + DisplayName(e.what()) + " (--help tells more)\n";
    });
    ConvertOptions convert;
    CLI::App* convertCmd = AddConvertCommand(app, convert);
    WatchOptions watch;
    CLI::App* watchCmd = AddWatchCommand(app, watch);
    InfoOptions info;
    CLI::App* infoCmd = AddInfoCommand(app, info);
    SynthOptions synth;
    AddSynth(app, synth);
    MergeOptions merge;
    CLI::App* reportCmd = AddReportCommand(app, merge);
    if (argc > 1 && argv[1][0] != '-') {
        const std::string command = argv[1];
        if (command != "convert" && command != "watch" && command != "info" && command != "synth" && command != "report") {
            err << "quillfen-cli: unknown command '" << DisplayName(command)
                << "'; the commands are convert, watch, info, synth and report (quillfen-cli --help tells more)\n";
            return kExitUsage;
        }
    }
#ifdef _WIN32
    if (RefuseSwallowedQuote(argc, argv, err)) return kExitUsage;
#endif
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (const std::string line = e.get_exit_code() != 0 ? MistypedOptionLine(app, argc, argv) : "";
            !line.empty()) {
            err << line;
            return kExitUsage;
        }
        return app.exit(e, out, err) == 0 ? kExitOk : kExitUsage;
    }
    if (*convertCmd) return RunConvert(convert, out, err, hooks);
    if (*watchCmd) return RunWatch(watch, out, err, hooks);
    if (*infoCmd) return RunInfo(info, out, err);
    if (*reportCmd) return RunReportMerge(merge, out, err);
    return Synth(synth, err);
}

}  // namespace qf
