#include "convert/cut_off_files.h"

#include "platform/file_io.h"

namespace qf {

void ReportCutOffFiles(BatchReport& report, const SalvageLog& log, BatchObserver& observer) {
    for (FileRecord& file : report.files) {
        const Result<FileFacts> facts = FactsAt(kWorkingFolder, file.path, true);
        const std::optional<OrxCutOff> cut = facts.ok() ? log.Find(facts.value().identity) : std::nullopt;
        if (!cut) continue;
        const std::uint32_t missing = cut->headerFrames - cut->completeFrames;
        report.failures.push_back(BatchFailure{
            file.path, kNoFrame, file.path,
            "the file ends inside frame " + std::to_string(cut->completeFrames) + ": " + std::to_string(missing) +
                " of " + std::to_string(cut->headerFrames) + " frames missing (" +
                (report.dryRun ? "the complete ones would be converted)" : "the complete ones were converted)")});
        observer.Failed(report.failures.back());
        if (file.converted) {
            file.converted = false;
            --report.filesConverted;
        }
    }
}

long SalvageableFrames(const std::string& path) {
    OrxControl control(true);
    if (!control.LoadFile(path).ok() || !control.cutOff()) return 0;
    return static_cast<long>(control.cutOff()->completeFrames);
}

Salvageable SalvageableIn(const BatchReport& report) {
    Salvageable found;
    for (const BatchFailure& failure : report.failures) {
        if (failure.kind != FailureKind::kNotLoaded) continue;
        if (const long frames = SalvageableFrames(failure.dataFile); frames > 0) {
            ++found.files;
            found.frames += frames;
        }
    }
    return found;
}

}  // namespace qf
