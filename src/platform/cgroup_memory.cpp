#include "platform/cgroup_memory.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <string_view>

namespace qf {
namespace {

// A version 1 group without a limit shows the largest page-aligned signed 64-bit number
// (9223372036854771712); no machine has a quarter of that.
constexpr std::uint64_t kNoLimit = std::uint64_t{1} << 62;
// memory.stat is a few kilobytes; a file this long is none of ours.
constexpr std::size_t kMostRead = 1 << 16;

// The files of one version's memory controller.
struct Controller {
    const char* limit;
    const char* usage;
    std::string_view reclaimable;  ///< memory.stat's page cache the kernel gives back first
};
constexpr Controller kVersion2{"memory.max", "memory.current", "inactive_file"};
constexpr Controller kVersion1{"memory.limit_in_bytes", "memory.usage_in_bytes", "total_inactive_file"};

std::optional<std::string> ReadSmallFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::string text;
    char buffer[4096];
    for (ssize_t n = 0; text.size() < kMostRead && (n = ::read(fd, buffer, sizeof buffer)) > 0;) {
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return text;
}

// A whole decimal number, its line's end allowed; "max" and anything else is none.
std::optional<std::uint64_t> Number(std::string_view text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.remove_suffix(1);
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
    return value;
}

std::optional<std::uint64_t> ReadNumber(const std::string& path) {
    const std::optional<std::string> text = ReadSmallFile(path);
    return text ? Number(*text) : std::nullopt;
}

// The value of `key` in a memory.stat of "key value" lines; 0 when it is not there.
std::uint64_t StatValue(const std::string& folder, std::string_view key) {
    const std::optional<std::string> text = ReadSmallFile(folder + "/memory.stat");
    if (!text) return 0;
    std::string_view rest = *text;
    while (!rest.empty()) {
        const std::size_t end = std::min(rest.find('\n'), rest.size());
        const std::string_view line = rest.substr(0, end);
        rest.remove_prefix(std::min(end + 1, rest.size()));
        if (line.size() > key.size() && line.substr(0, key.size()) == key && line[key.size()] == ' ') {
            return Number(line.substr(key.size() + 1)).value_or(0);
        }
    }
    return 0;
}

// What the group in `folder` may still take; nullopt when it has no limit. Usage counts
// the group's page cache, which reading data files fills: what the kernel would reclaim
// first is no memory in use.
std::optional<std::uint64_t> LeftIn(const std::string& folder, const Controller& controller) {
    const std::optional<std::uint64_t> limit = ReadNumber(folder + "/" + controller.limit);
    if (!limit || *limit >= kNoLimit) return std::nullopt;
    const std::uint64_t used = ReadNumber(folder + "/" + controller.usage).value_or(0);
    const std::uint64_t held = used - std::min(used, StatValue(folder, controller.reclaimable));
    return *limit > held ? *limit - held : 0;
}

void TakeLeast(std::optional<std::uint64_t>& least, std::optional<std::uint64_t> left) {
    if (left && (!least || *left < *least)) least = left;
}

// The least left over the group `path` (as /proc/self/cgroup names it, under `mount`) and
// every group above it, the mount's own folder included: in a container that is the
// container's group.
std::optional<std::uint64_t> LeastLeft(const std::string& mount, std::string path, const Controller& controller) {
    std::optional<std::uint64_t> least;
    if (!path.empty() && path.front() != '/') path.insert(0, 1, '/');
    for (;;) {
        while (!path.empty() && path.back() == '/') path.pop_back();
        TakeLeast(least, LeftIn(mount + path, controller));
        if (path.empty()) return least;
        const std::size_t slash = path.rfind('/');
        path.resize(slash == std::string::npos ? 0 : slash);
    }
}

bool HasMemoryController(std::string_view controllers) {
    while (!controllers.empty()) {
        const std::size_t comma = std::min(controllers.find(','), controllers.size());
        if (controllers.substr(0, comma) == "memory") return true;
        controllers.remove_prefix(std::min(comma + 1, controllers.size()));
    }
    return false;
}

}  // namespace

std::optional<std::uint64_t> CgroupMemoryLeft(const std::string& selfCgroup, const std::string& root) {
    std::optional<std::uint64_t> least;
    std::string_view rest = selfCgroup;
    while (!rest.empty()) {
        const std::size_t end = std::min(rest.find('\n'), rest.size());
        const std::string_view line = rest.substr(0, end);
        rest.remove_prefix(std::min(end + 1, rest.size()));
        // "hierarchy:controllers:path"; version 2's one hierarchy is 0, with no controllers named.
        const std::size_t first = line.find(':');
        const std::size_t second = first == std::string_view::npos ? first : line.find(':', first + 1);
        if (second == std::string_view::npos) continue;
        const std::string_view hierarchy = line.substr(0, first);
        const std::string_view controllers = line.substr(first + 1, second - first - 1);
        const std::string path(line.substr(second + 1));
        if (hierarchy == "0" && controllers.empty()) TakeLeast(least, LeastLeft(root, path, kVersion2));
        else if (HasMemoryController(controllers)) TakeLeast(least, LeastLeft(root + "/memory", path, kVersion1));
    }
    return least;
}

std::optional<std::uint64_t> OwnCgroupMemoryLeft() {
    const std::optional<std::string> self = ReadSmallFile("/proc/self/cgroup");
    return self ? CgroupMemoryLeft(*self, "/sys/fs/cgroup") : std::nullopt;
}

}  // namespace qf
