// `report merge` over the reports of real shard runs: the union of the parts is one run,
// and the merge says what that one run said, exits as it did and writes its report; parts
// of different plans are refused with the reason.

#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <nlohmann/json.hpp>

#include "cli/cli_test_support.h"
#include "test/temp_folder.h"
#include "tools/synthetic_beam.h"

namespace qf {
namespace {

namespace fs = std::filesystem;
using Entries = std::map<std::string, std::vector<std::uint8_t>>;

class ReportMergeTest : public test::CliFixture {
protected:
    std::string source() const { return dir / "source"; }
    std::string work() const { return dir / "work"; }

    // scan1 ... scan12 of 2 frames, so that frame 1 of scan1.orx wants scan11.tiff; a file
    // the control refuses; a folder named like a data file.
    void Folder() {
        ASSERT_EQ(test::MakeDir(source()), 0);
        for (int i = 1; i <= 12; ++i) {
            BeamSettings s;
            s.width = 40;
            s.height = 24;
            s.frames = 2;
            s.bits = 12;
            s.seed = static_cast<std::uint64_t>(i);
            ASSERT_TRUE(WriteSyntheticBeam(source() + "/scan" + std::to_string(i) + ".orx", s).ok());
        }
        test::WriteBytes(source() + "/broken.orx", {1, 2, 3});
        ASSERT_EQ(test::MakeDir(source() + "/calib.orx"), 0);
    }

    // A fresh copy of the source at work(), the same path every time, so that runs over it
    // print the same lines.
    void FreshWork() {
        fs::remove_all(work());
        fs::remove_all(dir / "out");
        fs::copy(source(), work(), fs::copy_options::recursive);
    }

    Entries Outputs() const {
        Entries entries;
        for (const std::string& folder : {work(), std::string(dir / "out")}) {
            if (!fs::exists(folder)) continue;
            for (const auto& entry : fs::recursive_directory_iterator(folder)) {
                if (entry.is_regular_file()) entries[entry.path().string()] = test::ReadBytes(entry.path().string());
            }
        }
        return entries;
    }

    // Parts 1..n of a run with `options` over work(), their reports named part-K-of-N.json.
    std::vector<std::string> Parts(int n, std::vector<std::string> options) {
        std::vector<std::string> reports;
        for (int k = 1; k <= n; ++k) {
            const std::string report = dir / ("part-" + std::to_string(k) + "-of-" + std::to_string(n) + ".json");
            std::vector<std::string> args = {"convert", "--quiet", "--shard", std::to_string(k) + "/" + std::to_string(n),
                                             "--report", report};
            args.insert(args.end(), options.begin(), options.end());
            args.push_back(work());
            Run(args);
            reports.push_back(report);
        }
        return reports;
    }

    // The report without what differs between one run and merged parts by design: the time,
    // the jobs of each process, the shard.
    static nlohmann::json Comparable(const std::string& path) {
        nlohmann::json j = nlohmann::json::parse(test::ReadBytes(path));
        for (const char* field : {"elapsed_seconds", "jobs", "shard"}) j.erase(field);
        return j;
    }

