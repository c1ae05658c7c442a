// What a writer reports: written, or why not.
#pragma once

#include <string>

namespace qf {

enum class WriteStatus {
    kWritten,
    kMalformed,     ///< negative size, or samples that do not match the size; nothing read
    kNoSamples,     ///< a TIFF of zero rows or columns cannot be written
    kCannotCreate,  ///< the output could not be created or put in place
    kWriteFailed,   ///< a write, flush or close failed; no partial file stays
    kExists,        ///< a file of that name exists and was not to be replaced
};

struct WriteResult {
    WriteStatus status = WriteStatus::kWritten;
    std::string path;
    std::string cause;  ///< empty when written

    bool ok() const { return status == WriteStatus::kWritten; }
    /// "PATH: cause", the line a user sees.
    std::string message() const { return path + ": " + cause; }
};

inline WriteResult Failure(WriteStatus status, std::string path, std::string cause) {
    return WriteResult{status, std::move(path), std::move(cause)};
}

}  // namespace qf
