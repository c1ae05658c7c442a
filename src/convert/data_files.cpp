#include "convert/data_files.h"

#include "platform/directory.h"
#include "platform/file_io.h"
#include "platform/output_file.h"

namespace qf {

bool EndsInDataExtension(const std::string& name) {
    return name.size() >= 4 && FindDataExtension(name.substr(name.size() - 4)) == 0;
}

// Names ending in .orx are never outputs, and are not opened to tell.
bool IsEarlierOutput(int folderFd, const std::string& name) {
    return !EndsInDataExtension(name) && HoldsAnImage(folderFd, name);
}

// --only-orx: a data file's name ends in .orx (scan.orx.json is a sidecar). A temporary of
// ours (another run's, being written) is never data, whatever its name holds.
bool NamedAsDataFile(const std::string& name, bool onlyOrx) {
    if (FindDataExtension(name) == std::string::npos || IsTemporaryName(name)) return false;
    return !onlyOrx || EndsInDataExtension(name);
}

bool ExcludedByName(const std::vector<std::string>& globs, const std::string& name) {
    for (const std::string& glob : globs) {
        if (MatchesGlob(glob, name)) return true;
    }
    return false;
}

bool TakenAsDataFile(int folderFd, const std::string& name, bool onlyOrx) {
    return NamedAsDataFile(name, onlyOrx) && !IsEarlierOutput(folderFd, name);
}

}  // namespace qf
