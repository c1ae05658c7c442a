// What a watch asks of the system: change notices, a wake-up only, so that a file finished
// on a local disk is seen at once rather than at the next poll (network shares send none;
// the poll finds what they miss); and a claim on a data file, so that of two watches over
// one folder one converts it.
#include "convert/folder_watch.h"

#ifdef _WIN32
#include <algorithm>
#include <string>
#include <vector>
#include "platform/windows_api.h"
#else
#include <fcntl.h>
#include <cerrno>
#include <sys/file.h>
#include <unistd.h>
#endif
#ifdef __linux__
#include <poll.h>
#include <sys/inotify.h>

#include <filesystem>
#include <map>
#include <system_error>
#endif

namespace qf {

#ifdef __linux__
namespace {

class InotifyWake : public WatchWake {
public:
    InotifyWake(int fd, bool recursive) : fd_(fd), recursive_(recursive) {}
    ~InotifyWake() override { close(fd_); }
    InotifyWake(const InotifyWake&) = delete;
    InotifyWake& operator=(const InotifyWake&) = delete;

    /// Notices for `path`, and with recursion for its subfolders; false when none could be had.
    bool Add(const std::string& path) {
        bool any = AddOne(path);
        if (!recursive_ || !any) return any;
        std::error_code error;
        std::filesystem::recursive_directory_iterator walk(
            path, std::filesystem::directory_options::skip_permission_denied, error);
        for (; !error && walk != std::filesystem::recursive_directory_iterator(); walk.increment(error)) {
            if (walk->is_directory(error) && !walk->is_symlink(error)) AddOne(walk->path().string());
        }
        return any;
    }

    bool Wait(std::chrono::milliseconds most) override {
        pollfd ready{fd_, POLLIN, 0};
        if (poll(&ready, 1, static_cast<int>(most.count())) <= 0) return false;
        Drain();
        return true;
    }

private:
    // Folders do not change often, files being written do (an event per write): every
    // event is read here, and a new subfolder is watched from now on.
    void Drain() {
        alignas(inotify_event) char buffer[16384];
        for (;;) {
            const ssize_t got = read(fd_, buffer, sizeof buffer);
            if (got <= 0) return;
            for (ssize_t at = 0; at < got;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
                if (!recursive_ || !(event->mask & IN_ISDIR) || !(event->mask & (IN_CREATE | IN_MOVED_TO))) continue;
                const auto parent = folders_.find(event->wd);
                if (parent != folders_.end() && event->len > 0) Add(parent->second + "/" + event->name);
            }
        }
    }

    bool AddOne(const std::string& path) {
        constexpr std::uint32_t kChanges =
            IN_CREATE | IN_MODIFY | IN_CLOSE_WRITE | IN_ATTRIB | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE;
        const int wd = inotify_add_watch(fd_, path.c_str(), kChanges | IN_EXCL_UNLINK);
        if (wd < 0) return false;  // a limit reached, or gone: the poll still finds it
        folders_[wd] = path;
        return true;
    }

    int fd_;
    bool recursive_;
    std::map<int, std::string> folders_;  ///< what each watch descriptor watches
};

}  // namespace

std::unique_ptr<WatchWake> MakeChangeNotices(const std::vector<std::string>& paths, bool recursive) {
    const int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd < 0) return nullptr;
    auto wake = std::make_unique<InotifyWake>(fd, recursive);
    bool any = false;
    for (const std::string& path : paths) any = wake->Add(path) || any;
    if (!any) return nullptr;
    return wake;
}
#elif defined(_WIN32)
namespace {

std::wstring WideOf(const std::string& utf8) {
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
    return wide;
}

// The system's change notifications, one handle a folder (its subtree with recursion): a
// wake-up is all a watch needs, so what changed is not asked (ReadDirectoryChangesW would
// tell it, to be thrown away). One wait takes at most 64 handles; folders past that are
// found by the poll alone.
class ChangeNotificationWake : public WatchWake {
public:
    ~ChangeNotificationWake() override {
        for (HANDLE h : handles_) FindCloseChangeNotification(h);
    }
    bool Add(const std::string& path, bool recursive) {
        if (handles_.size() >= MAXIMUM_WAIT_OBJECTS) return false;
        constexpr DWORD kChanges = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME |
                                   FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE;
        HANDLE h = FindFirstChangeNotificationW(WideOf(path).c_str(), recursive ? TRUE : FALSE, kChanges);
        if (h == INVALID_HANDLE_VALUE) return false;  // gone, or not a folder: the poll still finds it
        handles_.push_back(h);
        return true;
    }
    bool Wait(std::chrono::milliseconds most) override {
        const DWORD got = WaitForMultipleObjects(static_cast<DWORD>(handles_.size()), handles_.data(), FALSE,
                                                 static_cast<DWORD>(std::max<long long>(most.count(), 0)));
        if (got >= WAIT_OBJECT_0 + handles_.size()) return false;
        // Every folder that has a notice is armed again: they are all used up.
        for (HANDLE h : handles_) {
            if (WaitForSingleObject(h, 0) == WAIT_OBJECT_0) FindNextChangeNotification(h);
        }
        return true;
    }

private:
    std::vector<HANDLE> handles_;
};

}  // namespace

std::unique_ptr<WatchWake> MakeChangeNotices(const std::vector<std::string>& paths, bool recursive) {
    auto wake = std::make_unique<ChangeNotificationWake>();
    bool any = false;
    for (const std::string& path : paths) any = wake->Add(path, recursive) || any;
    if (!any) return nullptr;
    return wake;
}
#else
// Elsewhere the watch polls alone.
std::unique_ptr<WatchWake> MakeChangeNotices(const std::vector<std::string>&, bool) { return nullptr; }
#endif

#ifndef _WIN32
// An advisory lock on the data file, read-only: the file itself is never changed. It holds
// between processes and between two opens in one process alike, and goes with the
// descriptor, so a watch that dies leaves no claim behind.
bool ConversionClaim::Take(const std::string& path) {
    Release();
    fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd_ < 0) return true;  // gone or unreadable: the conversion says why
    if (flock(fd_, LOCK_EX | LOCK_NB) == 0) return true;
    const bool held = errno == EWOULDBLOCK;
    if (held) Release();
    return !held;  // a file system without locks converts as convert does
}

void ConversionClaim::Release() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
}
#else
// A lock on one byte far past the data file's end, taken through a handle that only reads:
// Windows' locks keep others from the bytes they cover, and these cover none that exist,
// so every reader (our own conversion among them) reads the file as before. It goes with
// the handle, so a watch that dies leaves no claim behind.
bool ConversionClaim::Take(const std::string& path) {
    Release();
    HANDLE file = CreateFileW(WideOf(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) return true;  // gone or unreadable: the conversion says why
    OVERLAPPED pastTheEnd = {};
    pastTheEnd.Offset = 0xFFFFFFF0u;
    pastTheEnd.OffsetHigh = 0x7FFFFFFFu;
    if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &pastTheEnd)) {
        handle_ = file;
        return true;
    }
    const bool held = GetLastError() == ERROR_LOCK_VIOLATION;
    CloseHandle(file);
    return !held;  // a file system without locks converts as convert does
}

void ConversionClaim::Release() {
    if (handle_) CloseHandle(static_cast<HANDLE>(handle_));
    handle_ = nullptr;
}
#endif

}  // namespace qf
