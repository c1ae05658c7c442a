// The dialog's run on its worker thread, apart from the window code: this side includes the
// core (whose COM stand-ins do not mix with <windows.h>), the window side only this header.
// The run's watch (present/run_watch.h) hears it; the window is woken for each change and
// draws the watch's snapshot.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "convert/run_options.h"
#include "present/run_snapshot.h"

namespace qf::present { class RunWatch; }

namespace qf::win {

class DialogRun {
public:
    /// `wake` is called from the run's thread, in order, for each change of the run's
    /// snapshot; it hands the news to the window. `pause`, when set, takes the run's pauses
    /// (tests hold the run there).
    DialogRun(std::function<void(std::chrono::milliseconds)> pause, std::function<void(present::RunChange)> wake);
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
    /// Set before Start: when the run's plan finds names that clash, `tell` is called on the
    /// run's thread and the run waits, before writing anything, for AnswerClashes (or Stop).
    void AskAboutClashes(std::function<void()> tell) { tellClashes_ = std::move(tell); }
    /// The clashes the run waits to hear about; empty when it waits for nothing.
    std::optional<NameClashes> PendingClashes();
    /// True: the run goes on under the names it has; false: it ends, nothing converted.
    void AnswerClashes(bool carryOn);
    /// The kind the run takes from its next data file on.
    void SetKind(int kind) { kind_ = kind; }
    /// Stops the run after the frame being written; the snapshot says so until it ends.
    void Stop();
    /// Waits for the run's thread once kEnd has come.
    void Join();
    bool running() const { return thread_.joinable(); }
    /// Where the current (or last) run stands; empty before the first.
    present::RunSnapshot Snapshot() const;

private:
    void Work(const std::string& folder, const RunOptions& options, bool keepWatching);
    bool WaitForAnswer(const NameClashes& clashes);

    std::function<void(std::chrono::milliseconds)> pause_;
    std::function<void(present::RunChange)> wake_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<int> kind_{0};
    std::optional<std::chrono::milliseconds> watchSettle_, watchGiveUp_;
    std::function<void()> tellClashes_;
    std::mutex answerMutex_;
    std::condition_variable answered_;
    std::optional<NameClashes> clashes_;  ///< asked and not answered
    std::optional<bool> answer_;
    /// The current (or last) run's; replaced by Start only, once the last run's thread is gone.
    std::unique_ptr<present::RunWatch> watch_;
};

}  // namespace qf::win
