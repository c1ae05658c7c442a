#include "convert/run_options.h"

#include <gtest/gtest.h>

#include <functional>

#include "export/export_kinds.h"

namespace qf {
namespace {

// Options as the command line gives them: one kind for the whole run.
RunOptions OneKind(int kind) {
    RunOptions o;
    o.plannedKind = kind;
    o.kindMayChange = false;
    return o;
}

struct Case {
    const char* name;
    std::function<void(RunOptions&)> choose;
    std::optional<OptionsRule> broken;  ///< nothing: the options run
};

TEST(RunOptionsTest, ValidateRefusesEachCombinationThatCannotBeWrittenAndNothingElse) {
    const PixelSize size{6.5, 6.5};
    const std::vector<Case> cases{
        {"defaults", [](RunOptions&) {}, std::nullopt},
        {"pixel size, exact layout", [&](RunOptions& o) { o.exportOptions.pixelSize = size; },
         OptionsRule::kPixelSizeNeedsPortableOrStack},
        {"pixel size, portable",
         [&](RunOptions& o) {
             o.exportOptions.pixelSize = size;
             o.exportOptions.layout = Layout::kPortable;
         },
         std::nullopt},
        {"pixel size, exact stack",
         [&](RunOptions& o) {
             o.exportOptions.pixelSize = size;
             o.exportOptions.stack = true;
         },
         std::nullopt},
        {"stack of bitmaps", [](RunOptions& o) {
             o.plannedKind = kGrayscaleBitmap;
             o.exportOptions.stack = true;
         },
         OptionsRule::kStackNeedsTiff},
        {"stack of bitmaps when the kind may change",
         [](RunOptions& o) {
             o.plannedKind = kGrayscaleBitmap;
             o.kindMayChange = true;
             o.exportOptions.stack = true;
         },
         std::nullopt},
        {"compressed bitmaps",
         [](RunOptions& o) {
             o.plannedKind = kFalseColorBitmap;
             o.exportOptions.compression = Compression::kLzw;
         },
         OptionsRule::kCompressionNeedsTiff},
        {"predictor alone", [](RunOptions& o) { o.exportOptions.predictor = true; },
         OptionsRule::kPredictorNeedsCompression},
        {"predictor with lzw",
         [](RunOptions& o) {
             o.exportOptions.predictor = true;
             o.exportOptions.compression = Compression::kLzw;
         },
         std::nullopt},
        {"ome without a stack", [](RunOptions& o) { o.exportOptions.ome = true; }, OptionsRule::kOmeNeedsStack},
        {"ome stack, exact layout",
         [](RunOptions& o) {
             o.exportOptions.ome = true;
             o.exportOptions.stack = true;
         },
         OptionsRule::kOmeNeedsPortable},
        {"level 3 of deflate",
         [](RunOptions& o) {
             o.exportOptions.compression = Compression::kDeflate;
             o.exportOptions.level = 3;
         },
         std::nullopt},
        {"level 20 of zstd",
         [](RunOptions& o) {
             o.exportOptions.compression = Compression::kZstd;
             o.exportOptions.level = 20;
         },
         OptionsRule::kLevelOutOfRange},
        {"a level without compression", [](RunOptions& o) { o.exportOptions.level = 1; }, OptionsRule::kLevelOutOfRange},
        {"bigtiff without a stack", [](RunOptions& o) { o.exportOptions.bigTiff = true; },
         OptionsRule::kBigTiffNeedsStack},
        {"mirror without an output folder", [](RunOptions& o) { o.mirror = o.recursive = true; },
         OptionsRule::kMirrorNeedsRecursiveAndOutputDir},
        {"mirror without subfolders",
         [](RunOptions& o) {
             o.mirror = true;
             o.outputDir = "out";
         },
         OptionsRule::kMirrorNeedsRecursiveAndOutputDir},
        {"mirror", [](RunOptions& o) {
             o.mirror = o.recursive = true;
             o.outputDir = "out";
         }, std::nullopt},
        {"7 input bits", [](RunOptions& o) { o.inputBits = 7; }, OptionsRule::kInputBitsOutOfRange},
        {"17 input bits", [](RunOptions& o) { o.inputBits = 17; }, OptionsRule::kInputBitsOutOfRange},
        {"12 input bits", [](RunOptions& o) { o.inputBits = 12; }, std::nullopt},
        {"jobs for every core", [](RunOptions& o) { o.jobs = 0; }, std::nullopt},
        {"1025 jobs", [](RunOptions& o) { o.jobs = 1025; }, OptionsRule::kJobsOutOfRange},
    };
    for (const Case& c : cases) {
        RunOptions options = OneKind(kNormalizedTiff);
        c.choose(options);
        const std::optional<OptionsProblem> problem = Validate(options);
        ASSERT_EQ(problem.has_value(), c.broken.has_value()) << c.name << ": " << (problem ? problem->message : "");
        if (!problem) continue;
        EXPECT_EQ(problem->rule, *c.broken) << c.name;
        // One sentence each, for both kinds of front end.
        EXPECT_EQ(problem->message.find('\n'), std::string::npos) << c.name;
        EXPECT_STRNE(DialogWords(problem->rule), DialogWords(static_cast<OptionsRule>(-1))) << c.name;
    }
}

TEST(RunOptionsTest, JobsToRunCountsTheCoresOnlyWhenAskedFor) {
    RunOptions o;
    o.jobs = 3;
    EXPECT_EQ(o.JobsToRun(), 3);
    o.jobs = 0;
    EXPECT_GE(o.JobsToRun(), 1);
}

}  // namespace
}  // namespace qf
