// What the systems treat differently, end to end through quillfen-cli: outputs byte for byte
// the same as the ones the Linux build made (testdata/cross_system), names outside ASCII,
// paths beyond 260 characters, a junction named like a data file, and an output that
// another program holds open. The Windows cases skip elsewhere, with the reason.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include "platform/windows_api.h"
#include <shellapi.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <nlohmann/json.hpp>
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

// Every codec, through the libraries each build links (Debian's on Linux; on Windows the
// ones built from the same source packages), gives the bytes the Linux build gave.
TEST_F(SystemNamesTest, CompressedStacksAreByteForByteThoseOfTheLinuxBuild) {
    const struct {
        const char* codec;
        std::vector<std::string> options;
    } cases[] = {
        {"deflate", {"--compress", "deflate"}},
        {"zstd", {"--compress", "zstd"}},
        {"lzw", {"--compress", "lzw", "--predictor"}},
    };
    for (const auto& c : cases) {
        const std::string folder = dir / c.codec, expected = kExpected + "/compressed-" + c.codec;
        ASSERT_EQ(test::MakeDir(folder), 0);
        for (const char* data : {"a.orx", "b.orx"}) test::WriteBytes(folder + "/" + data, test::ReadBytes(kExpected + "/" + data));
        std::vector<std::string> args = {"--stack"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        args.push_back(folder);
        ASSERT_EQ(Convert("standardized-tiff", args), kExitOk) << err.str();
        for (const char* name : {"a.tiff", "b.tiff"}) {
            EXPECT_EQ(test::ReadBytes(folder + "/" + name), test::ReadBytes(expected + "/" + name)) << c.codec << "/" << name;
        }
    }
}

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
    EXPECT_EQ(Lines(), (Names{"quillfen-cli: " + test::Shown(folder, "épave.orx") +
                              ": cannot load: not an ORX file (signature does not match)"}));
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

TEST_F(SystemNamesTest, PathsTheProgramBuildsUseTheSystemsSeparatorWhereTheTypedOnesStay) {
    const std::string folder = dir / "Messdaten";  // typed with '/', on Windows too
    ASSERT_EQ(test::MakeDir(folder), 0);
    ASSERT_EQ(test::MakeDir(folder + "/sub"), 0);
    Beam(folder + "/sub/x.orx", 1);
    test::WriteBytes(folder + "/sub/y.orx", {1, 2, 3});
    const std::string sub = test::Shown(folder, "sub");
    Run({"convert", "--settle-ms", "0", "--recursive", "--dry-run", "--kind", "color-bmp", "--report", "-", folder});
    const std::string said = err.str();
    EXPECT_NE(said.find(test::Shown(sub, "x.orx") + ": 1 frame\n  frame 0 -> " + test::Shown(sub, "x.bmp") + "\n"),
              std::string::npos) << said;
    EXPECT_NE(said.find("quillfen-cli: " + test::Shown(sub, "y.orx") + ": cannot load: "), std::string::npos) << said;
    const nlohmann::json report = nlohmann::json::parse(out.str());
    const nlohmann::json& input = report["inputs"][0];
    EXPECT_EQ(input["path"], folder);
    // Both data files are listed, as the run would list them; the one that does not load
    // is not converted.
    ASSERT_EQ(input["files"].size(), 2u) << report.dump(1);
    EXPECT_EQ(input["files"][0]["path"], test::Shown(sub, "x.orx"));
    EXPECT_EQ(input["files"][0]["outputs"], nlohmann::json::array({test::Shown(sub, "x.bmp")}));
    EXPECT_EQ(input["files"][1]["path"], test::Shown(sub, "y.orx"));
    EXPECT_EQ(input["files"][1]["converted"], false);
    ASSERT_EQ(input["files"][1]["failures"].size(), 1u) << report.dump(1);
}

// Standard output on a console or into a pipe: a text-mode descriptor on Windows, which
// writes CR before each LF unless told otherwise.
class StandardOutputToFile {
public:
    explicit StandardOutputToFile(const std::string& path) {
        std::cout.flush();
        std::fflush(stdout);
#ifdef _WIN32
        const int file = _wopen(test::FsPath(path).c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_TEXT, _S_IREAD | _S_IWRITE);
        saved_ = _dup(1);
        _dup2(file, 1);
        _close(file);
#else
        const int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        saved_ = ::dup(1);
        ::dup2(file, 1);
        ::close(file);
#endif
    }
    ~StandardOutputToFile() {
        std::cout.flush();
        std::fflush(stdout);
#ifdef _WIN32
        _dup2(saved_, 1);
        _close(saved_);
#else
        ::dup2(saved_, 1);
        ::close(saved_);
#endif
    }
    StandardOutputToFile(const StandardOutputToFile&) = delete;
    StandardOutputToFile& operator=(const StandardOutputToFile&) = delete;

private:
    int saved_ = -1;
};

TEST_F(SystemNamesTest, ReportOnStandardOutputEndsItsLinesInLfAsAReportFileDoes) {
    Beam(dir / "a.orx", 2);
    std::string args[] = {"quillfen-cli", "convert", "--quiet", "--settle-ms", "0", "--report", "-", dir.path()};
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    int status = -1;
    {
        StandardOutputToFile redirected(dir / "stdout.json");
        status = RunCli(static_cast<int>(argv.size()), argv.data(), std::cout, err);
    }
    EXPECT_EQ(status, kExitOk) << err.str();
    const std::vector<std::uint8_t> bytes = test::ReadBytes(dir / "stdout.json");
    const std::string text(bytes.begin(), bytes.end());
    EXPECT_EQ(text.find('\r'), std::string::npos);
    ASSERT_GT(std::count(text.begin(), text.end(), '\n'), 10) << text;
    EXPECT_EQ(nlohmann::json::parse(text)["totals"]["frames_written"], 2) << text;
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
    EXPECT_NE(err.str().find(test::Shown(dir.path(), "linked.orx") + ": is not a regular file; skipped"),
              std::string::npos)
        << err.str();
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
    const auto in = [this](const std::string& name) { return test::Shown(dir.path(), name); };
    EXPECT_NE(said.find(in("a.orx") + ": frame 1 not written: its name " + in("a1.bmp") + " is taken by frame 0 of " +
                        in("A1.orx")),
              std::string::npos) << said;
    EXPECT_NE(said.find("would replace the data file " + in("b.orx.bmp")), std::string::npos) << said;
    EXPECT_NE(said.find(in("B.ORX.BMP") + ": cannot load: not an ORX file"), std::string::npos) << said;
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
    EXPECT_EQ(lines[0].rfind("quillfen-cli: " + test::Shown(dir.path(), "s1.bmp") + ": cannot replace: ", 0), 0u)
        << lines[0];
    EXPECT_EQ(test::ReadBytes(dir / "s1.bmp"), before);
    EXPECT_EQ(test::Entries(dir.path()), (Names{"s.bmp", "s.orx", "s1.bmp", "s2.bmp"}));  // no temporary left
#endif
}

TEST_F(SystemNamesTest, QuotedPathEndingInABackslashSaysWhatHappenedAndHowToWriteIt) {
#ifndef _WIN32
    GTEST_SKIP() << "Windows' command-line quoting: a POSIX shell passes \\\" as the user meant";
#else
    // What the system's own rule makes of the command lines, as the program's start-up code reads them.
    const auto split = [](const wchar_t* line) {
        int count = 0;
        wchar_t** wide = CommandLineToArgvW(line, &count);
        std::vector<std::string> args = Utf8Arguments(count, wide);
        LocalFree(wide);
        return args;
    };
    const Names joined = split(L"quillfen-cli convert \"C:\\Messdaten\\\" --kind color-bmp");
    ASSERT_EQ(joined, (Names{"quillfen-cli", "convert", "C:\\Messdaten\" --kind color-bmp"}));
    EXPECT_EQ(Run({joined[1], joined[2]}), kExitUsage);
    EXPECT_EQ(Lines(), (Names{"quillfen-cli: C:\\Messdaten\" --kind color-bmp: the backslash before the closing quote "
                              "kept the quote and joined the words after it; write \"C:\\Messdaten\" or "
                              "\"C:\\Messdaten\\\\\" instead"}));
    const Names last = split(L"quillfen-cli convert --kind color-bmp \"D:\\été\\\"");
    ASSERT_EQ(last.back(), "D:\\été\"");
    EXPECT_EQ(Run({"convert", "--kind", "color-bmp", last.back()}), kExitUsage);
    EXPECT_EQ(Lines(), (Names{"quillfen-cli: D:\\été\": the backslash before the closing quote kept the quote; "
                              "write \"D:\\été\" or \"D:\\été\\\\\" instead"}));
#endif
}

TEST_F(SystemNamesTest, ConsoleCodePageIsPutBackAsTheShellHadIt) {
#ifndef _WIN32
    GTEST_SKIP() << "a Windows console's code page; POSIX terminals take UTF-8 as it is";
#else
    const UINT shells = GetConsoleOutputCP();
    if (shells == 0) GTEST_SKIP() << "no console here";
    const UINT before = shells == CP_UTF8 ? 850 : shells;  // a shell that was not on UTF-8
    ASSERT_TRUE(SetConsoleOutputCP(before));
    UseUtf8Console();
    EXPECT_EQ(GetConsoleOutputCP(), static_cast<UINT>(CP_UTF8));
    RestoreConsole();
    EXPECT_EQ(GetConsoleOutputCP(), before);
    RestoreConsole();  // at exit, again: no change
    EXPECT_EQ(GetConsoleOutputCP(), before);
    SetConsoleOutputCP(shells);
#endif
}

}  // namespace
}  // namespace qf
