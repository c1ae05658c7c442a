// The plan of a run, made before any output is written: the data files in name order,
// each one's frames as its control steps them (headers only, no samples), and each
// frame's output or the reason it gets none. It gives the totals a user sees, the dry
// run's list, and the names a shard of the run must honour.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "control/getdata_ctrl.h"
#include "convert/data_files.h"
#include "convert/frame_pull.h"
#include "convert/frame_selection.h"
#include "convert/output_namer.h"
#include "convert/run_options.h"
#include "export/export_kinds.h"
#include "platform/output_file.h"

namespace qf {

inline constexpr std::size_t kNoParent = static_cast<std::size_t>(-1);

/// One folder the run reads data files from, and where their outputs go. Folders are not
/// held open for the whole run (a tree may hold more than a process may open): each is
/// reached again from the input's folder, one name at a time, when its files' turn comes.
struct PlanFolder {
    std::string path;                ///< as the user named it (or as recursion found it)
    std::size_t parent = kNoParent;  ///< the folder it was found in; kNoParent: the input's own
    std::string name;                ///< its name there
    std::string identity;            ///< what it was when listed; a folder swapped since is not walked
    std::string relative;            ///< its path below the input's folder ("" for that folder)
    OutputPlace place;
};

struct PlannedFrame {
    std::int16_t number = 0;
    bool selected = true;  ///< converted (see --frames); the others are stepped past
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
    bool planned = false;      ///< the plan looked at it (a stop while planning leaves the rest)
    FileFacts facts;           ///< the file as planned; a file changed since then is not converted
    std::uint64_t framePixels = 0;  ///< width x height of its frames
    std::vector<PlannedFrame> frames;
    /// Frames of no samples (width or height 0) are not listed one by one: how many, and
    /// the first and last number. `frames` is then empty.
    int noSampleFrames = 0;
    std::int16_t firstFrame = 0, lastFrame = 0;
    std::string loopFailure;   ///< frame numbers that repeat without coming back ("" for none)
    std::int16_t loopFrame = 0;
    bool inShard = true;       ///< this process converts it (see --shard)
};

/// A folder of the tree that could not be walked: a failure, never only a note.
struct PlanFailure {
    std::string path;
    std::string cause;
};

struct Plan {
    std::shared_ptr<OutputFolder> root;       ///< the input folder (a single file's folder), held for the run
    std::shared_ptr<OutputFolder> outputDir;  ///< --output-dir, or null for beside the data
    bool mirror = false;                      ///< subfolders' outputs go to the same subfolders of outputDir
    std::vector<PlanFolder> folders;          ///< folders[0] is the root's
    std::vector<PlannedFile> files;
    std::vector<std::string> notes;  ///< temporaries swept
    std::vector<PlanFailure> failures;
    std::string unreadable;          ///< the input could not be read: why ("" when it could)
    std::string unreadablePath;

    /// Data files (kData or kLoadFailed) this process converts, and their selected frames.
    int FilesInShard() const;
    long FramesInShard() const;
    /// Pixels in the frames this process converts (for progress weighted by size).
    std::uint64_t PixelsInShard() const;
};

/// What the plan needs of the run besides its options.
struct PlanCalls {
    const ExportKindInfo* kind = nullptr;  ///< the kind the names are planned for
    std::function<void()> settle;          ///< after each load and each step
    std::function<bool()> stopRequested;
    /// Identities of the files the run reads as data whatever their names (the files named
    /// on the command line): no output takes their place.
    const std::set<std::string>* dataIds = nullptr;
    /// After each data file's header is read, with how many were read so far (a front end's
    /// "Planning: N data files found").
    std::function<void(int)> fileRead;
};

/// Plans the run over `input`, a folder or a single data file. `registry` holds the
/// names claimed so far (by earlier inputs of the same run).
Plan MakePlan(CGetdatactrl1& control, const std::string& input, const RunOptions& options,
              const PlanCalls& calls, NameRegistry& registry);

/// The one naming of a data file's outputs, which the plan, the dry run, the run, --shard
/// and the run's hand-over after a full disk all use: for each of `file`'s frames (its
/// `selected` set), in the order its control steps them, the output `kind` gives it in
/// `place`, claimed in `registry`. A frame not selected gets no name (the names after it
/// are cut as if it had one); a stack's pages all carry its first page's name.
std::vector<OutputName> NameOutputs(const OutputPlace& place, NameRegistry& registry, const RunOptions& options,
                                    const PlannedFile& file, const ExportKindInfo& kind);

/// "" when `file` is still what the plan found; else how it changed ("the file changed
/// after the run was planned (... bytes then, ... now)").
std::string ChangedSincePlanned(const PlannedFile& file, int folderFd);

}  // namespace qf
