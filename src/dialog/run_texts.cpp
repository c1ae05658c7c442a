#include "dialog/run_texts.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include "present/run_texts.h"
#include "present/watch_texts.h"
#include "present/words.h"
#include "platform/display_name.h"

namespace qf::RunTexts {
namespace {

// Paths go to the core as the file system spells them.
std::string Path(const QString& path) { return QFile::encodeName(path).toStdString(); }

}  // namespace

void InstallTranslator() {
    present::SetTranslator([](const char* pattern) {
        return QCoreApplication::translate(present::kWordsContext, pattern).toStdString();
    });
}

QString Text(const std::string& utf8) { return QString::fromStdString(utf8); }

QString StatusLine(const BatchReport& report, double seconds, std::optional<long> plannedFrames) {
    return Text(present::StatusLine(report, seconds, plannedFrames));
}

QString NoDataFiles(const QString& folder, int inSubfolders) {
    return Text(present::NoDataFiles(Path(folder), inSubfolders));
}

QString FailureMessage(const BatchReport& report) { return Text(present::FailureMessage(report)); }

QStringList ReportLines(const BatchReport& report) {
    QStringList lines;
    for (const std::string& line : present::ReportLines(report)) lines << Text(line);
    return lines;
}

QString StripLine(const QString& path, int index, int total, int framesWritten, int framesInFile) {
    return Text(present::StripLine(Path(path), index, total, framesWritten, framesInFile));
}

QString WatchLine(const QString& folder, const WatchStanding& standing) {
    QString name = QFileInfo(folder).fileName();
    if (name.isEmpty()) name = folder;  // the root, or a name ending in a separator
    return Text(present::WatchLine(DisplayName(Path(name)), standing));
}

}  // namespace qf::RunTexts
