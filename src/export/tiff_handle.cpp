#include "export/tiff_handle.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

#include "platform/file_io.h"

namespace qf {
namespace {

int CollectError(TIFF*, void* user, const char* module, const char* fmt, va_list args) {
    auto* messages = static_cast<TiffMessages*>(user);
    if (!messages->failed) {
        char text[512];
        std::vsnprintf(text, sizeof text, fmt, args);
        messages->first = std::string(module ? module : "libtiff") + ": " + text;
    }
    messages->failed = true;
    return 1;
}

int IgnoreWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

// libtiff writes through these at the positions it chooses, straight into the output's
// temporary file; the descriptor stays with the OutputFile, which checks the close and
// renames. No C runtime descriptor changes hands, so this is the same on every system.
struct TiffSink {
    int fd = -1;
    std::uint64_t position = 0;
    std::uint64_t size = 0;
    std::string failure;  ///< the system's words for the first failed read or write
    bool full = false;    ///< that failure was a full disk
};

TiffSink& SinkOf(thandle_t handle) { return *static_cast<TiffSink*>(handle); }

tmsize_t SinkRead(thandle_t handle, void* into, tmsize_t n) {
    TiffSink& sink = SinkOf(handle);
    Result<std::size_t> got = ReadAt(sink.fd, sink.position, into, static_cast<std::size_t>(n));
    if (!got.ok()) {
        if (sink.failure.empty()) sink.failure = got.message();
        return -1;
    }
    sink.position += got.value();
    return static_cast<tmsize_t>(got.value());
}

tmsize_t SinkWrite(thandle_t handle, void* data, tmsize_t n) {
    TiffSink& sink = SinkOf(handle);
    if (Status written = WriteAt(sink.fd, sink.position, data, static_cast<std::size_t>(n)); !written.ok()) {
        if (sink.failure.empty()) {
            sink.failure = written.message();
            sink.full = written.kind() == ErrorKind::kNoSpace;
        }
        return -1;
    }
    sink.position += static_cast<std::uint64_t>(n);
    sink.size = std::max(sink.size, sink.position);
    return n;
}

toff_t SinkSeek(thandle_t handle, toff_t offset, int whence) {
    TiffSink& sink = SinkOf(handle);
    const std::uint64_t from = whence == SEEK_CUR ? sink.position : whence == SEEK_END ? sink.size : 0;
    sink.position = from + offset;
    return sink.position;
}

int SinkClose(thandle_t) { return 0; }
toff_t SinkSize(thandle_t handle) { return SinkOf(handle).size; }
int SinkMap(thandle_t, void**, toff_t*) { return 0; }
void SinkUnmap(thandle_t, void*, toff_t) {}

}  // namespace

TIFFOpenOptions* KeepingMessages(TiffMessages& messages) {
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetErrorHandlerExtR(options, CollectError, &messages);
    TIFFOpenOptionsSetWarningHandlerExtR(options, IgnoreWarning, nullptr);
    return options;
}

struct TiffHandle::State {
    TiffMessages messages;
    TiffSink sink;
};

TiffHandle::TiffHandle(OutputFile& out, bool bigTiff) : out_(out), state_(std::make_unique<State>()) {
    state_->sink.fd = out.fd();
    TIFFOpenOptions* openOptions = KeepingMessages(state_->messages);
    tif_ = TIFFClientOpenExt(out.path().c_str(), bigTiff ? "w8" : "w", &state_->sink, SinkRead, SinkWrite, SinkSeek,
                             SinkClose, SinkSize, SinkMap, SinkUnmap, openOptions);
    TIFFOpenOptionsFree(openOptions);
    if (!tif_ && state_->sink.full) {
        out.Fail(ErrorKind::kNoSpace, "disk full while writing (" + state_->sink.failure + ")");
    } else if (!tif_) {
        const TiffMessages& messages = state_->messages;
        out.Fail(ErrorKind::kCannotCreate,
                 "cannot create: " + (messages.failed ? messages.first : std::string("libtiff could not start the file")));
    }
}

TiffHandle::~TiffHandle() {
    if (tif_) TIFFClose(tif_);
}

void TiffHandle::Close(bool written) {
    if (!tif_) return;
    TIFFClose(tif_);
    tif_ = nullptr;
    const TiffMessages& messages = state_->messages;
    const TiffSink& sink = state_->sink;
    if (sink.full) {
        // What the user can act on, not the library's inner steps.
        out_.Fail(ErrorKind::kNoSpace, "disk full while writing (" + sink.failure + ")");
        return;
    }
    if (!written || messages.failed || !sink.failure.empty()) {
        std::string cause = messages.failed ? messages.first : std::string("libtiff");
        if (!sink.failure.empty()) cause += " (" + sink.failure + ")";
        out_.Fail(ErrorKind::kWriteFailed, "write failed: " + cause);
    }
}

}  // namespace qf
