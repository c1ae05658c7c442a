#include "convert/acquisition_watch.h"

#include <gtest/gtest.h>

namespace qf {
namespace {

using namespace std::chrono_literals;

// A 4 x 2 camera, 3 frames: a 32-byte header and frames of 16 bytes.
OrxHeader ThreeFrames() {
    OrxHeader h;
    h.width = 4;
    h.height = 2;
    h.frameCount = 3;
    return h;
}

// A wall-clock time in the system's own ticks of modification times (as FileFacts hold them).
std::int64_t SystemTicks(WatchTime at) {
#ifdef _WIN32
    using Ticks = std::chrono::duration<std::int64_t, std::ratio<1, 10000000>>;  // FILETIME, from 1601
    return std::chrono::duration_cast<Ticks>(at.time_since_epoch()).count() + 116444736000000000LL;
#else
    return std::chrono::duration_cast<std::chrono::nanoseconds>(at.time_since_epoch()).count();
#endif
}

class AcquisitionWatchTest : public ::testing::Test {
protected:
    // The file as it stands at `now` with `size` bytes, last written at `written`.
    FileLook Look(std::uint64_t size, WatchTime written) const {
        FileLook look;
        look.facts.identity = "1:1";
        look.facts.size = size;
        look.facts.modified = SystemTicks(written);
        if (size >= kOrxHeaderSize) look.header = ThreeFrames();
        else look.headerIncomplete = true;
        return look;
    }
    WatchTime start = WatchTime(std::chrono::seconds(1800000000));
    AcquisitionWatch watch{WatchTimes{2000ms, 10000ms}};
};

TEST_F(AcquisitionWatchTest, WaitsUntilCompleteAndSettled) {
    EXPECT_EQ(watch.See("a.orx", Look(10, start), start).action, WatchAction::kWait);
    const WatchStep partial = watch.See("a.orx", Look(32 + 16, start + 1s), start + 1s);
    EXPECT_EQ(partial.action, WatchAction::kWait);
    EXPECT_EQ(partial.completeFrames, 1u);
    EXPECT_EQ(partial.headerFrames, 3u);
    EXPECT_EQ(watch.See("a.orx", Look(80, start + 2s), start + 2s).action, WatchAction::kWait);
    EXPECT_EQ(watch.See("a.orx", Look(80, start + 2s), start + 3s).action, WatchAction::kWait);
    EXPECT_EQ(watch.See("a.orx", Look(80, start + 2s), start + 4s).action, WatchAction::kConvert);
    EXPECT_FALSE(watch.Done("a.orx", Look(80, start + 2s).facts));
    watch.Converted("a.orx", Look(80, start + 2s).facts);
    EXPECT_EQ(watch.See("a.orx", Look(80, start + 2s), start + 9s).action, WatchAction::kNothing);
    // Converted and unchanged: it need not be opened again; changed, it must.
    EXPECT_TRUE(watch.Done("a.orx", Look(80, start + 2s).facts));
    EXPECT_FALSE(watch.Done("a.orx", Look(80, start + 5s).facts));
}

TEST_F(AcquisitionWatchTest, FileFoundCompleteAndOldConvertsAtOnce) {
    EXPECT_EQ(watch.See("a.orx", Look(80, start - 1h), start).action, WatchAction::kConvert);
}

TEST_F(AcquisitionWatchTest, ModificationTimeInTheFutureCountsFromNow) {
    EXPECT_EQ(watch.See("a.orx", Look(80, start + 1h), start).action, WatchAction::kWait);
    EXPECT_EQ(watch.See("a.orx", Look(80, start + 1h), start + 2s).action, WatchAction::kConvert);
}

TEST_F(AcquisitionWatchTest, ShortFileIsGivenUpOnceAfterItStopsGrowing) {
    EXPECT_EQ(watch.See("a.orx", Look(64, start), start).action, WatchAction::kWait);
    // Still growing now and then: never given up while it grows.
    EXPECT_EQ(watch.See("a.orx", Look(64, start), start + 9s).action, WatchAction::kWait);
    const WatchStep step = watch.See("a.orx", Look(64, start), start + 10s);
    EXPECT_EQ(step.action, WatchAction::kGiveUp);
    EXPECT_EQ(step.completeFrames, 2u);
    EXPECT_EQ(watch.See("a.orx", Look(64, start), start + 20s).action, WatchAction::kNothing);
    EXPECT_EQ(watch.See("a.orx", Look(80, start + 21s), start + 40s).action, WatchAction::kNothing);
}

TEST_F(AcquisitionWatchTest, GrowingFileIsNotGivenUp) {
    for (int second = 0; second < 30; ++second) {
        const WatchTime now = start + std::chrono::seconds(second);
        EXPECT_EQ(watch.See("a.orx", Look(40 + static_cast<std::uint64_t>(second), now), now).action, WatchAction::kWait);
    }
}

TEST_F(AcquisitionWatchTest, TooLongAndChangedAfterAreSaidOnce) {
    EXPECT_EQ(watch.See("a.orx", Look(81, start), start).action, WatchAction::kTooLong);
    EXPECT_EQ(watch.See("a.orx", Look(99, start), start + 5s).action, WatchAction::kNothing);

    watch.Converted("b.orx", Look(80, start).facts);
    EXPECT_EQ(watch.See("b.orx", Look(80, start), start + 1s).action, WatchAction::kNothing);
    EXPECT_EQ(watch.See("b.orx", Look(80, start + 2s), start + 2s).action, WatchAction::kChangedAfter);
    EXPECT_EQ(watch.See("b.orx", Look(96, start + 3s), start + 9s).action, WatchAction::kNothing);
}

TEST_F(AcquisitionWatchTest, NoOrxHeaderIsHandedOnOnceSettled) {
    FileLook look = Look(100, start);
    look.header.reset();
    EXPECT_EQ(watch.See("a.orx", look, start).action, WatchAction::kWait);
    EXPECT_EQ(watch.See("a.orx", look, start + 2s).action, WatchAction::kConvert);
}

}  // namespace
}  // namespace qf
