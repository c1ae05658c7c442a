// The words a dialog without Qt shows for a run, from reports of real shape.
#include "present/run_texts.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace qf::present {
namespace {

BatchReport Clean(int files, long frames) {
    BatchReport r;
    r.filesConverted = files;
    r.framesWritten = frames;
    return r;
}

TEST(PresentRunTextsTest, CleanRunCountsFilesAndFramesWithThousandsGrouped) {
    EXPECT_EQ(StatusLine(Clean(12, 3600), 2.14), "Converted 12 files, 3,600 frames in 2.1 s");
    EXPECT_EQ(StatusLine(Clean(1, 1), 0.0), "Converted 1 file, 1 frame in 0.0 s");
    EXPECT_EQ(FailureMessage(Clean(1, 1)), "");
}

TEST(PresentRunTextsTest, StoppedRunSaysHowManyOfThePlannedFramesWereWritten) {
    BatchReport r = Clean(0, 140);
    r.stop = BatchStop::kInterrupted;
    EXPECT_EQ(StatusLine(r, 1.0, 300L), "Stopped: 140 of 300 frames written");
    EXPECT_EQ(StatusLine(r, 1.0), "Stopped: 140 frames written");
    r.notConverted = {"d/b.orx", "d/c.orx"};
    const std::string message = FailureMessage(r);
    EXPECT_EQ(message.rfind("The conversion was stopped.\n", 0), 0u) << message;
    EXPECT_NE(message.find("\n\n2 data files were not converted because the run stopped:\nd/b.orx\nd/c.orx"),
              std::string::npos)
        << message;
}

TEST(PresentRunTextsTest, FailuresAreListedUpToTwentyAndTheReportHasThemAll) {
    BatchReport r;
    for (int i = 0; i < 25; ++i) r.failures.push_back(BatchFailure{"d/x.orx", kNoFrame, "d/x.orx", "cannot load"});
    const std::string message = FailureMessage(r);
    EXPECT_EQ(message.rfind("Some files could not be converted.\n\nd/x.orx: cannot load\n", 0), 0u) << message;
    EXPECT_NE(message.find("\n... and 5 more: \"Show Report\" lists them all."), std::string::npos) << message;
    const std::vector<std::string> lines = ReportLines(r);
    EXPECT_EQ(lines.size(), 26u);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "d/x.orx: cannot load"), 25);
}

TEST(PresentRunTextsTest, FolderWithoutDataFilesIsNamedByItsOwnName) {
    EXPECT_EQ(NoDataFiles("/data/day1/", 0), "No data files in day1");
    EXPECT_EQ(NoDataFiles("/data/day1", 2400), "No data files in day1 (2,400 in subfolders)");
}

TEST(PresentRunTextsTest, StripNamesTheFileByItsNameAndTheFrameOnceOneIsWritten) {
    EXPECT_EQ(StripLine("/data/day1/scan.orx", 3, 12, 0, 300), "File 3 of 12: scan.orx");
    EXPECT_EQ(StripLine("/data/day1/scan.orx", 3, 12, 4, 300), "File 3 of 12: scan.orx, frame 4 of 300");
    EXPECT_EQ(StripLine("/data/a\nb.orx", 1, 1, 0, 1), "File 1 of 1: 'a'$'\\n''b.orx'");
    EXPECT_EQ(RateText(12.34, std::nullopt), "12.3 frames/s");
    EXPECT_EQ(RateText(3.0, 3599.6), "3.0 frames/s, 3,600 s left");
}

}  // namespace
}  // namespace qf::present
