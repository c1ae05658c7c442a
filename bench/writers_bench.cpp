// Writer throughput on a 2048 x 2048 frame, in bytes of output per second.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <random>

#include "export/false_color_bitmap.h"
#include "export/grayscale_bitmap.h"
#include "export/export_options.h"
#include "export/tiff_export.h"
#include "tools/synthetic_beam.h"

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
    for (auto _ : state) benchmark::DoNotOptimize(NormalizedSamples(Frame()));
    state.SetBytesProcessed(state.iterations() * Frame().count * 2);
}
BENCHMARK(BM_ScaleNormalized)->Unit(benchmark::kMillisecond);

void BM_WriteTiff16(benchmark::State& state) {
    for (auto _ : state) {
        if (!WriteTiff16(OutPath("b.tiff"), kSide, kSide, Frame().count, Frame().samples.get()).ok()) {
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

// Compression on a real-looking frame: a 12-bit beam with 2 % noise (tools/synthetic_beam),
// as the portable layout writes it. Reports frames per second and bytes per frame.
namespace qf {
namespace {

FrameImage BeamFrame(std::int16_t width, std::int16_t height) {
    BeamSettings s;
    s.width = width;
    s.height = height;
    s.bits = 12;
    s.seed = 3;
    const std::vector<std::uint16_t> samples = SyntheticBeamFrame(s);
    FrameImage f;
    f.width = width;
    f.height = height;
    f.count = static_cast<std::int32_t>(samples.size());
    f.samples = std::make_unique<std::uint16_t[]>(samples.size());
    std::copy(samples.begin(), samples.end(), f.samples.get());
    return f;
}

void BM_Compress(benchmark::State& state) {
    const auto compression = static_cast<Compression>(state.range(0));
    const auto w = static_cast<std::int16_t>(state.range(1));
    const auto h = static_cast<std::int16_t>(state.range(2));
    if (!CompressionAvailable(compression)) {
        state.SkipWithError("codec not configured in this libtiff");
        return;
    }
    const FrameImage frame = BeamFrame(w, h);
    ExportOptions options;
    options.layout = Layout::kPortable;
    options.compression = compression;
    const std::string path = OutPath("z.tiff");
    for (auto _ : state) {
        if (!WriteStandardizedTiff(path, frame, options).ok()) state.SkipWithError("write failed");
    }
    state.SetLabel(CompressionName(compression));
    state.counters["bytes_per_frame"] = static_cast<double>(std::filesystem::file_size(path));
    state.counters["frames_per_s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Compress)
    ->ArgNames({"codec", "w", "h"})
    ->ArgsProduct({{static_cast<int>(Compression::kNone), static_cast<int>(Compression::kDeflate),
                    static_cast<int>(Compression::kZstd), static_cast<int>(Compression::kLzw)},
                   {640}, {480}})
    ->ArgsProduct({{static_cast<int>(Compression::kNone), static_cast<int>(Compression::kDeflate),
                    static_cast<int>(Compression::kZstd), static_cast<int>(Compression::kLzw)},
                   {2048}, {2048}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
}  // namespace qf
