// The crash-safe output under every fault the system can give it: whichever call fails, the
// target is either the new file, whole, or what it was before, and no temporary stays.
#include "platform/output_file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <map>

#include "platform/file_layer.h"
#include "test/faulty_files.h"
#include "test/temp_folder.h"

namespace qf {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::FileOp;

// Larger than the output's buffer, so that it takes several writes.
Bytes NewContents() {
    Bytes bytes(700 * 1024);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 131 + i / 251);
    return bytes;
}

class OutputFileTest : public test::TempFolderTest {
protected:
    void SetUp() override {
        test::WriteBytes(dir / "out.bin", old_);
        ASSERT_TRUE(folder_.Open(dir.path()).ok());
    }
    // Writes the new contents over out.bin in pieces of several sizes, as the writers do.
    Status WriteOut(bool sync, bool replace = true, PendingOutput* pending = nullptr) {
        OutputTarget target(folder_.fd(), "out.bin", dir / "out.bin");
        target.sync = sync;
        target.replace = replace;
        target.pending = pending;
        OutputFile file(std::move(target));
        const Bytes bytes = NewContents();
        std::size_t at = 0;
        for (const std::size_t piece : {std::size_t{54}, std::size_t{1024}, std::size_t{300 * 1024}, std::size_t{13}}) {
            file.Write(bytes.data() + at, piece);
            at += piece;
        }
        file.Write(bytes.data() + at, bytes.size() - at);
        return file.Commit();
    }
    // The folder holds out.bin and nothing else: no temporary stayed.
    void ExpectNoTemporary() { EXPECT_EQ(test::Entries(dir.path()), std::vector<std::string>{"out.bin"}); }

    const Bytes old_{'o', 'l', 'd'};
    OutputFolder folder_;
};

TEST_F(OutputFileTest, ShortWritesMakeTheSameFile) {
    test::FaultyFiles files;
    files.ShortWrites(4093);
    {
        ScopedFiles installed(files);
        ASSERT_TRUE(WriteOut(false).ok());
    }
    EXPECT_EQ(test::ReadBytes(dir / "out.bin"), NewContents());
    EXPECT_GT(files.Calls(FileOp::kWrite), 700 * 1024 / 4093);
    ExpectNoTemporary();
}

// Each call of the output's life fails in turn, at each of its occurrences in a clean run.
TEST_F(OutputFileTest, AFailureAtAnyCallLeavesTheOldFileAndNoTemporary) {
    std::map<FileOp, int> calls;
    {
        test::FaultyFiles counting;
        ScopedFiles installed(counting);
        ASSERT_TRUE(WriteOut(true).ok());
        for (FileOp op : {FileOp::kCreate, FileOp::kWrite, FileOp::kFlush, FileOp::kClose, FileOp::kRename}) {
            calls[op] = counting.Calls(op);
        }
    }
    ASSERT_GE(calls[FileOp::kWrite], 3);
    const std::map<FileOp, std::string> said = {
        {FileOp::kCreate, "cannot create: "},      {FileOp::kWrite, "write failed: "},
        {FileOp::kFlush, "flush to disk failed: "}, {FileOp::kClose, "close failed: "},
        {FileOp::kRename, "cannot replace: "},
    };
    for (const auto& [op, count] : calls) {
        ASSERT_GE(count, 1) << static_cast<int>(op);
        for (int nth = 1; nth <= count; ++nth) {
            test::WriteBytes(dir / "out.bin", old_);
            test::FaultyFiles files;
            files.FailNth(op, nth, EIO);
            Status written;
            {
                ScopedFiles installed(files);
                written = WriteOut(true);
            }
            const std::string where = "op " + std::to_string(static_cast<int>(op)) + ", call " + std::to_string(nth);
            ASSERT_FALSE(written.ok()) << where;
            EXPECT_EQ(written.message(), said.at(op) + ErrnoText(EIO)) << where;
            EXPECT_EQ(test::ReadBytes(dir / "out.bin"), old_) << where;
            ExpectNoTemporary();
            EXPECT_EQ(files.OpenDescriptors(), 0) << where;
        }
    }
}

