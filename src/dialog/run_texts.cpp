#include "dialog/run_texts.h"

#include <QFile>
#include <QLocale>

#include "platform/display_name.h"

namespace qf {
namespace {

QString Decode(const std::string& text) { return QFile::decodeName(text.c_str()); }

}  // namespace

QString RunTexts::Files(long n) {
    return n == 1 ? tr("1 file") : tr("%1 files").arg(QLocale().toString(qlonglong(n)));
}

QString RunTexts::Frames(long n) {
    return n == 1 ? tr("1 frame") : tr("%1 frames").arg(QLocale().toString(qlonglong(n)));
}

QString RunTexts::StatusLine(const BatchReport& report, double seconds, std::optional<long> plannedFrames) {
    const QString time = QLocale().toString(seconds, 'f', 1);
    if (report.stop == BatchStop::kInterrupted) {
        if (!plannedFrames) return tr("Stopped: %1 written").arg(Frames(report.framesWritten));
        return tr("Stopped: %1 of %2 frames written")
            .arg(QLocale().toString(qlonglong(report.framesWritten)), QLocale().toString(qlonglong(*plannedFrames)));
    }
    if (report.clean()) return tr("Converted %1, %2 in %3 s").arg(Files(report.filesConverted), Frames(report.framesWritten), time);
    const QString failures = report.failures.size() == 1
        ? tr("1 failure") : tr("%1 failures").arg(QLocale().toString(qlonglong(report.failures.size())));
    if (report.stop != BatchStop::kNone) {
        return tr("The run stopped (%1): %2 written").arg(failures, Frames(report.framesWritten));
    }
    return tr("Finished with %1: converted %2, %3 in %4 s")
        .arg(failures, Files(report.filesConverted), Frames(report.framesWritten), time);
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
    if (!report.notConverted.empty()) {
        text += QStringLiteral("\n\n") +
                tr("%1 data files were not converted because the run stopped.").arg(report.notConverted.size());
    }
    text += QStringLiteral("\n\n") + tr("%1 frames written.").arg(report.framesWritten);
    return text;
}

QStringList RunTexts::ReportLines(const BatchReport& report) {
    QStringList lines;
    lines << tr("%1 data files, %2 converted, %3 frames written, %4 failures.")
                 .arg(report.dataFiles).arg(report.filesConverted).arg(report.framesWritten)
                 .arg(report.failures.size());
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
