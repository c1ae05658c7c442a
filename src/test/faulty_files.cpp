#include "test/faulty_files.h"

#include "test/temp_folder.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <optional>

namespace qf::test {
namespace {

// What the system's layer reports for an error of `op`.
Error FailureOf(FileOp op, int err) {
    switch (op) {
        case FileOp::kCreate:
        case FileOp::kOpenStream:
        case FileOp::kRename:
        case FileOp::kLink:
        case FileOp::kMakeFolder: return ErrnoFailure(ErrorKind::kCannotCreate, err);
        case FileOp::kWrite:
#ifdef EDQUOT
            if (err == EDQUOT) return ErrnoFailure(ErrorKind::kNoSpace, err);
#endif
            return ErrnoFailure(err == ENOSPC ? ErrorKind::kNoSpace : ErrorKind::kWriteFailed, err);
        case FileOp::kWriteStream:
        case FileOp::kFlush:
        case FileOp::kSyncFolder:
        case FileOp::kClose: return ErrnoFailure(ErrorKind::kWriteFailed, err);
        default: return ErrnoFailure(ErrorKind::kCannotRead, err);
    }
}

// The bytes the regular files of `folder` hold.
std::uint64_t BytesIn(const std::string& folder) {
    std::uint64_t used = 0;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(FsPath(folder), ec)) {
        std::error_code sizeError;
        if (entry.is_regular_file(sizeError)) {
            const std::uintmax_t size = entry.file_size(sizeError);
            if (!sizeError) used += size;
        }
    }
    return used;
}

}  // namespace

FaultyFiles::FaultyFiles() : FaultyFiles(SystemFiles()) {}

FaultyFiles::FaultyFiles(FileLayer& real) : real_(real) {}

void FaultyFiles::FailCalls(FileOp op, int first, int last, int err) {
    const std::lock_guard<std::mutex> hold(lock_);
    const int done = calls_[static_cast<std::size_t>(op)];
    rules_.push_back(Rule{op, done + first, last >= kEver ? kEver : done + last, err});
}

void FaultyFiles::ShortWrites(std::size_t bytes) {
    const std::lock_guard<std::mutex> hold(lock_);
    shortWrites_ = std::max<std::size_t>(bytes, 1);
}

void FaultyFiles::DiskFullAfter(std::uint64_t bytes) {
    const std::lock_guard<std::mutex> hold(lock_);
    diskFull_ = true;
    bytesLeft_ = bytes;
}

void FaultyFiles::SmallDisk(const std::string& path, std::uint64_t capacity) {
    const std::lock_guard<std::mutex> hold(lock_);
    smallDisk_ = path;
    capacity_ = capacity;
}

void FaultyFiles::PretendTerminal(int columns) {
    const std::lock_guard<std::mutex> hold(lock_);
    columns_ = columns;
}

void FaultyFiles::PretendCores(int cores) {
    const std::lock_guard<std::mutex> hold(lock_);
    cores_ = cores;
}

void FaultyFiles::PretendFreeMemory(FreeMemory free) {
    const std::lock_guard<std::mutex> hold(lock_);
    free_ = free;
}

int FaultyFiles::Calls(FileOp op) const {
    const std::lock_guard<std::mutex> hold(lock_);
    return calls_[static_cast<std::size_t>(op)];
}

std::uint64_t FaultyFiles::BytesWritten() const {
    const std::lock_guard<std::mutex> hold(lock_);
    return written_;
}

int FaultyFiles::OpenDescriptors() const {
    const std::lock_guard<std::mutex> hold(lock_);
    return open_;
}

int FaultyFiles::MostOpenDescriptors() const {
    const std::lock_guard<std::mutex> hold(lock_);
    return mostOpen_;
}

bool FaultyFiles::DeliverStop(int signal) {
    void (*onStop)(int) = nullptr;
    {
        const std::lock_guard<std::mutex> hold(lock_);
        onStop = onStop_;
    }
    if (onStop) onStop(signal);
    return onStop != nullptr;
}

bool FaultyFiles::WatchingStops() const {
    const std::lock_guard<std::mutex> hold(lock_);
    return onStop_ != nullptr;
}

int FaultyFiles::EndedBy() const {
    const std::lock_guard<std::mutex> hold(lock_);
    return endedBy_;
}

int FaultyFiles::Fault(FileOp op) {
    const std::lock_guard<std::mutex> hold(lock_);
    const int call = ++calls_[static_cast<std::size_t>(op)];
    for (const Rule& rule : rules_) {
        if (rule.op == op && call >= rule.first && call <= rule.last) return rule.err;
    }
    return 0;
}

Result<int> FaultyFiles::Opened(Result<int> fd) {
    if (fd.ok()) {
        const std::lock_guard<std::mutex> hold(lock_);
        mostOpen_ = std::max(mostOpen_, ++open_);
    }
    return fd;
}

void FaultyFiles::Closed() {
    const std::lock_guard<std::mutex> hold(lock_);
    --open_;
}

