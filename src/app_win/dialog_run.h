// The dialog's run on its worker thread, apart from the window code: this side includes the
// core (whose COM stand-ins do not mix with <windows.h>), the window side only this header.
// Everything the run says reaches the window as an update of plain strings and pixels.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "convert/run_options.h"
#include "present/frame_pixels.h"

namespace qf::win {

struct RunUpdate {
    enum Type { kStrip, kPicture, kFinished } type = kStrip;
    std::string strip;  ///< the strip's line (kStrip, kFinished)
    long runFrames = 0, runPlanned = 0;
    std::optional<double> fraction;  ///< the run's share done, by pixels (kStrip during a run)
    FramePixels picture;  ///< kPicture
    // kFinished:
    int light = 0;  ///< 2 clean, 3 failures or no data files, 4 stopped
    std::string failureMessage;  ///< what went wrong, or that the run was stopped; empty for a clean run
    bool framesShown = false;    ///< a frame of this run reached the view
    std::vector<std::string> reportLines;
    long framesWritten = 0;
};

class DialogRun {
public:
    /// `post` is called from the run's thread, in order; it hands the update to the window.
    /// `pause`, when set, takes the run's pauses (tests hold the run there).
    DialogRun(std::function<void(std::chrono::milliseconds)> pause, std::function<void(std::unique_ptr<RunUpdate>)> post);
    /// Stops a run that still goes and waits for it.
    ~DialogRun();
    DialogRun(const DialogRun&) = delete;
    DialogRun& operator=(const DialogRun&) = delete;

    /// Converts `folder` with `options` (valid: Validate said nothing), starting with `kind`;
    /// with `keepWatching` a run that ended whole goes on converting new data files there
    /// until Stop.
    void Start(const std::string& folder, int kind, const RunOptions& options, bool keepWatching = false);
    /// The settle and give-up times of the watch after a run (tests shorten them).
    void SetWatchTimes(std::chrono::milliseconds settle, std::chrono::milliseconds giveUp) {
        watchSettle_ = settle, watchGiveUp_ = giveUp;
    }
    /// The kind the run takes from its next data file on.
    void SetKind(int kind) { kind_ = kind; }
    /// Stops the run after the frame being written.
    void Stop() { stop_ = true; }
    /// Waits for the run's thread once its kFinished update has come.
    void Join();
    bool running() const { return thread_.joinable(); }

private:
    void Work(const std::string& folder, const RunOptions& options, bool keepWatching);

    std::function<void(std::chrono::milliseconds)> pause_;
    std::function<void(std::unique_ptr<RunUpdate>)> post_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<int> kind_{0};
    std::optional<std::chrono::milliseconds> watchSettle_, watchGiveUp_;
};

}  // namespace qf::win
