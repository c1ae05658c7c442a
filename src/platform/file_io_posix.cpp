// The POSIX half of the file layer (file_layer.h): the system's own layer here.
#include "platform/file_io.h"
#include "platform/system_file_layer.h"
#include "platform/cgroup_memory.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <malloc.h>
#include <sched.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <thread>

namespace qf {
namespace {

Error SystemFailure(ErrorKind otherwise, int err) { return ErrnoFailure(otherwise, err); }

Error LastFailure(ErrorKind otherwise) { return SystemFailure(otherwise, errno); }

FileFacts FactsFrom(const struct stat& st) {
    FileFacts facts;
    facts.type = S_ISREG(st.st_mode) ? FileType::kRegular : S_ISDIR(st.st_mode) ? FileType::kFolder : FileType::kOther;
    facts.size = static_cast<std::uint64_t>(st.st_size);
    facts.mode = st.st_mode & 07777;
    facts.group = st.st_gid;
    facts.identity = std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
    facts.modified = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return facts;
}


}  // namespace

std::string ErrnoText(int err) {
    char buffer[256];
    // The GNU variant returns the text, which may or may not live in `buffer`.
    return strerror_r(err, buffer, sizeof buffer);
}

std::string NameKey(const std::string& name) { return name; }

Result<int> SystemFileLayer::OpenFolder(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return LastFailure(ErrorKind::kCannotRead);
    return fd;
}

bool MatchesGlob(const std::string& glob, const std::string& name) {
    return ::fnmatch(glob.c_str(), name.c_str(), 0) == 0;
}

bool NameTooLong(const std::string& name) { return name.size() > NAME_MAX; }

Result<int> SystemFileLayer::OpenSubfolder(int parentFd, const std::string& name) {
    const int fd = ::openat(parentFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return LastFailure(ErrorKind::kCannotRead);
    return fd;
}

std::string SystemFileLayer::PathThroughFolder(int folderFd, const std::string& name, const std::string& shownPath) {
    // The process's own view of its descriptors leads to the folder it holds, wherever that
    // went; and it stays short however deep the folder lies.
    if (folderFd < 0) return shownPath;
    static const bool hasFdFolder = ::access("/proc/self/fd", X_OK) == 0;
    if (!hasFdFolder) return shownPath;
    return "/proc/self/fd/" + std::to_string(folderFd) + "/" + name;
}

Result<int> SystemFileLayer::OpenToRead(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return LastFailure(ErrorKind::kCannotRead);
    return fd;
}

Result<int> SystemFileLayer::OpenToReadAt(int folderFd, const std::string& name) {
    const int fd = ::openat(folderFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return LastFailure(ErrorKind::kCannotRead);
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        return Fail(ErrorKind::kCannotRead, std::strerror(EISDIR));
    }
    return fd;
}

Result<int> SystemFileLayer::CreateNewFile(int folderFd, const std::string& name) {
    const int fd = ::openat(folderFd, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) return LastFailure(ErrorKind::kCannotCreate);
    return fd;
}

Result<int> SystemFileLayer::OpenStreamToWrite(const std::string& path, std::chrono::milliseconds limit,
                              const std::function<bool()>& stop) {
    const auto until = std::chrono::steady_clock::now() + limit;
    for (;;) {
        // Non-blocking, so that a FIFO nobody reads does not hold the process (ENXIO).
        const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (fd >= 0) {
            const int flags = ::fcntl(fd, F_GETFL);
            if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
            return fd;
        }
        if (errno != ENXIO) return LastFailure(ErrorKind::kCannotCreate);
        if ((stop && stop()) || std::chrono::steady_clock::now() >= until) {
            return Fail(ErrorKind::kCannotCreate, "no program reads it");
        }
        ::usleep(20000);
    }
}

Result<std::size_t> SystemFileLayer::WriteStreamSome(int fd, const void* data, std::size_t size) {
    for (;;) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return SystemFailure(ErrorKind::kWriteFailed, n < 0 ? errno : EIO);
        return static_cast<std::size_t>(n);
    }
}

void SystemFileLayer::CloseFile(int fd) {
    if (fd >= 0) ::close(fd);
}

Status SystemFileLayer::CloseChecked(int fd) {
    if (::close(fd) != 0) return LastFailure(ErrorKind::kWriteFailed);
    return Status::Ok();
}

Result<std::size_t> SystemFileLayer::ReadSome(int fd, std::uint64_t offset, void* into, std::size_t size) {
    for (;;) {
        const ssize_t n = ::pread(fd, into, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return LastFailure(ErrorKind::kCannotRead);
        return static_cast<std::size_t>(n);
    }
}

Result<std::size_t> SystemFileLayer::WriteSome(int fd, std::uint64_t offset, const void* data, std::size_t size) {
    for (;;) {
        const ssize_t n = ::pwrite(fd, data, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == ENOSPC || errno == EDQUOT)) return SystemFailure(ErrorKind::kNoSpace, errno);
        if (n <= 0) return SystemFailure(ErrorKind::kWriteFailed, n < 0 ? errno : EIO);
        return static_cast<std::size_t>(n);
    }
}

Status SystemFileLayer::FlushToDisk(int fd) {
    if (::fdatasync(fd) != 0) return LastFailure(ErrorKind::kWriteFailed);
    return Status::Ok();
}

Status SystemFileLayer::SyncFolder(int folderFd) {
    // Some file systems cannot sync a folder and say EINVAL: nothing more can be done there.
    if (folderFd >= 0 && ::fsync(folderFd) != 0 && errno != EINVAL) return LastFailure(ErrorKind::kWriteFailed);
    return Status::Ok();
}

Result<FileFacts> SystemFileLayer::FactsOf(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return LastFailure(ErrorKind::kCannotRead);
    return FactsFrom(st);
}

Result<FileFacts> SystemFileLayer::FactsAt(int folderFd, const std::string& name, bool followLinks) {
    struct stat st {};
    if (::fstatat(folderFd, name.c_str(), &st, followLinks ? 0 : AT_SYMLINK_NOFOLLOW) != 0) {
        return LastFailure(ErrorKind::kCannotRead);
    }
    return FactsFrom(st);
}

bool LinksLeadToDataFiles() { return true; }

bool SystemFileLayer::MayWrite(int folderFd, const std::string& name) {
    return ::faccessat(folderFd, name.c_str(), W_OK, 0) == 0 || errno != EACCES;
}

void SystemFileLayer::CarryOverOwnership(int fd, const FileFacts& replaced) {
    // The group, then the permission bits, never the set-id or sticky bits: the new file is
    // ours (root's, in a root run), so a set-user-id bit carried over would hand out our
    // rights. Either may be refused to an ordinary user; that is no failure.
    if (::fchown(fd, static_cast<uid_t>(-1), static_cast<gid_t>(replaced.group)) != 0) errno = 0;
    if (::fchmod(fd, static_cast<mode_t>(replaced.mode & 0777)) != 0) errno = 0;
}

Result<std::vector<std::string>> SystemFileLayer::ListNames(int folderFd) {
    // A listing owns its descriptor; a duplicate keeps the caller's open.
    const int fd = ::fcntl(folderFd, F_DUPFD_CLOEXEC, 0);
    if (fd < 0) return LastFailure(ErrorKind::kCannotRead);
    std::unique_ptr<DIR, int (*)(DIR*)> dir(fdopendir(fd), closedir);
    if (!dir) {
        const int err = errno;
        ::close(fd);
        return SystemFailure(ErrorKind::kCannotRead, err);
    }
    rewinddir(dir.get());
    std::vector<std::string> names;
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(dir.get());
        if (!entry) {
            if (errno != 0) return LastFailure(ErrorKind::kCannotRead);
            break;
        }
        std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(std::move(name));
    }
    std::sort(names.begin(), names.end());
    return names;
}

