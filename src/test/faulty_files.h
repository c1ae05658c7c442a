// A file layer for tests that puts faults into the system's own: real folders, real bytes,
// and on request the Nth write, rename or flush failing with a given system error, writes
// that take a few bytes at a time, a disk that fills up, stop signals that arrive when the
// test says. Install it for a test's run with ScopedFiles:
//
//     test::FaultyFiles files;
//     files.FailNth(test::FileOp::kRename, 1, EACCES);
//     ScopedFiles installed(files);
//
// It is safe from several threads (a run of several jobs); counts start when it is made.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/file_layer.h"

namespace qf::test {

/// The operations a fault can be put into, and whose calls are counted.
enum class FileOp {
    kOpenFolder,   ///< OpenFolder and OpenSubfolder
    kOpenToRead,
    kCreate,       ///< CreateNewFile
    kOpenStream,
    kRead,         ///< each single read of the system
    kWrite,        ///< each single positioned write of the system
    kWriteStream,
    kFlush,        ///< FlushToDisk
    kSyncFolder,
    kClose,        ///< CloseChecked (CloseFile cannot fail)
    kFacts,        ///< FactsOf and FactsAt
    kList,
    kRename,
    kLink,
    kRemove,
    kMakeFolder,   ///< MakeFolder and MakeFolderAt
    kCount
};

class FaultyFiles : public FileLayer {
public:
    /// Over the system's own layer.
    FaultyFiles();
    explicit FaultyFiles(FileLayer& real);

    /// The `nth` call of `op` (1 is the first from now on) fails with the system error
    /// number `err` (ENOSPC, EIO, EACCES, EROFS...), read as the system's layer reads it.
    void FailNth(FileOp op, int nth, int err) { FailCalls(op, nth, nth, err); }
    /// Every call of `op` from the `nth` on fails with `err`.
    void FailFrom(FileOp op, int nth, int err) { FailCalls(op, nth, kEver, err); }
    /// Calls `first` to `last` of `op` fail with `err`.
    void FailCalls(FileOp op, int first, int last, int err);
    /// Each write takes at most `bytes` (> 0) of what it is given, as a system may.
    void ShortWrites(std::size_t bytes);
    /// The disk fills up after `bytes` more bytes written, whatever is removed meanwhile: the
    /// write that reaches the end takes what fits, every later one fails with ENOSPC.
    void DiskFullAfter(std::uint64_t bytes);
    /// The folder `path` lies on a disk of `capacity` bytes that holds its files and nothing
    /// else: a write that would make them take more takes what fits, then fails with
    /// ENOSPC. Room comes back as files are removed or replaced, as on a real disk.
    void SmallDisk(const std::string& path, std::uint64_t capacity);
    /// Calls `hook` before each read the system is asked for, with where it reads and how
    /// much, from the reading thread: a test changes the file there to pin a race. Set it
    /// before the run starts.
    void BeforeEachRead(std::function<void(std::uint64_t offset, std::size_t size)> hook) { beforeRead_ = std::move(hook); }
    /// Calls `hook` before each OpenToRead with its path, from the opening thread.
    void BeforeEachOpenToRead(std::function<void(const std::string& path)> hook) { beforeOpen_ = std::move(hook); }
    /// Standard error is a terminal of `columns` columns.
    void PretendTerminal(int columns);
    /// The process may run on `cores` cores (its affinity), as a cluster's scheduler may set.
    void PretendCores(int cores);
    /// The system has `free` memory for the run, under the limit it names.
    void PretendFreeMemory(FreeMemory free);

    /// How many calls of `op` were made (failed ones too).
    int Calls(FileOp op) const;
    /// How many bytes the writes took.
    std::uint64_t BytesWritten() const;
    /// Descriptors opened through the layer and not yet closed, now and at most at once.
    int OpenDescriptors() const;
    int MostOpenDescriptors() const;

    /// Delivers a stop, as the system would deliver a signal to the handler the run
    /// installed; false when none is installed.
    bool DeliverStop(int signal);
    /// Whether a handler is installed now.
    bool WatchingStops() const;
    /// The signal EndBySignal() was asked to end the process by (which this layer does
    /// not do), or 0.
    int EndedBy() const;

