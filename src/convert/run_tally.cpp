#include "convert/run_tally.h"

#include <algorithm>

#include "convert/plan.h"
#include "platform/directory.h"
#include "platform/file_io.h"

namespace qf {

RunTally TallyRun(const BatchReport& report) {
    RunTally tally;
    tally.framesPlanned = report.framesPlanned;
    tally.framesWritten = report.framesWritten;
    for (const FileRecord& file : report.files) {
        tally.framesKept += static_cast<long>(file.kept.size());
        if (file.converted) ++tally.complete;
        else if (!file.written.empty() || !file.kept.empty()) ++tally.partial;
        else if (file.path == report.stoppedIn && report.stop == BatchStop::kInterrupted) ++tally.notReached;  // nothing kept
        else ++tally.failed;
    }
    tally.notReached += static_cast<int>(report.notConverted.size());
    return tally;
}

bool FoundNoDataFiles(const BatchReport& report) {
    return report.plannedDataFiles == 0 && report.dataFiles == 0 && report.namedAgain == 0 && report.failures.empty() &&
           report.stop == BatchStop::kNone;
}

BatchReport CombinedReport(const std::vector<BatchReport>& reports) {
    BatchReport all;
    const auto join = [](auto& into, const auto& from) { into.insert(into.end(), from.begin(), from.end()); };
    for (const BatchReport& r : reports) {
        all.dryRun = all.dryRun || r.dryRun;
        all.dataFiles += r.dataFiles;
        all.filesConverted += r.filesConverted;
        all.framesWritten += r.framesWritten;
        all.plannedDataFiles += r.plannedDataFiles;
        all.namedAgain += r.namedAgain;
        all.framesPlanned += r.framesPlanned;
        all.seconds += r.seconds;
        all.jobs = std::max(all.jobs, r.jobs);
        if (r.jobsHeldBy.bytes > 0) all.jobsHeldBy = r.jobsHeldBy;
        join(all.failures, r.failures);
        join(all.notes, r.notes);
        join(all.notConverted, r.notConverted);
        join(all.files, r.files);
        if (!r.stoppedIn.empty()) all.stoppedIn = r.stoppedIn;
        if (all.stop == BatchStop::kNone || all.stop == BatchStop::kFolderUnreadable) {
            if (r.stop != BatchStop::kNone) all.stop = r.stop;
        }
    }
    return all;
}

namespace {

// Adds to `count` the data files of `folder` (when `filesHere`) and of its subfolders,
// `depth` levels down; links are not followed, as a recursive run does not follow them.
void CountIn(const std::string& folder, int depth, bool filesHere, bool onlyOrx, int limit, int& count) {
    Result<int> fd = OpenFolder(folder);
    if (!fd.ok()) return;
    Result<std::vector<std::string>> names = ListFolder(fd.value());
    std::vector<std::string> subfolders;
    for (const std::string& name : names.ok() ? names.value() : std::vector<std::string>{}) {
        Result<FileFacts> facts = FactsAt(fd.value(), name, false);
        if (!facts.ok()) continue;
        if (facts.value().type == FileType::kFolder) subfolders.push_back(name);
        else if (filesHere && facts.value().type == FileType::kRegular && TakenAsDataFile(fd.value(), name, onlyOrx)) {
            ++count;
        }
    }
    CloseFile(fd.value());
    const std::string prefix = WithTrailingSeparator(folder);
    for (const std::string& name : subfolders) {
        if (count >= limit || depth <= 0) return;
        CountIn(prefix + name, depth - 1, true, onlyOrx, limit, count);
    }
}

}  // namespace

int DataFilesInSubfolders(const std::string& folder, bool onlyOrx, int depth, int limit) {
    int count = 0;
    if (!folder.empty()) CountIn(folder, depth, false, onlyOrx, limit, count);
    return count;
}

}  // namespace qf
