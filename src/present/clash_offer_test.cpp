#include "present/clash_offer.h"

#include <gtest/gtest.h>

namespace qf::present {
namespace {

// What each dialog offers when names clash, and when it offers nothing: day folders into
// one output folder are mirrored, clashes across folders get the folder in the name,
// frames of one folder the suggested pattern; stacks of one folder, and an offer that is
// already taken, get none (the run goes on).
TEST(ClashOfferTest, EachClashGetsTheNamingThatTellsItsOutputsApartOrNone) {
    OutputSettings intoFolder;
    intoFolder.recursive = true;
    intoFolder.outputDir = "/out";
    OutputSettings beside;
    beside.recursive = true;
    OutputSettings patterned = intoFolder;
    patterned.namePattern = kSuggestedPattern;
    const struct {
        NameClashes clashes;
        OutputSettings current;
        bool mirror;
        std::string pattern;  ///< "-": no offer at all
        std::string question;
    } cases[] = {
        {{3, false, 3}, intoFolder, true, "",
         "3 frames would not be written: their names are taken by other frames. Data files of the same name in "
         "different subfolders take the same names in the output folder. Write each subfolder's outputs into the "
         "same subfolder of the output folder?"},
        {{1, true, 1}, beside, false, "{dir}_{stem}",
         "1 stack would not be written: its name is taken by another data file's. Data files of the same name in "
         "different subfolders take the same names. Name the outputs {dir}_{stem}?"},
        {{2, false, 2}, patterned, false, "{dir}_{stem}_{frame:04}",
         "2 frames would not be written: their names are taken by other frames. Data files of the same name in "
         "different subfolders take the same names. Name the outputs {dir}_{stem}_{frame:04}?"},
        {{1, false, 0}, OutputSettings{}, false, kSuggestedPattern,
         "1 frame would not be written: its name is taken by another frame. Name the outputs {stem}_{frame:04}?"},
        {{2, true, 0}, OutputSettings{}, false, "-", ""},
        {{4, false, 0}, patterned, false, "-", ""},
        // Mirroring saves the names other folders took; those taken within a folder are asked
        // about once it is taken.
        {{4, false, 3}, intoFolder, true, "",
         "4 frames would not be written: their names are taken by other frames. 3 of them are taken by data files "
         "of other subfolders. Data files of the same name in different subfolders take the same names in the "
         "output folder. Write each subfolder's outputs into the same subfolder of the output folder?"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.question);
        const std::optional<ClashOffer> offer = OfferOtherNames(c.clashes, c.current);
        if (c.pattern == "-") {
            EXPECT_FALSE(offer.has_value());
            continue;
        }
        ASSERT_TRUE(offer.has_value());
        EXPECT_EQ(offer->question, c.question);
        OutputSettings want = c.current;
        want.mirror = c.mirror;
        if (!c.pattern.empty()) want.namePattern = c.pattern;
        EXPECT_EQ(offer->offered, want);
    }
}

}  // namespace
}  // namespace qf::present
