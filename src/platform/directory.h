// Folder listing and pauses: the stand-ins for the system's file search and Sleep.
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace qf {

struct FolderListing {
    std::vector<std::string> names;  ///< entry names, byte order, without "." and ".."
    std::string error;               ///< empty when the folder could be read
};

/// Every entry name of `folder`, sorted; `error` names the cause when it cannot be read.
FolderListing ListFolder(const std::string& folder);

/// "" for a regular file (links followed); else why not: "is a folder, not a data file",
/// "is not a regular file", or "cannot open: <cause>".
std::string NotARegularFile(const std::string& path);

/// Blocks the calling thread for `pause`; returns at once for zero or less.
void Sleep(std::chrono::milliseconds pause);

/// strerror for `err`, thread-safe.
std::string ErrnoText(int err);

}  // namespace qf
