// A watch over folders while a camera writes into them: each look lists the data files,
// asks AcquisitionWatch what each one's state calls for and converts what is complete and
// settled with the batch run. Every front end runs this loop; they differ in how they show
// its events (FolderWatchObserver) and in the clock that paces it (WatchClock).
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>

#include "platform/file_io.h"
#include <vector>

#include "control/getdata_ctrl.h"
#include "convert/acquisition_watch.h"
#include "convert/batch_run.h"
#include "convert/cut_off_files.h"

namespace qf {

/// Cuts a watch's pause short when something in its folders changed: the system's change
/// notices, where there are any. Never the only source: a watch still looks at each poll.
class WatchWake {
public:
    virtual ~WatchWake() = default;
    /// Waits at most `most` for a notice; true when one came (all that came are used up).
    virtual bool Wait(std::chrono::milliseconds most) = 0;
};

/// The time a watch goes by and its pauses between looks; tests step it themselves.
class WatchClock {
public:
    virtual ~WatchClock() = default;
    virtual WatchTime Now() = 0;
    /// Waits `pause`, or less when `stopped()` turns true or `wake` (may be null) has a
    /// notice; returns !stopped().
    virtual bool Pause(std::chrono::milliseconds pause, const std::function<bool()>& stopped, WatchWake* wake) = 0;
};

/// The system's clock. A signal handler may not wake a condition variable, so a pause is
/// cut into slices of a tenth of a second that each look at the stop; the first slice is
/// always slept, so that a file written frame by frame brings at most ten looks a second.
class SystemWatchClock : public WatchClock {
public:
    WatchTime Now() override;
    bool Pause(std::chrono::milliseconds pause, const std::function<bool()>& stopped, WatchWake* wake) override;
};

/// The notices of the system for `paths` (and, with `recursive`, their subfolders, new
/// ones too), or null where there are none (another system, a limit reached): the watch
/// then polls alone. Linux: inotify; elsewhere none yet.
std::unique_ptr<WatchWake> MakeChangeNotices(const std::vector<std::string>& paths, bool recursive);

/// A claim on a data file among watches: the one that holds it converts the file, the
/// others find its outputs there afterwards. Released when it goes.
class ConversionClaim {
public:
    ConversionClaim() = default;
    ~ConversionClaim() { Release(); }
    ConversionClaim(const ConversionClaim&) = delete;
    ConversionClaim& operator=(const ConversionClaim&) = delete;
    /// False when another watch holds the claim on `path` now; true otherwise (also where
    /// claims cannot be had: the conversion then goes ahead as convert's would).
    bool Take(const std::string& path);
    void Release();

private:
#ifdef _WIN32
    void* handle_ = nullptr;  ///< the data file, open to read, with a lock past its end
#else
    int fd_ = -1;
#endif
};

/// How a watch looks and converts; the conversion's choices are the BatchSettings given
/// with them.
struct FolderWatchSettings {
    std::vector<std::string> paths;  ///< folders (or single data files) to watch
    WatchTimes times;
    std::chrono::milliseconds poll{1000};
    bool salvage = false;  ///< a file given up converts its complete frames
    bool notify = true;    ///< wake on the system's change notices where it has them
    bool once = false;     ///< Run looks once and ends
};

/// A data file being written, as the last look found it.
struct BeingWritten {
    std::string path;
    WatchStep step;
};

/// Where a watch stands after a look.
struct WatchStanding {
    long converted = 0;                     ///< data files converted (by the watch, or named to Converted())
    std::vector<BeingWritten> beingWritten; ///< in the order the look found them
};

/// What a watch tells its front end, besides the batch run's events for each conversion.
/// Every call comes from the thread that runs the watch.
class FolderWatchObserver : public BatchObserver {
public:
    /// A look ended; `standing` says what it waits for.
    virtual void Looked(const WatchStanding& /*standing*/) {}
    /// Something is about to be said or converted (a front end takes its waiting line away).
    virtual void Acting() {}
    /// `path` is done: converted (the run's report of it), or a failure said once (a report
    /// holding that failure alone). Not called when a stop came before its conversion began.
    virtual void FileDone(const std::string& /*path*/, const BatchReport& /*report*/) {}
};

class FolderWatch {
public:
    /// `settings` are the conversion's (the stop is its stopRequested; a run of several jobs
    /// makes its controls with makeControl); `askKind` as for RunBatch.
    FolderWatch(FolderWatchSettings watch, BatchSettings settings, std::function<int()> askKind,
                FolderWatchObserver& observer);
    ~FolderWatch();
    FolderWatch(const FolderWatch&) = delete;
    FolderWatch& operator=(const FolderWatch&) = delete;

