#include "convert/folder_watch.h"

#include <algorithm>
#include <thread>

#include "control/orx_control.h"
#include "convert/plan.h"
#include "convert/run_tally.h"
#include "platform/output_file.h"

namespace qf {

using std::chrono::milliseconds;

WatchTime SystemWatchClock::Now() { return std::chrono::system_clock::now(); }

bool SystemWatchClock::Pause(milliseconds pause, const std::function<bool()>& stopped, WatchWake* wake) {
    constexpr milliseconds kSlice(100);
    const auto start = std::chrono::steady_clock::now();
    const auto end = start + pause;
    bool first = true;
    while (!stopped()) {
        const auto left = std::chrono::duration_cast<milliseconds>(end - std::chrono::steady_clock::now());
        if (left <= milliseconds(0)) return true;
        const milliseconds slice = std::min(left, kSlice);
        if (wake && !first) {
            if (wake->Wait(slice)) return !stopped();
        } else {
            std::this_thread::sleep_for(slice);
            // Notices of the first slice count at its end: a wake-up is never later than that.
            if (wake && wake->Wait(milliseconds(0))) return !stopped();
        }
        first = false;
    }
    return false;
}

/// A data file found by a look, and the subfolder of its watched folder it is in.
struct FolderWatch::Found {
    std::string path;
    std::string subfolder;  ///< "" for the watched folder itself
    FileFacts facts;        ///< as the listing found it
};

namespace {

// A data file's first bytes and facts, read through one descriptor so that they agree.
struct Head {
    FileFacts facts;
    std::uint8_t bytes[kOrxHeaderSize] = {};
    std::size_t got = 0;
};

Result<Head> ReadHead(const std::string& path) {
    const Result<int> fd = OpenToRead(path);
    if (!fd.ok()) return fd.error();
    Head head;
    const Result<FileFacts> facts = FactsOf(fd.value());
    const Result<std::size_t> got = ReadAt(fd.value(), 0, head.bytes, sizeof head.bytes);
    CloseFile(fd.value());
    if (!facts.ok()) return facts.error();
    if (!got.ok()) return got.error();
    head.facts = facts.value();
    head.got = got.value();
    return head;
}

// The file as it stands.
std::optional<FileLook> LookAt(const std::string& path) {
    const Result<Head> head = ReadHead(path);
    if (!head.ok()) return std::nullopt;
    const Head& h = head.value();
    FileLook look;
    look.facts = h.facts;
    const std::size_t signature = std::min(h.got, kOrxSignature.size());
    if (h.got < kOrxHeaderSize) {
        look.headerIncomplete = std::equal(h.bytes, h.bytes + signature, kOrxSignature.begin());
    } else if (Result<OrxHeader> header = ParseOrxHeaderFields(h.bytes, h.got); header.ok()) {
        look.header = header.value();
    }
    return look;
}

// The header's own words for a file of the wrong length, e.g. "truncated: 64 bytes,
// expected 80 for 3 frames".
std::string LengthWords(const std::string& path) {
    const Result<Head> head = ReadHead(path);
    if (!head.ok()) return head.message();
    return ParseOrxHeader(head.value().bytes, head.value().got, head.value().facts.size).message();
}

// `subfolder` of `outputDir`, made as needed, level by level, as --mirror makes it.
std::string MirroredFolder(const std::string& outputDir, const std::string& subfolder) {
    std::string made = outputDir;
    for (std::size_t from = 0; from <= subfolder.size();) {
        const std::size_t to = std::min(subfolder.find_first_of(kPathSeparators, from), subfolder.size());
        made = WithTrailingSeparator(made) + subfolder.substr(from, to - from);
        (void)MakeFolder(made);  // one that cannot be made fails the conversion, which says why
        from = to + 1;
    }
    return made;
}

std::string SecondsText(milliseconds time) {
    std::string text = std::to_string(time.count() / 1000);
    if (const auto rest = time.count() % 1000; rest != 0) {
        std::string fraction = std::to_string(1000 + rest).substr(1);
        while (fraction.back() == '0') fraction.pop_back();
        text += "." + fraction;
    }
    return text;
}

}  // namespace

FolderWatch::FolderWatch(FolderWatchSettings watch, BatchSettings settings, std::function<int()> askKind,
                         FolderWatchObserver& observer)
    : watch_(std::move(watch)), settings_(std::move(settings)), askKind_(std::move(askKind)), observer_(observer),
      tracker_(watch_.times), salvaged_(std::make_shared<SalvageLog>()),
      control_(MakeRunControl(false, nullptr)),
      salvaging_(MakeRunControl(true, salvaged_)) {
    control_->StartDriver();
    salvaging_->StartDriver();
    if (!settings_.names) settings_.names = std::make_shared<RunNames>();
    if (watch_.notify && !watch_.once) wake_ = MakeChangeNotices(watch_.paths, settings_.recursive);
}

FolderWatch::~FolderWatch() = default;

void FolderWatch::Run(WatchClock& clock) {
    while (Step(clock.Now()) && !watch_.once) {
        if (!clock.Pause(NextPause(clock.Now()), [this] { return Stopped(); }, wake_.get())) break;
    }
}

void FolderWatch::Converted(const std::vector<std::string>& paths) {
    for (const std::string& path : paths) {
        // A file cut off and salvaged may be one still being written: the watch waits for it.
        const std::optional<FileLook> look = LookAt(path);
        if (!look || !look->header || look->facts.size != look->header->fileLength()) continue;
        tracker_.Converted(path, look->facts);
        ++standing_.converted;
    }
}

milliseconds FolderWatch::NextPause(WatchTime now) const {
    milliseconds pause = watch_.poll;
    for (const WatchTime ready : readyAt_) {
        // Up to the millisecond after, so that the look finds the settle time passed.
        const auto until = std::chrono::ceil<milliseconds>(ready - now);
        pause = std::clamp(until, milliseconds(0), pause);
    }
    return pause;
}

// Every data file of the watched folders (and, recursively, their subfolders) by name
// order; linked folders are not followed, as convert follows none.
FolderWatch::Listing FolderWatch::List() {
    Listing listing;
    // Every tenth look lists every folder again, whatever its time says: a file system
    // whose times are coarse (or a share's cached ones) may keep a folder's time when an
    // entry is added.
    const bool whole = looks_++ % 10 == 0;
    for (const std::string& path : watch_.paths) {
        const Result<FileFacts> facts = FactsAt(kWorkingFolder, path, true);
        if (!facts.ok()) {
            listing.unreadable.emplace_back(path, facts.message());
            continue;
        }
        if (facts.value().type != FileType::kFolder) {
            listing.found.push_back(Found{path, "", facts.value()});
            continue;
        }
        const Result<int> fd = OpenFolder(path);
        if (!fd.ok()) {
            listing.unreadable.emplace_back(path, fd.message());
            continue;
        }
        ListFolder(path, "", fd.value(), whole, listing);
        CloseFile(fd.value());
    }
    return listing;
}

// A folder unchanged since the last look (the same time) holds the same names: only its
// data files are looked at again, not the other entries (a folder of 1,000 data files
// holds 10,000 images or more), and its names are not read again.
void FolderWatch::ListFolder(const std::string& folder, const std::string& subfolder, int fd, bool whole,
                             Listing& listing) {
    const Result<FileFacts> self = FactsOf(fd);
    FolderMemo& memo = memo_[folder];
    const bool same = !whole && self.ok() && memo.known && SameFileUnchanged(memo.facts, self.value());
    if (!same) {
        const Result<std::vector<std::string>> names = ListNames(fd);
        if (!names.ok()) {
            memo.known = false;
            listing.unreadable.emplace_back(folder, names.message());
            return;
        }
        memo = FolderMemo{};
        for (const std::string& name : names.value()) {
            if (ExcludedByName(settings_.exclude, name)) continue;
            // As the plan takes entries by name; an image an earlier run wrote under such a
            // name is told by its contents, at each look.
            if (NamedAsDataFile(name, settings_.onlyOrx)) {
                memo.dataNames.push_back(name);
            } else if (settings_.recursive) {
                const Result<FileFacts> facts = FactsAt(fd, name, LinksLeadToDataFiles());
                if (facts.ok() && facts.value().type == FileType::kFolder) memo.folders.push_back(name);
            }
        }
        memo.known = self.ok();
        if (self.ok()) memo.facts = self.value();
    }
    std::vector<std::string> folders = memo.folders;
    for (const std::string& name : memo.dataNames) {
        const Result<FileFacts> facts = FactsAt(fd, name, LinksLeadToDataFiles());
        if (!facts.ok()) continue;
        if (facts.value().type == FileType::kRegular && !IsEarlierOutput(fd, name)) {
            listing.found.push_back(Found{WithTrailingSeparator(folder) + name, subfolder, facts.value()});
        } else if (settings_.recursive && facts.value().type == FileType::kFolder) {
            folders.push_back(name);
        }
    }
    std::sort(folders.begin(), folders.end());
    for (const std::string& name : folders) {
        const std::string path = WithTrailingSeparator(folder) + name;
        const Result<int> sub = OpenSubfolder(fd, name);
        if (!sub.ok()) {
            listing.unreadable.emplace_back(path, sub.message());
            continue;
        }
        ListFolder(path, subfolder.empty() ? name : WithTrailingSeparator(subfolder) + name, sub.value(), whole,
                   listing);
        CloseFile(sub.value());
    }
}

bool FolderWatch::Step(WatchTime now) {
    standing_.beingWritten.clear();
    readyAt_.clear();
    const Listing listing = List();
    // A folder that cannot be read is said once (until it can be read again), not each look.
    std::set<std::string> unreadable;
    for (const auto& [path, cause] : listing.unreadable) {
        unreadable.insert(path);
        if (!unreadableSaid_.contains(path)) Fail(path, "cannot read folder: " + cause + "; not watched");
    }
    unreadableSaid_ = std::move(unreadable);
    for (const Found& file : listing.found) {
        if (Stopped()) return false;
        // A file dealt with and unchanged since is not opened again: a folder of finished
        // files costs a listing a look.
        if (tracker_.Done(file.path, file.facts)) continue;
        const std::optional<FileLook> look = LookAt(file.path);
        if (!look) continue;
        const WatchStep step = tracker_.See(file.path, *look, now);
        if (step.settledAt) readyAt_.push_back(*step.settledAt);
        Act(file, *look, step);
        if (interrupted_) return false;
    }
    observer_.Looked(standing_);
    return !Stopped();
}

void FolderWatch::Act(const Found& file, const FileLook& look, const WatchStep& step) {
    switch (step.action) {
    case WatchAction::kNothing:
        return;
    case WatchAction::kWait:
        standing_.beingWritten.push_back(BeingWritten{file.path, step});
        return;
    case WatchAction::kConvert: {
        // Another watch converting it now: the next look finds its outputs there.
        ConversionClaim claim;
        if (!claim.Take(file.path)) return;
        if (!AlreadyDone(file.path, look.facts)) Convert(file, false);
        tracker_.Converted(file.path, look.facts);
        return;
    }
    case WatchAction::kGiveUp:
        if (watch_.salvage && step.completeFrames > 0) {
            ConversionClaim claim;
            if (claim.Take(file.path) && !AlreadyDone(file.path, look.facts)) Convert(file, true);
            return;
        }
        Fail(file.path, "unchanged for " + SecondsText(watch_.times.giveUp) + " s and still short (" +
                            LengthWords(file.path) + "): its " + std::to_string(step.completeFrames) +
                            " complete frames were not converted" + (watch_.salvage ? "" : " (--salvage converts them)"));
        return;
    case WatchAction::kTooLong:
        Fail(file.path, "longer than its header says (" + LengthWords(file.path) + "); not converted");
        return;
    case WatchAction::kChangedAfter:
        Fail(file.path, "changed after it was converted; its outputs hold what it was then, and it is not converted again");
        return;
    }
}

// Converted by an earlier watch or run: every output its plan names is there, written
// since the data file last changed. A dry run names them, as convert names them.
bool FolderWatch::AlreadyDone(const std::string& path, const FileFacts& facts) {
    BatchSettings dry = settings_;
    dry.dryRun = true;
    // The names this watch has written so far stay claimed: a later file whose outputs
    // would be another's is not done, however new those outputs are.
    dry.names = std::make_shared<RunNames>(*settings_.names);
    dry.jobs = 1;
    dry.makeControl = nullptr;
    dry.pause = nullptr;
    BatchObserver silent;
    const std::vector<BatchReport> plan = RunBatches(*control_, {path}, askKind_ ? askKind_ : [] { return 0; }, dry, silent);
    if (plan.empty() || plan[0].files.size() != 1 || !plan[0].failures.empty()) return false;
    const FileRecord& record = plan[0].files[0];
    std::vector<std::string> outputs = record.written;
    outputs.insert(outputs.end(), record.kept.begin(), record.kept.end());
    if (outputs.empty() || record.plan.size() != outputs.size()) return false;
    return std::all_of(outputs.begin(), outputs.end(), [&](const std::string& output) {
        const Result<FileFacts> there = FactsAt(kWorkingFolder, output, true);
        // Not before: a coarse clock may give the data file and its first output one time.
        return there.ok() && there.value().modified >= facts.modified;
    });
}

void FolderWatch::Convert(const Found& file, bool salvage) {
    observer_.Acting();
    BatchSettings settings = settings_;
    if (salvage) settings.makeControl = [log = salvaged_] { return MakeRunControl(true, log); };
    if (settings_.mirror && !file.subfolder.empty()) {
        // The run is over one file, so it cannot tell its subfolder: the folder is named here.
        settings.outputDir = MirroredFolder(settings_.outputDir, file.subfolder);
        settings.mirror = false;
    }
    CGetdatactrl1& control = salvage ? *salvaging_ : *control_;
    std::vector<BatchReport> done = RunBatches(control, {file.path}, askKind_, settings, observer_);
    if (done.empty()) {
        interrupted_ = true;
        return;
    }
    BatchReport& report = done[0];
    if (salvage) ReportCutOffFiles(report, *salvaged_, observer_);
    standing_.converted += report.filesConverted;
    if (report.stop == BatchStop::kInterrupted) interrupted_ = true;
    done_.push_back(report);
    observer_.FileDone(file.path, report);
}

void FolderWatch::Fail(const std::string& path, const std::string& cause) {
    observer_.Acting();
    const BatchFailure failure{path, kNoFrame, path, cause};
    observer_.Failed(failure);
    BatchReport report;
    report.failures.push_back(failure);
    done_.push_back(report);
    observer_.FileDone(path, report);
}

void KeepWatchingAfter(const std::string& folder, FolderWatchSettings watch, const BatchSettings& settings,
                       std::function<int()> askKind, FolderWatchObserver& observer, WatchClock& clock,
                       BatchReport& report) {
    watch.paths = {folder};
    // The run's outputs keep their names: the watch goes on with the run's registry.
    FolderWatch watcher(std::move(watch), settings, std::move(askKind), observer);
    // What the run converted is done: the watch's first look does not wait for it to settle.
    std::vector<std::string> converted;
    for (const FileRecord& file : report.files) {
        if (file.converted) converted.push_back(file.path);
    }
    watcher.Converted(converted);
    watcher.Run(clock);
    std::vector<BatchReport> all{report};
    all.insert(all.end(), watcher.done().begin(), watcher.done().end());
    report = CombinedReport(all);
    // Cancel ends a watch as it ends a run, even while it waits.
    if (report.stop == BatchStop::kNone) report.stop = BatchStop::kInterrupted;
}

}  // namespace qf
