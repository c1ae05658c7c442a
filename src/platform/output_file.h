// Crash-safe output: bytes go to a fresh temporary file beside the target, which only
// replaces the target once everything was written, flushed and closed without error.
// A failure at any point removes the temporary and leaves an earlier file untouched.
// Every step is taken relative to a folder descriptor, so a run that opened its folder
// once writes into that folder even when its path is swapped for another underneath it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/file_io.h"
#include "platform/result.h"

namespace qf {

/// A folder opened once; outputs are created and renamed relative to it.
class OutputFolder {
public:
    OutputFolder() = default;
    ~OutputFolder();
    OutputFolder(OutputFolder&& other) noexcept;
    OutputFolder& operator=(OutputFolder&& other) noexcept;
    OutputFolder(const OutputFolder&) = delete;
    OutputFolder& operator=(const OutputFolder&) = delete;

    /// Takes over `fd`, an open folder.
    explicit OutputFolder(int fd) : fd_(fd) {}
    /// Opens `path` as a folder.
    Status Open(const std::string& path);
    int fd() const { return fd_; }
    /// Makes the folder's entries (the renames into it) durable.
    Status Sync() const;

private:
    int fd_ = -1;
};

class PendingOutput;

/// Where one output goes and how.
struct OutputTarget {
    OutputTarget(std::string wholePath) : name(wholePath), path(std::move(wholePath)) {}  // NOLINT: a path is a target
    OutputTarget(int fd, std::string nameInFolder, std::string shownPath)
        : folderFd(fd), name(std::move(nameInFolder)), path(std::move(shownPath)) {}

    int folderFd = kWorkingFolder;
    std::string name;  ///< relative to folderFd (or a whole path with kWorkingFolder)
    std::string path;  ///< what a user reads in messages
    bool sync = false;     ///< flush the data to the disk before the rename
    bool replace = true;   ///< false: an existing file of that name is kept, and that fails
    /// Set: Commit() finishes the temporary and hands it here instead of renaming it, so
    /// that outputs written side by side are put in place in the order of the run.
    PendingOutput* pending = nullptr;
};

/// What writing `target` would meet, checked without writing: a folder of that name, an
/// existing file that may not be replaced (kExists) or is read-only, a folder that takes
/// no new files. `replaced` receives the facts of a regular file that would be replaced.
Status CheckOutputTarget(const OutputTarget& target, FileFacts* replaced = nullptr);

/// A finished temporary waiting for its rename. It is removed unless Place() put it in
/// place; a failure to place it reads as it would from OutputFile::Commit().
class PendingOutput {
public:
    PendingOutput() = default;
    ~PendingOutput();
    PendingOutput(const PendingOutput&) = delete;
    PendingOutput& operator=(const PendingOutput&) = delete;
    /// The temporary moves with it (the one it held before is removed).
    PendingOutput(PendingOutput&& other) noexcept;
    PendingOutput& operator=(PendingOutput&& other) noexcept;

    /// True while a temporary waits here.
    bool waiting() const { return !tempName_.empty(); }
    /// Renames the temporary over its target (or links it, when it may not replace).
    Status Place();
    /// Removes the temporary.
    void Discard();

private:
    friend class OutputFile;
    int folderFd_ = kWorkingFolder;
    std::string tempName_;
    std::string name_;
    bool replace_ = true;
    bool sync_ = false;
};

class OutputFile {
public:
    /// Creates the temporary (exclusively, never through a link). Check `ok()`.
    explicit OutputFile(OutputTarget target);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    /// False from the first failure on; later writes do nothing and Commit() reports it.
    bool ok() const { return status_.ok(); }
    const std::string& path() const { return target_.path; }
    /// The temporary's descriptor, for libraries that write themselves; -1 after a failure.
    int fd() const { return fd_; }

    /// Buffered write.
    void Write(const void* data, std::size_t size);
    /// Records a failure found by someone writing through `fd()`; the first one counts.
    void Fail(ErrorKind kind, std::string message);
    /// Flushes, closes and renames over the target. The file is complete or absent. A
    /// replaced file's permission bits (and group, where allowed) carry over.
    Status Commit();

private:
    bool CheckExisting();
    void CreateTemporary();
    bool FlushBuffer();
    bool WriteAll(const std::uint8_t* data, std::size_t size);
    bool PutInPlace();
    void Discard();

    OutputTarget target_;
    std::string tempName_;
    int fd_ = -1;
    std::uint64_t end_ = 0;  ///< where the next buffered write goes
    bool keepMode_ = false;
    FileFacts replaced_;
    Status status_;
    std::vector<std::uint8_t> buffer_;
};

/// True for the names our temporary files have.
bool IsTemporaryName(const std::string& name);
/// The tag by which this process's temporaries name who wrote them (see the sweep).
const std::string& TemporaryOwnerTag();

/// Removes, from the listed `names` of `folder`, the temporaries of ours that belong to
/// processes which no longer run; returns how many were removed.
int SweepStaleTemporaries(const OutputFolder& folder, const std::vector<std::string>& names);

}  // namespace qf