    /// The data files at `paths` were converted just now (by a run before the watch): those
    /// complete count as converted as they stand, and a later change of one is said once.
    void Converted(const std::vector<std::string>& paths);
    /// One look at every watched folder at `now`, converting what is due; false when a stop
    /// came (before or inside a conversion).
    bool Step(WatchTime now);
    /// Looks, pauses and looks again until a stop (with `once`: one look). The pause is the
    /// poll, shortened to when the next complete file is settled; `clock` paces it.
    void Run(WatchClock& clock);

    const WatchStanding& standing() const { return standing_; }
    /// The reports of the data files done so far, in the order they were done.
    const std::vector<BatchReport>& done() const { return done_; }
    /// A stop came inside a conversion (that conversion's report said so).
    bool interrupted() const { return interrupted_; }
    /// The pause before the next look after a look at `now`.
    std::chrono::milliseconds NextPause(WatchTime now) const;

private:
    struct Found;
    /// What one look found: the data files, and the folders it could not read (path, cause).
    struct Listing {
        std::vector<Found> found;
        std::vector<std::pair<std::string, std::string>> unreadable;
    };
    /// A folder as the last look listed it.
    struct FolderMemo {
        bool known = false;
        FileFacts facts;
        std::vector<std::string> dataNames;  ///< names taken for data files
        std::vector<std::string> folders;    ///< subfolders among the other names
    };
    Listing List();
    void ListFolder(const std::string& folder, const std::string& subfolder, int fd, bool whole, Listing& listing);
    bool Stopped() const { return settings_.stopRequested && settings_.stopRequested(); }
    void Act(const Found& file, const FileLook& look, const WatchStep& step);
    bool AlreadyDone(const std::string& path, const FileFacts& facts);
    void Convert(const Found& file, bool salvage);
    void Fail(const std::string& path, const std::string& cause);

    FolderWatchSettings watch_;
    BatchSettings settings_;
    std::function<int()> askKind_;
    FolderWatchObserver& observer_;
    AcquisitionWatch tracker_;
    std::shared_ptr<SalvageLog> salvaged_;
    std::unique_ptr<CGetdatactrl1> control_, salvaging_;
    std::unique_ptr<WatchWake> wake_;
    WatchStanding standing_;
    std::vector<WatchTime> readyAt_;  ///< when each complete file waiting at the last look is settled
    bool interrupted_ = false;
    std::set<std::string> unreadableSaid_;  ///< the folders said to be unreadable at the last look
    std::map<std::string, FolderMemo> memo_;  ///< by folder path
    long looks_ = 0;
    std::vector<BatchReport> done_;
};

/// A run over `folder` that ended whole, kept going (the dialogs' "Keep converting new
/// files"): a watch with the run's settings and name registry converts each new data file
/// there as it completes, until a stop; what the run converted counts as done. `report`
/// becomes the run's and the watch's together, stopped as a Cancel stops a run.
void KeepWatchingAfter(const std::string& folder, FolderWatchSettings watch, const BatchSettings& settings,
                       std::function<int()> askKind, FolderWatchObserver& observer, WatchClock& clock,
                       BatchReport& report);

}  // namespace qf
