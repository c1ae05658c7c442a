// Lines fitted at word ends, measured here one unit a character (the ellipsis one too).
#include "present/line_fit.h"

#include <gtest/gtest.h>

namespace qf::present {
namespace {

int Characters(const std::string& text) {
    int n = 0;
    for (const char c : text) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

TEST(LineFitTest, CutsOnlyBetweenWordsAndKeepsTheEndWhenAsked) {
    struct Case {
        const char* text;
        int width;
        bool keepEnd;
        const char* shown;
    } const cases[] = {
        {"alpha beta gamma delta", 22, true, "alpha beta gamma delta"},  // fits: whole
        {"alpha beta gamma delta", 15, true, "alpha \xE2\x80\xA6 delta"},
        {"alpha beta gamma delta", 15, false, "alpha beta \xE2\x80\xA6"},
        {"/data/camera/day1/scan12.orx", 16, true, "/\xE2\x80\xA6scan12.orx"},
        {"C:\\data\\camera\\scan12.orx", 19, true, "C:\\data\\\xE2\x80\xA6scan12.orx"},
        {"Gr\xC3\xB6\xC3\x9F" "e 6.5\xC2\xB5m, Kamera", 11, false, "Gr\xC3\xB6\xC3\x9F" "e \xE2\x80\xA6"},
        {"alpha beta", 3, true, "\xE2\x80\xA6"},  // not even one word: the ellipsis alone
    };
    for (const Case& c : cases) {
        const std::string shown = ElideAtWordEnds(c.text, Characters, c.width, c.keepEnd);
        EXPECT_EQ(shown, c.shown) << c.text << " in " << c.width;
        EXPECT_LE(Characters(shown), c.width) << c.text;
    }
}

}  // namespace
}  // namespace qf::present
