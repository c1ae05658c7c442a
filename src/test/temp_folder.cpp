#include "test/temp_folder.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

#include "platform/directory.h"
#include "platform/file_io.h"

namespace qf::test {

std::filesystem::path FsPath(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

TempFolder::TempFolder() {
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    std::random_device seed;
    std::mt19937_64 random(seed());
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::filesystem::path candidate = base / ("quillfen-test-" + std::to_string(random() % 1000000000));
        std::error_code ec;
        if (std::filesystem::create_directory(candidate, ec)) {
            // Slashes on every system, as the tests write their paths that way.
            const std::u8string generic = candidate.generic_u8string();
            path_.assign(generic.begin(), generic.end());
            return;
        }
    }
    throw std::runtime_error("cannot make a temporary folder");
}

TempFolder::~TempFolder() {
    std::error_code ec;
    const std::filesystem::path root = FsPath(path_);
    // Tests may leave folders without write permission behind; give it back first.
    for (auto it = std::filesystem::recursive_directory_iterator(root, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_directory(ec) && !it->is_symlink(ec)) {
            std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ec);
        }
    }
    std::filesystem::permissions(root, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(root, ec);
}

int MakeDir(const std::string& path, unsigned mode) {
    std::error_code ec;
    if (!std::filesystem::create_directory(FsPath(path), ec)) return -1;
    std::filesystem::permissions(FsPath(path), static_cast<std::filesystem::perms>(mode), ec);
    return 0;
}

int ResizeFile(const std::string& path, std::uint64_t size) {
    std::error_code ec;
    std::filesystem::resize_file(FsPath(path), size, ec);
    return ec ? -1 : 0;
}

std::string MissingText(const std::string& path) { return FactsAt(kWorkingFolder, path, true).message(); }

std::vector<std::uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(FsPath(path), std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(FsPath(path), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

bool FileExists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::symlink_status(FsPath(path), ec));
}

std::vector<std::string> Entries(const std::string& folder) {
    auto names = ListFolder(folder);
    return names.ok() ? names.value() : std::vector<std::string>{};
}

std::uint32_t Le32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return std::uint32_t{b.at(at)} | std::uint32_t{b.at(at + 1)} << 8 |
           std::uint32_t{b.at(at + 2)} << 16 | std::uint32_t{b.at(at + 3)} << 24;
}

std::uint16_t Le16(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<std::uint16_t>(b.at(at) | b.at(at + 1) << 8);
}

}  // namespace qf::test
