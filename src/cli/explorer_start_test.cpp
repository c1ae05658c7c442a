#include "cli/explorer_start.h"

#include <gtest/gtest.h>

#include <set>

namespace qf {
namespace {

TEST(ExplorerStartTest, DroppedPathsConvertAndTypedCommandsRunAsTheyAre) {
    const std::set<std::string> there = {"C:\\Mess daten", "C:\\data\\scan.orx", "convert.orx"};
    const auto exists = [&](const std::string& path) { return there.count(path) > 0; };
    struct Case {
        std::vector<std::string> args;
        std::vector<std::string> runs;
    };
    const Case cases[] = {
        {{"q", "C:\\Mess daten"}, {"q", "convert", "C:\\Mess daten"}},
        {{"q", "C:\\Mess daten", "C:\\data\\scan.orx"}, {"q", "convert", "C:\\Mess daten", "C:\\data\\scan.orx"}},
        // A path that is not there (a typo at a prompt of its own) goes to the parser, which names it.
        {{"q", "C:\\Mess daten", "C:\\gone"}, {"q", "C:\\Mess daten", "C:\\gone"}},
        {{"q", "convert", "C:\\Mess daten"}, {"q", "convert", "C:\\Mess daten"}},
        {{"q", "--help"}, {"q", "--help"}},
        {{"q", "info", "convert.orx"}, {"q", "info", "convert.orx"}},
    };
    for (const Case& c : cases) {
        const ExplorerStart start = StartedFromExplorer(c.args, exists);
        EXPECT_EQ(start.args, c.runs) << c.args.back();
        EXPECT_EQ(start.say, "");
    }
}

TEST(ExplorerStartTest, DoubleClickedRunsNothingAndSaysHowToUseIt) {
    const ExplorerStart start = StartedFromExplorer({"quillfen-cli"}, [](const std::string&) { return true; });
    EXPECT_TRUE(start.args.empty());
    EXPECT_NE(start.say.find("Drop a folder"), std::string::npos) << start.say;
    EXPECT_NE(start.say.find("quillfen-cli convert FOLDER"), std::string::npos) << start.say;
}

}  // namespace
}  // namespace qf
