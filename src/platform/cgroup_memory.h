// The memory limit a Linux control group (cgroup) puts on the processes in it. A cluster's
// scheduler gives each job such a group: MemAvailable counts the whole machine's free
// memory, most of which the job may not take. Part of the POSIX half of the file layer.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace qf {

/// The bytes the control groups of a process may still take before one of them meets its
/// memory limit: the least over its own group and every group above it, since a limit may
/// sit on any of them. `selfCgroup` is the text of /proc/self/cgroup, `root` the folder the
/// cgroup file systems are mounted in (/sys/fs/cgroup). Reads version 2's memory.max and
/// memory.current, and version 1's memory/.../memory.limit_in_bytes and usage_in_bytes;
/// the page cache the kernel would give back (inactive_file of memory.stat) counts as
/// free. nullopt when no group has a limit that can be read.
std::optional<std::uint64_t> CgroupMemoryLeft(const std::string& selfCgroup, const std::string& root);
/// The same for this process: /proc/self/cgroup, under /sys/fs/cgroup.
std::optional<std::uint64_t> OwnCgroupMemoryLeft();

}  // namespace qf
