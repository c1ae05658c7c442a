#include "present/output_settings.h"

#include <memory>

#include "export/page_encoder.h"
#include "present/words.h"

namespace qf::present {
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

bool TakesLevel(Compression compression) { return LevelsOf(compression).any(); }

int KeptLevel(Compression compression, long long level) {
    if (level <= 0 || level > LevelsOf(compression).highest) return 0;
    return LevelProblem(compression, static_cast<int>(level)).empty() ? static_cast<int>(level) : 0;
}

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
    out.ome = settings.ome;
    out.bigTiff = settings.bigTiff;
    out.predictor = settings.predictor;
    out.level = settings.level;
    out.pixelSize = PixelSize{};
    if (const std::string text = Trimmed(settings.pixelSize); !text.empty()) {
        auto size = ParsePixelSize(text);
        if (!size.ok()) return Words(QT_TRANSLATE_NOOP("qf::present", "Pixel size: %1"), {size.message()});
        out.pixelSize = size.value();
    }
    options.outputDir = Trimmed(settings.outputDir);
    options.pattern = nullptr;
    if (!settings.namePattern.empty()) {
        auto pattern = NamePattern::Parse(settings.namePattern);
        if (!pattern.ok()) return Words(QT_TRANSLATE_NOOP("qf::present", "Name pattern: %1"), {pattern.message()});
        options.pattern = std::make_shared<const NamePattern>(pattern.value());
    }
    options.recursive = settings.recursive;
    options.mirror = settings.mirror;
    options.inputBits = settings.inputBits;
    options.frames = FrameSelection();
    if (const std::string text = Trimmed(settings.frames); !text.empty()) {
        auto selection = FrameSelection::Parse(text);
        if (!selection.ok()) return Words(QT_TRANSLATE_NOOP("qf::present", "Frames: %1"), {selection.message()});
        options.frames = selection.value();
    }
    options.exclude = ExcludeGlobs(settings.exclude);
    options.onlyOrx = settings.onlyOrx;
    options.salvage = settings.salvage;
    if (const std::optional<OptionsProblem> problem = Validate(options)) return Words(DialogWords(problem->rule));
    return {};
}

#define QF_WORDS(text) QT_TRANSLATE_NOOP("qf::present", text)

namespace {

// The codec's name, with the level when one was chosen: "deflate level 9".
std::string CodecWords(const OutputSettings& s) {
    std::string codec = CompressionName(s.compression);
    if (s.level == 0 || !TakesLevel(s.compression)) return codec;
    return Words(QF_WORDS("%1 level %2"), {codec, std::to_string(s.level)});
}

}  // namespace

std::string OutputReportLine(const OutputSettings& s) {
    std::vector<std::string> parts;
    parts.push_back(Words(QF_WORDS("layout %1"), {LayoutName(s.layout)}));
    parts.push_back(s.stack ? Words(QF_WORDS("one stack per data file (TIFF kinds)")) : Words(QF_WORDS("a file per frame")));
    if (s.ome) parts.push_back(Words(QF_WORDS("OME-TIFF")));
    if (s.bigTiff) parts.push_back(Words(QF_WORDS("BigTIFF")));
    const std::string codec = CodecWords(s);
    parts.push_back(s.predictor && s.compression != Compression::kNone
                        ? Words(QF_WORDS("compression %1 with the predictor (TIFF kinds)"), {codec})
                        : Words(QF_WORDS("compression %1 (TIFF kinds)"), {codec}));
    const std::string pixelSize = Trimmed(s.pixelSize), frames = Trimmed(s.frames), folder = Trimmed(s.outputDir);
    parts.push_back(pixelSize.empty() ? Words(QF_WORDS("no pixel size")) : Words(QF_WORDS("pixel size %1"), {pixelSize}));
    parts.push_back(folder.empty() ? Words(QF_WORDS("outputs beside the data")) : Words(QF_WORDS("outputs in %1"), {folder}));
    parts.push_back(s.namePattern.empty() ? Words(QF_WORDS("usual names")) : Words(QF_WORDS("names %1"), {s.namePattern}));
    parts.push_back(s.recursive ? Words(QF_WORDS("subfolders too")) : Words(QF_WORDS("no subfolders")));
    if (s.mirror) parts.push_back(Words(QF_WORDS("subfolders mirrored")));
    parts.push_back(Words(QF_WORDS("input bits %1"), {std::to_string(s.inputBits)}));
    parts.push_back(frames.empty() ? Words(QF_WORDS("every frame")) : Words(QF_WORDS("frames %1"), {frames}));
    if (const auto globs = ExcludeGlobs(s.exclude); !globs.empty()) {
        parts.push_back(Words(QF_WORDS("passing over %1"), {Joined(globs, " ")}));
    }
    parts.push_back(s.onlyOrx ? Words(QF_WORDS("data files named *.orx only")) : Words(QF_WORDS("data files named *.orx*")));
    if (s.salvage) parts.push_back(Words(QF_WORDS("complete frames of cut-off files converted")));
    if (s.keepWatching) parts.push_back(Words(QF_WORDS("new data files converted until Cancel")));
    return Words(QF_WORDS("Output options: %1"), {Joined(parts, ", ")});
}

std::string OutputSummary(const OutputSettings& s) {
    const OutputSettings defaults;
    std::vector<std::string> parts;
    if (!s.namePattern.empty()) parts.push_back(Words(QF_WORDS("names %1"), {s.namePattern}));
    if (s.recursive) parts.push_back(s.mirror ? Words(QF_WORDS("subfolders mirrored")) : Words(QF_WORDS("subfolders")));
    if (s.stack) parts.push_back(Words(QF_WORDS("stacks")));
    if (s.ome) parts.push_back(Words(QF_WORDS("OME-TIFF")));
    if (s.bigTiff) parts.push_back(Words(QF_WORDS("BigTIFF")));
    if (s.layout != defaults.layout) parts.push_back(Words(QF_WORDS("layout %1"), {LayoutName(s.layout)}));
    if (s.compression != defaults.compression) {
        const std::string codec = CodecWords(s);
        parts.push_back(s.predictor ? Words(QF_WORDS("%1 with the predictor"), {codec}) : codec);
    }
    if (const std::string size = Trimmed(s.pixelSize); !size.empty()) {
        parts.push_back(Words(QF_WORDS("pixel size %1"), {size}));
    }
    if (s.inputBits != defaults.inputBits) parts.push_back(Words(QF_WORDS("%1-bit input"), {std::to_string(s.inputBits)}));
    if (const std::string frames = Trimmed(s.frames); !frames.empty()) parts.push_back(Words(QF_WORDS("frames %1"), {frames}));
    if (const auto globs = ExcludeGlobs(s.exclude); !globs.empty()) {
        parts.push_back(Words(QF_WORDS("passing over %1"), {Joined(globs, " ")}));
    }
    if (s.onlyOrx) parts.push_back(Words(QF_WORDS("*.orx only")));
    if (s.salvage) parts.push_back(Words(QF_WORDS("salvage")));
    if (s.keepWatching) parts.push_back(Words(QF_WORDS("keeps converting")));
    // Last: a long folder would push the short choices out of the line.
    if (const std::string folder = Trimmed(s.outputDir); !folder.empty()) {
        parts.push_back(Words(QF_WORDS("into %1"), {folder}));
    }
    if (parts.empty()) return Words(QF_WORDS("Output options: the defaults"));
    return Words(QF_WORDS("Output options: %1"), {Joined(parts, ", ")});
}

#undef QF_WORDS

}  // namespace qf::present
