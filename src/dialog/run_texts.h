// What the dialog says about a run: the words of the presentation layer (present/run_texts,
// present/run_watch), as QStrings, through Qt's translator.
#pragma once

#include <QString>
#include <QStringList>
#include <string>

#include "convert/batch_run.h"

namespace qf {

namespace RunTexts {

/// Makes the presentation layer's phrases go through QCoreApplication::translate (in the
/// context "qf::present"); the window calls it once, before its first words.
void InstallTranslator();
/// A UTF-8 text of the presentation layer as a QString.
QString Text(const std::string& utf8);

/// Everything the run said: how it ended, every failure, every note, the files not converted.
QStringList ReportLines(const BatchReport& report);

}  // namespace RunTexts

}  // namespace qf
