#include "convert/frame_pull.h"

#include <gtest/gtest.h>

#include "platform/status_error.h"
#include "test/fake_control.h"

namespace qf {
namespace {

using test::FakeControl;
using test::MakeI2Array;

class FramePullTest : public ::testing::Test {
protected:
    void SetUp() override { liveBefore = SafeArrayLiveCount(); }
    // Whatever happened, no array may outlive the pull.
    void TearDown() override { EXPECT_EQ(SafeArrayLiveCount(), liveBefore); }

    HRESULT PullStatus(ExportKind kind) {
        try {
            PullFrame(wrapper, kind);
        } catch (const StatusError& e) {
            return e.status();
        }
        return S_OK;
    }

    long liveBefore = 0;
    FakeControl fake;
    CGetdatactrl1 wrapper{fake};
};

TEST_F(FramePullTest, FullResolutionCopiesCountSamplesInOrder) {
    fake.width = 640;
    fake.height = 480;
    FrameImage f = PullFrame(wrapper, kStandardizedTiff);
    EXPECT_EQ(f.width, 640);
    EXPECT_EQ(f.height, 480);
    ASSERT_EQ(f.count, 307200);
    for (std::int32_t i : {0, 1, 1000, 307199}) EXPECT_EQ(f.samples[i], static_cast<std::uint16_t>(i + 1));
    EXPECT_EQ(fake.calls, (std::vector<std::string>{"GetImageData", "GetImageWidth",
                                                    "GetImageHeight", "IsFullResolution"}));
}

TEST_F(FramePullTest, SixteenBitKindsKeepTheArraysStorageInsteadOfCopyingIt) {
    fake.width = 4;
    fake.height = 2;
    for (ExportKind kind : {kNormalizedTiff, kStandardizedTiff, kFalseColorBitmap}) {
        const void* storage = nullptr;
        fake.makeArray = [&storage] {
            SAFEARRAY* array = MakeI2Array(0, 8, 1);
            storage = array->pvData;
            return array;
        };
        FrameImage f = PullFrame(wrapper, kind);
        EXPECT_EQ(static_cast<const void*>(f.samples.get()), storage) << kind;
        EXPECT_EQ(f.samples[7], 8) << kind;
        EXPECT_EQ(SafeArrayLiveCount(), liveBefore) << kind << ": the emptied array was not released";
    }
    // Indices that do not start at 0 are copied (NegativeLowerBoundShiftsIndices).
}

TEST_F(FramePullTest, HalfResolutionHalvesTowardZeroAndCopiesOnlyCount) {
    fake.width = 641;
    fake.height = 481;
    fake.fullResolution = false;
    fake.makeArray = [] { return MakeI2Array(0, 641 * 481, 0); };
    FrameImage f = PullFrame(wrapper, kFalseColorBitmap);
    EXPECT_EQ(f.width, 320);
    EXPECT_EQ(f.height, 240);
    EXPECT_EQ(f.count, 76800);
    EXPECT_EQ(f.samples[76799], 76799 & 0xFFFF);
}

TEST_F(FramePullTest, SamplesAreUnsignedAndKind2KeepsHighBytes) {
    fake.width = 3;
    fake.height = 1;
    fake.makeArray = [] {
        SAFEARRAY* a = MakeI2Array(0, 3);
        auto* d = static_cast<std::int16_t*>(a->pvData);
        d[0] = -1;
        d[1] = 0x1234;
        d[2] = 0x00FF;
        return a;
    };
    FrameImage wide = PullFrame(wrapper, kNormalizedTiff);
    EXPECT_EQ(wide.samples[0], 65535);
    EXPECT_EQ(wide.samples[1], 0x1234);
    FrameImage gray = PullFrame(wrapper, kGrayscaleBitmap);
    EXPECT_EQ(gray.highBytes[0], 0xFF);
    EXPECT_EQ(gray.highBytes[1], 0x12);
    EXPECT_EQ(gray.highBytes[2], 0x00);
    EXPECT_EQ(gray.samples, nullptr);
}

// Samples 0, 1, ..., with sample 150 set to `peak`: a frame longer than the vector blocks.
SAFEARRAY* TwelveBitFrame(std::int16_t peak) {
    SAFEARRAY* a = MakeI2Array(0, 303);
    auto* d = static_cast<std::int16_t*>(a->pvData);
    for (int i = 0; i < 303; ++i) d[i] = static_cast<std::int16_t>(i * 13);
    d[150] = peak;
    return a;
}

TEST_F(FramePullTest, InputBitsScaleTheBitmapKindsSaturatingAndTellSamplesAboveThem) {
    fake.width = 101;
    fake.height = 3;
    for (const std::int16_t peak : {std::int16_t{4095}, std::int16_t{4096}, std::int16_t{-1}}) {
        const bool over = peak != 4095;
        const auto expected = [peak](int i) -> std::uint16_t {
            if (i == 150) return peak == 4095 ? 0xFFF0 : 0xFFFF;
            return static_cast<std::uint16_t>(i * 13 << 4);
        };
        fake.makeArray = [peak] { return TwelveBitFrame(peak); };
        FrameImage gray = PullFrame(wrapper, kGrayscaleBitmap, 12);
        FrameImage colour = PullFrame(wrapper, kFalseColorBitmap, 12);
        FrameImage kept = PullFrame(wrapper, kStandardizedTiff, 12);
        FrameImage normalized = PullFrame(wrapper, kNormalizedTiff, 12);
        for (int i = 0; i < 303; ++i) {
            ASSERT_EQ(gray.highBytes[i], expected(i) >> 8) << i << " peak " << peak;
            ASSERT_EQ(colour.samples[i], expected(i)) << i << " peak " << peak;
            const auto raw = static_cast<std::uint16_t>(i == 150 ? peak : i * 13);
            ASSERT_EQ(kept.samples[i], raw) << i;
            ASSERT_EQ(normalized.samples[i], raw) << i;
        }
        for (const FrameImage* f : {&gray, &colour, &kept, &normalized}) EXPECT_EQ(f->overRange, over) << peak;
    }
}

TEST_F(FramePullTest, SixteenInputBitsChangeNothingAndNeverTellAnything) {
    fake.width = 101;
    fake.height = 3;
    fake.makeArray = [] { return TwelveBitFrame(-1); };
    FrameImage gray = PullFrame(wrapper, kGrayscaleBitmap, 16);
    FrameImage colour = PullFrame(wrapper, kFalseColorBitmap, 16);
    EXPECT_EQ(gray.highBytes[150], 0xFF);
    EXPECT_EQ(gray.highBytes[100], (100 * 13) >> 8);
    EXPECT_EQ(colour.samples[100], 100 * 13);
    EXPECT_FALSE(gray.overRange);
    EXPECT_FALSE(colour.overRange);
}

TEST_F(FramePullTest, Kind2KeepsTheHighByteOfEverySampleOfALongFrame) {
    fake.width = 101;  // blocks of samples and some left over
    fake.height = 3;
    fake.makeArray = [] {
        SAFEARRAY* a = MakeI2Array(0, 303);
        auto* d = static_cast<std::int16_t*>(a->pvData);
        for (int i = 0; i < 303; ++i) d[i] = static_cast<std::int16_t>(i * 251 - 30000);
        return a;
    };
    FrameImage gray = PullFrame(wrapper, kGrayscaleBitmap);
    for (int i = 0; i < 303; ++i) {
        const auto sample = static_cast<std::uint16_t>(static_cast<std::int16_t>(i * 251 - 30000));
        ASSERT_EQ(gray.highBytes[i], sample >> 8) << i;
    }
}

TEST_F(FramePullTest, SurplusElementsAreIgnoredAndEmptyFramesPass) {
    fake.makeArray = [] { return MakeI2Array(0, 100, 5); };
    FrameImage f = PullFrame(wrapper, kStandardizedTiff);
    EXPECT_EQ(f.count, 4);
    EXPECT_EQ(f.samples[3], 8);
    fake.width = 0;
    FrameImage empty = PullFrame(wrapper, kFalseColorBitmap);
    EXPECT_EQ(empty.count, 0);
}

TEST_F(FramePullTest, NegativeLowerBoundShiftsIndices) {
    fake.makeArray = [] { return MakeI2Array(-2, 6, 10); };
    FrameImage f = PullFrame(wrapper, kStandardizedTiff);
    // Index 0 is the third element.
    EXPECT_EQ(f.samples[0], 12);
    EXPECT_EQ(f.samples[3], 15);
}

TEST_F(FramePullTest, MalformedTransfersFailWithTheirStatus) {
    struct Case {
        const char* name;
        std::function<SAFEARRAY*()> make;
        HRESULT status;
    };
    const Case cases[] = {
        {"no array", [] { return nullptr; }, E_INVALIDARG},
        {"VT_I4", [] { return SafeArrayCreateVector(VT_I4, 0, 4); }, E_INVALIDARG},
        {"VT_UI2", [] { return SafeArrayCreateVector(VT_UI2, 0, 4); }, E_INVALIDARG},
        {"lower bound 1", [] { return MakeI2Array(1, 4); }, E_INVALIDARG},
        {"too short", [] { return MakeI2Array(0, 3); }, E_INVALIDARG},
        {"no dimensions", [] {
             SAFEARRAY* a = MakeI2Array(0, 4);
             a->bounds.clear();
             return a;
         }, DISP_E_BADINDEX},
    };
    for (ExportKind kind : {kNormalizedTiff, kGrayscaleBitmap}) {
        for (const Case& c : cases) {
            fake.makeArray = c.make;
            EXPECT_EQ(PullStatus(kind), c.status) << c.name << ", kind " << kind;
            EXPECT_EQ(SafeArrayLiveCount(), liveBefore) << c.name << " left an array behind";
        }
    }
}

TEST_F(FramePullTest, NegativeSizeFailsWithInvalidArg) {
    fake.width = -4;
    fake.height = -4;
    fake.makeArray = [] { return MakeI2Array(0, 16); };
    EXPECT_EQ(PullStatus(kStandardizedTiff), E_INVALIDARG);
}

TEST_F(FramePullTest, ShortArrayMessageNamesTheFirstMissingIndex) {
    fake.makeArray = [] { return MakeI2Array(0, 3); };
    try {
        PullFrame(wrapper, kFalseColorBitmap);
        FAIL() << "no exception";
    } catch (const StatusError& e) {
        EXPECT_STREQ(e.what(), "the control's frame data holds 3 samples, fewer than the frame's 4 "
                               "[E_INVALIDARG (0x80070057)]");
    }
}

TEST_F(FramePullTest, TiffKindsAttachBeforeAskingResolution) {
    fake.makeArray = [] { return nullptr; };
    PullStatus(kNormalizedTiff);
    EXPECT_EQ(fake.calls.back(), "GetImageHeight");
    fake.calls.clear();
    PullStatus(kFalseColorBitmap);
    EXPECT_EQ(fake.calls.back(), "IsFullResolution");
}

TEST_F(FramePullTest, UnknownDispatchIdThrowsFromTheWrapper) {
    struct Broken : IDispatchTarget {
        HRESULT Invoke(DISPID, VARIANT*, unsigned, VARIANT*, EXCEPINFO*) override { return DISP_E_MEMBERNOTFOUND; }
    } broken;
    CGetdatactrl1 w(broken);
    try {
        PullFrame(w, kNormalizedTiff);
        FAIL() << "no exception";
    } catch (const StatusError& e) {
        EXPECT_EQ(e.status(), DISP_E_MEMBERNOTFOUND);
    }
}

TEST_F(FramePullTest, OutOfMemoryHasItsOwnException) {
    EXPECT_THROW(ThrowStatus(E_OUTOFMEMORY, "x"), OutOfMemoryError);
    try {
        ThrowStatus(E_OUTOFMEMORY, "x");
    } catch (const StatusError& e) {
        EXPECT_EQ(e.status(), E_OUTOFMEMORY);
    }
}

}  // namespace
}  // namespace qf