Status SystemFileLayer::RenameOver(int folderFd, const std::string& from, const std::string& to, bool) {
    // The rename's durability is the folder's: SyncFolder after the last one.
    if (::renameat(folderFd, from.c_str(), folderFd, to.c_str()) != 0) return LastFailure(ErrorKind::kCannotCreate);
    return Status::Ok();
}

Status SystemFileLayer::LinkAsNew(int folderFd, const std::string& from, const std::string& to) {
    if (::linkat(folderFd, from.c_str(), folderFd, to.c_str(), 0) != 0) return LastFailure(ErrorKind::kCannotCreate);
    return Status::Ok();
}

bool SystemFileLayer::RemoveFile(int folderFd, const std::string& name) { return ::unlinkat(folderFd, name.c_str(), 0) == 0; }

Status SystemFileLayer::MakeFolder(const std::string& path) {
    if (::mkdir(path.c_str(), 0777) != 0 && errno != EEXIST) return LastFailure(ErrorKind::kCannotCreate);
    return Status::Ok();
}

std::string SystemFileLayer::ProcessSpace() {
    std::string space = HostName();
    char boot[64] = {};
    if (const int fd = ::open("/proc/sys/kernel/random/boot_id", O_RDONLY | O_CLOEXEC); fd >= 0) {
        const ssize_t n = ::read(fd, boot, sizeof boot - 1);
        ::close(fd);
        if (n > 0) boot[n] = '\0';
    }
    space += std::string("\n") + boot;
    struct stat ns {};
    if (::stat("/proc/self/ns/pid", &ns) == 0) {
        space += "\n" + std::to_string(ns.st_dev) + ":" + std::to_string(ns.st_ino);
    }
    return space;
}

