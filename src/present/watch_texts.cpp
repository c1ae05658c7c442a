#include "present/watch_texts.h"

#include "platform/display_name.h"
#include "platform/file_io.h"
#include "present/words.h"

namespace qf::present {

std::string WatchLine(const std::string& folder, const WatchStanding& standing) {
    const std::string converted = Grouped(standing.converted);
    if (standing.beingWritten.empty()) {
        return Words(QT_TRANSLATE_NOOP("qf::present", "watching %1: %2 converted"), {folder, converted});
    }
    const BeingWritten& first = standing.beingWritten.front();
    const std::string name = DisplayName(first.path.substr(LastSeparator(first.path) + 1));
    if (first.step.headerFrames == 0) {
        return Words(QT_TRANSLATE_NOOP("qf::present", "watching %1: %2 converted, %3 being written (no header yet)"),
                     {folder, converted, name});
    }
    return Words(QT_TRANSLATE_NOOP("qf::present", "watching %1: %2 converted, %3 being written (%4 of %5 frames)"),
                 {folder, converted, name, Grouped(first.step.completeFrames), Grouped(first.step.headerFrames)});
}

}  // namespace qf::present
