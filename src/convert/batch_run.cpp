#include "convert/batch_run.h"

#include <bitset>
#include <new>
#include <unordered_set>

#include "convert/frame_pull.h"
#include "convert/output_naming.h"
#include "export/export_kinds.h"
#include "platform/directory.h"
#include "platform/display_name.h"
#include "platform/output_file.h"
#include "platform/status_error.h"

namespace qf {
namespace {

class WaitScope {
public:
    explicit WaitScope(BatchObserver& o) : observer_(o) { observer_.BeginWait(); }
    ~WaitScope() { observer_.EndWait(); }
    WaitScope(const WaitScope&) = delete;
    WaitScope& operator=(const WaitScope&) = delete;

private:
    BatchObserver& observer_;
};

// Walks one folder; holds what lives for the whole run.
class Walk {
public:
    Walk(CGetdatactrl1& control, const std::function<int()>& askKind,
         const BatchSettings& settings, BatchObserver& observer)
        : control_(control), askKind_(askKind), settings_(settings), observer_(observer) {}

    void Run(const std::string& folder);
    BatchReport& report() { return report_; }

private:
    enum class Outcome { kDone, kFailed, kStop };

    bool OpenFolder(const std::string& folder, std::vector<std::string>& names);
    void Convert(const std::string& path);
    Outcome FrameLoop(const std::string& path, const ExportKindInfo& kind);
    Outcome ConvertFrame(const std::string& path, const ExportKindInfo& kind, std::int16_t w,
                         std::string& working);
    Outcome WriteFailed(const std::string& path, std::int16_t w, const std::string& output,
                        const ExportKindInfo& kind, const Error& error);
    std::string RefusedName(const std::string& working) const;
    bool StopRequested();
    void ListUnconverted(const std::vector<std::string>& dataFiles, std::size_t from);
    void Pause() const;
    void Fail(const std::string& dataFile, int frame, const std::string& path, std::string cause);
    void Note(std::string line);

