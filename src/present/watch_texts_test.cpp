// The words a watch says while it waits, for the command line and the dialogs alike.
#include "present/watch_texts.h"

#include <gtest/gtest.h>

#include "present/words.h"

namespace qf::present {
namespace {

WatchStanding Standing(long converted, std::vector<BeingWritten> beingWritten = {}) {
    WatchStanding standing;
    standing.converted = converted;
    standing.beingWritten = std::move(beingWritten);
    return standing;
}

BeingWritten File(std::string path, std::uint32_t complete, std::uint32_t promised) {
    WatchStep step;
    step.action = WatchAction::kWait;
    step.completeFrames = complete;
    step.headerFrames = promised;
    return BeingWritten{std::move(path), step};
}

TEST(WatchTextsTest, SaysWhatTheWatchWaitsFor) {
    const struct {
        WatchStanding standing;
        std::string line;
    } cases[] = {
        {Standing(0), "watching day1: 0 converted"},
        {Standing(1234), "watching day1: 1,234 converted"},
        // The first file being written by its own name, not its folder's.
        {Standing(12, {File("/data/day1/scan13.orx", 40, 98), File("/data/day1/scan14.orx", 1, 98)}),
         "watching day1: 12 converted, scan13.orx being written (40 of 98 frames)"},
        {Standing(0, {File("/data/day1/sub/big.orx", 0, 12000)}),
         "watching day1: 0 converted, big.orx being written (0 of 12,000 frames)"},
        // Fewer bytes than a header: no frame count to tell yet.
        {Standing(3, {File("/data/day1/new.orx", 0, 0)}), "watching day1: 3 converted, new.orx being written (no header yet)"},
        // A name with a control byte is quoted as ls quotes it.
        {Standing(0, {File("/data/day1/a\nb.orx", 1, 2)}), "watching day1: 0 converted, 'a'$'\\n''b.orx' being written (1 of 2 frames)"},
    };
    for (const auto& c : cases) EXPECT_EQ(WatchLine("day1", c.standing), c.line);
}

TEST(WatchTextsTest, GoesThroughTheTranslator) {
    SetTranslator([](const char* pattern) { return std::string(pattern) == "watching %1: %2 converted" ? std::string("%2 umgewandelt, beobachte %1") : std::string(pattern); });
    EXPECT_EQ(WatchLine("tag1", Standing(5)), "5 umgewandelt, beobachte tag1");
    SetTranslator(nullptr);
}

}  // namespace
}  // namespace qf::present
