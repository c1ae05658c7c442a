#include "cli/output_options.h"

#include <CLI/CLI.hpp>
#include <memory>


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

void AddOutputOptions(CLI::App* cmd, RunOptions& run) {
    ExportOptions& o = run.exportOptions;
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
                        "With --compress deflate or zstd: the compression level, deflate " + LevelsText(Compression::kDeflate) +
                            "; zstd " + LevelsText(Compression::kZstd))
            ->type_name("N");
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
    cmd->parse_complete_callback([&run, layout, level] {
        // OME readers do not heed the Orientation tag: an OME-TIFF's rows are top first.
        if (run.exportOptions.ome && layout->count() == 0) run.exportOptions.layout = Layout::kPortable;
        // A level typed as 0 is no level (0 in the value is the codec's usual one).
        if (level->count() > 0 && run.exportOptions.level == 0) {
            throw CLI::ValidationError(LevelProblem(run.exportOptions.compression, 0));
        }
        if (std::optional<OptionsProblem> problem = Validate(run)) throw CLI::ValidationError(problem->message);
    });
}

}  // namespace qf