    Result<int> OpenFolder(const std::string& path) override;
    Result<int> OpenSubfolder(int parentFd, const std::string& name) override;
    std::string PathThroughFolder(int folderFd, const std::string& name, const std::string& shownPath) override;
    Result<int> OpenToRead(const std::string& path) override;
    Result<int> OpenToReadAt(int folderFd, const std::string& name) override;
    Result<int> CreateNewFile(int folderFd, const std::string& name) override;
    Result<int> OpenStreamToWrite(const std::string& path, std::chrono::milliseconds limit,
                                  const std::function<bool()>& stop) override;
    void CloseFile(int fd) override;
    Status CloseChecked(int fd) override;
    Result<std::size_t> ReadSome(int fd, std::uint64_t offset, void* into, std::size_t size) override;
    Result<std::size_t> WriteSome(int fd, std::uint64_t offset, const void* data, std::size_t size) override;
    Result<std::size_t> WriteStreamSome(int fd, const void* data, std::size_t size) override;
    Status FlushToDisk(int fd) override;
    Status SyncFolder(int folderFd) override;
    Result<FileFacts> FactsOf(int fd) override;
    Result<FileFacts> FactsAt(int folderFd, const std::string& name, bool followLinks) override;
    bool MayWrite(int folderFd, const std::string& name) override;
    void CarryOverOwnership(int fd, const FileFacts& replaced) override;
    Result<std::vector<std::string>> ListNames(int folderFd) override;
    Status RenameOver(int folderFd, const std::string& from, const std::string& to, bool writeThrough) override;
    Status LinkAsNew(int folderFd, const std::string& from, const std::string& to) override;
    bool RemoveFile(int folderFd, const std::string& name) override;
    Status MakeFolder(const std::string& path) override;
    Status MakeFolderAt(int parentFd, const std::string& name) override;
    long CurrentProcessId() override;
    std::string HostName() override;
    std::string ProcessSpace() override;
    bool ProcessIsGone(long pid) override;
    FreeMemory AvailableMemory() override;
    int CoresAllowed() override;
    void TuneAllocatorForFrames() override;
    bool StandardErrorIsTerminal() override;
    int StandardErrorColumns() override;
    void UseUtf8Console() override;
    void RestoreConsole() override;
    bool SetStandardOutputBinary(bool binary) override;
    void WatchStopSignals(void (*onStop)(int signal)) override;
    void UnwatchStopSignals() override;
    void EndBySignal(int signal) override;

private:
    static constexpr int kEver = 1 << 30;
    struct Rule {
        FileOp op;
        int first, last, err;
    };
    /// Counts a call of `op`; the system error it is to fail with, or 0.
    int Fault(FileOp op);
    Result<int> Opened(Result<int> fd);
    void Closed();
    /// How many of `size` bytes at `offset` of `fd` fit on the disk now (locked).
    std::size_t RoomFor(int fd, std::uint64_t offset, std::size_t size);

    FileLayer& real_;
    mutable std::mutex lock_;
    std::vector<Rule> rules_;
    std::function<void(std::uint64_t, std::size_t)> beforeRead_;
    std::function<void(const std::string&)> beforeOpen_;
    std::array<int, static_cast<std::size_t>(FileOp::kCount)> calls_{};
    std::size_t shortWrites_ = 0;
    bool diskFull_ = false;
    std::uint64_t bytesLeft_ = 0;
    std::string smallDisk_;
    std::uint64_t capacity_ = 0;
    std::uint64_t written_ = 0;
    int columns_ = -1;
    int cores_ = -1;
    std::optional<FreeMemory> free_;
    int open_ = 0, mostOpen_ = 0;
    void (*onStop_)(int) = nullptr;
    int endedBy_ = 0;
    /// Serializes the writes while a disk's room is counted, so that two jobs never both
    /// take the last bytes.
    std::mutex writing_;
};

}  // namespace qf::test
