// The ORX format and our acquisition control over real files.
#include "control/orx_control.h"

#include <gtest/gtest.h>

#include "control/getdata_ctrl.h"
#include "convert/frame_pull.h"
#include "platform/status_error.h"
#include "test/orx_bytes.h"
#include "tools/orx_writer.h"
#include "test/temp_folder.h"

namespace qf {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Frame f, sample i holds f * 1000 + i.
void WriteOrx(const std::string& path, std::int16_t w, std::int16_t h, std::uint32_t frames,
              bool half = false) {
    OrxHeader header;
    header.width = w;
    header.height = h;
    header.frameCount = frames;
    header.flags = half ? kOrxHalfResolution : 0;
    OrxWriter writer(path, header);
    std::vector<std::uint16_t> samples(header.storedSamples());
    for (std::uint32_t f = 0; f < frames; ++f) {
        for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<std::uint16_t>(f * 1000 + i);
        writer.WriteFrame(samples.data());
    }
    ASSERT_TRUE(writer.Finish().ok());
}

class OrxControlTest : public test::TempFolderTest {
protected:
    OrxControl control;
    CGetdatactrl1 wrapper{control};
};

TEST_F(OrxControlTest, HeaderBytesAreLittleEndianFields) {
    WriteOrx(dir / "a.orx", 3, 2, 5, true);
    Bytes raw = test::ReadBytes(dir / "a.orx");
    Bytes expected = {0x89, 'O', 'R', 'X', 0x0D, 0x0A, 0x1A, 0x0A, 1, 0, 32, 0, 3, 0, 2, 0,
                      5, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    ASSERT_EQ(raw.size(), 32u + 5 * 1 * 1 * 2);
    EXPECT_EQ(Bytes(raw.begin(), raw.begin() + 32), expected);
}

TEST_F(OrxControlTest, RoundTripThroughWriterAndPull) {
    WriteOrx(dir / "r.orx", 4, 3, 3);
    ASSERT_TRUE(wrapper.LoadFile(dir / "r.orx").ok());
    for (int f = 0; f < 3; ++f) {
        EXPECT_EQ(wrapper.GetFrameNumber(), f);
        FrameImage frame = PullFrame(wrapper, kStandardizedTiff);
        ASSERT_EQ(frame.count, 12);
        for (int i = 0; i < 12; ++i) EXPECT_EQ(frame.samples[i], f * 1000 + i);
        wrapper.NextFrame();
    }
    EXPECT_EQ(wrapper.GetFrameNumber(), 0) << "NextFrame after the last frame returns to frame 0";
}

TEST_F(OrxControlTest, HalfResolutionFileReportsFullSizeAndHalfArray) {
    WriteOrx(dir / "h.orx", 641, 481, 1, true);
    ASSERT_TRUE(wrapper.LoadFile(dir / "h.orx").ok());
    EXPECT_EQ(wrapper.GetImageWidth(), 641);
    EXPECT_EQ(wrapper.GetImageHeight(), 481);
    EXPECT_FALSE(wrapper.IsFullResolution());
    FrameImage frame = PullFrame(wrapper, kNormalizedTiff);
    EXPECT_EQ(frame.width, 320);
    EXPECT_EQ(frame.height, 240);
    EXPECT_EQ(frame.samples[76799], 76799 & 0xFFFF);
}

TEST_F(OrxControlTest, SingleFrameFileWrapsToItself) {
    WriteOrx(dir / "one.orx", 1, 1, 1);
    ASSERT_TRUE(wrapper.LoadFile(dir / "one.orx").ok());
    wrapper.NextFrame();
    EXPECT_EQ(wrapper.GetFrameNumber(), 0);
}

TEST_F(OrxControlTest, FailedLoadLeavesNoFileCurrent) {
    WriteOrx(dir / "good.orx", 2, 2, 2);
    ASSERT_TRUE(wrapper.LoadFile(dir / "good.orx").ok());
    EXPECT_EQ(wrapper.LoadFile(dir / "missing.orx").message(), "cannot open: " + test::MissingText(dir / "missing.orx"));
    VARIANT v;
    VariantInit(&v);
    try {
        wrapper.GetImageData(&v);
        ADD_FAILURE() << "a frame from no file";
    } catch (const StatusError& e) {
        EXPECT_EQ(e.status(), E_FAIL);
        EXPECT_STREQ(e.what(), "no data file is loaded [E_FAIL (0x80004005)]");
    }
    EXPECT_EQ(v.vt, VT_EMPTY);
    EXPECT_EQ(control.header(), nullptr);
}

TEST_F(OrxControlTest, UnknownDispatchIdIsMemberNotFound) {
    VARIANT result;
    EXPECT_EQ(control.Invoke(4242, nullptr, 0, &result, nullptr), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(control.Invoke(kDispLoadFile, nullptr, 0, &result, nullptr), DISP_E_BADPARAMCOUNT);
    EXPECT_TRUE(wrapper.StartDriver());
}

TEST_F(OrxControlTest, BadFilesAreRejectedWithTheirReason) {
    Bytes good = test::OrxBytes(2, 2, 2, 0x11);
    const struct {
        const char* name;
        Bytes bytes;
        const char* reason;
    } cases[] = {
        {"empty", {}, "empty file, not an ORX file"},
        {"text", {'h', 'e', 'l', 'l', 'o'}, "not an ORX file (signature does not match)"},
        {"short", Bytes(good.begin(), good.begin() + 20), "truncated header: 20 bytes, an ORX header needs 32"},
        {"version", test::Patched(good, 8, {2, 0}), "unsupported ORX version 2 (this program reads version 1)"},
        {"header length", test::Patched(good, 10, {31, 0}), "header length 31 is below 32"},
        {"width 0", test::Patched(good, 12, {0, 0}), "width 0 is out of range (1 to 32767)"},
        {"width 40000", test::Patched(good, 12, {0x40, 0x9C}), "width 40000 is out of range (1 to 32767)"},
        {"height 0", test::Patched(good, 14, {0, 0}), "height 0 is out of range (1 to 32767)"},
        {"no frames", test::Patched(good, 16, {0, 0, 0, 0}), "frame count 0 is out of range (1 to 32768)"},
        {"too many frames", test::Patched(good, 16, {1, 0x80, 0, 0}), "frame count 32769 is out of range (1 to 32768)"},
        {"flags", test::Patched(good, 20, {2, 0}), "unknown flags 0x0002 (only bit 0 is defined)"},
        {"reserved", test::Patched(good, 31, {1}), "reserved header byte 31 is not 0"},
        {"truncated", Bytes(good.begin(), good.end() - 1), "truncated: 47 bytes, expected 48 for 2 frames"},
        {"too long", [&] { Bytes b = good; b.push_back(0); return b; }(), "too long: 49 bytes, expected 48 for 2 frames"},
        {"huge count", test::Patched(good, 12, {0xFF, 0x7F, 0xFF, 0x7F, 0, 0x80, 0, 0}),
         "truncated: 48 bytes, expected 70364449275936 for 32768 frames"},
    };
    for (const auto& c : cases) {
        std::string path = dir / "bad.orx";
        test::WriteBytes(path, c.bytes);
        Status loaded = wrapper.LoadFile(path);
        ASSERT_FALSE(loaded.ok()) << c.name;
        EXPECT_EQ(loaded.message(), c.reason) << c.name;
    }
    std::string folder = dir / "folder.orx";
    ASSERT_EQ(qf::test::MakeDir(folder.c_str(), 0755), 0);
    EXPECT_EQ(wrapper.LoadFile(folder).message(), "is a folder, not a data file");
}

// An acquisition cut off inside frame `complete` of `frames`: frame f, sample i holds f * 1000 + i.
void WriteCutOff(const std::string& path, std::int16_t w, std::int16_t h, std::uint32_t frames,
                 std::uint32_t complete, std::size_t extraSamples) {
    OrxHeader header;
    header.width = w;
    header.height = h;
    header.frameCount = frames;
    OrxWriter writer(path, header);
    std::vector<std::uint16_t> samples(header.storedSamples());
    for (std::uint32_t f = 0; f <= complete; ++f) {
        for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<std::uint16_t>(f * 1000 + i);
        if (f < complete) writer.WriteFrame(samples.data());
    }
    ASSERT_TRUE(writer.FinishCutOff(samples.data(), extraSamples).ok());
}

TEST_F(OrxControlTest, SalvagingControlTakesTheCompleteFramesOfACutOffFile) {
    WriteCutOff(dir / "cut.orx", 4, 3, 6, 3, 5);  // 3 whole frames and 5 samples of the fourth
    ASSERT_EQ(test::ReadBytes(dir / "cut.orx").size(), 32u + 3 * 24 + 10);
    EXPECT_EQ(wrapper.LoadFile(dir / "cut.orx").message(), "truncated: 114 bytes, expected 176 for 6 frames");

    auto log = std::make_shared<SalvageLog>();
    OrxControl salvaging(true, log);
    CGetdatactrl1 salvage{salvaging};
    ASSERT_TRUE(salvage.LoadFile(dir / "cut.orx").ok());
    ASSERT_TRUE(salvaging.cutOff().has_value());
    EXPECT_EQ(salvaging.cutOff()->completeFrames, 3u);
    EXPECT_EQ(salvaging.cutOff()->headerFrames, 6u);
    EXPECT_EQ(salvaging.header()->frameCount, 3u);
    for (int f = 0; f < 3; ++f) {
        ASSERT_EQ(salvage.GetFrameNumber(), f);
        FrameImage frame = PullFrame(salvage, kStandardizedTiff);
        ASSERT_EQ(frame.count, 12);
        for (int i = 0; i < 12; ++i) EXPECT_EQ(frame.samples[i], f * 1000 + i);
        salvage.NextFrame();
    }
    EXPECT_EQ(salvage.GetFrameNumber(), 0) << "the steps come back to frame 0 after the complete frames";
    ASSERT_TRUE(log->Find(FactsAt(kWorkingFolder, dir / "cut.orx", true).value().identity).has_value());
    EXPECT_EQ(log->Find(FactsAt(kWorkingFolder, dir / "cut.orx", true).value().identity)->completeFrames, 3u);
}

TEST_F(OrxControlTest, SalvagingRefusesWhatHasNoCompleteFrameOrIsTooLong) {
    auto log = std::make_shared<SalvageLog>();
    OrxControl salvaging(true, log);
    WriteCutOff(dir / "first.orx", 4, 3, 2, 0, 11);  // cut inside frame 0
    EXPECT_EQ(salvaging.LoadFile(dir / "first.orx").message(), "truncated: 54 bytes, expected 80 for 2 frames");
    WriteOrx(dir / "long.orx", 4, 3, 2);
    ASSERT_EQ(test::ResizeFile(dir / "long.orx", 81), 0);
    EXPECT_EQ(salvaging.LoadFile(dir / "long.orx").message(), "too long: 81 bytes, expected 80 for 2 frames");
    WriteOrx(dir / "whole.orx", 4, 3, 2);
    ASSERT_TRUE(salvaging.LoadFile(dir / "whole.orx").ok());
    EXPECT_FALSE(salvaging.cutOff().has_value());
    EXPECT_EQ(salvaging.header()->frameCount, 2u);
    EXPECT_FALSE(log->Find(FactsAt(kWorkingFolder, dir / "first.orx", true).value().identity).has_value());
    EXPECT_FALSE(log->Find(FactsAt(kWorkingFolder, dir / "whole.orx", true).value().identity).has_value());
}

}  // namespace
}  // namespace qf
