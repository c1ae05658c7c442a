#include "platform/output_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/directory.h"

namespace qf {
namespace {

constexpr std::size_t kBufferSize = std::size_t{256} * 1024;
constexpr char kTempPrefix[] = ".quillfen-";
constexpr char kTempSuffix[] = ".part";
std::atomic<unsigned> g_tempCounter{0};

// The folder part of `name` with its slash ("" for a bare name), so that the temporary
// stands in the same folder as the target and the rename stays within one file system.
std::string FolderPartOf(const std::string& name) {
    std::size_t slash = name.rfind('/');
    return slash == std::string::npos ? std::string() : name.substr(0, slash + 1);
}

// A short name of our own, so that even a target name near the length limit gets one.
std::string TempNameIn(const std::string& folderPart) {
    char name[64];
    std::snprintf(name, sizeof name, "%s%d-%u%s", kTempPrefix, static_cast<int>(getpid()),
                  g_tempCounter.fetch_add(1), kTempSuffix);
    return folderPart + name;
}

// The process id in a temporary's name, or -1 when the name is not one of ours.
long TempOwner(const std::string& name) {
    const std::size_t prefix = sizeof kTempPrefix - 1, suffix = sizeof kTempSuffix - 1;
    if (name.size() <= prefix + suffix || name.compare(0, prefix, kTempPrefix) != 0 ||
        name.compare(name.size() - suffix, suffix, kTempSuffix) != 0) {
        return -1;
    }
    const std::string middle = name.substr(prefix, name.size() - prefix - suffix);
    const std::size_t dash = middle.find('-');
    if (dash == 0 || dash == std::string::npos || dash + 1 == middle.size()) return -1;
    if (middle.find_first_not_of("0123456789-") != std::string::npos ||
        middle.find('-', dash + 1) != std::string::npos) {
        return -1;
    }
    return dash > 9 ? -1 : std::stol(middle.substr(0, dash));
}

}  // namespace

OutputFolder::~OutputFolder() {
    if (fd_ >= 0) ::close(fd_);
}

OutputFolder::OutputFolder(OutputFolder&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }

OutputFolder& OutputFolder::operator=(OutputFolder&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

Status OutputFolder::Open(const std::string& path) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ < 0) return Fail(ErrorKind::kCannotRead, ErrnoText(errno));
    return Status::Ok();
}

Status OutputFolder::Sync() const {
    if (fd_ >= 0 && ::fsync(fd_) != 0 && errno != EINVAL) {
        return Fail(ErrorKind::kWriteFailed, ErrnoText(errno));
    }
    return Status::Ok();
}

OutputFile::OutputFile(OutputTarget target) : target_(std::move(target)) {
    if (CheckExisting()) CreateTemporary();
}

OutputFile::~OutputFile() { Discard(); }

bool OutputFile::CheckExisting() {
    struct stat st {};
    if (::fstatat(target_.folderFd, target_.name.c_str(), &st, 0) != 0) return true;
    if (S_ISDIR(st.st_mode)) {
        Fail(ErrorKind::kCannotCreate, "cannot create: a folder has that name");
        return false;
    }
    if (!target_.replace) {
        Fail(ErrorKind::kExists, "a file of that name exists; not replaced");
        return false;
    }
    // An existing read-only file stays protected, as it would from a plain open.
    if (::faccessat(target_.folderFd, target_.name.c_str(), W_OK, 0) != 0 && errno == EACCES) {
        Fail(ErrorKind::kCannotCreate, "cannot create: " + ErrnoText(EACCES));
        return false;
    }
    if (S_ISREG(st.st_mode)) {
        keepMode_ = true;
        mode_ = st.st_mode & 07777;
        group_ = st.st_gid;
    }
    return true;
}

void OutputFile::CreateTemporary() {
    const std::string folderPart = FolderPartOf(target_.name);
    for (int attempt = 0; attempt < 16; ++attempt) {
        tempName_ = TempNameIn(folderPart);
        fd_ = ::openat(target_.folderFd, tempName_.c_str(),
                       O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd_ >= 0 || errno != EEXIST) break;
    }
    if (fd_ < 0) {
        int err = errno;
        tempName_.clear();
        Fail(ErrorKind::kCannotCreate, "cannot create: " + ErrnoText(err));
        return;
    }
    if (keepMode_) {
        // The group first: changing it may clear set-id bits, which the mode then restores
        // where that is allowed. Either may be refused to an ordinary user; that is no failure.
        if (::fchown(fd_, static_cast<uid_t>(-1), static_cast<gid_t>(group_)) != 0) errno = 0;
        if (::fchmod(fd_, static_cast<mode_t>(mode_)) != 0) errno = 0;
    }
}

