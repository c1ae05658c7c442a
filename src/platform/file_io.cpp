// The functions of file_io.h over the layer in use (file_layer.h): the loops that make one
// read or write of the system whole are here, once for every layer.
#include "platform/file_io.h"

#include <algorithm>
#include <atomic>
#include <cerrno>

#include "platform/file_layer.h"

namespace qf {
namespace {

// constinit: read before main() too (a static's constructor may write a file) and from
// every thread; null stands for the system's own layer.
constinit std::atomic<FileLayer*> g_installed{nullptr};

}  // namespace

FileLayer& Files() {
    FileLayer* installed = g_installed.load(std::memory_order_acquire);
    return installed ? *installed : SystemFiles();
}

ScopedFiles::ScopedFiles(FileLayer& layer) : previous_(g_installed.exchange(&layer, std::memory_order_acq_rel)) {}

ScopedFiles::~ScopedFiles() { g_installed.store(previous_, std::memory_order_release); }

Error ErrnoFailure(ErrorKind otherwise, int err) {
    if (err == ENOENT) return Fail(ErrorKind::kMissing, ErrnoText(err));
    if (err == EEXIST) return Fail(ErrorKind::kExists, ErrnoText(err));
    return Fail(otherwise, ErrnoText(err));
}

Result<int> OpenFolder(const std::string& path) { return Files().OpenFolder(path); }
Result<int> OpenSubfolder(int parentFd, const std::string& name) { return Files().OpenSubfolder(parentFd, name); }
std::string PathThroughFolder(int folderFd, const std::string& name, const std::string& shownPath) {
    return Files().PathThroughFolder(folderFd, name, shownPath);
}
Result<int> OpenToRead(const std::string& path) { return Files().OpenToRead(path); }
Result<int> OpenToReadAt(int folderFd, const std::string& name) { return Files().OpenToReadAt(folderFd, name); }
Result<int> CreateNewFile(int folderFd, const std::string& name) { return Files().CreateNewFile(folderFd, name); }
Result<int> OpenStreamToWrite(const std::string& path, std::chrono::milliseconds limit,
                              const std::function<bool()>& stop) {
    return Files().OpenStreamToWrite(path, limit, stop);
}

Status WriteStream(int fd, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    while (size > 0) {
        Result<std::size_t> put = Files().WriteStreamSome(fd, bytes, size);
        if (!put.ok()) return put.error();
        bytes += put.value();
        size -= put.value();
    }
    return Status::Ok();
}

void CloseFile(int fd) {
    if (fd >= 0) Files().CloseFile(fd);
}
Status CloseChecked(int fd) { return Files().CloseChecked(fd); }

Result<std::size_t> ReadAt(int fd, std::uint64_t offset, void* into, std::size_t size) {
    auto* bytes = static_cast<std::uint8_t*>(into);
    std::size_t done = 0;
    while (done < size) {
        Result<std::size_t> got = Files().ReadSome(fd, offset + done, bytes + done, size - done);
        if (!got.ok()) return got.error();
        if (got.value() == 0) break;
        done += got.value();
    }
    return done;
}

Status WriteAt(int fd, std::uint64_t offset, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    while (size > 0) {
        Result<std::size_t> put = Files().WriteSome(fd, offset, bytes, size);
        if (!put.ok()) return put.error();
        bytes += put.value();
        size -= put.value();
        offset += put.value();
    }
    return Status::Ok();
}

Status FlushToDisk(int fd) { return Files().FlushToDisk(fd); }
Status SyncFolder(int folderFd) { return Files().SyncFolder(folderFd); }
Result<FileFacts> FactsOf(int fd) { return Files().FactsOf(fd); }
Result<FileFacts> FactsAt(int folderFd, const std::string& name, bool followLinks) {
    return Files().FactsAt(folderFd, name, followLinks);
}
bool MayWrite(int folderFd, const std::string& name) { return Files().MayWrite(folderFd, name); }
void CarryOverOwnership(int fd, const FileFacts& replaced) { Files().CarryOverOwnership(fd, replaced); }
Result<std::vector<std::string>> ListNames(int folderFd) { return Files().ListNames(folderFd); }

Status RenameOver(int folderFd, const std::string& from, const std::string& to, bool writeThrough) {
    return Files().RenameOver(folderFd, from, to, writeThrough);
}
Status LinkAsNew(int folderFd, const std::string& from, const std::string& to) {
    return Files().LinkAsNew(folderFd, from, to);
}
bool RemoveFile(int folderFd, const std::string& name) { return Files().RemoveFile(folderFd, name); }
Status MakeFolder(const std::string& path) { return Files().MakeFolder(path); }
Status MakeFolderAt(int parentFd, const std::string& name) { return Files().MakeFolderAt(parentFd, name); }

long CurrentProcessId() { return Files().CurrentProcessId(); }
std::string HostName() { return Files().HostName(); }
std::string ProcessSpace() { return Files().ProcessSpace(); }
bool ProcessIsGone(long pid) { return Files().ProcessIsGone(pid); }
FreeMemory AvailableMemory() { return Files().AvailableMemory(); }
int DefaultJobs() { return std::max(1, Files().CoresAllowed()); }
int CoresAllowed() { return std::max(0, Files().CoresAllowed()); }
void TuneAllocatorForFrames() { Files().TuneAllocatorForFrames(); }

bool StandardErrorIsTerminal() { return Files().StandardErrorIsTerminal(); }
int StandardErrorColumns() { return Files().StandardErrorColumns(); }
void UseUtf8Console() { Files().UseUtf8Console(); }
void RestoreConsole() { Files().RestoreConsole(); }
bool SetStandardOutputBinary(bool binary) { return Files().SetStandardOutputBinary(binary); }

void WatchStopSignals(void (*onStop)(int signal)) { Files().WatchStopSignals(onStop); }
void UnwatchStopSignals() { Files().UnwatchStopSignals(); }
void EndBySignal(int signal) { Files().EndBySignal(signal); }

}  // namespace qf
