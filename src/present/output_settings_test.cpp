// The compression level as both panels hand it to a run and show it.
#include "present/output_settings.h"

#include <gtest/gtest.h>

#include "export/page_encoder.h"

namespace qf::present {
namespace {

TEST(OutputSettingsTest, LevelReachesTheRunOnlyForACodecThatTakesIt) {
    struct Case {
        Compression compression;
        int level;
        bool refused;
    } const cases[] = {
        {Compression::kDeflate, 0, false}, {Compression::kDeflate, 9, false}, {Compression::kZstd, 19, false},
        {Compression::kZstd, 20, true},    {Compression::kLzw, 3, true},      {Compression::kNone, 1, true},
    };
    for (const Case& c : cases) {
        OutputSettings settings;
        settings.compression = c.compression;
        settings.level = c.level;
        RunOptions options;
        const std::string problem = ApplyOutputSettings(settings, options);
        EXPECT_EQ(!problem.empty(), c.refused) << CompressionName(c.compression) << " " << c.level << ": " << problem;
        if (!c.refused) {
            EXPECT_EQ(options.exportOptions.level, c.level);
        }
        // What a panel enables the field for, and what a remembered value comes back as.
        EXPECT_EQ(TakesLevel(c.compression), c.compression == Compression::kDeflate || c.compression == Compression::kZstd);
        EXPECT_EQ(KeptLevel(c.compression, c.level), c.refused ? 0 : c.level);
    }
    EXPECT_EQ(KeptLevel(Compression::kZstd, 1LL << 40), 0);
}

TEST(OutputSettingsTest, ChosenLevelIsNamedInTheSummaryAndTheReportLine) {
    OutputSettings settings;
    settings.compression = Compression::kZstd;
    EXPECT_EQ(OutputSummary(settings), "Output options: zstd");  // the codec's usual level: no word more
    settings.level = 12;
    settings.predictor = true;
    EXPECT_EQ(OutputSummary(settings), "Output options: zstd level 12 with the predictor");
    EXPECT_NE(OutputReportLine(settings).find("compression zstd level 12 with the predictor"), std::string::npos)
        << OutputReportLine(settings);
}

}  // namespace
}  // namespace qf::present
