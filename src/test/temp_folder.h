// Test helpers: a temporary folder per test, and whole-file reads.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace qf::test {

/// A fresh folder under the system's temporary folder, removed with everything in it.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& path() const { return path_; }
    /// `name` in this folder, joined with the system's separator as the program joins a
    /// folder it was given and a name it found there (Shown below).
    std::string operator/(const std::string& name) const;

private:
    std::string path_;
};

/// `name` inside `folder` as the program shows a path it built: joined with the system's
/// own separator ("\\" on Windows), the folder as it was given.
inline std::string Shown(const std::string& folder, const std::string& name) {
#ifdef _WIN32
    return folder + "\\" + name;
#else
    return folder + "/" + name;
#endif
}

inline std::string TempFolder::operator/(const std::string& name) const { return Shown(path_, name); }

/// Fixture for tests that touch files: `dir` is the test's own folder.
class TempFolderTest : public ::testing::Test {
protected:
    TempFolder dir;
};

/// A UTF-8 path for std::filesystem (which takes narrow strings in the ANSI code page on
/// Windows), and back.
std::filesystem::path FsPath(const std::string& utf8);
std::string Utf8(const std::filesystem::path& path);

/// mkdir for tests on every system: 0, or -1 when the folder could not be made.
int MakeDir(const std::string& path, unsigned mode = 0755);
/// Cuts or extends the file at `path` to `size` bytes: 0, or -1.
int ResizeFile(const std::string& path, std::uint64_t size);

/// The system's words for a missing `path` ("No such file or directory" on POSIX; on Windows
/// "file" or "path" not found, by whether its folder exists), as the program reports them.
std::string MissingText(const std::string& path);

std::vector<std::uint8_t> ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);
bool FileExists(const std::string& path);
/// Sorted names in `folder` (no "." or "..").
std::vector<std::string> Entries(const std::string& folder);

/// Little-endian field reads, for checking headers against their field tables.
std::uint32_t Le32(const std::vector<std::uint8_t>& b, std::size_t at);
std::uint16_t Le16(const std::vector<std::uint8_t>& b, std::size_t at);

}  // namespace qf::test
