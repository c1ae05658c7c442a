#include "convert/frame_selection.h"

#include <gtest/gtest.h>

namespace qf {
namespace {

std::vector<int> Selected(const std::string& text) {
    std::vector<int> frames;
    const FrameSelection s = FrameSelection::Parse(text).value();
    for (int f = 0; f <= 32767; ++f) {
        if (s.Contains(static_cast<std::int16_t>(f))) frames.push_back(f);
    }
    return frames;
}

TEST(FrameSelectionTest, RangesSingleFramesAndOpenEnds) {
    EXPECT_EQ(Selected("2-4,7"), (std::vector<int>{2, 3, 4, 7}));
    EXPECT_EQ(Selected("32765-").size(), 3u);
    EXPECT_EQ(Selected("0").size(), 1u);
    EXPECT_EQ(Selected("5,1-2,5"), (std::vector<int>{1, 2, 5}));
    EXPECT_TRUE(FrameSelection().all());
    EXPECT_TRUE(FrameSelection().Contains(-3));  // everything, even numbers a control makes up
    EXPECT_FALSE(FrameSelection::Parse("0-").value().Contains(-3));
}

TEST(FrameSelectionTest, MalformedSelectionsSayWhichPart) {
    for (const char* bad : {"", ",", "1,", "-3", "4-2", "a", "1-2-3", "32768", "99999999999", "1 ,2"}) {
        Result<FrameSelection> s = FrameSelection::Parse(bad);
        EXPECT_FALSE(s.ok()) << bad;
        if (!s.ok()) {
            EXPECT_NE(s.message().find("is no frame range"), std::string::npos) << s.message();
        }
    }
}

}  // namespace
}  // namespace qf