    CGetdatactrl1& control_;
    const std::function<int()>& askKind_;
    const BatchSettings& settings_;
    BatchObserver& observer_;
    BatchReport report_;
    OutputFolder folder_;
    std::string prefix_;
    std::unordered_set<std::string> dataNames_;  ///< every listed name holding ".orx"
    std::unordered_set<std::string> written_;
};

void Walk::Fail(const std::string& dataFile, int frame, const std::string& path, std::string cause) {
    report_.failures.push_back(BatchFailure{dataFile, frame, path, std::move(cause)});
    observer_.Failed(report_.failures.back());
}

void Walk::Note(std::string line) {
    report_.notes.push_back(std::move(line));
    observer_.Noted(report_.notes.back());
}

bool Walk::StopRequested() {
    if (!settings_.stopRequested || !settings_.stopRequested()) return false;
    report_.stop = BatchStop::kInterrupted;
    return true;
}

void Walk::Pause() const {
    if (settings_.pause) settings_.pause(settings_.settle);
    else Sleep(settings_.settle);
}

// The folder is opened once: every output is made relative to it, so a run writes only
// into the folder it listed, whatever happens to the folder's path meanwhile.
bool Walk::OpenFolder(const std::string& folder, std::vector<std::string>& names) {
    const Status opened = folder_.Open(folder);
    Result<std::vector<std::string>> listing = opened.ok() ? ListFolder(folder_.fd()) : opened.error();
    if (!listing.ok()) {
        Fail(folder, kNoFrame, folder, "cannot read folder: " + listing.message());
        report_.stop = BatchStop::kFolderUnreadable;
        return false;
    }
    prefix_ = folder.size() > 1 && folder.back() == '/' ? folder : folder + "/";
    if (folder == "/") prefix_ = "/";
    if (int swept = SweepStaleTemporaries(folder_, listing.value()); swept > 0) {
        Note(DisplayName(folder) + ": removed " + std::to_string(swept) + " temporary file" +
             (swept == 1 ? "" : "s") + " left by an earlier run that was stopped");
    }
    names = std::move(listing.value());
    return true;
}

void Walk::Run(const std::string& folder) {
    std::vector<std::string> names;
    if (!OpenFolder(folder, names)) return;
    std::vector<std::string> dataFiles;
    for (const std::string& name : names) {
        if (name.find(".orx") == std::string::npos) continue;
        dataNames_.insert(name);
        dataFiles.push_back(prefix_ + name);
    }
    for (std::size_t i = 0; i < dataFiles.size(); ++i) {
        if (report_.stop == BatchStop::kNone && StopRequested()) report_.stoppedIn.clear();
        if (report_.stop != BatchStop::kNone) {
            ListUnconverted(dataFiles, i);
            break;
        }
        observer_.FileStarted(dataFiles[i], static_cast<int>(i + 1), static_cast<int>(dataFiles.size()));
        Convert(dataFiles[i]);
    }
    if (settings_.sync && report_.framesWritten > 0) {
        if (Status synced = folder_.Sync(); !synced.ok()) {
            Fail(folder, kNoFrame, folder, "cannot flush the folder to disk: " + synced.message());
        }
    }
}

// What a stop left: the data files not reached (only those that are data files).
void Walk::ListUnconverted(const std::vector<std::string>& dataFiles, std::size_t from) {
    for (std::size_t j = from; j < dataFiles.size(); ++j) {
        if (KindOfEntry(folder_.fd(), dataFiles[j].substr(prefix_.size())).regular) {
            report_.notConverted.push_back(dataFiles[j]);
        }
    }
}

void Walk::Convert(const std::string& path) {
    const EntryKind entry = KindOfEntry(folder_.fd(), path.substr(prefix_.size()));
    if (!entry.regular) {
        // A folder or a FIFO named like a data file is none: worth a word, not a failure.
        if (entry.missing || entry.why.find("cannot open") == std::string::npos) {
            Note(DisplayName(path) + ": " + entry.why + "; skipped");
        } else {
            Fail(path, kNoFrame, path, entry.why + "; skipped");
        }
        return;
    }
    ++report_.dataFiles;
    if (Status loaded = control_.LoadFile(path); !loaded.ok()) {
        Fail(path, kNoFrame, path, "cannot load: " + loaded.message());
        return;
    }
    Pause();
    const int asked = askKind_();
    const ExportKindInfo* kind = FindExportKind(asked);
    if (!kind) {
        Fail(path, kNoFrame, path, "export kind " + std::to_string(asked) + " is not one of 0 to 3");
        return;
    }
    if (FrameLoop(path, *kind) == Outcome::kDone) ++report_.filesConverted;
}

Walk::Outcome Walk::FrameLoop(const std::string& path, const ExportKindInfo& kind) {
    std::bitset<65536> seen;
    const std::int16_t initial = control_.GetFrameNumber();
    std::string working = path;
    Outcome outcome = Outcome::kDone;
    std::int16_t next = initial;
    bool first = true;
    do {
        WaitScope frameWait(observer_);
        const std::int16_t w = control_.GetFrameNumber();
        if (StopRequested()) {
            if (first) report_.notConverted.push_back(path);
            else report_.stoppedIn = path;
            return Outcome::kStop;
        }
        first = false;
        seen.set(static_cast<std::uint16_t>(w));
        Outcome frame = ConvertFrame(path, kind, w, working);
        if (frame == Outcome::kStop) return frame;
        if (frame == Outcome::kFailed) outcome = frame;
        control_.NextFrame();
        Pause();
        next = control_.GetFrameNumber();
        if (next != initial && seen.test(static_cast<std::uint16_t>(next))) {
            Fail(path, next, path, "frame numbers repeat without coming back to frame " +
                                       std::to_string(initial) + "; rest of the file skipped");
            return Outcome::kFailed;
        }
    } while (next != initial);
    return outcome;
}

Walk::Outcome Walk::ConvertFrame(const std::string& path, const ExportKindInfo& kind,
                                 std::int16_t w, std::string& working) {
    FrameImage frame;
    try {
        frame = PullFrame(control_, kind.kind);
    } catch (const StatusError& e) {
        Fail(path, w, path, e.what());
        report_.stop = BatchStop::kFrameFailed;
        return Outcome::kStop;
    }
    working = NextOutputPath(working, w, kind.extension);
    if (std::string refused = RefusedName(working); !refused.empty()) {
        Fail(path, w, path, refused);
        return Outcome::kFailed;
    }
    if (written_.contains(working)) {
        Fail(path, w, working, "already written by an earlier frame in this run; not overwritten");
        return Outcome::kFailed;
    }
    OutputTarget target(folder_.fd(), working.substr(prefix_.size()), working);
    target.sync = settings_.sync;
    const Status written = kind.write(target, frame);
    if (!written.ok()) return WriteFailed(path, w, working, kind, written.error());
    written_.insert(working);
    ++report_.framesWritten;
    observer_.FrameWritten(working);
    observer_.FrameShown(frame, kind.kind);
    return Outcome::kDone;
}

// A frame that could not be written: what it means for the run.
Walk::Outcome Walk::WriteFailed(const std::string& path, std::int16_t w, const std::string& output,
                                const ExportKindInfo& kind, const Error& error) {
    switch (error.kind) {
        case ErrorKind::kInvalid:
        case ErrorKind::kNoSamples:  // the frame's fault, not the output's
            Fail(path, w, path, error.message + "; not written");
            return Outcome::kFailed;
        case ErrorKind::kOutOfMemory:
            Fail(path, w, path, error.message);
            report_.stop = BatchStop::kFrameFailed;
            return Outcome::kStop;
        case ErrorKind::kCannotCreate:
            Fail(path, w, output, error.message);
            if (!kind.tiff) return Outcome::kFailed;
            report_.stop = BatchStop::kTiffCannotCreate;
            return Outcome::kStop;
        default:
            Fail(path, w, output, error.message);
            return Outcome::kFailed;
    }
}

// Why an output may not be written at all: a name outside the folder, or one that a data
// file of this run has. "" when it may.
std::string Walk::RefusedName(const std::string& working) const {
    const bool inFolder = working.size() > prefix_.size() && working.starts_with(prefix_) &&
                          working.find('/', prefix_.size()) == std::string::npos;
    if (!inFolder) return "output name " + DisplayName(working) + " falls outside the folder; not written";
    if (dataNames_.contains(working.substr(prefix_.size()))) {
        return "would replace the data file " + DisplayName(working) + "; not written";
    }
    return "";
}

}  // namespace

std::string BatchFailure::Line() const {
    if (frame != kNoFrame && path == dataFile) {
        return DisplayName(path) + ": frame " + std::to_string(frame) + ": " + cause;
    }
    return DisplayName(path) + ": " + cause;
}

std::string StopReason(BatchStop stop) {
    switch (stop) {
        case BatchStop::kNone: return "";
        case BatchStop::kFolderUnreadable: return "the folder could not be read";
        case BatchStop::kTiffCannotCreate: return "a TIFF output could not be created";
        case BatchStop::kFrameFailed: return "a frame could not be read from its data file";
        case BatchStop::kInterrupted: return "interrupted";
    }
    return "";
}

BatchReport RunBatch(CGetdatactrl1& control, const std::string& folder,
                     const std::function<int()>& askKind, const BatchSettings& settings,
                     BatchObserver& observer) {
    Walk walk(control, askKind, settings, observer);
    WaitScope wait(observer);
    try {
        walk.Run(folder);
    } catch (const std::exception& e) {
        // A control call that failed outside a frame pull, or memory that ran out.
        BatchReport& report = walk.report();
        report.failures.push_back(BatchFailure{folder, kNoFrame, folder, std::string("run stopped: ") + e.what()});
        observer.Failed(report.failures.back());
        report.stop = BatchStop::kFrameFailed;
    }
    return std::move(walk.report());
}

}  // namespace qf
