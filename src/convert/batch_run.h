// The conversion of one folder: every entry whose name holds ".orx" is loaded into the
// acquisition control and each of its frames written as an image of the chosen kind.
// The dialog and the command line both run it; they differ only in how they ask for
// the kind and show progress and the report.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "control/getdata_ctrl.h"
#include "export/frame_image.h"

namespace qf {

inline constexpr int kNoFrame = -2147483647 - 1;

/// One thing that went wrong. `path` is what the user should look at: the data file,
/// or the output file when writing it failed.
struct BatchFailure {
    std::string dataFile;
    int frame = kNoFrame;  ///< the frame number, or kNoFrame when it is not a frame's
    std::string path;
    std::string cause;

    /// "PATH: cause", or "PATH: frame N: cause" when the frame is not in the path.
    std::string Line() const;
};

enum class BatchStop {
    kNone,              ///< the whole folder was walked
    kFolderUnreadable,  ///< the folder could not be listed
    kTiffCannotCreate,  ///< a TIFF output could not be created; the run stopped there
    kFrameFailed,       ///< a frame could not be pulled from the control; the run stopped
    kInterrupted,       ///< asked to stop; the frame being written was finished first
};

struct BatchReport {
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

    bool clean() const { return failures.empty() && stop == BatchStop::kNone; }
};

/// Why the run stopped, in words ("" when it did not).
std::string StopReason(BatchStop stop);

/// What the run tells its front end while it works. The wait scopes nest: one for the
/// whole walk, one for each frame.
class BatchObserver {
public:
    virtual ~BatchObserver() = default;
    virtual void BeginWait() {}
    virtual void EndWait() {}
    /// Data file `index` (from 1) of `total` is about to be loaded.
    virtual void FileStarted(const std::string& /*path*/, int /*index*/, int /*total*/) {}
    virtual void FrameWritten(const std::string& /*output*/) {}
    /// The frame just written, as pulled for `kind` (kind 2: `highBytes` only). Valid for
    /// the call alone: an observer that shows it copies what it needs.
    virtual void FrameShown(const FrameImage& /*frame*/, ExportKind /*kind*/) {}
    virtual void Failed(const BatchFailure& /*failure*/) {}
    /// A line worth saying that is no failure (see BatchReport::notes).
    virtual void Noted(const std::string& /*line*/) {}
};

struct BatchSettings {
    /// The pause after each load and after each step to the next frame.
    std::chrono::milliseconds settle{300};
    std::function<void(std::chrono::milliseconds)> pause;  ///< default: Sleep
    /// Each output reaches the disk before it replaces its name, and the folder's entries
    /// at the end, so that a power loss leaves old or new outputs, never empty ones.
    bool sync = false;
    /// Asked before each frame; true ends the run there (kInterrupted).
    std::function<bool()> stopRequested;
};

/// Converts every data file of `folder`. `askKind` is asked once per data file, after
/// its load (0 to 3: normalized TIFF, standardized TIFF, grayscale BMP, false-colour
/// BMP). Never throws: every failure is in the report.
BatchReport RunBatch(CGetdatactrl1& control, const std::string& folder,
                     const std::function<int()>& askKind, const BatchSettings& settings,
                     BatchObserver& observer);

}  // namespace qf
