// Crash-safe output: bytes go to a fresh temporary file beside the target, which only
// replaces the target once everything was written, flushed and closed without error.
// A failure at any point removes the temporary and leaves an earlier file untouched.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "export/write_result.h"

namespace qf {

class OutputFile {
public:
    /// Creates the temporary (exclusively, never through a link). Check `ok()`.
    explicit OutputFile(std::string path);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    bool ok() const { return result_.ok(); }
    /// The failure so far (kWritten while all is well).
    const WriteResult& result() const { return result_; }
    const std::string& path() const { return path_; }
    /// The temporary's descriptor, for libraries that write themselves; -1 after a failure.
    int fd() const { return fd_; }

    /// Buffered write; false (and `result()` set) on the first failure.
    bool Write(const void* data, std::size_t size);
    /// Records a failure found by someone writing through `fd()`.
    void Fail(WriteStatus status, std::string cause);
    /// Flushes, closes and renames over the target. The file is complete or absent.
    WriteResult Commit();

private:
    bool FlushBuffer();
    bool WriteAll(const std::uint8_t* data, std::size_t size);
    void Discard();

    std::string path_;
    std::string tempPath_;
    int fd_ = -1;
    WriteResult result_;
    std::vector<std::uint8_t> buffer_;
};

}  // namespace qf
