#include "app_win/output_settings.h"

#include <memory>

namespace qf::win {
namespace {

std::string Trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::string Joined(const std::vector<std::string>& parts, const char* between) {
    std::string text;
    for (const std::string& part : parts) text += (text.empty() ? "" : between) + part;
    return text;
}

}  // namespace

std::vector<std::string> ExcludeGlobs(const std::string& exclude) {
    std::vector<std::string> globs;
    std::string glob;
    for (const char c : exclude + " ") {
        if (c == ' ' || c == '\t' || c == ';') {
            if (!glob.empty()) globs.push_back(glob);
            glob.clear();
        } else {
            glob += c;
        }
    }
    return globs;
}

std::string ApplyOutputSettings(const OutputSettings& settings, RunOptions& options) {
    ExportOptions& out = options.exportOptions;
    out.layout = settings.layout;
    out.compression = settings.compression;
    out.stack = settings.stack;
    out.predictor = settings.predictor;
    out.pixelSize = PixelSize{};
    if (const std::string text = Trimmed(settings.pixelSize); !text.empty()) {
        auto size = ParsePixelSize(text);
        if (!size.ok()) return "Pixel size: " + size.message();
        out.pixelSize = size.value();
    }
    options.outputDir = Trimmed(settings.outputDir);
    options.pattern = nullptr;
    if (!settings.namePattern.empty()) {
        auto pattern = NamePattern::Parse(settings.namePattern);
        if (!pattern.ok()) return "Name pattern: " + pattern.message();
        options.pattern = std::make_shared<const NamePattern>(pattern.value());
    }
    options.recursive = settings.recursive;
    options.mirror = settings.mirror;
    options.inputBits = settings.inputBits;
    options.frames = FrameSelection();
    if (const std::string text = Trimmed(settings.frames); !text.empty()) {
        auto selection = FrameSelection::Parse(text);
        if (!selection.ok()) return "Frames: " + selection.message();
        options.frames = selection.value();
    }
    options.exclude = ExcludeGlobs(settings.exclude);
    options.onlyOrx = settings.onlyOrx;
    options.salvage = settings.salvage;
    if (const std::optional<OptionsProblem> problem = Validate(options)) return DialogWords(problem->rule);
    return {};
}

std::string OutputReportLine(const OutputSettings& s) {
    std::vector<std::string> parts;
    parts.push_back(std::string("layout ") + LayoutName(s.layout));
    parts.push_back(s.stack ? "one stack per data file (TIFF kinds)" : "a file per frame");
    parts.push_back(std::string("compression ") + CompressionName(s.compression) +
                    (s.predictor && s.compression != Compression::kNone ? " with the predictor" : "") + " (TIFF kinds)");
    const std::string pixelSize = Trimmed(s.pixelSize), frames = Trimmed(s.frames), folder = Trimmed(s.outputDir);
    parts.push_back(pixelSize.empty() ? "no pixel size" : "pixel size " + pixelSize);
    parts.push_back(folder.empty() ? "outputs beside the data" : "outputs in " + folder);
    parts.push_back(s.namePattern.empty() ? "usual names" : "names " + s.namePattern);
    parts.push_back(s.recursive ? "subfolders too" : "no subfolders");
    if (s.mirror) parts.push_back("subfolders mirrored");
    parts.push_back("input bits " + std::to_string(s.inputBits));
    parts.push_back(frames.empty() ? "every frame" : "frames " + frames);
    if (const auto globs = ExcludeGlobs(s.exclude); !globs.empty()) parts.push_back("passing over " + Joined(globs, " "));
    parts.push_back(s.onlyOrx ? "data files named *.orx only" : "data files named *.orx*");
    if (s.salvage) parts.push_back("complete frames of cut-off files converted");
    return "Output options: " + Joined(parts, ", ");
}

std::string OutputSummary(const OutputSettings& s) {
    const OutputSettings defaults;
    std::vector<std::string> parts;
    if (!s.namePattern.empty()) parts.push_back("names " + s.namePattern);
    if (s.recursive) parts.push_back(s.mirror ? "subfolders mirrored" : "subfolders");
    if (s.stack) parts.push_back("stacks");
    if (s.layout != defaults.layout) parts.push_back(std::string("layout ") + LayoutName(s.layout));
    if (s.compression != defaults.compression) {
        parts.push_back(std::string(CompressionName(s.compression)) + (s.predictor ? " with the predictor" : ""));
    }
    if (const std::string size = Trimmed(s.pixelSize); !size.empty()) parts.push_back("pixel size " + size);
    if (s.inputBits != defaults.inputBits) parts.push_back(std::to_string(s.inputBits) + "-bit input");
    if (const std::string frames = Trimmed(s.frames); !frames.empty()) parts.push_back("frames " + frames);
    if (const auto globs = ExcludeGlobs(s.exclude); !globs.empty()) parts.push_back("passing over " + Joined(globs, " "));
    if (s.onlyOrx) parts.push_back("*.orx only");
    if (s.salvage) parts.push_back("salvage");
    // Last: a long folder would push the short choices out of the line.
    if (const std::string folder = Trimmed(s.outputDir); !folder.empty()) parts.push_back("into " + folder);
    return "Output options: " + (parts.empty() ? std::string("the defaults") : Joined(parts, ", "));
}

}  // namespace qf::win
