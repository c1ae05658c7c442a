#include "export/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/directory.h"

namespace qf {
namespace {

constexpr std::size_t kBufferSize = 256 * 1024;
std::atomic<unsigned> g_tempCounter{0};

std::string FolderOf(const std::string& path) {
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// A short name of our own, so that even a target name near the length limit gets one.
std::string TempNameIn(const std::string& folder) {
    char name[64];
    std::snprintf(name, sizeof name, "/.quillfen-%d-%u.part", static_cast<int>(getpid()),
                  g_tempCounter.fetch_add(1));
    return (folder == "/" ? std::string() : folder) + name;
}

}  // namespace

OutputFile::OutputFile(std::string path) : path_(std::move(path)) {
    result_.path = path_;
    struct stat st {};
    if (::stat(path_.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) {
            Fail(WriteStatus::kCannotCreate, "cannot create: a folder has that name");
            return;
        }
        // An existing read-only file stays protected, as it would from a plain open.
        if (::access(path_.c_str(), W_OK) != 0 && errno == EACCES) {
            Fail(WriteStatus::kCannotCreate, "cannot create: " + ErrnoText(EACCES));
            return;
        }
    }
    std::string folder = FolderOf(path_);
    for (int attempt = 0; attempt < 16; ++attempt) {
        tempPath_ = TempNameIn(folder);
        fd_ = ::open(tempPath_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                     0666);
        if (fd_ >= 0 || errno != EEXIST) break;
    }
    if (fd_ < 0) {
        int err = errno;
        tempPath_.clear();
        Fail(WriteStatus::kCannotCreate, "cannot create: " + ErrnoText(err));
    }
}

OutputFile::~OutputFile() { Discard(); }

void OutputFile::Fail(WriteStatus status, std::string cause) {
    if (!result_.ok()) return;  // the first cause is the one that matters
    result_.status = status;
    result_.cause = std::move(cause);
}

bool OutputFile::WriteAll(const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        ssize_t n = ::write(fd_, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            Fail(WriteStatus::kWriteFailed, "write failed: " + ErrnoText(n < 0 ? errno : EIO));
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

bool OutputFile::Write(const void* data, std::size_t size) {
    if (!ok()) return false;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    if (buffer_.capacity() == 0) buffer_.reserve(kBufferSize);
    if (buffer_.size() + size > kBufferSize) {
        if (!FlushBuffer()) return false;
        if (size >= kBufferSize) return WriteAll(bytes, size);
    }
    buffer_.insert(buffer_.end(), bytes, bytes + size);
    return true;
}

WriteResult OutputFile::Commit() {
    FlushBuffer();
    if (fd_ >= 0) {
        int closed = ::close(fd_);
        fd_ = -1;
        if (closed != 0) Fail(WriteStatus::kWriteFailed, "close failed: " + ErrnoText(errno));
    }
    if (ok() && ::rename(tempPath_.c_str(), path_.c_str()) != 0) {
        Fail(WriteStatus::kCannotCreate, "cannot replace: " + ErrnoText(errno));
    }
    if (ok()) tempPath_.clear();
    Discard();
    return result_;
}

void OutputFile::Discard() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!tempPath_.empty()) ::unlink(tempPath_.c_str());
    tempPath_.clear();
}

}  // namespace qf