Status SystemFileLayer::MakeFolderAt(int parentFd, const std::string& name) {
    if (::mkdirat(parentFd, name.c_str(), 0777) != 0 && errno != EEXIST) return LastFailure(ErrorKind::kCannotCreate);
    return Status::Ok();
}

long SystemFileLayer::CurrentProcessId() { return static_cast<long>(::getpid()); }

std::string SystemFileLayer::HostName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return {};
    return name;
}

bool SystemFileLayer::ProcessIsGone(long pid) { return ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH; }

bool SystemFileLayer::StandardErrorIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

int SystemFileLayer::StandardErrorColumns() {
    struct winsize size {};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) != 0) return 0;
    return size.ws_col;
}

void SystemFileLayer::UseUtf8Console() {}

void SystemFileLayer::RestoreConsole() {}

bool SystemFileLayer::SetStandardOutputBinary(bool) { return true; }

namespace {

// MemAvailable counts the page cache the kernel would give back; free pages alone do not.
std::uint64_t MachineMemoryAvailable() {
    if (const int fd = ::open("/proc/meminfo", O_RDONLY | O_CLOEXEC); fd >= 0) {
        char text[4096] = {};
        const ssize_t n = ::read(fd, text, sizeof text - 1);
        ::close(fd);
        if (n > 0) {
            if (const char* at = std::strstr(text, "MemAvailable:")) {
                return std::strtoull(at + 13, nullptr, 10) * 1024;
            }
        }
    }
    const long pages = ::sysconf(_SC_AVPHYS_PAGES), size = ::sysconf(_SC_PAGESIZE);
    return pages > 0 && size > 0 ? static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(size) : 0;
}

}  // namespace

namespace {

// What an address-space limit (ulimit -v, a batch system's) leaves this process: the limit
// less what it has mapped now. Nothing when there is no limit or the system does not say.
std::optional<std::uint64_t> AddressSpaceLeft() {
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return std::nullopt;
    std::uint64_t mapped = 0;
    const int fd = ::open("/proc/self/statm", O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        char text[128] = {};
        if (::read(fd, text, sizeof text - 1) > 0) {
            const long page = ::sysconf(_SC_PAGESIZE);
            mapped = std::strtoull(text, nullptr, 10) * static_cast<std::uint64_t>(page > 0 ? page : 4096);
        }
        ::close(fd);
    }
    const auto cap = static_cast<std::uint64_t>(limit.rlim_cur);
    return cap > mapped ? cap - mapped : 0;
}

}  // namespace

// A cluster job's cgroup, or a limit on its address space, may allow far less than the
// machine has free.
FreeMemory SystemFileLayer::AvailableMemory() {
    FreeMemory free{MachineMemoryAvailable(), false};
    for (const std::optional<std::uint64_t> left : {OwnCgroupMemoryLeft(), AddressSpaceLeft()}) {
        // A process at its limit has nothing left, which is not "the system does not say" (0).
        if (left && (free.bytes == 0 || *left < free.bytes)) free = {std::max<std::uint64_t>(*left, 1), true};
    }
    return free;
}

int SystemFileLayer::CoresAllowed() {
#ifdef __linux__
    // A mask as large as the kernel's: beyond 1024 cores the fixed cpu_set_t is too small.
    for (int cores = 1024; cores <= (1 << 16); cores *= 2) {
        cpu_set_t* set = CPU_ALLOC(cores);
        if (!set) break;
        const std::size_t size = CPU_ALLOC_SIZE(cores);
        CPU_ZERO_S(size, set);
        const int got = ::sched_getaffinity(0, size, set);
        const int err = errno;
        const int count = got == 0 ? CPU_COUNT_S(size, set) : 0;
        CPU_FREE(set);
        if (got == 0) return count;
        if (err != EINVAL) break;
    }
#endif
    return static_cast<int>(std::thread::hardware_concurrency());
}

void SystemFileLayer::TuneAllocatorForFrames() {
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 64 * 1024 * 1024);
}

namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction g_previous[3];
// Lock-free, so that the handler may read it.
std::atomic<void (*)(int)> g_onStop{nullptr};

extern "C" void OnStopSignal(int signal) {
    if (void (*onStop)(int) = g_onStop.load()) onStop(signal);
}

}  // namespace

void SystemFileLayer::WatchStopSignals(void (*onStop)(int signal)) {
    g_onStop = onStop;
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < 3; ++i) sigaction(kStopSignals[i], &action, &g_previous[i]);
}

void SystemFileLayer::UnwatchStopSignals() {
    for (int i = 0; i < 3; ++i) sigaction(kStopSignals[i], &g_previous[i], nullptr);
    g_onStop = nullptr;
}

void SystemFileLayer::EndBySignal(int signal) {
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

FileLayer& SystemFiles() {
    // Never destroyed: a destructor at exit may still close a file.
    static SystemFileLayer* const files = new SystemFileLayer();
    return *files;
}

}  // namespace qf
