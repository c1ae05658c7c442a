// Pictures are paced by the clock handed in: no sleeps.
#include "present/view_pacer.h"

#include <gtest/gtest.h>

namespace qf {
namespace {

using std::chrono::milliseconds;
const ViewPacer::Clock::time_point kStart{std::chrono::hours(1)};

TEST(ViewPacerTest, ShowsAtMost25PicturesASecondOfFramesComingEvery10Ms) {
    ViewPacer pacer;
    int shown = 0;
    for (int ms = 0; ms < 1000; ms += 10) shown += pacer.Offer(kStart + milliseconds(ms)) ? 1 : 0;
    EXPECT_EQ(shown, 25);
}

TEST(ViewPacerTest, ShowsEveryFrameOfASlowRun) {
    ViewPacer pacer;
    for (int ms = 0; ms < 1000; ms += 40) EXPECT_TRUE(pacer.Offer(kStart + milliseconds(ms))) << ms;
    EXPECT_FALSE(pacer.Finish());
}

TEST(ViewPacerTest, LastFrameHeldBackIsShownOnceWhenTheRunEnds) {
    ViewPacer pacer;
    EXPECT_TRUE(pacer.Offer(kStart));
    EXPECT_FALSE(pacer.Offer(kStart + milliseconds(5)));
    EXPECT_TRUE(pacer.Finish());
    EXPECT_FALSE(pacer.Finish());
}

TEST(ViewPacerTest, FrameShownAfterAHeldBackOneLeavesNothingForTheEnd) {
    ViewPacer pacer;
    EXPECT_TRUE(pacer.Offer(kStart));
    EXPECT_FALSE(pacer.Offer(kStart + milliseconds(5)));
    EXPECT_TRUE(pacer.Offer(kStart + milliseconds(45)));
    EXPECT_FALSE(pacer.Finish());
}

}  // namespace
}  // namespace qf
