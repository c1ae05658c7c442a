// The kind names quillfen-cli takes, and what it says for one it does not.
#include "cli/kind_names.h"

#include <gtest/gtest.h>

#include "cli/cli_test_support.h"

namespace qf {
namespace {

class KindNameTest : public test::CliFixture {
protected:
    void Synth(const std::string& name) {
        ASSERT_EQ(Run({"synth", "--width", "9", "--height", "5", "--frames", "1", "--bits", "14", dir / name}), 0)
            << err.str();
    }
};

TEST_F(KindNameTest, BritishColourWritesTheSameBitmapAsColor) {
    Synth("s.orx");
    ASSERT_EQ(Run({"convert", "--quiet", "--kind", "color-bmp", "--output-dir", dir / "us", dir / "s.orx"}), kExitOk)
        << err.str();
    ASSERT_EQ(Run({"convert", "--quiet", "--kind", "colour-bmp", "--output-dir", dir / "uk", dir / "s.orx"}), kExitOk)
        << err.str();
    const auto bytes = test::ReadBytes(dir / "uk/s.bmp");
    ASSERT_EQ(bytes.size(), 54u + 5 * 28);  // 24-bit rows of 9 pixels padded to 28 bytes
    EXPECT_EQ(bytes[28], 24);                // bits per pixel: the colour kind
    EXPECT_EQ(bytes, test::ReadBytes(dir / "us/s.bmp"));
}

TEST_F(KindNameTest, TypoIsRefusedWithTheClosestName) {
    Synth("s.orx");
    const std::vector<std::pair<std::string, std::string>> typos = {
        {"colr-bmp", "color-bmp"},         {"colour-bitmap", "color-bmp"}, {"grayscale", "grayscale-bmp"},
        {"greyscale-bmp", "grayscale-bmp"}, {"normalised-tiff", "normalized-tiff"},
        {"standardized_tiff", "standardized-tiff"}, {"Color-BMP", "color-bmp"}};
    for (const auto& [typed, meant] : typos) {
        EXPECT_EQ(Run({"convert", "--kind", typed, dir.path()}), kExitUsage) << typed;
        EXPECT_NE(err.str().find("'" + typed + "' is no kind (did you mean " + meant + "?)"), std::string::npos)
            << err.str();
        EXPECT_EQ(Lines().size(), 1u) << err.str();
    }
    EXPECT_FALSE(test::FileExists(dir / "s.tiff"));
    EXPECT_FALSE(test::FileExists(dir / "s.bmp"));
}

TEST_F(KindNameTest, WordFarFromEveryKindGetsNoGuess) {
    for (const std::string typed : {"jpeg", "tiff", "7", "-1", ""}) {
        EXPECT_EQ(Run({"convert", "--kind", typed, dir.path()}), kExitUsage) << typed;
        EXPECT_EQ(err.str().find("did you mean"), std::string::npos) << err.str();
    }
    EXPECT_EQ(ClosestKindName("png"), "");
}

TEST_F(KindNameTest, HelpListsBothSpellings) {
    ASSERT_EQ(Run({"convert", "--help"}), kExitOk);
    EXPECT_NE(out.str().find("color-bmp (or colour-bmp)"), std::string::npos) << out.str();
}

}  // namespace
}  // namespace qf
