#include "platform/display_name.h"

#include <gtest/gtest.h>

namespace qf {
namespace {

TEST(DisplayNameTest, PlainAndUtf8NamesStayAsTheyAre) {
    EXPECT_EQ(DisplayName("/data/scan 1.orx"), "/data/scan 1.orx");
    EXPECT_EQ(DisplayName("Messung \xC3\xA4 \xE6\xB8\xAC.orx"), "Messung \xC3\xA4 \xE6\xB8\xAC.orx");
    EXPECT_EQ(DisplayName("it's.orx"), "it's.orx");
}

TEST(DisplayNameTest, ControlBytesAreQuotedAsLsQuotesThem) {
    EXPECT_EQ(DisplayName("a\nb.orx"), "'a'$'\\n''b.orx'");
    EXPECT_EQ(DisplayName("\ttab"), "$'\\t''tab'");
    EXPECT_EQ(DisplayName("esc\x1b[31m"), "'esc'$'\\E''[31m'");
    EXPECT_EQ(DisplayName("bell\a\x7f"), "'bell'$'\\a\\177'");
    EXPECT_EQ(DisplayName("it's\n"), "'it'\\''s'$'\\n'");
}

TEST(DisplayNameTest, BytesOutsideValidUtf8AreEscaped) {
    EXPECT_EQ(DisplayName("bad\xFF\xFEutf8"), "'bad'$'\\377\\376''utf8'");
    EXPECT_EQ(DisplayName("cut\xC3"), "'cut'$'\\303'");
    EXPECT_EQ(DisplayName("overlong\xC0\xAF"), "'overlong'$'\\300\\257'");
    EXPECT_EQ(DisplayName("c1\xC2\x9B"), "'c1'$'\\302\\233'");  // CSI as a code point
}

}  // namespace
}  // namespace qf
