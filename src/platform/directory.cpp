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

FolderListing ListOpened(DIR* opened) {
    FolderListing listing;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(opened, closedir);
    if (!dir) {
        listing.error = ErrnoText(errno);
        return listing;
    }
    for (;;) {
        errno = 0;
        dirent* entry = readdir(dir.get());
        if (!entry) {
            if (errno != 0) listing.error = ErrnoText(errno);
            break;
        }
        std::string name = entry->d_name;
        if (name != "." && name != "..") listing.names.push_back(std::move(name));
    }
    std::sort(listing.names.begin(), listing.names.end());
    return listing;
}

}  // namespace

FolderListing ListFolder(const std::string& folder) { return ListOpened(opendir(folder.c_str())); }

FolderListing ListFolder(int folderFd) {
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
    } else if (S_ISDIR(st.st_mode)) {
        kind.why = "is a folder, not a data file";
    } else if (!S_ISREG(st.st_mode)) {
        kind.why = "is not a regular file";
    } else {
        kind.regular = true;
    }
    return kind;
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
