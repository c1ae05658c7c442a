// The file layer's promises that the run leans on: streams that do not hold a process, folders
// never entered through a link, and names too long for the system told before a write.
#ifndef _WIN32
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>

#include "platform/file_io.h"
#include "platform/output_file.h"
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

}  // namespace
}  // namespace qf
