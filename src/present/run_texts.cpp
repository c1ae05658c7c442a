#include "present/run_texts.h"

#include <algorithm>
#include <cstdio>

#include "convert/run_tally.h"
#include "platform/display_name.h"
#include "platform/file_io.h"

namespace qf::present {
namespace {

std::string Grouped(long long n) {
    std::string digits = std::to_string(n < 0 ? -n : n);
    for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3) digits.insert(static_cast<std::size_t>(i), ",");
    return n < 0 ? "-" + digits : digits;
}

std::string Counted(long n, const char* one, const char* many) {
    return n == 1 ? std::string("1 ") + one : Grouped(n) + " " + many;
}
std::string Files(long n) { return Counted(n, "file", "files"); }
std::string DataFiles(long n) { return Counted(n, "data file", "data files"); }
std::string Frames(long n) { return Counted(n, "frame", "frames"); }
std::string Failures(long n) { return Counted(n, "failure", "failures"); }

std::string Tally(const BatchReport& report) {
    const RunTally t = TallyRun(report);
    return Grouped(t.framesWritten) + " of " + Frames(t.framesPlanned) + " written; " + Files(t.complete) + " complete, " +
           Grouped(t.partial) + " partial, " + Grouped(t.failed) + " failed";
}

std::string LastName(const std::string& path) {
    const std::size_t end = path.find_last_not_of(kPathSeparators);
    if (end == std::string::npos) return path;
    const std::size_t start = path.find_last_of(kPathSeparators, end);
    return path.substr(start == std::string::npos ? 0 : start + 1, end - (start == std::string::npos ? 0 : start + 1) + 1);
}

}  // namespace

std::string StatusLine(const BatchReport& report, double seconds, std::optional<long> plannedFrames) {
    char time[32];
    std::snprintf(time, sizeof time, "%.1f", seconds);
    if (report.stop == BatchStop::kInterrupted) {
        if (!plannedFrames) return "Stopped: " + Frames(report.framesWritten) + " written";
        return "Stopped: " + Grouped(report.framesWritten) + " of " + Frames(*plannedFrames) + " written";
    }
    if (report.clean()) {
        return "Converted " + Files(report.filesConverted) + ", " + Frames(report.framesWritten) + " in " + time + " s";
    }
    const std::string failures = Failures(static_cast<long>(report.failures.size()));
    if (report.stop != BatchStop::kNone) return "The run stopped (" + failures + "): " + Tally(report);
    return "Finished with " + failures + ": " + Tally(report);
}

std::string NoDataFiles(const std::string& folder, int inSubfolders) {
    const std::string name = LastName(folder);
    if (inSubfolders <= 0) return "No data files in " + name;
    return "No data files in " + name + " (" + Grouped(inSubfolders) + " in subfolders)";
}

std::string FailureMessage(const BatchReport& report) {
    if (report.clean()) return {};
    std::string text;
    switch (report.stop) {
        case BatchStop::kTiffCannotCreate: text = "The conversion stopped: a TIFF file could not be created."; break;
        case BatchStop::kFrameFailed: text = "The conversion stopped: a frame could not be read."; break;
        case BatchStop::kFolderUnreadable: text = "The folder could not be read."; break;
        case BatchStop::kInterrupted: text = "The conversion was stopped."; break;
        case BatchStop::kNone: text = "Some files could not be converted."; break;
    }
    text += "\n";
    const std::size_t listed = std::min<std::size_t>(report.failures.size(), kMaxListedFailures);
    for (std::size_t i = 0; i < listed; ++i) text += "\n" + report.failures[i].Line();
    if (report.failures.size() > listed) {
        text += "\n... and " + std::to_string(report.failures.size() - listed) + " more: \"Show Report\" lists them all.";
    }
    if (!report.stoppedIn.empty()) text += "\n\nNot all frames of " + DisplayName(report.stoppedIn) + " were written.";
    if (!report.notConverted.empty()) {
        const long left = static_cast<long>(report.notConverted.size());
        text += left == 1 ? std::string("\n\n1 data file was not converted because the run stopped:")
                          : "\n\n" + DataFiles(left) + " were not converted because the run stopped:";
        const long named = std::min<long>(left, kMaxListedFailures);
        for (long i = 0; i < named; ++i) text += "\n" + DisplayName(report.notConverted[static_cast<std::size_t>(i)]);
        if (left > named) text += "\n... and " + std::to_string(left - named) + " more: \"Show Report\" lists them all.";
    }
    return text + "\n\n" + Tally(report) + ".";
}

std::vector<std::string> ReportLines(const BatchReport& report) {
    std::vector<std::string> lines;
    lines.push_back(Tally(report) + "; " + Failures(static_cast<long>(report.failures.size())) + ".");
    if (report.stop != BatchStop::kNone) lines.push_back("The run stopped: " + std::string(StopReason(report.stop)) + ".");
    for (const BatchFailure& failure : report.failures) lines.push_back(failure.Line());
    for (const std::string& note : report.notes) lines.push_back("Note: " + note);
    if (!report.stoppedIn.empty()) lines.push_back("Not all frames written: " + DisplayName(report.stoppedIn));
    for (const std::string& path : report.notConverted) lines.push_back("Not converted: " + DisplayName(path));
    return lines;
}

std::string StripLine(const std::string& path, int index, int total, int framesWritten, int framesInFile) {
    std::string line = "File " + std::to_string(index) + " of " + std::to_string(total) + ": " + DisplayName(LastName(path));
    if (framesWritten > 0) line += ", frame " + std::to_string(framesWritten) + " of " + std::to_string(framesInFile);
    return line;
}

}  // namespace qf::present
