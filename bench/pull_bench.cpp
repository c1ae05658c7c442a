// PullFrame from our control on a 2048 x 2048 file: the read into the transfer array and
// the copy out of it.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "control/getdata_ctrl.h"
#include "control/orx_control.h"
#include "tools/synthetic_beam.h"
#include "convert/frame_pull.h"
#include "platform/memory.h"

namespace qf {
namespace {

const std::string& DataFile() {
    static const std::string path = [] {
        std::string d = (std::filesystem::temp_directory_path() / "quillfen-pull-XXXXXX").string();
        if (!mkdtemp(d.data())) std::abort();
        BeamSettings s;
        s.width = 2048;
        s.height = 2048;
        s.frames = 2;
        if (!WriteSyntheticBeam(d + "/pull.orx", s).ok()) std::abort();
        return d + "/pull.orx";
    }();
    return path;
}

void BM_PullFrame(benchmark::State& state) {
    KeepFrameBuffersForReuse();
    OrxControl control;
    CGetdatactrl1 wrapper(control);
    if (!wrapper.LoadFile(DataFile()).ok()) state.SkipWithError("cannot load");
    const auto kind = static_cast<ExportKind>(state.range(0));
    for (auto _ : state) {
        benchmark::DoNotOptimize(PullFrame(wrapper, kind));
        wrapper.NextFrame();
    }
    state.SetBytesProcessed(state.iterations() * 2048 * 2048 * 2);
}
BENCHMARK(BM_PullFrame)->Arg(kStandardizedTiff)->Arg(kGrayscaleBitmap)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace qf
