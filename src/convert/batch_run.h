// The conversion of one folder (or one data file): every entry whose name holds ".orx"
// is loaded into the acquisition control and each of its frames written as an image of
// the chosen kind. The run plans first (convert/plan.h), then carries the plan out. The
// dialog and the command line both run it; they differ only in how they ask for the
// kind and show progress and the report.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "control/getdata_ctrl.h"
#include "control/orx_control.h"
#include "convert/frame_selection.h"
#include "convert/run_options.h"
#include "convert/output_namer.h"
#include "export/export_options.h"
#include "export/frame_image.h"
#include "platform/file_io.h"

namespace qf {

inline constexpr int kNoFrame = -2147483647 - 1;

/// What kind of failure a BatchFailure is, for the code that acts on it (the words are
/// in its cause).
enum class FailureKind {
    kOther,
    kNotLoaded,  ///< the control would not load the file (not an ORX file, for one)
    kNameTaken,  ///< the frame's output name is another data file's output (not written)
};

/// One thing that went wrong. `path` is what the user should look at: the data file,
/// or the output file when writing it failed.
struct BatchFailure {
    std::string dataFile;
    int frame = kNoFrame;  ///< the frame number, or kNoFrame when it is not a frame's
    std::string path;
    std::string cause;
    FailureKind kind = FailureKind::kOther;
    /// kNameTaken: the name is taken by a data file of another folder, whose outputs go
    /// into the same output folder.
    bool takenFromElsewhere = false;

    /// "PATH: cause", or "PATH: frame N: cause" when the frame is not in the path.
    std::string Line() const;
};

/// One frame in a dry run's list: its output, or why it gets none.
struct PlannedLine {
    int frame = 0;
    std::string output;
    std::string refusal;
    int pages = 0;  ///< a stack's page count (--stack), 0 for a frame's own output
};

/// What became of one data file (for reports that list every file).
struct FileRecord {
    std::string path;
    int framesPlanned = 0;
    std::vector<PlannedLine> plan;     ///< a dry run's list of the frames
    std::vector<std::string> written;  ///< outputs put in place (or, in a dry run, to be)
    std::vector<std::string> kept;     ///< outputs that existed and stayed (--no-clobber)
    bool converted = false;            ///< every frame written
};

enum class BatchStop {
    kNone,              ///< the whole folder was walked
    kFolderUnreadable,  ///< the folder could not be listed
    kTiffCannotCreate,  ///< a TIFF output could not be created; the run stopped there
    kFrameFailed,       ///< a frame could not be pulled from the control; the run stopped
    kInterrupted,       ///< asked to stop; the frame being written was finished first
};

struct BatchReport {
    bool dryRun = false;     ///< nothing was written: the report says what would be
    int dataFiles = 0;       ///< entries handed to the control
    int filesConverted = 0;  ///< data files whose every frame was written
    long framesWritten = 0;
    std::vector<BatchFailure> failures;
    /// Lines worth saying that are no failure: entries named like data files that are
    /// none, stale temporaries removed.
    std::vector<std::string> notes;
    BatchStop stop = BatchStop::kNone;
    /// After an interruption: the data file whose later frames were left ("" for none)...
    std::string stoppedIn;
    /// ...and the data files the run never reached.
    std::vector<std::string> notConverted;
    std::vector<FileRecord> files;  ///< in plan order, this process's share only
    int plannedDataFiles = 0;       ///< data files in the plan, every shard's
    int namedAgain = 0;             ///< data files an earlier input of the run already held
    long framesPlanned = 0;         ///< frames in the plan, this process's share
    double seconds = 0;             ///< from the start of planning to the end
    int jobs = 1;                   ///< frames converted at once
    /// The free memory that held the jobs below those asked; bytes 0 when nothing did.
    FreeMemory jobsHeldBy;

