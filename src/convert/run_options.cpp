#include "convert/run_options.h"

#include <array>

#include "export/export_kinds.h"
#include "export/page_encoder.h"
#include "platform/file_io.h"

namespace qf {
namespace {

struct RuleWords {
    OptionsRule rule;
    const char* dialog;
};

// The dialogs' words: their controls are named as the windows label them.
constexpr std::array kDialogWords{
    RuleWords{OptionsRule::kPixelSizeNeedsPortableOrStack,
              "A pixel size needs the portable layout or a stack: the exact layout keeps today's tags, which hold "
              "no size."},
    RuleWords{OptionsRule::kStackNeedsTiff, "A stack holds TIFF pages: choose a TIFF kind."},
    RuleWords{OptionsRule::kCompressionNeedsTiff, "Compression applies to the TIFF kinds: a bitmap is uncompressed."},
    RuleWords{OptionsRule::kCodecMissing, "This build's libtiff has no such codec; choose another compression."},
    RuleWords{OptionsRule::kPredictorNeedsCompression,
              "The predictor applies with a compression: an uncompressed TIFF has none."},
    RuleWords{OptionsRule::kOmeNeedsStack, "OME-TIFF applies to stacks: an OME-TIFF here is one per data file."},
    RuleWords{OptionsRule::kOmeNeedsPortable,
              "OME-TIFF writes rows top first, as OME readers expect: choose the portable layout."},
    RuleWords{OptionsRule::kLevelOutOfRange, "The compression level is not one the chosen compression takes."},
    RuleWords{OptionsRule::kBigTiffNeedsStack, "BigTIFF applies to stacks only: a frame's TIFF is far below 4 GiB."},
    RuleWords{OptionsRule::kMirrorNeedsRecursiveAndOutputDir,
              "Mirroring subfolders needs an output folder and \"Convert subfolders too\": it writes each "
              "subfolder's outputs into the same subfolder of the output folder."},
    RuleWords{OptionsRule::kInputBitsOutOfRange, "Input bits are 8 to 16."},
    RuleWords{OptionsRule::kJobsOutOfRange, "Jobs are 1 to 1024, or 0 for one per core."},
};

OptionsProblem Problem(OptionsRule rule, std::string message) { return OptionsProblem{rule, std::move(message)}; }

// The rules of how the TIFF options combine with each other, whatever the kind.
std::optional<OptionsProblem> TiffOptionsProblem(const ExportOptions& o) {
    if (o.pixelSize.known() && o.layout != Layout::kPortable && !o.stack) {
        return Problem(OptionsRule::kPixelSizeNeedsPortableOrStack,
                       "--pixel-size needs --layout portable or --stack: the exact layout keeps today's tags, which "
                       "hold no size");
    }
    if (o.predictor && o.compression == Compression::kNone) {
        return Problem(OptionsRule::kPredictorNeedsCompression,
                       "--predictor applies with --compress deflate, zstd or lzw (an uncompressed TIFF has none)");
    }
    if (o.ome && !o.stack) {
        return Problem(OptionsRule::kOmeNeedsStack, "--ome applies to --stack (an OME-TIFF here is one per data file)");
    }
    if (o.ome && o.layout != Layout::kPortable) {
        return Problem(OptionsRule::kOmeNeedsPortable,
                       "--ome writes rows top first, as OME readers expect (they do not heed the Orientation tag): "
                       "leave out --layout exact");
    }
    if (o.level != 0) {
        if (std::string problem = LevelProblem(o.compression, o.level); !problem.empty()) {
            return Problem(OptionsRule::kLevelOutOfRange, std::move(problem));
        }
    }
    if (o.bigTiff && !o.stack) {
        return Problem(OptionsRule::kBigTiffNeedsStack,
                       "--bigtiff applies to --stack only (a frame's TIFF is far below 4 GiB)");
    }
    if (!CompressionAvailable(o.compression)) {
        const std::string name = CompressionName(o.compression);
        return Problem(OptionsRule::kCodecMissing, "--compress " + name +
                                                       ": the libtiff this program was built with has no " + name +
                                                       " codec; use another or none");
    }
    return std::nullopt;
}

// A bitmap kind chosen for the whole run refuses what only TIFFs hold.
std::optional<OptionsProblem> KindProblem(const RunOptions& o) {
    const ExportKindInfo* info = FindExportKind(o.plannedKind);
    if (o.kindMayChange || !info || info->tiff) return std::nullopt;
    const std::string kind = info->name;
    if (o.exportOptions.stack) {
        return Problem(OptionsRule::kStackNeedsTiff,
                       "--stack makes multi-page TIFFs; " + kind + " is a bitmap, which holds one frame (use a TIFF kind)");
    }
    if (o.exportOptions.compression != Compression::kNone) {
        return Problem(OptionsRule::kCompressionNeedsTiff, std::string("--compress ") +
                                                               CompressionName(o.exportOptions.compression) +
                                                               " applies to the TIFF kinds only; " + kind +
                                                               " is an uncompressed bitmap");
    }
    return std::nullopt;
}

}  // namespace

std::string LevelsText(Compression compression) {
    const LevelRange range = LevelsOf(compression);
    return std::to_string(range.lowest) + " (fastest) to " + std::to_string(range.highest) + " (smallest), default " +
           std::to_string(range.usual);
}

std::string LevelProblem(Compression compression, int level) {
    const LevelRange range = LevelsOf(compression);
    if (compression == Compression::kNone) {
        return "--level applies with --compress deflate or zstd (without compression there is no level)";
    }
    if (!range.any()) {
        return std::string("--level applies to --compress deflate and zstd; ") + CompressionName(compression) +
               " has no levels";
    }
    if (level >= range.lowest && level <= range.highest) return "";
    return std::string("--level ") + std::to_string(level) + ": " + CompressionName(compression) + " takes " +
           LevelsText(compression);
}

int RunOptions::JobsToRun() const { return jobs > 0 ? jobs : DefaultJobs(); }

std::optional<OptionsProblem> Validate(const RunOptions& o) {
    // The kind first: "a bitmap holds one frame" says more than what --stack combines with.
    if (auto problem = KindProblem(o)) return problem;
    if (auto problem = TiffOptionsProblem(o.exportOptions)) return problem;
    // Alone it would change nothing, so it is refused rather than ignored.
    if (o.mirror && (!o.recursive || o.outputDir.empty())) {
        return Problem(OptionsRule::kMirrorNeedsRecursiveAndOutputDir,
                       "--mirror needs --recursive and --output-dir: it writes each subfolder's outputs into the same "
                       "subfolder of the output folder");
    }
    if (o.inputBits < 8 || o.inputBits > 16) {
        return Problem(OptionsRule::kInputBitsOutOfRange,
                       "--input-bits " + std::to_string(o.inputBits) + " is not 8 to 16");
    }
    if (o.jobs < 0 || o.jobs > kMostJobs) {
        return Problem(OptionsRule::kJobsOutOfRange, "--jobs " + std::to_string(o.jobs) + " is not 1 to 1024");
    }
    return std::nullopt;
}

const char* DialogWords(OptionsRule rule) {
    for (const RuleWords& words : kDialogWords) {
        if (words.rule == rule) return words.dialog;
    }
    return "These output options cannot be combined.";
}

}  // namespace qf
