#include "platform/directory.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <thread>

namespace qf {

namespace {

Result<std::vector<std::string>> ListOpened(DIR* opened) {
    std::vector<std::string> names;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(opened, closedir);
    if (!dir) return Fail(ErrorKind::kCannotRead, ErrnoText(errno));
    for (;;) {
        errno = 0;
        dirent* entry = readdir(dir.get());
        if (!entry) {
            if (errno != 0) return Fail(ErrorKind::kCannotRead, ErrnoText(errno));
            break;
        }
        std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(std::move(name));
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

Result<std::vector<std::string>> ListFolder(const std::string& folder) {
    return ListOpened(opendir(folder.c_str()));
}

Result<std::vector<std::string>> ListFolder(int folderFd) {
    // A listing owns its descriptor; a duplicate keeps the caller's open.
    const int fd = ::fcntl(folderFd, F_DUPFD_CLOEXEC, 0);
    if (fd < 0) return ListOpened(nullptr);
    DIR* dir = fdopendir(fd);
    if (!dir) {
        const int err = errno;
        ::close(fd);
        errno = err;
        return ListOpened(nullptr);
    }
    rewinddir(dir);
    return ListOpened(dir);
}

EntryKind KindOfEntry(int folderFd, const std::string& name) {
    EntryKind kind;
    struct stat st {};
    if (::fstatat(folderFd, name.c_str(), &st, 0) != 0) {
        kind.missing = errno == ENOENT;
        kind.why = "cannot open: " + ErrnoText(errno);
    } else {
        kind.why = NotADataFileReason(st.st_mode);
        kind.regular = kind.why.empty();
    }
    return kind;
}

std::string NotADataFileReason(unsigned mode) {
    if (S_ISDIR(mode)) return "is a folder, not a data file";
    return S_ISREG(mode) ? "" : "is not a regular file";
}

void Sleep(std::chrono::milliseconds pause) {
    if (pause.count() > 0) std::this_thread::sleep_for(pause);
}

std::string ErrnoText(int err) {
    char buffer[256];
    // The GNU variant returns the text, which may or may not live in `buffer`.
    return strerror_r(err, buffer, sizeof buffer);
}

}  // namespace qf
