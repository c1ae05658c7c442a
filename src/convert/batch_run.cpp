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

    void Convert(const std::string& path);
    Outcome FrameLoop(const std::string& path, int kind);
    Outcome ConvertFrame(const std::string& path, int kind, std::int16_t w, std::string& working);
    WriteResult Write(const std::string& output, int kind, const FrameImage& frame);
    void Pause() const;
    void Fail(const std::string& dataFile, int frame, const std::string& path, std::string cause);

    CGetdatactrl1& control_;
    const std::function<int()>& askKind_;
    const BatchSettings& settings_;
    BatchObserver& observer_;
    BatchReport report_;
    std::string prefix_;
    std::unordered_set<std::string> written_;
};

void Walk::Fail(const std::string& dataFile, int frame, const std::string& path, std::string cause) {
    report_.failures.push_back(BatchFailure{dataFile, frame, path, std::move(cause)});
    observer_.Failed(report_.failures.back());
}

void Walk::Pause() const {
    if (settings_.pause) settings_.pause(settings_.settle);
    else Sleep(settings_.settle);
}

void Walk::Run(const std::string& folder) {
    FolderListing listing = ListFolder(folder);
    if (!listing.error.empty()) {
        Fail(folder, kNoFrame, folder, "cannot read folder: " + listing.error);
        report_.stop = BatchStop::kFolderUnreadable;
        return;
    }
    prefix_ = folder.size() > 1 && folder.back() == '/' ? folder : folder + "/";
    if (folder == "/") prefix_ = "/";
    std::vector<std::string> dataFiles;
    for (const std::string& name : listing.names) {
        if (name.find(".orx") != std::string::npos) dataFiles.push_back(prefix_ + name);
    }
    for (std::size_t i = 0; i < dataFiles.size() && report_.stop == BatchStop::kNone; ++i) {
        observer_.FileStarted(dataFiles[i], static_cast<int>(i + 1), static_cast<int>(dataFiles.size()));
        Convert(dataFiles[i]);
    }
}

void Walk::Convert(const std::string& path) {
    std::string notAFile = NotARegularFile(path);
    if (!notAFile.empty()) {
        Fail(path, kNoFrame, path, notAFile + "; skipped");
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
    do {
        WaitScope frameWait(observer_);
        const std::int16_t w = control_.GetFrameNumber();
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
    const bool inFolder = working.size() > prefix_.size() && working.starts_with(prefix_) &&
                          working.find('/', prefix_.size()) == std::string::npos;
    if (!inFolder) {
        Fail(path, w, path, "output name " + working + " falls outside the folder; not written");
        return Outcome::kFailed;
    }
    if (written_.contains(working)) {
        Fail(path, w, working, "already written by an earlier frame in this run; not overwritten");
        return Outcome::kFailed;
    }
    WriteResult result = Write(working, kind, frame);
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
    return Outcome::kDone;
}

WriteResult Walk::Write(const std::string& output, int kind, const FrameImage& frame) {
    switch (kind) {
        case kGrayscaleBitmap: return WriteGrayscaleBitmap(output, frame);
        case kFalseColorBitmap: return WriteFalseColorBitmap(output, frame);
        default: {
            auto scaled = ScaleSamples(frame, static_cast<ExportKind>(kind));
            return WriteTiff16(output, frame.width, frame.height, frame.count, scaled.get());
        }
    }
}

}  // namespace

std::string BatchFailure::Line() const {
    if (frame != kNoFrame && path == dataFile) return path + ": frame " + std::to_string(frame) + ": " + cause;
    return path + ": " + cause;
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