Result<int> FaultyFiles::OpenFolder(const std::string& path) {
    if (const int err = Fault(FileOp::kOpenFolder)) return FailureOf(FileOp::kOpenFolder, err);
    return Opened(real_.OpenFolder(path));
}

Result<int> FaultyFiles::OpenSubfolder(int parentFd, const std::string& name) {
    if (const int err = Fault(FileOp::kOpenFolder)) return FailureOf(FileOp::kOpenFolder, err);
    return Opened(real_.OpenSubfolder(parentFd, name));
}

std::string FaultyFiles::PathThroughFolder(int folderFd, const std::string& name, const std::string& shownPath) {
    return real_.PathThroughFolder(folderFd, name, shownPath);
}

Result<int> FaultyFiles::OpenToRead(const std::string& path) {
    if (const int err = Fault(FileOp::kOpenToRead)) return FailureOf(FileOp::kOpenToRead, err);
    if (beforeOpen_) beforeOpen_(path);
    return Opened(real_.OpenToRead(path));
}

Result<int> FaultyFiles::OpenToReadAt(int folderFd, const std::string& name) {
    if (const int err = Fault(FileOp::kOpenToRead)) return FailureOf(FileOp::kOpenToRead, err);
    return Opened(real_.OpenToReadAt(folderFd, name));
}

Result<int> FaultyFiles::CreateNewFile(int folderFd, const std::string& name) {
    if (const int err = Fault(FileOp::kCreate)) return FailureOf(FileOp::kCreate, err);
    return Opened(real_.CreateNewFile(folderFd, name));
}

Result<int> FaultyFiles::OpenStreamToWrite(const std::string& path, std::chrono::milliseconds limit,
                                           const std::function<bool()>& stop) {
    if (const int err = Fault(FileOp::kOpenStream)) return FailureOf(FileOp::kOpenStream, err);
    return Opened(real_.OpenStreamToWrite(path, limit, stop));
}

void FaultyFiles::CloseFile(int fd) {
    Closed();
    real_.CloseFile(fd);
}

Status FaultyFiles::CloseChecked(int fd) {
    Closed();
    const Status closed = real_.CloseChecked(fd);
    // The descriptor is gone either way, as after a close(2) that failed.
    if (const int err = Fault(FileOp::kClose)) return FailureOf(FileOp::kClose, err);
    return closed;
}

Result<std::size_t> FaultyFiles::ReadSome(int fd, std::uint64_t offset, void* into, std::size_t size) {
    if (const int err = Fault(FileOp::kRead)) return FailureOf(FileOp::kRead, err);
    if (beforeRead_) beforeRead_(offset, size);
    return real_.ReadSome(fd, offset, into, size);
}

std::size_t FaultyFiles::RoomFor(int fd, std::uint64_t offset, std::size_t size) {
    std::uint64_t room = ~std::uint64_t{0};
    std::string disk;
    {
        const std::lock_guard<std::mutex> hold(lock_);
        if (diskFull_) room = bytesLeft_;
        disk = smallDisk_;
        if (!disk.empty()) {
            const std::uint64_t used = BytesIn(disk);
            room = std::min(room, used < capacity_ ? capacity_ - used : 0);
        }
    }
    if (disk.empty()) return static_cast<std::size_t>(std::min<std::uint64_t>(size, room));
    // Only the bytes past the file's end take room.
    Result<FileFacts> facts = real_.FactsOf(fd);
    const std::uint64_t end = facts.ok() ? facts.value().size : 0;
    const std::uint64_t growth = offset + size > end ? offset + size - end : 0;
    if (growth <= room) return size;
    return static_cast<std::size_t>(size - std::min<std::uint64_t>(size, growth - room));
}

Result<std::size_t> FaultyFiles::WriteSome(int fd, std::uint64_t offset, const void* data, std::size_t size) {
    if (const int err = Fault(FileOp::kWrite)) return FailureOf(FileOp::kWrite, err);
    const std::lock_guard<std::mutex> writing(writing_);
    std::size_t take = shortWrites_ > 0 ? std::min(size, shortWrites_) : size;
    take = std::min(take, RoomFor(fd, offset, take));
    if (take == 0) return FailureOf(FileOp::kWrite, ENOSPC);
    Result<std::size_t> put = real_.WriteSome(fd, offset, data, take);
    if (put.ok()) {
        const std::lock_guard<std::mutex> hold(lock_);
        written_ += put.value();
        if (diskFull_) bytesLeft_ -= std::min<std::uint64_t>(bytesLeft_, put.value());
    }
    return put;
}

Result<std::size_t> FaultyFiles::WriteStreamSome(int fd, const void* data, std::size_t size) {
    if (const int err = Fault(FileOp::kWriteStream)) return FailureOf(FileOp::kWriteStream, err);
    std::size_t take = size;
    {
        const std::lock_guard<std::mutex> hold(lock_);
        if (shortWrites_ > 0) take = std::min(take, shortWrites_);
    }
    return real_.WriteStreamSome(fd, data, take);
}

