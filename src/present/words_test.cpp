// Phrases through an installed translator: the numbers land where the translation puts them.
#include "present/words.h"

#include <gtest/gtest.h>

#include "present/run_texts.h"

namespace qf::present {
namespace {

class WordsTest : public ::testing::Test {
protected:
    void TearDown() override { SetTranslator(nullptr); }
};

TEST_F(WordsTest, ArgumentsFillTheirNumberedPlacesInAnyOrder) {
    EXPECT_EQ(Words("%2 of %1", {"a", "b"}), "b of a");
    EXPECT_EQ(Words("100% done, %1", {"x"}), "100% done, x");
    EXPECT_EQ(Words("%3 stays", {"a"}), "%3 stays");
}

TEST_F(WordsTest, TranslatorTurnsEachPhraseBeforeTheNumbersGoIn) {
    SetTranslator([](const char* pattern) {
        const std::string p = pattern;
        if (p == "%1 frames") return std::string("%1 Bilder");
        if (p == "Stopped: %1 of %2 written") return std::string("Angehalten: %2, davon %1 geschrieben");
        return p;
    });
    BatchReport r;
    r.framesWritten = 140;
    r.stop = BatchStop::kInterrupted;
    EXPECT_EQ(StatusLine(r, 1.0, 3000L), "Angehalten: 3,000 Bilder, davon 140 geschrieben");
}

TEST_F(WordsTest, NumbersAreGroupedByThousands) {
    EXPECT_EQ(Grouped(0), "0");
    EXPECT_EQ(Grouped(999), "999");
    EXPECT_EQ(Grouped(1000), "1,000");
    EXPECT_EQ(Grouped(-1234567), "-1,234,567");
}

}  // namespace
}  // namespace qf::present
