// Several jobs give the result of one: the same outputs byte for byte, the same lines on
// stderr in the same order, the same report and exit status, over folders with
// collisions, bad entries, a half-resolution file and runs that stop in the middle.

#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/cli_app.h"
#include "cli/progress_printer.h"
#include "export/export_options.h"
#include "platform/file_io.h"
#include "platform/file_layer.h"
#include "test/faulty_files.h"
#include "test/temp_folder.h"
#include "tools/synthetic_beam.h"

namespace qf {
namespace {

namespace fs = std::filesystem;

// What one run left: its exit status, its stderr and report with the folder's path
// written as "DIR", and every entry of the folder (folders as "<folder>").
struct RunResult {
    int status = 0;
    std::string err;
    std::string report;
    std::map<std::string, std::vector<std::uint8_t>> entries;
};

std::string Normalised(std::string text, const std::string& folder) {
    // The report's JSON writes each backslash of the folder's name (Windows) as two.
    std::string escaped;
    for (char c : folder) escaped += c == '\\' ? std::string("\\\\") : std::string(1, c);
    for (const std::string& form : {escaped, folder}) {
        for (std::size_t at = text.find(form); at != std::string::npos; at = text.find(form, at)) {
            text.replace(at, form.size(), "DIR");
        }
    }
    return text;
}

class JobsTest : public test::TempFolderTest {
protected:
    void SetUp() override { ASSERT_EQ(qf::test::MakeDir(source().c_str(), 0755), 0); }
    std::string source() const { return dir / "source"; }

    void Beam(const std::string& name, std::uint32_t frames, std::uint64_t seed, bool half = false) {
        BeamSettings s;
        s.width = 96;
        s.height = 64;
        s.frames = frames;
        s.seed = seed;
        s.halfResolution = half;
        ASSERT_TRUE(WriteSyntheticBeam(source() + "/" + name, s).ok()) << name;
    }
    // A folder that holds collisions, data-file-shaped names, a file that is no data
    // file, a folder named like one and a half-resolution file.
    void MixedFolder() {
        for (int i = 1; i <= 12; ++i) Beam("scan" + std::to_string(i) + ".orx", 3, static_cast<std::uint64_t>(i));
        Beam("a.orx", 12, 20);
        Beam("a.orx.bmp", 2, 21);
        Beam("half.orx", 5, 22, true);
        Beam("long.orx", 30, 23);
        test::WriteBytes(source() + "/broken.orx", {1, 2, 3});
        ASSERT_EQ(qf::test::MakeDir((source() + "/calib.orx").c_str(), 0755), 0);
    }

    // Converts a fresh copy of the source folder with `jobs` jobs.
    RunResult Convert(int jobs, std::vector<std::string> options, const CliHooks* hooks = nullptr) {
        const std::string copy = dir / ("jobs" + std::to_string(jobs) + "-" + std::to_string(++runs_));
        fs::copy(source(), copy, fs::copy_options::recursive);
        std::vector<std::string> args = {"quillfen-cli", "convert", "--quiet", "--jobs", std::to_string(jobs),
                                         "--report", copy + ".json"};
        args.insert(args.end(), options.begin(), options.end());
        args.push_back(copy);
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        std::ostringstream out, err;
        RunResult result;
        result.status = RunCli(static_cast<int>(argv.size()), argv.data(), out, err, hooks);
        result.err = Normalised(err.str(), copy);
        nlohmann::json report = nlohmann::json::parse(test::ReadBytes(copy + ".json"));
        report.erase("elapsed_seconds");
        // How many jobs ran is the one thing that may differ; the run checks it below.
        EXPECT_EQ(report["jobs"]["asked"], jobs);
        report.erase("jobs");
        for (auto& input : report["inputs"]) input.erase("elapsed_seconds");
        result.report = Normalised(report.dump(1), copy);
        for (const auto& entry : fs::recursive_directory_iterator(copy)) {
            const std::string name = fs::relative(entry.path(), copy).string();
            if (entry.is_directory()) result.entries[name] = {'<', 'f', '>'};
            else result.entries[name] = test::ReadBytes(entry.path().string());
        }
        return result;
    }

