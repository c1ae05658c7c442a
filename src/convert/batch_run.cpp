// The run's entry points (one input, several as one run) and the words of its failures and stops.
#include "convert/batch_run.h"

#include <chrono>
#include <utility>

#include "convert/walk.h"
#include "platform/display_name.h"

namespace qf {

std::string BatchFailure::Line() const {
    if (frame != kNoFrame && path == dataFile) {
        // "frame 0 not written: its name ..." reads as one phrase.
        const char* joint = kind == FailureKind::kNameTaken ? " " : ": ";
        return DisplayName(path) + ": frame " + std::to_string(frame) + joint + cause;
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

std::vector<BatchReport> RunBatches(CGetdatactrl1& control, const std::vector<std::string>& inputs,
                                    const std::function<int()>& askKind, const BatchSettings& settings,
                                    BatchObserver& observer) {
    Walk walk(control, askKind, settings, observer);
    try {
        walk.Run(inputs);
    } catch (const std::exception& e) {
        // A control call that failed before the plan's jobs (its settle time, say), or memory
        // that ran out: the run ends with what it has.
        BatchReport& report = walk.report();
        const std::string& input = inputs.at(walk.InputAtHand());
        report.failures.push_back(BatchFailure{input, kNoFrame, input, std::string("run stopped: ") + e.what()});
        observer.Failed(report.failures.back());
        report.stop = BatchStop::kFrameFailed;
    }
    return std::move(walk.reports());
}

BatchReport RunBatch(CGetdatactrl1& control, const std::string& input, const std::function<int()>& askKind,
                     const BatchSettings& settings, BatchObserver& observer) {
    const auto start = std::chrono::steady_clock::now();
    std::vector<BatchReport> reports = RunBatches(control, {input}, askKind, settings, observer);
    BatchReport report = reports.empty() ? BatchReport{} : std::move(reports.front());
    report.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return report;
}

}  // namespace qf
