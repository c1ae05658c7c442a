// The plan's folders reached again during the run, one name at a time from the input's
// folder, each checked against the identity the plan found.
#pragma once

#include <memory>
#include <string>

#include "convert/plan.h"
#include "platform/output_file.h"
#include "platform/result.h"

namespace qf {

/// The identity of the open folder `fd` (device and inode, or the system's like), as the
/// plan keeps it for each folder.
std::string FolderIdentity(int fd);

/// Reaches the plan's folders again, one name at a time from the input's folder, checking
/// that each is the folder that was listed. It holds the folder it is at (and what callers
/// keep of the folders it gave out), never the whole tree.
class FolderCursor {
public:
    explicit FolderCursor(const Plan& plan) : plan_(plan) {}
    /// The open folder plan.folders[index]; why not ("cannot open folder P: cause"), when
    /// it cannot be reached as listed.
    Result<std::shared_ptr<OutputFolder>> Enter(std::size_t index);
    /// The cause of the last failure alone, for a line that names the folder itself.
    const std::string& cause() const { return cause_; }
    /// Where the outputs of plan.folders[index] (open as `data`) go: --output-dir, its
    /// mirrored subfolder (made when `create`; an unopened folder when it is missing and may
    /// not be made), or `data` itself.
    Result<std::shared_ptr<OutputFolder>> Output(std::size_t index, const std::shared_ptr<OutputFolder>& data,
                                                 bool create);

private:
    Error Failed(const std::string& path, ErrorKind kind, std::string cause);

    const Plan& plan_;
    std::size_t at_ = kNoParent;
    std::shared_ptr<OutputFolder> current_;
    std::string cause_;
    std::size_t mirrorAt_ = kNoParent;
    std::shared_ptr<OutputFolder> mirror_;
};

}  // namespace qf
