#include "platform/directory.h"

#include <thread>

namespace qf {

Result<std::vector<std::string>> ListFolder(const std::string& folder) {
    Result<int> fd = OpenFolder(folder);
    if (!fd.ok()) return fd.error();
    Result<std::vector<std::string>> names = ListNames(fd.value());
    CloseFile(fd.value());
    return names;
}

Result<std::vector<std::string>> ListFolder(int folderFd) { return ListNames(folderFd); }

EntryKind KindOfEntry(int folderFd, const std::string& name) {
    EntryKind kind;
    Result<FileFacts> facts = FactsAt(folderFd, name, LinksLeadToDataFiles());
    if (!facts.ok()) {
        kind.missing = facts.error().kind == ErrorKind::kMissing;
        kind.unreadable = !kind.missing;
        kind.why = "cannot open: " + facts.message();
    } else {
        kind.why = NotADataFileReason(facts.value().type);
        kind.regular = kind.why.empty();
    }
    return kind;
}

std::string NotADataFileReason(FileType type) {
    if (type == FileType::kFolder) return "is a folder, not a data file";
    return type == FileType::kRegular ? "" : "is not a regular file";
}

void Sleep(std::chrono::milliseconds pause) {
    if (pause.count() > 0) std::this_thread::sleep_for(pause);
}

}  // namespace qf
