#include "platform/directory.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <thread>

namespace qf {

FolderListing ListFolder(const std::string& folder) {
    FolderListing listing;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.c_str()), closedir);
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

std::string NotARegularFile(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return "cannot open: " + ErrnoText(errno);
    if (S_ISDIR(st.st_mode)) return "is a folder, not a data file";
    return S_ISREG(st.st_mode) ? "" : "is not a regular file";
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
