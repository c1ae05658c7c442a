// Folder listing and pauses: the stand-ins for the system's file search and Sleep.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "platform/file_io.h"
#include "platform/result.h"

namespace qf {

/// Every entry name of `folder` in byte order, without "." and "..".
Result<std::vector<std::string>> ListFolder(const std::string& folder);
/// The same for a folder already open as `folderFd`, which stays open.
Result<std::vector<std::string>> ListFolder(int folderFd);

/// What an entry is, seen from the folder it was listed in (links followed; on Windows,
/// reparse points are never followed and are no data files).
struct EntryKind {
    bool regular = false;
    bool missing = false;  ///< gone, or a link to nothing
    bool unreadable = false;  ///< it could not be examined (not missing: no permission, an I/O error)
    std::string why;       ///< for all but a regular file: "is a folder, not a data file",
                           ///< "is not a regular file", or "cannot open: <cause>"
};
EntryKind KindOfEntry(int folderFd, const std::string& name);

/// Whether `name` in `folderFd` is a regular file that starts as a TIFF (classic or big,
/// either byte order) or a bitmap does: an image, whatever its name says.
bool HoldsAnImage(int folderFd, const std::string& name);

/// Blocks the calling thread for `pause`; returns at once for zero or less.
void Sleep(std::chrono::milliseconds pause);

}  // namespace qf