    /// The exit status of one job, after checking that 2 and 4 jobs match it in everything.
    int ExpectSameAsOneJob(const std::vector<std::string>& options, const std::string& what) {
        const RunResult one = Convert(1, options);
        for (int jobs : {2, 4}) {
            const RunResult many = Convert(jobs, options);
            EXPECT_EQ(many.status, one.status) << what << ", " << jobs << " jobs";
            EXPECT_EQ(many.err, one.err) << what << ", " << jobs << " jobs";
            EXPECT_EQ(many.report, one.report) << what << ", " << jobs << " jobs";
            EXPECT_EQ(many.entries.size(), one.entries.size()) << what << ", " << jobs << " jobs";
            for (const auto& [name, bytes] : one.entries) {
                EXPECT_TRUE(many.entries.contains(name) && many.entries.at(name) == bytes)
                    << what << ", " << jobs << " jobs: " << name;
            }
        }
        return one.status;
    }

private:
    int runs_ = 0;
};

TEST_F(JobsTest, EveryKindWritesAndReportsWhatOneJobDoes) {
    MixedFolder();
    for (const char* kind : {"normalized-tiff", "standardized-tiff", "grayscale-bmp", "color-bmp"}) {
        EXPECT_EQ(ExpectSameAsOneJob({"--kind", kind}, kind), kExitFailures);
    }
}

// Each codec, level, predictor and layout, per frame and stacked: the same bytes.
TEST_F(JobsTest, EveryCodecAndStackWritesWhatOneJobDoes) {
    MixedFolder();
    const struct {
        Compression codec;
        std::vector<std::string> options;
    } cases[] = {
        {Compression::kDeflate, {"--compress", "deflate"}},
        {Compression::kZstd, {"--compress", "zstd", "--predictor", "--layout", "portable"}},
        {Compression::kLzw, {"--compress", "lzw", "--predictor"}},
        {Compression::kDeflate, {"--stack", "--compress", "deflate", "--predictor", "--level", "9"}},
        {Compression::kZstd, {"--stack", "--compress", "zstd", "--layout", "portable", "--kind", "standardized-tiff"}},
        {Compression::kLzw, {"--stack", "--compress", "lzw"}},
        {Compression::kLzw, {"--stack", "--compress", "lzw", "--predictor", "--layout", "portable"}},
        {Compression::kNone, {"--stack"}},
    };
    for (const auto& c : cases) {
        if (!CompressionAvailable(c.codec)) continue;
        std::string what;
        for (const auto& o : c.options) what += o + " ";
        ExpectSameAsOneJob(c.options, what);
    }
}

TEST_F(JobsTest, NamePatternsNoClobberAndAnOutputFolderGiveWhatOneJobDoes) {
    MixedFolder();
    test::WriteBytes(source() + "/long7.tiff", {'o', 'l', 'd'});
    ExpectSameAsOneJob({"--no-clobber"}, "--no-clobber");
    ExpectSameAsOneJob({"--name-pattern", "{stem}_{frame:02}", "--kind", "color-bmp"}, "--name-pattern");
    ExpectSameAsOneJob({"--sync", "--kind", "standardized-tiff"}, "--sync");
}

TEST_F(JobsTest, TheDefaultIsOneJobForEachCoreTheProcessMayRunOn) {
    Beam("a.orx", 4, 1);
    // Memory for one worker's frames: a default of more jobs shows in the note. This
    // machine's own core count would say "instead of" its number whatever the affinity.
    const std::uint64_t perJob = 96 * 64 * 8 + (1 << 20);
    const std::string held = R"({"free_mb": 4, "limit": "machine"})";
    const struct {
        int cores;  ///< as the affinity gives them; 0: the system does not say
        std::vector<std::string> notes;
        std::string jobs;  ///< the report's "jobs"
    } cases[] = {
        {0, {}, R"({"ran": 1, "asked": null, "cores_allowed": null, "held_by_memory": null})"},
        {1, {}, R"({"ran": 1, "asked": null, "cores_allowed": 1, "held_by_memory": null})"},
        {3, {"1 job instead of 3: each needs about 1 MB for its frames, and 4 MB of memory are free on this machine"},
         R"({"ran": 1, "asked": null, "cores_allowed": 3, "held_by_memory": )" + held + "}"},
        {64, {"1 job instead of 64: each needs about 1 MB for its frames, and 4 MB of memory are free on this machine"},
         R"({"ran": 1, "asked": null, "cores_allowed": 64, "held_by_memory": )" + held + "}"},
    };
    for (const auto& c : cases) {
        const std::string report = dir / ("cores" + std::to_string(c.cores) + ".json");
        std::vector<std::string> args = {"quillfen-cli", "convert", "--quiet", "--report", report, source()};
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        std::ostringstream out, err;
        test::FaultyFiles files;
        files.PretendCores(c.cores);
        files.PretendFreeMemory(FreeMemory{4 * perJob, false});
        {
            const ScopedFiles installed(files);
            EXPECT_EQ(RunCli(static_cast<int>(argv.size()), argv.data(), out, err), kExitOk) << err.str();
        }
        const nlohmann::json json = nlohmann::json::parse(test::ReadBytes(report));
        EXPECT_EQ(json["inputs"][0]["notes"].get<std::vector<std::string>>(), c.notes) << c.cores << " cores";
        EXPECT_EQ(json["jobs"], nlohmann::json::parse(c.jobs)) << c.cores << " cores";
    }
}

TEST_F(JobsTest, TiffThatCannotBeCreatedStopsAtTheSameFrame) {
    MixedFolder();
    // Frame 4 of long.orx cannot be created: the run stops there (exit 42), and outputs of
    // later frames that other jobs had already written are not left behind.
    ASSERT_EQ(qf::test::MakeDir((source() + "/long4.tiff").c_str(), 0755), 0);
    EXPECT_EQ(ExpectSameAsOneJob({"--kind", "standardized-tiff"}, "a folder in an output's place"),
              kExitTiffStopped);
    EXPECT_EQ(ExpectSameAsOneJob({"--kind", "color-bmp"}, "not a TIFF: the run goes on"), kExitFailures);
}

TEST_F(JobsTest, SignalMidRunStopsAtTheSameFrame) {
    MixedFolder();
    int written = 0;
    CliHooks hooks;
    hooks.frameWritten = [&](const std::string&) {
        if (++written == 20) std::raise(SIGINT);
    };
    const RunResult one = Convert(1, {"--kind", "grayscale-bmp"}, &hooks);
    written = 0;
    const RunResult four = Convert(4, {"--kind", "grayscale-bmp"}, &hooks);
    EXPECT_EQ(one.status, 128 + SIGINT);
    EXPECT_EQ(four.status, one.status);
    EXPECT_EQ(four.err, one.err);
    EXPECT_EQ(four.report, one.report);
    EXPECT_TRUE(four.entries == one.entries);
}

}  // namespace
}  // namespace qf
