// quillfen-cli's live line: the percent and the time left follow the pixels done, and the
// line rewrites itself within the terminal's width instead of wrapping onto new lines.
#include <gtest/gtest.h>

#include <sstream>

#include "cli/progress_printer.h"
#include "control/getdata_ctrl.h"
#include "test/temp_folder.h"
#include "tools/synthetic_beam.h"

namespace qf {
namespace {

void Beam(const std::string& path, std::uint32_t frames, std::int16_t width, std::int16_t height) {
    BeamSettings s;
    s.width = width;
    s.height = height;
    s.frames = frames;
    ASSERT_TRUE(WriteSyntheticBeam(path, s).ok()) << path;
}

// The printer, with the line as it stood after each frame.
class Recorder : public ProgressPrinter {
public:
    explicit Recorder(std::ostream& sink, bool live = false) : ProgressPrinter(sink, live, false) {}
    void FrameWritten(const std::string& output) override {
        ProgressPrinter::FrameWritten(output);
        lines.push_back(Line(std::chrono::steady_clock::now()));
    }
    std::vector<std::string> lines;
};

BatchReport Convert(const std::string& folder, BatchObserver& observer, int jobs) {
    CGetdatactrl1 control;
    BatchSettings settings;
    settings.pause = [](std::chrono::milliseconds) {};
    settings.jobs = jobs;
    settings.plannedKind = 2;
    return RunBatch(control, folder, [] { return 2; }, settings, observer);
}

class ProgressTest : public test::TempFolderTest, public ::testing::WithParamInterface<int> {};

TEST_P(ProgressTest, PercentCountsPixelsNotFrames) {
    Beam(dir / "a.orx", 3, 8, 4);    // 3 frames of 32 pixels
    Beam(dir / "b.orx", 1, 64, 60);  // 1 frame of 3840 pixels
    std::ostringstream sink;
    Recorder printer(sink);
    ASSERT_TRUE(Convert(dir.path(), printer, GetParam()).clean());
    ASSERT_EQ(printer.lines.size(), 4u);
    // After a.orx: 3 of 4 frames, but 96 of 3936 pixels.
    EXPECT_EQ(printer.lines[2].rfind("[1/2] a.orx: frame 3/3, 2%", 0), 0u) << printer.lines[2];
    EXPECT_EQ(printer.lines[3].rfind("[2/2] b.orx: frame 1/1, 100%", 0), 0u) << printer.lines[3];
}

INSTANTIATE_TEST_SUITE_P(Jobs, ProgressTest, ::testing::Values(1, 4));

TEST(ProgressTimeLeft, FollowsThePixelsLeft) {
    RunProgress progress;
    progress.Planned(5, 0);
    progress.Planned(0, 4 * 100 + 1 * 1600);
    progress.FileFrameSize(100);
    for (int i = 0; i < 4; ++i) progress.FrameDone();
    // 400 of 2000 pixels in 2 s: 1600 pixels left take 8 s, not the 0.5 s one frame of five would.
    ASSERT_TRUE(progress.SecondsLeft(2.0).has_value());
    EXPECT_DOUBLE_EQ(*progress.SecondsLeft(2.0), 8.0);
    EXPECT_FALSE(RunProgress().SecondsLeft(2.0).has_value());
}

// The command line and the dialogs read the rate here: frames, whatever their size.
TEST(ProgressRate, CountsFramesWhileTheTimeLeftCountsPixels) {
    RunProgress progress;
    progress.Planned(3, 100 + 100 + 9800);
    progress.FileFrameSize(100);
    EXPECT_FALSE(progress.FramesPerSecond(1.0).has_value());  // nothing done yet
    progress.FrameDone();
    progress.FrameDone();
    ASSERT_TRUE(progress.FramesPerSecond(0.5).has_value());
    EXPECT_DOUBLE_EQ(*progress.FramesPerSecond(0.5), 4.0);
    EXPECT_DOUBLE_EQ(*progress.SecondsLeft(0.5), 24.5);  // 200 of 10000 pixels in 0.5 s
    EXPECT_FALSE(progress.FramesPerSecond(0.0).has_value());
}

// Every redraw of the live line: what follows each "\r\033[K".
std::vector<std::string> Redraws(const std::string& written) {
    std::vector<std::string> lines;
    const std::string clear = "\r\033[K";
    for (std::size_t at = written.find(clear); at != std::string::npos;) {
        const std::size_t next = written.find(clear, at + clear.size());
        lines.push_back(written.substr(at + clear.size(), next == std::string::npos ? next : next - at - clear.size()));
        at = next;
    }
    return lines;
}

TEST(ProgressLine, StaysWithinANarrowTerminal) {
    test::TempFolder dir;
    const std::string name = "acquisition_of_the_long_afternoon_series_0042.orx";
    Beam(dir / name, 3, 8, 4);
    for (int columns : {24, 40, 60}) {
        std::ostringstream sink;
        ProgressPrinter printer(sink, true, false);
        printer.SetColumns([columns] { return columns; });
        ASSERT_TRUE(Convert(dir.path(), printer, 1).clean());
        printer.Finish();
        const std::string written = sink.str();
        EXPECT_EQ(written.find('\n'), std::string::npos) << written;
        const std::vector<std::string> lines = Redraws(written);
        ASSERT_GE(lines.size(), 2u);
        for (const std::string& line : lines) EXPECT_LT(line.size(), static_cast<std::size_t>(columns)) << line;
        if (columns >= 40) {
            // The name gives way first, its end kept; the counts stay whole.
            EXPECT_NE(lines.front().find("[1/1] ..."), std::string::npos) << lines.front();
            EXPECT_NE(lines.front().find("_0042.orx: frame 0/3, 0%"), std::string::npos) << lines.front();
        }
    }
}

TEST(ProgressLine, WideTerminalShowsTheWholeLineAndCutsNamesByCharacter) {
    ProgressPrinter printer(std::cerr, false, false);
    printer.Planned(1, 2);
    printer.FileStarted("d/\xc3\xa9t\xc3\xa9_\xc3\xa9t\xc3\xa9_\xc3\xa9t\xc3\xa9.orx", 1, 1);  // "été_été_été.orx"
    printer.FileFrames(2);
    const auto now = std::chrono::steady_clock::now();
    EXPECT_EQ(printer.Line(now, 200), "[1/1] \xc3\xa9t\xc3\xa9_\xc3\xa9t\xc3\xa9_\xc3\xa9t\xc3\xa9.orx: frame 0/2, 0%");
    // 29 columns: 6 for "[1/1] " and 15 for the counts leave 8 for "..." and the name's last 5.
    EXPECT_EQ(printer.Line(now, 30), "[1/1] ...\xc3\xa9.orx: frame 0/2, 0%");
    // Narrower still: the shortest name, and the end of the line goes.
    EXPECT_EQ(printer.Line(now, 27), "[1/1] ...\xc3\xa9.orx: frame 0/2,");
}

}  // namespace
}  // namespace qf
