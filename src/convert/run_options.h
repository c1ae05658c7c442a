// What a user chooses for a run, in one place: the command line's options and both dialogs'
// settings land here, one Validate says whether they can be written, and the plan and the
// run read them from here. A new option is one field here, one rule in Validate (when it
// combines with others), one control in each front end and one line in the report.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "convert/frame_selection.h"
#include "convert/output_namer.h"
#include "export/export_options.h"

namespace qf {

struct RunOptions {
    /// The pause after each load and after each step to the next frame; unset, the
    /// control's own (0 for ORX files; 300 ms for a control that does not say).
    std::optional<std::chrono::milliseconds> settle;
    /// The kind the plan names outputs for (the kind asked per file may differ in the
    /// dialog; each file is then named for its own kind as it converts).
    int plannedKind = 0;
    /// The kind may change between data files (the dialogs' radio buttons): the kind's own
    /// rules are then the run's (a bitmap ignores the TIFF options) and workers never run
    /// ahead into the next data file before it is entered.
    bool kindMayChange = true;
    bool dryRun = false;           ///< plan and report, write nothing
    std::string outputDir;         ///< "" for beside the data; else every output goes there
    std::shared_ptr<const NamePattern> pattern;  ///< null for the fixed naming rule
    bool noClobber = false;        ///< keep existing outputs (reported as kept)
    bool recursive = false;        ///< subfolders too (files first, then folders, in name order)
    ExportOptions exportOptions;   ///< layout, compression, pixel size; default: today's files
    int shardIndex = 1, shardCount = 1;  ///< convert only part K of N of the data files...
    std::size_t shardOffset = 0;         ///< ...counting them from here
    /// Each output reaches the disk before it replaces its name, and the folder's entries
    /// at the end, so that a power loss leaves old or new outputs, never empty ones.
    bool sync = false;
    /// Frames converted at once (see BatchSettings::makeControl); 0: one for each core this
    /// process may run on (JobsToRun).
    int jobs = 1;
    /// Data files cut off inside a frame convert their complete frames (the rest is one
    /// failure of the file).
    bool salvage = false;
    /// The frames of each data file converted (--frames); the others are stepped past.
    FrameSelection frames;
    /// Entries passed over by name (--exclude), and data files only when named "*.orx".
    std::vector<std::string> exclude;
    bool onlyOrx = false;
    /// With outputDir and recursive: each subfolder's outputs go to the same subfolder of
    /// outputDir (made as needed) instead of all into outputDir.
    bool mirror = false;
    /// How many bits the camera's intensities use (8 to 16): the bitmap kinds scale them to
    /// the 16-bit range (PullFrame); the TIFF kinds keep them. 16: today's outputs.
    int inputBits = 16;

    /// `jobs`, with 0 resolved to the cores this process may run on.
    int JobsToRun() const;
};

/// The combinations that cannot be written, one rule each.
enum class OptionsRule {
    kPixelSizeNeedsPortableOrStack,
    kStackNeedsTiff,
    kCompressionNeedsTiff,
    kCodecMissing,
    kPredictorNeedsCompression,
    kOmeNeedsStack,
    kOmeNeedsPortable,
    kBigTiffNeedsStack,
    kLevelOutOfRange,
    kMirrorNeedsRecursiveAndOutputDir,
    kInputBitsOutOfRange,
    kJobsOutOfRange,
};

struct OptionsProblem {
    OptionsRule rule;
    /// One sentence, naming the options as the command line spells them.
    std::string message;
};

/// Why `options` cannot be run, or nothing when they can. The same rules for every front end;
/// the decimal point and every word are the same in every locale.
std::optional<OptionsProblem> Validate(const RunOptions& options);

/// The levels `compression` takes: "1 (fastest) to 12 (smallest), default 1".
std::string LevelsText(Compression compression);
/// Why `level` is no level of `compression` ("" when it is one), naming the options as the
/// command line spells them.
std::string LevelProblem(Compression compression, int level);

/// The sentence a dialog shows for `rule` (its controls' words, not the command line's;
/// English, to be translated by the front end).
const char* DialogWords(OptionsRule rule);

/// The most jobs a run takes.
inline constexpr int kMostJobs = 1024;

/// What the plan found of the names outputs would take from each other, for a front end
/// that offers other names before anything is written.
struct NameClashes {
    int lost = 0;          ///< frames (or stacks) that would not be written: their names are taken
    bool stacks = false;   ///< what is lost are stacks
    int acrossFolders = 0;  ///< of those, the ones whose names a data file of another folder takes
};

}  // namespace qf
