// The seam under file_io.h: every call it makes to the system goes through one FileLayer,
// the system's own (a POSIX and a Windows half) unless a test installed another for its run
// (ScopedFiles). A test double wraps the real layer and puts faults into it (a full disk at
// the third write, a rename that fails), so that no test of our logic needs root or a small
// file system. The free functions of file_io.h keep their promises whichever layer is in:
// the loops over short reads and writes live above the seam, once for both systems.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/file_io.h"
#include "platform/result.h"

namespace qf {

/// The operations of the system that the core uses. Each does one thing once, as the system
/// call it stands for: a write may be short, a read may stop early. Failures read as the
/// functions of file_io.h describe them.
class FileLayer {
public:
    virtual ~FileLayer() = default;

    virtual Result<int> OpenFolder(const std::string& path) = 0;
    virtual Result<int> OpenSubfolder(int parentFd, const std::string& name) = 0;
    virtual std::string PathThroughFolder(int folderFd, const std::string& name, const std::string& shownPath) = 0;
    virtual Result<int> OpenToRead(const std::string& path) = 0;
    /// Opens `name` in the folder `folderFd` to read, as itself: never through a link, and
    /// without waiting for a writer when it is a FIFO (a folder does not open).
    virtual Result<int> OpenToReadAt(int folderFd, const std::string& name) = 0;
    virtual Result<int> CreateNewFile(int folderFd, const std::string& name) = 0;
    virtual Result<int> OpenStreamToWrite(const std::string& path, std::chrono::milliseconds limit,
                                          const std::function<bool()>& stop) = 0;
    virtual void CloseFile(int fd) = 0;
    virtual Status CloseChecked(int fd) = 0;

    /// One read of up to `size` bytes at `offset`: how many came, 0 at the end of the file.
    virtual Result<std::size_t> ReadSome(int fd, std::uint64_t offset, void* into, std::size_t size) = 0;
    /// One write of up to `size` (> 0) bytes at `offset`: how many it took, at least one.
    /// kNoSpace when the disk (or the user's quota) is full.
    virtual Result<std::size_t> WriteSome(int fd, std::uint64_t offset, const void* data, std::size_t size) = 0;
    /// One write to a stream: how many bytes it took, at least one.
    virtual Result<std::size_t> WriteStreamSome(int fd, const void* data, std::size_t size) = 0;
    virtual Status FlushToDisk(int fd) = 0;
    virtual Status SyncFolder(int folderFd) = 0;

    virtual Result<FileFacts> FactsOf(int fd) = 0;
    virtual Result<FileFacts> FactsAt(int folderFd, const std::string& name, bool followLinks) = 0;
    virtual bool MayWrite(int folderFd, const std::string& name) = 0;
    virtual void CarryOverOwnership(int fd, const FileFacts& replaced) = 0;
    virtual Result<std::vector<std::string>> ListNames(int folderFd) = 0;

    virtual Status RenameOver(int folderFd, const std::string& from, const std::string& to, bool writeThrough) = 0;
    virtual Status LinkAsNew(int folderFd, const std::string& from, const std::string& to) = 0;
    virtual bool RemoveFile(int folderFd, const std::string& name) = 0;
    virtual Status MakeFolder(const std::string& path) = 0;
    virtual Status MakeFolderAt(int parentFd, const std::string& name) = 0;

    virtual long CurrentProcessId() = 0;
    virtual std::string HostName() = 0;
    virtual std::string ProcessSpace() = 0;
    virtual bool ProcessIsGone(long pid) = 0;
    virtual FreeMemory AvailableMemory() = 0;
    /// The cores this process may run on; 0 when the system does not say.
    virtual int CoresAllowed() = 0;
    virtual void TuneAllocatorForFrames() = 0;

    virtual bool StandardErrorIsTerminal() = 0;
    virtual int StandardErrorColumns() = 0;
    virtual void UseUtf8Console() = 0;
    virtual void RestoreConsole() = 0;
    virtual bool SetStandardOutputBinary(bool binary) = 0;

    /// Calls `onStop(signal)` for each stop the user asks for (SIGINT, SIGTERM, SIGHUP; on
    /// Windows Ctrl-C, Ctrl-Break, and a closing console, a log-off or a shutdown as SIGHUP's
    /// number, from a system thread) until UnwatchStopSignals(). `onStop` runs in a signal
    /// handler: it may only set a lock-free flag or call EndBySignal().
    virtual void WatchStopSignals(void (*onStop)(int signal)) = 0;
    /// Puts back the handling found by WatchStopSignals(). On Windows it first lets a
    /// closing console end the process, which waits for this.
    virtual void UnwatchStopSignals() = 0;
    /// Ends the process as `signal` does without us (a stop asked for twice).
    virtual void EndBySignal(int signal) = 0;
};

/// The layer in use: the system's own unless a ScopedFiles put another in.
FileLayer& Files();
/// The system's own layer, whatever is in use.
FileLayer& SystemFiles();

/// Puts `layer` in use while it lives (a test's double), then the one before back. Install
/// it before a run starts and let it go after the run ended: the layer in use is read at
/// every call, by every thread.
class ScopedFiles {
public:
    explicit ScopedFiles(FileLayer& layer);
    ~ScopedFiles();
    ScopedFiles(const ScopedFiles&) = delete;
    ScopedFiles& operator=(const ScopedFiles&) = delete;

private:
    FileLayer* previous_;
};

/// What the system error number `err` means, as the layers report it: kMissing for a name
/// that is not there, kExists for one that is, else `otherwise`; in the system's words.
Error ErrnoFailure(ErrorKind otherwise, int err);

}  // namespace qf