Status FaultyFiles::FlushToDisk(int fd) {
    if (const int err = Fault(FileOp::kFlush)) return FailureOf(FileOp::kFlush, err);
    return real_.FlushToDisk(fd);
}

Status FaultyFiles::SyncFolder(int folderFd) {
    if (const int err = Fault(FileOp::kSyncFolder)) return FailureOf(FileOp::kSyncFolder, err);
    return real_.SyncFolder(folderFd);
}

Result<FileFacts> FaultyFiles::FactsOf(int fd) {
    if (const int err = Fault(FileOp::kFacts)) return FailureOf(FileOp::kFacts, err);
    return real_.FactsOf(fd);
}

Result<FileFacts> FaultyFiles::FactsAt(int folderFd, const std::string& name, bool followLinks) {
    if (const int err = Fault(FileOp::kFacts)) return FailureOf(FileOp::kFacts, err);
    return real_.FactsAt(folderFd, name, followLinks);
}

bool FaultyFiles::MayWrite(int folderFd, const std::string& name) { return real_.MayWrite(folderFd, name); }

void FaultyFiles::CarryOverOwnership(int fd, const FileFacts& replaced) { real_.CarryOverOwnership(fd, replaced); }

Result<std::vector<std::string>> FaultyFiles::ListNames(int folderFd) {
    if (const int err = Fault(FileOp::kList)) return FailureOf(FileOp::kList, err);
    return real_.ListNames(folderFd);
}

Status FaultyFiles::RenameOver(int folderFd, const std::string& from, const std::string& to, bool writeThrough) {
    if (const int err = Fault(FileOp::kRename)) return FailureOf(FileOp::kRename, err);
    return real_.RenameOver(folderFd, from, to, writeThrough);
}

Status FaultyFiles::LinkAsNew(int folderFd, const std::string& from, const std::string& to) {
    if (const int err = Fault(FileOp::kLink)) return FailureOf(FileOp::kLink, err);
    return real_.LinkAsNew(folderFd, from, to);
}

bool FaultyFiles::RemoveFile(int folderFd, const std::string& name) {
    if (Fault(FileOp::kRemove) != 0) return false;
    return real_.RemoveFile(folderFd, name);
}

Status FaultyFiles::MakeFolder(const std::string& path) {
    if (const int err = Fault(FileOp::kMakeFolder)) return FailureOf(FileOp::kMakeFolder, err);
    return real_.MakeFolder(path);
}

Status FaultyFiles::MakeFolderAt(int parentFd, const std::string& name) {
    if (const int err = Fault(FileOp::kMakeFolder)) return FailureOf(FileOp::kMakeFolder, err);
    return real_.MakeFolderAt(parentFd, name);
}

long FaultyFiles::CurrentProcessId() { return real_.CurrentProcessId(); }
std::string FaultyFiles::HostName() { return real_.HostName(); }
std::string FaultyFiles::ProcessSpace() { return real_.ProcessSpace(); }
bool FaultyFiles::ProcessIsGone(long pid) { return real_.ProcessIsGone(pid); }

FreeMemory FaultyFiles::AvailableMemory() {
    {
        const std::lock_guard<std::mutex> hold(lock_);
        if (free_) return *free_;
    }
    return real_.AvailableMemory();
}

int FaultyFiles::CoresAllowed() {
    {
        const std::lock_guard<std::mutex> hold(lock_);
        if (cores_ >= 0) return cores_;
    }
    return real_.CoresAllowed();
}

void FaultyFiles::TuneAllocatorForFrames() { real_.TuneAllocatorForFrames(); }

bool FaultyFiles::StandardErrorIsTerminal() {
    {
        const std::lock_guard<std::mutex> hold(lock_);
        if (columns_ >= 0) return true;
    }
    return real_.StandardErrorIsTerminal();
}

int FaultyFiles::StandardErrorColumns() {
    {
        const std::lock_guard<std::mutex> hold(lock_);
        if (columns_ >= 0) return columns_;
    }
    return real_.StandardErrorColumns();
}

void FaultyFiles::UseUtf8Console() { real_.UseUtf8Console(); }
void FaultyFiles::RestoreConsole() { real_.RestoreConsole(); }
bool FaultyFiles::SetStandardOutputBinary(bool binary) { return real_.SetStandardOutputBinary(binary); }

// Stops are the test's to deliver: no handler of the process changes.
void FaultyFiles::WatchStopSignals(void (*onStop)(int signal)) {
    const std::lock_guard<std::mutex> hold(lock_);
    onStop_ = onStop;
}

void FaultyFiles::UnwatchStopSignals() {
    const std::lock_guard<std::mutex> hold(lock_);
    onStop_ = nullptr;
}

void FaultyFiles::EndBySignal(int signal) {
    const std::lock_guard<std::mutex> hold(lock_);
    endedBy_ = signal;
}

}  // namespace qf::test
