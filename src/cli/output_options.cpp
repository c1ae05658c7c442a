#include "cli/output_options.h"

#include <CLI/CLI.hpp>
#include <memory>

#include "export/export_kinds.h"

namespace qf {
namespace {

// Turns a parser of ours into a CLI11 check that stores the value it parsed.
template <class T, class Parse>
CLI::Validator Into(T& target, Parse parse, const char* name) {
    return CLI::Validator(
        [&target, parse](std::string& text) -> std::string {
            auto parsed = parse(text);
            if (!parsed.ok()) return parsed.message();
            target = parsed.value();
            return std::string();
        },
        "", name);
}

}  // namespace

std::string OutputOptionsProblem(const ExportOptions& options, int kind, bool pixelSizeGiven) {
    const ExportKindInfo* info = FindExportKind(kind);
    const std::string kindName = info ? info->name : "?";
    if (pixelSizeGiven && options.layout != Layout::kPortable && !options.stack) {
        return "--pixel-size needs --layout portable or --stack: the exact layout keeps today's tags, which hold "
               "no size";
    }
    if (options.stack && info && !info->tiff) {
        return "--stack makes multi-page TIFFs; " + kindName + " is a bitmap, which holds one frame (use a TIFF kind)";
    }
    if (options.bigTiff && !options.stack) return "--bigtiff applies to --stack only (a frame's TIFF is far below 4 GiB)";
    if (options.compression != Compression::kNone && info && !info->tiff) {
        return std::string("--compress ") + CompressionName(options.compression) + " applies to the TIFF kinds only; " +
               kindName + " is an uncompressed bitmap";
    }
    if (!CompressionAvailable(options.compression)) {
        return std::string("--compress ") + CompressionName(options.compression) +
               ": the libtiff this program was built with has no " + CompressionName(options.compression) +
               " codec; use another or none";
    }
    return "";
}

void AddOutputOptions(CLI::App* cmd, ExportOptions& o, const int& kind) {
    cmd->add_option("--layout", "Row order and header: exact (default; today's bytes: TIFF bottom row first with "
                                "Orientation 4) or portable (TIFF top row first with Orientation 1 and resolution "
                                "tags, no FillOrder; BMP reserved bytes zero), which more programs show right way up")
        ->type_name("exact|portable")
        ->check(Into(o.layout, ParseLayout, "layout"));
    cmd->add_option("--compress", "TIFF compression: none (default), deflate, zstd or lzw; deflate and zstd use "
                                  "the horizontal predictor, which suits 16-bit frames")
        ->type_name("none|deflate|zstd|lzw")
        ->check(Into(o.compression, ParseCompression, "compression"));
    CLI::Option* size =
        cmd->add_option("--pixel-size", "The size of one pixel, e.g. 6.5um, 650nm or 6.5x7um (width x height; "
                                         "unit nm, um or mm, um when none), written as the resolution in pixels "
                                         "per centimetre (and in a stack's ImageJ description); needs --layout portable or --stack")
            ->type_name("VALUE[nm|um|mm]")
            ->check(Into(o.pixelSize, ParsePixelSize, "size"));
    cmd->add_flag("--stack", o.stack,
                  "Write one multi-page TIFF per data file (its frames as pages, in frame order, named as its "
                  "first frame's output) instead of one file per frame; ImageJ opens it as a stack. TIFF kinds only");
    cmd->add_flag("--bigtiff", o.bigTiff,
                  "Write stacks as BigTIFF even when they stay below 4 GiB (above, they are BigTIFF anyway)");
    cmd->parse_complete_callback([&o, &kind, size] {
        const std::string problem = OutputOptionsProblem(o, kind, size->count() > 0);
        if (!problem.empty()) throw CLI::ValidationError(problem);
    });
}

}  // namespace qf
