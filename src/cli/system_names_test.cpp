// What the systems treat differently, end to end through quillfen-cli: outputs byte for byte
// the same as the ones the Linux build made (testdata/cross_system), names outside ASCII,
// paths beyond 260 characters, a junction named like a data file, and an output that
// another program holds open. The Windows cases skip elsewhere, with the reason.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <share.h>
#endif

#include <cstdlib>
#include <sstream>

#include "cli/cli_test_support.h"
#include "platform/directory.h"
#include "platform/file_io.h"
#include "test/temp_folder.h"
#include "tools/synthetic_beam.h"

namespace qf {
namespace {

using Names = std::vector<std::string>;

const char* const kKinds[] = {"normalized-tiff", "standardized-tiff", "grayscale-bmp", "color-bmp"};
const std::string kExpected = QUILLFEN_TESTDATA "/cross_system";

class SystemNamesTest : public test::CliFixture {
protected:
    int Convert(const std::string& kind, const std::vector<std::string>& inputs) {
        std::vector<std::string> args = {"convert", "--quiet", "--settle-ms", "0", "--kind", kind};
        args.insert(args.end(), inputs.begin(), inputs.end());
        return Run(args);
    }
    static void Beam(const std::string& path, std::uint32_t frames) {
        BeamSettings s;
        s.width = 6;
        s.height = 4;
        s.frames = frames;
        ASSERT_TRUE(WriteSyntheticBeam(path, s).ok()) << path;
    }
};

TEST_F(SystemNamesTest, OutputsAreByteForByteThoseOfTheLinuxBuild) {
    // a.orx: 20 x 10, 12-bit peak; b.orx: 16 x 12 stored at half resolution. Their outputs
    // hold 0x0A and 0x1A bytes, which a text-mode write would change.
    for (const char* kind : kKinds) {
        const std::string folder = dir / kind;
        ASSERT_EQ(test::MakeDir(folder), 0);
        for (const char* data : {"a.orx", "b.orx"}) test::WriteBytes(folder + "/" + data, test::ReadBytes(kExpected + "/" + data));
        ASSERT_EQ(Convert(kind, {folder}), kExitOk) << err.str();
        const Names expected = test::Entries(kExpected + "/" + kind);
        ASSERT_EQ(expected.size(), 4u) << kind;
        Names made = test::Entries(folder);
        std::erase_if(made, [](const std::string& name) { return name.ends_with(".orx"); });
        EXPECT_EQ(made, expected) << kind;
        for (const std::string& name : expected) {
            EXPECT_EQ(test::ReadBytes(folder + "/" + name), test::ReadBytes(kExpected + "/" + kind + "/" + name))
                << kind << "/" << name;
        }
    }
}

TEST_F(SystemNamesTest, NamesOutsideAsciiConvertAndAreShownAsGiven) {
    const std::string folder = dir / "mesures été";
    ASSERT_EQ(test::MakeDir(folder), 0);
    Beam(folder + "/données.orx", 2);
    Beam(folder + "/光束.orx", 1);
    test::WriteBytes(folder + "/épave.orx", {1, 2, 3});
    EXPECT_EQ(Convert("color-bmp", {folder}), kExitFailures);
    EXPECT_EQ(test::Entries(folder),
              (Names{"données.bmp", "données.orx", "données1.bmp", "épave.orx", "光束.bmp", "光束.orx"}));
    EXPECT_EQ(Lines(), (Names{"quillfen-cli: " + folder + "/épave.orx: cannot load: not an ORX file (signature "
                              "does not match)"}));
    EXPECT_EQ(Run({"convert", "--settle-ms", "0", "--kind", "grayscale-bmp", "--output-dir", folder + "/sortie",
                   folder + "/données.orx"}),
              kExitOk);
    EXPECT_EQ(test::Entries(folder + "/sortie"), (Names{"données.bmp", "données1.bmp"}));
    EXPECT_NE(err.str().find(folder + "/données.orx: 2 of 2 frames written in "), std::string::npos)
        << err.str();
}

TEST_F(SystemNamesTest, PathsLongerThan260CharactersWork) {
    // Made through the program's own file layer: the test's library may not take such paths.
    std::string folder = dir.path();
    while (folder.size() < 300) {
        folder += "/" + std::string(60, 'p');
        ASSERT_TRUE(MakeFolder(folder).ok()) << folder;
    }
    const std::string name = std::string(40, 'n');
    Beam(folder + "/" + name + ".orx", 2);
    const std::string outputs = folder + "/" + std::string(60, 'o') + "/" + std::string(60, 'q');
    EXPECT_EQ(Run({"convert", "--quiet", "--settle-ms", "0", "--kind", "standardized-tiff", "--report",
                   folder + "/report.json", folder}),
              kExitOk)
        << err.str();
    EXPECT_EQ(ListFolder(folder).value(), (Names{name + ".orx", name + ".tiff", name + "1.tiff", "report.json"}));
    EXPECT_EQ(Run({"convert", "--quiet", "--settle-ms", "0", "--kind", "color-bmp", "--output-dir", outputs, folder}),
              kExitOk)
        << err.str();
    EXPECT_EQ(ListFolder(outputs).value(), (Names{name + ".bmp", name + "1.bmp"}));
}

#ifdef _WIN32
std::string Backslashed(std::string path) {
    for (char& c : path) c = c == '/' ? '\\' : c;
    return path;
}

// A junction made by the system's own shell; false where it cannot make one.
bool MakeJunction(const std::string& link, const std::string& target) {
    const std::string command = "cmd /c mklink /J \"" + Backslashed(link) + "\" \"" + Backslashed(target) + "\" >NUL 2>&1";
    return std::system(command.c_str()) == 0 && test::FileExists(link);
}
#endif

TEST_F(SystemNamesTest, JunctionNamedLikeADataFileIsNeitherReadNorWalkedInto) {
#ifndef _WIN32
    GTEST_SKIP() << "a Windows junction; links on POSIX are covered by the hardening tests";
#else
    const std::string target = dir / "elsewhere";
    ASSERT_EQ(test::MakeDir(target), 0);
    Beam(target + "/inner.orx", 1);
    Beam(dir / "real.orx", 1);
    if (!MakeJunction(dir / "linked.orx", target) || !MakeJunction(dir / "linked", target)) {
        GTEST_SKIP() << "cannot make a junction here";
    }
    EXPECT_EQ(Run({"convert", "--settle-ms", "0", "--recursive", dir.path()}), kExitOk) << err.str();
    EXPECT_NE(err.str().find(dir / "linked.orx" + ": is not a regular file; skipped"), std::string::npos) << err.str();
    EXPECT_EQ(test::Entries(target), Names{"inner.orx"});  // nothing written through the junction
    EXPECT_EQ(test::Entries(dir.path()), (Names{"elsewhere", "linked", "linked.orx", "real.orx", "real.tiff"}));
#endif
}

TEST_F(SystemNamesTest, NamesThatDifferOnlyInCaseAreOneFileWhereTheSystemSaysSo) {
#ifndef _WIN32
    GTEST_SKIP() << "POSIX names are case-sensitive: a1.bmp and A1.bmp are two files";
#else
    Beam(dir / "UPPER.ORX", 1);    // a data file there, as "upper.orx" would be
    Beam(dir / "a.orx", 2);        // a.bmp, a1.bmp
    Beam(dir / "A1.orx", 1);       // A1.bmp: the same file as a1.bmp
    Beam(dir / "b.orx.orx", 1);    // b.orx.bmp, which would replace ...
    test::WriteBytes(dir / "B.ORX.BMP", {7});  // ... this, a name holding ".ORX": data, so protected
    EXPECT_EQ(Convert("grayscale-bmp", {dir.path()}), kExitFailures);
    const std::string said = err.str();
    // A1.orx comes first in byte order and takes A1.bmp; a.orx's frame 1 would be the same file.
    EXPECT_NE(said.find(dir / "a.orx" + ": frame 1 not written: its name " + dir / "a1.bmp" + " is taken by frame 0 of " +
                        dir / "A1.orx"),
              std::string::npos) << said;
    EXPECT_NE(said.find("would replace the data file " + dir / "b.orx.bmp"), std::string::npos) << said;
    EXPECT_NE(said.find(dir / "B.ORX.BMP" + ": cannot load: not an ORX file"), std::string::npos) << said;
    EXPECT_EQ(test::ReadBytes(dir / "B.ORX.BMP"), (std::vector<std::uint8_t>{7}));
    EXPECT_TRUE(test::FileExists(dir / "UPPER.bmp"));
    EXPECT_EQ(Lines().size(), 3u) << said;
#endif
}

TEST_F(SystemNamesTest, OutputHeldOpenByAnotherProgramIsOneLineAndTheRestConverts) {
#ifndef _WIN32
    GTEST_SKIP() << "POSIX has no share modes: a file held open is replaced like any other";
#else
    Beam(dir / "s.orx", 3);
    ASSERT_EQ(Convert("grayscale-bmp", {dir.path()}), kExitOk);
    const auto before = test::ReadBytes(dir / "s1.bmp");
    const int held = _wsopen(test::FsPath(dir / "s1.bmp").c_str(), _O_RDONLY | _O_BINARY, _SH_DENYRW);
    ASSERT_GE(held, 0);
    const int status = Convert("grayscale-bmp", {dir.path()});
    _close(held);
    EXPECT_EQ(status, kExitFailures);
    const Names lines = Lines();
    ASSERT_EQ(lines.size(), 1u) << err.str();
    EXPECT_EQ(lines[0].rfind("quillfen-cli: " + dir / "s1.bmp" + ": cannot replace: ", 0), 0u) << lines[0];
    EXPECT_EQ(test::ReadBytes(dir / "s1.bmp"), before);
    EXPECT_EQ(test::Entries(dir.path()), (Names{"s.bmp", "s.orx", "s1.bmp", "s2.bmp"}));  // no temporary left
#endif
}

}  // namespace
}  // namespace qf
