// The file layer's promises that the run leans on: streams that do not hold a process, folders
// never entered through a link, and names too long for the system told before a write.
#ifndef _WIN32
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <filesystem>

#include "platform/file_io.h"
#include "platform/file_layer.h"
#include "platform/output_file.h"
#include "test/faulty_files.h"
#include "test/temp_folder.h"

namespace qf {
namespace {

using FileIoTest = test::TempFolderTest;

#ifndef _WIN32
TEST_F(FileIoTest, AFifoWithoutAReaderIsGivenUpOnAfterItsTimeOrAStop) {
    const std::string fifo = dir / "report";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    Result<int> waited = OpenStreamToWrite(fifo, std::chrono::milliseconds(60), [] { return false; });
    ASSERT_FALSE(waited.ok());
    EXPECT_EQ(waited.error().kind, ErrorKind::kCannotCreate);
    EXPECT_EQ(waited.message(), "no program reads it");
    // A stop ends the wait however long it may be.
    std::atomic<int> asked{0};
    Result<int> stopped = OpenStreamToWrite(fifo, std::chrono::hours(1), [&] { return ++asked > 2; });
    EXPECT_FALSE(stopped.ok());
    EXPECT_EQ(asked.load(), 3);
}

TEST_F(FileIoTest, SubfoldersAreNeverEnteredThroughALink) {
    ASSERT_EQ(test::MakeDir(dir / "real"), 0);
    std::filesystem::create_directory_symlink(dir / "real", dir / "link");
    Result<int> root = OpenFolder(dir.path());
    ASSERT_TRUE(root.ok());
    Result<int> real = OpenSubfolder(root.value(), "real");
    EXPECT_TRUE(real.ok());
    if (real.ok()) CloseFile(real.value());
    EXPECT_FALSE(OpenSubfolder(root.value(), "link").ok());
    CloseFile(root.value());
}

TEST_F(FileIoTest, AFolderThatTakesNoFilesIsToldBeforeAnythingIsWritten) {
    ASSERT_EQ(chmod(dir.path().c_str(), 0555), 0);
    // As an ordinary user (root writes into any folder): 0 when the check says so.
    const pid_t child = fork();
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(99);
        OutputFolder folder;
        if (!folder.Open(dir.path()).ok()) _exit(98);
        const Status checked = CheckOutputTarget(OutputTarget(folder.fd(), "a.tiff", dir / "a.tiff"));
        _exit(!checked.ok() && checked.kind() == ErrorKind::kFolderReadOnly ? 0 : 1);
    }
    int status = -1;
    waitpid(child, &status, 0);
    chmod(dir.path().c_str(), 0755);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}
#endif

TEST_F(FileIoTest, NamesPastTheSystemsLimitAreToldTooLong) {
    EXPECT_FALSE(NameTooLong(std::string(255, 'a')));
    EXPECT_TRUE(NameTooLong(std::string(256, 'a')));
}

TEST_F(FileIoTest, ModificationsShowInTheFacts) {
    test::WriteBytes(dir / "f", {1, 2, 3});
    Result<FileFacts> before = FactsAt(kWorkingFolder, dir / "f", true);
    ASSERT_TRUE(before.ok());
    test::WriteBytes(dir / "f", {1, 2, 3, 4});
    Result<FileFacts> after = FactsAt(kWorkingFolder, dir / "f", true);
    ASSERT_TRUE(after.ok());
    EXPECT_FALSE(SameFileUnchanged(before.value(), after.value()));
    EXPECT_TRUE(SameFileUnchanged(after.value(), after.value()));
}

TEST_F(FileIoTest, ReadsAndWritesAreWholeHoweverFewBytesTheSystemTakesAtATime) {
    std::vector<std::uint8_t> bytes(1000);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 7);
    Result<int> folder = OpenFolder(dir.path());
    ASSERT_TRUE(folder.ok());
    test::FaultyFiles files;
    files.ShortWrites(3);
    {
        ScopedFiles installed(files);
        Result<int> fd = CreateNewFile(folder.value(), "f");
        ASSERT_TRUE(fd.ok());
        EXPECT_TRUE(WriteAt(fd.value(), 10, bytes.data(), bytes.size()).ok());
        EXPECT_TRUE(WriteAt(fd.value(), 0, bytes.data(), 10).ok());
        std::vector<std::uint8_t> back(2000);
        Result<std::size_t> got = ReadAt(fd.value(), 5, back.data(), back.size());
        ASSERT_TRUE(got.ok());
        EXPECT_EQ(got.value(), 1005u);  // fewer only at the end of the file
        EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), back.begin() + 5));
        EXPECT_TRUE(CloseChecked(fd.value()).ok());
        EXPECT_EQ(files.OpenDescriptors(), 0);
    }
    EXPECT_EQ(files.Calls(test::FileOp::kWrite), 334 + 4);
    EXPECT_EQ(&Files(), &SystemFiles()) << "the double goes with its scope";
    CloseFile(folder.value());
}

TEST_F(FileIoTest, FailuresOfTheSystemSayTheirCauseAndKind) {
    Result<int> folder = OpenFolder(dir.path());
    ASSERT_TRUE(folder.ok());
    const int at = folder.value();
    Result<int> created = CreateNewFile(at, "a");
    ASSERT_TRUE(created.ok());
    CloseFile(created.value());
    Result<int> again = CreateNewFile(at, "a");
    ASSERT_FALSE(again.ok());
    EXPECT_EQ(again.error().kind, ErrorKind::kExists);
    Result<FileFacts> none = FactsAt(at, "none", false);
    ASSERT_FALSE(none.ok());
    EXPECT_EQ(none.error().kind, ErrorKind::kMissing);
    EXPECT_FALSE(RemoveFile(at, "none"));
    EXPECT_TRUE(MakeFolderAt(at, "sub").ok());
    EXPECT_TRUE(MakeFolderAt(at, "sub").ok()) << "one that exists is fine";
    test::WriteBytes(dir / "b", {1});
    EXPECT_EQ(LinkAsNew(at, "a", "b").kind(), ErrorKind::kExists);
    ASSERT_TRUE(RenameOver(at, "a", "b", false).ok());
    EXPECT_EQ(test::Entries(dir.path()), (std::vector<std::string>{"b", "sub"}));
    // A descriptor opened for reading takes no write; the system's words say why.
    Result<int> reading = OpenToRead(dir / "b");
    ASSERT_TRUE(reading.ok());
    const Status written = WriteAt(reading.value(), 0, "x", 1);
    EXPECT_EQ(written.kind(), ErrorKind::kWriteFailed);
    EXPECT_FALSE(written.message().empty());
    CloseFile(reading.value());
    CloseFile(at);
}

}  // namespace
}  // namespace qf
