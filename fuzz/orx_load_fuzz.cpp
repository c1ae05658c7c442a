// Any bytes as an ORX file: load it, then pull every frame (up to a bound) for each kind.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "control/getdata_ctrl.h"
#include "control/orx_control.h"
#include "convert/frame_pull.h"
#include "platform/status_error.h"

namespace {

constexpr int kMaxFramesPerKind = 64;

// A file that lives in memory only, reachable by path.
int MemoryFile(const std::uint8_t* data, std::size_t size) {
    int fd = memfd_create("orx", MFD_CLOEXEC);
    if (fd < 0) std::abort();
    for (std::size_t done = 0; done < size;) {
        ssize_t n = write(fd, data + done, size - done);
        if (n <= 0) std::abort();
        done += static_cast<std::size_t>(n);
    }
    return fd;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const int fd = MemoryFile(data, size);
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    qf::OrxControl control;
    qf::CGetdatactrl1 wrapper(control);
    const long arrays = qf::SafeArrayLiveCount();
    const qf::Status loaded = wrapper.LoadFile(path);
    if (loaded.ok()) {
        for (int kind = 0; kind < 4; ++kind) {
            for (int f = 0; f < kMaxFramesPerKind; ++f) {
                try {
                    qf::FrameImage frame = qf::PullFrame(wrapper, static_cast<qf::ExportKind>(kind));
                    const auto* header = control.header();
                    if (frame.count != static_cast<std::int32_t>(header->storedSamples())) std::abort();
                } catch (const qf::StatusError&) {
                    std::abort();  // a file that loaded must give every frame
                }
                wrapper.NextFrame();
                if (wrapper.GetFrameNumber() == 0) break;
            }
        }
    } else if (loaded.message().empty()) {
        std::abort();  // a refusal always says why
    }
    if (qf::SafeArrayLiveCount() != arrays) std::abort();
    close(fd);
    return 0;
}