    bool clean() const { return failures.empty() && stop == BatchStop::kNone; }
};

/// Why the run stopped, in words ("" when it did not).
std::string StopReason(BatchStop stop);

/// What the run tells its front end while it works. Every call comes from the thread that
/// called RunBatch, in plan order, however many jobs the run has.
class BatchObserver {
public:
    virtual ~BatchObserver() = default;
    /// While planning: the headers of `found` data files of the input at hand were read.
    virtual void Planning(int /*found*/) {}
    /// The plan is made: `files` data files of `frames` frames in all will be converted.
    virtual void Planned(int /*files*/, long /*frames*/) {}
    /// Data file `index` (from 1) of `total` is about to be loaded.
    virtual void FileStarted(const std::string& /*path*/, int /*index*/, int /*total*/) {}
    /// ...and it has `frames` frames (called right after FileStarted).
    virtual void FileFrames(int /*frames*/) {}
    /// The plan's frames hold `pixels` pixels in all (called right after Planned; 0 when
    /// the control does not tell the sizes).
    virtual void PlannedPixels(std::uint64_t /*pixels*/) {}
    /// Each frame of the data file just started holds `pixels` pixels (right after FileFrames).
    virtual void FileFramePixels(std::uint64_t /*pixels*/) {}
    virtual void FrameWritten(const std::string& /*output*/) {}
    /// The frame just written, as pulled for `kind` (kind 2: `highBytes` only). Valid for
    /// the call alone: an observer that shows it copies what it needs.
    virtual void FrameShown(const FrameImage& /*frame*/, ExportKind /*kind*/) {}
    /// False when FrameShown does nothing, so that a run of several jobs keeps no frames
    /// for it.
    virtual bool ShowsFrames() const { return true; }
    virtual void Failed(const BatchFailure& /*failure*/) {}
    /// A line worth saying that is no failure (see BatchReport::notes).
    virtual void Noted(const std::string& /*line*/) {}
};

/// Names claimed so far in a run of several inputs, so that collisions across them follow
/// the same rule as within one: one registry for the plan, one for the conversion.
struct RunNames {
    NameRegistry planned;
    NameRegistry converted;
    /// Identities of files the run reads as data whatever their names (named on the
    /// command line): no output replaces them.
    std::set<std::string> dataIds;
};

/// The run's options and the calls through which it reaches its front end and the system.
struct BatchSettings : RunOptions {
    std::function<void(std::chrono::milliseconds)> pause;  ///< default: Sleep
    std::shared_ptr<RunNames> names;     ///< shared by the inputs of one run; null: this run's own
    /// Asked before each frame (and after its settle pause, by the workers too when there
    /// are several jobs: it must be safe to call from any thread); true ends the run there
    /// (kInterrupted), the frame being written finished and put in place first.
    std::function<bool()> stopRequested;
    /// A control for each worker of a run of several jobs: with more than one job each of
    /// that many workers has its own control, and the outputs, report and stop are those
    /// of one job; `pause` is then called from the workers. Unset, the run is one job on
    /// the caller's control.
    std::function<std::unique_ptr<CGetdatactrl1>()> makeControl;
    /// The memory frames may take; unset, what the system has free (AvailableMemory). Fewer
    /// jobs than asked run when their frames would not fit (a note says so, and whose limit).
    std::function<FreeMemory()> memoryForFrames;
    /// Asked once, on the run's thread, when every input is planned and before anything is
    /// written, when some names clash: false ends the run there (every data file not
    /// converted, the stop kInterrupted), so that the front end can start it again under
    /// other names. Unset: the run goes on.
    std::function<bool(const NameClashes&)> carryOnDespite;
};

/// The control every front end converts with: our ORX control, salvaging the complete frames
/// of files cut off inside a frame when `salvage` (and telling `log`, shared by a run's controls).
std::unique_ptr<CGetdatactrl1> MakeRunControl(bool salvage, const std::shared_ptr<SalvageLog>& log);

/// A run's settings for `options` as every front end starts one: its jobs counted (0: one
/// for each core this process may run on), a control for each worker from MakeRunControl
/// (salvaging into `log` under options.salvage).
BatchSettings SettingsToRun(const RunOptions& options, const std::shared_ptr<SalvageLog>& log = nullptr);

/// Converts every data file of `input`, a folder, or that one file. `askKind` is asked
/// once per data file, as the run enters it (0 to 3: normalized TIFF, standardized TIFF,
/// grayscale BMP, false-colour BMP). Never throws: every failure is in the report.
BatchReport RunBatch(CGetdatactrl1& control, const std::string& input,
                     const std::function<int()>& askKind, const BatchSettings& settings,
                     BatchObserver& observer);

/// The same over several inputs as one run: every input is planned first (the observer
/// hears one plan, its totals the whole run's), then each is converted in turn; names
/// collide across inputs as within one, and a stop leaves the later inputs' data files
/// not converted. One report per input planned: fewer than `inputs` only when a stop came
/// while planning. Never throws.
std::vector<BatchReport> RunBatches(CGetdatactrl1& control, const std::vector<std::string>& inputs,
                                    const std::function<int()>& askKind, const BatchSettings& settings,
                                    BatchObserver& observer);

}  // namespace qf
