// The two TIFF kinds share their names: a run that replaces (or, with --no-clobber, keeps)
// outputs written by the other kind says so once per data file, with one job and several,
// frame by frame and as stacks. The kind of an existing file is read from its samples.
#include <gtest/gtest.h>

#include "cli/cli_test_support.h"
#include "export/tiff_kind.h"
#include "platform/file_io.h"
#include "tools/synthetic_beam.h"

namespace qf {
namespace {

class OtherKindTest : public test::CliFixture, public ::testing::WithParamInterface<const char*> {
protected:
    void Beam(const std::string& name, std::uint32_t frames) {
        BeamSettings s;
        s.width = 32;
        s.height = 24;
        s.frames = frames;
        s.bits = 12;  // a standardized frame's peak is then far below 65535
        ASSERT_TRUE(WriteSyntheticBeam(dir / name, s).ok());
    }
    int Convert(const std::string& kind, std::vector<std::string> args = {}) {
        args.insert(args.begin(), {"convert", "--jobs", GetParam(), "--kind", kind});
        args.push_back(dir.path());
        return Run(args);
    }
    std::vector<std::string> KindLines() const {
        std::vector<std::string> found;
        for (const std::string& line : Lines()) {
            if (line.find(" kind") != std::string::npos && line.find("note:") != std::string::npos) found.push_back(line);
        }
        return found;
    }
    std::string Note(const std::string& text) const { return "quillfen-cli: note: " + text; }
    std::optional<ExportKind> KindOf(const std::string& name) const {
        Result<int> folder = OpenFolder(dir.path());
        if (!folder.ok()) return std::nullopt;
        const TiffKindFound found = TiffKindOfOutput(folder.value(), name, 32 * 24 * 2);
        CloseFile(folder.value());
        return found.kind;
    }
};

TEST_P(OtherKindTest, ReplacingTheOtherKindIsSaidOncePerDataFile) {
    Beam("a.orx", 3);
    Beam("b.orx", 1);
    ASSERT_EQ(Convert("standardized-tiff"), 0);
    EXPECT_EQ(KindOf("a1.tiff"), kStandardizedTiff);
    // The dry run says it first, as what the run would do.
    ASSERT_EQ(Convert("normalized-tiff", {"--dry-run"}), 0) << err.str();
    EXPECT_EQ(KindLines(), (std::vector<std::string>{
                               Note(dir / "a.orx" + ": would replace 3 outputs (" + dir / "a.tiff" +
                                    ", ...) that were written by the standardized-tiff kind"),
                               Note(dir / "b.orx" + ": would replace " + dir / "b.tiff" +
                                    ", which was written by the standardized-tiff kind"),
                           }));
    ASSERT_EQ(Convert("normalized-tiff"), 0) << err.str();
    EXPECT_EQ(KindLines(), (std::vector<std::string>{
                               Note(dir / "a.orx" + ": replaced 3 outputs (" + dir / "a.tiff" +
                                    ", ...) that were written by the standardized-tiff kind"),
                               Note(dir / "b.orx" + ": replaced " + dir / "b.tiff" +
                                    ", which was written by the standardized-tiff kind"),
                           }));
    EXPECT_EQ(KindOf("a1.tiff"), kNormalizedTiff);
    // The same kind again, or a bitmap kind beside the TIFFs: nothing to say.
    ASSERT_EQ(Convert("normalized-tiff"), 0);
    EXPECT_TRUE(KindLines().empty()) << err.str();
    ASSERT_EQ(Convert("grayscale-bmp"), 0);
    EXPECT_TRUE(KindLines().empty()) << err.str();
}

TEST_P(OtherKindTest, NoClobberSaysTheKeptFilesAreOfTheOtherKind) {
    Beam("a.orx", 2);
    ASSERT_EQ(Convert("normalized-tiff"), 0);
    const std::vector<std::uint8_t> before = test::ReadBytes(dir / "a.tiff");
    ASSERT_EQ(Convert("standardized-tiff", {"--no-clobber"}), 0) << err.str();
    EXPECT_EQ(KindLines(), (std::vector<std::string>{Note(dir / "a.orx" + ": kept 2 outputs (" + dir / "a.tiff" +
                                                          ", ...) that are of the normalized-tiff kind, not this "
                                                          "run's (--no-clobber)")}));
    EXPECT_EQ(test::ReadBytes(dir / "a.tiff"), before);
}

TEST_P(OtherKindTest, StacksAndThePortableLayoutAreToldToo) {
    Beam("a.orx", 3);
    ASSERT_EQ(Convert("normalized-tiff", {"--stack"}), 0);
    ASSERT_EQ(Convert("standardized-tiff", {"--stack"}), 0) << err.str();
    EXPECT_EQ(KindLines(), (std::vector<std::string>{Note(dir / "a.orx" + ": replaced " + dir / "a.tiff" +
                                                          ", which was written by the normalized-tiff kind")}));
    ASSERT_EQ(Convert("normalized-tiff", {"--layout", "portable"}), 0) << err.str();
    ASSERT_EQ(KindLines().size(), 1u) << err.str();  // the stack's first page, now a.tiff
    ASSERT_EQ(Convert("standardized-tiff", {"--layout", "portable"}), 0) << err.str();
    EXPECT_EQ(KindLines(), (std::vector<std::string>{Note(dir / "a.orx" + ": replaced 3 outputs (" + dir / "a.tiff" +
                                                          ", ...) that were written by the normalized-tiff kind")}));
}

TEST_P(OtherKindTest, FilesThatAreNoSixteenBitGrayTiffHaveNoKind) {
    Beam("a.orx", 1);
    ASSERT_EQ(Convert("grayscale-bmp"), 0);
    EXPECT_EQ(KindOf("a.bmp"), std::nullopt);
    EXPECT_EQ(KindOf("missing.tiff"), std::nullopt);
    // A bitmap under a TIFF's name is replaced without a word about kinds.
    test::WriteBytes(dir / "a.tiff", test::ReadBytes(dir / "a.bmp"));
    ASSERT_EQ(Convert("normalized-tiff"), 0);
    EXPECT_TRUE(KindLines().empty()) << err.str();
}

INSTANTIATE_TEST_SUITE_P(Jobs, OtherKindTest, ::testing::Values("1", "4"));

}  // namespace
}  // namespace qf
