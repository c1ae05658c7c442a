#include "convert/batch_run.h"

#include <bitset>
#include <new>
#include <unordered_set>

#include "convert/frame_pull.h"
#include "convert/output_naming.h"
#include "export/false_color_bitmap.h"
#include "export/grayscale_bitmap.h"
#include "export/tiff_export.h"
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

bool IsTiffKind(int kind) { return kind == kNormalizedTiff || kind == kStandardizedTiff; }

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
    Outcome FrameLoop(const std::string& path, int kind);
    Outcome ConvertFrame(const std::string& path, int kind, std::int16_t w, std::string& working);
    std::string RefusedName(const std::string& working) const;
    WriteResult Write(const std::string& output, int kind, const FrameImage& frame);
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
    std::string error;
    FolderListing listing;
    if (folder_.Open(folder, &error)) {
        listing = ListFolder(folder_.fd());
        error = listing.error;
    }
    if (!error.empty()) {
        Fail(folder, kNoFrame, folder, "cannot read folder: " + error);
        report_.stop = BatchStop::kFolderUnreadable;
        return false;
    }
    prefix_ = folder.size() > 1 && folder.back() == '/' ? folder : folder + "/";
    if (folder == "/") prefix_ = "/";
    if (int swept = SweepStaleTemporaries(folder_, listing.names); swept > 0) {
        Note(DisplayName(folder) + ": removed " + std::to_string(swept) + " temporary file" +
             (swept == 1 ? "" : "s") + " left by an earlier run that was stopped");
    }
    names = std::move(listing.names);
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
        std::string error;
        if (!folder_.Sync(&error)) Fail(folder, kNoFrame, folder, "cannot flush the folder to disk: " + error);
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
    const std::int32_t loaded = control_.LoadFile(path);
    if (loaded != 0) {
        Fail(path, kNoFrame, path, "cannot load: " + control_.GetLoadError());
        return;
    }
    Pause();
    const int kind = askKind_();
    if (kind < kNormalizedTiff || kind > kFalseColorBitmap) {
        Fail(path, kNoFrame, path, "export kind " + std::to_string(kind) + " is not one of 0 to 3");
        return;
    }
    if (FrameLoop(path, kind) == Outcome::kDone) ++report_.filesConverted;
}

Walk::Outcome Walk::FrameLoop(const std::string& path, int kind) {
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

Walk::Outcome Walk::ConvertFrame(const std::string& path, int kind, std::int16_t w,
                                 std::string& working) {
    FrameImage frame;
    try {
        frame = PullFrame(control_, static_cast<ExportKind>(kind));
    } catch (const StatusError& e) {
        Fail(path, w, path, e.what());
        report_.stop = BatchStop::kFrameFailed;
        return Outcome::kStop;
    }
    working = NextOutputPath(working, w, IsTiffKind(kind) ? ".tiff" : ".bmp");
    if (std::string refused = RefusedName(working); !refused.empty()) {
        Fail(path, w, path, refused);
        return Outcome::kFailed;
    }
    if (written_.contains(working)) {
        Fail(path, w, working, "already written by an earlier frame in this run; not overwritten");
        return Outcome::kFailed;
    }
    if (frame.count == 0) {
        Fail(path, w, path, "the frame has no samples (its width or height is 0); not written");
        return Outcome::kFailed;
    }
    WriteResult result;
    try {
        result = Write(working, kind, frame);
    } catch (const StatusError& e) {  // memory for the scaled copy ran out
        Fail(path, w, path, e.what());
        report_.stop = BatchStop::kFrameFailed;
        return Outcome::kStop;
    }
    if (!result.ok()) {
        Fail(path, w, result.path, result.cause);
        if (IsTiffKind(kind) && result.status == WriteStatus::kCannotCreate) {
            report_.stop = BatchStop::kTiffCannotCreate;
            return Outcome::kStop;
        }
        return Outcome::kFailed;
    }
    written_.insert(working);
    ++report_.framesWritten;
    observer_.FrameWritten(working);
    observer_.FrameShown(frame, static_cast<ExportKind>(kind));
    return Outcome::kDone;
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

WriteResult Walk::Write(const std::string& output, int kind, const FrameImage& frame) {
    OutputTarget target(folder_.fd(), output.substr(prefix_.size()), output);
    target.sync = settings_.sync;
    switch (kind) {
        case kGrayscaleBitmap: return WriteGrayscaleBitmap(target, frame);
        case kFalseColorBitmap: return WriteFalseColorBitmap(target, frame);
        default: {
            auto scaled = ScaleSamples(frame, static_cast<ExportKind>(kind));
            return WriteTiff16(target, frame.width, frame.height, frame.count, scaled.get());
        }
    }
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
