#include "export/tiff_kind.h"

#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/file_io.h"

namespace qf {
namespace {

// What libtiff is given instead of a file: one descriptor read with bounded reads at a
// position of our own, and the size it had when opened.
struct Source {
    int fd = -1;
    std::uint64_t size = 0;
    std::uint64_t at = 0;
    std::string failure;  ///< the first read that failed, or came short of what it claims
};

int Quiet(TIFF*, void*, const char*, const char*, va_list) { return 1; }

tmsize_t ReadProc(thandle_t handle, void* into, tmsize_t size) {
    auto* source = static_cast<Source*>(handle);
    if (size <= 0) return 0;
    Result<std::size_t> got = ReadAt(source->fd, source->at, into, static_cast<std::size_t>(size));
    if (!got.ok()) {
        if (source->failure.empty()) source->failure = "a read failed: " + got.message();
        return -1;
    }
    if (got.value() < static_cast<std::size_t>(size) && source->at + static_cast<std::uint64_t>(size) <= source->size &&
        source->failure.empty()) {
        source->failure = "it ended while it was read";
    }
    source->at += got.value();
    return static_cast<tmsize_t>(got.value());
}

tmsize_t WriteProc(thandle_t, void*, tmsize_t) { return -1; }

toff_t SeekProc(thandle_t handle, toff_t offset, int whence) {
    auto* source = static_cast<Source*>(handle);
    std::uint64_t base = 0;
    if (whence == SEEK_CUR) base = source->at;
    if (whence == SEEK_END) base = source->size;
    source->at = base + offset;
    return source->at;
}

int CloseProc(thandle_t) { return 0; }
toff_t SizeProc(thandle_t handle) { return static_cast<Source*>(handle)->size; }
int MapProc(thandle_t, void**, toff_t*) { return 0; }  // never mapped: a file cut short would end the process
void UnmapProc(thandle_t, void*, toff_t) {}

class ReadHandle {
public:
    ReadHandle(Source& source, std::uint64_t allocLimit) {
        TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
        TIFFOpenOptionsSetErrorHandlerExtR(options, Quiet, nullptr);
        TIFFOpenOptionsSetWarningHandlerExtR(options, Quiet, nullptr);
        TIFFOpenOptionsSetMaxSingleMemAlloc(options, static_cast<tmsize_t>(allocLimit));
        tif_ = TIFFClientOpenExt("existing output", "rm", &source, ReadProc, WriteProc, SeekProc, CloseProc, SizeProc,
                                 MapProc, UnmapProc, options);
        TIFFOpenOptionsFree(options);
    }
    ~ReadHandle() {
        if (tif_) TIFFClose(tif_);
    }
    ReadHandle(const ReadHandle&) = delete;
    ReadHandle& operator=(const ReadHandle&) = delete;
    TIFF* get() const { return tif_; }

private:
    TIFF* tif_ = nullptr;
};

class OpenedFile {
public:
    explicit OpenedFile(int fd) : fd_(fd) {}
    ~OpenedFile() {
        if (fd_ >= 0) CloseFile(fd_);
    }
    OpenedFile(const OpenedFile&) = delete;
    OpenedFile& operator=(const OpenedFile&) = delete;

private:
    int fd_;
};

// The peak of the first page's samples; nullopt when the page is no 16-bit grayscale one
// of at most `pageBytes`, or cannot be read.
std::optional<std::uint16_t> PeakOfFirstPage(TIFF* tif, std::uint64_t pageBytes) {
    std::uint16_t bits = 0, samplesPerPixel = 1, format = SAMPLEFORMAT_UINT;
    if (!TIFFGetField(tif, TIFFTAG_BITSPERSAMPLE, &bits) || bits != 16) return std::nullopt;
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samplesPerPixel);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &format);
    if (samplesPerPixel != 1 || format != SAMPLEFORMAT_UINT || TIFFIsTiled(tif)) return std::nullopt;
    std::uint32_t width = 0, height = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
    if (width == 0 || height == 0 || std::uint64_t{width} * height * 2 > pageBytes) return std::nullopt;
    // Row by row: a compressed page may claim far more than its file holds, and only what
    // the file really holds is ever decoded.
    const tmsize_t rowSize = TIFFScanlineSize(tif);
    if (rowSize < 2 || static_cast<std::uint64_t>(rowSize) != std::uint64_t{width} * 2) return std::nullopt;
    std::vector<std::uint16_t> row(width);
    std::uint16_t peak = 0;
    for (std::uint32_t y = 0; y < height && peak < 65535; ++y) {
        if (TIFFReadScanline(tif, row.data(), y, 0) < 0) return std::nullopt;
        peak = std::max(peak, *std::max_element(row.begin(), row.end()));
    }
    return peak;
}

}  // namespace

TiffKindFound TiffKindOfOutput(int folderFd, const std::string& name, std::uint64_t pageBytes) {
    TiffKindFound found;
    Result<int> opened = OpenToReadAt(folderFd, name);
    if (!opened.ok()) {
        if (opened.error().kind != ErrorKind::kMissing) found.unread = "cannot open it: " + opened.message();
        return found;
    }
    OpenedFile closer(opened.value());
    Result<FileFacts> facts = FactsOf(opened.value());
    if (!facts.ok()) {
        found.unread = "cannot read it: " + facts.message();
        return found;
    }
    if (facts.value().type != FileType::kRegular) {
        found.unread = "it is not a regular file";
        return found;
    }
    Source source{opened.value(), facts.value().size, 0, {}};
    // libtiff's own buffers (strip tables, a strip's raw bytes) stay within what a page of
    // the planned size needs, or the file holds if that is less.
    constexpr std::uint64_t kSlack = 1 << 16;
    const std::uint64_t allocLimit = std::min(pageBytes, source.size) + kSlack;
    ReadHandle handle(source, allocLimit);
    std::optional<std::uint16_t> peak = handle.get() ? PeakOfFirstPage(handle.get(), pageBytes) : std::nullopt;
    if (!source.failure.empty()) {
        found.unread = source.failure;
        return found;
    }
    if (peak) found.kind = *peak == 65535 ? kNormalizedTiff : kStandardizedTiff;
    return found;
}

}  // namespace qf
