#include "cli/output_options.h"

#include <CLI/CLI.hpp>
#include <memory>

#include "export/export_kinds.h"
#include "export/page_encoder.h"

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

// "1 (fastest) to 12 (smallest), default 1".
std::string LevelText(Compression compression) {
    const LevelRange range = LevelsOf(compression);
    return std::to_string(range.lowest) + " (fastest) to " + std::to_string(range.highest) + " (smallest), default " +
           std::to_string(range.usual);
}

// Why `level` is no level of the compression chosen, or "".
std::string LevelProblem(Compression compression, int level) {
    const LevelRange range = LevelsOf(compression);
    if (compression == Compression::kNone) {
        return "--level applies with --compress deflate or zstd (an uncompressed TIFF has no level)";
    }
    if (!range.any()) {
        return std::string("--level applies to --compress deflate and zstd; ") + CompressionName(compression) +
               " has no levels";
    }
    if (level >= range.lowest && level <= range.highest) return "";
    return std::string("--level ") + std::to_string(level) + ": " + CompressionName(compression) + " takes " +
           LevelText(compression);
}

}  // namespace

std::string OutputOptionsProblem(const ExportOptions& options, int kind, bool pixelSizeGiven, bool levelGiven) {
    const ExportKindInfo* info = FindExportKind(kind);
    const std::string kindName = info ? info->name : "?";
    if (pixelSizeGiven && options.layout != Layout::kPortable && !options.stack) {
        return "--pixel-size needs --layout portable or --stack: the exact layout keeps today's tags, which hold "
               "no size";
    }
    if (options.stack && info && !info->tiff) {
        return "--stack makes multi-page TIFFs; " + kindName + " is a bitmap, which holds one frame (use a TIFF kind)";
    }
    if (options.predictor && options.compression == Compression::kNone) {
        return "--predictor applies with --compress deflate, zstd or lzw (an uncompressed TIFF has none)";
    }
    if (levelGiven || options.level != 0) {
        if (std::string problem = LevelProblem(options.compression, options.level); !problem.empty()) return problem;
    }
    if (options.ome && !options.stack) return "--ome applies to --stack (an OME-TIFF here is one per data file)";
    if (options.ome && options.layout != Layout::kPortable) {
        return "--ome writes rows top first, as OME readers expect (they do not heed the Orientation tag): "
               "leave out --layout exact";
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
    CLI::Option* layout = cmd->add_option("--layout", "Row order and header: exact (default; today's bytes: TIFF bottom row first with "
                                "Orientation 4) or portable (TIFF top row first with Orientation 1 and resolution "
                                "tags, no FillOrder; BMP reserved bytes zero), which more programs show right way up")
        ->type_name("exact|portable")
        ->check(Into(o.layout, ParseLayout, "layout"));
    cmd->add_option("--compress", "TIFF compression: none (default; every reader), deflate (ImageJ, GDAL, Pillow, "
                                  "tifffile), lzw (ImageJ, GDAL, Pillow; tifffile with imagecodecs) or zstd (GDAL, "
                                  "Pillow; tifffile with imagecodecs; not ImageJ)")
        ->type_name("none|deflate|zstd|lzw")
        ->check(Into(o.compression, ParseCompression, "compression"));
    CLI::Option* level =
        cmd->add_option("--level", o.level,
                        "With --compress deflate or zstd: the compression level, deflate " + LevelText(Compression::kDeflate) +
                            "; zstd " + LevelText(Compression::kZstd))
            ->type_name("N");
    CLI::Option* size =
        cmd->add_option("--pixel-size", "The size of one pixel, e.g. 6.5um, 650nm or 6.5x7um (width x height; "
                                         "unit nm, um or mm, um when none), written as the resolution in pixels "
                                         "per centimetre (and in a stack's ImageJ description); needs --layout portable or --stack")
            ->type_name("VALUE[nm|um|mm]")
            ->check(Into(o.pixelSize, ParsePixelSize, "size"));
    cmd->add_flag("--stack", o.stack,
                  "Write one multi-page TIFF per data file (its frames as pages, in frame order, named as its "
                  "first frame's output) instead of one file per frame; ImageJ opens it as a stack. TIFF kinds only");
    cmd->add_flag("--predictor", o.predictor,
                  "With --compress: the horizontal predictor first, for smaller files; ImageJ 1.53t reads deflate "
                  "with the predictor as wrong values (lzw with it reads right; GDAL, Pillow and tifffile read both)");
    cmd->add_flag("--ome", o.ome,
                  "With --stack: write each stack as OME-TIFF (NAME.ome.tif, rows top first, OME-XML with its size, "
                  "frames as time points, significant bits from --input-bits and the pixel size), as OME-aware "
                  "readers (tifffile, napari, QuPath, OMERO) take it; ImageJ opens it as a plain stack");
    cmd->add_flag("--bigtiff", o.bigTiff,
                  "Write stacks as BigTIFF even when they stay below 4 GiB (above, they are BigTIFF anyway); "
                  "ImageJ 1.53t does not open BigTIFF");
    cmd->parse_complete_callback([&o, &kind, size, layout, level] {
        // OME readers do not heed the Orientation tag: an OME-TIFF's rows are top first.
        if (o.ome && layout->count() == 0) o.layout = Layout::kPortable;
        const std::string problem = OutputOptionsProblem(o, kind, size->count() > 0, level->count() > 0);
        if (!problem.empty()) throw CLI::ValidationError(problem);
    });
}

}  // namespace qf