TEST_F(OutputFileTest, AFullDiskIsSaidAsSuchAndLeavesTheOldFile) {
    test::FaultyFiles files;
    files.DiskFullAfter(100 * 1024);
    Status written;
    {
        ScopedFiles installed(files);
        written = WriteOut(false);
    }
    ASSERT_FALSE(written.ok());
    EXPECT_EQ(written.kind(), ErrorKind::kNoSpace);
    EXPECT_EQ(written.message(), "disk full while writing (" + ErrnoText(ENOSPC) + ")");
    EXPECT_EQ(files.BytesWritten(), 100u * 1024);  // the write that filled it took what fit
    EXPECT_EQ(test::ReadBytes(dir / "out.bin"), old_);
    ExpectNoTemporary();
}

TEST_F(OutputFileTest, AFailedFirstWriteLeavesNoFileWhereThereWasNone) {
    ASSERT_TRUE(RemoveFile(folder_.fd(), "out.bin"));
    test::FaultyFiles files;
    files.FailNth(FileOp::kWrite, 1, ENOSPC);
    Status written;
    {
        ScopedFiles installed(files);
        written = WriteOut(false);
    }
    EXPECT_EQ(written.kind(), ErrorKind::kNoSpace);
    EXPECT_EQ(test::Entries(dir.path()), std::vector<std::string>{});
}

TEST_F(OutputFileTest, ATemporaryNameTakenMeanwhileIsPassedOverAndAnyOtherFailureIsOne) {
    test::FaultyFiles files;
    files.FailCalls(FileOp::kCreate, 1, 3, EEXIST);
    {
        ScopedFiles installed(files);
        ASSERT_TRUE(WriteOut(false).ok());
    }
    EXPECT_EQ(files.Calls(FileOp::kCreate), 4);
    EXPECT_EQ(test::ReadBytes(dir / "out.bin"), NewContents());

    test::FaultyFiles refused;
    refused.FailNth(FileOp::kCreate, 1, EROFS);
    Status written;
    {
        ScopedFiles installed(refused);
        written = WriteOut(false);
    }
    EXPECT_EQ(written.message(), "cannot create: " + ErrnoText(EROFS));
    EXPECT_EQ(refused.Calls(FileOp::kCreate), 1);
    ExpectNoTemporary();
}

TEST_F(OutputFileTest, AnOutputThatMayNotReplaceKeepsAFileThatAppearedMeanwhile) {
    ASSERT_TRUE(RemoveFile(folder_.fd(), "out.bin"));
    test::FaultyFiles files;
    files.FailNth(FileOp::kLink, 1, EEXIST);
    Status written;
    {
        ScopedFiles installed(files);
        written = WriteOut(false, false);
    }
    EXPECT_EQ(written.kind(), ErrorKind::kExists);
    EXPECT_EQ(written.message(), "a file of that name exists; not replaced");
    EXPECT_EQ(test::Entries(dir.path()), std::vector<std::string>{});

    test::FaultyFiles broken;
    broken.FailNth(FileOp::kLink, 1, EIO);
    {
        ScopedFiles installed(broken);
        written = WriteOut(false, false);
    }
    EXPECT_EQ(written.message(), "cannot create: " + ErrnoText(EIO));
    EXPECT_EQ(test::Entries(dir.path()), std::vector<std::string>{});
}

TEST_F(OutputFileTest, APendingOutputThatCannotBePlacedReadsAsACommitAndLeavesNoTemporary) {
    test::FaultyFiles files;
    files.FailNth(FileOp::kRename, 1, EACCES);
    PendingOutput pending;
    {
        ScopedFiles installed(files);
        ASSERT_TRUE(WriteOut(false, true, &pending).ok());
        EXPECT_TRUE(pending.waiting());
        EXPECT_EQ(test::ReadBytes(dir / "out.bin"), old_);  // nothing in place before Place()
        const Status placed = pending.Place();
        EXPECT_EQ(placed.message(), "cannot replace: " + ErrnoText(EACCES));
    }
    EXPECT_FALSE(pending.waiting());
    EXPECT_EQ(test::ReadBytes(dir / "out.bin"), old_);
    ExpectNoTemporary();
}

TEST_F(OutputFileTest, APendingOutputNeverPlacedIsRemoved) {
    {
        PendingOutput pending;
        ASSERT_TRUE(WriteOut(false, true, &pending).ok());
        EXPECT_EQ(test::Entries(dir.path()).size(), 2u);
    }
    EXPECT_EQ(test::ReadBytes(dir / "out.bin"), old_);
    ExpectNoTemporary();
}

}  // namespace
}  // namespace qf
