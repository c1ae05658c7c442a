#include "platform/output_file.h"

#include <utility>

#include <atomic>
#include <cerrno>
#include <cstdio>

namespace qf {
namespace {

constexpr std::size_t kBufferSize = std::size_t{256} * 1024;
constexpr char kTempPrefix[] = ".quillfen-";
constexpr char kTempSuffix[] = ".part";
std::atomic<unsigned> g_tempCounter{0};

// The folder part of `name` with its slash ("" for a bare name), so that the temporary
// stands in the same folder as the target and the rename stays within one file system.
std::string FolderPartOf(const std::string& name) {
    const std::size_t slash = LastSeparator(name);
    return slash == std::string::npos ? std::string() : name.substr(0, slash + 1);
}

// Who writes our temporaries, as it goes into their names: a hash of this machine's whole
// name, its boot and its process namespace, so that two processes with the same tag are
// two processes of one id space, and a process id in the name can be asked about.
const std::string& HostTag() {
    static const std::string tag = [] {
        std::uint64_t hash = 0xcbf29ce484222325ULL;  // FNV-1a, 64 bits
        for (const char c : ProcessSpace()) {
            hash ^= static_cast<unsigned char>(c);
            hash *= 0x100000001b3ULL;
        }
        char text[17];
        std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
        return std::string(text);
    }();
    return tag;
}

// A short name of our own, so that even a target name near the length limit gets one. It
// names the process and the machine that writes it: a folder shared by several machines
// (shards of one run) holds temporaries of processes that run elsewhere.
std::string TempNameIn(const std::string& folderPart) {
    char name[96];
    std::snprintf(name, sizeof name, "%s%ld-%u%s%s%s", kTempPrefix, CurrentProcessId(), g_tempCounter.fetch_add(1),
                  HostTag().empty() ? "" : "@", HostTag().c_str(), kTempSuffix);
    return folderPart + name;
}

struct TempOwnerOf {
    long pid = -1;     ///< -1: not one of ours
    std::string host;  ///< "" in the names of earlier versions, which were all made here
};

TempOwnerOf TempOwner(const std::string& name) {
    const std::size_t prefix = sizeof kTempPrefix - 1, suffix = sizeof kTempSuffix - 1;
    if (name.size() <= prefix + suffix || name.compare(0, prefix, kTempPrefix) != 0 ||
        name.compare(name.size() - suffix, suffix, kTempSuffix) != 0) {
        return {};
    }
    std::string middle = name.substr(prefix, name.size() - prefix - suffix);
    TempOwnerOf owner;
    if (const std::size_t at = middle.find('@'); at != std::string::npos) {
        owner.host = middle.substr(at + 1);
        middle.resize(at);
        if (owner.host.empty()) return {};
    }
    const std::size_t dash = middle.find('-');
    if (dash == 0 || dash == std::string::npos || dash + 1 == middle.size()) return {};
    if (middle.find_first_not_of("0123456789-") != std::string::npos ||
        middle.find('-', dash + 1) != std::string::npos) {
        return {};
    }
    owner.pid = dash > 9 ? -1 : std::stol(middle.substr(0, dash));
    return owner.pid > 0 ? owner : TempOwnerOf{};
}

}  // namespace

OutputFolder::~OutputFolder() { CloseFile(fd_); }

OutputFolder::OutputFolder(OutputFolder&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }

OutputFolder& OutputFolder::operator=(OutputFolder&& other) noexcept {
    if (this != &other) {
        CloseFile(fd_);
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

Status OutputFolder::Open(const std::string& path) {
    CloseFile(fd_);
    fd_ = -1;
    Result<int> opened = OpenFolder(path);
    if (!opened.ok()) return opened.error();
    fd_ = opened.value();
    return Status::Ok();
}

Status OutputFolder::Sync() const { return SyncFolder(fd_); }

OutputFile::OutputFile(OutputTarget target) : target_(std::move(target)) {
    if (CheckExisting()) CreateTemporary();
}

OutputFile::~OutputFile() { Discard(); }

Status CheckOutputTarget(const OutputTarget& target, FileFacts* replaced) {
    // The temporary goes beside the output: the folder must take new files, whatever is there.
    if (!MayWrite(target.folderFd, ".")) return Fail(ErrorKind::kFolderReadOnly, "cannot create: " + ErrnoText(EACCES));
    // lstat first: a link at the name, even one to nothing, is a file of that name.
    Result<FileFacts> there = FactsAt(target.folderFd, target.name, false);
    if (!there.ok()) return Status::Ok();
    Result<FileFacts> existing = FactsAt(target.folderFd, target.name, true);
    if (existing.ok() && existing.value().type == FileType::kFolder) {
        return Fail(ErrorKind::kCannotCreate, "cannot create: a folder has that name");
    }
    if (!target.replace) return Fail(ErrorKind::kExists, "a file of that name exists; not replaced");
    // An existing read-only file stays protected, as it would from a plain open.
    if (existing.ok() && !MayWrite(target.folderFd, target.name)) {
        return Fail(ErrorKind::kCannotCreate, "cannot create: " + ErrnoText(EACCES));
    }
    if (replaced && existing.ok() && existing.value().type == FileType::kRegular) *replaced = existing.value();
    return Status::Ok();
}

bool OutputFile::CheckExisting() {
    replaced_.type = FileType::kOther;
    const Status checked = CheckOutputTarget(target_, &replaced_);
    if (!checked.ok()) {
        Fail(checked.kind(), checked.message());
        return false;
    }
    keepMode_ = replaced_.type == FileType::kRegular;
    return true;
}

void OutputFile::CreateTemporary() {
    const std::string folderPart = FolderPartOf(target_.name);
    for (int attempt = 0; attempt < 16; ++attempt) {
        tempName_ = TempNameIn(folderPart);
        Result<int> created = CreateNewFile(target_.folderFd, tempName_);
        if (created.ok()) {
            fd_ = created.value();
            break;
        }
        if (created.error().kind == ErrorKind::kExists && attempt < 15) continue;
        tempName_.clear();
        Fail(ErrorKind::kCannotCreate, "cannot create: " + created.message());
        return;
    }
    if (keepMode_) CarryOverOwnership(fd_, replaced_);
}

void OutputFile::Fail(ErrorKind kind, std::string message) {
    if (!status_.ok()) return;  // the first cause is the one that matters
    status_ = qf::Fail(kind, std::move(message));
}

bool OutputFile::WriteAll(const std::uint8_t* data, std::size_t size) {
    const Status written = WriteAt(fd_, end_, data, size);
    if (!written.ok() && written.kind() == ErrorKind::kNoSpace) {
        Fail(ErrorKind::kNoSpace, "disk full while writing (" + written.message() + ")");
    } else if (!written.ok()) {
        Fail(ErrorKind::kWriteFailed, "write failed: " + written.message());
    }
    end_ += size;
    return written.ok();
}

bool OutputFile::FlushBuffer() {
    if (buffer_.empty()) return ok();
    bool written = ok() && WriteAll(buffer_.data(), buffer_.size());
    buffer_.clear();
    return written;
}

void OutputFile::Write(const void* data, std::size_t size) {
    if (!ok()) return;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    if (buffer_.capacity() == 0) buffer_.reserve(kBufferSize);
    if (buffer_.size() + size > kBufferSize) {
        if (!FlushBuffer()) return;
        if (size >= kBufferSize) {
            WriteAll(bytes, size);
            return;
        }
    }
    buffer_.insert(buffer_.end(), bytes, bytes + size);
}

namespace {

// The rename of a finished temporary: over the target, or as a hard link, which fails when
// the name exists, so that a file that appeared meanwhile is kept.
Status PlaceTemporary(int folderFd, const std::string& tempName, const std::string& name, bool replace,
                      bool sync) {
    if (replace) {
        Status renamed = RenameOver(folderFd, tempName, name, sync);
        if (renamed.ok()) return renamed;
        return Fail(ErrorKind::kCannotCreate, "cannot replace: " + renamed.message());
    }
    Status linked = LinkAsNew(folderFd, tempName, name);
    if (linked.ok()) return linked;
    if (linked.kind() == ErrorKind::kExists) return Fail(ErrorKind::kExists, "a file of that name exists; not replaced");
    return Fail(ErrorKind::kCannotCreate, "cannot create: " + linked.message());
}

}  // namespace

bool OutputFile::PutInPlace() {
    const Status placed = PlaceTemporary(target_.folderFd, tempName_, target_.name, target_.replace, target_.sync);
    if (!placed.ok()) Fail(placed.kind(), placed.message());
    return placed.ok();
}

PendingOutput::~PendingOutput() { Discard(); }

PendingOutput::PendingOutput(PendingOutput&& other) noexcept { *this = std::move(other); }

PendingOutput& PendingOutput::operator=(PendingOutput&& other) noexcept {
    if (this == &other) return *this;
    Discard();
    folderFd_ = other.folderFd_;
    tempName_ = std::exchange(other.tempName_, {});
    name_ = std::move(other.name_);
    replace_ = other.replace_;
    sync_ = other.sync_;
    return *this;
}

Status PendingOutput::Place() {
    if (tempName_.empty()) return Fail(ErrorKind::kCannotCreate, "cannot create: nothing was written");
    Status placed = PlaceTemporary(folderFd_, tempName_, name_, replace_, sync_);
    if (placed.ok() && replace_) tempName_.clear();
    Discard();
    return placed;
}

void PendingOutput::Discard() {
    if (!tempName_.empty()) RemoveFile(folderFd_, tempName_);
    tempName_.clear();
}

Status OutputFile::Commit() {
    FlushBuffer();
    if (fd_ >= 0) {
        if (ok() && target_.sync) {
            if (Status flushed = FlushToDisk(fd_); !flushed.ok()) {
                Fail(ErrorKind::kWriteFailed, "flush to disk failed: " + flushed.message());
            }
        }
        const Status closed = CloseChecked(fd_);
        fd_ = -1;
        if (!closed.ok()) Fail(ErrorKind::kWriteFailed, "close failed: " + closed.message());
    }
    if (ok() && target_.pending) {
        PendingOutput& pending = *target_.pending;
        pending.Discard();
        pending.folderFd_ = target_.folderFd;
        pending.tempName_ = std::move(tempName_);
        pending.name_ = target_.name;
        pending.replace_ = target_.replace;
        pending.sync_ = target_.sync;
        tempName_.clear();
        return status_;
    }
    if (ok() && PutInPlace() && target_.replace) tempName_.clear();
    Discard();
    return status_;
}

void OutputFile::Discard() {
    CloseFile(fd_);
    fd_ = -1;
    if (!tempName_.empty()) RemoveFile(target_.folderFd, tempName_);
    tempName_.clear();
}

bool IsTemporaryName(const std::string& name) { return TempOwner(name).pid > 0; }

const std::string& TemporaryOwnerTag() { return HostTag(); }

int SweepStaleTemporaries(const OutputFolder& folder, const std::vector<std::string>& names) {
    int removed = 0;
    for (const std::string& name : names) {
        const TempOwnerOf owner = TempOwner(name);
        if (owner.pid <= 0) continue;
        // Only a temporary whose writer is provably gone is removed: one of this machine,
        // boot and process namespace (the tag says so) whose process no longer runs. Names
        // of another space, or of earlier versions that did not say, are left alone.
        if (owner.host != HostTag() || !ProcessIsGone(owner.pid)) continue;
        Result<FileFacts> facts = FactsAt(folder.fd(), name, false);
        if (!facts.ok() || facts.value().type != FileType::kRegular) continue;
        if (RemoveFile(folder.fd(), name)) ++removed;
    }
    return removed;
}

}  // namespace qf
