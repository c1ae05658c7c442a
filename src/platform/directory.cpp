#include "platform/directory.h"

#include <cstdint>
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

bool HoldsAnImage(int folderFd, const std::string& name) {
    Result<int> opened = OpenToReadAt(folderFd, name);
    if (!opened.ok()) return false;
    const int fd = opened.value();
    Result<FileFacts> facts = FactsOf(fd);
    std::uint8_t head[4] = {};
    Result<std::size_t> got = facts.ok() && facts.value().type == FileType::kRegular ? ReadAt(fd, 0, head, sizeof head)
                                                                                       : Result<std::size_t>(0);
    CloseFile(fd);
    if (!got.ok() || got.value() < 2) return false;
    if (head[0] == 'B' && head[1] == 'M') return true;
    if (got.value() < 4) return false;
    const bool little = head[0] == 'I' && head[1] == 'I' && (head[2] == 42 || head[2] == 43) && head[3] == 0;
    const bool big = head[0] == 'M' && head[1] == 'M' && head[2] == 0 && (head[3] == 42 || head[3] == 43);
    return little || big;
}

void Sleep(std::chrono::milliseconds pause) {
    if (pause.count() > 0) std::this_thread::sleep_for(pause);
}

}  // namespace qf
