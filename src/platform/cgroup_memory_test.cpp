// The memory a cluster job's control group leaves, read from folders laid out as the two
// cgroup versions lay out theirs.
#include "platform/cgroup_memory.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <vector>

#include "platform/file_io.h"
#include "test/temp_folder.h"

namespace qf {
namespace {

namespace fs = std::filesystem;

struct GroupFile {
    const char* path;  ///< under the cgroup root
    const char* text;
};

struct GroupCase {
    const char* what;
    const char* selfCgroup;  ///< as /proc/self/cgroup reads
    std::vector<GroupFile> files;
    std::optional<std::uint64_t> left;
};

// A version 1 group without a limit, as the kernel shows it on 4 KiB pages.
constexpr const char* kV1NoLimit = "9223372036854771712\n";

const GroupCase kCases[] = {
    {"v2: the job's own limit",
     "0::/job_12/step_0\n",
     {{"job_12/step_0/memory.max", "1000000\n"}, {"job_12/step_0/memory.current", "400000\n"}},
     600000},
    {"v2: no limit anywhere",
     "0::/job_12/step_0\n",
     {{"job_12/step_0/memory.max", "max\n"}, {"job_12/step_0/memory.current", "400000\n"},
      {"job_12/memory.max", "max\n"}, {"job_12/memory.current", "900000\n"}},
     std::nullopt},
    {"v2: a tighter limit on a parent",
     "0::/job_12/step_0\n",
     {{"job_12/step_0/memory.max", "max\n"}, {"job_12/step_0/memory.current", "100000\n"},
      {"job_12/memory.max", "500000\n"}, {"job_12/memory.current", "300000\n"}},
     200000},
    {"v2: the page cache the kernel gives back is free",
     "0::/job_12\n",
     {{"job_12/memory.max", "1000000\n"}, {"job_12/memory.current", "900000\n"},
      {"job_12/memory.stat", "anon 300000\nfile 600000\nactive_file 100000\ninactive_file 500000\n"}},
     600000},
    {"v2: a container's own group is the root of its view",
     "0::/\n",
     {{"memory.max", "2000000\n"}, {"memory.current", "500000\n"}},
     1500000},
    {"v2: a group over its limit has nothing left",
     "0::/job_12\n",
     {{"job_12/memory.max", "1000000\n"}, {"job_12/memory.current", "1200000\n"}},
     0},
    {"v2: a limit without its usage is all left",
     "0::/job_12\n",
     {{"job_12/memory.max", "1000000\n"}},
     1000000},
    {"v1: the memory controller's hierarchy, other controllers aside",
     "12:memory:/slurm/uid_1000/job_5\n4:cpu,cpuacct:/slurm/uid_1000/job_5\n1:name=systemd:/user.slice\n",
     {{"memory/slurm/uid_1000/job_5/memory.limit_in_bytes", "8000000\n"},
      {"memory/slurm/uid_1000/job_5/memory.usage_in_bytes", "3000000\n"},
      {"memory/slurm/uid_1000/job_5/memory.stat", "cache 2000000\ninactive_file 7\ntotal_inactive_file 1000000\n"},
      {"cpu,cpuacct/slurm/uid_1000/job_5/cpu.shares", "1024\n"}},
     6000000},
    {"v1: the kernel's largest number is no limit",
     "12:memory:/slurm/uid_1000/job_5\n",
     {{"memory/slurm/uid_1000/job_5/memory.limit_in_bytes", kV1NoLimit},
      {"memory/slurm/uid_1000/job_5/memory.usage_in_bytes", "3000000\n"},
      {"memory/slurm/uid_1000/memory.limit_in_bytes", kV1NoLimit},
      {"memory/memory.limit_in_bytes", kV1NoLimit}},
     std::nullopt},
    {"v1: the limit on the job above its step, memory named among other controllers",
     "7:hugetlb,memory:/slurm/uid_1000/job_5/step_0\n",
     {{"memory/slurm/uid_1000/job_5/step_0/memory.limit_in_bytes", kV1NoLimit},
      {"memory/slurm/uid_1000/job_5/step_0/memory.usage_in_bytes", "1000000\n"},
      {"memory/slurm/uid_1000/job_5/memory.limit_in_bytes", "4000000\n"},
      {"memory/slurm/uid_1000/job_5/memory.usage_in_bytes", "2500000\n"}},
     1500000},
    {"v1: a path the mount does not show (a container's) falls back to its root",
     "12:memory:/docker/0123abcd\n",
     {{"memory/memory.limit_in_bytes", "3000000\n"}, {"memory/memory.usage_in_bytes", "1000000\n"}},
     2000000},
    {"hybrid: the v2 line finds nothing, the v1 memory controller the limit",
     "12:memory:/user.slice\n0::/user.slice\n",
     {{"memory/user.slice/memory.limit_in_bytes", "5000000\n"}, {"memory/user.slice/memory.usage_in_bytes", "0\n"},
      {"unified/user.slice/memory.current", "700\n"}},
     5000000},
    {"unreadable numbers are no limit",
     "0::/job_12\n",
     {{"job_12/memory.max", "lots\n"}, {"job_12/memory.current", "400000\n"}},
     std::nullopt},
    {"no cgroup text at all", "", {}, std::nullopt},
};

TEST(CgroupMemoryTest, TakesTheLeastLeftOverTheGroupAndItsParents) {
    for (const GroupCase& c : kCases) {
        test::TempFolder root;
        for (const GroupFile& file : c.files) {
            const fs::path path = fs::path(root.path()) / file.path;
            fs::create_directories(path.parent_path());
            const std::string text = file.text;
            test::WriteBytes(path.string(), std::vector<std::uint8_t>(text.begin(), text.end()));
        }
        EXPECT_EQ(CgroupMemoryLeft(c.selfCgroup, root.path()), c.left) << c.what;
    }
}

// An address-space limit (ulimit -v, as some batch systems set) caps the memory free, as
// a control group's does: the workers' count then fits under it.
TEST(CgroupMemoryTest, AnAddressSpaceLimitCapsTheMemoryFree) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "a sanitizer reserves more address space than any limit allows";
#else
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // 64 MB more than the process has mapped now.
        long mappedPages = 0;
        if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
            if (std::fscanf(statm, "%ld", &mappedPages) != 1) mappedPages = 0;
            std::fclose(statm);
        }
        const auto mapped = static_cast<rlim_t>(mappedPages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE));
        if (mapped == 0) _exit(3);
        struct rlimit current {};
        getrlimit(RLIMIT_AS, &current);
        const struct rlimit lower = {mapped + (rlim_t{64} << 20), current.rlim_max};
        if (setrlimit(RLIMIT_AS, &lower) != 0) _exit(3);
        const FreeMemory free = AvailableMemory();
        _exit(free.processLimit && free.bytes > 0 && free.bytes <= (std::uint64_t{64} << 20) ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: the limit was not taken; 3: it could not be set";
#endif
}

}  // namespace
}  // namespace qf
