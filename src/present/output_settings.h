// The Output Options panels' choices as their fields and the settings hold them (texts as
// typed), their mapping onto the run's options and the words that show them: both dialogs
// edit these, a run gets a RunOptions made of them.
#pragma once

#include <string>
#include <vector>

#include "convert/run_options.h"

namespace qf::present {

/// The name pattern offered with one click: scan1_0000.tiff, scan1_0001.tiff, ...
inline constexpr char kSuggestedPattern[] = "{stem}_{frame:04}";

struct OutputSettings {
    Layout layout = Layout::kExact;
    Compression compression = Compression::kNone;
    bool stack = false;      ///< one multi-page TIFF per data file (TIFF kinds)
    bool ome = false;        ///< stacks as OME-TIFF (.ome.tif, the portable layout)
    bool bigTiff = false;    ///< stacks as BigTIFF even when a classic TIFF would hold them
    bool predictor = false;  ///< the horizontal predictor before compression
    int level = 0;           ///< the deflate or zstd level; 0 for the codec's usual one
    std::string pixelSize;   ///< as typed, e.g. "6.5um"; empty for none
    std::string outputDir;   ///< empty: beside the data
    std::string namePattern; ///< empty: the fixed naming rule
    bool recursive = false;
    bool mirror = false;     ///< each subfolder's outputs into the same subfolder of outputDir
    int inputBits = 16;      ///< the bits the camera's intensities use (8 to 16)
    std::string frames;      ///< e.g. "0-9,20,30-"; empty for every frame
    std::string exclude;     ///< globs separated by spaces or semicolons; empty for none
    bool onlyOrx = false;    ///< data files only when named "*.orx"
    bool salvage = false;    ///< files cut off inside a frame convert their complete frames
    bool keepWatching = false;  ///< after the run, keep converting new data files until Cancel

    bool operator==(const OutputSettings&) const = default;
};

/// The compressions in the panel's order, and the layouts.
inline constexpr Compression kCompressions[] = {Compression::kNone, Compression::kDeflate, Compression::kZstd,
                                                Compression::kLzw};
inline constexpr Layout kLayouts[] = {Layout::kExact, Layout::kPortable};

/// True when `compression` takes a level (deflate, zstd): the panels' level is enabled.
bool TakesLevel(Compression compression);
/// `level` as a remembered setting: kept when `compression` takes it, else 0 (the codec's
/// usual one), so that a setting no longer understood never fails a start.
int KeptLevel(Compression compression, long long level);

/// The globs of `exclude`, one each.
std::vector<std::string> ExcludeGlobs(const std::string& exclude);

/// Puts `settings` into `options` (the run's other choices stay); "" when done, else what
/// is wrong in one sentence, and `options` may be partly changed.
std::string ApplyOutputSettings(const OutputSettings& settings, RunOptions& options);

/// One line for the report: "Output options: layout portable, a stack per data file, ...".
std::string OutputReportLine(const OutputSettings& settings);
/// What differs from the defaults, short enough for a line of the main window.
std::string OutputSummary(const OutputSettings& settings);

}  // namespace qf::present
