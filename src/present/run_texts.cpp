#include "present/run_texts.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "convert/run_tally.h"
#include "platform/display_name.h"
#include "platform/file_io.h"
#include "present/words.h"

namespace qf::present {
namespace {


std::string Counted(long n, const char* one, const char* many) {
    return n == 1 ? Words(one) : Words(many, {Grouped(n)});
}
std::string Files(long n) { return Counted(n, QT_TRANSLATE_NOOP("qf::present", "1 file"), QT_TRANSLATE_NOOP("qf::present", "%1 files")); }
std::string DataFiles(long n) { return Counted(n, QT_TRANSLATE_NOOP("qf::present", "1 data file"), QT_TRANSLATE_NOOP("qf::present", "%1 data files")); }
std::string Frames(long n) { return Counted(n, QT_TRANSLATE_NOOP("qf::present", "1 frame"), QT_TRANSLATE_NOOP("qf::present", "%1 frames")); }
std::string Failures(long n) { return Counted(n, QT_TRANSLATE_NOOP("qf::present", "1 failure"), QT_TRANSLATE_NOOP("qf::present", "%1 failures")); }

std::string Tally(const BatchReport& report) {
    const RunTally t = TallyRun(report);
    return Words(QT_TRANSLATE_NOOP("qf::present", "%1 of %2 written; %3 complete, %4 partial, %5 failed"),
                 {Grouped(t.framesWritten), Frames(t.framesPlanned), Files(t.complete), Grouped(t.partial),
                  Grouped(t.failed)});
}

std::string LastName(const std::string& path) {
    const std::size_t end = path.find_last_not_of(kPathSeparators);
    if (end == std::string::npos) return path;
    const std::size_t start = path.find_last_of(kPathSeparators, end);
    return path.substr(start == std::string::npos ? 0 : start + 1, end - (start == std::string::npos ? 0 : start + 1) + 1);
}

std::string More(std::size_t n) {
    return Words(QT_TRANSLATE_NOOP("qf::present", "... and %1 more: \"Show Report\" lists them all."), {Grouped(static_cast<long long>(n))});
}

}  // namespace

std::string StatusLine(const BatchReport& report, double seconds, std::optional<long> plannedFrames) {
    char time[32];
    std::snprintf(time, sizeof time, "%.1f", seconds);
    if (report.stop == BatchStop::kInterrupted) {
        if (!plannedFrames) return Words(QT_TRANSLATE_NOOP("qf::present", "Stopped: %1 written"), {Frames(report.framesWritten)});
        return Words(QT_TRANSLATE_NOOP("qf::present", "Stopped: %1 of %2 written"), {Grouped(report.framesWritten), Frames(*plannedFrames)});
    }
    if (report.clean()) {
        return Words(QT_TRANSLATE_NOOP("qf::present", "Converted %1, %2 in %3 s"), {Files(report.filesConverted), Frames(report.framesWritten), time});
    }
    const std::string failures = Failures(static_cast<long>(report.failures.size()));
    if (report.stop != BatchStop::kNone) return Words(QT_TRANSLATE_NOOP("qf::present", "The run stopped (%1): %2"), {failures, Tally(report)});
    return Words(QT_TRANSLATE_NOOP("qf::present", "Finished with %1: %2"), {failures, Tally(report)});
}

std::string FolderName(const std::string& folder) { return DisplayName(LastName(folder)); }

std::string NoDataFiles(const std::string& folder, int inSubfolders) {
    // The folder's own name: the strip is narrow, and the user has just picked the folder.
    const std::string name = FolderName(folder);
    if (inSubfolders <= 0) return Words(QT_TRANSLATE_NOOP("qf::present", "No data files in %1"), {name});
    return Words(QT_TRANSLATE_NOOP("qf::present", "No data files in %1 (%2 in subfolders)"), {name, Grouped(inSubfolders)});
}

std::string FailureMessage(const BatchReport& report) {
    if (report.clean()) return {};
    std::string text;
    switch (report.stop) {
        case BatchStop::kTiffCannotCreate: text = Words(QT_TRANSLATE_NOOP("qf::present", "The conversion stopped: a TIFF file could not be created.")); break;
        case BatchStop::kFrameFailed: text = Words(QT_TRANSLATE_NOOP("qf::present", "The conversion stopped: a frame could not be read.")); break;
        case BatchStop::kFolderUnreadable: text = Words(QT_TRANSLATE_NOOP("qf::present", "The folder could not be read.")); break;
        case BatchStop::kInterrupted: text = Words(QT_TRANSLATE_NOOP("qf::present", "The conversion was stopped.")); break;
        case BatchStop::kNone: text = Words(QT_TRANSLATE_NOOP("qf::present", "Some files could not be converted.")); break;
    }
    text += "\n";
    const std::size_t listed = std::min<std::size_t>(report.failures.size(), kMaxListedFailures);
    for (std::size_t i = 0; i < listed; ++i) text += "\n" + report.failures[i].Line();
    if (report.failures.size() > listed) text += "\n" + More(report.failures.size() - listed);
    if (!report.stoppedIn.empty()) {
        text += "\n\n" + Words(QT_TRANSLATE_NOOP("qf::present", "Not all frames of %1 were written."), {DisplayName(report.stoppedIn)});
    }
    if (!report.notConverted.empty()) {
        const long left = static_cast<long>(report.notConverted.size());
        text += "\n\n" + (left == 1 ? Words(QT_TRANSLATE_NOOP("qf::present", "1 data file was not converted because the run stopped:"))
                                      : Words(QT_TRANSLATE_NOOP("qf::present", "%1 were not converted because the run stopped:"), {DataFiles(left)}));
        const long named = std::min<long>(left, kMaxListedFailures);
        for (long i = 0; i < named; ++i) text += "\n" + DisplayName(report.notConverted[static_cast<std::size_t>(i)]);
        if (left > named) text += "\n" + More(static_cast<std::size_t>(left - named));
    }
    return text + "\n\n" + Tally(report) + ".";
}

std::vector<std::string> ReportLines(const BatchReport& report) {
    std::vector<std::string> lines;
    lines.push_back(Tally(report) + "; " + Failures(static_cast<long>(report.failures.size())) + ".");
    if (report.stop != BatchStop::kNone) lines.push_back(Words(QT_TRANSLATE_NOOP("qf::present", "The run stopped: %1."), {StopReason(report.stop)}));
    for (const BatchFailure& failure : report.failures) lines.push_back(failure.Line());
    for (const std::string& note : report.notes) lines.push_back(Words(QT_TRANSLATE_NOOP("qf::present", "Note: %1"), {note}));
    if (!report.stoppedIn.empty()) {
        lines.push_back(Words(QT_TRANSLATE_NOOP("qf::present", "Not all frames written: %1"), {DisplayName(report.stoppedIn)}));
    }
    for (const std::string& path : report.notConverted) {
        lines.push_back(Words(QT_TRANSLATE_NOOP("qf::present", "Not converted: %1"), {DisplayName(path)}));
    }
    return lines;
}

std::string StripLine(const std::string& path, int index, int total, int framesWritten, int framesInFile) {
    std::string file = Words(QT_TRANSLATE_NOOP("qf::present", "File %1 of %2: %3"),
                                   {std::to_string(index), std::to_string(total), DisplayName(LastName(path))});
    if (framesWritten <= 0) return file;
    return file + ", " + Words(QT_TRANSLATE_NOOP("qf::present", "frame %1 of %2"), {std::to_string(framesWritten), std::to_string(framesInFile)});
}

std::string RateText(double framesPerSecond, std::optional<double> secondsLeft) {
    char rate[32];
    std::snprintf(rate, sizeof rate, "%.1f", framesPerSecond);
    std::string text = Words(QT_TRANSLATE_NOOP("qf::present", "%1 frames/s"), {rate});
    if (!secondsLeft) return text;
    const long long left = std::llround(*secondsLeft);
    return text + ", " + Words(QT_TRANSLATE_NOOP("qf::present", "%1 s left"), {Grouped(left)});
}

}  // namespace qf::present
