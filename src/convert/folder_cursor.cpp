#include "convert/folder_cursor.h"

#include <vector>

#include "platform/directory.h"
#include "platform/display_name.h"
#include "platform/file_io.h"

namespace qf {

std::string FolderIdentity(int fd) {
    Result<FileFacts> facts = FactsOf(fd);
    return facts.ok() ? facts.value().identity : "fd" + std::to_string(fd);
}

Result<std::shared_ptr<OutputFolder>> FolderCursor::Enter(std::size_t index) {
    if (index == at_ && current_) return current_;
    if (index == 0) {
        at_ = 0;
        current_ = plan_.root;
        return current_;
    }
    // The way down from the input's folder, or from the folder we are at when it lies on it.
    std::vector<std::size_t> way;
    for (std::size_t i = index; i != kNoParent && i != 0 && !(i == at_ && current_); i = plan_.folders[i].parent) {
        way.push_back(i);
    }
    std::shared_ptr<OutputFolder> folder =
        (!way.empty() && plan_.folders[way.back()].parent == at_ && current_) ? current_ : plan_.root;
    current_.reset();
    at_ = kNoParent;
    for (auto it = way.rbegin(); it != way.rend(); ++it) {
        const PlanFolder& next = plan_.folders[*it];
        Result<int> opened = OpenSubfolder(folder->fd(), next.name);
        if (!opened.ok()) return Failed(next.path, opened.error().kind, opened.message());
        folder = std::make_shared<OutputFolder>(opened.value());
        if (FolderIdentity(folder->fd()) != next.identity) {
            return Failed(next.path, ErrorKind::kCannotRead, "another folder took its place during the run");
        }
    }
    at_ = index;
    current_ = folder;
    return current_;
}

Result<std::shared_ptr<OutputFolder>> FolderCursor::Output(std::size_t index, const std::shared_ptr<OutputFolder>& data,
                                                          bool create) {
    if (!plan_.outputDir) return data;
    const PlanFolder& folder = plan_.folders[index];
    if (!plan_.mirror || folder.relative.empty() || plan_.outputDir->fd() < 0) return plan_.outputDir;
    if (index == mirrorAt_ && mirror_) return mirror_;
    // Down from the output folder, one name at a time, as the data folder was reached.
    std::vector<std::string> names;
    for (std::size_t i = index; i != kNoParent && i != 0; i = plan_.folders[i].parent) names.push_back(plan_.folders[i].name);
    std::shared_ptr<OutputFolder> at = plan_.outputDir;
    // What could not be made or opened is the output folder that mirrors it.
    const std::string& prefix = folder.place.outputPrefix;
    const std::string shown = prefix.empty() ? folder.path : prefix.substr(0, prefix.size() - 1);
    for (auto it = names.rbegin(); it != names.rend(); ++it) {
        if (create) {
            if (Status made = MakeFolderAt(at->fd(), *it); !made.ok()) return Failed(shown, made.kind(), made.message());
        }
        Result<int> opened = OpenSubfolder(at->fd(), *it);
        if (!opened.ok() && !create && opened.error().kind == ErrorKind::kMissing) return std::make_shared<OutputFolder>();
        if (!opened.ok()) return Failed(shown, opened.error().kind, opened.message());
        at = std::make_shared<OutputFolder>(opened.value());
    }
    mirrorAt_ = index;
    mirror_ = at;
    return at;
}

Error FolderCursor::Failed(const std::string& path, ErrorKind kind, std::string cause) {
    cause_ = std::move(cause);
    return Fail(kind, "cannot open folder " + DisplayName(path) + ": " + cause_);
}

}  // namespace qf
