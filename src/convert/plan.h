// The plan of a run, made before any output is written: the data files in name order,
// each one's frames as its control steps them (headers only, no samples), and each
// frame's output or the reason it gets none. It gives the totals a user sees, the dry
// run's list, and the names a shard of the run must honour.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "control/getdata_ctrl.h"
#include "convert/output_namer.h"
#include "export/export_kinds.h"
#include "platform/output_file.h"

namespace qf {

/// One folder the run reads data files from, and where their outputs go.
struct PlanFolder {
    std::string path;  ///< as the user named it (or as recursion found it)
    OutputFolder data;
    std::shared_ptr<OutputFolder> output;  ///< the data folder itself, or --output-dir
    OutputPlace place;
};

struct PlannedFrame {
    std::int16_t number = 0;
    OutputName output;
};

struct PlannedFile {
    enum class State {
        kData,        ///< a data file the control loaded
        kNotData,     ///< named like one but a folder, a FIFO, a link to nothing: a note
        kUnreadable,  ///< the entry cannot be examined: a failure
        kLoadFailed,  ///< the control refused it: a failure
    };
    std::string path;
    std::string name;          ///< within its folder
    std::size_t folder = 0;    ///< index into Plan::folders
    State state = State::kData;
    std::string reason;        ///< why, for every state but kData
    std::vector<PlannedFrame> frames;
    std::uint64_t framePixels = 0;  ///< pixels in each frame, as pulled (0: not known)
    std::string loopFailure;   ///< frame numbers that repeat without coming back ("" for none)
    std::int16_t loopFrame = 0;
    bool inShard = true;       ///< this process converts it (see --shard)
};

struct Plan {
    std::vector<PlanFolder> folders;
    std::vector<PlannedFile> files;
    std::vector<std::string> notes;  ///< temporaries swept
    std::string unreadable;          ///< the input could not be read: why ("" when it could)
    std::string unreadablePath;

    /// Data files (kData or kLoadFailed) this process converts, and their frames.
    int FilesInShard() const;
    long FramesInShard() const;
    /// Pixels in the frames this process converts (for progress weighted by size).
    std::uint64_t PixelsInShard() const;
};

struct PlanOptions {
    const ExportKindInfo* kind = nullptr;  ///< the kind the names are planned for
    std::string outputDir;                 ///< "" for beside the data
    const NamePattern* pattern = nullptr;  ///< null for the fixed naming rule
    bool recursive = false;
    int shardIndex = 1, shardCount = 1;    ///< this process converts part K of N...
    std::size_t shardOffset = 0;           ///< ...counting data files from here
    std::function<void()> settle;          ///< after each load and each step
    std::function<bool()> stopRequested;
    bool dryRun = false;                   ///< change nothing: no folder made, no temporary swept
};

/// Plans the run over `input`, a folder or a single data file. `registry` holds the
/// names claimed so far (by earlier inputs of the same run).
Plan MakePlan(CGetdatactrl1& control, const std::string& input, const PlanOptions& options,
              NameRegistry& registry);

/// Walks the frame numbers of the loaded file the way a conversion steps them: until the
/// number comes back to the first one, or repeats without coming back.
struct FrameWalk {
    std::vector<std::int16_t> numbers;
    bool repeats = false;
    std::int16_t repeated = 0;  ///< the number that came again
};
FrameWalk WalkFrames(CGetdatactrl1& control, const std::function<void()>& settle);

}  // namespace qf