    static std::string WithoutTime(std::string line) {
        const std::size_t in = line.find(" written in ");
        if (in != std::string::npos) line.erase(in + 12, line.find(" s;", in) - in - 12);
        return line;
    }
};

TEST_F(ReportMergeTest, PartsMergeIntoWhatOneRunSaysWritesAndExitsWith) {
    Folder();
    const struct {
        const char* what;
        int parts;
        std::vector<std::string> options;
    } cases[] = {
        {"collisions and a refused file, 4 parts", 4, {}},
        {"more parts than data files", 16, {"--kind", "standardized-tiff"}},
        {"one part", 1, {"--kind", "grayscale-bmp", "--input-bits", "12"}},
        {"an output folder, a name pattern, 3 parts", 3, {"--kind", "color-bmp", "--output-dir", "OUT", "--name-pattern", "{stem}_{frame:02}"}},
        {"a dry run, 2 parts", 2, {"--dry-run"}},
        {"frames picked, --jobs 2, 5 parts", 5, {"--frames", "1", "--jobs", "2"}},
    };
    for (auto c : cases) {
        SCOPED_TRACE(c.what);
        for (std::string& option : c.options) {
            if (option == "OUT") option = dir / "out";
        }
        FreshWork();
        const std::string whole = dir / "whole.json";
        std::vector<std::string> args = {"convert", "--report", whole};
        args.insert(args.end(), c.options.begin(), c.options.end());
        args.push_back(work());
        const int status = Run(args);
        // The run's summary line and the hint after it, if any.
        std::vector<std::string> ending = {WithoutTime(Lines().back())};
        if (ending.front().rfind("quillfen-cli: hint: ", 0) == 0) {
            ending.insert(ending.begin(), WithoutTime(Lines().at(Lines().size() - 2)));
        }
        const Entries outputs = Outputs();

        FreshWork();
        const std::vector<std::string> parts = Parts(c.parts, c.options);
        EXPECT_EQ(Outputs(), outputs);
        const std::string merged = dir / "merged.json";
        std::vector<std::string> merge = {"report", "merge", "--report", merged};
        merge.insert(merge.end(), parts.rbegin(), parts.rend());  // any order
        EXPECT_EQ(Run(merge), status) << err.str();
        std::vector<std::string> mergedEnding;
        for (const std::string& line : Lines()) mergedEnding.push_back(WithoutTime(line));
        EXPECT_EQ(mergedEnding, ending) << err.str();
        EXPECT_EQ(Comparable(merged), Comparable(whole));
    }
}

// What workflow tools build their jobs on: file K of the dry run's N files is converted alone
// by --shard K/N, which writes exactly the outputs the dry run listed for it.
TEST_F(ReportMergeTest, DryRunListsEachFileAsTheShardThatConvertsItAlone) {
    Folder();
    for (const std::vector<std::string>& options :
         {std::vector<std::string>{}, {"--kind", "color-bmp", "--name-pattern", "{stem}_{frame}"}}) {
        FreshWork();
        std::vector<std::string> args = {"convert", "--dry-run", "--quiet", "--report", "-"};
        args.insert(args.end(), options.begin(), options.end());
        args.push_back(work());
        Run(args);
        const nlohmann::json files = nlohmann::json::parse(out.str())["inputs"][0]["files"];
        ASSERT_EQ(files.size(), 13u);  // the refused file is dealt too
        const Entries before = Outputs();
        for (std::size_t k = 1; k <= files.size(); ++k) {
            const nlohmann::json& file = files[k - 1];
            std::vector<std::string> part = {"convert", "--quiet", "--shard",
                                             std::to_string(k) + "/" + std::to_string(files.size()), "--report", "-"};
            part.insert(part.end(), options.begin(), options.end());
            part.push_back(work());
            const Entries was = Outputs();
            Run(part);
            const nlohmann::json report = nlohmann::json::parse(out.str())["inputs"][0]["files"];
            ASSERT_EQ(report.size(), 1u);
            EXPECT_EQ(report[0]["path"], file["path"]);
            EXPECT_EQ(report[0]["outputs"], file["outputs"]);
            std::vector<std::string> made;
            for (const auto& [name, bytes] : Outputs()) {
                if (!was.contains(name)) made.push_back(name);
            }
            EXPECT_EQ(made, file["outputs"].get<std::vector<std::string>>()) << file["path"];
        }
        EXPECT_GT(Outputs().size(), before.size() + 20);
    }
}

TEST_F(ReportMergeTest, RefusesPartsOfDifferentPlansSayingWhich) {
    Folder();
    FreshWork();
    const std::vector<std::string> four = Parts(4, {"--dry-run"});
    const std::vector<std::string> two = Parts(2, {"--dry-run"});
    const std::string colour = dir / "colour.json";
    Run({"convert", "--dry-run", "--kind", "color-bmp", "--shard", "2/4", "--report", colour, work()});
    const std::string other = dir / "other.json";
    Run({"convert", "--dry-run", "--shard", "2/4", "--report", other, source()});
    const std::string older = dir / "older.json";
    {
        nlohmann::json j = nlohmann::json::parse(test::ReadBytes(four[1]));
        j["version"] = "0.9.0.0";
        const std::string text = j.dump();
        test::WriteBytes(older, std::vector<std::uint8_t>(text.begin(), text.end()));
    }
    const std::string level1 = dir / "level1.json", level5 = dir / "level5.json";
    Run({"convert", "--dry-run", "--compress", "zstd", "--level", "1", "--shard", "1/2", "--report", level1, work()});
    Run({"convert", "--dry-run", "--compress", "zstd", "--level", "5", "--shard", "2/2", "--report", level5, work()});
    const std::string merged = dir / "merged.json";
    Run({"report", "merge", "--report", merged, four[0], four[1], four[2], four[3]});
    const std::string prefix = "quillfen-cli: not the parts of one run: ";
    const struct {
        std::vector<std::string> parts;
        std::string line;
    } cases[] = {
        {{four[0], four[1], four[3]}, "part 3/4 is missing (3 of 4 parts given)"},
        {{four[0], four[1], four[1], four[2], four[3]}, four[1] + " and " + four[1] + " are both part 2/4"},
        {{four[0], colour, four[2], four[3]}, four[0] + " and " + colour + " differ in kind (\"normalized-tiff\" and \"color-bmp\")"},
        {{four[0], other, four[2], four[3]}, four[0] + " and " + other + " convert different folders (" + work() + " and " + source() + ")"},
        {{four[0], two[1]}, four[0] + " and " + two[1] + " are parts of different counts (1/4 and 2/2)"},
        {{four[0], older, four[2], four[3]}, four[0] + " and " + older + " come from different versions (1.0.0.1 and 0.9.0.0)"},
        {{merged, four[0]}, merged + " is a merged report, not a part"},
        {{level1, level5}, level1 + " and " + level5 + " differ in level (1 and 5)"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"report", "merge"};
        args.insert(args.end(), c.parts.begin(), c.parts.end());
        EXPECT_EQ(Run(args), kExitUsage) << c.line;
        EXPECT_EQ(err.str(), prefix + c.line + "\n");
    }
}

}  // namespace
}  // namespace qf
