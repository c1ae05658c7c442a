#include "dialog/run_texts.h"

#include <QDir>
#include <QFile>
#include <QLocale>

#include "convert/run_tally.h"
#include "platform/display_name.h"

namespace qf {
namespace {

QString Decode(const std::string& text) { return QFile::decodeName(text.c_str()); }

}  // namespace

QString RunTexts::Files(long n) {
    return n == 1 ? tr("1 file") : tr("%1 files").arg(QLocale().toString(qlonglong(n)));
}

QString RunTexts::DataFiles(long n) {
    return n == 1 ? tr("1 data file") : tr("%1 data files").arg(QLocale().toString(qlonglong(n)));
}

QString RunTexts::Frames(long n) {
    return n == 1 ? tr("1 frame") : tr("%1 frames").arg(QLocale().toString(qlonglong(n)));
}

QString RunTexts::Failures(long n) {
    return n == 1 ? tr("1 failure") : tr("%1 failures").arg(QLocale().toString(qlonglong(n)));
}

QString RunTexts::Tally(const BatchReport& report) {
    const RunTally t = TallyRun(report);
    const QLocale locale;
    return tr("%1 of %2 written; %3 complete, %4 partial, %5 failed")
        .arg(locale.toString(qlonglong(t.framesWritten)), Frames(t.framesPlanned), Files(t.complete),
             locale.toString(t.partial), locale.toString(t.failed));
}

QString RunTexts::StatusLine(const BatchReport& report, double seconds, std::optional<long> plannedFrames) {
    const QString time = QLocale().toString(seconds, 'f', 1);
    if (report.stop == BatchStop::kInterrupted) {
        if (!plannedFrames) return tr("Stopped: %1 written").arg(Frames(report.framesWritten));
        return tr("Stopped: %1 of %2 written")
            .arg(QLocale().toString(qlonglong(report.framesWritten)), Frames(*plannedFrames));
    }
    if (report.clean()) return tr("Converted %1, %2 in %3 s").arg(Files(report.filesConverted), Frames(report.framesWritten), time);
    const QString failures = Failures(static_cast<long>(report.failures.size()));
    if (report.stop != BatchStop::kNone) return tr("The run stopped (%1): %2").arg(failures, Tally(report));
    return tr("Finished with %1: %2").arg(failures, Tally(report));
}

QString RunTexts::NoDataFiles(const QString& folder, int inSubfolders) {
    // The folder's own name: the strip is narrow, and the user has just picked the folder.
    const QString name = QDir(folder).dirName().isEmpty() ? QDir::toNativeSeparators(folder) : QDir(folder).dirName();
    if (inSubfolders <= 0) return tr("No data files in %1").arg(name);
    return tr("No data files in %1 (%2 in subfolders)").arg(name, QLocale().toString(inSubfolders));
}

QString RunTexts::FailureMessage(const BatchReport& report) {
    if (report.clean()) return QString();
    QString text;
    switch (report.stop) {
        case BatchStop::kTiffCannotCreate: text = tr("The conversion stopped: a TIFF file could not be created."); break;
        case BatchStop::kFrameFailed: text = tr("The conversion stopped: a frame could not be read."); break;
        case BatchStop::kFolderUnreadable: text = tr("The folder could not be read."); break;
        case BatchStop::kInterrupted: text = tr("The conversion was stopped."); break;
        case BatchStop::kNone: text = tr("Some files could not be converted."); break;
    }
    text += QStringLiteral("\n");
    const int listed = std::min<int>(static_cast<int>(report.failures.size()), kMaxListedFailures);
    for (int i = 0; i < listed; ++i) text += QStringLiteral("\n") + Decode(report.failures[i].Line());
    if (report.failures.size() > static_cast<std::size_t>(listed)) {
        text += QStringLiteral("\n") +
                tr("... and %1 more: \"Show Report\" lists them all.").arg(report.failures.size() - listed);
    }
    if (!report.stoppedIn.empty()) {
        text += QStringLiteral("\n\n") + tr("Not all frames of %1 were written.").arg(Decode(DisplayName(report.stoppedIn)));
    }
    if (!report.notConverted.empty()) {
        const long left = static_cast<long>(report.notConverted.size());
        text += QStringLiteral("\n\n") + (left == 1 ? tr("1 data file was not converted because the run stopped:")
                                                    : tr("%1 were not converted because the run stopped:").arg(DataFiles(left)));
        const long named = std::min<long>(left, kMaxListedFailures);
        for (long i = 0; i < named; ++i) {
            text += QStringLiteral("\n") + Decode(DisplayName(report.notConverted[static_cast<std::size_t>(i)]));
        }
        if (left > named) {
            text += QStringLiteral("\n") + tr("... and %1 more: \"Show Report\" lists them all.").arg(left - named);
        }
    }
    text += QStringLiteral("\n\n") + Tally(report) + QStringLiteral(".");
    return text;
}

QStringList RunTexts::ReportLines(const BatchReport& report) {
    QStringList lines;
    lines << Tally(report) + QStringLiteral("; ") + Failures(static_cast<long>(report.failures.size())) +
                 QStringLiteral(".");
    if (report.stop != BatchStop::kNone) lines << tr("The run stopped: %1.").arg(Decode(StopReason(report.stop)));
    for (const BatchFailure& failure : report.failures) lines << Decode(failure.Line());
    for (const std::string& note : report.notes) lines << tr("Note: %1").arg(Decode(note));
    if (!report.stoppedIn.empty()) {
        lines << tr("Not all frames written: %1").arg(Decode(DisplayName(report.stoppedIn)));
    }
    for (const std::string& path : report.notConverted) lines << tr("Not converted: %1").arg(Decode(DisplayName(path)));
    return lines;
}

}  // namespace qf
