// Telling the TIFF kind of whatever stands at an output's name: anyone's file, which may be
// a FIFO, claim gigabytes in a hundred bytes, or be cut short while it is read.
#include "export/tiff_kind.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <atomic>
#include <cstring>

#include "export/tiff_export.h"
#include "platform/little_endian.h"
#include "platform/output_file.h"
#include "test/faulty_files.h"
#include "test/frames.h"
#include "test/temp_folder.h"

namespace qf {
namespace {

using Bytes = std::vector<std::uint8_t>;

class TiffKindTest : public test::TempFolderTest {
protected:
    void SetUp() override {
        test::TempFolderTest::SetUp();
        Result<int> opened = OpenFolder(dir.path());
        ASSERT_TRUE(opened.ok()) << opened.message();
        folder = opened.value();
    }
    void TearDown() override {
        if (folder >= 0) CloseFile(folder);
        test::TempFolderTest::TearDown();
    }
    // A 64 x 48 frame of a 12-bit camera, written as `kind` at `name`.
    void Write(const std::string& name, ExportKind kind) {
        std::vector<std::uint16_t> samples(64 * 48);
        for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<std::uint16_t>(i % 4096);
        const FrameImage frame = test::SampleFrame(64, 48, samples);
        const OutputTarget target(dir / name);
        ASSERT_TRUE((kind == kNormalizedTiff ? WriteNormalizedTiff(target, frame) : WriteStandardizedTiff(target, frame)).ok());
    }
    TiffKindFound KindOf(const std::string& name, std::uint64_t pageBytes = 64 * 48 * 2) {
        return TiffKindOfOutput(folder, name, pageBytes);
    }
    int folder = -1;
};

TEST_F(TiffKindTest, TellsTheKindFromTheSamplesAndNothingElseHasOne) {
    Write("n.tiff", kNormalizedTiff);
    Write("s.tiff", kStandardizedTiff);
    test::WriteBytes(dir / "text.tiff", Bytes{'h', 'e', 'l', 'l', 'o'});
    test::WriteBytes(dir / "empty.tiff", Bytes{});
    const struct {
        const char* name;
        std::optional<ExportKind> kind;
    } cases[] = {{"n.tiff", kNormalizedTiff}, {"s.tiff", kStandardizedTiff}, {"text.tiff", std::nullopt},
                 {"empty.tiff", std::nullopt}, {"missing.tiff", std::nullopt}};
    for (const auto& c : cases) {
        const TiffKindFound found = KindOf(c.name);
        EXPECT_EQ(found.kind, c.kind) << c.name;
        EXPECT_EQ(found.unread, "") << c.name;
    }
    // A page larger than the planned frames is no output of this run's size.
    EXPECT_EQ(KindOf("n.tiff", 64 * 48 * 2 - 2).kind, std::nullopt);
}

#ifndef _WIN32
TEST_F(TiffKindTest, AFifoIsNotWaitedFor) {
    ASSERT_EQ(mkfifo((dir / "f.tiff").c_str(), 0600), 0);
    const TiffKindFound found = KindOf("f.tiff");  // before: blocked for good, waiting for a writer
    EXPECT_EQ(found.kind, std::nullopt);
    EXPECT_EQ(found.unread, "it is not a regular file");
}

TEST_F(TiffKindTest, ALinkIsNotFollowed) {
    Write("n.tiff", kNormalizedTiff);
    ASSERT_EQ(symlink("n.tiff", (dir / "l.tiff").c_str()), 0);
    const TiffKindFound found = KindOf("l.tiff");
    EXPECT_EQ(found.kind, std::nullopt);
    EXPECT_NE(found.unread, "");
}
#endif

// Cut short after its directory was read: before, the file was mapped and the run ended
// with SIGBUS.
TEST_F(TiffKindTest, AFileCutShortWhileReadIsUnreadNotACrash) {
    Write("n.tiff", kNormalizedTiff);
    test::FaultyFiles files;
    std::atomic<int> reads{0};
    files.BeforeEachRead([&](std::uint64_t, std::size_t) {
        if (reads.fetch_add(1) == 1) {
            ASSERT_EQ(test::ResizeFile(dir / "n.tiff", 200), 0);
        }
    });
    ScopedFiles installed(files);
    const TiffKindFound found = KindOf("n.tiff");
    EXPECT_EQ(found.kind, std::nullopt);
    EXPECT_EQ(found.unread, "it ended while it was read");
}

#ifndef _WIN32
// A classic TIFF header and one directory claiming a `width` x `height` page of 16-bit
// samples in one strip of `stripBytes` at byte 8, deflate-compressed when `deflate`.
[[maybe_unused]] Bytes TinyTiffClaiming(std::uint32_t width, std::uint32_t height, std::uint32_t stripBytes, bool deflate) {
    Bytes b = {'I', 'I', 42, 0, 0, 0, 0, 0};
    const std::uint32_t ifd = 16;
    std::memcpy(&b[4], &ifd, 4);
    b.resize(ifd, 0);
    struct Entry {
        std::uint16_t tag, type;
        std::uint32_t count, value;
    };
    const Entry entries[] = {{256, 4, 1, width},  {257, 4, 1, height}, {258, 3, 1, 16}, {259, 3, 1, deflate ? 8u : 1u},
                             {262, 3, 1, 1},      {273, 4, 1, 8},      {277, 3, 1, 1},  {278, 4, 1, height},
                             {279, 4, 1, stripBytes}};
    const auto count = static_cast<std::uint16_t>(std::size(entries));
    b.push_back(static_cast<std::uint8_t>(count));
    b.push_back(0);
    for (const Entry& e : entries) {
        std::uint8_t raw[12];
        std::memcpy(raw, &e.tag, 2);
        std::memcpy(raw + 2, &e.type, 2);
        std::memcpy(raw + 4, &e.count, 4);
        std::memcpy(raw + 8, &e.value, 4);
        b.insert(b.end(), raw, raw + 12);
    }
    b.insert(b.end(), 4, 0);  // no next directory
    return b;
}

// What a tiny file claims is never allocated: each claim is read under an address-space
// limit far below it, in a child so that the limit stays there. Before, an 8 GiB claim
// ended the run ("out of memory") and a 512 MB one cost 512 MB.
TEST_F(TiffKindTest, WhatATinyFileClaimsIsNeverAllocated) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "a sanitizer reserves more address space than the limit allows";
#else
    const struct {
        const char* name;
        Bytes bytes;
        std::uint64_t pageBytes;
    } cases[] = {
        {"vast.tiff", TinyTiffClaiming(65535, 65535, 0xFFFFFFFF, false), 8 * 8 * 2},
        {"vast-strip.tiff", TinyTiffClaiming(8, 8, 0xFFFFFFF0, true), 8 * 8 * 2},
        {"large-frame.tiff", TinyTiffClaiming(16384, 16384, 0xFFFFFFF0, true), std::uint64_t{16384} * 16384 * 2},
    };
    for (const auto& c : cases) {
        test::WriteBytes(dir / c.name, c.bytes);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            const rlim_t limit = rlim_t{256} << 20;
            struct rlimit current {};
            getrlimit(RLIMIT_AS, &current);
            struct rlimit lower = {limit, current.rlim_max};
            if (setrlimit(RLIMIT_AS, &lower) != 0) _exit(3);
            try {
                const TiffKindFound found = KindOf(c.name, c.pageBytes);
                _exit(found.kind ? 1 : 0);
            } catch (...) {
                _exit(2);
            }
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status)) << c.name << ": ended by signal " << WTERMSIG(status);
        EXPECT_EQ(WEXITSTATUS(status), 0) << c.name;
    }
#endif
}
#endif

}  // namespace
}  // namespace qf
