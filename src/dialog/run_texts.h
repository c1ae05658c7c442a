// What the dialog says about a run: the words of the presentation layer (present/run_texts),
// as QStrings, through Qt's translator.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <string>

#include "convert/batch_run.h"
#include "convert/folder_watch.h"

namespace qf {

namespace RunTexts {

/// Makes the presentation layer's phrases go through QCoreApplication::translate (in the
/// context "qf::present"); the window calls it once, before its first words.
void InstallTranslator();
/// A UTF-8 text of the presentation layer as a QString.
QString Text(const std::string& utf8);

/// "Converted 12 files, 3,600 frames in 2.1 s", "Stopped: 140 of 300 frames written" (the
/// "of" part when `plannedFrames` is known), or the failures counted.
QString StatusLine(const BatchReport& report, double seconds, std::optional<long> plannedFrames = std::nullopt);
/// "No data files in day1", and "(24 in subfolders)" when its subfolders hold some.
QString NoDataFiles(const QString& folder, int inSubfolders);
/// The message for a run that stopped or had failures; empty for a clean run.
QString FailureMessage(const BatchReport& report);
/// Everything the run said: how it ended, every failure, every note, the files not converted.
QStringList ReportLines(const BatchReport& report);
/// The strip's line during a run: "File 3 of 12: scan.orx, frame 4 of 300".
QString StripLine(const QString& path, int index, int total, int framesWritten, int framesInFile);

/// The strip's line while a finished run watches `folder` (named by its own name): "watching
/// day1: 12 converted, scan13.orx being written (40 of 98 frames)".
QString WatchLine(const QString& folder, const WatchStanding& standing);

}  // namespace RunTexts

}  // namespace qf
