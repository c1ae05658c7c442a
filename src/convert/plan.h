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
};

/// Plans the run over `input`, a folder or a single data file. `registry` holds the
/// names claimed so far (by earlier inputs of the same run).
Plan MakePlan(CGetdatactrl1& control, const std::string& input, const RunOptions& options,
              const PlanCalls& calls, NameRegistry& registry);

/// Walks the frame numbers of the loaded file the way a conversion steps them: until the
/// number comes back to the first one, or repeats without coming back.
struct FrameWalk {
    std::vector<std::int16_t> numbers;
    bool repeats = false;
    std::int16_t repeated = 0;  ///< the number that came again
};
FrameWalk WalkFrames(CGetdatactrl1& control, const std::function<void()>& settle);

/// Reaches the plan's folders again, one name at a time from the input's folder, checking
/// that each is the folder that was listed. It holds the folder it is at (and what callers
/// keep of the folders it gave out), never the whole tree.
class FolderCursor {
public:
    explicit FolderCursor(const Plan& plan) : plan_(plan) {}
    /// The open folder plan.folders[index]; why not ("cannot open folder P: cause"), when
    /// it cannot be reached as listed.
    Result<std::shared_ptr<OutputFolder>> Enter(std::size_t index);
    /// The cause of the last failure alone, for a line that names the folder itself.
    const std::string& cause() const { return cause_; }
    /// Where the outputs of plan.folders[index] (open as `data`) go: --output-dir, its
    /// mirrored subfolder (made when `create`; an unopened folder when it is missing and may
    /// not be made), or `data` itself.
    Result<std::shared_ptr<OutputFolder>> Output(std::size_t index, const std::shared_ptr<OutputFolder>& data,
                                                 bool create);

private:
    Error Failed(const std::string& path, ErrorKind kind, std::string cause);

    const Plan& plan_;
    std::size_t at_ = kNoParent;
    std::shared_ptr<OutputFolder> current_;
    std::string cause_;
    std::size_t mirrorAt_ = kNoParent;
    std::shared_ptr<OutputFolder> mirror_;
};


/// Whether `name` ends in the data files' extension (".orx"; on Windows in any case).
bool EndsInDataExtension(const std::string& name);
/// An entry whose name holds .orx but which is an image (a TIFF or a bitmap) is an output
/// of an earlier run (the naming rule gives run.orx.bak the output run.orx.tiff), not a data
/// file that would fail: true for such an entry of `folderFd`.
bool IsEarlierOutput(int folderFd, const std::string& name);
/// A name a run takes for a data file's before it looks inside: it holds ".orx" (with
/// `onlyOrx`, ends in it) and is no temporary of ours.
bool NamedAsDataFile(const std::string& name, bool onlyOrx);
/// The one rule of what counts as a data file of `folderFd` (the plan, the watch, the count
/// of data files in subfolders): named as one, and no image of an earlier run.
bool TakenAsDataFile(int folderFd, const std::string& name, bool onlyOrx);

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
