// What --sync costs per frame: the same standardized TIFF written with and without a
// flush to the disk before its rename. Written beside the working folder, not in /tmp,
// which is often a RAM disk where a flush costs nothing.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>

#include "export/tiff_export.h"

namespace qf {
namespace {

class BenchFolder {
public:
    BenchFolder() {
        const char* base = std::getenv("QUILLFEN_BENCH_DIR");
        std::string pattern = std::string(base && *base ? base : ".") + "/quillfen-sync-XXXXXX";
        if (!mkdtemp(pattern.data())) std::abort();
        path_ = pattern;
    }
    ~BenchFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

const std::string& Folder() {
    static const BenchFolder folder;
    return folder.path();
}

void BM_TiffFrame(benchmark::State& state) {
    const auto width = static_cast<std::int16_t>(state.range(0));
    const auto height = static_cast<std::int16_t>(state.range(1));
    const std::int32_t count = std::int32_t{width} * height;
    auto samples = std::make_unique<std::uint16_t[]>(static_cast<std::size_t>(count));
    for (std::int32_t i = 0; i < count; ++i) samples[i] = static_cast<std::uint16_t>(i * 7);
    OutputTarget target(Folder() + "/frame.tiff");
    target.sync = state.range(2) != 0;
    for (auto _ : state) {
        if (!WriteTiff16(target, width, height, count, samples.get()).ok()) state.SkipWithError("write failed");
    }
    state.SetLabel(target.sync ? "sync" : "no sync");
}
BENCHMARK(BM_TiffFrame)
    ->ArgNames({"w", "h", "sync"})
    ->Args({640, 480, 0})
    ->Args({640, 480, 1})
    ->Args({2048, 2048, 0})
    ->Args({2048, 2048, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
}  // namespace qf
