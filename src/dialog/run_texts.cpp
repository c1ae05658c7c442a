#include "dialog/run_texts.h"

#include <QCoreApplication>

#include "present/run_texts.h"
#include "present/words.h"

namespace qf::RunTexts {

void InstallTranslator() {
    present::SetTranslator([](const char* pattern) {
        return QCoreApplication::translate(present::kWordsContext, pattern).toStdString();
    });
}

QString Text(const std::string& utf8) { return QString::fromStdString(utf8); }

QStringList ReportLines(const BatchReport& report) {
    QStringList lines;
    for (const std::string& line : present::ReportLines(report)) lines << Text(line);
    return lines;
}

}  // namespace qf::RunTexts