void OutputFile::Fail(ErrorKind kind, std::string message) {
    if (!status_.ok()) return;  // the first cause is the one that matters
    status_ = qf::Fail(kind, std::move(message));
}

bool OutputFile::WriteAll(const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        ssize_t n = ::write(fd_, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            Fail(ErrorKind::kWriteFailed, "write failed: " + ErrnoText(n < 0 ? errno : EIO));
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
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
Status PlaceTemporary(int folderFd, const std::string& tempName, const std::string& name, bool replace) {
    if (replace) {
        if (::renameat(folderFd, tempName.c_str(), folderFd, name.c_str()) == 0) return Status::Ok();
        return Fail(ErrorKind::kCannotCreate, "cannot replace: " + ErrnoText(errno));
    }
    if (::linkat(folderFd, tempName.c_str(), folderFd, name.c_str(), 0) == 0) return Status::Ok();
    if (errno == EEXIST) return Fail(ErrorKind::kExists, "a file of that name exists; not replaced");
    return Fail(ErrorKind::kCannotCreate, "cannot create: " + ErrnoText(errno));
}

}  // namespace

bool OutputFile::PutInPlace() {
    const Status placed = PlaceTemporary(target_.folderFd, tempName_, target_.name, target_.replace);
    if (!placed.ok()) Fail(placed.kind(), placed.message());
    return placed.ok();
}

PendingOutput::~PendingOutput() { Discard(); }

Status PendingOutput::Place() {
    if (tempName_.empty()) return Fail(ErrorKind::kCannotCreate, "cannot create: nothing was written");
    Status placed = PlaceTemporary(folderFd_, tempName_, name_, replace_);
    if (placed.ok() && replace_) tempName_.clear();
    Discard();
    return placed;
}

void PendingOutput::Discard() {
    if (!tempName_.empty()) ::unlinkat(folderFd_, tempName_.c_str(), 0);
    tempName_.clear();
}

Status OutputFile::Commit() {
    FlushBuffer();
    if (fd_ >= 0) {
        if (ok() && target_.sync && ::fdatasync(fd_) != 0) {
            Fail(ErrorKind::kWriteFailed, "flush to disk failed: " + ErrnoText(errno));
        }
        int closed = ::close(fd_);
        fd_ = -1;
        if (closed != 0) Fail(ErrorKind::kWriteFailed, "close failed: " + ErrnoText(errno));
    }
    if (ok() && target_.pending) {
        PendingOutput& pending = *target_.pending;
        pending.Discard();
        pending.folderFd_ = target_.folderFd;
        pending.tempName_ = std::move(tempName_);
        pending.name_ = target_.name;
        pending.replace_ = target_.replace;
        tempName_.clear();
        return status_;
    }
    if (ok() && PutInPlace() && target_.replace) tempName_.clear();
    Discard();
    return status_;
}

void OutputFile::Discard() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!tempName_.empty()) ::unlinkat(target_.folderFd, tempName_.c_str(), 0);
    tempName_.clear();
}

bool IsTemporaryName(const std::string& name) { return TempOwner(name) > 0; }

int SweepStaleTemporaries(const OutputFolder& folder, const std::vector<std::string>& names) {
    int removed = 0;
    for (const std::string& name : names) {
        const long owner = TempOwner(name);
        if (owner <= 0) continue;
        // A process that still runs (or that we may not signal) keeps its temporaries.
        if (::kill(static_cast<pid_t>(owner), 0) == 0 || errno != ESRCH) continue;
        struct stat st {};
        if (::fstatat(folder.fd(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(st.st_mode)) {
            continue;
        }
        if (::unlinkat(folder.fd(), name.c_str(), 0) == 0) ++removed;
    }
    return removed;
}

}  // namespace qf
