// Writer throughput on a 2048 x 2048 frame, in bytes of output per second.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <random>

#include "export/false_color_bitmap.h"
#include "export/grayscale_bitmap.h"
#include "export/tiff_export.h"

namespace qf {
namespace {

constexpr std::int16_t kSide = 2048;

FrameImage MakeFrame() {
    FrameImage f;
    f.width = kSide;
    f.height = kSide;
    f.count = kSide * kSide;
    f.samples = std::make_unique<std::uint16_t[]>(static_cast<std::size_t>(f.count));
    f.highBytes = std::make_unique<std::uint8_t[]>(static_cast<std::size_t>(f.count));
    std::mt19937 rng(7);
    for (std::int32_t i = 0; i < f.count; ++i) {
        f.samples[i] = static_cast<std::uint16_t>(rng());
        f.highBytes[i] = static_cast<std::uint8_t>(f.samples[i] >> 8);
    }
    return f;
}

const FrameImage& Frame() {
    static const FrameImage frame = MakeFrame();
    return frame;
}

std::string OutPath(const char* name) {
    static const std::string dir = [] {
        std::string d = (std::filesystem::temp_directory_path() / "quillfen-bench-XXXXXX").string();
        if (!mkdtemp(d.data())) std::abort();
        return d;
    }();
    return dir + "/" + name;
}

void BM_ScaleNormalized(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(ScaleSamples(Frame(), kNormalizedTiff));
    state.SetBytesProcessed(state.iterations() * Frame().count * 2);
}
BENCHMARK(BM_ScaleNormalized)->Unit(benchmark::kMillisecond);

void BM_WriteTiff16(benchmark::State& state) {
    auto scaled = ScaleSamples(Frame(), kStandardizedTiff);
    for (auto _ : state) {
        if (!WriteTiff16(OutPath("b.tiff"), kSide, kSide, Frame().count, scaled.value().get()).ok()) {
            state.SkipWithError("write failed");
        }
    }
    state.SetBytesProcessed(state.iterations() * Frame().count * 2);
}
BENCHMARK(BM_WriteTiff16)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_WriteGrayscaleBitmap(benchmark::State& state) {
    for (auto _ : state) {
        if (!WriteGrayscaleBitmap(OutPath("g.bmp"), Frame()).ok()) state.SkipWithError("failed");
    }
    state.SetBytesProcessed(state.iterations() * (1078 + Frame().count));
}
BENCHMARK(BM_WriteGrayscaleBitmap)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_WriteFalseColorBitmap(benchmark::State& state) {
    for (auto _ : state) {
        if (!WriteFalseColorBitmap(OutPath("c.bmp"), Frame()).ok()) state.SkipWithError("failed");
    }
    state.SetBytesProcessed(state.iterations() * (54 + std::int64_t{Frame().count} * 3));
}
BENCHMARK(BM_WriteFalseColorBitmap)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace qf
